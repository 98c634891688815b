// The path of a move: directions, steps per axis, the bounce and damping phases, the sine table
// and the curves. Everything is integer arithmetic on the context except the sine and curve
// heights; differences, step counts and targets are taken in 64 bits, so coordinates near the
// ends of the 32-bit range never turn a move around or make it endless.
#include <climits>
#include <cmath>
#include <cstring>

#include "display/moveobject.h"

static int64_t Abs64(int64_t v) { return v < 0 ? -v : v; }

static int32_t Clamp32(int64_t v)
{
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return (int32_t)v;
}

static int64_t CeilDiv(int64_t a, int64_t b) { return (a + b - 1) / b; }

int32_t MoveDirection(int64_t dx, int64_t dy)
{
    if (dx == 0) return dy < 0 ? 0 : 4;
    if (dx > 0) return dy < 0 ? 1 : (dy == 0 ? 2 : 3);
    return dy < 0 ? 7 : (dy == 0 ? 6 : 5);
}

int32_t MoveResolveSpeed(int32_t speed)
{
    switch (speed) {
    case MOVESPEED_FAST: return 15;
    case MOVESPEED_NORMAL: return 10;
    case MOVESPEED_SLOW: return 5;
    default: return speed < 1 ? 0 : speed;
    }
}

int32_t MoveFrameDelay(int32_t animSpeed, int32_t kind)
{
    switch (animSpeed) {
    case -2: return 0;
    case -1: return 60;
    case -3: return 160;
    case -4: return kind == MOVEKIND_ANIM ? MOVESPEED_DEFAULT : 60;
    default: return animSpeed < 0 ? 0 : Clamp32((int64_t)animSpeed * 20);
    }
}

static int IsSine(int32_t style) { return style == MOVESTYLE_SINE || style == MOVESTYLE_BIGSINE; }
static int IsCurve(int32_t style) { return style == MOVESTYLE_LOWERCURVE || style == MOVESTYLE_UPPERCURVE; }
static int IsHorizontal(int32_t direction) { return direction == 2 || direction == 6; }

// A tenth of the step, rounded half up, at least 1.
static int32_t Decrement(int32_t step)
{
    int32_t d = step / 10 + (step % 10 > 4 ? 1 : 0);
    return d < 1 ? 1 : d;
}

void MoveSetupPath(MoveContext *c, int32_t speed, double amplitude)
{
    const int64_t dx = (int64_t)c->endX - c->x, dy = (int64_t)c->endY - c->y;
    const int64_t adx = Abs64(dx), ady = Abs64(dy);
    c->direction = MoveDirection(dx, dy);
    c->xStep = c->baseSpeed = speed;
    c->phase = MOVEPHASE_TRAVEL;
    c->remainder = c->remainderUsed = 0;
    c->sineIndex = 0;
    if (c->direction == 0 || c->direction == 4) {
        c->yStep = speed;
    } else if (!IsHorizontal(c->direction)) {
        // The axis of the larger side moves by the speed; the other covers its distance in the
        // same number of steps, the remainder spread as one extra pixel over the first steps.
        if (c->width > c->height) {
            int64_t n = CeilDiv(adx, speed);
            c->yStep = (int32_t)(ady / n);
            c->remainder = (int32_t)(ady % n);
        } else {
            int64_t n = CeilDiv(ady, speed);
            c->xStep = c->baseSpeed = (int32_t)(adx / n);
            c->yStep = speed;
            c->remainder = (int32_t)(adx % n);
        }
    } else if (IsSine(c->style)) {
        for (int k = 0; k < MOVE_SINE_ENTRIES; k++) c->sineTable[k] = c->y + amplitude * sin(0.08 * (k + 1));
        c->sineStep = speed / 4 < 1 ? 1 : speed / 4;
        int64_t n = CeilDiv(adx, speed);
        // Started this far back, the index is 0 again on arrival.
        c->sineIndex = (int32_t)((MOVE_SINE_ENTRIES - (n * c->sineStep) % MOVE_SINE_ENTRIES) % MOVE_SINE_ENTRIES);
        c->yStep = speed;
    } else if (IsCurve(c->style)) {
        c->curveFactor = M_PI / (double)adx;
        c->yStep = speed;
    } else {
        c->yStep = speed;
    }
    c->xZone = 6 * (int64_t)c->xStep;
    c->yZone = 6 * (int64_t)c->yStep;
    c->xDecrement = Decrement(c->xStep);
    c->yDecrement = Decrement(c->yStep);
}

// Signs of travel per axis.
static int XSign(int32_t direction)
{
    if (direction >= 1 && direction <= 3) return 1;
    if (direction >= 5) return -1;
    return 0;
}

static int YSign(int32_t direction)
{
    if (direction == 0 || direction == 1 || direction == 7) return -1;
    if (direction >= 3 && direction <= 5) return 1;
    return 0;
}

