// Displays: the DisplayRecord, the display list and its mutex, the current display, and the
// operations that create, open, resize, scale, switch and free displays.
//
// A display is one output surface: a window (or a full-screen window) with the BGPic it shows,
// its back buffer, its event-handler slots and the platform's window record, which keeps the
// input state. Every drawing command works on CurrentDisplay.
#pragma once
#include <cstdint>

#include "gfx/bitmap.h"
#include "runtime/applet.h"
#include "runtime/handler_support.h"

struct lua_State;
struct BGPicNode;
struct PointerNode;
struct AsyncDrawNode;
struct OsWindowRecord;
struct OsMutex;

// Object kinds the display code names (the script's #BGPIC, #BRUSH ... numbers).
enum {
    OBJTYPE_BGPIC = 1, OBJTYPE_BRUSH = 3, OBJTYPE_ANIM = 4, OBJTYPE_BOX = 14,
    OBJTYPE_DISPLAY = 21, OBJTYPE_LAYER = 22, OBJTYPE_MASK = 28, OBJTYPE_ALPHACHANNEL = 30
};

// Display states (#DISPSTATE_*).
enum { DISPSTATE_CLOSED = 0, DISPSTATE_OPEN = 1, DISPSTATE_MINIMIZED = 2 };
// Display modes of ChangeDisplayMode (#DISPMODE_*).
enum { DISPMODE_WINDOWED = 1, DISPMODE_FULLSCREEN = 2 };
// Scale modes (#SCALEMODE_*).
enum { SCALEMODE_NONE = 0, SCALEMODE_AUTO = 1, SCALEMODE_LAYER = 2 };

// Position constants and the size constant.
enum {
    POS_CENTER = -100000, POS_LEFT = -90000, POS_RIGHT = -80000, POS_TOP = -70000,
    POS_BOTTOM = -60000, POS_LEFTOUT = -50000, POS_RIGHTOUT = -40000, POS_TOPOUT = -30000,
    POS_BOTTOMOUT = -20000, KEEPASPRAT = 100000, KEEPPOSITION = 100000
};

// Display flag bits beyond those of the declarations (runtime/applet.h DISPF_*).
enum { DISPF_ALLWINDOW = DISPF_BORDERLESS | DISPF_SIZEABLE | DISPF_FIXED | DISPF_NOHIDE |
                         DISPF_USEQUARTZ | DISPF_NOCLOSE | DISPF_KEEPPROPORTIONS | DISPF_FITSCALE };

// Damage rectangles (inclusive corners), grown by 1024 entries.
struct DirtyRect {
    int32_t x1, y1, x2, y2;
};
struct DirtyRectList {
    DirtyRect *rects;
    int32_t count, capacity;
};

// A script callback: registry references of the function and of its user data; -1 = none.
struct EventHandlerSlot {
    int32_t function;
    int32_t userdata;
};

enum { DISPLAY_HANDLER_SLOTS = 21 };
// Slot names in slot order ("onkeydown" ... "onmidmouseup").
extern const char *const DisplayHandlerNames[DISPLAY_HANDLER_SLOTS];
enum { SLOT_CLOSEWINDOW = 3, SLOT_ONDROPFILE = 17, SLOT_CLIPBOARDCHANGE = 18 };

// The drawing state kept while output goes to an off-screen object.
struct SavedDisplayOutput {
    int32_t active;
    int32_t cursor[4];
    uint32_t layers;
};

