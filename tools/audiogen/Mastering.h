#pragma once
// Turns a synthesizer render into a finished piece: one seamless period for a loop, clean
// fades for a piece that ends, then level and peak limit.

#include "Waves.h"

#include <string>

class TMastering
{
public:
    // Music's true peak before encoding: Vorbis adds a few tenths of a dB to the peaks, and
    // the decoded piece must stay at or below -1 dBTP.
    static constexpr double MUSIC_TRUE_PEAK_DB = -1.6;

    // Removes DC and inaudible sub-bass (some sound-font samples carry an offset). Run on the
    // whole render before cutting, so that a loop's filter state is the same at both ends.
    static void RemoveDc(TWave& Wave);
    // Render holds the loop twice; the result is one period starting at the second pass, so it
    // opens with the reverb tail of the pass before it. The period is refined by correlating
    // the two passes (the synthesizer places notes to its block size), and the last 60 ms cross
    // into the samples that really preceded the second pass, so the last sample flows into the
    // first. False when the render is too short.
    static bool CutLoop(const TWave& Render, double dPeriod, TWave& Loop, std::string& strError);
    // A piece that ends: trailing silence removed, a 5 ms fade in, and a fade to exact zero over
    // the last dFadeOut seconds.
    static void Trim(TWave& Wave, double dFadeOut);
    // Scales to dTarget LUFS (integrated, or the loudest 400 ms for effects) and limits the
    // peaks so that the true peak stays at or below dTruePeakDb. A loop is limited as a circle
    // so the gain is continuous at the seam.
    static void Level(TWave& Wave, double dTarget, double dTruePeakDb, bool bLoop, bool bIntegrated);
};
