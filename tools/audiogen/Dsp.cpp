#include "Dsp.h"
#include "base/MathConstants.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <vector>

namespace {
}

double DbToGain(double dDb) { return std::pow(10.0, dDb / 20.0); }

double GainToDb(double dGain) { return dGain > 0.0 ? 20.0 * std::log10(dGain) : -200.0; }

void ScaleWave(TWave& Wave, double dGain)
{
    for (float& f : Wave.vSamples)
        f = static_cast<float>(f * dGain);
}

double TNoise::Unit()
{
    // xorshift32: fast, and identical on every platform.
    m_nState ^= m_nState << 13;
    m_nState ^= m_nState >> 17;
    m_nState ^= m_nState << 5;
    return (m_nState >> 8) / 16777216.0;
}

double TNoise::White() { return 2.0 * Unit() - 1.0; }

void TBiquad::Set(double b0, double b1, double b2, double a0, double a1, double a2)
{
    m_dB0 = b0 / a0;
    m_dB1 = b1 / a0;
    m_dB2 = b2 / a0;
    m_dA1 = a1 / a0;
    m_dA2 = a2 / a0;
}

// Coefficients after R. Bristow-Johnson's audio EQ cookbook.
void TBiquad::SetLowPass(double dFreq, double dQ, double dRate)
{
    const double w = 2.0 * PI * std::min(dFreq, 0.45 * dRate) / dRate;
    const double c = std::cos(w), a = std::sin(w) / (2.0 * dQ);
    Set((1 - c) / 2, 1 - c, (1 - c) / 2, 1 + a, -2 * c, 1 - a);
}

void TBiquad::SetHighPass(double dFreq, double dQ, double dRate)
{
    const double w = 2.0 * PI * std::min(dFreq, 0.45 * dRate) / dRate;
    const double c = std::cos(w), a = std::sin(w) / (2.0 * dQ);
    Set((1 + c) / 2, -(1 + c), (1 + c) / 2, 1 + a, -2 * c, 1 - a);
}

void TBiquad::SetBandPass(double dFreq, double dQ, double dRate)
{
    const double w = 2.0 * PI * std::min(dFreq, 0.45 * dRate) / dRate;
    const double c = std::cos(w), a = std::sin(w) / (2.0 * dQ);
    Set(a, 0, -a, 1 + a, -2 * c, 1 - a);
}

void TBiquad::SetHighShelf(double dFreq, double dQ, double dGainDb, double dRate)
{
    const double A = std::pow(10.0, dGainDb / 40.0);
    const double w = 2.0 * PI * dFreq / dRate;
    const double c = std::cos(w), a = std::sin(w) / (2.0 * dQ), s = 2.0 * std::sqrt(A) * a;
    Set(A * ((A + 1) + (A - 1) * c + s), -2 * A * ((A - 1) + (A + 1) * c),
        A * ((A + 1) + (A - 1) * c - s), (A + 1) - (A - 1) * c + s, 2 * ((A - 1) - (A + 1) * c),
        (A + 1) - (A - 1) * c - s);
}

double TBiquad::Process(double dIn)
{
    const double dOut = m_dB0 * dIn + m_dB1 * m_dX1 + m_dB2 * m_dX2 - m_dA1 * m_dY1 - m_dA2 * m_dY2;
    m_dX2 = m_dX1;
    m_dX1 = dIn;
    m_dY2 = m_dY1;
    m_dY1 = dOut;
    return dOut;
}

void TLimiter::Apply(TWave& Wave, double dCeilingDb, double dAttack, double dRelease)
{
    const size_t nFrames = Wave.Frames();
    const double dCeiling = DbToGain(dCeilingDb);
    std::vector<double> vNeed(nFrames, 1.0);
    for (size_t i = 0; i < nFrames; ++i)
        for (int c = 0; c < Wave.nChannels; ++c) {
            const double dAbs = std::fabs(Wave.At(i, c));
            if (dAbs > dCeiling)
                vNeed[i] = std::min(vNeed[i], dCeiling / dAbs);
        }

    // Minimum over +-nHalf around each frame, then a moving average of 2*nHalf+1 frames: every
    // frame averaged near a peak is already at or below that peak's gain, so the smooth curve
    // never lets a peak through.
    const size_t nHalf = std::max<size_t>(1, static_cast<size_t>(dAttack * Wave.nRate / 2));
    std::vector<double> vMin(nFrames);
    std::deque<size_t> Window;
    for (size_t i = 0; i < nFrames + nHalf; ++i) {
        if (i < nFrames) {
            while (!Window.empty() && vNeed[Window.back()] >= vNeed[i])
                Window.pop_back();
            Window.push_back(i);
        }
        if (i >= nHalf) {
            const size_t nAt = i - nHalf;
            while (Window.front() + 2 * nHalf < i)
                Window.pop_front();
            vMin[nAt] = vNeed[Window.front()];
        }
    }
    std::vector<double> vGain(nFrames);
    double dSum = 0.0;
    const size_t nSpan = 2 * nHalf + 1;
    auto MinAt = [&](long n) { return n < 0 || n >= long(nFrames) ? 1.0 : vMin[size_t(n)]; };
    for (long n = -long(nHalf); n <= long(nHalf); ++n)
        dSum += MinAt(n);
    for (size_t i = 0; i < nFrames; ++i) {
        vGain[i] = std::min(vMin[i], dSum / nSpan);
        dSum += MinAt(long(i + nHalf + 1)) - MinAt(long(i) - long(nHalf));
    }
    // Slow recovery after a peak, never above the curve that the peaks need.
    const double dRecover = 1.0 - std::exp(-1.0 / (dRelease * Wave.nRate));
    double dLast = 1.0;
    for (size_t i = 0; i < nFrames; ++i) {
        dLast = std::min(vGain[i], dLast + (1.0 - dLast) * dRecover);
        for (int c = 0; c < Wave.nChannels; ++c)
            Wave.At(i, c) = static_cast<float>(Wave.At(i, c) * dLast);
    }
}
