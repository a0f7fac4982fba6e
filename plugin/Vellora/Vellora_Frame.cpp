#include "plugin/Vellora/Vellora_Frame.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "plugin/Vellora/Vellora_CurveBounds.h"

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

// Row spans of an output of width x height pixels; none for numbers too large
// or not finite for a safe margin.
void PrepareSpans(const VignetteInfo& vi, A_long width, A_long height, VignetteTables& spans, VignetteFrame* frame) {
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

    spans.rows.resize(static_cast<size_t>(height));
    for (A_long y = 0; y < height; ++y) {
        VignetteRowSpan& outer = spans.rows[static_cast<size_t>(y)].outer;
        VignetteRowSpan& core = spans.rows[static_cast<size_t>(y)].core;
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
    frame->rows = spans.rows.data();
    frame->rowCount = static_cast<A_u_long>(height);
    frame->columnCount = static_cast<A_u_long>(width);
}

// The rectangle's band has feather + 1 whole distances along each axis at the
// most; past this many the curve is computed per pixel instead.
constexpr A_long kMaxRamp = 1 << 16;

VignetteRamp PrepareRamp(const VignetteInfo& vi, float inner, float outer, float scale, std::vector<double>& values) {
    // Distances are indexed as int32: a damaged project's size past kMaxMagnitude
    // would overflow them, so such masks compute the curve per pixel.
    if (!(inner >= 0.0f) || !(outer > inner) || !(outer - inner < static_cast<float>(kMaxRamp)) ||
        !(outer < kMaxMagnitude)) {
        return VignetteRamp{nullptr, 0, 0};
    }
    // Band distances d are whole, inner <= d < outer.
    const A_long first = static_cast<A_long>(std::ceil(inner));
    const A_long count = static_cast<A_long>(std::ceil(outer)) - first;
    if (count <= 0) {
        return VignetteRamp{nullptr, 0, 0};
    }
    values.resize(static_cast<size_t>(count));
    for (A_long i = 0; i < count; ++i) {
        // The same single-precision product the exact path hands the curve.
        values[static_cast<size_t>(i)] = alphaFunct(&vi, scale * (static_cast<float>(first + i) - inner));
    }
    return VignetteRamp{values.data(), first, static_cast<A_u_long>(count)};
}

// In the ellipse's band the ramp position is, in exact arithmetic,
// t = (r - Rin) / (Rout - Rin) with Rin = k Rout and r / Rout = sqrt(q), q the
// outer form: t = (sqrt(q) - k) / (1 - k). The single-precision steps of the
// exact path move their t from this by a few units of 2^-24 times 1 / (1 - k):
// about 30 by the rounding steps, under 6 in a sweep of nine million band
// pixels. The slack allows 96.
constexpr double kRampSlackUnits = 96.0;
// Cells per band pixel of the output, and their limits: enough that few cells
// span a step of the 8-bit result, few enough to build in a small share of the frame.
constexpr double kBandPixelsPerCell = 12.0;
constexpr A_long kMinCells = 64;
constexpr A_long kMaxCells = 16384;
// Below the inner edge's outer form by this share, pixels take the exact path:
// the inner half-height's rounding can move the edge that far for thin cores.
constexpr double kInnerEdgeRoom = 0.01;

// The float next to f towards -infinity or +infinity (f finite).
float FloatStep(float f, bool up) {
    uint32_t bits;
    std::memcpy(&bits, &f, sizeof(bits));
    if (f == 0.0f) {
        bits = up ? 1u : 0x80000001u;  // the smallest subnormal of the step's sign
    } else {
        bits = (f > 0.0f) == up ? bits + 1 : bits - 1;
    }
    std::memcpy(&f, &bits, sizeof(f));
    return f;
}

// Largest float at or below x, and smallest at or above.
float FloatBelow(double x) {
    const float f = static_cast<float>(x);
    return static_cast<double>(f) > x ? FloatStep(f, false) : f;
}
float FloatAbove(double x) {
    const float f = static_cast<float>(x);
    return static_cast<double>(f) < x ? FloatStep(f, true) : f;
}

// Rows of the band for 8-bit results. In a row y the exact path's outer form
// is, in real arithmetic on its single-precision constants, a quadratic in x:
// q* = scaleU (m00 x + bu)^2 + scaleV (m10 x + bv)^2, bu = m01 y + m02,
// bv = m11 y + m12. Its single-precision steps move q from q* by at most
// `dq` (the affine map's rounding, at most 3 units of 2^-24 of the sum of its
// terms' sizes, carried through the squares, and the form's own three
// roundings); the inner form likewise by `di` where it is near 1. So pixels
// where q* < 1 - dq and the inner form's q* > 1 + di are certainly in the
// band, and their q lies within dq of q*, which the cells allow for.
void PrepareBandRows(const VignetteInfo& vi, A_long height, double dq, double di, double q0,
                     double perQ, VignetteTables& tables, VignetteFrame* frame) {
    if (!frame->rows || static_cast<A_long>(frame->rowCount) != height) {
        return;
    }
    const float(&m)[2][3] = vi.pixelToMask;
    const double su = vi.scaleU, sv = vi.scaleV;
    const double a = m[0][0], c = m[1][0];
    frame->cellA = (su * a * a + sv * c * c) * perQ;
    const double outerU = std::sqrt((1.0 - dq) / su), outerV = std::sqrt((1.0 - dq) / sv);
    const double innerU = std::sqrt((1.0 + di) / vi.innerInvHalfWidthSq);
    const double innerV = std::sqrt((1.0 + di) / vi.innerInvHalfHeightSq);
    tables.bandRows.resize(static_cast<size_t>(height));
    for (A_long y = 0; y < height; ++y) {
        VignetteBandRow& row = tables.bandRows[static_cast<size_t>(y)];
        const double bu = static_cast<double>(m[0][1]) * y + m[0][2];
        const double bv = static_cast<double>(m[1][1]) * y + m[1][2];
        row.inside = CoreSpan(InsideEllipse(a, bu, c, bv, outerU, outerV));
        row.core = OuterSpan(InsideEllipse(a, bu, c, bv, innerU, innerV));
        row.cellB = 2.0 * (su * a * bu + sv * c * bv) * perQ;
        row.cellC = (su * bu * bu + sv * bv * bv - q0) * perQ;
    }
    frame->bandRows = tables.bandRows.data();
}

void PrepareBandCells(const VignetteInfo& vi, A_long width, A_long height, VignetteTables& tables,
                      VignetteFrame* frame, double boundScale) {
    if (!vi.isEllipse || !(vi.feather > 0.0f) || !std::isfinite(vi.halfWidth) || !std::isfinite(vi.halfHeight) ||
        !std::isfinite(vi.innerHalfWidth) || !(vi.opacity >= 0.0f && vi.opacity <= 1.0f)) {
        return;
    }
    const double k = static_cast<double>(vi.innerHalfWidth) / vi.halfWidth;
    if (!(k >= 0.0) || !(k < 1.0)) {
        return;
    }
    const double scale = 1.0 / (1.0 - k);
    const double slack = kRampSlackUnits * 0x1p-24 * scale;
    if (!(slack < 1e-3)) {
        return;  // a band too thin for its size: cells would rarely settle a byte
    }
    // The band's area in output pixels sets the number of cells.
    const float(&m)[2][3] = vi.pixelToMask;
    const double det = std::fabs(static_cast<double>(m[0][0]) * m[1][1] - static_cast<double>(m[0][1]) * m[1][0]);
    const double bandPixels = 3.14159 * vi.halfWidth * vi.halfHeight * (1.0 - k * k) / det;
    if (!(bandPixels >= 0.0)) {
        return;
    }
    const A_long cells = static_cast<A_long>(
        std::clamp(bandPixels / kBandPixelsPerCell, static_cast<double>(kMinCells), static_cast<double>(kMaxCells)));

    const float q0 = static_cast<float>(k * k * (1.0 - kInnerEdgeRoom));
    const float perQ = static_cast<float>(cells / (1.0 - q0));
    // How far the exact path's forms may lie from their values in real
    // arithmetic, for pixels of the output (see PrepareBandRows), doubled.
    const double gamma3 = 3.0 * 0x1p-24 / (1.0 - 3.0 * 0x1p-24);
    const double eu = gamma3 * (std::fabs(m[0][0]) * width + std::fabs(m[0][1]) * height + std::fabs(m[0][2]));
    const double ev = gamma3 * (std::fabs(m[1][0]) * width + std::fabs(m[1][1]) * height + std::fabs(m[1][2]));
    const auto spread = [&](double level, double scaleU, double scaleV) {
        return 2.0 * (gamma3 * level * 1.01 + 2.02 * (std::sqrt(level * scaleU) * eu + std::sqrt(level * scaleV) * ev) +
                      scaleU * eu * eu + scaleV * ev * ev) + 1e-12;
    };
    const double dq = spread(1.0, vi.scaleU, vi.scaleV);
    const double di = spread(2.0, vi.innerInvHalfWidthSq, vi.innerInvHalfHeightSq);
    // Rows of certain band only where the bounds leave them room: a core a few
    // pixels across is too small for its form's bound.
    const bool rows = dq < 1e-4 && di < 1e-2;
    // The float index (q - q0) * perQ is off by at most 2^-25 + 2^-24 in q;
    // the band rows' q* by at most dq.
    const double room = 0x1p-22 + (rows ? dq : 0.0);
    tables.bandCells.resize(2 * static_cast<size_t>(cells));
    float* out = tables.bandCells.data();
    // Ramp positions at each cell's ends, less and more the slack, then the
    // curve there: the curve rises with t, and rounding to single precision keeps the order.
    std::vector<double> lower(static_cast<size_t>(cells)), upper(static_cast<size_t>(cells));
    // A cell's width, to within 2^-52 of it: far inside the room.
    const double width_q = 1.0 / static_cast<double>(perQ);
    for (A_long i = 0; i < cells; ++i) {
        const double qa = static_cast<double>(q0) + i * width_q - room;
        const double qb = static_cast<double>(q0) + (i + 1) * width_q + room;
        lower[static_cast<size_t>(i)] = (std::sqrt(std::max(qa, 0.0)) - k) * scale - slack;
        upper[static_cast<size_t>(i)] = (std::sqrt(qb) - k) * scale + slack;
    }
    CurveEstimates(vi.falloff, false, lower.data(), cells);
    CurveEstimates(vi.falloff, true, upper.data(), cells);
    for (A_long i = 0; i < cells; ++i) {
        double lo = lower[static_cast<size_t>(i)] - 1e-12;
        double hi = upper[static_cast<size_t>(i)] + 1e-12;
        const double mid = 0.5 * (lo + hi);
        lo = mid - (mid - lo) * boundScale;
        hi = mid + (hi - mid) * boundScale;
        out[2 * i] = FloatBelow(lo);
        out[2 * i + 1] = FloatAbove(hi);
    }
    frame->bandCells = out;
    frame->bandCellCount = cells;
    frame->bandQ0 = q0;
    frame->bandCellsPerQ = perQ;
    if (rows) {
        PrepareBandRows(vi, height, dq, di, q0, perQ, tables, frame);
    }
}

}  // namespace

