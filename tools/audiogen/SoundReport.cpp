#include "SoundReport.h"

#include "Dsp.h"
#include "Loudness.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double WINDOW = 0.020;

double Energy(const TWave& Wave, size_t nFrom, size_t nTo)
{
    double dSum = 0.0;
    nTo = std::min(nTo, Wave.Frames());
    for (size_t i = nFrom; i < nTo; ++i)
        for (int c = 0; c < Wave.nChannels; ++c)
            dSum += double(Wave.At(i, c)) * Wave.At(i, c);
    return dSum;
}

// Mean power of the 20 ms centred on a time (silence past the end).
double PowerAround(const TWave& Wave, double dSeconds)
{
    const size_t nHalf = static_cast<size_t>(WINDOW / 2 * Wave.nRate);
    const size_t nCentre = static_cast<size_t>(dSeconds * Wave.nRate);
    const size_t nFrom = nCentre > nHalf ? nCentre - nHalf : 0;
    return Energy(Wave, nFrom, nCentre + nHalf) / double(2 * nHalf * Wave.nChannels);
}

// Energy between two frequencies (0 for no lower edge), through 4th-order Butterworth
// filters, the channels summed.
double BandEnergy(const TWave& Wave, double dLow, double dHigh)
{
    double dSum = 0.0;
    for (int c = 0; c < Wave.nChannels; ++c) {
        TBiquad aFilters[4];
        for (int i = 0; i < 2; ++i) {
            if (dLow > 0.0)
                aFilters[i].SetHighPass(dLow, i ? 1.3066 : 0.5412, Wave.nRate);
            aFilters[2 + i].SetLowPass(dHigh, i ? 1.3066 : 0.5412, Wave.nRate);
        }
        for (size_t n = 0; n < Wave.Frames(); ++n) {
            double d = Wave.At(n, c);
            for (TBiquad& Filter : aFilters)
                d = Filter.Process(d);
            dSum += d * d;
        }
    }
    return dSum;
}

double LoudestPower(const TWave& Wave)
{
    double dBest = 0.0;
    for (double t = 0.0; t < Wave.Seconds(); t += 0.005)
        dBest = std::max(dBest, PowerAround(Wave, t));
    return dBest;
}

double DbUnder(double dPower, double dReference)
{
    return dPower > 0.0 && dReference > 0.0 ? 10.0 * std::log10(dReference / dPower) : 200.0;
}

}  // namespace

TSoundFigures TSoundReport::Measure(const TWave& Wave)
{
    TSoundFigures F;
    F.dSeconds = Wave.Seconds();
    F.dPeakDb = TLoudness::PeakDb(Wave);
    F.dTruePeakDb = TLoudness::TruePeakDb(Wave);
    F.dIntegrated = TLoudness::Integrated(Wave);
    F.dMomentaryMax = TLoudness::MomentaryMax(Wave);
    const double dTotal = Energy(Wave, 0, Wave.Frames());
    F.dEarlyEnergy = dTotal > 0.0 ? Energy(Wave, 0, static_cast<size_t>(0.040 * Wave.nRate)) / dTotal : 0.0;
    if (dTotal > 0.0) {
        F.dBelow100 = BandEnergy(Wave, 0.0, 100.0) / dTotal;
        F.dBody = BandEnergy(Wave, 150.0, 800.0) / dTotal;
        F.dHarsh = BandEnergy(Wave, 2000.0, 4000.0) / dTotal;
    }
    const double dLoudest = LoudestPower(Wave);
    F.dAt150Db = DbUnder(PowerAround(Wave, 0.150), dLoudest);
    F.dMostUnder160To200Db = 0.0;
    F.dLeastUnder160To200Db = 200.0;
    for (double t = 0.160; t <= 0.2005; t += 0.005) {
        const double d = DbUnder(PowerAround(Wave, t), dLoudest);
        F.dMostUnder160To200Db = std::max(F.dMostUnder160To200Db, d);
        F.dLeastUnder160To200Db = std::min(F.dLeastUnder160To200Db, d);
    }
    return F;
}

std::string TSoundReport::Header()
{
    char sz[256];
    std::snprintf(sz, sizeof sz, "%-20s %7s %8s %8s %8s %8s %7s %7s %13s %6s %7s %6s", "sound", "seconds", "peak",
                  "truepeak", "LUFS-I", "LUFS-M", "0-40ms", "@150ms", "160-200ms", "<100Hz", "150-800", "2-4k");
    return sz;
}

std::string TSoundReport::Row(const std::string& strName, const TSoundFigures& F)
{
    char sz[256];
    std::snprintf(sz, sizeof sz, "%-20s %7.3f %8.2f %8.2f %8.2f %8.2f %6.0f%% %7.1f %6.1f..%5.1f %5.0f%% %6.0f%% %5.0f%%",
                  strName.c_str(), F.dSeconds, F.dPeakDb, F.dTruePeakDb, F.dIntegrated, F.dMomentaryMax,
                  100.0 * F.dEarlyEnergy, -F.dAt150Db, -F.dLeastUnder160To200Db, -F.dMostUnder160To200Db,
                  100.0 * F.dBelow100, 100.0 * F.dBody, 100.0 * F.dHarsh);
    return sz;
}
