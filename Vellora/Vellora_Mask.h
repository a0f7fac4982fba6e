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
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

#include "Vellora.h"

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
    double width = 300.0;  // full-resolution pixels
    double height = 200.0;
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

// 2^(j/64), j = 0..63.
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

}  // namespace vellora_detail

// The falloff curve rounded to single precision, exactly as static_cast<float>
// of alphaFunct, but several times faster for Gaussian and Exponential.
__attribute__((always_inline)) inline float alphaFunctFloat(const VignetteInfo* vi, double t) {
    t = t > 0.0 ? (t < 1.0 ? t : 1.0) : 0.0;
    // Gaussian and Exponential are first tried through a short exp, several
    // times cheaper than pow. The bounds are ten or more times the worst error
    // of either way of computing (a few units in the last place of a double);
    // in the rare case the single-precision rounding is not settled, pow decides.
    float e;
    switch (vi->falloff) {
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
            break;
    }
    return static_cast<float>(alphaFunct(vi, t));
}

// Edge value of a pixel in the ellipse's feather band (between the inner and
// the outer ellipse), inlined into the callbacks' exact paths.
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
    return alphaFunctFloat(vi, t);
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

// Turns an edge value into coverage, scales it by the opacity and combines it
// with the pixel's alpha `a` by the composite mode.
__attribute__((always_inline)) inline float CompositeAlpha(const VignetteInfo* vi, float e, float a) {
    const float c = vi->invert ? e : 1.0f - e;
    const float s = c * vi->opacity;
    switch (vi->compositeMode) {
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

// Pixel (x, y) in the mask's frame.
__attribute__((always_inline)) inline void VignetteMaskPoint(const VignetteInfo* vi, A_long x, A_long y, float* u,
                                                             float* v) {
    const float fx = static_cast<float>(x);
    const float fy = static_cast<float>(y);
    *u = (vi->pixelToMask[0][0] * fx + vi->pixelToMask[0][1] * fy) + vi->pixelToMask[0][2];
    *v = (vi->pixelToMask[1][0] * fx + vi->pixelToMask[1][1] * fy) + vi->pixelToMask[1][2];
}

// New alpha of pixel (x, y) of the output, given its current alpha. Always
// inlined into the pixel callbacks: a call per pixel costs as much as the
// outside and core cases themselves.
__attribute__((always_inline)) inline void Blend_Float(void* refcon, A_long x, A_long y, const PF_FpShort* inAlpha, PF_FpShort* outAlpha) {
    const VignetteInfo* vi = static_cast<const VignetteInfo*>(refcon);
    float u, v;
    VignetteMaskPoint(vi, x, y, &u, &v);

    float e;
    if (vi->isEllipse) {
        if (vi->scaleU * (u * u) + vi->scaleV * (v * v) >= 1.0f) {
            e = 1.0f;
        } else if (vi->feather == 0.0f ||
                   vi->innerInvHalfWidthSq * (u * u) + vi->innerInvHalfHeightSq * (v * v) <= 1.0f) {
            e = 0.0f;
        } else {
            e = VignetteEllipseBand(vi, u, v);
        }
    } else {
        const float au = vellora_detail::WholeDistance(u);
        const float av = vellora_detail::WholeDistance(v);
        if (au >= vi->halfWidth || av >= vi->halfHeight) {
            e = 1.0f;
        } else if (vi->feather == 0.0f || (au < vi->innerHalfWidth && av < vi->innerHalfHeight)) {
            e = 0.0f;
        } else {
            e = VignetteRectangleInside(vi, au, av);
        }
    }

    *outAlpha = CompositeAlpha(vi, e, *inAlpha);
}

// Per-frame shortcuts for the pixel callbacks. For every output row the frame
// knows a span of columns outside of which every pixel is certainly outside the
// mask, and a span inside of which every pixel is certainly in the core (or,
// with a hard edge, inside). The spans are widened by a safety margin well
// beyond the rounding of the per-pixel arithmetic, so only pixels near an edge
// or in the feather band run Blend_Float; the others read their result from a
// table that holds exactly what Blend_Float gives there.
struct VignetteRowSpan {
    A_long lo;  // the span is lo <= x <= lo + width
    A_u_long width;

    __attribute__((always_inline)) inline bool Holds(A_long x) const {
        // One unsigned compare folds the two-sided test.
        return static_cast<A_u_long>(x) - static_cast<A_u_long>(lo) <= width;
    }
};

// Row tables of a frame: pixels outside `outer[y]` are certainly outside the
// mask; pixels within `core[y]` are certainly in the core.
struct VignetteSpans {
    std::vector<VignetteRowSpan> outer;
    std::vector<VignetteRowSpan> core;
};

enum VignetteZone { ZONE_EDGE = 0, ZONE_OUTSIDE = 1, ZONE_CORE = 2 };

// The record handed to the iterate callbacks as refcon. Its first member is
// the frame's VignetteInfo, so refcon is also the address of that record.
struct VignetteFrame {
    VignetteInfo info;
    const VignetteRowSpan* outerRows;  // null when rowCount is 0: no shortcuts
    const VignetteRowSpan* coreRows;
    A_u_long rowCount;
    A_u_long columnCount;  // the spans' margins hold for the output's columns only
    // 8-bit results outside and in the core, by source alpha, already shifted
    // to the alpha byte of a packed 32-bit pixel.
    uint32_t outside32[256];
    uint32_t core32[256];
    // 8-bit results in the ellipse's band may come from a short single-precision
    // estimate when it settles the byte (see Band8 in the render code):
    // t is about (sqrt(outer form) - bandK) * bandScale, within bandSlack.
    bool bandShortcut;
    float bandK;
    float bandScale;
    float bandSlack;

    __attribute__((always_inline)) inline int ZoneOf(A_long x, A_long y) const {
        if (static_cast<A_u_long>(y) >= rowCount || static_cast<A_u_long>(x) >= columnCount) {
            return ZONE_EDGE;
        }
        if (!outerRows[y].Holds(x)) {
            return ZONE_OUTSIDE;
        }
        return coreRows[y].Holds(x) ? ZONE_CORE : ZONE_EDGE;
    }
};

// Fills `frame` from a filled record for an output of width x height pixels;
// `spans` holds the row tables and must outlive the pass. Frames whose
// numbers are too large or not finite for a safe margin get no shortcuts.
void PrepareVignetteFrame(const VignetteInfo& info, A_long width, A_long height, VignetteSpans& spans,
                          VignetteFrame* frame);
