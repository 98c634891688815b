// Changing the content of text layers from a style table: the text keys read into a text state,
// the layer laid out anew from it in its place, and the keys read back.
#pragma once
#include <cstdint>

#include "runtime/handler_support.h"
#include "text/text_state.h"

struct kvLayer;
struct lua_State;

// What a text layer is to show. For #TEXTOUT and #PRINT the state is a plain record: its text
// points into the layer's old state or into the style table (both alive while the change runs,
// the table's string kept on the stack), and it has no tables of its own. For #TEXTOBJECT the
// source names the text object.
struct TextContent {
    int32_t kind;               // LAYERTYPE_TEXTOUT, LAYERTYPE_PRINT or LAYERTYPE_TEXTOBJECT
    TextState state;
    ObjectId source;
    int cursorGiven;            // #PRINT: placed at its cursor anew
};

// #TEXTOUT and #PRINT.
int IsTextLayerKind(int32_t type);
// Reads the text keys of the table at t, in their order, for a layer that is to become (or stay)
// `type` (#TEXTOUT or #PRINT): starting from the layer's own text, else from the current font
// settings (for #PRINT also the display's cursor, margins and tab stops). *changed is set when a
// key was present. Nothing is allocated (a new font is opened through the font cache), so a
// raised error leaks nothing. Errors: 1014 (a change of kind without "text"), 1055, 1066, 1189,
// 1337 and the font's opening errors.
int ReadTextContent(lua_State *L, int t, const kvLayer *l, int32_t type, TextContent *c, int *changed);
// Lays the content out and makes it the layer's: its images, size, text, type and source, placed
// at (x, y) (KEEPPOSITION keeps the text where it was; relative bits 1 and 2 add to it). The
// layer keeps its place, name and look; on failure it is unchanged. 0 or an error code.
int RebuildTextLayer(lua_State *L, kvLayer *l, TextContent *c, int32_t x, int32_t y, int relative);
// Sets the text keys of a #TEXTOUT or #PRINT layer into the table on top of the stack.
void PushTextContent(lua_State *L, const kvLayer *l);
