#pragma once
// The game's sound effects, synthesized from noise, oscillators and filters. Every effect has
// its own noise seed, so each one comes out the same on every build.

#include "Waves.h"

#include <string>
#include <vector>

struct TEffectSpec
{
    const char* szFile;    // relative to the output folder
    int nRate;             // samples a second
    double dSeconds;
    double dLoudness;      // target LUFS of the loudest 400 ms
    TWave (*pBuild)(int nRate, double dSeconds);
};

class TSoundEffects
{
public:
    // Every effect the game plays, with its level in the mix.
    static const std::vector<TEffectSpec>& Specs();
    // The finished effect: synthesized, cleared of DC, levelled and limited to -1 dBFS.
    static TWave Make(const TEffectSpec& Effect);
    // Peaks of every effect stay at or below this.
    static constexpr double CEILING_DB = -1.0;
};
