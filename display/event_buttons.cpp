// BGPic buttons: MakeButton, DeleteButton, EnableButton, DisableButton, DumpButtons, the hit
// test and the frees that keep the dispatcher off freed buttons.
#include <cstdio>

#include "display/bgpic.h"
#include "display/display.h"
#include "display/display_pending.h"
#include "display/event.h"
#include "gfx/bitmap.h"
#include "runtime/errors.h"
#include "runtime/memory.h"

static const char *const ButtonCallbackNames[BUTTON_CALLBACKS] = {
    "onmouseover", "onmouseout", "onmousedown", "onmouseup",
    "onrightmousedown", "onrightmouseup", "onmidmousedown", "onmidmouseup"};

enum { ERR_NOBGPIC = 1191, ERR_NOBUTTON = 1188, ERR_NOTFOUND = 1041, ERR_USAGE = 1055 };

int ButtonEligible(const kvBGPicButton *b)
{
    if (!b->enabled) return 0;
    if (b->type != LAYERBUTTON) return 1;
    int hidden = 1;
    if (!b->layer || !LayerButtonInfo(b->layer, nullptr, nullptr, &hidden)) return 0;
    return !hidden || b->activeWhenHidden;
}

int ButtonHitTest(DisplayRecord *display, const kvBGPicButton *b, int32_t x, int32_t y)
{
    if (b->type == LAYERBUTTON) return b->layer && LayerButtonHitTest(display, b->layer, b->pixelTest, x, y);
    int32_t px, py;
    WindowToDisplay(display, x, y, &px, &py);
    return px >= b->x1 && px <= b->x2 && py >= b->y1 && py <= b->y2;
}

static void ReleaseRef(int32_t *ref)
{
    if (*ref != -1 && EventLibState) luaL_unref(EventLibState, LUA_REGISTRYINDEX, *ref);
    *ref = -1;
}

void FreeButton(BGPicNode *bgpic, kvBGPicButton *button)
{
    EventDispatchState *s = DispatchState;
    if (s) {
        if (s->currentButton == button) s->currentButton = button->next;
        if (s->hitButton == button || s->pressedButton == button) {
            s->hitButton = nullptr;
            s->pressedButton = nullptr;
        }
    }
    for (int i = 0; i < BUTTON_CALLBACKS; i++) ReleaseRef(&button->callbacks[i]);
    ReleaseRef(&button->userdata);
    for (kvBGPicButton **link = &bgpic->buttons; *link; link = &(*link)->next)
        if (*link == button) {
            *link = button->next;
            break;
        }
    MemFree(button);
}

void FreeBGPicButtons(BGPicNode *bgpic)
{
    while (bgpic && bgpic->buttons) FreeButton(bgpic, bgpic->buttons);
    if (DispatchState && DispatchState->buttonPicture == bgpic) DispatchState->buttonPicture = nullptr;
}

void FreeLayerButton(BGPicNode *bgpic, kvLayer *layer)
{
    if (!bgpic || !layer) return;
    for (kvBGPicButton *b = bgpic->buttons; b; b = b->next)
        if (b->type == LAYERBUTTON && b->layer == layer) {
            FreeButton(bgpic, b);
            return;
        }
}

void ResetButtonStates(BGPicNode *bgpic)
{
    for (kvBGPicButton *b = bgpic ? bgpic->buttons : nullptr; b; b = b->next)
        b->leftPressed = b->rightPressed = b->midPressed = b->over = 0;
}

// The picture whose buttons the commands work on: 1191 unless the display or a BGPic is the
// output target.
static int ButtonPicture(BGPicNode **out)
{
    DisplayRecord *d = CurrentDisplay;
    if (!d || (d->outputType != OBJTYPE_DISPLAY && d->outputType != OBJTYPE_BGPIC) || !CurrentPicture)
        return ERR_NOBGPIC;
    *out = CurrentPicture;
    return 0;
}

static kvBGPicButton *FindButton(BGPicNode *bgpic, ObjectId id)
{
    for (kvBGPicButton *b = bgpic->buttons; b; b = b->next)
        if (ObjectIdMatches(b->id, id)) return b;
    return nullptr;
}

// The button of argument 1, or its lookup error.
static int ButtonArg(lua_State *L, BGPicNode **bgpic, kvBGPicButton **out)
{
    ObjectId id = GetObjectIdArg(L, 1);
    int err = ButtonPicture(bgpic);
    if (err) return err;
    *out = FindButton(*bgpic, id);
    if (*out) return 0;
    if (id.handle) return ERR_NOTFOUND;
    SetErrorNumber((long)id.number);
    return ERR_NOBUTTON;
}

// Resolves the layer argument of a layer button: a position or a layer name.
static int LayerArg(lua_State *L, int i, kvLayer **out)
{
    int position = 0;
    if (lua_type(L, i) == LUA_TSTRING) position = LayerNameLookup ? LayerNameLookup(L, lua_tostring(L, i)) : 0;
    else position = GetIntArg(L, i);
    *out = GetButtonLayer(CurrentPicture, position);
    return *out ? 0 : 1081;
}

