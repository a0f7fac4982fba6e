// The 16-bit band's two bounds, each against the exact path over frames as
// large as a 4K output: the ramp position from the pixel's distance, and the
// curves' chords. Each sweep is proven by a bound planted too small.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "plugin/Vellora/Vellora_Band16.h"
#include "tests/CurveOracle.h"
#include "tests/MaskSupport.h"

namespace {

using vtest::Fix;

struct LargeMask {
    VignetteInfo info;
    double x, y;  // its centre, in output pixels
};

// A feathered ellipse of any size, angle, grid scale and pixel aspect, centred
// anywhere on a 3840x2160 output.
LargeMask RandomLargeMask(std::mt19937& rng, A_long falloff) {
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    VignetteParams p;
    p.origin_x = Fix(3840 * unit(rng));
    p.origin_y = Fix(2160 * unit(rng));
    p.width = 8 + 4000 * unit(rng) * unit(rng);
    p.height = 8 + 3000 * unit(rng) * unit(rng);
    p.feather = (0.02 + 0.98 * unit(rng)) * 0.5 * p.width;
    p.angle = Fix(unit(rng) * 720 - 360);
    p.falloff = falloff;
    const PF_RationalScale pars[] = {{1, 1}, {10, 11}, {2, 1}, {4, 3}};
    p.pixel_aspect_ratio = pars[rng() % 4];
    p.downsample_x = {1, 1 + static_cast<A_u_long>(rng() % 3)};
    p.downsample_y = {1, 1 + static_cast<A_u_long>(rng() % 2)};
    return LargeMask{vtest::Info(p), p.origin_x / 65536.0, p.origin_y / 65536.0};
}

struct RampSweep {
    long pixels = 0;
    long outside = 0;     // exact ramp positions outside the bounds
    double worst = 0.0;   // largest distance from the estimate, over the bound
};

// Band pixels of random frames: the exact path's ramp position (the linear
// curve's edge value is the ramp itself) against the estimate and its bound.
RampSweep SweepRamp(int frames, double boundScale) {
    std::mt19937 rng(20261208);
    RampSweep sweep;
    for (int frame = 0; frame < frames; ++frame) {
        const LargeMask mask = RandomLargeMask(rng, FALLOFF_LINEAR);
        const VignetteInfo& vi = mask.info;
        const VignetteBand16 band = BandRampOf(vi, boundScale);
        if (!band.usable) continue;
        // Pixels around the centre, as far as the mask reaches at the largest grid scale.
        std::uniform_real_distribution<double> offset(-1.2 * vi.halfWidth, 1.2 * vi.halfWidth);
        for (int tries = 0; tries < 20000; ++tries) {
            float u, v;
            VignetteMaskPoint(&vi, static_cast<A_long>(mask.x + offset(rng)), static_cast<A_long>(mask.y + offset(rng)),
                              &u, &v);
            if (EllipseOutside(EllipseOuterForm(&vi, u * u, v * v)) || EllipseCore(&vi, u * u, v * v)) continue;
            const double e = VignetteEllipseBand<FALLOFF_LINEAR>(&vi, u, v);
            double lo, hi;
            band.RampRange(u, v, &lo, &hi);
            ++sweep.pixels;
            sweep.outside += e < lo || e > hi;
            if (lo > 0.0 && hi < 1.0) {
                sweep.worst = std::max(sweep.worst, std::fabs(e - 0.5 * (lo + hi)) / (0.5 * (hi - lo)));
            }
        }
    }
    return sweep;
}

TEST(Band16, ExactRampPositionsLieWithinTheBound) {
    const RampSweep sweep = SweepRamp(400, 1.0);
    ASSERT_GT(sweep.pixels, 200000);
    EXPECT_EQ(sweep.outside, 0);
    EXPECT_LE(sweep.worst, 1.0);
}

// Its worst pixels reach about three quarters of the bound: planted at 0.7, it must fail.
TEST(Band16, RampSweepCatchesABoundTooSmall) {
    EXPECT_GT(SweepRamp(400, 0.7).outside, 0);
}

// The chords hold every curve with one, at ramp positions dense enough to hit
// each cell's middle, where a chord strays furthest, and over ranges from each
// such position: up to a ten-thousandth past it, crossing cells on the way.
long ChordMisses(A_long falloff, double boundScale) {
    VignetteParams p = vtest::Centred(800, 600, 200, falloff);
    const VignetteInfo vi = vtest::Info(p);
    std::vector<VignetteChord> chords;
    VignetteBand16 band;
    PrepareBand16(vi, chords, &band, boundScale);
    EXPECT_TRUE(band.usable);
    EXPECT_NE(band.chords, nullptr);
    if (!band.chords) return -1;
    long misses = 0;
    for (int i = 0; i <= 1 << 18; ++i) {
        const double t = std::ldexp(static_cast<double>(i), -18);
        const double exact = vtest::CurveOracle(falloff, t);
        double lo, hi;
        band.ChordRange(t, t, &lo, &hi);
        misses += exact < lo || exact > hi;
        const double t2 = std::min(1.0, t + 1e-4 * (i % 7) / 6.0);
        band.ChordRange(t, t2, &lo, &hi);
        misses += exact < lo || vtest::CurveOracle(falloff, t2) > hi;
    }
    return misses;
}

TEST(Band16, ChordsHoldTheCurves) {
    for (A_long falloff : {FALLOFF_GAMMA, FALLOFF_GAUSSIAN, FALLOFF_EXPONENTIAL}) {
        EXPECT_EQ(ChordMisses(falloff, 1.0), 0) << "falloff " << falloff;
        EXPECT_GT(ChordMisses(falloff, 0.5), 0) << "falloff " << falloff << " with its error halved";
    }
}

// Frames the bound cannot serve take the exact path for every pixel.
TEST(Band16, OnlyFeatheredEllipsesGetTheShortcut) {
    EXPECT_TRUE(BandRampOf(vtest::Info(vtest::Centred(400, 300, 50))).usable);
    EXPECT_FALSE(BandRampOf(vtest::Info(vtest::Centred(400, 300, 0))).usable);
    VignetteParams rectangle = vtest::Centred(400, 300, 50);
    rectangle.mask_type = MASK_RECTANGLE;
    EXPECT_FALSE(BandRampOf(vtest::Info(rectangle)).usable);
    // A band a hundred-thousandth of the mask's size: the bound would span most steps.
    EXPECT_FALSE(BandRampOf(vtest::Info(vtest::Centred(4e6, 3e6, 20))).usable);
}

}  // namespace
