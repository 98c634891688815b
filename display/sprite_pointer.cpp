// A mouse pointer made from one frame of a sprite (CreatePointer with a #SPRITE source).
#include "display/graphics.h"
#include "display/sprite.h"
#include "platform/os.h"
#include "runtime/memory.h"
#include "runtime/vm/api.h"
#include "runtime/vm/auxlib.h"

int CursorFromSprite(lua_State *L, PointerNode *p)
{
    SpriteNode *s;
    int code = GetSprite(GetObjectIdArg(L, 3), &s, 0);
    if (code) return code;
    int32_t frame = luaL_optinteger(L, 4, 1);
    if (frame < 1 || frame > s->frameCount) return 1094;
    BitMap *bm = nullptr;
    Mask *mask = nullptr;
    AlphaChannel *alpha = nullptr;
    if (!GetSpriteFrame(s, frame - 1, &bm, &mask, &alpha) || !bm) return 1321;
    return MakeImagePointer(p, bm, mask, alpha, s->width, s->height, luaL_optinteger(L, 5, -1),
                            luaL_optinteger(L, 6, -1));
}
