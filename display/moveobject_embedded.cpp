// The moving-object engine embedded in a transition: the effect hands a pre-filled description
// (an image triple or a layer, the two points, style and speed), and steps and frees the move
// through the functions it gets back. The output checks and the object lookup are the effect's.
#include <cstring>

#include "display/moveobject.h"
#include "fx/fx_scroll.h"
#include "runtime/memory.h"

// Far more steps than any picture-sized move takes.
static const int64_t FRAME_COUNT_LIMIT = 1 << 20;

static int StepEmbedded(FxMoveContext *fx, int32_t *done)
{
    MoveContext *c = (MoveContext *)fx->moverState;
    if (!c) {
        *done = 1;
        return 0;
    }
    // The transition follows a layer that is replaced; the move takes the layer from it anew
    // every frame.
    if (c->kind == MOVEKIND_LAYER) c->layer = fx->layer;
    return MoveObjectStep(c, done);
}

static void FreeEmbedded(FxMoveContext *fx, int completed)
{
    (void)completed;
    MoveContext *c = (MoveContext *)fx->moverState;
    if (!c) return;
    FreeMoveContext(c);
    MemFree(c);
    fx->moverState = nullptr;
}

int MoveObjectEmbedded(FxMoveContext *fx)
{
    MoveContext *c = (MoveContext *)MemAlloc(sizeof(MoveContext), 1);
    if (!c) return 1000;
    c->embedded = 1;
    c->kind = fx->objectType;
    c->layer = fx->objectType == FXMOVE_LAYER ? fx->layer : nullptr;
    c->bitmap = (BitMap *)fx->bitmap;
    c->mask = (Mask *)fx->mask;
    c->alpha = (AlphaChannel *)fx->alpha;
    c->width = fx->width;
    c->height = fx->height;
    c->x = fx->startX;
    c->y = fx->startY;
    c->endX = fx->endX;
    c->endY = fx->endY;
    c->style = fx->style;
    c->extraBlitFlags = fx->flags;
    int results;
    int code = MoveObject(fx->state, c, fx->speed, -1, nullptr, &results);
    if (code) {
        FreeMoveContext(c);
        MemFree(c);
        return code;
    }
    fx->moverState = c;
    fx->step = StepEmbedded;
    fx->free = FreeEmbedded;
    fx->frames = (int32_t)MoveCountSteps(c, FRAME_COUNT_LIMIT);
    return 0;
}
