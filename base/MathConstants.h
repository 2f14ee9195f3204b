#pragma once
// Pi, once, in the precisions the arithmetic uses: the ship turns in extended precision, the
// rules compute in double, the art generator paints in float.

constexpr long double PI_L = 3.141592653589793238462643383279502884L;
constexpr double PI = static_cast<double>(PI_L);
static_assert(PI == 3.14159265358979323846, "pi as a double is the nearest double to pi");
constexpr float PI_F = static_cast<float>(PI);
