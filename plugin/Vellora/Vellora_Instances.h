// Shared by the pixel passes: the conversions to and from integer alphas, and
// the choice of one instance per frame by shape, composite mode and falloff.
#pragma once

#include <array>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "plugin/Vellora/Vellora_Frame.h"

namespace vellora_render {

// k / 255.0f for every 8-bit alpha, so the per-pixel path needs no division.
constexpr std::array<float, 256> MakeAlpha8Table() {
    std::array<float, 256> table{};
    for (int k = 0; k < 256; ++k) {
        table[static_cast<size_t>(k)] = static_cast<float>(k) / 255.0f;
    }
    return table;
}
inline constexpr std::array<float, 256> kAlpha8 = MakeAlpha8Table();

// Truncating conversion back to an integer alpha; NaN and negatives give 0.
// In plain arithmetic, for loops that vectorise.
template <int Full>
__attribute__((always_inline)) inline int ToAlphaLanes(float s) {
    const float above = s > 0.0f ? s : 0.0f;  // NaN fails the test too
    return static_cast<int>(above < Full ? above : static_cast<float>(Full));
}

// The same for one value: a max and a min rather than branches, so nothing
// depends on the pixel's value.
template <int Full>
inline int ToAlpha(float s) {
#if defined(__SSE2__)
    // maxss(s, 0) is 0 for NaN as well (the second operand wins when either is NaN).
    const __m128 above = _mm_max_ss(_mm_set_ss(s), _mm_setzero_ps());
    return _mm_cvttss_si32(_mm_min_ss(above, _mm_set_ss(static_cast<float>(Full))));
#else
    return ToAlphaLanes<Full>(s);
#endif
}

inline float Alpha16(A_u_short alpha) { return static_cast<float>(alpha) * 3.0517578125e-05f; }

inline A_u_char ToAlpha8(float s) { return static_cast<A_u_char>(ToAlpha<255>(s)); }

inline A_u_short ToAlpha16(float s) { return static_cast<A_u_short>(ToAlpha<32768>(s)); }

// Asks for the source and destination 2 KB ahead: a pass that does more per
// pixel than a copy keeps fewer loads in flight, and waited on memory (frames
// outside a hard-edged mask ran 1.3x the copy pass at 16 bits, 1.1x at 8 and
// 1.2x in float without it, 0.95x, 0.9x and 1.0x with it). A hint only: it
// never faults, wherever the buffers end.
// Where it does not pay (VignetteFrame::prefetchAhead), an instance without it.
template <bool Ahead = true>
__attribute__((always_inline)) inline void PrefetchAhead(const void* in, const void* out) {
    if constexpr (Ahead) {
        constexpr uintptr_t kAhead = 2048;
        __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(in) + kAhead));
        __builtin_prefetch(reinterpret_cast<const void*>(reinterpret_cast<uintptr_t>(out) + kAhead), 1);
    } else {
        (void)in;
        (void)out;
    }
}

// Shapes as a template argument: any reads the record and computes the
// rectangle's curve per pixel; the others are chosen per frame.
enum Shape { kAnyShape, kEllipse, kRectangle };

// Edge value of output pixel (x, y), past the row spans.
template <int S, A_long Falloff>
__attribute__((always_inline)) inline float EdgeAt(const VignetteFrame* f, A_long x, A_long y) {
    float u, v;
    VignetteMaskPoint(&f->info, x, y, &u, &v);
    if (S == kAnyShape) {
        return VignetteEdge<Falloff>(&f->info, u, v);
    }
    return FrameEdge<S == kEllipse, Falloff>(f, u, v);
}

// One instance per composite mode, shape and (for the ellipse's exact band) falloff.
template <template <A_long, int, A_long> class Pick, int S, A_long Falloff>
auto ByMode(A_long mode) {
    return WithMode(mode, [](auto m) { return Pick<decltype(m)::value, S, Falloff>::kFn; });
}

template <template <A_long, int, A_long> class Pick>
auto ByFrame(const VignetteFrame& f) {
    const VignetteInfo& vi = f.info;
    if (!vi.isEllipse) {
        return ByMode<Pick, kRectangle, kAnyFalloff>(vi.compositeMode);
    }
    // A falloff the table does not hold is drawn as Linear, as the exact path draws it.
    return vellora_curves::WithCurve(vi.falloff, [&](auto curve) {
        return ByMode<Pick, kEllipse, decltype(curve)::kFalloff>(vi.compositeMode);
    });
}

}  // namespace vellora_render
