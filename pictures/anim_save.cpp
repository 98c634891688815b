// Anims leaving the program: SaveAnim writes a whole anim, the anim stream commands write a GIF
// or AVI file frame by frame from brushes. Both go through the anim stream writers.
#include "display/display.h"
#include "gfx/scale.h"
#include "pictures/anim.h"
#include "pictures/anim_stream.h"
#include "pictures/brush.h"
#include "pictures/transform_record.h"
#include "runtime/filelayer.h"
#include "runtime/memory.h"

enum { ERR_USAGE = 1055 };

// "quality" and "fps" of the option table at t (AVI writers).
static void ReadWriterOptions(lua_State *L, int t, int32_t *quality, int32_t *fps)
{
    *quality = 90;
    *fps = 25;
    if (!lua_istable(L, t)) return;
    GetFieldInt(L, t, "quality", quality, nullptr);
    GetFieldInt(L, t, "fps", fps, nullptr);
}

// The GIF frame options of the table at t; 1055 for "colors" outside 2..256.
static int ReadFrameOptions(lua_State *L, int t, GifFrameOptions *o, int32_t *x, int32_t *y)
{
    if (lua_istable(L, t)) {
        uint32_t colour;
        GetFieldInt(L, t, "colors", &o->colours, nullptr);
        GetFieldSwitch(L, t, "dither", &o->dither);
        if (GetFieldUInt32(L, t, "transparency", &colour, nullptr)) o->transparentColour = (int32_t)colour;
        GetFieldSwitch(L, t, "optimize", &o->optimize);
        GetFieldInt(L, t, "delay", &o->delay, nullptr);
        if (x) GetFieldInt(L, t, "x", x, nullptr);
        if (y) GetFieldInt(L, t, "y", y, nullptr);
    }
    return o->colours < 2 || o->colours > 256 ? ERR_USAGE : 0;
}

int AnimSaveAnim(lua_State *L)
{
    CheckArgs(L, 2, 4);
    ObjectId id = GetObjectIdArg(L, 1);
    const char *file = luaL_checkstring(L, 2);
    int32_t format = GetOptIntArg(L, 3, ANIMSTREAM_GIF);
    GifFrameOptions o;
    int code = ReadFrameOptions(L, 4, &o, nullptr, nullptr);
    if (code) return code;
    AnimNode *node;
    if ((code = FindAnim(id, &node, 0))) return code;
    int32_t quality, fps;
    ReadWriterOptions(L, 4, &quality, &fps);
    ObjectId streamId = {0, (void *)1};
    AnimStreamNode *stream;
    if ((code = BeginAnimStreamNode(&streamId, file, node->width, node->height, format, fps, quality, &stream)))
        return code;
    // The first error ends the loop and gives the file up: a save that failed leaves no part of
    // the new file, and an older file of its name stays as it was.
    for (int32_t i = 0; i < node->frameCount && !code; i++) {
        BitMap *bm;
        Mask *mask;
        AlphaChannel *alpha;
        int owned;
        if ((code = FetchAnimFrame(node, i, 0, 0, &bm, &mask, &alpha, &owned))) break;
        o.delay = AnimFrameDelay(node, i);
        code = WriteAnimStreamFrame(stream, bm, 0, 0, &o);
        if (owned) FreeTriple(bm, mask, alpha);
    }
    if (code) {
        AbandonAnimStream(stream);
        return code;
    }
    return FinishAnimStream(stream);
}

int AnimBeginAnimStream(lua_State *L)
{
    CheckArgs(L, 4, 6);
    int isNil;
    ObjectId id = GetNewObjectIdArg(L, 1, &isNil);
    const char *file = luaL_checkstring(L, 2);
    int32_t width = GetIntArg(L, 3), height = GetIntArg(L, 4);
    int32_t format = GetOptIntArg(L, 5, ANIMSTREAM_GIF);
    int32_t quality, fps;
    ReadWriterOptions(L, 6, &quality, &fps);
    int code = BeginAnimStreamNode(&id, file, width, height, format, fps, quality, nullptr);
    if (code) return code;
    return PushNewObjectHandle(L, isNil, id);
}

int AnimWriteAnimFrame(lua_State *L)
{
    CheckArgs(L, 2, 3);
    GifFrameOptions o;
    int32_t x = 0, y = 0;
    int code = ReadFrameOptions(L, 3, &o, &x, &y);
    if (code) return code;
    AnimStreamNode *stream;
    if ((code = FindAnimStream(GetObjectIdArg(L, 1), &stream))) return code;
    BrushNode *brush;
    if ((code = GetBrushNode(GetObjectIdArg(L, 2), &brush, BRUSH_NOVECTOR))) return code;
    x = ResolveXPos(x, brush->width, stream->width, 0.0);
    y = ResolveYPos(y, brush->height, stream->height, 0.0);
    return WriteAnimStreamFrame(stream, brush->bitmap, x, y, &o);
}

int AnimFinishAnimStream(lua_State *L)
{
    CheckArgs(L, 1, 1);
    AnimStreamNode *stream;
    int code = FindAnimStream(GetObjectIdArg(L, 1), &stream);
    if (code) return code;
    return FinishAnimStream(stream);
}
