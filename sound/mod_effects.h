// The replayer's tick engine: rows, notes and the effects (mod_effects.cpp).
#pragma once
#include "sound/mod_player.h"

// One tick: reads a row when the row's ticks are used up, then runs every channel's effects.
void ModTick(ModulePlayer *mp);
// The playing sample's loop wrapped with a pending sample: that sample takes over.
void ModSwitchPendingSample(ModulePlayer *mp, ModuleChannel *ch);