// One travelling step of one axis towards `end`: SMOOTHOUT slows down inside the zone, the
// slower axis takes one extra pixel while the remainder lasts, and the axis stops at its end.
static void TravelAxis(MoveContext *c, int32_t *pos, int32_t end, int sign, int32_t *step, int64_t zone,
                       int32_t decrement, int takesRemainder)
{
    if (!sign) return;
    if (c->style == MOVESTYLE_SMOOTHOUT && Abs64((int64_t)end - *pos) <= zone) {
        *step -= decrement;
        if (*step < 1) *step = 1;
    }
    int64_t p = (int64_t)*pos + (int64_t)sign * *step;
    if (takesRemainder && c->remainderUsed < c->remainder) {
        p += sign;
        c->remainderUsed++;
    }
    if ((sign > 0 && p > end) || (sign < 0 && p < end)) p = end;
    *pos = (int32_t)p;
}

// The target of a bounce or damping phase, as a multiple of the base speed past the end
// (positive: in the direction of travel).
static int64_t PhaseTarget(int32_t phase, int64_t d)
{
    static const int32_t factor[10] = {0, 16, -8, 4, -2, 1, 0, 8, 0, 0};
    return factor[phase] * d;
}

// Moves one axis towards its phase target by the step; 1 once there (or when it doesn't move).
static int SwingAxis(int32_t *pos, int32_t end, int sign, int32_t phase, int32_t base, int32_t step)
{
    if (!sign) return 1;
    const int32_t target = Clamp32((int64_t)end + sign * PhaseTarget(phase, base));
    int64_t p = *pos;
    if (p < target) p = p + step > target ? target : p + step;
    else if (p > target) p = p - step < target ? target : p - step;
    *pos = (int32_t)p;
    return p == target;
}

void MoveAdvance(MoveContext *c, int32_t *finished)
{
    const int xs = XSign(c->direction), ys = YSign(c->direction);
    const int horizontal = IsHorizontal(c->direction);
    // The slower axis of a diagonal takes the remainder: y when the object is wider than high.
    const int yTakes = c->width > c->height;
    *finished = 0;
    if (horizontal && (IsSine(c->style) || IsCurve(c->style))) {
        int64_t p = (int64_t)c->x + (int64_t)xs * c->xStep;
        if (IsSine(c->style)) {
            c->y = (int32_t)c->sineTable[c->sineIndex];
            c->sineIndex = (int32_t)(((int64_t)c->sineIndex + c->sineStep) % MOVE_SINE_ENTRIES);
        } else {
            c->sineIndex = Clamp32((int64_t)c->sineIndex + c->xStep);
            int32_t h = (int32_t)(150.0 * sin((c->sineIndex + 1.0) * c->curveFactor));
            c->y = Clamp32(c->style == MOVESTYLE_LOWERCURVE ? (int64_t)c->endY + h : (int64_t)c->endY - h);
        }
        if ((xs > 0 && p > c->endX) || (xs < 0 && p < c->endX)) p = c->endX;
        c->x = (int32_t)p;
        if (c->phase == MOVEPHASE_SINESETTLE) {
            c->y = c->endY;
            *finished = 1;
        } else if (c->x == c->endX) {
            if (IsCurve(c->style)) {
                c->y = c->endY;
                *finished = 1;
            } else {
                c->phase = MOVEPHASE_SINESETTLE;
            }
        }
        return;
    }
    if (c->phase == MOVEPHASE_TRAVEL) {
        TravelAxis(c, &c->x, c->endX, xs, &c->xStep, c->xZone, c->xDecrement, !yTakes);
        TravelAxis(c, &c->y, c->endY, ys, &c->yStep, c->yZone, c->yDecrement, yTakes);
        if (c->x != c->endX || c->y != c->endY) return;
        if (c->style == MOVESTYLE_BOUNCE) {
            c->phase = 1;
        } else if (c->style == MOVESTYLE_DAMPED) {
            c->phase = 7;
            c->xStep -= c->xStep / 4;
        } else {
            *finished = 1;
            return;
        }
    } else {
        int done = SwingAxis(&c->x, c->endX, xs, c->phase, c->baseSpeed, c->xStep);
        done &= SwingAxis(&c->y, c->endY, ys, c->phase, c->baseSpeed, c->xStep);
        if (!done) return;
        switch (c->phase) {
        case 1: case 2: case 3: case 4: case 7:
            c->phase++;
            c->xStep -= c->xStep / 2;
            break;
        case 5:
            c->phase = 6;
            c->xStep = 1;
            break;
        default:
            c->x = c->endX;
            c->y = c->endY;
            *finished = 1;
            return;
        }
    }
    if (c->xStep < 1) c->xStep = 1;
}

int64_t MoveCountSteps(const MoveContext *ctx, int64_t limit)
{
    MoveContext copy;
    memcpy(&copy, ctx, sizeof copy);
    int32_t finished = 0;
    int64_t n = 0;
    while (!finished && n < limit) {
        MoveAdvance(&copy, &finished);
        n++;
    }
    return n;
}
