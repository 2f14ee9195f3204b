#pragma once
// The figures by which a sound is judged in the game's mix: length, peaks, loudness, and how
// its level falls off (a sound restarted every 150 ms or so, such as the engine, is cut there).

#include "Waves.h"

#include <string>

struct TSoundFigures
{
    double dSeconds = 0.0;
    double dPeakDb = 0.0;          // dBFS
    double dTruePeakDb = 0.0;      // dBTP
    double dIntegrated = 0.0;      // LUFS
    double dMomentaryMax = 0.0;    // LUFS, the loudest 400 ms
    double dEarlyEnergy = 0.0;     // share of the energy in the first 40 ms, 0 to 1
    double dBelow100 = 0.0;        // shares of the energy below 100 Hz, in 150-800 Hz (where
    double dBody = 0.0;            // small speakers still carry a blast) and in the 2-4 kHz
    double dHarsh = 0.0;           // band where the ear is most easily tired
    double dAt150Db = 0.0;         // level of the 20 ms around 150 ms, dB under the loudest 20 ms
    // The least and the most that the level lies under the loudest 20 ms from 160 to 200 ms.
    double dLeastUnder160To200Db = 0.0;
    double dMostUnder160To200Db = 0.0;
};

class TSoundReport
{
public:
    static TSoundFigures Measure(const TWave& Wave);
    // The column heads, and one row for a sound named strName.
    static std::string Header();
    static std::string Row(const std::string& strName, const TSoundFigures& Figures);
};
