// Joysticks through SDL's virtual joystick, and the axis and direction arithmetic.
#include <SDL.h>
#include <gtest/gtest.h>

#include "platform/os.h"

namespace {

TEST(Joystick, AxisArithmeticAndDirections)
{
    struct {
        int32_t value, min, max, pos;
    } axes[] = {{0, 0, 255, -1000}, {128, 0, 255, 4}, {255, 0, 255, 1000}, {5, 5, 5, 0},
                {-32768, -32768, 32767, -1000}, {32767, -32768, 32767, 1000}};
    for (auto &a : axes) EXPECT_EQ(OsJoyAxisPosition(a.value, a.min, a.max), a.pos) << a.value;
    struct {
        int32_t x, y;
        int dir;
    } dirs[] = {{600, -600, OS_JOYUPRIGHT}, {600, 0, OS_JOYRIGHT},   {600, 600, OS_JOYDOWNRIGHT},
                {0, 600, OS_JOYDOWN},       {-600, 600, OS_JOYDOWNLEFT}, {-600, 0, OS_JOYLEFT},
                {-600, -600, OS_JOYUPLEFT}, {0, -600, OS_JOYUP},      {500, 500, OS_JOYNODIR},
                {-500, -500, OS_JOYNODIR},  {501, -501, OS_JOYUPRIGHT}};
    for (auto &d : dirs) EXPECT_EQ(OsJoyDirection(d.x, d.y), d.dir) << d.x << "," << d.y;
}

TEST(Joystick, VirtualJoystickGivesDirectionsAndButtons)
{
    ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0);
    int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 2, 5, 0);
    ASSERT_GE(index, 0);
    int count = 0;
    ASSERT_EQ(OsCountJoysticks(&count), 0);
    EXPECT_EQ(count, 1);
    SDL_Joystick *joy = SDL_JoystickOpen(index);   // the same device, to move its sticks
    ASSERT_NE(joy, nullptr);

    int dir = -1;
    uint32_t buttons = 99;
    EXPECT_EQ(OsReadJoystick(1, &dir, &buttons), 1427);
    EXPECT_EQ(OsReadJoystick(-1, &dir, &buttons), 1427);
    ASSERT_EQ(OsReadJoystick(0, &dir, &buttons), 0);
    EXPECT_EQ(dir, OS_JOYNODIR);
    EXPECT_EQ(buttons, 0u);

    struct {
        Sint16 x, y;
        int dir;
    } moves[] = {{32767, -32768, OS_JOYUPRIGHT}, {-32768, 0, OS_JOYLEFT}, {0, 32767, OS_JOYDOWN},
                 {8000, -8000, OS_JOYNODIR}};
    for (auto &m : moves) {
        SDL_JoystickSetVirtualAxis(joy, 0, m.x);
        SDL_JoystickSetVirtualAxis(joy, 1, m.y);
        ASSERT_EQ(OsReadJoystick(0, &dir, nullptr), 0);   // read without SDL events: updated first
        EXPECT_EQ(dir, m.dir) << m.x << "," << m.y;
    }
    SDL_JoystickSetVirtualButton(joy, 0, SDL_PRESSED);
    SDL_JoystickSetVirtualButton(joy, 4, SDL_PRESSED);
    ASSERT_EQ(OsReadJoystick(0, nullptr, &buttons), 0);
    EXPECT_EQ(buttons, 0x11u);

    SDL_JoystickClose(joy);
    OsFreeJoysticks();
    SDL_JoystickDetachVirtual(index);
    ASSERT_EQ(OsCountJoysticks(&count), 0);   // scanned again after the list was freed
    EXPECT_EQ(count, 0);
    EXPECT_EQ(OsReadJoystick(0, &dir, &buttons), 1427);
    OsFreeJoysticks();
    SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

}  // namespace
