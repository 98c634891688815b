// The "text" command library: its registration (commands and constants), its global font
// settings, the font commands and GetAvailableFonts, and its shutdown.
#include "text/text_lib.h"

#include "display/graphics.h"
#include "pictures/display_object.h"
#include "runtime/errors.h"
#include "runtime/libraries.h"
#include "text/font.h"
#include "text/font_manager.h"
#include "text/text_layers.h"
#include "text/text_objects.h"
#include "text/text_print.h"

static const FontSettings StartSettings = {TEXTSTYLE_NORMAL, 0xFFFFFF, 0, 0x0093DD, 4, 3, 2, nullptr};
static FontSettings CurrentSettings = StartSettings;
static int32_t DefaultEncoding = ENCODING_ISO8859_1;

FontSettings *GetFontSettings(void) { return &CurrentSettings; }
FontHandle *GetCurrentFont(void) { return CurrentSettings.font; }
int32_t GetDefaultEncoding(void) { return DefaultEncoding; }
void SetDefaultEncoding(int32_t encoding) { DefaultEncoding = encoding; }

// GetAvailableFonts(): the font manager's faces as an array of {name, family, bitmap, weight,
// slant, sizes}.
static int TxGetAvailableFonts(lua_State *L)
{
    CheckArgs(L, 0, 0);
    FreeFontList();
    BuildFontList(1);
    lua_newtable(L);
    int index = 0;
    for (const SystemFontEntry *e = GetFontList(); e; e = e->next) {
        lua_pushnumber(L, index++);
        lua_newtable(L);
        SetFieldString(L, "name", e->fullName);
        SetFieldString(L, "family", e->family);
        SetFieldInt(L, "bitmap", e->bitmap);
        SetFieldInt(L, "weight", e->weight);
        SetFieldInt(L, "slant", e->slant);
        lua_pushstring(L, "sizes");
        lua_newtable(L);
        for (int k = 0; k < e->sizeCount; k++) {
            lua_pushnumber(L, k);
            lua_pushnumber(L, e->sizes[k]);
            lua_settable(L, -3);
        }
        lua_settable(L, -3);
        lua_settable(L, -3);
    }
    FreeFontList();
    return 1;
}

static const luaL_reg TextCommands[] = {
    {"SetFont", TxSetFont},
    {"SetFontColor", TxSetFontColor},
    {"TextHeight", TxTextHeight},
    {"TextWidth", TxTextWidth},
    {"ResetTabs", TxResetTabs},
    {"AddTab", TxAddTab},
    {"Locate", TxLocate},
    {"SetMargins", TxSetMargins},
    {"SetFontStyle", TxSetFontStyle},
    {"Print", TxPrint},
    {"NPrint", TxNPrint},
    {"TextOut", TxTextOut},
    {"CreateTextObject", TxCreateTextObject},
    {"DisplayTextObject", TxDisplayTextObject},
    {"FreeTextObject", TxFreeTextObject},
    {"InKeyStr", TxInKeyStr},
    {"TextExtent", TxTextExtent},
    {"ScaleTextObject", TxScaleTextObject},
    {"CopyTextObject", TxCopyTextObject},
    {"RotateTextObject", TxRotateTextObject},
    {"OpenFont", TxOpenFont},
    {"CloseFont", TxCloseFont},
    {"UseFont", TxUseFont},
    {"GetAvailableFonts", TxGetAvailableFonts},
    {"FreeGlyphCache", TxFreeGlyphCache},
    {"SetDefaultEncoding", TxSetDefaultEncoding},
    {nullptr, nullptr}};

