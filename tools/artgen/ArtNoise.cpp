#include "tools/artgen/ArtNoise.h"

#include <cmath>

namespace {
int Wrap(int n, int nPeriod)
{
    const int r = n % nPeriod;
    return r < 0 ? r + nPeriod : r;
}

// Sixteen evenly spread unit gradient directions (cos, sin of k * 22.5 degrees).
constexpr float GRADIENTS[16][2] = {
    {1.0f, 0.0f},         {0.92388f, 0.382683f},  {0.707107f, 0.707107f},  {0.382683f, 0.92388f},
    {0.0f, 1.0f},         {-0.382683f, 0.92388f}, {-0.707107f, 0.707107f}, {-0.92388f, 0.382683f},
    {-1.0f, 0.0f},        {-0.92388f, -0.382683f}, {-0.707107f, -0.707107f}, {-0.382683f, -0.92388f},
    {0.0f, -1.0f},        {0.382683f, -0.92388f}, {0.707107f, -0.707107f}, {0.92388f, -0.382683f},
};

// Quintic fade: continuous second derivative, so shading from the noise shows no lattice.
float Fade(float t)
{
    return t * t * t * (t * (t * 6.0f - 15.0f) + 10.0f);
}
}  // namespace

uint32_t TArtNoise::Hash(int32_t a, int32_t b, int32_t c) const
{
    // Murmur-style mixing of each input in turn.
    uint32_t h = m_nSeed * 0x9E3779B9u + 0x7F4A7C15u;
    const uint32_t vIn[3] = {static_cast<uint32_t>(a), static_cast<uint32_t>(b), static_cast<uint32_t>(c)};
    for (uint32_t k : vIn) {
        k *= 0xCC9E2D51u;
        k = (k << 15) | (k >> 17);
        k *= 0x1B873593u;
        h ^= k;
        h = (h << 13) | (h >> 19);
        h = h * 5u + 0xE6546B64u;
    }
    h ^= h >> 16;
    h *= 0x85EBCA6Bu;
    h ^= h >> 13;
    h *= 0xC2B2AE35u;
    h ^= h >> 16;
    return h;
}

float TArtNoise::Hash01(int32_t a, int32_t b, int32_t c) const
{
    return static_cast<float>(Hash(a, b, c) >> 8) * (1.0f / 16777216.0f);
}

float TArtNoise::Gradient(float x, float y, int nPeriodX, int nPeriodY) const
{
    const float fx0 = std::floor(x), fy0 = std::floor(y);
    const int ix = static_cast<int>(fx0), iy = static_cast<int>(fy0);
    const float dx = x - fx0, dy = y - fy0;
    auto Corner = [&](int cx, int cy, float ox, float oy) {
        const uint32_t h = Hash(Wrap(ix + cx, nPeriodX), Wrap(iy + cy, nPeriodY)) & 15u;
        return GRADIENTS[h][0] * ox + GRADIENTS[h][1] * oy;
    };
    const float n00 = Corner(0, 0, dx, dy);
    const float n10 = Corner(1, 0, dx - 1.0f, dy);
    const float n01 = Corner(0, 1, dx, dy - 1.0f);
    const float n11 = Corner(1, 1, dx - 1.0f, dy - 1.0f);
    const float u = Fade(dx), v = Fade(dy);
    // Gradient noise peaks near +-0.7; scale to about +-1.
    return 1.41f * Mix(Mix(n00, n10, u), Mix(n01, n11, u), v);
}

// Octaves of gradient noise, each twice the frequency and fGain times the weight of the one
// before, each shaped by Shape; normalised by the total weight.
template <typename TShape>
float TArtNoise::Octaves(float x, float y, int nPeriodX, int nPeriodY, int nOctaves, float fGain, TShape Shape) const
{
    float fSum = 0.0f, fAmp = 1.0f, fNorm = 0.0f;
    for (int o = 0; o < nOctaves; ++o) {
        fSum += fAmp * Shape(Gradient(x, y, nPeriodX, nPeriodY));
        fNorm += fAmp;
        x *= 2.0f;
        y *= 2.0f;
        nPeriodX *= 2;
        nPeriodY *= 2;
        fAmp *= fGain;
    }
    return fSum / fNorm;
}

float TArtNoise::Fractal(float x, float y, int nPeriodX, int nPeriodY, int nOctaves, float fGain) const
{
    return Octaves(x, y, nPeriodX, nPeriodY, nOctaves, fGain, [](float n) { return n; });
}

float TArtNoise::Ridged(float x, float y, int nPeriodX, int nPeriodY, int nOctaves, float fGain) const
{
    return Octaves(x, y, nPeriodX, nPeriodY, nOctaves, fGain, [](float n) {
        const float r = 1.0f - std::fabs(n);
        return r * r;
    });
}

float TArtNoise::Billows(float x, float y, int nPeriodX, int nPeriodY, int nOctaves, float fGain) const
{
    return Octaves(x, y, nPeriodX, nPeriodY, nOctaves, fGain, [](float n) { return std::fabs(n); });
}

void TArtNoise::Cells(float x, float y, int nPeriod, float& fNearest, float& fSecond) const
{
    const int ix = static_cast<int>(std::floor(x)), iy = static_cast<int>(std::floor(y));
    fNearest = fSecond = 1e9f;
    for (int cy = -1; cy <= 1; ++cy) {
        for (int cx = -1; cx <= 1; ++cx) {
            const int hx = Wrap(ix + cx, nPeriod), hy = Wrap(iy + cy, nPeriod);
            const float px = static_cast<float>(ix + cx) + Hash01(hx, hy, 1);
            const float py = static_cast<float>(iy + cy) + Hash01(hx, hy, 2);
            const float d = std::hypot(px - x, py - y);
            if (d < fNearest) {
                fSecond = fNearest;
                fNearest = d;
            } else if (d < fSecond) {
                fSecond = d;
            }
        }
    }
}

TArtRandom::TArtRandom(uint64_t nSeed) : m_nState(nSeed * 6364136223846793005ull + 1442695040888963407ull)
{
    Next();
}

uint32_t TArtRandom::Next()
{
    const uint64_t nOld = m_nState;
    m_nState = nOld * 6364136223846793005ull + 1442695040888963407ull;
    const uint32_t nXorShifted = static_cast<uint32_t>(((nOld >> 18u) ^ nOld) >> 27u);
    const uint32_t nRot = static_cast<uint32_t>(nOld >> 59u);
    return (nXorShifted >> nRot) | (nXorShifted << ((32u - nRot) & 31u));
}

float TArtRandom::Unit()
{
    return static_cast<float>(Next() >> 8) * (1.0f / 16777216.0f);
}

float Clamp01(float f)
{
    return f < 0.0f ? 0.0f : (f > 1.0f ? 1.0f : f);
}

float SmoothStep(float fEdge0, float fEdge1, float f)
{
    const float t = Clamp01((f - fEdge0) / (fEdge1 - fEdge0));
    return t * t * (3.0f - 2.0f * t);
}

float Mix(float a, float b, float t)
{
    return a + (b - a) * t;
}
