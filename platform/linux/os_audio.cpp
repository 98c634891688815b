// The audio output device over SDL2: one float32 stereo device whose callback runs the render
// function handed in by the sound library, the main-thread wake-up flag and the thread priority.
#include "platform/os.h"

#include <SDL.h>
#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <cstring>

static SDL_AudioDeviceID Device = 0;
static OsAudioRenderFunc Render = nullptr;
static std::atomic<int> WakeFlag{0};

static void SDLCALL DeviceCallback(void *user, Uint8 *stream, int len)
{
    int frames = len / (int)(2 * sizeof(float));
    if (Render) Render(reinterpret_cast<float *>(stream), frames);
    else memset(stream, 0, (size_t)len);
}

int OsOpenAudioDevice(OsAudioRenderFunc render, int *obtainedRate)
{
    if (Device) {
        *obtainedRate = 0;
        return 1267;
    }
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return 1267;
    SDL_AudioSpec want, got;
    SDL_zero(want);
    want.freq = 48000;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
#ifdef KV_FUZZING
    // The command fuzzer opens and closes the device for every input, and a close waits two
    // buffers for the sound to drain.
    want.samples = 64;
#else
    want.samples = 1024;
#endif
    want.callback = DeviceCallback;
    Render = render;
    Device = SDL_OpenAudioDevice(nullptr, 0, &want, &got, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (!Device || got.freq < 1) {
        if (Device) SDL_CloseAudioDevice(Device);
        Device = 0;
        Render = nullptr;
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return 1267;
    }
    *obtainedRate = got.freq;
    SDL_PauseAudioDevice(Device, 0);
    return 0;
}

void OsPauseAudioDevice(int pause)
{
    if (Device) SDL_PauseAudioDevice(Device, pause ? 1 : 0);
}

void OsCloseAudioDevice(void)
{
    if (!Device) return;
    SDL_CloseAudioDevice(Device);
    Device = 0;
    Render = nullptr;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// Called from the device thread, so it only sets a flag: no lock, no allocation. The pump and
// the waits look at it at least every 10 ms.
void OsWakeMainThread(void)
{
    WakeFlag.store(1);
}

int OsTakeAudioWake(void)
{
    return WakeFlag.exchange(0);
}

void OsRaiseThreadPriority(void)
{
    sched_param param;
    param.sched_priority = sched_get_priority_min(SCHED_RR);
    if (pthread_setschedparam(pthread_self(), SCHED_RR, &param) == 0) return;
    // Without the right to real-time scheduling keep the normal policy at its best niceness.
    param.sched_priority = 0;
    pthread_setschedparam(pthread_self(), SCHED_OTHER, &param);
}
