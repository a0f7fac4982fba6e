// Short log and exp for the falloff curves: a table-driven exp for one value
// at a time, and table-free ones for loops meant to vectorise. Each is a few
// units in the last place of a double from the true value; the curves' error
// bounds (Vellora_Curves.h) are many times that.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstring>

namespace vellora_detail {

inline constexpr double kExp2Table[64] = {
    0x1.0000000000000p+0, 0x1.02c9a3e778061p+0, 0x1.059b0d3158574p+0,
    0x1.0874518759bc8p+0, 0x1.0b5586cf9890fp+0, 0x1.0e3ec32d3d1a2p+0,
    0x1.11301d0125b51p+0, 0x1.1429aaea92de0p+0, 0x1.172b83c7d517bp+0,
    0x1.1a35beb6fcb75p+0, 0x1.1d4873168b9aap+0, 0x1.2063b88628cd6p+0,
    0x1.2387a6e756238p+0, 0x1.26b4565e27cddp+0, 0x1.29e9df51fdee1p+0,
    0x1.2d285a6e4030bp+0, 0x1.306fe0a31b715p+0, 0x1.33c08b26416ffp+0,
    0x1.371a7373aa9cbp+0, 0x1.3a7db34e59ff7p+0, 0x1.3dea64c123422p+0,
    0x1.4160a21f72e2ap+0, 0x1.44e086061892dp+0, 0x1.486a2b5c13cd0p+0,
    0x1.4bfdad5362a27p+0, 0x1.4f9b2769d2ca7p+0, 0x1.5342b569d4f82p+0,
    0x1.56f4736b527dap+0, 0x1.5ab07dd485429p+0, 0x1.5e76f15ad2148p+0,
    0x1.6247eb03a5585p+0, 0x1.6623882552225p+0, 0x1.6a09e667f3bcdp+0,
    0x1.6dfb23c651a2fp+0, 0x1.71f75e8ec5f74p+0, 0x1.75feb564267c9p+0,
    0x1.7a11473eb0187p+0, 0x1.7e2f336cf4e62p+0, 0x1.82589994cce13p+0,
    0x1.868d99b4492edp+0, 0x1.8ace5422aa0dbp+0, 0x1.8f1ae99157736p+0,
    0x1.93737b0cdc5e5p+0, 0x1.97d829fde4e50p+0, 0x1.9c49182a3f090p+0,
    0x1.a0c667b5de565p+0, 0x1.a5503b23e255dp+0, 0x1.a9e6b5579fdbfp+0,
    0x1.ae89f995ad3adp+0, 0x1.b33a2b84f15fbp+0, 0x1.b7f76f2fb5e47p+0,
    0x1.bcc1e904bc1d2p+0, 0x1.c199bdd85529cp+0, 0x1.c67f12e57d14bp+0,
    0x1.cb720dcef9069p+0, 0x1.d072d4a07897cp+0, 0x1.d5818dcfba487p+0,
    0x1.da9e603db3285p+0, 0x1.dfc97337b9b5fp+0, 0x1.e502ee78b3ff6p+0,
    0x1.ea4afa2a490dap+0, 0x1.efa1bee615a27p+0, 0x1.f50765b6e4540p+0,
    0x1.fa7c1819e90d8p+0,
};

// e^x for -8 <= x <= 0 to a few units in the last place: x = k ln2/64 + r,
// e^x = 2^(k/64) e^r with |r| <= ln2/128 and e^r from its Taylor series
// (the first term left out is below 4e-17).
inline double ExpNonPositive(double x) {
    constexpr double kInvStep = 0x1.71547652b82fep+6;  // 64 / ln2
    constexpr double kStepHi = 0x1.62e42fefa3800p-7;  // ln2 / 64, split so kd * kStepHi is exact
    constexpr double kStepLo = 0x1.ef35793c76730p-51;
    constexpr double kShifter = 0x1.8p52;  // adding and subtracting it rounds to an integer
    const double kd = (x * kInvStep + kShifter) - kShifter;
    const int k = static_cast<int>(kd);
    const double r = (x - kd * kStepHi) - kd * kStepLo;
    // The series in two halves that run side by side rather than one long chain.
    const double r2 = r * r;
    const double p = (1.0 + r) + r2 * ((0.5 + r * (1.0 / 6.0)) + r2 * (1.0 / 24.0 + r * (1.0 / 120.0)));
    const uint64_t scale_bits = static_cast<uint64_t>(1023 + (k >> 6)) << 52;  // 2^floor(k/64)
    double scale;
    std::memcpy(&scale, &scale_bits, sizeof(scale));
    return kExp2Table[k & 63] * p * scale;
}

// e^x as ExpNonPositive, for loops meant to vectorise: no table (compilers
// will not gather from one), so slower one at a time. To within 5e-16 of its
// value for -700 <= x <= 0: x = k ln2 + r with |r| <= ln2 / 2, e^x = 2^k e^r,
// e^r from its Taylor series to r^13 (the first term left out is below
// 5e-18), evaluated in Estrin's form so the terms run side by side.
inline double ExpNonPositivePoly(double x) {
    constexpr double kInvLn2 = 0x1.71547652b82fep+0;
    constexpr double kLn2Hi = 0x1.62e42fefa3800p-1;  // ln 2, split so kd * kLn2Hi is exact
    constexpr double kLn2Lo = 0x1.ef35793c76730p-45;
    constexpr double kShifter = 0x1.8p52;  // adding and subtracting it rounds to an integer
    const double shifted = x * kInvLn2 + kShifter;  // k = round(x / ln2) in its low bits
    const double kd = shifted - kShifter;
    const double r = (x - kd * kLn2Hi) - kd * kLn2Lo;
    const double r2 = r * r;
    const double r4 = r2 * r2;
    const double r8 = r4 * r4;
    constexpr double c2 = 1.0 / 2, c3 = 1.0 / 6, c4 = 1.0 / 24, c5 = 1.0 / 120, c6 = 1.0 / 720, c7 = 1.0 / 5040;
    constexpr double c8 = 1.0 / 40320, c9 = 1.0 / 362880, c10 = 1.0 / 3628800, c11 = 1.0 / 39916800;
    constexpr double c12 = 1.0 / 479001600, c13 = 1.0 / 6227020800;
    const double low = ((1.0 + r) + (c2 + c3 * r) * r2) + ((c4 + c5 * r) + (c6 + c7 * r) * r2) * r4;
    const double high = ((c8 + c9 * r) + (c10 + c11 * r) * r2) + (c12 + c13 * r) * r4;
    const double p = low + high * r8;
    // 2^k: k + 1023 shifted into the exponent field, taken from the shifted sum's
    // bits rather than by converting kd, which vectorises without 64-bit conversions.
    uint64_t shifted_bits;
    std::memcpy(&shifted_bits, &shifted, sizeof(shifted_bits));
    const uint64_t scale_bits = (shifted_bits + 1023) << 52;
    double scale;
    std::memcpy(&scale, &scale_bits, sizeof(scale));
    return p * scale;
}

// log(t) for loops meant to vectorise, for 2^-20 <= t <= 1 to within 2e-15:
// t = 2^k m with m near 1, log m = 2 atanh(s), s = (m - 1) / (m + 1),
// |s| < 0.172, from its series (the first term left out is below 1e-18 of the
// sum). Plain arithmetic on the bits; one at a time, libm's log is faster.
inline double LogPositivePoly(double t) {
    constexpr double kLn2Hi = 0x1.62e42fefa3800p-1;  // ln 2, split so k * kLn2Hi is exact
    constexpr double kLn2Lo = 0x1.ef35793c76730p-45;
    uint64_t bits;
    std::memcpy(&bits, &t, sizeof(bits));
    // The biased exponent as a double without an integer conversion (which
    // would not vectorise): placed in the mantissa of 2^52, then 2^52 taken off.
    const uint64_t biased_bits = (bits >> 52) | 0x4330000000000000ull;
    double biased;
    std::memcpy(&biased, &biased_bits, sizeof(biased));
    const uint64_t mantissa_bits = (bits & 0x000FFFFFFFFFFFFFull) | 0x3FF0000000000000ull;
    double m;
    std::memcpy(&m, &mantissa_bits, sizeof(m));
    const bool high = m > 0x1.6a09e667f3bcdp+0;  // sqrt(2)
    const double half = m * 0.5;
    m = high ? half : m;
    const double k = (biased - (0x1p52 + 1023.0)) + (high ? 1.0 : 0.0);
    const double f = m - 1.0;  // exact: m lies within a factor 2 of 1
    const double s = f / (2.0 + f);
    const double z = s * s;
    // 1/3 + z/5 + z^2/7 + ... + z^9/21 in Estrin's form.
    const double z2 = z * z;
    const double z4 = z2 * z2;
    const double p = ((1.0 / 3 + z * (1.0 / 5)) + (1.0 / 7 + z * (1.0 / 9)) * z2) +
                     (((1.0 / 11 + z * (1.0 / 13)) + (1.0 / 15 + z * (1.0 / 17)) * z2) +
                      (1.0 / 19 + z * (1.0 / 21)) * z4) * z4;
    const double two_s = 2.0 * s;
    return k * kLn2Hi + (two_s + (two_s * (z * p) + k * kLn2Lo));
}

}  // namespace vellora_detail
