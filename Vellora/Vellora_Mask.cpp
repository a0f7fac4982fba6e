#include "Vellora_Mask.h"

#include <cmath>
#include <cstring>
#include <limits>


namespace {

// A rational scale as a float, each operand converted first. A host that sends
// no usable scale (zero or negative numerator, zero denominator) gets 1, so the
// pixel map never divides by zero.
float ScaleOf(const PF_RationalScale& r) {
    if (r.num <= 0 || r.den == 0) {
        return 1.0f;
    }
    return static_cast<float>(r.num) / static_cast<float>(r.den);
}

// Denominator over numerator: the reciprocal of the pixel aspect ratio.
float InverseScaleOf(const PF_RationalScale& r) {
    if (r.num <= 0 || r.den == 0) {
        return 1.0f;
    }
    return static_cast<float>(r.den) / static_cast<float>(r.num);
}

}  // namespace

void FillVignetteInfo(const VignetteParams& p, VignetteInfo* vi) {
    std::memset(vi, 0, sizeof(*vi));

    const double theta = (p.angle * VELLORA_FIX2DBL) * (-0.017453292519943295);
    const float c = static_cast<float>(std::cos(theta));
    const float s = static_cast<float>(std::sin(theta));

    const float dsx = ScaleOf(p.downsample_x);
    const float dsy = ScaleOf(p.downsample_y);
    const float sx = InverseScaleOf(p.pixel_aspect_ratio) * dsx;

    const float cx = static_cast<float>(p.origin_x * VELLORA_FIX2DBL);
    const float cy = static_cast<float>(p.origin_y * VELLORA_FIX2DBL);

    vi->pixelToMask[0][0] = c / sx;
    vi->pixelToMask[0][1] = (-s) / dsy;
    vi->pixelToMask[0][2] = (cy * s) / dsy - (cx * c) / sx;
    vi->pixelToMask[1][0] = s / sx;
    vi->pixelToMask[1][1] = c / dsy;
    vi->pixelToMask[1][2] = ((-cx) * s) / sx - (cy * c) / dsy;

    vi->falloff = p.falloff;
    // Opacity is declared 0..100; a damaged project's value outside it would put
    // float alphas outside 0..1, so it is held to the declared range.
    vi->opacity = static_cast<float>(std::fmin(std::fmax((p.opacity * VELLORA_FIX2DBL) / 100.0, 0.0), 1.0));
    vi->invert = static_cast<A_u_char>(p.invert & 0xFF);
    vi->compositeMode = p.composite_mode;

    const float halfWidth = static_cast<float>(p.width * 0.5);
    const float halfHeight = static_cast<float>(0.5 * p.height);
    if (!(halfWidth > 0.0f) || !(halfHeight > 0.0f)) {
        // No inside at all: an empty rectangle (half-extents 0) puts every pixel
        // outside before any division by the size could happen.
        vi->isEllipse = 0;
        return;
    }
    vi->halfWidth = halfWidth;
    vi->halfHeight = halfHeight;
    const float aspect = halfWidth / halfHeight;

    float f = static_cast<float>(p.feather);
    if (!(f > 0.0f)) {
        f = 0.0f;  // negative or NaN: a hard edge
    }
    if (f >= halfWidth) {
        f = static_cast<float>(-1.0 + halfWidth);
        if (f < 0.0f) {
            f = 0.0f;  // masks under two pixels wide have no room for a band
        }
    }
    vi->feather = f;
    const float fv = f / aspect;

    vi->innerHalfWidth = halfWidth - f;
    vi->innerHalfHeight = halfHeight - fv;

    if (p.mask_type == MASK_RECTANGLE) {
        const float inf = std::numeric_limits<float>::infinity();
        vi->scaleU = f != 0.0f ? 1.0f / f : inf;  // unused with a zero feather
        vi->scaleV = fv != 0.0f ? 1.0f / fv : inf;
        vi->isEllipse = 0;
    } else {
        vi->isEllipse = 1;
        vi->halfWidthSq = halfWidth * halfWidth;
        vi->halfHeightSq = halfHeight * halfHeight;
        vi->scaleU = 1.0f / vi->halfWidthSq;
        vi->scaleV = 1.0f / vi->halfHeightSq;
        vi->outerAxisProduct = halfWidth * halfHeight;
        vi->innerAxisProduct = vi->innerHalfWidth * vi->innerHalfHeight;
        vi->innerHalfWidthSq = vi->innerHalfWidth * vi->innerHalfWidth;
        vi->innerHalfHeightSq = vi->innerHalfHeight * vi->innerHalfHeight;
        vi->innerInvHalfWidthSq = 1.0f / vi->innerHalfWidthSq;
        vi->innerInvHalfHeightSq = 1.0f / vi->innerHalfHeightSq;
    }
}

