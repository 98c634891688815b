// The option table shared by CreateDisplay and SetDisplayAttributes, and a new display's
// defaults.
#include <cstring>

#include "display/bgpic.h"
#include "display/display.h"
#include "runtime/errors.h"
#include "runtime/vm/api.h"

enum { ERR_NOTENOUGHARGS = 1014, ERR_WRONGUSAGE = 1055, ERR_SHAREDBGPIC = 1345 };

void InitDisplayDefaults(DisplayRecord *d)
{
    d->outputType = OBJTYPE_DISPLAY;
    d->x = d->y = POS_CENTER;
    d->width = 640;
    d->height = 480;
    d->fillStyle = 1;
    strcpy(d->title, "Kestrovia");
    d->scaleX = d->scaleY = 1.0;
    for (int i = 0; i < DISPLAY_HANDLER_SLOTS; i++) d->handlers[i].function = d->handlers[i].userdata = -1;
}

// Reads one region list ("dragregion" or "sizeregion"): entries 0, 1, ... up to the first missing
// one. At most MAX_DISPLAY_REGIONS fit; one more is refused.
static int ReadRegions(lua_State *L, int t, const char *key, RegionEntry *regions, RegionEntry *unscaled,
                       int32_t *count, int32_t *given)
{
    lua_pushstring(L, key);
    lua_gettable(L, t);
    if (lua_isnil(L, -1)) {
        lua_pop(L, 1);
        return 0;
    }
    if (!lua_istable(L, -1)) {
        lua_pop(L, 1);
        return ERR_WRONGUSAGE;
    }
    int list = lua_gettop(L);
    RegionEntry read[MAX_DISPLAY_REGIONS];
    int n = 0, code = 0;
    for (;; n++) {
        lua_rawgeti(L, list, n);
        if (lua_isnil(L, -1)) {
            lua_pop(L, 1);
            break;
        }
        if (n == MAX_DISPLAY_REGIONS || !lua_istable(L, -1)) {
            lua_pop(L, 1);
            code = ERR_WRONGUSAGE;
            break;
        }
        int e = lua_gettop(L);
        RegionEntry r = {OBJTYPE_BOX, 0, 0, 0, 0};
        int fx = 0, fy = 0, fw = 0, fh = 0;
        GetFieldInt(L, e, "type", &r.type, nullptr);
        GetFieldInt(L, e, "x", &r.x, &fx);
        GetFieldInt(L, e, "y", &r.y, &fy);
        GetFieldInt(L, e, "width", &r.width, &fw);
        GetFieldInt(L, e, "height", &r.height, &fh);
        lua_pop(L, 1);
        if (!fx || !fy || !fw || !fh) {
            code = ERR_NOTENOUGHARGS;
            break;
        }
        if (r.type != OBJTYPE_BOX || r.x < 0 || r.y < 0 || r.width < 1 || r.height < 1) {
            code = ERR_WRONGUSAGE;
            break;
        }
        read[n] = r;
    }
    lua_pop(L, 1);
    if (code) return code;
    memcpy(regions, read, n * sizeof(RegionEntry));
    memcpy(unscaled, read, n * sizeof(RegionEntry));
    *count = n;
    *given = n > 0;
    return 0;
}

struct SwitchOption {
    const char *key;
    uint32_t bit;
};

static const SwitchOption Switches[] = {
    {"borderless", DISPF_BORDERLESS}, {"sizeable", DISPF_SIZEABLE}, {"fixed", DISPF_FIXED},
    {"nohide", DISPF_NOHIDE}, {"nomodeswitch", DISPF_NOMODESWITCH}, {"smoothscale", DISPF_SMOOTHSCALE},
    {"active", DISPF_ACTIVE}, {"hidepointer", DISPF_HIDEPOINTER}, {"usequartz", DISPF_USEQUARTZ},
    {"noclose", DISPF_NOCLOSE}, {"keepproportions", DISPF_KEEPPROPORTIONS}, {"fitscale", DISPF_FITSCALE},
    {nullptr, 0},
};

// Switches that only CreateDisplay reads.
static const SwitchOption CreateSwitches[] = {
    {"hidden", DISPF_HIDDEN}, {"layers", DISPF_LAYERS}, {nullptr, 0},
};

static void ReadSwitches(lua_State *L, int t, const SwitchOption *table, uint32_t *flags)
{
    for (const SwitchOption *s = table; s->key; s++) {
        int v, found = 0;
        GetFieldInt(L, t, s->key, &v, &found);
        if (!found) continue;
        if (v) *flags |= s->bit;
        else *flags &= ~s->bit;
    }
}

// The "bgpic" option: the BGPic must not be shown by another display (by any display when
// creating); it gives the display its size.
static int ReadBGPicOption(lua_State *L, int t, DisplayRecord *d, int creating, int *given)
{
    ObjectId id;
    if (!GetFieldObjectId(L, t, "bgpic", &id, given)) return 0;
    BGPicNode *bgpic;
    int code = GetBGPicNode(id, &bgpic, 0);
    if (code) return code;
    for (DisplayRecord *o = DisplayList; o; o = o->next) {
        if (o->bgpic != bgpic) continue;
        if (creating || !ObjectIdMatches(o->id, d->id)) return ERR_SHAREDBGPIC;
    }
    d->bgpic = bgpic;
    d->width = bgpic->width;
    d->height = bgpic->height;
    return 0;
}

