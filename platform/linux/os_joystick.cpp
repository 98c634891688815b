// Joysticks: the list of SDL joysticks, built once; axes 0 and 1 give the direction (with the
// first hat for D-pads whose axes stay centred) and buttons 0-31 the button bits.
#include <SDL.h>
#include <cstdlib>

#include "platform/linux/os_internal.h"

struct Joystick {
    Joystick *next;
    SDL_Joystick *device;
    int32_t minX, maxX, minY, maxY;   // widened to every value read
};

static Joystick *Joysticks = nullptr;
static int Scanned = 0;

static int Scan(void)
{
    if (Scanned) return 0;
    if (!SDL_WasInit(SDL_INIT_JOYSTICK) && SDL_InitSubSystem(SDL_INIT_JOYSTICK) != 0) return 1385;
    // The state is read with SDL_JoystickUpdate; no joystick events are queued.
    SDL_JoystickEventState(SDL_IGNORE);
    Joystick **link = &Joysticks;
    int n = SDL_NumJoysticks();
    for (int i = 0; i < n; i++) {
        SDL_Joystick *device = SDL_JoystickOpen(i);
        if (!device) continue;
        Joystick *j = (Joystick *)calloc(1, sizeof(Joystick));
        if (!j) {
            SDL_JoystickClose(device);
            return 1000;
        }
        j->device = device;
        // SDL reports every axis as -32768..32767.
        j->minX = j->minY = -32768;
        j->maxX = j->maxY = 32767;
        *link = j;
        link = &j->next;
    }
    Scanned = 1;
    return 0;
}

int OsCountJoysticks(int *count)
{
    *count = 0;
    int err = Scan();
    if (err) return err;
    for (Joystick *j = Joysticks; j; j = j->next) (*count)++;
    return 0;
}

int32_t OsJoyAxisPosition(int32_t value, int32_t min, int32_t max)
{
    int64_t range = (int64_t)max - min;
    if (range == 0) return 0;
    double pos = (double)((int64_t)value - min) * 2000.0 / (double)range - 1000.0;
    return (int32_t)(pos < 0 ? pos - 0.5 : pos + 0.5);
}

int OsJoyDirection(int32_t x, int32_t y)
{
    if (x > 500) return y < -500 ? OS_JOYUPRIGHT : y > 500 ? OS_JOYDOWNRIGHT : OS_JOYRIGHT;
    if (x < -500) return y < -500 ? OS_JOYUPLEFT : y > 500 ? OS_JOYDOWNLEFT : OS_JOYLEFT;
    return y < -500 ? OS_JOYUP : y > 500 ? OS_JOYDOWN : OS_JOYNODIR;
}

static int32_t ReadAxis(SDL_Joystick *device, int axis, int32_t *min, int32_t *max)
{
    if (axis >= SDL_JoystickNumAxes(device)) return 0;
    int32_t v = SDL_JoystickGetAxis(device, axis);
    if (v < *min) *min = v;
    if (v > *max) *max = v;
    return OsJoyAxisPosition(v, *min, *max);
}

int OsReadJoystick(int index, int *direction, uint32_t *buttons)
{
    int err = Scan();
    if (err) return err;
    Joystick *j = Joysticks;
    for (int i = 0; j && i < index; i++) j = j->next;
    if (index < 0 || !j) return 1427;
    SDL_JoystickUpdate();
    if (buttons) {
        uint32_t bits = 0;
        int n = SDL_JoystickNumButtons(j->device);
        for (int b = 0; b < n && b < 32; b++)
            if (SDL_JoystickGetButton(j->device, b)) bits |= 1u << b;
        *buttons = bits;
    }
    int32_t x = ReadAxis(j->device, 0, &j->minX, &j->maxX);
    int32_t y = ReadAxis(j->device, 1, &j->minY, &j->maxY);
    int dir = OsJoyDirection(x, y);
    if (dir == OS_JOYNODIR && SDL_JoystickNumHats(j->device) > 0) {
        Uint8 hat = SDL_JoystickGetHat(j->device, 0);
        x = hat & SDL_HAT_RIGHT ? 1000 : hat & SDL_HAT_LEFT ? -1000 : 0;
        y = hat & SDL_HAT_DOWN ? 1000 : hat & SDL_HAT_UP ? -1000 : 0;
        dir = OsJoyDirection(x, y);
    }
    if (direction) *direction = dir;
    return 0;
}

void OsFreeJoysticks(void)
{
    while (Joysticks) {
        Joystick *next = Joysticks->next;
        SDL_JoystickClose(Joysticks->device);
        free(Joysticks);
        Joysticks = next;
    }
    if (Scanned && SDL_WasInit(SDL_INIT_JOYSTICK)) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
    Scanned = 0;
}
