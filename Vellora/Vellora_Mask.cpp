#include "Vellora_Mask.h"

#include <cmath>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#include <xmmintrin.h>
#endif

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

namespace {

// Rounds an approximation `y` of a curve value to single precision when every
// value within `bound` of it rounds the same way; then the exact value, which
// lies within the bound, rounds to it too. Otherwise reports failure.
inline bool RoundsSurely(double y, double bound, float* out) {
    const float lo = static_cast<float>(y - bound);
    const float hi = static_cast<float>(y + bound);
    *out = lo;
    return lo == hi;
}

const double kLn360 = std::log(360.0);
const double kLn25 = std::log(2.5);

// 2^(j/64), j = 0..63.
constexpr double kExp2Table[64] = {
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
// e^x = 2^(k/64) e^r with |r| <= ln2/128 and e^r from its Taylor series.
inline double ExpNonPositive(double x) {
    constexpr double kInvStep = 0x1.71547652b82fep+6;  // 64 / ln2
    constexpr double kStepHi = 0x1.62e42fefa3800p-7;  // ln2 / 64, split so kd * kStepHi is exact
    constexpr double kStepLo = 0x1.ef35793c76730p-51;
    constexpr double kShifter = 0x1.8p52;  // adding and subtracting it rounds to an integer
    const double kd = (x * kInvStep + kShifter) - kShifter;
    const int k = static_cast<int>(kd);
    const double r = (x - kd * kStepHi) - kd * kStepLo;
    const double p = 1.0 + r * (1.0 + r * (0.5 + r * (1.0 / 6.0 + r * (1.0 / 24.0 + r * (1.0 / 120.0)))));
    const uint64_t scale_bits = static_cast<uint64_t>(1023 + (k >> 6)) << 52;  // 2^floor(k/64)
    double scale;
    std::memcpy(&scale, &scale_bits, sizeof(scale));
    return kExp2Table[k & 63] * p * scale;
}

}  // namespace

float alphaFunctFloat(const VignetteInfo* vi, double t) {
    t = t > 0.0 ? (t < 1.0 ? t : 1.0) : 0.0;
    // Gaussian and Exponential are first tried through a short exp, several
    // times cheaper than pow. The bounds are ten or more times the worst error
    // of either way of computing (a few units in the last place of a double);
    // in the rare case the single-precision rounding is not settled, pow decides.
    float e;
    switch (vi->falloff) {
        case FALLOFF_GAUSSIAN: {
            const double q = ExpNonPositive(-((t * t) * std::sqrt(t)) * kLn360);
            if (RoundsSurely(1.0 - q, q * 4e-14, &e)) return e;
            break;
        }
        case FALLOFF_EXPONENTIAL: {
            const double q = ExpNonPositive(-t * kLn25);
            const double y = (1.0 - q) * 2.5 / 1.5;
            if (RoundsSurely(y, (q + y) * 4e-14, &e)) return e;
            break;
        }
        default:
            break;
    }
    return static_cast<float>(alphaFunct(vi, t));
}

float VignetteEllipseBand(const VignetteInfo* vi, float u, float v) {
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
VignetteRowSpan OuterSpan(Range inside, A_long width) {
    if (inside.lo > inside.hi || inside.hi < -2.0 || inside.lo > width + 2.0) {
        return kNoSpan;  // the whole row is outside
    }
    const A_long lo = Column(std::floor(std::max(inside.lo, -2.0))) - 1;
    const A_long hi = Column(std::ceil(std::min(inside.hi, width + 2.0))) + 1;
    return VignetteRowSpan{lo, static_cast<A_u_long>(hi - lo)};
}

// Pixels within `core` (narrowed by a pixel) are certainly in the core.
VignetteRowSpan CoreSpan(Range core, A_long width) {
    if (core.lo > core.hi) return kNoSpan;
    const A_long lo = Column(std::ceil(std::max(core.lo, -2.0))) + 1;
    const A_long hi = Column(std::floor(std::min(core.hi, width + 2.0))) - 1;
    return lo <= hi ? VignetteRowSpan{lo, static_cast<A_u_long>(hi - lo)} : kNoSpan;
}

bool Finite(double v) { return std::isfinite(v) && std::fabs(v) < kMaxMagnitude; }

}  // namespace

void PrepareVignetteFrame(const VignetteInfo& vi, A_long width, A_long height, VignetteSpans& spans,
                          VignetteFrame* frame) {
    frame->info = vi;
    frame->outerRows = nullptr;
    frame->coreRows = nullptr;
    frame->rowCount = 0;
    if (width <= 0 || height <= 0 || width > kNoColumn / 2 || height > kNoColumn / 2) {
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
            outer = OuterSpan(InsideEllipse(m[0][0], bu, m[1][0], bv, hw * grow, hh * grow), width);
            core = CoreSpan(InsideEllipse(m[0][0], bu, m[1][0], bv, cw * shrink, ch * shrink), width);
        } else {
            // Whole-pixel distances: truncation moves |u| by less than one.
            outer = OuterSpan(Intersect(AbsBelow(m[0][0], bu, hw * (1 + kSizeSlack) + 1 + 2 * du),
                                        AbsBelow(m[1][0], bv, hh * (1 + kSizeSlack) + 1 + 2 * dv)),
                              width);
            core = CoreSpan(Intersect(AbsBelow(m[0][0], bu, cw * (1 - kSizeSlack) - 2 * du),
                                      AbsBelow(m[1][0], bv, ch * (1 - kSizeSlack) - 2 * dv)),
                            width);
        }
    }
    frame->outerRows = spans.outer.data();
    frame->coreRows = spans.core.data();
    frame->rowCount = static_cast<A_u_long>(height);
}
