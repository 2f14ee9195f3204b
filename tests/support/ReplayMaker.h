#pragma once
// Games played and recorded through the real driver for the world table's tests and figures:
// each seed gives its own game (turns, thrust and fire drawn from the seed), so that many
// different games can be made in one process, quickly, under the rules of the day.

#include "core/GameDriver.h"
#include "core/Replay.h"

#include <cstdint>

// nTicks steps of the game the seed plays, from nLevel, recorded and left.
TReplay PlayRecorded(TGameDriver& Driver, uint32_t nSeed, uint32_t nTicks, int nLevel = 1);
