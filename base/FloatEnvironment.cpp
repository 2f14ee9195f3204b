#include "base/FloatEnvironment.h"

#if defined(__x86_64__) || defined(__i386__)
#include <xmmintrin.h>
#else
#include <cfenv>
#endif

namespace {
#if defined(__x86_64__) || defined(__i386__)
// MXCSR: rounding control (bits 13-14), flush to zero (15), denormals are zero (6).
constexpr uint64_t NON_STANDARD = 0x6000 | 0x8000 | 0x0040;
uint64_t Read()
{
    return _mm_getcsr();
}
void Write(uint64_t n)
{
    _mm_setcsr(static_cast<unsigned>(n));
}
#elif defined(__aarch64__)
// FPCR: rounding mode (bits 22-23), flush to zero (24), half-precision flush (19), alternate
// handling (1).
constexpr uint64_t NON_STANDARD = (3ull << 22) | (1ull << 24) | (1ull << 19) | (1ull << 1);
uint64_t Read()
{
    uint64_t n;
    __asm__ __volatile__("mrs %0, fpcr" : "=r"(n));
    return n;
}
void Write(uint64_t n)
{
    __asm__ __volatile__("msr fpcr, %0" : : "r"(n));
}
#else
// Elsewhere only the rounding mode can be told apart.
constexpr uint64_t NON_STANDARD = 1;
uint64_t Read()
{
    return std::fegetround() == FE_TONEAREST ? 0 : 1;
}
void Write(uint64_t n)
{
    if (n == 0)
        std::fesetround(FE_TONEAREST);
}
#endif
}  // namespace

TFloatEnvironment::TFloatEnvironment() : m_nSaved(Read())
{
    if (m_nSaved & NON_STANDARD) {
        Write(m_nSaved & ~NON_STANDARD);
        m_bChanged = true;
    }
}

TFloatEnvironment::~TFloatEnvironment()
{
    if (m_bChanged)
        Write(m_nSaved);
}

bool TFloatEnvironment::IsStandard()
{
    return (Read() & NON_STANDARD) == 0;
}
