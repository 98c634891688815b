// Backfill settings and the start-up state shared by the screen-mode code and the start-up.
#pragma once
#include <cstdint>

#include "runtime/applet.h"

struct lua_State;

// What covers the screen behind the displays: kind (BACKFILL_*), two colours (-1 none), the
// picture's position, the brush number or file, the scale flag, and whether the menu bar is
// covered too.
struct BackfillSettings {
    int32_t kind;
    int32_t color1, color2;
    int32_t x, y;
    uint32_t brush;
    char brushFile[1024];
    int32_t scale;
    int32_t hideMenuBar;
};

// Set at start-up for the full-screen modes: ReopenDisplays then ignores the applet's backfill.
extern int IgnoreAppletBackfill;

void AppletBackfill(const AppletRecord *applet, BackfillSettings *s);
// Makes the backfill brush, BGPic and backdrop display by calling the script commands by name;
// skipped (0) while one of those commands is missing.
int CreateDisplayBGPic(lua_State *L, const BackfillSettings *s);
