// Asynchronous drawing objects: a transition effect, a move or an anim play that the script
// advances itself, frame by frame, with AsyncDrawFrame. The owner hands its callbacks and its
// userdata to AddAsyncDraw; the objects live in one list in creation order and belong to the
// display that was current when they were made. The layer and display code reach the objects
// through their control callbacks.
#pragma once
#include <cstdint>

#include "runtime/handler_support.h"

struct lua_State;
struct DisplayRecord;

// Kinds (#ADF_*).
enum { ADF_FX = 0, ADF_MOVEOBJECT = 1, ADF_ANIM = 2 };

// Control operations and what their argument is.
enum {
    ADCTL_LAYERREPLACED = 0,  // the layer about to be replaced
    ADCTL_LAYERCHANGED = 1,   // a layer whose drawn state was rebuilt or that was removed
    ADCTL_FRAMES = 2,         // none; answers the number of frames
    ADCTL_CURRENTFRAME = 3,   // none; answers the current frame (0 before the first)
    ADCTL_JUMP = 4,           // int32_t *: the wanted frame; answers an error code
    ADCTL_SHOW = 5,           // none; shows the state after a jump
    ADCTL_TARGET = 6,         // void **: receives the layer the drawing goes into (or none)
    ADCTL_BUSY = 7,           // void **: receives the picture while in the middle of a frame
    ADCTL_BGPICFRAME = 8      // (void *)1 or 0: a frame drawn into a BGPic begins or ends
};

// Draws the next frame; sets *finished after the last one. 0 or an error code.
typedef int (*AsyncDrawFunc)(void *userdata, int32_t *finished);
// The finish callback (completes the effect at once) and the free callback (releases the
// owner's state), each with the finished flag.
typedef void (*AsyncDrawEndFunc)(void *userdata, int32_t finished);
typedef intptr_t (*AsyncDrawControlFunc)(int op, void *argument, void *userdata);

struct AsyncDrawNode {
    AsyncDrawNode *next;
    ObjectId id;                   // always anonymous: number 0, handle = the node
    DisplayRecord *display;        // the current display at creation
    int32_t kind;                  // ADF_*
    int32_t finished;
    AsyncDrawFunc draw;
    AsyncDrawFunc second;          // kept for the owner, never called
    AsyncDrawEndFunc finish;       // may be none
    AsyncDrawEndFunc free;         // may be none
    AsyncDrawControlFunc control;  // may be none
    void *userdata;
};

extern AsyncDrawNode *AsyncDrawList;

// Registers an object of the current display. 0, or 1000 with nothing made.
int AddAsyncDraw(int kind, AsyncDrawFunc draw, AsyncDrawFunc second, AsyncDrawEndFunc finish,
                 AsyncDrawEndFunc freeFunc, AsyncDrawControlFunc control, void *userdata, AsyncDrawNode **out);
// Whether an object belongs to the display (the display's asyncDraws word says the same).
int HasAsyncDraws(const DisplayRecord *display);
// Control operation to every object that has a control callback. An object that cannot follow
// a layer change stops drawing on its own; the change itself stands.
void NotifyAsyncDraws(int op, void *argument);
// Whether an object's drawing goes into the object (its control answers it for operation 6).
int IsUsedByAsyncDraw(const void *object);
int CountAsyncDraws(void);
// 0 and the object, or 1326 (error number: the number; a handle that is gone gives it too).
int FindAsyncDraw(ObjectId id, AsyncDrawNode **out);

// The output checks of commands that draw on the display: a brush, anim, mask or alpha-channel
// selection (1229 while double buffering, 1339, 1082, 1147, 1167), and with allowBGPic clear a
// BGPic selection (1056). 0 when the output may be used.
int CheckDisplayOutput(const DisplayRecord *display, int allowBGPic);

// Commands of the graphics library.
int GfxAsyncDrawFrame(lua_State *L);
int GfxFinishAsyncDraw(lua_State *L);
int GfxCancelAsyncDraw(lua_State *L);
// GetAttribute's answers for #ASYNCDRAW.
int AsyncDrawAttribute(lua_State *L, int attribute);
// Installs the #ASYNCDRAW attribute provider and the layer code's links to the objects (called
// by the graphics library's open function).
void InstallAsyncDraws(void);
