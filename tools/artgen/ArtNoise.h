#pragma once
// Deterministic noise for the generated art. Everything derives from integer hashes of lattice
// coordinates and a seed, so the same pictures come out on every run; nothing here touches the
// game's own generator, whose draws the game must keep for itself.

#include <cstdint>

class TArtNoise
{
public:
    explicit TArtNoise(uint32_t nSeed) : m_nSeed(nSeed) {}

    // A well-mixed 32-bit hash of up to three integers and the seed.
    uint32_t Hash(int32_t a, int32_t b = 0, int32_t c = 0) const;
    // The same hash as a float in [0, 1).
    float Hash01(int32_t a, int32_t b = 0, int32_t c = 0) const;

    // Gradient noise in about [-1, 1] with one lattice cell per unit. The lattice repeats every
    // nPeriodX x nPeriodY cells, so a picture that spans whole periods tiles seamlessly.
    float Gradient(float x, float y, int nPeriodX, int nPeriodY) const;
    // Octaves of gradient noise, each at twice the frequency (and period) of the one before and
    // fGain times its amplitude; normalised to about [-1, 1].
    float Fractal(float x, float y, int nPeriodX, int nPeriodY, int nOctaves, float fGain = 0.5f) const;
    // The same, summing 1 - |noise| per octave: sharp ridges, result in about [0, 1].
    float Ridged(float x, float y, int nPeriodX, int nPeriodY, int nOctaves, float fGain = 0.5f) const;
    // The same, summing |noise| per octave: rounded billows with creases between, in about [0, 1].
    float Billows(float x, float y, int nPeriodX, int nPeriodY, int nOctaves, float fGain = 0.5f) const;
    // Distance to the nearest of one random point per lattice cell, and to the second nearest,
    // on a lattice that repeats every nPeriod cells in both directions.
    void Cells(float x, float y, int nPeriod, float& fNearest, float& fSecond) const;

private:
    template <typename TShape>
    float Octaves(float x, float y, int nPeriodX, int nPeriodY, int nOctaves, float fGain, TShape Shape) const;

    uint32_t m_nSeed;
};

// A small sequential generator (PCG32) for placing stars, craters and sparks.
class TArtRandom
{
public:
    explicit TArtRandom(uint64_t nSeed);
    uint32_t Next();
    // Uniform in [0, 1).
    float Unit();
    float Range(float fLow, float fHigh) { return fLow + (fHigh - fLow) * Unit(); }

private:
    uint64_t m_nState;
};

// Small shaping helpers shared by the painters.
float Clamp01(float f);
float SmoothStep(float fEdge0, float fEdge1, float f);
float Mix(float a, float b, float t);