static const luaL_Constant TextConstants[] = {
    {"NORMAL", nullptr, 1}, {"BOLD", nullptr, 2}, {"ITALIC", nullptr, 4}, {"UNDERLINED", nullptr, 8},
    {"ANTIALIAS", nullptr, 16}, {"SHADOW", nullptr, 32}, {"EDGE", nullptr, 64},
    {"ALL", nullptr, 0}, {"ALPHANUMERICAL", nullptr, 1}, {"ALPHABETICAL", nullptr, 2}, {"NUMERICAL", nullptr, 3},
    {"HEXNUMERICAL", nullptr, 4},
    {"SHDWNORTH", nullptr, 0}, {"SHDWNORTHEAST", nullptr, 1}, {"SHDWEAST", nullptr, 2},
    {"SHDWSOUTHEAST", nullptr, 3}, {"SHDWSOUTH", nullptr, 4}, {"SHDWSOUTHWEST", nullptr, 5},
    {"SHDWWEST", nullptr, 6}, {"SHDWNORTHWEST", nullptr, 7},
    {"BITMAP_DEFAULT", ":::default_bitmap", 0}, {"TRUETYPE_DEFAULT", ":::default_truetype", 0},
    {"SANS", ":::default_sans", 0}, {"SERIF", ":::default_serif", 0}, {"MONOSPACE", ":::default_mono", 0},
    {"FONTENGINE_NATIVE", nullptr, 0}, {"FONTENGINE_INBUILT", nullptr, 4},
    {"FONTWEIGHT_THIN", nullptr, 0}, {"FONTWEIGHT_EXTRALIGHT", nullptr, 40}, {"FONTWEIGHT_ULTRALIGHT", nullptr, 40},
    {"FONTWEIGHT_LIGHT", nullptr, 50}, {"FONTWEIGHT_BOOK", nullptr, 75}, {"FONTWEIGHT_NORMAL", nullptr, 80},
    {"FONTWEIGHT_REGULAR", nullptr, 80}, {"FONTWEIGHT_MEDIUM", nullptr, 100}, {"FONTWEIGHT_SEMIBOLD", nullptr, 180},
    {"FONTWEIGHT_DEMIBOLD", nullptr, 180}, {"FONTWEIGHT_BOLD", nullptr, 200}, {"FONTWEIGHT_EXTRABOLD", nullptr, 205},
    {"FONTWEIGHT_ULTRABOLD", nullptr, 205}, {"FONTWEIGHT_HEAVY", nullptr, 210}, {"FONTWEIGHT_BLACK", nullptr, 210},
    {"FONTWEIGHT_EXTRABLACK", nullptr, 215}, {"FONTWEIGHT_ULTRABLACK", nullptr, 215},
    {"FONTSLANT_ROMAN", nullptr, 0}, {"FONTSLANT_ITALIC", nullptr, 100}, {"FONTSLANT_OBLIQUE", nullptr, 110},
    {"ENCODING_ISO8859_1", nullptr, 0}, {"ENCODING_UTF8", nullptr, 1},
    {nullptr, nullptr, 0}};

int OpenTextLib(lua_State *L)
{
    CurrentSettings = StartSettings;
    DefaultEncoding = ENCODING_ISO8859_1;
    luaL_openlib(L, nullptr, TextCommands, 0);
    int code = RegisterCommandTable(TextCommands, "text");
    if (code) return code;
    luaL_registerconstants(L, TextConstants);
    SetAttributeProvider(OBJTYPE_TEXTOBJECT, TextObjectAttribute);
    SetObjectPictureSource(PICSOURCE_TEXTOBJECT, TextObjectPictureSource);
    FontHandle *builtin = nullptr;
    code = InitFontSystem(&builtin);
    CurrentSettings.font = builtin;
    InstallTextLayerHooks(L);
    return code;
}

void CloseTextLib(lua_State *L)
{
    RemoveTextLayerHooks();
    SetObjectPictureSource(PICSOURCE_TEXTOBJECT, nullptr);
    FreeAllTextObjects();
    FreeWordWrapBuffer();
    FreeAllDisplayTabStops();
    FreeAllFontNodes();
    FreeFontCache();
    FontSystemCleanup();
    CurrentSettings.font = nullptr;
}
