// The mask itself: the per-frame record, the per-pixel function that turns a
// pixel position and its alpha into the new alpha, and the falloff curves.
//
// Blend_Float is defined inline here: it is called once per pixel through the
// host's iterate callbacks, so the cheap outside and core cases must not pay for
// a call of their own. Only the feather band leaves this header.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

#include "plugin/Vellora/Vellora.h"

// A function of plain loops meant to vectorise: on x86-64 it is built once per
// vector width, and the widest the processor has is chosen when the module loads.
// Sanitizer builds keep the baseline copy: the choice is made before their
// runtimes start, which ThreadSanitizer does not survive.
#if defined(__x86_64__) && !defined(VELLORA_NO_VECTOR_CLONES)
#define VELLORA_VECTOR_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define VELLORA_VECTOR_CLONES
#endif

// One frame's mask, filled once before the pixel pass and read-only during it
// (the pixel functions may run on several threads at once).
struct VignetteInfo {
    float pixelToMask[2][3];  // u = m00 x + m01 y + m02, v = m10 x + m11 y + m12
    float halfWidth;
    float halfHeight;
    float scaleU;  // ellipse: 1 / halfWidth^2; rectangle: 1 / feather
    float scaleV;  // ellipse: 1 / halfHeight^2; rectangle: 1 / vertical feather
    float outerAxisProduct;
    float innerHalfWidth;
    float innerHalfHeight;
    float innerAxisProduct;
    float innerHalfWidthSq;
    float innerHalfHeightSq;
    float innerInvHalfWidthSq;
    float innerInvHalfHeightSq;
    float halfWidthSq;
    float halfHeightSq;
    float feather;  // 0 means a hard edge
    float opacity;  // 0..1
    A_u_char isEllipse;
    A_u_char invert;
    A_long compositeMode;  // CompositeMode
    A_long falloff;        // FalloffCurve
};

// The parameter values of one frame, as the host delivers them.
struct VignetteParams {
    PF_Fixed angle = 0;  // degrees
    PF_Fixed origin_x = 0;  // output pixels at the current downsampling
    PF_Fixed origin_y = 0;
    double width = kDefaultWidth;  // full-resolution pixels
    double height = kDefaultHeight;
    double feather = 0.0;
    PF_Fixed opacity = 100 << 16;  // percent
    A_long mask_type = MASK_ELLIPSE;
    A_long invert = 0;  // checkbox value
    A_long composite_mode = COMPOSITE_CREATE;
    A_long falloff = FALLOFF_LINEAR;
    PF_RationalScale downsample_x{1, 1};
    PF_RationalScale downsample_y{1, 1};
    PF_RationalScale pixel_aspect_ratio{1, 1};
};

// Builds the frame's record. All trigonometry, scaling and every reciprocal
// happens here so the pixel function only multiplies and compares.
// A mask without a usable width or height (0 or less, NaN) has no inside: it is
// stored as an empty rectangle, which every pixel lies outside of.
void FillVignetteInfo(const VignetteParams& params, VignetteInfo* info);

// Reads the frame's parameter values from the host's parameter array.
VignetteParams VignetteParamsFromHost(const PF_InData* in_data, PF_ParamDef* const params[]);

// The falloff curve applied to a ramp position; t is clamped to 0..1 first, so
// rounding at the band's edges can never feed pow a negative base.
double alphaFunct(const VignetteInfo* info, double t);

