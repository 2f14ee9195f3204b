#pragma once
// The floating-point environment the rules expect, for as long as one of these lives: rounding
// to nearest and subnormal numbers kept (no flush to zero, no denormals read as zero). A library
// or a fast-math object linked into the process may leave the processor set otherwise; the
// environment found is put back afterwards.

#include <cstdint>

class TFloatEnvironment
{
public:
    TFloatEnvironment();
    ~TFloatEnvironment();
    TFloatEnvironment(const TFloatEnvironment&) = delete;
    TFloatEnvironment& operator=(const TFloatEnvironment&) = delete;

    // True when the processor is set as the rules expect.
    static bool IsStandard();

private:
    uint64_t m_nSaved = 0;
    bool m_bChanged = false;
};
