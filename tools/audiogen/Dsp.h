#pragma once
// Signal building blocks shared by the effects and the mastering: a seeded noise source,
// biquad filters and a peak limiter. All of it is deterministic: the same
// input gives the same samples on every build.

#include "Waves.h"

#include <cstdint>

// The generator's own noise source; seeded per sound so each one is reproducible on its own.
class TNoise
{
public:
    explicit TNoise(uint32_t nSeed) : m_nState(nSeed ? nSeed : 1) {}
    // Uniform in [-1, 1).
    double White();
    // Uniform in [0, 1).
    double Unit();

private:
    uint32_t m_nState;
};

// Direct form I biquad; the design functions may be called every sample for sweeps.
class TBiquad
{
public:
    void SetLowPass(double dFreq, double dQ, double dRate);
    void SetHighPass(double dFreq, double dQ, double dRate);
    void SetBandPass(double dFreq, double dQ, double dRate);  // 0 dB peak gain
    void SetHighShelf(double dFreq, double dQ, double dGainDb, double dRate);
    double Process(double dIn);
    void Reset() { m_dX1 = m_dX2 = m_dY1 = m_dY2 = 0.0; }

private:
    void Set(double b0, double b1, double b2, double a0, double a1, double a2);

    double m_dB0 = 1.0, m_dB1 = 0.0, m_dB2 = 0.0, m_dA1 = 0.0, m_dA2 = 0.0;
    double m_dX1 = 0.0, m_dX2 = 0.0, m_dY1 = 0.0, m_dY2 = 0.0;
};

class TLimiter
{
public:
    // Keeps every sample at or below dCeilingDb with a look-ahead gain curve (no clipping,
    // no distortion on the peaks): the gain falls smoothly over dAttack seconds before a peak
    // and recovers over about dRelease seconds after it.
    static void Apply(TWave& Wave, double dCeilingDb, double dAttack, double dRelease);
};

double DbToGain(double dDb);
double GainToDb(double dGain);
void ScaleWave(TWave& Wave, double dGain);
