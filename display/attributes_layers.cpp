// GetAttribute's answers for #LAYER: the layer named by argument 2 (a position or a name) on
// the current picture.
#include <cstring>

#include "display/bgpic.h"
#include "display/display.h"
#include "display/graphics.h"
#include "display/layer.h"
#include "pictures/anim.h"
#include "runtime/vm/api.h"
#include "text/font.h"
#include "text/text_layout.h"

enum {
    ERR_NOLAYERS = 1078, ERR_UNKNOWNATTR = 1080, ERR_RANGE = 1081, ERR_LIMIT = 1066, ERR_NOTANIM = 1155,
    ERR_NOTTEXT = 1311
};
enum { ATTR_FONTASCENDER = 30, ATTR_TEXT = 36 };

static int PushNumber(lua_State *L, double v)
{
    lua_pushnumber(L, v);
    return 1;
}

static int LayerAttribute(lua_State *L, int attribute)
{
    DisplayRecord *d = CurrentDisplay;
    if (!d || !d->layersEnabled || !CurrentPicture) return ERR_NOLAYERS;
    if (attribute == ATTR_LAYERS) return PushNumber(L, CountAllLayers());
    kvLayer *l;
    int32_t count;
    int code = SelectLayerArgs(L, 2, &l, &count, 1);
    if (code) return code == ERR_LIMIT ? ERR_RANGE : code;
    const LayerState *s = l->sourceState, *t = l->transformedState;
    switch (attribute) {
    case 0: return PushNumber(L, s->width);
    case 1: return PushNumber(L, s->height);
    case 7: return PushNumber(L, s->x);
    case 8: return PushNumber(L, s->y);
    case ATTR_TYPE: return PushNumber(L, l->type);
    case 10: return PushNumber(L, l->hidden ? 0 : 1);
    case 13: return PushNumber(L, GetLayerIndex(CurrentPicture, l));
    case 62: lua_pushstring(L, l->group); return 1;
    case 65: return PushNumber(L, t->drawnX);
    case 66: return PushNumber(L, t->drawnY);
    case 67: return PushNumber(L, t->drawnWidth);
    case 68: return PushNumber(L, t->drawnHeight);
    case 11:
    case 12:
    case 37: {
        if (l->type != OBJTYPE_ANIM) return ERR_NOTANIM;
        if (attribute == 11) return PushNumber(L, s->frameCount);
        if (attribute == 12) return PushNumber(L, s->frame + 1);   // the state counts from 0
        AnimNode *anim;
        if ((code = FindAnim(l->source, &anim, FINDANIM_PRIVATE))) return code;
        return PushNumber(L, AnimFrameDelay(anim, s->frame));
    }
    default:
        if (attribute >= ATTR_FONTASCENDER && attribute <= ATTR_TEXT) {
            // The font and the text of printed text and text drawn with TextOut.
            const TextState *text = s->text;
            if ((l->type != LAYERTYPE_TEXTOUT && l->type != LAYERTYPE_PRINT) || !text) return ERR_NOTTEXT;
            if (attribute == ATTR_TEXT) {
                lua_pushstring(L, text->text ? text->text : "");
                return 1;
            }
            const FontHandle *font = FontOf(&text->settings);
            return font ? PushFontHandleAttribute(L, font, attribute) : ERR_UNKNOWNATTR;
        }
        return ERR_UNKNOWNATTR;
    }
}

void RegisterLayerAttributeProvider(void) { SetAttributeProvider(OBJTYPE_LAYER, LayerAttribute); }
