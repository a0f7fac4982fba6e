// The mask itself: the per-frame record, the per-pixel function that turns a
// pixel position and its alpha into the new alpha, and the falloff curves.
//
// Blend_Float is defined inline here: it is called once per pixel through the
// host's iterate callbacks, so the cheap outside and core cases must not pay for
// a call of their own. Only the feather band leaves this header.
#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

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
// The same rounded to single precision, exactly as static_cast<float> of
// alphaFunct, but several times faster for the curves built on pow.
float alphaFunctFloat(const VignetteInfo* info, double t);

// Edge value of a pixel in the ellipse's feather band (between the inner and the outer ellipse).
float VignetteEllipseBand(const VignetteInfo* info, float u, float v);
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

// New alpha of pixel (x, y) of the output, given its current alpha. Always
// inlined into the pixel callbacks: a call per pixel costs as much as the
// outside and core cases themselves.
__attribute__((always_inline)) inline void Blend_Float(void* refcon, A_long x, A_long y, const PF_FpShort* inAlpha, PF_FpShort* outAlpha) {
    const VignetteInfo* vi = static_cast<const VignetteInfo*>(refcon);
    const float fx = static_cast<float>(x);
    const float fy = static_cast<float>(y);
    const float u = (vi->pixelToMask[0][0] * fx + vi->pixelToMask[0][1] * fy) + vi->pixelToMask[0][2];
    const float v = (vi->pixelToMask[1][0] * fx + vi->pixelToMask[1][1] * fy) + vi->pixelToMask[1][2];

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
    // 8-bit results outside and in the core, by source alpha, already shifted
    // to the alpha byte of a packed 32-bit pixel.
    uint32_t outside32[256];
    uint32_t core32[256];

    __attribute__((always_inline)) inline int ZoneOf(A_long x, A_long y) const {
        if (static_cast<A_u_long>(y) >= rowCount) {
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
