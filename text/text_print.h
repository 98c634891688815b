// Printing at each display's text cursor: the cursor, margins and tab stops of a display, the
// commands that move them, Print, NPrint and TextOut, and the blit of a rendered text onto the
// current output.
#pragma once
#include <cstdint>

#include "runtime/handler_support.h"

struct lua_State;
struct DisplayRecord;
struct TextState;

// The tab stops of a display (kept on the text side; none yet: no stops).
struct DisplayTabStops {
    DisplayTabStops *next;
    const DisplayRecord *display;
    ObjectId id;
    int32_t stops[32];
    int32_t count;
};
// The display's stops, made on first use when create is set; none when absent or out of memory.
DisplayTabStops *GetDisplayTabStops(const DisplayRecord *display, int create);
// To be called when a display is freed: its tab stops go.
void ForgetDisplayTabStops(const DisplayRecord *display);
void FreeAllDisplayTabStops(void);

// Fills a state for printing the text at the current display's cursor (current font settings,
// alignment #LEFT, the display's cursor, margins and tab stops, the default encoding). The
// text is lent, not copied.
void InitPrintState(TextState *state, const char *text);
// Prints the text at the current display's cursor, which then stands behind it. noTags: square
// brackets are ordinary characters. 0 or an error code (1347 without a display).
int PrintAtCursor(lua_State *L, const char *text, int noTags);

int TxPrint(lua_State *L);
int TxNPrint(lua_State *L);
int TxTextOut(lua_State *L);
int TxLocate(lua_State *L);
int TxSetMargins(lua_State *L);
int TxAddTab(lua_State *L);
int TxResetTabs(lua_State *L);
// Font settings and measuring (text_print_style.cpp).
int TxSetFont(lua_State *L);
int TxSetFontColor(lua_State *L);
int TxSetFontStyle(lua_State *L);
int TxTextWidth(lua_State *L);
int TxTextHeight(lua_State *L);
int TxTextExtent(lua_State *L);
int TxSetDefaultEncoding(lua_State *L);
// InKeyStr (text_print_input.cpp).
int TxInKeyStr(lua_State *L);
// The "wordwraptable" buffer of TextOut, freed at the library's close.
void FreeWordWrapBuffer(void);