VignetteParams VignetteParamsFromHost(const PF_InData* in_data, PF_ParamDef* const params[]) {
    VignetteParams p;
    p.angle = params[PARAM_ANGLE]->u.ad.value;
    p.origin_x = params[PARAM_ORIGIN]->u.td.x_value;
    p.origin_y = params[PARAM_ORIGIN]->u.td.y_value;
    p.width = params[PARAM_WIDTH]->u.fs_d.value;
    p.height = params[PARAM_HEIGHT]->u.fs_d.value;
    p.feather = params[PARAM_FEATHER]->u.fs_d.value;
    p.opacity = params[PARAM_OPACITY]->u.fd.value;
    p.mask_type = params[PARAM_MASK_TYPE]->u.pd.value;
    p.invert = params[PARAM_INVERT]->u.bd.value;
    p.composite_mode = params[PARAM_COMPOSITE_MODE]->u.pd.value;
    p.falloff = params[PARAM_FALLOFF]->u.pd.value;
    p.downsample_x = in_data->downsample_x;
    p.downsample_y = in_data->downsample_y;
    p.pixel_aspect_ratio = in_data->pixel_aspect_ratio;
    return p;
}

double alphaFunct(const VignetteInfo* vi, double t) {
    // NaN (a band of zero width) counts as the band's inner edge.
    t = t > 0.0 ? (t < 1.0 ? t : 1.0) : 0.0;
    switch (vi->falloff) {
        case FALLOFF_QUADRATIC:
            return t * t;
        case FALLOFF_CUBIC:
            return t * (t * t);
        case FALLOFF_GAMMA:
            return std::pow(t, 0.454);
        case FALLOFF_GAUSSIAN:
            return 1.0 - std::pow(360.0, -std::pow(t, 2.5));
        case FALLOFF_EXPONENTIAL:
            return (1.0 - std::pow(2.5, -t)) * 2.5 / 1.5;
        case FALLOFF_LINEAR:
        default:
            return t;
    }
}

float VignetteRectangleInside(const VignetteInfo* vi, float au, float av) {
    if (au >= vi->innerHalfWidth) {
        const double ex = alphaFunct(vi, vi->scaleU * (au - vi->innerHalfWidth));
        if (av >= vi->innerHalfHeight) {
            // Corner of the band: both ramps combine like distances.
            const double ey = alphaFunct(vi, vi->scaleV * (av - vi->innerHalfHeight));
            const double d = std::sqrt(ex * ex + ey * ey);
            return d > 1.0 ? 1.0f : static_cast<float>(d);
        }
        return static_cast<float>(ex);
    }
    if (av >= vi->innerHalfHeight) {
        return alphaFunctFloat(vi, vi->scaleV * (av - vi->innerHalfHeight));
    }
    return 0.0f;
}

