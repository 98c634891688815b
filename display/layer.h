// Layers: with layers on, every object a script shows on a display's BGPic becomes a kvLayer in
// that BGPic's list (bottom to top) instead of being blitted into the picture. Changed areas are
// recomposed from the background and the visible layers into the display's back buffer.
//
// A layer keeps three states: as the script asked for it (source), after its own transform
// (transformed) and after the display's layer scaling (drawn). While a layer is neither
// transformed nor scaled the three are one record; a state that differs from the one before it
// is owned by the layer.
#pragma once
#include <cstdint>

#include "display/display.h"
#include "gfx/bitmap.h"
#include "pictures/transform_record.h"
#include "runtime/handler_support.h"
#include "runtime/lists.h"

struct lua_State;
struct BGPicNode;
struct ClipRegionNode;
struct TextState;

// Layer types beyond the display's OBJTYPE_* (the script's object kinds).
enum {
    LAYERTYPE_NOOBJECT = 7, LAYERTYPE_TEXTOBJECT = 8, LAYERTYPE_TEXTOUT = 9, LAYERTYPE_PRINT = 11,
    LAYERTYPE_BRUSHPART = 12, LAYERTYPE_BGPICPART = 13, LAYERTYPE_BOX = 14, LAYERTYPE_CIRCLE = 15,
    LAYERTYPE_ELLIPSE = 16, LAYERTYPE_LINE = 17, LAYERTYPE_POLYGON = 27, LAYERTYPE_ARC = 31
};

struct LayerState {
    BitMap *bitmap;                 // rendered images (owned); none while drawn straight from the source
    Mask *mask;
    AlphaChannel *alpha;
    BitMap *fxBitMap;               // buffers of a layer transition in progress
    Mask *fxMask;
    AlphaChannel *fxAlpha;
    ClipRegionNode *clipRegion;
    int32_t x, y, width, height;    // position and content size as given
    int32_t drawnX, drawnY;         // top left corner of the rendered image
    int32_t anchoredX, anchoredY;   // given position minus the anchor offsets
    int32_t drawnWidth, drawnHeight;
    int32_t renderOffset[4];        // rendered image relative to the anchored position
    // Tail of brush, brush-part and BGPic-part states: the source rectangle's corner.
    int32_t partX, partY;
    // Tail of anim states.
    int32_t frame, frameCount, frameExtra;
    // Tail of the source state of text layers (#TEXTOUT, #PRINT, #TEXTOBJECT): the text they
    // show (owned; derived states have none), the transform it was laid out with, and where the
    // images' corner lies from the text's layout origin (for #PRINT the left margin at the
    // cursor's line, else the text origin).
    TextState *text;
    TransformRecord textBase;
    int32_t textCornerX, textCornerY;
};

enum { LAYER_GROUPLEN = 64 };

struct kvLayer {
    kvLayer *succ;                  // towards the top
    kvLayer *pred;
    int32_t type;
    ObjectId source;
    ObjectId createdAs;             // Undo matches on type and this
    uint32_t hidden;
    uint32_t pending;               // added while the shown BGPic was the output target
    int32_t transparency;           // 0 opaque .. 255 invisible
    int32_t tint;
    uint32_t tintColor;
    char *name;
    char group[LAYER_GROUPLEN];
    uint32_t transitionRunning;
    uint32_t transitionAttached;
    uint32_t noClipTransform;
    uint32_t fxEmulation;           // LAYERFX_*: a transition on it emulates a BGPic
    TransformRecord transform;
    double anchorX, anchorY;
    LayerState *sourceState;
    LayerState *transformedState;
    LayerState *drawnState;
};

// Flags of kvLayer's fxEmulation: a picture-only or a scroll effect runs on the layer while it
// stands in for a BGPic.
enum { LAYERFX_PICTUREEFFECT = 1, LAYERFX_SCROLLEMULATION = 2 };
// Flags of AddLayer.
enum { ADDLAYER_HIDDEN = 1, ADDLAYER_SCALE = 2, ADDLAYER_REPLACE = 8 };
// Flags of BuildLayerState.
enum { BUILD_SCALEPASS = 1, BUILD_DRAWN = 2, BUILD_NOPREVIOUS = 4 };
// Flags of Redraw.
enum {
    REDRAW_NOSPRITES = 1, REDRAW_SPRITESONLY = 2, REDRAW_DISPLAYBG = 4, REDRAW_SHOWNBG = 8, REDRAW_OWNSIZE = 16
};
// x1 of a rectangle that was merged into another.
enum { DIRTY_MERGED = 100000 };

// ---------------------------------------------------------------------------------------------
// Records and the list (layer_list.cpp)

