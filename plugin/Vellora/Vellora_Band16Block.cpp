#include "plugin/Vellora/Vellora_Band16Block.h"

namespace vellora_render {

namespace {

template <A_long Mode, A_long Falloff>
__attribute__((always_inline)) inline void Lanes(const VignetteFrame* __restrict f, A_long x, A_long y,
                                                 const float* __restrict alpha, int32_t* __restrict result) {
    // The band is certain within the row's inside span past its core.
    const bool hasRow = f->bandRows != nullptr;
    const VignetteBandRow row = hasRow ? f->bandRows[y] : VignetteBandRow{};
    for (int i = 0; i < kBand16Block; ++i) {
        float u, v;
        VignetteMaskPoint(&f->info, x + i, y, &u, &v);
        const bool inBand = row.Certain(x + i);
        const bool certain = hasRow & inBand;
        result[i] = Band16Settled<Mode, Falloff>(f, u, v, certain, alpha[i]);
    }
}

}  // namespace

VELLORA_VECTOR_CLONES
void Band16Block(const VignetteFrame* f, A_long x, A_long y, const float* alpha, int32_t* result) {
    vellora_curves::WithCurve(f->info.falloff, [&](auto curve) __attribute__((always_inline)) {
        constexpr A_long kFalloff = decltype(curve)::kFalloff;
        WithMode(f->info.compositeMode, [&](auto mode) __attribute__((always_inline)) {
            Lanes<decltype(mode)::value, kFalloff>(f, x, y, alpha, result);
        });
        return 0;
    });
}

}  // namespace vellora_render