static int ReadFill(lua_State *L, int t, DisplayRecord *d)
{
    GetFieldInt(L, t, "fillstyle", &d->fillStyle, nullptr);
    switch (d->fillStyle) {
    case 1:
        GetFieldUInt32(L, t, "color", &d->color, nullptr);
        return 0;
    case 2:
        GetFieldUInt32(L, t, "gradientstartcolor", &d->color, nullptr);
        GetFieldUInt32(L, t, "gradientendcolor", &d->gradientEnd, nullptr);
        GetFieldInt(L, t, "gradientangle", &d->gradientAngle, nullptr);
        return 0;
    case 3:
        GetFieldUInt32(L, t, "texturebrush", &d->textureBrush, nullptr);
        GetFieldInt(L, t, "texturex", &d->textureX, nullptr);
        GetFieldInt(L, t, "texturey", &d->textureY, nullptr);
        return 0;
    default:
        return ERR_WRONGUSAGE;
    }
}

static int ReadTitle(lua_State *L, int t, DisplayRecord *d)
{
    lua_pushstring(L, "title");
    lua_gettable(L, t);
    if (lua_isnil(L, -1)) {
        lua_pop(L, 1);
        return 0;
    }
    size_t len;
    const char *s = luaL_checknamedlstring(L, lua_gettop(L), "title", &len);
    int code = 0;
    if (len > sizeof d->title - 1) code = ERR_WRONGUSAGE;
    else memcpy(d->title, s, len + 1);
    lua_pop(L, 1);
    return code;
}

int ParseDisplayOptions(lua_State *L, int t, DisplayRecord *d, int creating, int *scaleSizeGiven)
{
    *scaleSizeGiven = 0;
    int code;
    if (!IsRecording() || creating) {
        if ((code = ReadRegions(L, t, "dragregion", d->dragRegions, d->dragRegionsUnscaled, &d->dragRegionCount,
                                &d->dragRegionsGiven)) ||
            (code = ReadRegions(L, t, "sizeregion", d->sizeRegions, d->sizeRegionsUnscaled, &d->sizeRegionCount,
                                &d->sizeRegionsGiven)))
            return code;
    }
    ReadSwitches(L, t, Switches, &d->flags);
    if (creating) {
        ReadSwitches(L, t, CreateSwitches, &d->flags);
        int v, found = 0;
        if (GetFieldInt(L, t, "private1", &v, &found)) d->backdrop = v ? 1 : 0;
        if (GetFieldInt(L, t, "private2", &v, &found)) d->private2 = (uint32_t)v;
        if (GetFieldInt(L, t, "private3", &v, &found)) d->private3 = (uint32_t)v;
    }

    GetFieldInt(L, t, "x", &d->x, nullptr);
    GetFieldInt(L, t, "y", &d->y, nullptr);
    int found = 0;
    int32_t v;
    if (GetFieldInt(L, t, "scalewidth", &v, &found)) {
        if (v == 0) return ERR_WRONGUSAGE;
        d->scaleWidth = v;
        *scaleSizeGiven = 1;
    }
    if (GetFieldInt(L, t, "scaleheight", &v, &found)) {
        if (v == 0) return ERR_WRONGUSAGE;
        d->scaleHeight = v;
        *scaleSizeGiven = 1;
    }
    if (GetFieldInt(L, t, "scalemode", &v, &found)) {
        switch (v) {
        case SCALEMODE_AUTO: d->flags = (d->flags & ~DISPF_LAYERSCALE) | DISPF_AUTOSCALE; break;
        case SCALEMODE_LAYER: d->flags = (d->flags & ~DISPF_AUTOSCALE) | DISPF_LAYERSCALE; break;
        case SCALEMODE_NONE:
            d->flags &= ~(DISPF_AUTOSCALE | DISPF_LAYERSCALE);
            d->stripLeft = d->stripTop = d->stripRight = d->stripBottom = 0;
            d->scaleWidth = d->scaleHeight = 0;
            *scaleSizeGiven = 0;
            break;
        default: return ERR_WRONGUSAGE;
        }
    }

    int bgpicGiven = 0;
    if ((code = ReadBGPicOption(L, t, d, creating, &bgpicGiven))) return code;
    if (!bgpicGiven || !creating) {
        GetFieldInt(L, t, "width", &d->width, nullptr);
        GetFieldInt(L, t, "height", &d->height, nullptr);
        if ((code = ReadFill(L, t, d))) return code;
        if (d->width < 1 || d->height < 1) return ERR_WRONGUSAGE;
    }
    if ((code = ReadTitle(L, t, d))) return code;

    if (d->scaleWidth < 0) d->scaleWidth = (int32_t)((int64_t)d->width * -d->scaleWidth / 100);
    if (d->scaleHeight < 0) d->scaleHeight = (int32_t)((int64_t)d->height * -d->scaleHeight / 100);
    // One side given alone: the other keeps the display's own size.
    if (d->scaleWidth && !d->scaleHeight) d->scaleHeight = d->height;
    if (d->scaleHeight && !d->scaleWidth) d->scaleWidth = d->width;
    d->autoScale = (d->flags & DISPF_AUTOSCALE) != 0;
    d->layerScale = (d->flags & DISPF_LAYERSCALE) != 0;
    d->smoothScale = (d->flags & DISPF_SMOOTHSCALE) != 0;
    return 0;
}
