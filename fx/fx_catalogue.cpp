// The effect table, its sets and reverse pairs, the random choice and the script constants.
#include "fx/fx_catalogue.h"

#include "fx/fx_effects.h"
#include "fx/fx_random.h"
#include "fx/fx_scroll.h"
#include "runtime/memory.h"

namespace {

// A number marked standIn 1 would run as HSTRIPES (every family is built now; scrolling still
// does while no moving-object engine is installed); 113 and 140 are resolved by the random
// choice before any routine is installed.
const FxEffectEntry kEffects[FX_EFFECT_COUNT] = {
    {"HSTRIPES", "stripes", FxHStripes, nullptr, 0, 0},  // 0
    {"HSTRIPES2", "stripes", FxHStripes, nullptr, 0, 0},  // 1
    {"HSTRIPES4", "stripes", FxHStripes, nullptr, 0, 0},  // 2
    {"HSTRIPES8", "stripes", FxHStripes, nullptr, 0, 0},  // 3
    {"HSTRIPES16", "stripes", FxHStripes, nullptr, 0, 0},  // 4
    {"HSTRIPES32", "stripes", FxHStripes, nullptr, 0, 0},  // 5
    {"HSTRIPES64", "stripes", FxHStripes, nullptr, 0, 0},  // 6
    {"VSTRIPES", "stripes", FxVStripes, nullptr, 0, 0},  // 7
    {"VSTRIPES2", "stripes", FxVStripes, nullptr, 0, 0},  // 8
    {"VSTRIPES4", "stripes", FxVStripes, nullptr, 0, 0},  // 9
    {"VSTRIPES8", "stripes", FxVStripes, nullptr, 0, 0},  // 10
    {"VSTRIPES16", "stripes", FxVStripes, nullptr, 0, 0},  // 11
    {"VSTRIPES32", "stripes", FxVStripes, nullptr, 0, 0},  // 12
    {"VSTRIPES64", "stripes", FxVStripes, nullptr, 0, 0},  // 13
    {"HBLINDS8", "blinds", FxHBlinds, nullptr, 0, 0},  // 14
    {"HBLINDS16", "blinds", FxHBlinds, nullptr, 0, 0},  // 15
    {"HBLINDS32", "blinds", FxHBlinds, nullptr, 0, 0},  // 16
    {"HBLINDS64", "blinds", FxHBlinds, nullptr, 0, 0},  // 17
    {"HBLINDS128", "blinds", FxHBlinds, nullptr, 0, 0},  // 18
    {"VBLINDS8", "blinds", FxVBlinds, nullptr, 0, 0},  // 19
    {"VBLINDS16", "blinds", FxVBlinds, nullptr, 0, 0},  // 20
    {"VBLINDS32", "blinds", FxVBlinds, nullptr, 0, 0},  // 21
    {"VBLINDS64", "blinds", FxVBlinds, nullptr, 0, 0},  // 22
    {"VBLINDS128", "blinds", FxVBlinds, nullptr, 0, 0},  // 23
    {"VOPENCURTAIN", "curtain", FxVOpenCurtain, nullptr, 0, 0},  // 24
    {"VCLOSECURTAIN", "curtain", FxVCloseCurtain, nullptr, 0, 0},  // 25
    {"HOPENCURTAIN", "curtain", FxHOpenCurtain, nullptr, 0, 0},  // 26
    {"HCLOSECURTAIN", "curtain", FxHCloseCurtain, nullptr, 0, 0},  // 27
    {"BARS", "bars", FxBars, nullptr, 0, 0},  // 28
    {"QUARTERS", "quarters", FxQuarters, nullptr, 0, 0},  // 29
    {"REVEALLEFT", "reveal", FxRevealLeft, nullptr, 0, 0},  // 30
    {"REVEALRIGHT", "reveal", FxRevealRight, nullptr, 0, 0},  // 31
    {"REVEALTOP", "reveal", FxRevealTop, nullptr, 0, 0},  // 32
    {"REVEALBOTTOM", "reveal", FxRevealBottom, nullptr, 0, 0},  // 33
    {"VLINES2", "lines", FxVLines2, nullptr, 0, 0},  // 34
    {"HLINES2", "lines", FxHLines2, nullptr, 0, 0},  // 35
    {"HLINES", "lines", FxHLines, nullptr, 0, 0},  // 36
    {"VLINES", "lines", FxVLines, nullptr, 0, 0},  // 37
    {"RECTCENTER", "rect", FxRect, nullptr, 0, 0},  // 38
    {"RECTNORTH", "rect", FxRect, nullptr, 0, 0},  // 39
    {"RECTNORTHEAST", "rect", FxRect, nullptr, 0, 0},  // 40
    {"RECTEAST", "rect", FxRect, nullptr, 0, 0},  // 41
    {"RECTSOUTHEAST", "rect", FxRect, nullptr, 0, 0},  // 42
    {"RECTSOUTH", "rect", FxRect, nullptr, 0, 0},  // 43
    {"RECTSOUTHWEST", "rect", FxRect, nullptr, 0, 0},  // 44
    {"RECTWEST", "rect", FxRect, nullptr, 0, 0},  // 45
    {"RECTNORTHWEST", "rect", FxRect, nullptr, 0, 0},  // 46
    {"SCROLLLEFT", "scroll", FxScroll, FxScrollFree, FXF_SELF_COMPOSING, 0},  // 47
    {"SCROLLRIGHT", "scroll", FxScroll, FxScrollFree, FXF_SELF_COMPOSING, 0},  // 48
    {"SCROLLTOP", "scroll", FxScroll, FxScrollFree, FXF_SELF_COMPOSING, 0},  // 49
    {"SCROLLBOTTOM", "scroll", FxScroll, FxScrollFree, FXF_SELF_COMPOSING, 0},  // 50
    {"SCROLLNORTHEAST", "scroll", FxScroll, FxScrollFree, FXF_SELF_COMPOSING, 0},  // 51
    {"SCROLLSOUTHEAST", "scroll", FxScroll, FxScrollFree, FXF_SELF_COMPOSING, 0},  // 52
    {"SCROLLSOUTHWEST", "scroll", FxScroll, FxScrollFree, FXF_SELF_COMPOSING, 0},  // 53
    {"SCROLLNORTHWEST", "scroll", FxScroll, FxScrollFree, FXF_SELF_COMPOSING, 0},  // 54
    {"STRETCHLEFT", "stretch", FxStretch, FxStretchFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 55
    {"STRETCHRIGHT", "stretch", FxStretch, FxStretchFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 56
    {"STRETCHTOP", "stretch", FxStretch, FxStretchFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 57
    {"STRETCHBOTTOM", "stretch", FxStretch, FxStretchFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 58
    {"HSTRETCHCENTER", "stretch", FxStretch, FxStretchFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 59
    {"VSTRETCHCENTER", "stretch", FxStretch, FxStretchFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 60
    {"ZOOMCENTER", "stretch", FxStretch, FxStretchFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 61
    {"ZOOMNORTH", "stretch", FxStretch, FxStretchFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 62
    {"ZOOMNORTHEAST", "stretch", FxStretch, FxStretchFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 63
    {"ZOOMEAST", "stretch", FxStretch, FxStretchFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 64
    {"ZOOMSOUTHEAST", "stretch", FxStretch, FxStretchFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 65
    {"ZOOMSOUTH", "stretch", FxStretch, FxStretchFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 66
    {"ZOOMSOUTHWEST", "stretch", FxStretch, FxStretchFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 67
    {"ZOOMWEST", "stretch", FxStretch, FxStretchFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 68
    {"ZOOMNORTHWEST", "stretch", FxStretch, FxStretchFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 69
    {"HFLOWTOP", "flow", FxHFlowTop, FxFlowFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 70
    {"HFLOWBOTTOM", "flow", FxHFlowBottom, FxFlowFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 71
    {"VFLOWLEFT", "flow", FxVFlowLeft, FxFlowFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 72
    {"VFLOWRIGHT", "flow", FxVFlowRight, FxFlowFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 73
    {"HOPENGATE", "gate", FxHOpenGate, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 74
    {"HCLOSEGATE", "gate", FxHCloseGate, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_REALTIME, 0},  // 75
    {"VOPENGATE", "gate", FxVOpenGate, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 76
    {"VCLOSEGATE", "gate", FxVCloseGate, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_REALTIME, 0},  // 77
    {"PUSHLEFT", "push", FxPush, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 78
    {"PUSHRIGHT", "push", FxPush, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 79
    {"PUSHTOP", "push", FxPush, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 80
    {"PUSHBOTTOM", "push", FxPush, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 81
    {"PUZZLE", "puzzle", FxPuzzle, FxPuzzleFree, 0, 0},  // 82
    {"DIAGONAL", "diagonal", FxDiagonal, nullptr, 0, 0},  // 83
    {"ROLLTOP", "roll", FxRoll, FxRollFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 84
    {"ROLLLEFT", "roll", FxRoll, FxRollFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 85
    {"WALLPAPERTOP", "roll", FxRoll, FxRollFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 86
    {"WALLPAPERLEFT", "roll", FxRoll, FxRollFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 87
    {"RECTBACKCENTER", "rectback", FxRectBack, nullptr, 0, 0},  // 88
    {"RECTBACKNORTH", "rectback", FxRectBack, nullptr, 0, 0},  // 89
    {"RECTBACKNORTHEAST", "rectback", FxRectBack, nullptr, 0, 0},  // 90
    {"RECTBACKEAST", "rectback", FxRectBack, nullptr, 0, 0},  // 91
    {"RECTBACKSOUTHEAST", "rectback", FxRectBack, nullptr, 0, 0},  // 92
    {"RECTBACKSOUTH", "rectback", FxRectBack, nullptr, 0, 0},  // 93
    {"RECTBACKSOUTHWEST", "rectback", FxRectBack, nullptr, 0, 0},  // 94
    {"RECTBACKWEST", "rectback", FxRectBack, nullptr, 0, 0},  // 95
    {"RECTBACKNORTHWEST", "rectback", FxRectBack, nullptr, 0, 0},  // 96
    {"CLOCKWIPE", "clockwipe", FxClockWipe, FxClockWipeFree, FXF_SEEKABLE | FXF_BEFORE_PLAIN | FXF_KEEP_HIDDEN_VISIBLE, 0},  // 97
    {"STAR", "star", FxStar, FxStarFree, FXF_SEEKABLE | FXF_BEFORE_PLAIN | FXF_KEEP_HIDDEN_VISIBLE, 0},  // 98
    {"HSTRANGEPUSH", "strangepush", FxStrangePush, FxStrangePushFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 99
    {"VSTRANGEPUSH", "strangepush", FxStrangePush, FxStrangePushFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 100
    {"SLIDELEFT", "slide", FxSlide, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 101
    {"SLIDERIGHT", "slide", FxSlide, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 102
    {"SLIDETOP", "slide", FxSlide, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 103
    {"SLIDEBOTTOM", "slide", FxSlide, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 104
    {"SPIRAL", "spiral", FxSpiral, nullptr, 0, 0},  // 105
    {"SWISS", "swiss", FxSwiss, nullptr, 0, 0},  // 106
    {"QUADRECT", "quadrect", FxQuadRect, nullptr, 0, 0},  // 107
    {"HSPLIT", "split", FxSplit, nullptr, 0, 0},  // 108
    {"VSPLIT", "split", FxSplit, nullptr, 0, 0},  // 109
    {"UPNDOWN", "upndown", FxUpNDown, nullptr, 0, 0},  // 110
    {"CARDTOP", "card", FxCard, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 111
    {"CARDBOTTOM", "card", FxCard, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 112
    {nullptr, "random", nullptr, nullptr, 0, 0},  // 113
    {"SUN", "sun", FxSun, FxSunFree, FXF_SEEKABLE | FXF_BEFORE_PLAIN | FXF_KEEP_HIDDEN_VISIBLE, 0},  // 114
    {"CROSSFADE", "crossfade", FxCrossFade, FxCrossFadeFree, FXF_SEEKABLE | FXF_BEFORE_ALWAYS | FXF_KEEP_HIDDEN_VISIBLE, 0},  // 115
    {"FADE", "fade", FxFade, FxFadeFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN | FXF_KEEP_HIDDEN_VISIBLE, 0},  // 116
    {"BLEND", "fade", FxFade, FxFadeFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN | FXF_KEEP_HIDDEN_VISIBLE, 0},  // 117
    {"ZOOMIN", "zoominout", FxZoomInOut, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 118
    {"ZOOMOUT", "zoominout", FxZoomInOut, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 119
    {"CRUSHLEFT", "crush", FxCrush, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 120
    {"CRUSHRIGHT", "crush", FxCrush, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 121
    {"CRUSHTOP", "crush", FxCrush, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 122
    {"CRUSHBOTTOM", "crush", FxCrush, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 123
    {"VFLIPCOIN", "flipcoin", FxFlipCoin, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 124
    {"VLOWFLIPCOIN", "flipcoin", FxFlipCoin, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 125
    {"HFLIPCOIN", "flipcoin", FxFlipCoin, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 126
    {"HLOWFLIPCOIN", "flipcoin", FxFlipCoin, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 127
    {"TURNDOWNTOP", "turndown", FxTurnDown, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 128
    {"TURNDOWNBOTTOM", "turndown", FxTurnDown, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 129
    {"TURNDOWNLEFT", "turndown", FxTurnDown, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 130
    {"TURNDOWNRIGHT", "turndown", FxTurnDown, nullptr, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_BEFORE_ALWAYS, 0},  // 131
    {"PIXELZOOM1", "pixelzoom", FxPixelZoom, FxPixelZoomFree, FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_PLAIN, 0},  // 132
    {"PIXELZOOM2", "pixelzoom", FxPixelZoom, FxPixelZoomFree, FXF_PICTURE_ONLY | FXF_SEEKABLE | FXF_REVERSE_LAYER | FXF_SELF_COMPOSING | FXF_BEFORE_ALWAYS, 0},  // 133
    {"WATER1", "water", FxWater, FxWaterFree, FXF_SEEKABLE | FXF_BEFORE_PLAIN | FXF_KEEP_HIDDEN_VISIBLE, 0},  // 134
    {"WATER2", "water", FxWater, FxWaterFree, FXF_SEEKABLE | FXF_BEFORE_PLAIN | FXF_KEEP_HIDDEN_VISIBLE, 0},  // 135
    {"WATER3", "water", FxWater, FxWaterFree, FXF_SEEKABLE | FXF_BEFORE_PLAIN | FXF_KEEP_HIDDEN_VISIBLE, 0},  // 136
    {"WATER4", "water", FxWater, FxWaterFree, FXF_SEEKABLE | FXF_BEFORE_PLAIN | FXF_KEEP_HIDDEN_VISIBLE, 0},  // 137
    {"STRUDEL", "strudel", FxStrudel, FxStrudelFree, FXF_SEEKABLE | FXF_BEFORE_PLAIN | FXF_KEEP_HIDDEN_VISIBLE, 0},  // 138
    {"DISSOLVE", "dissolve", FxDissolve, FxDissolveFree, FXF_SEEKABLE | FXF_BEFORE_PLAIN | FXF_KEEP_HIDDEN_VISIBLE, 0},  // 139
    {"RANDOMEFFECT", "random", nullptr, nullptr, 0, 0},  // 140
};

}  // namespace

const FxConstant kFxConstants[] = {
    {"HSTRIPES", 0},
    {"HSTRIPES2", 1},
    {"HSTRIPES4", 2},
    {"HSTRIPES8", 3},
    {"HSTRIPES16", 4},
    {"HSTRIPES32", 5},
    {"HSTRIPES64", 6},
    {"VSTRIPES", 7},
    {"VSTRIPES2", 8},
    {"VSTRIPES4", 9},
    {"VSTRIPES8", 10},
    {"VSTRIPES16", 11},
    {"VSTRIPES32", 12},
    {"VSTRIPES64", 13},
    {"HBLINDS8", 14},
    {"HBLINDS16", 15},
    {"HBLINDS32", 16},
    {"HBLINDS64", 17},
    {"HBLINDS128", 18},
    {"VBLINDS8", 19},
    {"VBLINDS16", 20},
    {"VBLINDS32", 21},
    {"VBLINDS64", 22},
    {"VBLINDS128", 23},
    {"VOPENCURTAIN", 24},
    {"VCLOSECURTAIN", 25},
    {"HOPENCURTAIN", 26},
    {"HCLOSECURTAIN", 27},
    {"BARS", 28},
    {"QUARTERS", 29},
    {"REVEALLEFT", 30},
    {"REVEALRIGHT", 31},
    {"REVEALTOP", 32},
    {"REVEALBOTTOM", 33},
    {"VLINES2", 34},
    {"HLINES2", 35},
    {"HLINES", 36},
    {"VLINES", 37},
    {"RECTCENTER", 38},
    {"RECTNORTH", 39},
    {"RECTNORTHEAST", 40},
    {"RECTEAST", 41},
    {"RECTSOUTHEAST", 42},
    {"RECTSOUTH", 43},
    {"RECTSOUTHWEST", 44},
    {"RECTWEST", 45},
    {"RECTNORTHWEST", 46},
    {"SCROLLLEFT", 47},
    {"SCROLLRIGHT", 48},
    {"SCROLLTOP", 49},
    {"SCROLLBOTTOM", 50},
    {"SCROLLNORTHEAST", 51},
    {"SCROLLSOUTHEAST", 52},
    {"SCROLLSOUTHWEST", 53},
    {"SCROLLNORTHWEST", 54},
    {"STRETCHLEFT", 55},
    {"STRETCHRIGHT", 56},
    {"STRETCHTOP", 57},
    {"STRETCHBOTTOM", 58},
    {"HSTRETCHCENTER", 59},
    {"VSTRETCHCENTER", 60},
    {"ZOOMCENTER", 61},
    {"ZOOMNORTH", 62},
    {"ZOOMNORTHEAST", 63},
    {"ZOOMEAST", 64},
    {"ZOOMSOUTHEAST", 65},
    {"ZOOMSOUTH", 66},
    {"ZOOMSOUTHWEST", 67},
    {"ZOOMWEST", 68},
    {"ZOOMNORTHWEST", 69},
    {"HFLOWTOP", 70},
    {"HFLOWBOTTOM", 71},
    {"VFLOWLEFT", 72},
    {"VFLOWRIGHT", 73},
    {"HOPENGATE", 74},
    {"HCLOSEGATE", 75},
    {"VOPENGATE", 76},
    {"VCLOSEGATE", 77},
    {"PUSHLEFT", 78},
    {"PUSHRIGHT", 79},
    {"PUSHTOP", 80},
    {"PUSHBOTTOM", 81},
    {"PUZZLE", 82},
    {"DIAGONAL", 83},
    {"ROLLTOP", 84},
    {"ROLLLEFT", 85},
    {"WALLPAPERTOP", 86},
    {"WALLPAPERLEFT", 87},
    {"RECTBACKCENTER", 88},
    {"RECTBACKNORTH", 89},
    {"RECTBACKNORTHEAST", 90},
    {"RECTBACKEAST", 91},
    {"RECTBACKSOUTHEAST", 92},
    {"RECTBACKSOUTH", 93},
    {"RECTBACKSOUTHWEST", 94},
    {"RECTBACKWEST", 95},
    {"RECTBACKNORTHWEST", 96},
    {"CLOCKWIPE", 97},
    {"STAR", 98},
    {"HSTRANGEPUSH", 99},
    {"VSTRANGEPUSH", 100},
    {"SLIDELEFT", 101},
    {"SLIDERIGHT", 102},
    {"SLIDETOP", 103},
    {"SLIDEBOTTOM", 104},
    {"SPIRAL", 105},
    {"SWISS", 106},
    {"QUADRECT", 107},
    {"HSPLIT", 108},
    {"VSPLIT", 109},
    {"UPNDOWN", 110},
    {"CARDTOP", 111},
    {"CARDBOTTOM", 112},
    {"SUN", 114},
    {"CROSSFADE", 115},
    {"FADE", 116},
    {"BLEND", 117},
    {"ZOOMIN", 118},
    {"ZOOMOUT", 119},
    {"CRUSHLEFT", 120},
    {"CRUSHRIGHT", 121},
    {"CRUSHTOP", 122},
    {"CRUSHBOTTOM", 123},
    {"VFLIPCOIN", 124},
    {"VLOWFLIPCOIN", 125},
    {"HFLIPCOIN", 126},
    {"HLOWFLIPCOIN", 127},
    {"TURNDOWNTOP", 128},
    {"TURNDOWNBOTTOM", 129},
    {"TURNDOWNLEFT", 130},
    {"TURNDOWNRIGHT", 131},
    {"PIXELZOOM1", 132},
    {"PIXELZOOM2", 133},
    {"WATER1", 134},
    {"WATER2", 135},
    {"WATER3", 136},
    {"WATER4", 137},
    {"STRUDEL", 138},
    {"DISSOLVE", 139},
    {"RANDOMEFFECT", 140},
    {"SCROLLWEST", 47},
    {"SCROLLEAST", 48},
    {"SCROLLNORTH", 49},
    {"SCROLLSOUTH", 50},
    {"RANDOMPARAMETER", -1},
    {nullptr, 0}};

const FxEffectEntry *FxEffectInfo(int32_t effect) {
  return effect >= 0 && effect < FX_EFFECT_COUNT ? &kEffects[effect] : nullptr;
}

static int HasFlag(int32_t effect, uint32_t flag) {
  const FxEffectEntry *e = FxEffectInfo(effect);
  return e && (e->flags & flag) ? 1 : 0;
}

int FxIsPictureOnly(int32_t effect) { return HasFlag(effect, FXF_PICTURE_ONLY); }

int FxRunsStandIn(int32_t effect) {
  const FxEffectEntry *e = FxEffectInfo(effect);
  if (!e) return 0;
  // Scrolling needs the moving-object engine.
  return e->standIn || (e->step == FxScroll && !FxGetMoveObject());
}

int FxIsSeekable(int32_t effect) { return HasFlag(effect, FXF_SEEKABLE) && !FxRunsStandIn(effect); }

int FxIsSelfComposing(int32_t effect) { return HasFlag(effect, FXF_SELF_COMPOSING) && !FxRunsStandIn(effect); }

int FxIsReverseCapable(int32_t effect) { return HasFlag(effect, FXF_REVERSE_LAYER); }

int32_t FxReverseEffect(int32_t effect) {
  switch (effect) {
    case FX_VOPENCURTAIN: return FX_VCLOSECURTAIN;
    case FX_VCLOSECURTAIN: return FX_VOPENCURTAIN;
    case FX_HOPENCURTAIN: return FX_HCLOSECURTAIN;
    case FX_HCLOSECURTAIN: return FX_HOPENCURTAIN;
    case FX_REVEALLEFT: return FX_REVEALRIGHT;
    case FX_REVEALRIGHT: return FX_REVEALLEFT;
    case FX_REVEALTOP: return FX_REVEALBOTTOM;
    case FX_REVEALBOTTOM: return FX_REVEALTOP;
    default: break;
  }
  if (effect >= FX_RECTCENTER && effect <= FX_RECTNORTHWEST) return effect - FX_RECTCENTER + FX_RECTBACKCENTER;
  if (effect >= FX_RECTBACKCENTER && effect <= FX_RECTBACKNORTHWEST)
    return effect - FX_RECTBACKCENTER + FX_RECTCENTER;
  return effect;
}

int32_t FxRandomEffect(int objectsOnly) {
  for (;;) {
    const int32_t e = (int32_t)(FxRandUnit() * 141.0);
    if (e == FX_UNNAMED || e == FX_RANDOMEFFECT) continue;
    if (objectsOnly && FxIsPictureOnly(e)) continue;
    return e;
  }
}

int FxInstallEffect(TransitionRecord *r) {
  const FxEffectEntry *e = FxEffectInfo(r->effect);
  if (!e || !e->step) return 1055;
  r->step = FxRunsStandIn(r->effect) ? FxHStripes : e->step;
  r->free = FxRunsStandIn(r->effect) ? nullptr : e->free;
  return 0;
}

void FxFreeEffectState(TransitionRecord *r, int completed) {
  if (!r->privateState) return;
  if (r->free) r->free(r, completed);
  MemFree(r->privateState);
  r->privateState = nullptr;
}
