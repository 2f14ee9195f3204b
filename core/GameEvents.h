#pragma once
// What happened in the game since its scene last looked: the sounds and effects the rules set
// off but do not play themselves, each with the game time it happened at. The rules append; the
// scene plays them when it next follows the game (at the next frame drawn, or command given) and
// the driver empties the list.

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
    uint64_t nMs = 0;      // game time at the start of the tick it happened in
    uint32_t nSerial = 0;  // the rock's
    int nType = 0;         // the rock's size class
    bool bWithEffect = false;
    TFloat3 vPlace;
    float fScale = 1.0f;
    double dAngle = 0;
};

using TVecGameEvents = std::vector<TGameEvent>;
