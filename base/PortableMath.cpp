#include "base/PortableMath.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <initializer_list>

namespace {
// pi/2 in four pieces of 30 significant bits: n times a piece is exact for |n| < 2^23, far
// beyond any heading a day of turning reaches, so the angle loses nothing in the reduction.
constexpr double PIO2_1 = 0x1.921fb548p+0;
constexpr double PIO2_2 = -0x1.de973dc8p-31;
constexpr double PIO2_3 = -0x1.9d9cceb8p-62;
constexpr double PIO2_4 = -0x1.1fc8f8c8p-93;
constexpr double TWO_OVER_PI = 0x1.45f306dc9c883p-1;
constexpr double QUARTER_PI = 0x1.921fb54442d18p-1;
// Beyond this the quadrant count outgrows the exact products above; no play comes near it (a day
// of turning reaches 2,400 radians).
constexpr double FAR = 0x1p22;
constexpr double TWO_PI = 0x1.921fb54442d18p+2;
// Below this sin(x) is x and cos(x) is 1 to the last bit.
constexpr double TINY = 0x1p-27;

// Minimax polynomials on [-pi/4, pi/4] for sin(x)/x - 1 and cos(x) - 1 + x^2/2, the classic
// coefficients of the freely distributable math library.
constexpr double S1 = -1.66666666666666324348e-01;
constexpr double S2 = 8.33333333332248946124e-03;
constexpr double S3 = -1.98412698298579493134e-04;
constexpr double S4 = 2.75573137070700676789e-06;
constexpr double S5 = -2.50507602534068634195e-08;
constexpr double S6 = 1.58969099521155010221e-10;
constexpr double C1 = 4.16666666666666019037e-02;
constexpr double C2 = -1.38888888888741095749e-03;
constexpr double C3 = 2.48015872894767294178e-05;
constexpr double C4 = -2.75573143513906633035e-07;
constexpr double C5 = 2.08757232129817482790e-09;
constexpr double C6 = -1.13596475577881948265e-11;

// pi/180 as a sum of two doubles.
constexpr double PI_180_HI = 0x1.1df46a2529d39p-6;
constexpr double PI_180_LO = 0x1.5c1d8becdd291p-62;

// a + b = s + e exactly.
void TwoSum(double a, double b, double& s, double& e)
{
    s = a + b;
    const double bb = s - a;
    e = (a - (s - bb)) + (b - bb);
}

// a x b = p + e exactly (Dekker's product, no fused operation needed).
void TwoProduct(double a, double b, double& p, double& e)
{
    constexpr double SPLIT = 134217729.0;  // 2^27 + 1
    const double ca = SPLIT * a, cb = SPLIT * b;
    const double ah = ca - (ca - a), al = a - ah;
    const double bh = cb - (cb - b), bl = b - bh;
    p = a * b;
    e = ((ah * bh - p) + ah * bl + al * bh) + al * bl;
}

// sin(x + y) for |x| <= pi/4, y the tail of x.
double KernelSin(double x, double y)
{
    const double z = x * x;
    const double v = z * x;
    const double r = S2 + z * (S3 + z * (S4 + z * (S5 + z * S6)));
    if (y == 0.0)
        return x + v * (S1 + z * r);
    return x - ((z * (0.5 * y - v * r) - y) - v * S1);
}

// A quarter of |x| with its low 32 bits cleared: keeps 1 - x^2/2 exact in the kernel below.
double QuarterHigh(double x)
{
    uint64_t nBits;
    const double dQuarter = std::fabs(x) * 0.25;
    std::memcpy(&nBits, &dQuarter, sizeof nBits);
    nBits &= 0xffffffff00000000ull;
    double d;
    std::memcpy(&d, &nBits, sizeof d);
    return d;
}

// cos(x + y) for |x| <= pi/4, y the tail of x.
double KernelCos(double x, double y)
{
    const double z = x * x;
    const double r = z * (C1 + z * (C2 + z * (C3 + z * (C4 + z * (C5 + z * C6)))));
    if (std::fabs(x) < 0.3)
        return 1.0 - (0.5 * z - (z * r - x * y));
    const double qx = std::fabs(x) > 0.78125 ? 0.28125 : QuarterHigh(x);
    const double hz = 0.5 * z - qx;
    const double a = 1.0 - qx;
    return a - (hz - (z * r - x * y));
}

// x = n pi/2 + (r + rTail) with |r| <= about pi/4; returns n mod 4.
int Reduce(double x, double& r, double& rTail)
{
    // Far angles are first brought near by the double nearest 2 pi, which fmod does exactly:
    // the same bits everywhere, if not the true value.
    if (std::fabs(x) > FAR)
        x = std::fmod(x, TWO_PI);
    if (std::fabs(x) <= QUARTER_PI) {
        r = x;
        rTail = 0.0;
        return 0;
    }
    const double n = std::floor(x * TWO_OVER_PI + 0.5);
    double hi, lo;
    TwoSum(x - n * PIO2_1, -(n * PIO2_2), hi, lo);
    lo = (lo - n * PIO2_3) - n * PIO2_4;
    r = hi + lo;
    rTail = (hi - r) + lo;
    // fmod is exact: the quadrant even for an n beyond the integers.
    const double q = std::fmod(n, 4.0);
    return static_cast<int>(q < 0 ? q + 4.0 : q);
}
}  // namespace

void TPortableMath::SinCos(double x, double& dSin, double& dCos)
{
    if (!std::isfinite(x)) {
        dSin = dCos = x - x;
        return;
    }
    if (std::fabs(x) < TINY) {
        dSin = x;
        dCos = 1.0;
        return;
    }
    double r, rTail;
    const int q = Reduce(x, r, rTail);
    const double s = KernelSin(r, rTail), c = KernelCos(r, rTail);
    switch (q) {
    case 0:
        dSin = s;
        dCos = c;
        break;
    case 1:
        dSin = c;
        dCos = -s;
        break;
    case 2:
        dSin = -s;
        dCos = -c;
        break;
    default:
        dSin = -c;
        dCos = s;
        break;
    }
}

double TPortableMath::Sin(double x)
{
    double dSin, dCos;
    SinCos(x, dSin, dCos);
    return dSin;
}

double TPortableMath::Cos(double x)
{
    double dSin, dCos;
    SinCos(x, dSin, dCos);
    return dCos;
}

double TPortableMath::AddDegrees(double dRadians, double dDegrees)
{
    double p, e, s, t;
    TwoProduct(dDegrees, PI_180_HI, p, e);
    TwoSum(dRadians, p, s, t);
    return s + (t + (e + dDegrees * PI_180_LO));
}

bool TPortableMath::FusesMultiplyAdd()
{
    // (1 + 2^-27)(1 - 2^-27) = 1 - 2^-54 rounds to 1 on its own; fused with the subtraction
    // that follows, the -2^-54 survives.
    volatile double a = 1.0 + 0x1p-27, b = 1.0 - 0x1p-27, c = 1.0;
    const double x = a, y = b, z = c;
    return x * y - z != 0.0;
}

uint64_t TPortableMath::SweepDigest()
{
    uint64_t nDigest = 0xcbf29ce484222325ull;
    for (int i = 0; i < 100000; ++i) {
        const double x = (i - 50000) * 0.0379 + i * 1e-7;
        double s, c;
        SinCos(x, s, c);
        for (double d : {s, c, AddDegrees(x, (i % 45) - 22.0)}) {
            uint64_t n;
            std::memcpy(&n, &d, sizeof n);
            nDigest = (nDigest ^ n) * 0x100000001b3ull;
        }
    }
    return nDigest;
}
