// The graphics library: colours, mouse pointers, clip regions, the attribute query, the picture
// writer and snapshots, and the drawing state (mask mode, alpha intensity) that the runtime's tag
// chain reaches. The commands live in display/graphics_*.cpp, clipregion_*.cpp,
// attributes_*.cpp and snapshot_*.cpp; this header is what the rest of the program calls.
#pragma once
#include <cstdint>

#include "display/clipregion.h"
#include "gfx/bitmap.h"
#include "runtime/handler_support.h"

struct lua_State;
struct OsCursor;
struct DisplayRecord;

// The library's object kinds beyond those of display.h (the script's #CLIPREGION ... numbers).
enum {
    OBJTYPE_SAMPLE = 2, OBJTYPE_TEXTOBJECT = 8, OBJTYPE_SHAPE = 28, OBJTYPE_SPRITE = 32,
    OBJTYPE_MUSIC = 33, OBJTYPE_CLIPREGION = 35, OBJTYPE_POINTER = 36, OBJTYPE_ASYNCDRAW = 37,
    OBJTYPE_DOUBLEBUFFER = 38, OBJTYPE_MEMORY = 39, OBJTYPE_EVENTHANDLER = 40, OBJTYPE_INTERVAL = 41,
    OBJTYPE_TIMEOUT = 42, OBJTYPE_FONT = 43, OBJTYPE_FILE = 44, OBJTYPE_DIRECTORY = 45
};

// Attribute numbers (#ATTR...) the code names.
enum {
    ATTR_WIDTH = 0, ATTR_HEIGHT = 1, ATTR_MAXWIDTH = 2, ATTR_MAXHEIGHT = 3, ATTR_BGPIC = 4,
    ATTR_TRANSPARENTCOLOR = 5, ATTR_LAYERS = 6, ATTR_XPOS = 7, ATTR_YPOS = 8, ATTR_TYPE = 9,
    ATTR_DURATION = 14, ATTR_PITCH = 15, ATTR_HASMASK = 16, ATTR_HASALPHA = 17, ATTR_POSITION = 18,
    ATTR_FORMAT = 19, ATTR_BITRATE = 20, ATTR_POINTER = 38, ATTR_CLIPREGION = 39, ATTR_MODE = 42,
    ATTR_OUTPUTDEVICE = 54, ATTR_SIZE = 57, ATTR_FUNCTION = 58, ATTR_USERDATA = 59, ATTR_COUNT = 60
};

// Picture file formats of the writer (#IMGFMT_...) and snapshot kinds (#SNAP...).
enum { IMGFMT_BMP = 0, IMGFMT_PNG = 1, IMGFMT_JPEG = 2, IMGFMT_GIF = 3, IMGFMT_ILBM = 4 };
enum { SNAP_WINDOW = 0, SNAP_DISPLAY = 1, SNAP_DESKTOP = 2 };
// Pointer kinds (#STDPTR_...).
enum { STDPTR_SYSTEM = 0, STDPTR_BUSY = 1, STDPTR_CUSTOM = 2 };

// ---------------------------------------------------------------------------------------------
// Drawing state (runtime tags 5 and 7)

// The mask mode of drawing into a mask (MASKVISIBLE ...) and the alpha intensity of drawing into
// an alpha channel (-1 = none).
extern int GraphicsMaskMode;
extern int GraphicsAlphaIntensity;

// ---------------------------------------------------------------------------------------------
// Pointers (graphics_pointers.cpp)

struct PointerNode {
    PointerNode *next;
    ObjectId id;
    int32_t width, height;
    OsCursor *cursor;              // none for the standard pointers
    uint32_t kind;                 // STDPTR_*
    uint32_t pendingFree;          // a display still shows it; id {0, node address}
};

extern PointerNode *PointerList;
// 0, 1320 "Could not find pointer image %ld!" (error number set) or 1041; pending ones are skipped.
int FindPointer(ObjectId id, PointerNode **out);
// Every pointer, pending ones included.
int CountPointers(void);
void FreeAllPointers(void);
// Makes p an image pointer (#STDPTR_CUSTOM) of width x height: the mask or alpha channel gives the
// pointer's transparency; the hot spot (negative = not given) defaults to the middle and is
// clamped to the last pixel. 0, 1000, or 1321 when the platform can't make the pointer.
int MakeImagePointer(PointerNode *p, const BitMap *bitmap, const Mask *mask, const AlphaChannel *alpha, int32_t width,
                     int32_t height, int32_t hotX, int32_t hotY);

// ---------------------------------------------------------------------------------------------
// Clip regions (clipregion_*.cpp)

extern ClipRegionNode *ClipRegionList;

// What the layer code tells the clip regions; with no links set no layer uses a region.
struct ClipRegionLayerLinks {
    // Non-zero when a layer of any BGPic clips with the region.
    int (*isShown)(const ClipRegionNode *region);
    // Every layer that clips with the region lets go of it (library close).
    void (*forget)(const ClipRegionNode *region);
};
void SetClipRegionLayerLinks(const ClipRegionLayerLinks *links);