// On the Intel Xeon the passes waited on memory without it (frames outside a
// hard-edged mask ran 1.3x the copy pass at 16 bits, 0.95x with it). AMD's Zen
// cores fetch these streams ahead by themselves, and the two extra loads a
// pixel cost time there: 16-bit hard edges 2.1x the copy pass with them, 1.7x
// without; 8-bit rectangle bands 2.5x against 2.2x (EPYC, Zen 4).
bool PrefetchAheadPays() {
#if defined(__x86_64__) || defined(__i386__)
    static const bool pays = [] {
        __builtin_cpu_init();
        return !__builtin_cpu_is("amd");
    }();
    return pays;
#else
    return true;
#endif
}

void PrepareVignetteFrame(const VignetteInfo& vi, A_long width, A_long height, VignetteTables& tables,
                          VignetteFrame* frame, bool bandCells, double cellBoundScale) {
    std::memset(static_cast<void*>(frame), 0, sizeof(*frame));
    frame->info = vi;
    frame->prefetchAhead = PrefetchAheadPays();
    frame->outsideStrength = MaskStrength(&vi, 1.0f);
    frame->coreStrength = MaskStrength(&vi, 0.0f);
    PrepareSpans(vi, width, height, tables, frame);
    if (!vi.isEllipse && vi.feather > 0.0f) {
        frame->rampU = PrepareRamp(vi, vi.innerHalfWidth, vi.halfWidth, vi.scaleU, tables.rampU);
        frame->rampV = PrepareRamp(vi, vi.innerHalfHeight, vi.halfHeight, vi.scaleV, tables.rampV);
    }
    if (bandCells) {
        PrepareBandCells(vi, width, height, tables, frame, cellBoundScale);
    }
}