namespace {

// Slack of the row spans: relative on every size, and absolute for the
// rounding of the per-pixel affine map. Both are many times the worst rounding
// of single-precision arithmetic, so the spans never claim an edge pixel.
constexpr double kSizeSlack = 1e-5;
constexpr double kMapSlack = 4e-6;
// Beyond these magnitudes the frame gets no shortcuts at all.
constexpr double kMaxMagnitude = 1e7;
constexpr A_long kNoColumn = 1 << 30;

struct Range {
    double lo, hi;  // open; lo > hi means empty
};

const Range kEverything{-1e300, 1e300};
const Range kNothing{1.0, -1.0};

// Columns x where |a x + b| < w.
Range AbsBelow(double a, double b, double w) {
    if (!(w > 0.0)) return kNothing;
    if (std::fabs(a) < 1e-12) return std::fabs(b) < w ? kEverything : kNothing;
    const double x1 = (-w - b) / a, x2 = (w - b) / a;
    return Range{std::min(x1, x2), std::max(x1, x2)};
}

Range Intersect(Range p, Range q) { return Range{std::max(p.lo, q.lo), std::min(p.hi, q.hi)}; }

// Columns x where (u/A)^2 + (v/B)^2 < 1, u = au x + bu, v = av x + bv.
Range InsideEllipse(double au, double bu, double av, double bv, double A, double B) {
    if (!(A > 0.0) || !(B > 0.0)) return kNothing;
    const double alpha = (au / A) * (au / A) + (av / B) * (av / B);
    const double beta = 2.0 * (au * bu / (A * A) + av * bv / (B * B));
    const double gamma = (bu / A) * (bu / A) + (bv / B) * (bv / B) - 1.0;
    if (!(alpha > 1e-24)) return gamma < 0.0 ? kEverything : kNothing;
    const double disc = beta * beta - 4.0 * alpha * gamma;
    if (!(disc > 0.0)) return kNothing;
    const double root = std::sqrt(disc);
    return Range{(-beta - root) / (2.0 * alpha), (-beta + root) / (2.0 * alpha)};
}

A_long Column(double x) { return static_cast<A_long>(std::max(-1e9, std::min(1e9, x))); }

// Holds no column a world can have (only INT_MIN itself).
const VignetteRowSpan kNoSpan{std::numeric_limits<A_long>::min(), 0};

// Pixels outside `inside` (widened by a pixel) are certainly outside.
VignetteRowSpan OuterSpan(Range inside) {
    if (inside.lo > inside.hi) {
        return kNoSpan;  // the whole row is outside
    }
    const A_long lo = Column(std::floor(inside.lo)) - 1;
    const A_long hi = Column(std::ceil(inside.hi)) + 1;
    return VignetteRowSpan{lo, static_cast<A_u_long>(hi - lo)};
}

// Pixels within `core` (narrowed by a pixel) are certainly in the core.
VignetteRowSpan CoreSpan(Range core) {
    if (core.lo > core.hi) return kNoSpan;
    const A_long lo = Column(std::ceil(core.lo)) + 1;
    const A_long hi = Column(std::floor(core.hi)) - 1;
    return lo <= hi ? VignetteRowSpan{lo, static_cast<A_u_long>(hi - lo)} : kNoSpan;
}

bool Finite(double v) { return std::isfinite(v) && std::fabs(v) < kMaxMagnitude; }

}  // namespace

namespace {

// In the ellipse's band the ramp position is, in exact arithmetic,
// t = (r - Rin) / (Rout - Rin) with Rin = k Rout and r / Rout = sqrt(Q), Q the
// outer form: t = (sqrt(Q) - k) / (1 - k). The single-precision steps of the
// exact path move their t from this by a few units of 2^-24 times
// Rout / (Rout - Rin) = 1 / (1 - k): about 30 by the rounding steps, under 6
// in a sweep of nine million band pixels. The slack allows 96.
void PrepareBandEstimate(const VignetteInfo& vi, VignetteFrame* frame) {
    if (!vi.isEllipse || !(vi.feather > 0.0f) || !(vi.halfWidth > 0.0f) || !std::isfinite(vi.halfWidth) ||
        !std::isfinite(vi.innerHalfWidth)) {
        return;
    }
    switch (vi.falloff) {
        case FALLOFF_LINEAR:
        case FALLOFF_QUADRATIC:
        case FALLOFF_CUBIC:
        case FALLOFF_GAUSSIAN:
        case FALLOFF_EXPONENTIAL:
            break;
        default:
            return;  // Gamma 2.2 is too steep near 0 to bound simply
    }
    const double k = static_cast<double>(vi.innerHalfWidth) / vi.halfWidth;
    if (!(k >= 0.0) || !(k < 1.0)) {
        return;
    }
    const double scale = 1.0 / (1.0 - k);
    const double slack = 96.0 * 0x1p-24 * scale;
    if (!(slack < 1e-3)) {
        return;  // a band too thin for its size: the estimate would rarely settle a byte
    }
    frame->bandShortcut = true;
    frame->bandK = static_cast<float>(k);
    frame->bandScale = static_cast<float>(scale);
    frame->bandSlack = static_cast<float>(slack);
}

}  // namespace