enum { FINDCLIP_FORCHANGE = 1, FINDCLIP_PENDING = 2 };
// 0, 1215 "Could not find clip region %ld!" (error number set) or 1041 for a handle; with
// FINDCLIP_FORCHANGE a locked region gives 1314; pending regions only with FINDCLIP_PENDING.
int FindClipRegion(ObjectId id, ClipRegionNode **out, int flags);
// FreeClipRegion's work; with report 0 a missing region is no error. 0 or an error code.
int FreeClipRegionCore(lua_State *L, ObjectId id, int report);
// Frees every pending-free region that no layer uses any more.
void FlushClipRegions(void);
// Every region, pending ones included.
int CountClipRegions(void);
// Frees every region (each first forgotten by the layers) and the scratch mask.
void FreeAllClipRegions(void);
// Cuts a rectangle at the picture's top-left edge and keeps its mask in step. With copy set the
// mask is always replaced by a new one (cut or whole), else only when something was cut; with
// freeOld the replaced mask is freed. 0, 1055 when nothing is left, or 1000.
int ClipRegionRect(int32_t *x, int32_t *y, int32_t *width, int32_t *height, Mask **mask, int copy, int freeOld);
// The copy a transformed or scaled layer clips with: anchors are fractions of the region's
// size, m and second are 2x2 matrices {a, b, c, d} (x' = a x + c y, y' = b x + d y). None when
// memory runs out or nothing of it is left.
ClipRegionNode *TransformClipRegion(const ClipRegionNode *region, double anchorX, double anchorY, const double m[4],
                                    const double second[4], int relative, int useDisplayScale);
// Frees a temporary copy's mask (the layer code frees the copy itself).
void FreeClipRegionMask(ClipRegionNode *region);

// ---------------------------------------------------------------------------------------------
// Attributes (attributes_*.cpp)

// One type's answer to GetAttribute (type, id, attribute [, extra]): the id is argument 2 (read
// by the provider, so it may look up or skip it), the extra argument 4. Pushes the results and
// returns their count, or returns an error code.
typedef int (*AttributeProvider)(lua_State *L, int attribute);
// Installs (or with none removes) the provider of a type 0..45; libraries whose objects join
// later add theirs here. A type without a provider answers 1055.
void SetAttributeProvider(int type, AttributeProvider provider);
// Pushes an object id as the script sees it: the number, or the handle as light userdata; -1
// for none.
void PushObjectIdResult(lua_State *L, const ObjectId *id);
// The built-in providers of this library and of the libraries that are already there.
void RegisterAttributeProviders(void);

// ---------------------------------------------------------------------------------------------
// Picture writer and snapshots (snapshot_*.cpp)

// The bitmap as 0xAARRGGBB words (MemAlloc'd): a mask sets the alpha (alphaMode) or puts the
// background under clear bits; an alpha channel gives the alpha and puts the background's RGB
// into fully transparent pixels; with neither every pixel is opaque. None on failure.
uint32_t *MakeARGBImage(const BitMap *bitmap, int32_t width, int32_t height, const Mask *mask,
                        const AlphaChannel *alpha, uint32_t background, int alphaMode);
// Writes the picture in a format (IMGFMT_*), in place of an older file only once the new one is
// whole. 0; 1000; 1052 when the file can't be created (error string: the name); 1005 when a
// write or the close fails (named by WriteFailure; an older file stays as it was and nothing of
// the new one is left); 1055 for a format it can't write or a size it can't hold, before any
// file is touched. GIF: the pixels a mask leaves out, or whose alpha is below 128, are written
// with the transparent index and no other pixel is; its palette entry is the transparent colour.
int SaveImageFile(int format, const BitMap *bitmap, int32_t width, int32_t height, const char *name,
                  const Mask *mask, uint32_t transparentColor, const AlphaChannel *alpha, int quality,
                  int colours, int dither);
// Width x height ARGB words as a 24-bit bottom-up BMP through the file layer, saved as
// SaveImageFile saves. 0, 1000, 1052, 1005.
int WriteBMP(const char *name, const uint32_t *argb, int32_t width, int32_t height);
// The options argument at `index` when it is the last argument: a number is the quality, a table
// gives "quality", "colors" and "dither". Defaults 90, 256, 0.
void GetSaveOptions(lua_State *L, int index, int *quality, int *colours, int *dither);

// ---------------------------------------------------------------------------------------------
// Command handlers (registered by OpenGraphicsLib)

int GfxCreateClipRegion(lua_State *L);
int GfxSetClipRegion(lua_State *L);
int GfxFreeClipRegion(lua_State *L);
int GfxCreatePointer(lua_State *L);
int GfxSetPointer(lua_State *L);
int GfxFreePointer(lua_State *L);
int GfxShowPointer(lua_State *L);
int GfxHidePointer(lua_State *L);
int GfxMovePointer(lua_State *L);
int GfxGetAttribute(lua_State *L);
int GfxSaveSnapshot(lua_State *L);
// The brush library's SaveBrush, which writes through the picture writer.
int GfxSaveBrush(lua_State *L);
