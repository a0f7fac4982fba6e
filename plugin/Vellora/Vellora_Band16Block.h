// The 16-bit band's bounds settled pixel by pixel, and for a block of a row's
// pixels at once, vectorised.
#pragma once

#include <cstdint>

#include "plugin/Vellora/Vellora_Instances.h"

namespace vellora_render {

// The 16-bit result of ellipse pixel (x, y), past the row spans, at mask
// point (u, v) with source alpha a, or -1 where only the exact band can decide.
// `certain`: the band is certain there, so the zone tests are skipped. In the
// band the frame's ramp and curve bounds hold the exact edge value; every step
// from there to the 16-bit result keeps or reverses order, so when both bounds
// give one result, so does the exact value. Outside and in the core both
// bounds are the exact edge value. Without branches, so that it vectorises.
template <A_long Mode, A_long Falloff>
__attribute__((always_inline)) inline int Band16Settled(const VignetteFrame* f, float u, float v, bool certain,
                                                        float a) {
    const VignetteInfo* vi = &f->info;
    const bool beyond = EllipseOutside(EllipseOuterForm(vi, u * u, v * v));
    const bool within = EllipseCore(vi, u * u, v * v);
    const bool outside = !certain & beyond;
    const bool zone = outside | (!certain & within);  // outside or in the core
    float elo, ehi;
    f->band16.EdgeRange<vellora_curves::Curve<Falloff>>(u, v, &elo, &ehi);
    const float zoneEdge = outside ? 1.0f : 0.0f;
    elo = zone ? zoneEdge : elo;
    ehi = zone ? zoneEdge : ehi;
    const int lo = ToAlphaLanes<32768>(32768.0f * CompositeAlpha<Mode>(vi, elo, a));
    const int hi = ToAlphaLanes<32768>(32768.0f * CompositeAlpha<Mode>(vi, ehi, a));
    return lo == hi ? lo : -1;
}

// Pixels per block.
constexpr int kBand16Block = 64;

// Band16Settled for pixels x .. x + kBand16Block - 1 of row y (below the
// frame's rowCount and within its columnCount where the caller reads the
// result), with source alphas alpha[i], into result[i].
void Band16Block(const VignetteFrame* f, A_long x, A_long y, const float* alpha, int32_t* result);

}  // namespace vellora_render
