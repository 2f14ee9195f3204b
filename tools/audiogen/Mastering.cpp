#include "Mastering.h"

#include "Dsp.h"
#include "Loudness.h"
#include "base/MathConstants.h"

#include <algorithm>
#include <cmath>

namespace {


double MonoAt(const TWave& Wave, size_t nFrame)
{
    double d = 0.0;
    for (int c = 0; c < Wave.nChannels; ++c)
        d += Wave.At(nFrame, c);
    return d;
}

// The lag (within +-nRange) at which the second pass best matches the first over the last
// seconds before the nominal period.
long BestLag(const TWave& Render, size_t nPeriod, long nRange)
{
    const size_t nWindow = std::min(nPeriod / 2, static_cast<size_t>(Render.nRate) * 6);
    double dBest = -1e300;
    long nBest = 0;
    for (long nLag = -nRange; nLag <= nRange; ++nLag) {
        double dSum = 0.0;
        for (size_t i = nPeriod - nWindow; i < nPeriod; i += 2)
            dSum += MonoAt(Render, i) * MonoAt(Render, size_t(long(nPeriod + i) + nLag));
        if (dSum > dBest) {
            dBest = dSum;
            nBest = nLag;
        }
    }
    return nBest;
}

}  // namespace

bool TMastering::CutLoop(const TWave& Render, double dPeriod, TWave& Loop, std::string& strError)
{
    const long nRange = Render.nRate / 100;
    const size_t nNominal = static_cast<size_t>(std::lround(dPeriod * Render.nRate));
    if (nNominal < size_t(Render.nRate) || Render.Frames() < 2 * nNominal + 2 * size_t(nRange)) {
        strError = "the render is shorter than two periods of the loop";
        return false;
    }
    const size_t nPeriod = size_t(long(nNominal) + BestLag(Render, nNominal, nRange));
    const size_t nFade = static_cast<size_t>(0.06 * Render.nRate);
    Loop.nRate = Render.nRate;
    Loop.nChannels = Render.nChannels;
    Loop.vSamples.resize(nPeriod * Render.nChannels);
    for (size_t i = 0; i < nPeriod; ++i) {
        const double w = i + nFade < nPeriod ? 0.0 : 0.5 - 0.5 * std::cos(PI * double(i + nFade + 1 - nPeriod) / nFade);
        for (int c = 0; c < Render.nChannels; ++c)
            Loop.At(i, c) = static_cast<float>((1.0 - w) * Render.At(nPeriod + i, c) + w * Render.At(i, c));
    }
    return true;
}

void TMastering::RemoveDc(TWave& Wave)
{
    for (int c = 0; c < Wave.nChannels; ++c) {
        TBiquad HighPass;
        HighPass.SetHighPass(18.0, 0.7071, Wave.nRate);
        for (size_t i = 0; i < Wave.Frames(); ++i)
            Wave.At(i, c) = static_cast<float>(HighPass.Process(Wave.At(i, c)));
    }
}

void TMastering::Trim(TWave& Wave, double dFadeOut)
{
    const float fQuiet = static_cast<float>(DbToGain(-80.0));
    size_t nEnd = Wave.Frames();
    while (nEnd > 0 && std::fabs(MonoAt(Wave, nEnd - 1)) < fQuiet)
        --nEnd;
    Wave.vSamples.resize(nEnd * Wave.nChannels);
    const size_t nIn = std::min(nEnd, static_cast<size_t>(0.005 * Wave.nRate));
    const size_t nOut = std::min(nEnd, static_cast<size_t>(dFadeOut * Wave.nRate));
    for (size_t i = 0; i < nIn; ++i)
        for (int c = 0; c < Wave.nChannels; ++c)
            Wave.At(i, c) *= static_cast<float>(double(i) / nIn);
    for (size_t i = 0; i < nOut; ++i)
        for (int c = 0; c < Wave.nChannels; ++c)
            Wave.At(nEnd - 1 - i, c) *= static_cast<float>(0.5 - 0.5 * std::cos(PI * double(i) / nOut));
}

void TMastering::Level(TWave& Wave, double dTarget, double dTruePeakDb, bool bLoop, bool bIntegrated)
{
    const TWave Source = Wave;
    const size_t nFrames = Source.Frames();
    const size_t nPad = bLoop ? std::min(nFrames, static_cast<size_t>(Source.nRate)) : 0;
    auto Measure = [&](const TWave& w) { return bIntegrated ? TLoudness::Integrated(w) : TLoudness::MomentaryMax(w); };
    const double dStart = Measure(Source);
    if (!(dStart > -70.0))  // silence (the meter's gate): nothing to level
        return;
    double dGain = DbToGain(dTarget - dStart);
    // The limiter holds sample peaks; peaks between samples reach a little higher.
    double dCeilingDb = dTruePeakDb - 0.2;
    // Limiting lowers the loudness a little and true peaks may pass the ceiling: a few rounds
    // settle on both.
    for (int nRound = 0; nRound < 8; ++nRound) {
        TWave Work = Source;
        if (bLoop) {  // the end before the start and the start after the end
            Work.vSamples.clear();
            const auto& v = Source.vSamples;
            const size_t nCh = Source.nChannels;
            Work.vSamples.insert(Work.vSamples.end(), v.end() - nPad * nCh, v.end());
            Work.vSamples.insert(Work.vSamples.end(), v.begin(), v.end());
            Work.vSamples.insert(Work.vSamples.end(), v.begin(), v.begin() + nPad * nCh);
        }
        ScaleWave(Work, dGain);
        TLimiter::Apply(Work, dCeilingDb, 0.004, 0.12);
        if (bLoop)
            Work.vSamples = std::vector<float>(Work.vSamples.begin() + nPad * Work.nChannels,
                                               Work.vSamples.end() - nPad * Work.nChannels);
        Wave = Work;
        dGain *= DbToGain(dTarget - Measure(Wave));
        const double dOver = TLoudness::TruePeakDb(Wave) - dTruePeakDb;
        if (dOver > 0.0)
            dCeilingDb -= dOver + 0.05;
    }
}
