// Speed of the sound output: the mixer with 32 voices of mixed formats and rates at 44.1 kHz,
// and the module replayer on a busy module, as real-time factors (seconds of audio rendered
// per second of work), the replayer also against libopenmpt measured in the same run.
#include <cmath>
#include <cstdio>
#include <vector>

#include "bench/bench_timing.h"
#include "sound/audio_output.h"
#include "sound/mod_player.h"
#include "sound/sample_file.h"
#include "tests/sound/mod_fixture.h"

#ifdef KV_HAVE_OPENMPT
#include <libopenmpt/libopenmpt.h>
#endif

namespace {

struct Voice {
    int bits, channels, flags, rate;
    std::vector<uint8_t> bytes;
    SampleBuffer buffer = {};
};

// The busy module: every channel plays a note on every row under changing effects.
std::vector<uint8_t> BusyModule()
{
    ModBuilder b(4);
    for (int s = 1; s <= 4; s++) {
        b.samples[s].data = SquareWave(8 * s, 64);
        b.samples[s].loopLength = (int)b.samples[s].data.size();
    }
    const int periods[] = {856, 640, 428, 320, 214, 160, 113};
    const int effects[][2] = {{0, 0x47}, {4, 0x46}, {1, 2}, {3, 4}, {0xA, 0x01}, {7, 0x34}, {0xC, 48}, {0, 0}};
    for (int p = 0; p < 4; p++)
        for (int r = 0; r < 64; r++)
            for (int c = 0; c < 4; c++) {
                const int *e = effects[(r + c) % 8];
                b.Cell(p, r, c, 1 + (r + c) % 4, periods[(r * 3 + c) % 7], e[0], e[1]);
            }
    b.Cell(0, 0, 0, 1, 428, 0xF, 3);
    return b.Build();
}

}  // namespace

int main()
{
    // Mixer: eight channels a render, four renders a block = 32 voices.
    OsInitAudio();
    MixSetOutputRate(44100);
    std::vector<Voice> voices = {
        {8, 1, 0, 22050, {}}, {8, 1, SAMPLEF_SIGNED, 8000, {}}, {16, 2, SAMPLEF_SIGNED, 44100, {}},
        {16, 1, SAMPLEF_SIGNED | SAMPLEF_BIGENDIAN, 48000, {}}, {32, 2, SAMPLEF_FLOAT | SAMPLEF_SIGNED, 32000, {}},
        {16, 1, SAMPLEF_SIGNED, 11025, {}}, {8, 2, 0, 16000, {}}, {8, 1, SAMPLEF_SIGNED, 96000, {}},
    };
    for (Voice &v : voices) {
        int frameBytes = v.bits / 8 * v.channels;
        v.bytes.assign((size_t)v.rate * frameBytes, 0);
        for (size_t i = 0; i < v.bytes.size(); i++) v.bytes[i] = (uint8_t)(i * 37);
        if (v.flags & SAMPLEF_FLOAT) {
            float *f = reinterpret_cast<float *>(v.bytes.data());
            for (size_t i = 0; i < v.bytes.size() / 4; i++) f[i] = std::sin(i * 0.01f) * 0.5f;
        }
        v.buffer = {v.bytes.data(), v.bits, frameBytes, v.channels, v.flags, (uint32_t)v.rate};
        OsPlaySample(&v.buffer, ObjectId{1, nullptr}, 0, 0, v.rate, 64, 100, -1, 0);
    }
    OsStartPreparedChannels();
    std::vector<float> out(2 * 44100);
    double mix = BenchBestTime([&] {
        for (int i = 0; i < 4; i++) MixRender(out.data(), 44100);
    }, 100, 0.3, 3);
    OsCloseAudio();

    // Replayer: 10 s of the busy module.
    ModInstance mi(BusyModule());
    std::vector<int16_t> pcm(2 * 48000);
    double mod = BenchBestTime([&] {
        for (int s = 0; s < 10; s++) ModRender(mi.mp, pcm.data(), pcm.data() + 1, 4, 48000, 0, 16, 2);
    }, 100, 0.3, 3);
    printf("%-34s %10.1f   target >= 200\n", "mixer 32 voices, 44.1 kHz (x RT)", 1.0 / mix);
    printf("%-34s %10.1f   target >= 500\n", "ModRender busy module (x RT)", 10.0 / mod);
#ifdef KV_HAVE_OPENMPT
    std::vector<uint8_t> bytes = BusyModule();
    openmpt_module *m = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr,
                                                           nullptr, nullptr, nullptr, nullptr, nullptr);
    if (m) {
        openmpt_module_set_repeat_count(m, -1);
        openmpt_module_set_render_param(m, OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH, 1);
        double ref = BenchBestTime([&] {
            for (int s = 0; s < 10; s++) openmpt_module_read_interleaved_stereo(m, 48000, 48000, pcm.data());
        }, 100, 0.3, 3);
        printf("%-34s %10.2f   target >= 1.0 (libopenmpt %.1f x RT)\n", "ModRender vs libopenmpt", ref / mod,
               10.0 / ref);
        openmpt_module_destroy(m);
    }
#endif
    return 0;
}