struct DisplayRecord {
    DisplayRecord *next;
    ObjectId id;
    uint32_t layersEnabled;
    BitMap *outputBitMap;              // drawing target of an off-screen selection or double buffer
    Mask *outputMask;                  // updated with drawing while an off-screen target is selected
    AlphaChannel *outputAlpha;
    uint32_t outputType;               // OBJTYPE_DISPLAY while drawing goes to the display
    BGPicNode *bgpic;                  // shown BGPic
    BGPicNode *ownBGPic;               // made from the fill options; stays the display's, shown or
                                       // not, until the display is freed
    uint32_t doubleBuffer;
    uint32_t bufferedPresentation;
    uint32_t backdrop;                 // "private1": covers the whole screen, head of the list
    uint32_t private2, private3;
    int32_t x, y;                      // window position; #CENTER until resolved
    int32_t width, height;             // display size in pixels (the scale size when scaled)
    uint32_t state;                    // DISPSTATE_*
    int32_t fillStyle;                 // 1 colour, 2 gradient, 3 texture
    uint32_t color, gradientEnd;
    int32_t gradientAngle;
    uint32_t textureBrush;
    int32_t textureX, textureY;
    uint32_t flags;                    // DISPF_*
    char title[256];
    int32_t borderLeft, borderTop, borderWidth, borderHeight;   // left, top, left+right, top+bottom
    RegionEntry dragRegions[MAX_DISPLAY_REGIONS], dragRegionsUnscaled[MAX_DISPLAY_REGIONS];
    RegionEntry sizeRegions[MAX_DISPLAY_REGIONS], sizeRegionsUnscaled[MAX_DISPLAY_REGIONS];
    int32_t dragRegionCount, sizeRegionCount;
    int32_t dragRegionsGiven, sizeRegionsGiven;
    BitMap *displayBitMap;             // the display's unscaled picture (background copy)
    BitMap *backBuffer;                // Redraw composes into it; it is copied to the window
    BitMap *doubleBufferBitMap;
    BitMap *spareBitMap;               // the smooth-scaled window copy of a scaled display
    uint32_t autoScale, layerScale;    // copies of DISPF_AUTOSCALE and DISPF_LAYERSCALE
    int32_t stripLeft, stripTop, stripRight, stripBottom;   // bars around a proportional picture
    int32_t scaleWidth, scaleHeight;   // 0 = not scaled
    uint32_t scaleWords[2];
    uint32_t smoothScale;              // copy of DISPF_SMOOTHSCALE
    double scaleX, scaleY;             // scaled size / picture size; 1.0 when not scaled
    DirtyRectList dirty;
    EventHandlerSlot handlers[DISPLAY_HANDLER_SLOTS];
    uint32_t closeSwitch;              // old-style close action enabled (EnableEvent 10)
    BGPicNode *selection;              // picture record of an off-screen selection
    BGPicNode *doubleBufferPicture;
    int32_t cursorX, cursorY, leftMargin, rightMargin;
    PointerNode *pointer;              // none = the system pointer
    uint32_t pointerHidden;
    uint32_t reopenPending, activate;
    Mask *shapeMask;                   // window shape of a scaled display
    AlphaChannel *shapeAlpha;
    SavedDisplayOutput saved;
    OsWindowRecord *window;
    AsyncDrawNode *asyncDraws;         // the display's asynchronous drawing objects
    BitMap *frontBuffer;               // double buffering: the picture Flip shows
    uint32_t doubleBufferSuspended;    // a selection runs while double buffering is on
};

// ---------------------------------------------------------------------------------------------
// Globals

extern DisplayRecord *DisplayList;
extern DisplayRecord *CurrentDisplay;
extern OsMutex *DisplayListMutex;
extern int ScreenModeSwitched;
extern BitMap *DesktopSnapshot;
// The fallback display of the graphics library (never listed); none until that library sets it.
extern DisplayRecord *FallbackDisplay;
// The backfill display made at start-up, and whether its brush and BGPic were made.
struct BackfillObjects {
    int brushMade, bgpicMade, displayMade;
    ObjectId brush, bgpic, display;
};
extern BackfillObjects Backfill;

// ---------------------------------------------------------------------------------------------
// The list (display_list.cpp)

// 1344 "Could not find display %ld!" for a number, 1041 for a handle.
int FindDisplay(ObjectId id, DisplayRecord **out);
int CountDisplays(void);
int IsOnlyDisplay(const DisplayRecord *display);
// Links a new display: a backdrop display at the head, any other at the tail.
void LinkDisplay(DisplayRecord *display);
// Frees everything the display holds (window, own BGPic, buffers, shape, platform record,
// handler references, records, damage list); atExit is set by FreeAllDisplays.
void FreeDisplayContents(lua_State *L, DisplayRecord *display, int atExit);
// 0 when the display may be freed, else 1346 (current), 1380 (asynchronous drawings) or 1314
// (a transition holds its own BGPic).
int CheckDisplayFree(const DisplayRecord *d);
// Frees the display after CheckDisplayFree; its own BGPic follows once nothing shows it.
int RemoveDisplay(lua_State *L, ObjectId id);
// Clears the input state of a display (platform part and the BGPic's button states).
void ResetDisplayInput(DisplayRecord *display);
// Releases the registry references of every handler slot and marks them empty.
void FreeDisplayHandlers(lua_State *L, DisplayRecord *display);
void FreeDirtyRectList(DirtyRectList *list);

// ---------------------------------------------------------------------------------------------
// Options and creation (display_options.cpp, display_create.cpp)

// Reads the option table at index t into the record. creating: the table belongs to
// CreateDisplay. *scaleSizeGiven is set when "scalewidth" or "scaleheight" was given.
int ParseDisplayOptions(lua_State *L, int t, DisplayRecord *display, int creating, int *scaleSizeGiven);
// Fills a fresh record with the defaults of a new display.
void InitDisplayDefaults(DisplayRecord *display);
// CreateDisplay's work: id (isNil: automatic handle), option table index or 0. *out the display.
int CreateDisplayCore(lua_State *L, uint32_t number, int isNil, int t, DisplayRecord **out);

