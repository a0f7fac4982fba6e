// 16.16 fixed point (PF_Fixed): the one place its scale and conversions live,
// shared by the effect and the host side.
#pragma once

#include <cmath>
#include <cstdint>

#include "api/AE_Effect.h"

namespace vfixed {

constexpr int kShift = 16;
constexpr PF_Fixed kOne = PF_Fixed{1} << kShift;  // 65536 = 1.0
// 2^-16: exact in double, so ToDouble loses nothing.
constexpr double kToDouble = 1.52587890625e-05;

constexpr double ToDouble(PF_Fixed v) { return v * kToDouble; }

// A whole number held in a double, clamped to 32 bits; NaN gives 0.
inline A_long SaturateWhole(double whole) {
    if (std::isnan(whole)) return 0;
    if (whole >= 2147483647.0) return INT32_MAX;
    if (whole <= -2147483648.0) return INT32_MIN;
    return static_cast<A_long>(whole);
}

constexpr A_long Saturate(int64_t v) {
    return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : static_cast<A_long>(v);
}

// x * 65536 rounded half away from zero (0 counts as not negative), as a double.
inline double Rounded(double x) { return std::trunc(x * kOne + (x < 0.0 ? -0.5 : 0.5)); }

// Rounded, then held to 32 bits.
inline PF_Fixed FromDouble(double x) { return SaturateWhole(Rounded(x)); }

// Whether FromDouble(x) is x rounded, not clamped or NaN.
inline bool Fits(double x) {
    const double scaled = Rounded(x);
    return std::isfinite(scaled) && scaled <= 2147483647.0 && scaled >= -2147483648.0;
}

constexpr PF_Fixed FromInt(int64_t whole) { return Saturate(whole * kOne); }

// The whole part, rounded toward minus infinity (an arithmetic shift).
constexpr A_long Floor(PF_Fixed v) { return v >> kShift; }

// The whole numbers 16.16 holds, +/-32767: points and angles declare no
// range of their own and keep to these.
constexpr double kWholeLimit = Floor(INT32_MAX);

// The nearest whole number, halves upward.
constexpr A_long Round(PF_Fixed v) { return static_cast<A_long>((static_cast<int64_t>(v) + kOne / 2) >> kShift); }

}  // namespace vfixed
