#include <algorithm>
#include <cstdint>

#include "Vellora_Instances.h"
#include "Vellora_Render.h"

using namespace vellora_render;

namespace {

// Float rows: a run of pixels that take one strength, colour copied.
template <A_long Mode>
void UniformRun(const VignetteInfo* vi, float strength, const PF_FpShort* s, PF_FpShort* d, A_long n) {
    for (A_long i = 0; i < n; ++i, s += 4, d += 4) {
        const PF_FpShort o = CombineAlpha<Mode>(vi, strength, s[3]);
        d[0] = s[0];
        d[1] = s[1];
        d[2] = s[2];
        d[3] = o;
    }
}

// Float rows: pixels x0 .. x1 - 1 of row y through the exact path.
template <A_long Mode, int S, A_long Falloff>
void EdgeRun(const VignetteFrame* f, A_long y, A_long x0, A_long x1, const PF_FpShort* s, PF_FpShort* d) {
    const VignetteInfo* vi = &f->info;
    for (A_long x = x0; x < x1; ++x) {
        const PF_FpShort o = CompositeAlpha<Mode>(vi, EdgeAt<S, Falloff>(f, x, y), s[4 * x + 3]);
        d[4 * x] = s[4 * x];
        d[4 * x + 1] = s[4 * x + 1];
        d[4 * x + 2] = s[4 * x + 2];
        d[4 * x + 3] = o;
    }
}

// Columns of `span` within 0 .. cols - 1, as a half-open range; empty when lo >= hi.
void Clip(const VignetteRowSpan& span, A_long cols, A_long* lo, A_long* hi) {
    const int64_t first = span.lo;
    const int64_t last = first + static_cast<int64_t>(span.width);
    *lo = static_cast<A_long>(std::clamp<int64_t>(first, 0, cols));
    *hi = static_cast<A_long>(std::clamp<int64_t>(last + 1, 0, cols));
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
    const VignetteInfo* vi = &f->info;
    const char* srcRow = static_cast<const char*>(input->data);
    char* dstRow = static_cast<char*>(output->data);
    const bool spans = static_cast<A_u_long>(cols) <= f->columnCount;
    for (A_long y = 0; y < rows; ++y) {
        const PF_FpShort* s = reinterpret_cast<const PF_FpShort*>(srcRow);
        PF_FpShort* d = reinterpret_cast<PF_FpShort*>(dstRow);
        if (spans && static_cast<A_u_long>(y) < f->rowCount) {
            // outside | edge | core | edge | outside, each run settled in one loop.
            A_long oLo, oHi, cLo, cHi;
            Clip(f->rows[y].outer, cols, &oLo, &oHi);
            if (oLo >= oHi) {
                UniformRun<Mode>(vi, f->outsideStrength, s, d, cols);
            } else {
                Clip(f->rows[y].core, cols, &cLo, &cHi);
                cLo = std::max(cLo, oLo);
                cHi = std::min(cHi, oHi);
                if (cLo >= cHi) {
                    cLo = cHi = oHi;
                }
                UniformRun<Mode>(vi, f->outsideStrength, s, d, oLo);
                EdgeRun<Mode, S, Falloff>(f, y, oLo, cLo, s, d);
                UniformRun<Mode>(vi, f->coreStrength, s + 4 * cLo, d + 4 * cLo, cHi - cLo);
                EdgeRun<Mode, S, Falloff>(f, y, cHi, oHi, s, d);
                UniformRun<Mode>(vi, f->outsideStrength, s + 4 * oHi, d + 4 * oHi, cols - oHi);
            }
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
