// The event library's command table, its constants, and opening and closing it.
#include "display/display.h"
#include "display/event.h"
#include "runtime/libraries.h"
#include "runtime/memory.h"

static const luaL_reg EventCommands[] = {
    {"WaitLeftMouse", WaitLeftMouse},
    {"WaitRightMouse", WaitRightMouse},
    {"WaitKeyDown", WaitKeyDown},
    {"IsKeyDown", IsKeyDown},
    {"WhileRightMouseDown", WhileRightMouseDown},
    {"WhileMouseDown", WhileMouseDown},
    {"WhileKeyDown", WhileKeyDown},
    {"IsLeftMouse", IsLeftMouse},
    {"IsRightMouse", IsRightMouse},
    {"BreakWhileMouseOn", BreakWhileMouseOn},
    {"SetEventTimeout", SetEventTimeout},
    {"GetEventCode", GetEventCode},
    {"LeftMouseQuit", LeftMouseQuit},
    {"EscapeQuit", EscapeQuit},
    {"CtrlCQuit", CtrlCQuit},
    {"EnableEvent", EnableEvent},
    {"DisableEvent", DisableEvent},
    {"RemoveButton", RemoveButton},
    {"RemoveKeyDown", RemoveKeyDown},
    {"ModifyButton", ModifyButton},
    {"ModifyKeyDown", ModifyKeyDown},
    {"WhileMouseOn", WhileMouseOn},
    {"CreateButton", CreateButton},
    {"CreateKeyDown", CreateKeyDown},
    {"FreeEventCache", FreeEventCache},
    {"ClearEvents", ClearEvents},
    {"CheckEvent", CheckEvent},
    {"WaitEvent", WaitEvent},
    {"MouseX", MouseX},
    {"MouseY", MouseY},
    {"MakeButton", MakeButton},
    {"DeleteButton", DeleteButton},
    {"DisableButton", DisableButton},
    {"EnableButton", EnableButton},
    {"InstallEventHandler", InstallEventHandler},
    {"SetInterval", SetInterval},
    {"SetTimeout", SetTimeout},
    {"ClearInterval", ClearInterval},
    {"ClearTimeout", ClearTimeout},
    {"ChangeInterval", ChangeInterval},
    {"DumpButtons", DumpButtons},
    {"WaitMidMouse", WaitMidMouse},
    {"IsMidMouse", IsMidMouse},
    {"ResetKeyStates", ResetKeyStates},
    {"JoyDir", JoyDir},
    {"JoyFire", JoyFire},
    {"CountJoysticks", CountJoysticks},
    {nullptr, nullptr},
};

static const luaL_Constant EventConstants[] = {
    {"MOVEWINDOW", nullptr, 6},
    {"SIZEWINDOW", nullptr, 7},
    {"INACTIVEWINDOW", nullptr, 8},
    {"ACTIVEWINDOW", nullptr, 9},
    {"CLOSEWINDOW", nullptr, 10},
    {"ONBUTTONCLICKALL", nullptr, 11},
    {"ONBUTTONRIGHTCLICKALL", nullptr, 12},
    {"ONBUTTONOVERALL", nullptr, 13},
    {"ONKEYDOWNALL", nullptr, 14},
    {"JOYUP", nullptr, 0},
    {"JOYUPRIGHT", nullptr, 1},
    {"JOYRIGHT", nullptr, 2},
    {"JOYDOWNRIGHT", nullptr, 3},
    {"JOYDOWN", nullptr, 4},
    {"JOYDOWNLEFT", nullptr, 5},
    {"JOYLEFT", nullptr, 6},
    {"JOYUPLEFT", nullptr, 7},
    {"JOYNODIR", nullptr, 8},
    {"ONBUTTONCLICK", nullptr, 2},
    {"ONBUTTONOVER", nullptr, 1},
    {"ONKEYDOWN", nullptr, 3},
    {"ONBUTTONRIGHTCLICK", nullptr, 5},
    {"SIMPLEBUTTON", nullptr, 0},
    {"LAYERBUTTON", nullptr, 1},
    {nullptr, nullptr, 0},
};

int OpenEventLib(lua_State *L)
{
    for (EventHandlerSlot &slot : GlobalHandlers) slot = {-1, -1};
    EventLibState = L;
    DispatchState = (EventDispatchState *)MemAlloc(sizeof(EventDispatchState), 1);
    if (!DispatchState) return 1000;
    DisplayEventsForgotten = ForgetDispatchedDisplay;
    luaL_openlib(L, nullptr, EventCommands, 0);
    int err = RegisterCommandTable(EventCommands, "event");
    if (err) return err;
    luaL_registerconstants(L, EventConstants);
    return 0;
}

void CloseEventLib(lua_State *L)
{
    FreeEventActions();
    FreeCallbackTimers();
    if (DispatchState) MemFree(DispatchState->event.extra);
    MemFree(DispatchState);
    DispatchState = nullptr;
    DisplayEventsForgotten = nullptr;
    EventLibState = nullptr;
}