void PrepareVignetteFrame(const VignetteInfo& vi, A_long width, A_long height, VignetteSpans& spans,
                          VignetteFrame* frame) {
    frame->info = vi;
    frame->outerRows = nullptr;
    frame->coreRows = nullptr;
    frame->rowCount = 0;
    frame->columnCount = 0;
    frame->bandShortcut = false;
    frame->bandK = 0.0f;
    frame->bandScale = 0.0f;
    frame->bandSlack = 0.0f;
    PrepareBandEstimate(vi, frame);
    // Tables only for outputs a host can really hand over; others take the exact path.
    if (width <= 0 || height <= 0 || width > kNoColumn / 2 || height > (1 << 20)) {
        return;
    }
    const float(&m)[2][3] = vi.pixelToMask;
    for (const float* c = &m[0][0]; c != &m[0][0] + 6; ++c) {
        if (!Finite(*c)) return;
    }
    const bool empty = !(vi.halfWidth > 0.0f) || !(vi.halfHeight > 0.0f);
    if (!empty && !(Finite(vi.halfWidth) && Finite(vi.halfHeight) && Finite(vi.innerHalfWidth) &&
                    Finite(vi.innerHalfHeight) && Finite(vi.feather))) {
        return;
    }
    // Bound on the rounding of u and v over the whole output.
    const double du = kMapSlack * (std::fabs(m[0][0]) * width + std::fabs(m[0][1]) * height + std::fabs(m[0][2])) + 1e-6;
    const double dv = kMapSlack * (std::fabs(m[1][0]) * width + std::fabs(m[1][1]) * height + std::fabs(m[1][2])) + 1e-6;
    if (!Finite(du) || !Finite(dv)) return;

    const bool hard = vi.feather == 0.0f;
    const double hw = vi.halfWidth, hh = vi.halfHeight;
    // Sizes of the core, as used by Blend_Float: the outer shape for a hard edge.
    const double cw = hard ? hw : vi.innerHalfWidth, ch = hard ? hh : vi.innerHalfHeight;

    // The ellipse tests work on u / halfWidth and v / halfHeight, so the
    // rounding of u and v scales both axes by the same factor.
    const double grow = 1.0 + kSizeSlack + 2.0 * std::max(du / hw, dv / hh);
    const double shrink = 1.0 - kSizeSlack - 2.0 * std::max(du / cw, dv / ch);

    spans.outer.resize(static_cast<size_t>(height));
    spans.core.resize(static_cast<size_t>(height));
    for (A_long y = 0; y < height; ++y) {
        VignetteRowSpan& outer = spans.outer[static_cast<size_t>(y)];
        VignetteRowSpan& core = spans.core[static_cast<size_t>(y)];
        const double fy = static_cast<double>(y);
        const double bu = static_cast<double>(m[0][1]) * fy + m[0][2];
        const double bv = static_cast<double>(m[1][1]) * fy + m[1][2];
        if (empty) {
            outer = kNoSpan;
            core = kNoSpan;
        } else if (vi.isEllipse) {
            outer = OuterSpan(InsideEllipse(m[0][0], bu, m[1][0], bv, hw * grow, hh * grow));
            core = CoreSpan(InsideEllipse(m[0][0], bu, m[1][0], bv, cw * shrink, ch * shrink));
        } else {
            // Whole-pixel distances: truncation moves |u| by less than one.
            outer = OuterSpan(Intersect(AbsBelow(m[0][0], bu, hw * (1 + kSizeSlack) + 1 + 2 * du),
                                        AbsBelow(m[1][0], bv, hh * (1 + kSizeSlack) + 1 + 2 * dv)));
            core = CoreSpan(Intersect(AbsBelow(m[0][0], bu, cw * (1 - kSizeSlack) - 2 * du),
                                      AbsBelow(m[1][0], bv, ch * (1 - kSizeSlack) - 2 * dv)));
        }
    }
    frame->outerRows = spans.outer.data();
    frame->coreRows = spans.core.data();
    frame->rowCount = static_cast<A_u_long>(height);
    frame->columnCount = static_cast<A_u_long>(width);
}
