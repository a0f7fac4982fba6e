// The mask itself: the per-frame record, the per-pixel function that turns a
// pixel position and its alpha into the new alpha, and the falloff curve of
// the record (the curves themselves are in Vellora_Curves.h).
//
// Blend_Float is defined inline here: it is called once per pixel through the
// host's iterate callbacks, so the cheap outside and core cases must not pay for
// a call of their own. Only the feather band leaves this header.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <type_traits>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

#include "api/FixedPoint.h"
#include "plugin/Vellora/Vellora.h"
#include "plugin/Vellora/Vellora_Curves.h"

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
    PF_Fixed opacity = vfixed::FromInt(100);  // percent
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

// Falloff as a template argument: 0 reads it from the record at every call.
constexpr A_long kAnyFalloff = 0;

// The falloff curve rounded to single precision, exactly static_cast<float> of
// alphaFunct, but several times faster for the curves with a short path.
template <A_long Falloff>
__attribute__((always_inline)) inline float CurveFloat(const VignetteInfo* vi, double t) {
    using namespace vellora_curves;
    t = ClampRamp(t);
    if constexpr (Falloff == kAnyFalloff) {
        return WithCurve(vi->falloff, [t](auto curve) __attribute__((always_inline)) {
            return RoundedCurve<decltype(curve)>(t);
        });
    } else {
        return RoundedCurve<Curve<Falloff>>(t);
    }
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

// The edge value in a corner of the rectangle's band, from the curve's values
// along both axes: they combine like distances, up to 1.
__attribute__((always_inline)) inline float CornerEdge(double ex, double ey) {
    const double d = std::sqrt(ex * ex + ey * ey);
    return d > 1.0 ? 1.0f : static_cast<float>(d);
}

// The rectangle's edge value for whole distances inside the outer rectangle,
// `curveU(au)` and `curveV(av)` giving the curve's double value along each axis.
template <class CurveU, class CurveV>
__attribute__((always_inline)) inline float RectangleBand(const VignetteInfo* vi, float au, float av, CurveU curveU,
                                                          CurveV curveV) {
    if (au >= vi->innerHalfWidth) {
        const double ex = curveU(au);
        if (av >= vi->innerHalfHeight) {
            return CornerEdge(ex, curveV(av));
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

template <A_long Mode>
using ModeConstant = std::integral_constant<A_long, Mode>;

// fn(ModeConstant<M>{}) for composite mode `mode`, as WithCurve does for the
// falloff; a value no mode has gets kAnyMode, which the combine reads per pixel.
template <class Fn>
__attribute__((always_inline)) inline auto WithMode(A_long mode, Fn&& fn) {
    switch (mode) {
        case COMPOSITE_ADD:
            return fn(ModeConstant<COMPOSITE_ADD>{});
        case COMPOSITE_SUBTRACT:
            return fn(ModeConstant<COMPOSITE_SUBTRACT>{});
        case COMPOSITE_INTERSECT:
            return fn(ModeConstant<COMPOSITE_INTERSECT>{});
        case COMPOSITE_CREATE:
            return fn(ModeConstant<COMPOSITE_CREATE>{});
        default:
            return fn(ModeConstant<kAnyMode>{});
    }
}

// Coverage of an edge value, scaled by the opacity.
__attribute__((always_inline)) inline float MaskStrength(const VignetteInfo* vi, float e) {
    const float c = vi->invert ? e : 1.0f - e;
    return c * vi->opacity;
}

// Combines a strength `s` with the pixel's alpha `a` by the composite mode, in
// the arithmetic `Ops` gives values of type V: single floats (ScalarOps), or
// several at once, lane by lane the same steps.
template <A_long Mode, class Ops, class V>
__attribute__((always_inline)) inline V CombineWith(const VignetteInfo* vi, V s, V a) {
    switch (Mode == kAnyMode ? vi->compositeMode : Mode) {
        case COMPOSITE_ADD:
            return Ops::Min(Ops::Constant(1.0f), Ops::Add(a, s));
        case COMPOSITE_SUBTRACT:
            return Ops::Max(Ops::Constant(0.0f), Ops::Sub(a, s));
        case COMPOSITE_INTERSECT:
            return Ops::Mul(a, s);
        case COMPOSITE_CREATE:
            return s;
        default:
            // No known mode: leave the layer's alpha as it was rather than invent one.
            return a;
    }
}

struct ScalarOps {
    static float Constant(float c) { return c; }
    static float Add(float x, float y) { return x + y; }
    static float Sub(float x, float y) { return x - y; }
    static float Mul(float x, float y) { return x * y; }
    static float Min(float x, float y) { return std::min(x, y); }
    static float Max(float x, float y) { return std::max(x, y); }
};

// Combines a strength `s` with the pixel's alpha `a` by the composite mode.
template <A_long Mode>
__attribute__((always_inline)) inline float CombineAlpha(const VignetteInfo* vi, float s, float a) {
    return CombineWith<Mode, ScalarOps>(vi, s, a);
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

enum VignetteZone { ZONE_EDGE = 0, ZONE_OUTSIDE = 1, ZONE_CORE = 2 };

// The ellipse's zone tests on the squares uu = u^2, vv = v^2 of a mask-frame
// point: outside from an outer form of 1 on (exactly 1 is outside), in the core
// up to an inner form of 1 (exactly 1 is core), all core with a hard edge.
__attribute__((always_inline)) inline float EllipseOuterForm(const VignetteInfo* vi, float uu, float vv) {
    return vi->scaleU * uu + vi->scaleV * vv;
}
__attribute__((always_inline)) inline bool EllipseOutside(float outerForm) { return outerForm >= 1.0f; }
// (Both sides evaluated, so that the loops over blocks of pixels vectorise.)
__attribute__((always_inline)) inline bool EllipseCore(const VignetteInfo* vi, float uu, float vv) {
    return (vi->feather == 0.0f) | (vi->innerInvHalfWidthSq * uu + vi->innerInvHalfHeightSq * vv <= 1.0f);
}

// The ellipse's zone of (u, v) without branches, for loops over blocks of pixels.
__attribute__((always_inline)) inline int EllipseZone(const VignetteInfo* vi, float u, float v) {
    const float uu = u * u;
    const float vv = v * v;
    const bool outside = EllipseOutside(EllipseOuterForm(vi, uu, vv));
    const bool core = EllipseCore(vi, uu, vv);
    return static_cast<int>(outside) * ZONE_OUTSIDE + static_cast<int>(core & !outside) * ZONE_CORE;
}

// Edge value of the mask-frame point (u, v): 1 outside, 0 in the core, the
// falloff curve in the band.
template <A_long Falloff = kAnyFalloff>
__attribute__((always_inline)) inline float VignetteEdge(const VignetteInfo* vi, float u, float v) {
    if (vi->isEllipse) {
        if (EllipseOutside(EllipseOuterForm(vi, u * u, v * v))) {
            return 1.0f;
        }
        if (EllipseCore(vi, u * u, v * v)) {
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