// A new state: a copy of `from` (zeroed when none) with the images, the transition buffers, the
// clip region and the text cleared. None when memory is short.
LayerState *NewLayerState(const LayerState *from);
// Frees a state's images, its text and the state.
void FreeLayerState(int type, LayerState *state);
// The buffers of a layer transition move from one state to another, unless `to` has some.
void MoveTransitionBuffers(LayerState *to, LayerState *from);
// Adds a layer of the given type showing `source` (none: nil) with the state (whose images
// become the layer's) at insertPos (-1 or 0 on top, 1 bottom, n the n-th). On failure the state
// and its images are freed. *out (may be none) gets the layer. 0 or an error code.
int AddLayer(int type, const ObjectId *source, const TransformRecord *transform, const LayerOptions *options,
             LayerState *state, int32_t insertPos, int flags, kvLayer **out);
// AddObjectLayer (display/bgpic.h) with the layer options of an option table (none: defaults).
int AddObjectLayerOptions(lua_State *L, uint32_t type, ObjectId source, int32_t partX, int32_t partY, int32_t x,
                          int32_t y, int32_t width, int32_t height, const TransformRecord *transform,
                          const LayerOptions *options, BitMap *bitmap, Mask *mask, AlphaChannel *alpha,
                          int32_t insertPos, int flags);
// Unlinks and frees one layer. Unless keepArea, its area is added to `list` or, without one,
// refreshed. *area (may be none) gets its drawn rectangle.
void RemoveLayerRec(kvLayer *layer, int keepArea, DirtyRect *area, DirtyRectList *list);
// Frees every layer of the BGPic with its buttons; with flush, then the objects marked for
// freeing that no layer shows any more.
void FreeLayer(BGPicNode *bgpic, int flush);
int BuildLayerState(kvLayer *layer, int flags);
// Puts a state at the given position x, y (scaled by fx, fy): anchored position and, at its
// rendering offsets, the drawn position.
void PlaceLayerState(const kvLayer *layer, LayerState *state, int32_t x, int32_t y, double fx, double fy);
// A shape layer's content drawn again through the matrix m (layer_shapes.cpp): the images, their
// size and their offset from the layer's anchored position. -1 for a layer that is no shape
// layer (or without a display to take the drawing settings from), else 0 or an error code.
int RenderShapeLayerState(const kvLayer *layer, const double m[4], BitMap **bitmap, Mask **mask,
                          AlphaChannel **alpha, int32_t *width, int32_t *height, int32_t *offsetX, int32_t *offsetY);
// The display scales the current picture's layers; the factors go to *fx, *fy (may be none).
int DisplayScalesLayers(const DisplayRecord *display, double *fx, double *fy);
kvLayer *GetLayerByIndex(BGPicNode *bgpic, int32_t n);
int32_t CountLayers(const BGPicNode *bgpic);
// 1-based position of the layer in its BGPic (0 when not listed there).
int32_t GetLayerIndex(BGPicNode *bgpic, const kvLayer *layer);
// 1-based position of the first layer of that name on the current picture, or 0.
int32_t FindLayerByName(const char *name);
// 0, 1373 (over 255 characters), 1161 (taken by a name or group) or 1000.
int SetLayerNameRec(BGPicNode *bgpic, kvLayer *layer, const char *name);
// The images of the state's content: its own rendered images, else the source object's (with
// the part offsets in *sx, *sy). 0 or the source's lookup error.
int GetLayerBitmaps(const kvLayer *layer, const LayerState *state, const BitMap **bitmap, const Mask **mask,
                    const AlphaChannel **alpha, int32_t *sx, int32_t *sy);
// Prepares a layer to be drawn into (SelectLayer): the layer gets an object of its own and its
// images are handed out. A text or shape layer becomes a brush layer showing a new brush made
// from its picture. 0, 1404 (used by an asynchronous drawing), 1055 or 1000.
int ConvertLayerToBitmap(kvLayer *layer, int32_t frame, BitMap **bitmap, Mask **mask, AlphaChannel **alpha);
// True when no visible layer above it overlaps its drawn rectangle.
int LayerIsUncovered(const kvLayer *layer);
// The BGPic whose list holds the layer (none when unlisted).
BGPicNode *FindLayerPicture(const kvLayer *layer);
// Layers that were pending (added while the shown BGPic was the output target) become drawn.
void CommitPendingLayers(BGPicNode *bgpic);

// What the asynchronous drawings answer about layers; unset entries: no drawing uses a layer.
struct LayerLinks {
    // Operation 0 before a layer is replaced (a non-zero answer refuses it), 1 after its drawn
    // state was built again or dropped.
    int (*notifyAsync)(int operation, kvLayer *layer);
    int (*usedByAsync)(const kvLayer *layer);
};
extern LayerLinks LayerHooks;