// ---------------------------------------------------------------------------------------------
// Windows (display_window.cpp)

// The screen bounds a display is placed in: the whole screen for a backdrop display, else the
// usable area.
void GetDisplayScreenBounds(const DisplayRecord *display, int32_t bounds[4]);
// Resolves a window position against the bounds (position constants only; the bounds' origin is
// added to a resolved coordinate).
void ResolveWindowPosition(DisplayRecord *display, const int32_t bounds[4]);
// Default regions for kinds the script did not give, then every region cut to the display.
void FitDisplayRegions(DisplayRecord *display);
int OpenWindowForDisplay(lua_State *L, DisplayRecord *display, int activate);
// Closes an open window: input state cleared, state 0.
void CloseDisplayWindow(DisplayRecord *display);
void RefreshDisplay(DisplayRecord *display, int flags);
// Pushes the display's geometry, flags and title to its platform window record.
void SyncWindowRecord(DisplayRecord *display);
void SaveDisplayOutput(DisplayRecord *display, int keepLayers, int32_t rightMargin);
void RestoreDisplayOutput(DisplayRecord *display);
// Makes the display current: CurrentPicture becomes its BGPic (or double-buffer picture).
void MakeDisplayCurrent(DisplayRecord *display);

// ---------------------------------------------------------------------------------------------
// Scaling, screen modes and start-up (display_scale.cpp, display_modes.cpp, display_startup.cpp)

// The proportional fit of a picture inside an area: scale size and border strips.
void FitProportionally(int32_t picWidth, int32_t picHeight, int32_t areaWidth, int32_t areaHeight,
                       int32_t *scaleWidth, int32_t *scaleHeight, int32_t strips[4]);
// Scale size and strips for a display of width x height with scaling on.
void ComputeDisplayScaleSize(DisplayRecord *display, int32_t width, int32_t height);
int OpenDisplayWindow(lua_State *L, DisplayRecord *display, int32_t x, int32_t y, int32_t width,
                      int32_t height, int resize, int smooth, int noRefresh);
int ReopenDisplays(lua_State *L, int fullScreen, int32_t width, int32_t height);
int FitDisplayToScreen(AppletRecord *applet, DisplayRecord *display, int32_t *width, int32_t *height);
int SetDisplayAttributesCore(lua_State *L, int t, DisplayRecord *display, int noRefresh);
// Sets the text cursor block to 0, 0, 0, width - 1.
void ResetDisplayCursor(DisplayRecord *display, int32_t width);

// Whether a video is being recorded (no recorder exists on this platform: never).
int IsRecording(void);

// ---------------------------------------------------------------------------------------------
// Output path (output.cpp, positions.cpp)

enum {
    SAFEBLT_NOCLIP = 1, SAFEBLT_NOSPRITES = 2, SAFEBLT_DISPLAYBITMAP = 4, SAFEBLT_REDRAW = 8,
    SAFEBLT_NOPLANES = 16, SAFEBLT_NOWINDOW = 32, SAFEBLT_FORCEDISPLAYBITMAP = 64
};
struct ClipRegionNode;

DisplayRecord *SafeBlt(const BitMap *src, int32_t sx, int32_t sy, BitMap *dst, int32_t dx, int32_t dy,
                       int32_t width, int32_t height, int32_t srcWidth, int32_t srcHeight, int32_t dstWidth,
                       int32_t dstHeight, int flags, const Mask *srcMask, const AlphaChannel *srcAlpha,
                       const ClipRegionNode *region);
void BltToWindow(const BitMap *bitmap, int32_t sx, int32_t sy, DisplayRecord *display, int32_t dx, int32_t dy,
                 int32_t width, int32_t height, int flags);
int32_t ResolveXPos(int32_t x, int32_t size, int32_t total, double anchor);
int32_t ResolveYPos(int32_t y, int32_t size, int32_t total, double anchor);
// Whether a coordinate names a position constant of the x (or y) axis.
int IsXPosConstant(int32_t x);
int IsYPosConstant(int32_t y);
int ApplyKeepAspectRatio(int32_t srcWidth, int32_t srcHeight, int32_t *width, int32_t *height);
void ClipBltRect(const ClipRegionNode *region, int32_t *sx, int32_t *sy, int32_t *dx, int32_t *dy,
                 int32_t *width, int32_t *height, int32_t srcWidth, int32_t srcHeight, int32_t dstWidth,
                 int32_t dstHeight, int useRegion);
// Frees the scratch mask buffer shared by SafeBlt and the clip regions.
void FreeScratchMask(void);
// The scratch mask buffer shared by SafeBlt and the clip regions, grown to at least `bytes`
// (freed and allocated anew); none when that fails.
uint8_t *GrowScratchMask(size_t bytes);
