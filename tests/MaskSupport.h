// Shared by the tests that call the mask code directly: fixed-point values,
// records from parameters, the exact path's result for one pixel, and random
// masks for the sweeps that compare every fast path with the exact path.
#pragma once

#include <random>

#include "plugin/Vellora/Vellora_Mask.h"

namespace vtest {

constexpr PF_Fixed Fix(double v) { return static_cast<PF_Fixed>(v * 65536.0); }

inline VignetteInfo Info(const VignetteParams& p) {
    VignetteInfo vi;
    FillVignetteInfo(p, &vi);
    return vi;
}

// A mask centred on (500, 400).
inline VignetteParams Centred(double width, double height, double feather, A_long curve = FALLOFF_LINEAR) {
    VignetteParams p;
    p.origin_x = Fix(500);
    p.origin_y = Fix(400);
    p.width = width;
    p.height = height;
    p.feather = feather;
    p.falloff = curve;
    return p;
}

// A 40x30 mask with a 10-pixel feather centred on (x, y): small enough that
// a 64x64 output holds its outside, band and core.
inline VignetteParams SmallSoft(double x, double y, A_long curve = FALLOFF_LINEAR) {
    VignetteParams p;
    p.origin_x = Fix(x);
    p.origin_y = Fix(y);
    p.width = 40;
    p.height = 30;
    p.feather = 10;
    p.falloff = curve;
    return p;
}

// New alpha of pixel (x, y) for an existing alpha `a`, by the exact path.
inline float Blend(const VignetteInfo& vi, A_long x, A_long y, float a = 1.0f) {
    float out = -99.0f;
    Blend_Float(const_cast<VignetteInfo*>(&vi), x, y, &a, &out);
    return out;
}

// Every shape, mode, falloff and invert, any opacity, angle, grid scale and
// pixel aspect, feathers from none to the most.
constexpr A_long kSweepW = 200, kSweepH = 150;

inline VignetteInfo SweepMask(std::mt19937& rng, int trial) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    VignetteParams p;
    p.mask_type = trial % 2 ? MASK_RECTANGLE : MASK_ELLIPSE;
    p.origin_x = static_cast<PF_Fixed>((-20 + 200 * unit(rng)) * 65536);
    p.origin_y = static_cast<PF_Fixed>((-20 + 160 * unit(rng)) * 65536);
    p.width = 4 + 260 * unit(rng);
    p.height = 4 + 200 * unit(rng);
    p.feather = trial % 9 == 0 ? 0.0 : (trial % 9 == 1 ? 2.0 : unit(rng)) * p.width * 0.5;
    p.angle = static_cast<PF_Fixed>((unit(rng) * 720 - 360) * 65536);
    p.falloff = 1 + (trial / 2) % 6;
    p.composite_mode = 1 + (trial / 12) % 4;
    p.invert = trial % 5 == 0;
    p.opacity = static_cast<PF_Fixed>((trial % 3 == 0 ? 100.0 : 100 * unit(rng)) * 65536);
    const A_u_long ds = 1 + trial % 3;
    p.downsample_x = {1, ds};
    p.downsample_y = {1, static_cast<A_u_long>(1 + trial % 2)};
    const PF_RationalScale pars[] = {{1, 1}, {10, 11}, {2, 1}, {4, 3}};
    p.pixel_aspect_ratio = pars[(trial / 7) % 4];
    VignetteInfo info;
    FillVignetteInfo(p, &info);
    return info;
}

}  // namespace vtest
