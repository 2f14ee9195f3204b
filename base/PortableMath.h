#pragma once
// The rules' arithmetic gives the same bits on every compiler and processor the game is built
// for: a replay is a contract between machines. IEEE-754 rounds + - * / and the square root the
// same everywhere, as long as nothing fuses a multiply into an add, reorders sums or computes in
// wider registers: the rules are built with -ffp-contract=off and -fno-fast-math (see the
// build), and the checks below refuse a compiler set up otherwise. The sine and cosine are the
// game's own, since no C library promises their last bit.

#include <cfloat>
#include <cstdint>

#if defined(__FAST_MATH__)
#error "the rules need IEEE arithmetic: build them without -ffast-math or -Ofast"
#endif
#if defined(__FINITE_MATH_ONLY__) && __FINITE_MATH_ONLY__
#error "the rules need IEEE arithmetic: build them without -ffinite-math-only"
#endif
#if !defined(FLT_EVAL_METHOD) || FLT_EVAL_METHOD != 0
#error "the rules need every operation rounded to its own type: on i386 build with -msse2 -mfpmath=sse"
#endif

class TPortableMath
{
public:
    // Within an ulp or so of the true value, and the same bits everywhere, for any finite x.
    static double Sin(double x);
    static double Cos(double x);
    // Both, from one reduction of the angle.
    static void SinCos(double x, double& dSin, double& dCos);
    // dRadians + dDegrees x pi / 180, as if worked out in extended precision and rounded once.
    static double AddDegrees(double dRadians, double dDegrees);
    // True when this build fuses a multiplication into an addition (it must not); for the tests.
    static bool FusesMultiplyAdd();
    // A digest of the sine, cosine and turns above over a fixed sweep of angles: every build of
    // the rules, on every machine, must give the same.
    static uint64_t SweepDigest();
};