int MakeButton(lua_State *L)
{
    CheckArgs(L, 6, 8);
    int isNil;
    uint32_t number = GetObjectIdOrNilArg(L, 1, &isNil);
    int type = GetIntArg(L, 2);
    if (type != SIMPLEBUTTON && type != LAYERBUTTON) return ERR_USAGE;
    BGPicNode *pic;
    int err = ButtonPicture(&pic);
    if (err) return err;
    if (!isNil) {
        kvBGPicButton *old = FindButton(pic, ObjectId{number, nullptr});
        if (old) FreeButton(pic, old);
    }
    kvBGPicButton proto = {};
    proto.type = (uint32_t)type;
    int t;
    if (type == LAYERBUTTON) {
        if ((err = LayerArg(L, 3, &proto.layer)) != 0) return err;
        proto.pixelTest = GetIntArg(L, 4) != 0;
        proto.activeWhenHidden = GetIntArg(L, 5) != 0;
        for (kvBGPicButton *b = pic->buttons; b; b = b->next)
            if (b->type == LAYERBUTTON && b->layer == proto.layer) return ERR_USAGE;
        proto.x2 = proto.y2 = -1;
        t = 6;
    } else {
        int32_t width = GetIntArg(L, 5), height = GetIntArg(L, 6);
        if (width < 1 || height < 1) return ERR_USAGE;
        proto.x1 = ResolveXPos(GetIntArg(L, 3), width, pic->width, 0);
        proto.y1 = ResolveYPos(GetIntArg(L, 4), height, pic->height, 0);
        proto.x2 = ClampCoord((int64_t)proto.x1 + width - 1);
        proto.y2 = ClampCoord((int64_t)proto.y1 + height - 1);
        t = 7;
    }
    if (lua_type(L, t) != LUA_TTABLE) {
        SetErrorNumber(t);
        return 1140;
    }
    // Check every field before any reference is made, so that an error leaks none.
    int given = 0;
    for (int i = 0; i < BUTTON_CALLBACKS; i++) {
        lua_pushstring(L, ButtonCallbackNames[i]);
        lua_gettable(L, t);
        int ft = lua_type(L, -1);
        lua_pop(L, 1);
        if (ft == LUA_TNIL) continue;
        if (ft != LUA_TFUNCTION) {
            SetErrorNumber(t);
            return 1185;
        }
        given = 1;
    }
    if (!given) return ERR_USAGE;
    kvBGPicButton *b = (kvBGPicButton *)MemAlloc(sizeof(kvBGPicButton), 1);
    if (!b) return 1000;
    *b = proto;
    b->id.number = isNil ? 0 : number;
    b->id.handle = isNil ? b : nullptr;
    b->enabled = 1;
    for (int i = 0; i < BUTTON_CALLBACKS; i++) {
        lua_pushstring(L, ButtonCallbackNames[i]);
        lua_gettable(L, t);
        b->callbacks[i] = lua_isfunction(L, -1) ? luaL_ref(L, LUA_REGISTRYINDEX) : -1;
        if (b->callbacks[i] == -1) lua_pop(L, 1);
    }
    b->userdata = -1;
    if (lua_gettop(L) > t) {
        lua_pushvalue(L, t + 1);
        b->userdata = luaL_ref(L, LUA_REGISTRYINDEX);
    }
    b->next = pic->buttons;
    pic->buttons = b;
    if (!isNil) return 0;
    lua_pushlightuserdata(L, b);
    return 1;
}

int DeleteButton(lua_State *L)
{
    CheckArgs(L, 1, 1);
    BGPicNode *pic;
    kvBGPicButton *b;
    int err = ButtonArg(L, &pic, &b);
    if (err) return err;
    FreeButton(pic, b);
    return 0;
}

static int SetButtonEnabled(lua_State *L, int enabled)
{
    CheckArgs(L, 1, 1);
    BGPicNode *pic;
    kvBGPicButton *b;
    int err = ButtonArg(L, &pic, &b);
    if (err) return err;
    b->enabled = (uint32_t)enabled;
    b->leftPressed = b->rightPressed = b->midPressed = 0;
    return 0;
}

int EnableButton(lua_State *L) { return SetButtonEnabled(L, 1); }
int DisableButton(lua_State *L) { return SetButtonEnabled(L, 0); }

int DumpButtons(lua_State *L)
{
    CheckArgs(L, 0, 0);
    BGPicNode *pic = CurrentPicture;
    int count = 0;
    for (kvBGPicButton *b = pic ? pic->buttons : nullptr; b; b = b->next) count++;
    printf("BUTTON SYSTEM INFO - BGPIC: %d (%p)\nsizeof(kvBGPicButton): %d\nButtons: %d\n",
           pic ? (int)pic->id.number : 0, (void *)pic, 100, count);
    int n = 1;
    for (kvBGPicButton *b = pic ? pic->buttons : nullptr; b; b = b->next, n++)
        printf("(%d) Type: %d - X1: %d - Y1: %d - X2: %d - Y2: %d\n", n, (int)b->type, b->x1, b->y1, b->x2, b->y2);
    fflush(stdout);
    return 0;
}
