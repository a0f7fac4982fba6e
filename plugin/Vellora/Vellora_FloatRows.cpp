#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "plugin/Vellora/Vellora_Instances.h"
#include "plugin/Vellora/Vellora_Render.h"

using namespace vellora_render;

namespace {

// Writes a BGRA pixel: the source's colour, the new alpha `alpha` (computed
// before, so source and destination may be the same pixel).
__attribute__((always_inline)) inline void WritePixel(const PF_FpShort* s, PF_FpShort* d, PF_FpShort alpha) {
#if defined(__SSE2__)
    // One load and one store of the whole pixel: the colour's bits and the
    // alpha's picked by mask, so every value (NaN too) passes bit for bit.
    const __m128 alphaLane = _mm_castsi128_ps(_mm_set_epi32(-1, 0, 0, 0));
    const __m128 pixel = _mm_loadu_ps(s);
    _mm_storeu_ps(d, _mm_or_ps(_mm_andnot_ps(alphaLane, pixel), _mm_and_ps(alphaLane, _mm_set1_ps(alpha))));
#else
    d[0] = s[0];
    d[1] = s[1];
    d[2] = s[2];
    d[3] = alpha;
#endif
}

// Float rows: a run of pixels that take one strength, colour copied.
template <A_long Mode, bool Ahead>
void UniformRunOf(const VignetteInfo* vi, float strength, const PF_FpShort* s, PF_FpShort* d, A_long n) {
    for (A_long i = 0; i < n; ++i, s += 4, d += 4) {
        PrefetchAhead<Ahead>(s, d);
        WritePixel(s, d, CombineAlpha<Mode>(vi, strength, s[3]));
    }
}

template <A_long Mode>
void UniformRun(const VignetteFrame* f, float strength, const PF_FpShort* s, PF_FpShort* d, A_long n) {
    if (f->prefetchAhead) {
        UniformRunOf<Mode, true>(&f->info, strength, s, d, n);
    } else {
        UniformRunOf<Mode, false>(&f->info, strength, s, d, n);
    }
}

// Float rows: pixels x0 .. x1 - 1 of row y through the exact path.
template <A_long Mode, int S, A_long Falloff>
void EdgeRunScalar(const VignetteFrame* f, A_long y, A_long x0, A_long x1, const PF_FpShort* s, PF_FpShort* d) {
    const VignetteInfo* vi = &f->info;
    for (A_long x = x0; x < x1; ++x) {
        WritePixel(s + 4 * x, d + 4 * x, CompositeAlpha<Mode>(vi, EdgeAt<S, Falloff>(f, x, y), s[4 * x + 3]));
    }
}

// The ellipse's edge runs go in blocks: the geometry and the curves' short
// paths of a block are plain loops the compiler vectorises, then each pixel is
// settled on its own. Vectorised, every lane performs the scalar path's IEEE
// operations in its order, so each equals the scalar result bit for bit (no
// contraction into fused multiply-adds: the plug-in is built with -ffp-contract=off).
// (VELLORA_VECTOR_CLONES: one copy per vector width.)

// Long enough that each vectorised loop has several independent chains in flight.
constexpr int kBlock = 32;

// The ellipse's zone (band, outside or core) and ramp position of pixels
// x .. x + kBlock - 1 of row fy: VignetteEdge's tests and VignetteEllipseBand's
// arithmetic in their order, the ramp computed for every pixel and kept for the
// band's. Without branches, so that it vectorises.
VELLORA_VECTOR_CLONES
void EllipseBlock(const VignetteInfo* __restrict vi, A_long x, float fy, int32_t* __restrict zone,
                  float* __restrict ramp) {
    const float(&m)[2][3] = vi->pixelToMask;
    for (int i = 0; i < kBlock; ++i) {
        const float fx = static_cast<float>(x + i);
        const float u = (m[0][0] * fx + m[0][1] * fy) + m[0][2];
        const float v = (m[1][0] * fx + m[1][1] * fy) + m[1][2];
        zone[i] = EllipseZone(vi, u, v);
        const float r = std::sqrt(u * u + v * v);
        const float cu = u / r;
        const float sv = v / r;
        const float outerSum = vi->halfWidthSq * (sv * sv) + vi->halfHeightSq * (cu * cu);
        const float innerSum = vi->innerHalfWidthSq * (sv * sv) + vi->innerHalfHeightSq * (cu * cu);
        const float rOut = static_cast<float>(static_cast<double>(vi->outerAxisProduct) /
                                              std::sqrt(static_cast<double>(outerSum)));
        const float rIn = static_cast<float>(static_cast<double>(vi->innerAxisProduct) /
                                             std::sqrt(static_cast<double>(innerSum)));
        ramp[i] = (r - rIn) / (rOut - rIn);
    }
}

// CurveFloat's short path for a block of ramp positions: `curve` gets the
// value where its rounding to single precision is settled, `settled` 1 there
// and 0 where CurveFloat must decide. CurveFloat's estimate and bound with the
// table-free exp and log, in a plain loop the compiler vectorises: where the
// bound settles the rounding, the value is the rounded curve itself, whichever
// way it was estimated.
template <class C>
__attribute__((always_inline)) inline void ShortCurves(const float* __restrict ramp, float* __restrict curve,
                                                     int32_t* __restrict settled) {
    constexpr float kNever = std::numeric_limits<float>::quiet_NaN();  // equal to nothing
    for (int i = 0; i < kBlock; ++i) {
        const double t = vellora_curves::ClampRamp(ramp[i]);
        // Where the short path cannot serve, it is given a t it can, and `hi`
        // is made to differ from `lo`. (Written with selections of values
        // alone: g++ vectorises those.)
        const bool usable = t >= C::kShortFrom;
        double bound;
        const double y = C::template Short<vellora_curves::VectorMath>(usable ? t : 1.0, &bound);
        const float lo = static_cast<float>(y - bound);
        const float hi = static_cast<float>(y + bound);
        curve[i] = lo;
        settled[i] = static_cast<int32_t>(lo == (usable ? hi : kNever));
    }
}

// One copy per vector width, holding every curve's loop.
VELLORA_VECTOR_CLONES
void BlockCurves(A_long falloff, const float* __restrict ramp, float* __restrict curve, int32_t* __restrict settled) {
    vellora_curves::WithCurve(falloff, [&](auto c) __attribute__((always_inline)) {
        using C = decltype(c);
        if constexpr (C::kHasShort) ShortCurves<C>(ramp, curve, settled);
        return 0;
    });
}

template <A_long Mode, int S, A_long Falloff>
void EdgeRun(const VignetteFrame* f, A_long y, A_long x0, A_long x1, const PF_FpShort* s, PF_FpShort* d) {
    if (S != kEllipse) {
        EdgeRunScalar<Mode, S, Falloff>(f, y, x0, x1, s, d);
        return;
    }
    const VignetteInfo* vi = &f->info;
    alignas(64) int32_t zone[kBlock];
    alignas(64) float ramp[kBlock];
    for (A_long x = x0; x < x1; x += kBlock) {
        const int n = static_cast<int>(std::min<A_long>(kBlock, x1 - x));
        EllipseBlock(vi, x, static_cast<float>(y), zone, ramp);
        // The exponential curves' short paths for the whole block at once.
        constexpr bool kShort = vellora_curves::HasShort<Falloff>();
        alignas(64) float curve[kBlock];
        alignas(64) int32_t settled[kBlock];
        if (kShort) {
            bool any = false;
            for (int i = 0; i < n; ++i) any |= zone[i] == ZONE_EDGE;
            if (any) BlockCurves(Falloff, ramp, curve, settled);
        }
        for (int i = 0; i < n; ++i) {
            float e;
            if (zone[i] == ZONE_OUTSIDE) {
                e = 1.0f;
            } else if (zone[i] == ZONE_CORE) {
                e = 0.0f;
            } else {
                e = kShort && settled[i] ? curve[i] : CurveFloat<Falloff>(vi, ramp[i]);
            }
            const PF_FpShort* p = s + 4 * (x + i);
            WritePixel(p, d + 4 * (x + i), CompositeAlpha<Mode>(vi, e, p[3]));
        }
    }
}

template <A_long Mode, int S, A_long Falloff>
PF_Err FloatRows(const VignetteFrame* f, const PF_LayerDef* input, PF_LayerDef* output, A_long rows) {
    // A world without pixels is the host's fault, not an empty frame: say so, as iterate does.
    if (!input->data || !output->data) {
        return PF_Err_BAD_CALLBACK_PARAM;
    }
    // Never step past either buffer: a smaller input limits the pass.
    rows = std::min({rows, output->height, input->height});
    const A_long cols = std::min(output->width, input->width);
    if (rows <= 0 || cols <= 0) {
        return PF_Err_NONE;
    }
    const char* srcRow = static_cast<const char*>(input->data);
    char* dstRow = static_cast<char*>(output->data);
    const bool spans = static_cast<A_u_long>(cols) <= f->columnCount;
    for (A_long y = 0; y < rows; ++y) {
        const PF_FpShort* s = reinterpret_cast<const PF_FpShort*>(srcRow);
        PF_FpShort* d = reinterpret_cast<PF_FpShort*>(dstRow);
        if (spans && static_cast<A_u_long>(y) < f->rowCount) {
            // outside | edge | core | edge | outside, each run settled in one loop.
            A_long b[4];
            f->RowRuns(y, cols, b);
            UniformRun<Mode>(f, f->outsideStrength, s, d, b[0]);
            EdgeRun<Mode, S, Falloff>(f, y, b[0], b[1], s, d);
            UniformRun<Mode>(f, f->coreStrength, s + 4 * b[1], d + 4 * b[1], b[2] - b[1]);
            EdgeRun<Mode, S, Falloff>(f, y, b[2], b[3], s, d);
            UniformRun<Mode>(f, f->outsideStrength, s + 4 * b[3], d + 4 * b[3], cols - b[3]);
        } else {
            EdgeRun<Mode, S, Falloff>(f, y, 0, cols, s, d);
        }
        srcRow += input->rowbytes;
        dstRow += output->rowbytes;
    }
    return PF_Err_NONE;
}

using FloatRowsFunc = PF_Err (*)(const VignetteFrame*, const PF_LayerDef*, PF_LayerDef*, A_long);

template <A_long Mode, int S, A_long Falloff>
struct PickFloat {
    static constexpr FloatRowsFunc kFn = &FloatRows<Mode, S, Falloff>;
};

}  // namespace

PF_Err RenderFloatRows(const VignetteFrame* frame, const PF_LayerDef* input, PF_LayerDef* output, A_long rows) {
    return ByFrame<PickFloat>(*frame)(frame, input, output, rows);
}
