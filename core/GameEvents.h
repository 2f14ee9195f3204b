#pragma once
// What happened in the game since its scene last looked: the sounds and effects the rules set
// off but do not play themselves. The rules append; the scene reads them after each step of
// the driver and the driver empties the list.

#include "base/Float3.h"

#include <cstdint>
#include <vector>

struct TGameEvent
{
    enum TKind : uint8_t {
        MISSILE_FIRED,   // the shot sound
        ROCK_EXPLODED,   // a rock's explosion: its sound, and its animation when bWithEffect
        SHIP_EXPLODED,   // the ship's explosion at vPlace, fScale
        ENGINE_STARTED,  // a thrust: the engine sound, at most so often
        GAME_OVER,       // the last ship lost
    };
    explicit TGameEvent(TKind n) : nKind(n) {}

    TKind nKind;
    uint32_t nSerial = 0;  // the rock's
    int nType = 0;         // the rock's size class
    bool bWithEffect = false;
    TFloat3 vPlace;
    float fScale = 1.0f;
    double dAngle = 0;
};

using TVecGameEvents = std::vector<TGameEvent>;