// Text layers are laid out again at a new size instead of having their picture scaled; the text
// library fills this in. render answers like TransformImageRegion, or -1 for a layer it doesn't
// render (the picture is transformed then).
struct TextLayerLinks {
    int (*render)(const kvLayer *layer, const TransformRecord *t, BitMap **bitmap, Mask **mask, AlphaChannel **alpha,
                  int32_t *width, int32_t *height, int32_t *offsetX, int32_t *offsetY);
};
extern TextLayerLinks TextLayerHooks;

// ---------------------------------------------------------------------------------------------
// Redraw and damage (layer_redraw.cpp)

void RefreshArea(int32_t x, int32_t y, int32_t width, int32_t height);
// RefreshArea for output #DISPLAY, whatever the output target.
void RefreshDisplayRect(int32_t x, int32_t y, int32_t width, int32_t height);
// Appends an inclusive rectangle; a failed growth drops it. 0 or 1000.
int AppendDirtyRect(DirtyRectList *list, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
// Appends a state's drawn rectangle.
int AddDirtyRect(DirtyRectList *list, const LayerState *state);
// Merges overlapping rectangles in one pass (merged ones get x1 = DIRTY_MERGED).
void MergeDirtyRects(DirtyRectList *list);
// Merges the list, refreshes each remaining rectangle and empties the list.
void RefreshDirtyRects(DirtyRectList *list);
// Inclusive overlap test.
int RectsOverlap(int32_t ax1, int32_t ay1, int32_t ax2, int32_t ay2, int32_t bx1, int32_t by1, int32_t bx2,
                 int32_t by2);
// Refreshes the layer's drawn rectangle, widened to cover `old` (inclusive) when given.
void RefreshLayerRect(const kvLayer *layer, const DirtyRect *old);
// The global work list of the layer commands.
extern DirtyRectList LayerDamage;

// ---------------------------------------------------------------------------------------------
// Styles and transforms (layer_style.cpp)

// The style engine: pairs of layer selector and style table from argument `first` on. 0 or an
// error code.
int ApplyLayerStyle(lua_State *L, int first, int flags);
// A number key of a style table into *v (a colour as a 32-bit word), *changed set when present.
// ReadStyleInt tells whether it was present. Raise 1189 for a value that is no number.
int ReadStyleInt(lua_State *L, int t, const char *key, int32_t *v, int *changed);
void ReadStyleColour(lua_State *L, int t, const char *key, uint32_t *v, int *changed);
// Pushes the layer's style table.
void PushLayerStyle(lua_State *L, kvLayer *layer);
// Whether the matrix is a rotation combined with scales; the scales go to *scaleX, *scaleY.
int MatrixToRotation(const double m[4], double *scaleX, double *scaleY);
// Moves the layer to position z (0 or beyond the end: top). True when the order changed.
int MoveLayerInList(BGPicNode *pic, kvLayer *layer, int32_t z);
// The layers the selector at argument i names on the current picture: a position, a name, or
// the members of a group (at most max: 1066). 0, 1081, 1369 or 1183.
int SelectLayerArgs(lua_State *L, int i, kvLayer **list, int32_t *count, int32_t max);
// Moves a layer (KEEPPOSITION keeps a coordinate; relative bits 1, 2 add to x, y). The damage
// covers old and new rectangle; with flag 1 it is only returned in *damage, else it goes to
// `list` or is refreshed at once.
void SetLayerPosition(kvLayer *layer, DirtyRect *damage, int32_t x, int32_t y, int flags, int relative,
                      DirtyRectList *list);

// ---------------------------------------------------------------------------------------------
// Move queues, Undo and collisions (layer_move.cpp)

enum { MOVEQUEUE_ENTRIES = 512 };
// Entry flags: the entry was applied, it has damage, its damage was merged into another's.
enum { MOVE_DONE = 1, MOVE_DAMAGE = 2, MOVE_MERGED = 4 };
struct MoveQueue {
    MoveQueue *next;
    ObjectId id;
    int32_t type[MOVEQUEUE_ENTRIES];
    ObjectId object[MOVEQUEUE_ENTRIES];
    int32_t x[MOVEQUEUE_ENTRIES];
    int32_t y[MOVEQUEUE_ENTRIES];
    uint32_t state[MOVEQUEUE_ENTRIES];
    int32_t extra[MOVEQUEUE_ENTRIES];
    DirtyRect damage[MOVEQUEUE_ENTRIES];
    int32_t count;
};
// Queue entry types beyond the object kinds.
enum {
    MOVE_UNDO = 10, MOVE_HIDEBRUSH = 23, MOVE_INSERTBRUSH = 24, MOVE_HIDELAYER = 25, MOVE_REMOVELAYER = 26,
    MOVE_NEXTFRAME = 29, MOVE_NEXTFRAME2 = 34
};
// Merges the damage of the applied entries (one pass) in place.
void MergeMoveDamage(MoveQueue *queue);
void FreeAllMoveQueues(void);
// Removes the n-th (1-based) layer from the top of that type created from id (none: layers made
// without a source object); keep: its area is not refreshed. *removed (may be none) tells
// whether one matched. 0 or 1372.
int UndoLayer(BGPicNode *bgpic, int32_t type, const ObjectId *id, int32_t n, int keep, DirtyRect *area,
              int *removed);
// Appends an entry to the queue (a missing queue is made: isNil gives it an automatic handle).
// *queue gets the queue. 0, 1066 or 1000.
int AddMoveEntry(lua_State *L, MoveQueue **queue, int isNil, uint32_t number, int32_t type, ObjectId object,
                 int32_t x, int32_t y, int32_t extra);
// 0, 1041 or 1182.
int ClearMoveQueue(ObjectId id);
// DoMove's body. 0 or an error code.
int ApplyMoveQueue(lua_State *L, ObjectId id);
// A brush as a new layer at x, y (position constants resolved with its size) at insertPos
// (below 1: on top). *out gets the layer. 0 or an error code.
int AddBrushLayerAt(lua_State *L, ObjectId id, int32_t x, int32_t y, int32_t insertPos, int hidden, kvLayer **out);
// A text object as a new layer at x, y (position constants resolved with its size) at insertPos
// (below 1: on top). *out gets the layer. 0 or an error code.
int AddTextObjectLayerAt(lua_State *L, ObjectId id, int32_t x, int32_t y, int32_t insertPos, int hidden,
                         kvLayer **out);
// Anim layers (layer_anims.cpp). The 0-based frame a frame value selects in an anim of count
// frames showing frame `now`: 0 the next (after the last the first), -1 the last, n the n-th.
// 0 or 1094.
int AnimFrameIndex(int32_t count, int32_t now, int32_t value, int32_t *index);
// An anim as a layer at insertPos (0 or beyond the end: on top) showing the frame the value
// selects from the first, x and y resolved with its size. 0 and *out, or an error code.
int AddAnimLayerAt(ObjectId id, int32_t x, int32_t y, int32_t insertPos, int hidden, int32_t frameValue,
                   kvLayer **out);
// Shows the frame a frame value selects in an anim layer, without refreshing. 0 or an error code.
int SetLayerFrameValue(kvLayer *layer, int32_t value);
// The planes of the frame an anim layer shows, straight from its (in-memory) anim. 0, 1338 or
// the anim's errors.
int AnimLayerBitmaps(const kvLayer *layer, const BitMap **bitmap, const Mask **mask, const AlphaChannel **alpha);
// ConvertLayerToBitmap of an anim layer: the layer's anim made its own and the frame's planes
// handed out; the layer then shows its frames straight from that anim. 0, 1338, 1094 or 1000.
int ConvertAnimLayer(kvLayer *layer, int32_t frame, BitMap **bitmap, Mask **mask, AlphaChannel **alpha);
// CreateLayer's anim: a new top layer owning an anim of `frames` frames filled with the colour
// (with a mask: transparent colour 0xAFC0DE). 0 or an error code (nothing made).
int CreateAnimLayer(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour, int withMask,
                    int withAlpha, int clear, int32_t frames);
// ModifyLayerFrames' body: the layer's anim (made the layer's own first) gets `frames` frames,
// added or removed at position (0: the end); the layer keeps its frame where it still exists,
// else shows the first. 0 or an error code.
int SetAnimLayerFrameCount(kvLayer *layer, int32_t frames, int32_t position);
// Collision's body: the kind and its arguments from argument 1 on. 0 and *result, or an error.
int CollisionCommand(lua_State *L, int *result);
// The collision of two boxes with optional planes; offsets into each plane given.
struct CollisionBox {
    int32_t x, y, width, height;
    const Mask *mask;
    const AlphaChannel *alpha;
    int32_t planeX, planeY;         // where (x, y) lies in the planes
    const ClipRegionNode *region;   // shaped clip: its mask counts too
};
int BoxesCollide(const CollisionBox *a, const CollisionBox *b);

// ---------------------------------------------------------------------------------------------
// The library (layer_lib.cpp)

// The layer guard: 1339/1082, 1147, 1167, 1078. 0 when the command may go on.
int LayerGuard(void);
int OpenLayersLib(lua_State *L);
void CloseLayersLib(lua_State *L);
// Gives the brushes the layers' answers: whether a layer shows a brush, and re-keying.
void ConnectBrushLayers(void);