namespace vellora_detail {

// Rounds an approximation `y` of a curve value to single precision when every
// value within `bound` of it rounds the same way; then the exact value, which
// lies within the bound, rounds to it too. Otherwise reports failure.
inline bool RoundsSurely(double y, double bound, float* out) {
    const float lo = static_cast<float>(y - bound);
    const float hi = static_cast<float>(y + bound);
    *out = lo;
    return lo == hi;
}

constexpr double kLn360 = 0x1.78b5edaefba8cp+2;  // log(360)
constexpr double kLn25 = 0x1.d5240f0e0e078p-1;   // log(2.5)

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

// Falloff as a template argument: 0 reads it from the record at every call.
constexpr A_long kAnyFalloff = 0;

// The falloff curve rounded to single precision, exactly static_cast<float> of
// alphaFunct, but several times faster for Gamma 2.2, Gaussian and Exponential:
// they are first tried through a short log and exp; the bounds are ten or more
// times the worst error of either way of computing (a few units in the last
// place of a double), and in the rare case the rounding to single precision is
// not settled, pow decides.
template <A_long Falloff>
__attribute__((always_inline)) inline float CurveFloat(const VignetteInfo* vi, double t) {
    t = t > 0.0 ? (t < 1.0 ? t : 1.0) : 0.0;
    const A_long falloff = Falloff == kAnyFalloff ? vi->falloff : Falloff;
    float e;
    switch (falloff) {
        case FALLOFF_LINEAR:
            return static_cast<float>(t);
        case FALLOFF_QUADRATIC:
            return static_cast<float>(t * t);
        case FALLOFF_CUBIC:
            return static_cast<float>(t * (t * t));
        case FALLOFF_GAMMA:
            // Below 2^-20 the log's absolute error grows past what the bound allows for.
            if (t >= 0x1p-20) {
                const double y = vellora_detail::ExpNonPositive(0.454 * std::log(t));
                if (vellora_detail::RoundsSurely(y, y * 4e-14, &e)) return e;
            }
            break;
        case FALLOFF_GAUSSIAN: {
            const double q = vellora_detail::ExpNonPositive(-((t * t) * std::sqrt(t)) * vellora_detail::kLn360);
            if (vellora_detail::RoundsSurely(1.0 - q, q * 4e-14, &e)) return e;
            break;
        }
        case FALLOFF_EXPONENTIAL: {
            const double q = vellora_detail::ExpNonPositive(-t * vellora_detail::kLn25);
            const double y = (1.0 - q) * 2.5 / 1.5;
            if (vellora_detail::RoundsSurely(y, (q + y) * 4e-14, &e)) return e;
            break;
        }
        default:
            return static_cast<float>(t);
    }
    return static_cast<float>(alphaFunct(vi, t));
}

__attribute__((always_inline)) inline float alphaFunctFloat(const VignetteInfo* vi, double t) {
    return CurveFloat<kAnyFalloff>(vi, t);
}

// Edge value of a pixel in the ellipse's feather band (between the inner and
// the outer ellipse), inlined into the callbacks' exact paths.
template <A_long Falloff = kAnyFalloff>
__attribute__((always_inline)) inline float VignetteEllipseBand(const VignetteInfo* vi, float u, float v) {
    // The ramp runs along the ray from the centre through the pixel, from the
    // inner ellipse's radius in that direction to the outer one's.
    const float r = std::sqrt(u * u + v * v);
#if defined(__SSE2__)
    // Both directions in one packed division, lane by lane the scalar quotients.
    const __m128 direction = _mm_div_ps(_mm_set_ps(0.0f, 0.0f, v, u), _mm_set1_ps(r));
    const float cu = _mm_cvtss_f32(direction);
    const float sv = _mm_cvtss_f32(_mm_shuffle_ps(direction, direction, 1));
#else
    const float cu = u / r;
    const float sv = v / r;
#endif
    const float outerSum = vi->halfWidthSq * (sv * sv) + vi->halfHeightSq * (cu * cu);
    const float innerSum = vi->innerHalfWidthSq * (sv * sv) + vi->innerHalfHeightSq * (cu * cu);
#if defined(__SSE2__)
    // Both radii in one pair of packed operations: each lane is the same
    // correctly rounded square root and quotient as the scalar one.
    const __m128d radii = _mm_div_pd(_mm_set_pd(vi->innerAxisProduct, vi->outerAxisProduct),
                                     _mm_sqrt_pd(_mm_set_pd(innerSum, outerSum)));
    const float rOut = static_cast<float>(_mm_cvtsd_f64(radii));
    const float rIn = static_cast<float>(_mm_cvtsd_f64(_mm_unpackhi_pd(radii, radii)));
#else
    const float rOut = static_cast<float>(static_cast<double>(vi->outerAxisProduct) / std::sqrt(static_cast<double>(outerSum)));
    const float rIn = static_cast<float>(static_cast<double>(vi->innerAxisProduct) / std::sqrt(static_cast<double>(innerSum)));
#endif
    const float t = (r - rIn) / (rOut - rIn);
    return CurveFloat<Falloff>(vi, t);
}

// The rectangle's edge value for whole distances inside the outer rectangle,
// `curveU(au)` and `curveV(av)` giving the curve's double value along each axis.
template <class CurveU, class CurveV>
__attribute__((always_inline)) inline float RectangleBand(const VignetteInfo* vi, float au, float av, CurveU curveU,
                                                          CurveV curveV) {
    if (au >= vi->innerHalfWidth) {
        const double ex = curveU(au);
        if (av >= vi->innerHalfHeight) {
            // Corner of the band: both ramps combine like distances.
            const double ey = curveV(av);
            const double d = std::sqrt(ex * ex + ey * ey);
            return d > 1.0 ? 1.0f : static_cast<float>(d);
        }
        return static_cast<float>(ex);
    }
    if (av >= vi->innerHalfHeight) {
        return static_cast<float>(curveV(av));
    }
    return 0.0f;
}

// Edge value of a rectangle pixel whose whole-pixel distances lie inside the outer rectangle.
float VignetteRectangleInside(const VignetteInfo* info, float au, float av);

namespace vellora_detail {
// Largest float below 2^31: clamping to it keeps the truncation to int32 defined
// for pixels however far outside the mask (NaN goes to the positive bound).
constexpr float kTruncLimit = 2147483520.0f;

inline float WholeDistance(float w) {
    w = w < kTruncLimit ? w : kTruncLimit;
    w = w > -kTruncLimit ? w : -kTruncLimit;
    const int32_t i = static_cast<int32_t>(w);
    return static_cast<float>(i < 0 ? -i : i);
}
}  // namespace vellora_detail

// Composite mode as a template argument: 0 reads it from the record.
constexpr A_long kAnyMode = 0;

// Coverage of an edge value, scaled by the opacity.
__attribute__((always_inline)) inline float MaskStrength(const VignetteInfo* vi, float e) {
    const float c = vi->invert ? e : 1.0f - e;
    return c * vi->opacity;
}

// Combines a strength `s` with the pixel's alpha `a` by the composite mode.
template <A_long Mode>
__attribute__((always_inline)) inline float CombineAlpha(const VignetteInfo* vi, float s, float a) {
    switch (Mode == kAnyMode ? vi->compositeMode : Mode) {
        case COMPOSITE_ADD:
            return std::min(1.0f, a + s);
        case COMPOSITE_SUBTRACT:
            return std::max(0.0f, a - s);
        case COMPOSITE_INTERSECT:
            return a * s;
        case COMPOSITE_CREATE:
            return s;
        default:
            // No known mode: leave the layer's alpha as it was rather than invent one.
            return a;
    }
}

// Turns an edge value into coverage, scales it by the opacity and combines it
// with the pixel's alpha `a` by the composite mode.
template <A_long Mode = kAnyMode>
__attribute__((always_inline)) inline float CompositeAlpha(const VignetteInfo* vi, float e, float a) {
    return CombineAlpha<Mode>(vi, MaskStrength(vi, e), a);
}

// Pixel (x, y) in the mask's frame.
__attribute__((always_inline)) inline void VignetteMaskPoint(const VignetteInfo* vi, A_long x, A_long y, float* u,
                                                             float* v) {
    const float fx = static_cast<float>(x);
    const float fy = static_cast<float>(y);
    *u = (vi->pixelToMask[0][0] * fx + vi->pixelToMask[0][1] * fy) + vi->pixelToMask[0][2];
    *v = (vi->pixelToMask[1][0] * fx + vi->pixelToMask[1][1] * fy) + vi->pixelToMask[1][2];
}

// The rectangle's edge value at (u, v): its zone tests on whole distances,
// and `band(au, av)` inside the outer rectangle past the core.
template <class Band>
__attribute__((always_inline)) inline float RectangleEdge(const VignetteInfo* vi, float u, float v, Band band) {
    const float au = vellora_detail::WholeDistance(u);
    const float av = vellora_detail::WholeDistance(v);
    if (au >= vi->halfWidth || av >= vi->halfHeight) {
        return 1.0f;
    }
    if (vi->feather == 0.0f || (au < vi->innerHalfWidth && av < vi->innerHalfHeight)) {
        return 0.0f;
    }
    return band(au, av);
}

// Edge value of the mask-frame point (u, v): 1 outside, 0 in the core, the
// falloff curve in the band.
template <A_long Falloff = kAnyFalloff>
__attribute__((always_inline)) inline float VignetteEdge(const VignetteInfo* vi, float u, float v) {
    if (vi->isEllipse) {
        if (vi->scaleU * (u * u) + vi->scaleV * (v * v) >= 1.0f) {
            return 1.0f;
        }
        if (vi->feather == 0.0f || vi->innerInvHalfWidthSq * (u * u) + vi->innerInvHalfHeightSq * (v * v) <= 1.0f) {
            return 0.0f;
        }
        return VignetteEllipseBand<Falloff>(vi, u, v);
    }
    return RectangleEdge(vi, u, v, [vi](float au, float av) { return VignetteRectangleInside(vi, au, av); });
}

// New alpha of pixel (x, y) of the output, given its current alpha. Always
// inlined into the pixel callbacks: a call per pixel costs as much as the
// outside and core cases themselves.
__attribute__((always_inline)) inline void Blend_Float(void* refcon, A_long x, A_long y, const PF_FpShort* inAlpha,
                                                       PF_FpShort* outAlpha) {
    const VignetteInfo* vi = static_cast<const VignetteInfo*>(refcon);
    float u, v;
    VignetteMaskPoint(vi, x, y, &u, &v);
    *outAlpha = CompositeAlpha(vi, VignetteEdge(vi, u, v), *inAlpha);
}
