#include "Loudness.h"

#include <ebur128.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

namespace {

struct TMeterDeleter
{
    void operator()(ebur128_state* p) const { ebur128_destroy(&p); }
};
using TMeter = std::unique_ptr<ebur128_state, TMeterDeleter>;

TMeter NewMeter(const TWave& Wave, int nMode)
{
    TMeter Meter(ebur128_init(static_cast<unsigned>(Wave.nChannels), static_cast<unsigned long>(Wave.nRate), nMode));
    // A mono effect is heard from both speakers: weighted as one channel of a stereo pair
    // it would read 3 dB too quiet against the stereo music.
    if (Meter && Wave.nChannels == 1)
        ebur128_set_channel(Meter.get(), 0, EBUR128_DUAL_MONO);
    return Meter;
}

void Feed(ebur128_state* pMeter, const TWave& Wave, size_t nFrom, size_t nFrames)
{
    ebur128_add_frames_float(pMeter, Wave.vSamples.data() + nFrom * Wave.nChannels, nFrames);
}

double Db(double dGain) { return dGain > 0.0 ? 20.0 * std::log10(dGain) : -std::numeric_limits<double>::infinity(); }

}  // namespace

double TLoudness::Integrated(const TWave& Wave)
{
    TMeter Meter = NewMeter(Wave, EBUR128_MODE_I);
    if (!Meter)
        return -std::numeric_limits<double>::infinity();
    Feed(Meter.get(), Wave, 0, Wave.Frames());
    const size_t nBlock = static_cast<size_t>(0.4 * Wave.nRate);
    if (Wave.Frames() < nBlock) {
        const std::vector<float> vSilence((nBlock - Wave.Frames()) * Wave.nChannels, 0.0f);
        ebur128_add_frames_float(Meter.get(), vSilence.data(), nBlock - Wave.Frames());
    }
    double dLufs = 0.0;
    ebur128_loudness_global(Meter.get(), &dLufs);
    return dLufs;
}

double TLoudness::MomentaryMax(const TWave& Wave)
{
    TMeter Meter = NewMeter(Wave, EBUR128_MODE_M);
    double dMax = -std::numeric_limits<double>::infinity();
    if (!Meter)
        return dMax;
    const size_t nStep = static_cast<size_t>(Wave.nRate / 100);
    for (size_t nFrom = 0; nFrom < Wave.Frames(); nFrom += nStep) {
        Feed(Meter.get(), Wave, nFrom, std::min(nStep, Wave.Frames() - nFrom));
        double dLufs = 0.0;
        if (ebur128_loudness_momentary(Meter.get(), &dLufs) == EBUR128_SUCCESS)
            dMax = std::max(dMax, dLufs);
    }
    return dMax;
}

double TLoudness::PeakDb(const TWave& Wave)
{
    float fPeak = 0.0f;
    for (float f : Wave.vSamples)
        fPeak = std::max(fPeak, std::fabs(f));
    return Db(fPeak);
}

double TLoudness::TruePeakDb(const TWave& Wave)
{
    TMeter Meter = NewMeter(Wave, EBUR128_MODE_TRUE_PEAK);
    if (!Meter)
        return -std::numeric_limits<double>::infinity();
    Feed(Meter.get(), Wave, 0, Wave.Frames());
    double dPeak = 0.0;
    for (int c = 0; c < Wave.nChannels; ++c) {
        double d = 0.0;
        ebur128_true_peak(Meter.get(), static_cast<unsigned>(c), &d);
        dPeak = std::max(dPeak, d);
    }
    return Db(dPeak);
}
