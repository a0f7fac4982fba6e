// The plug-in's own loop over Premiere's float rows, every instance the
// render can choose, against Blend_Float pixel by pixel.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "tests/MaskSupport.h"
#include "plugin/Vellora/Vellora_Render.h"

namespace {

using vtest::kSweepH;
using vtest::kSweepW;
using vtest::SweepMask;

// A world of tight float BGRA rows over `pixels`.
PF_LayerDef FloatWorld(std::vector<float>& pixels, A_long width, A_long height) {
    PF_LayerDef def{};
    def.width = width;
    def.height = height;
    def.rowbytes = 16 * width;
    def.data = pixels.data();
    return def;
}

// The float loop of every instance the render can choose, on alphas beyond
// 0..1 too, against Blend_Float; colour passes bit for bit.
TEST(FloatRows, EveryInstanceGivesTheExactPathsResults) {
    std::mt19937 rng(20261207);
    for (int trial = 0; trial < 144; ++trial) {
        const VignetteInfo info = SweepMask(rng, trial);
        VignetteTables tables;
        VignetteFrame frame;
        PrepareRenderFrame(info, kSweepW, kSweepH, tables, &frame, kPassFloat);
        frame.prefetchAhead = trial % 2 == 0;  // both runs, whichever this processor would choose
        std::vector<float> in(4 * kSweepW * kSweepH), out(in.size(), -7.0f);
        for (A_long i = 0; i < kSweepW * kSweepH; ++i) {
            in[4 * i] = 0.1f * static_cast<float>(i % 7);
            in[4 * i + 1] = -0.5f;
            in[4 * i + 2] = 2.0f;
            in[4 * i + 3] = static_cast<float>((i * 37 + trial) % 29) / 20.0f - 0.2f;
        }
        PF_LayerDef src = FloatWorld(in, kSweepW, kSweepH), dst = FloatWorld(out, kSweepW, kSweepH);
        ASSERT_EQ(RenderFloatRows(&frame, &src, &dst, kSweepH), PF_Err_NONE);
        for (A_long y = 0; y < kSweepH; ++y) {
            for (A_long x = 0; x < kSweepW; ++x) {
                const float* s = &in[4 * (y * kSweepW + x)];
                const float* d = &out[4 * (y * kSweepW + x)];
                float want;
                Blend_Float(const_cast<VignetteInfo*>(&info), x, y, &s[3], &want);
                ASSERT_EQ(std::memcmp(d, s, 3 * sizeof(float)), 0) << "trial " << trial << " " << x << "," << y;
                // Bit for bit: NaN must stay NaN and -0 stay -0.
                ASSERT_EQ(std::memcmp(&d[3], &want, sizeof(float)), 0)
                    << "trial " << trial << " pixel " << x << "," << y << " want " << want << " got " << d[3];
            }
        }
    }
}

// Rows across a wide band, so the ramp position runs through 0..1 densely and
// every curve's vectorised short path, and the fallback where it cannot settle
// the rounding, meet many thousands of positions; also the band's very edges,
// where the ramp rounds a hair past 0 or 1.
TEST(FloatRows, EveryCurveMatchesTheExactPathAcrossAWideBand) {
    constexpr A_long kW = 8192, kH = 6;
    std::vector<float> in(4 * kW * kH), out(in.size());
    for (A_long i = 0; i < kW * kH; ++i) {
        in[4 * i + 3] = static_cast<float>(i % 101) / 100.0f;
    }
    PF_LayerDef src = FloatWorld(in, kW, kH), dst = FloatWorld(out, kW, kH);
    for (int falloff = FALLOFF_LINEAR; falloff <= FALLOFF_EXPONENTIAL; ++falloff) {
        VignetteParams p;
        p.origin_x = 3 << 16;
        p.origin_y = 2 << 16;
        p.width = 2 * 8150.0;
        p.height = 2 * 8150.0 * 0.75;
        p.feather = 8100.3;
        p.angle = 7 << 16;
        p.falloff = falloff;
        p.composite_mode = falloff % 2 ? COMPOSITE_CREATE : COMPOSITE_INTERSECT;
        VignetteInfo info;
        FillVignetteInfo(p, &info);
        VignetteTables tables;
        VignetteFrame frame;
        PrepareRenderFrame(info, kW, kH, tables, &frame, kPassFloat);
        ASSERT_EQ(RenderFloatRows(&frame, &src, &dst, kH), PF_Err_NONE);
        long band = 0;
        for (A_long y = 0; y < kH; ++y) {
            for (A_long x = 0; x < kW; ++x) {
                const A_long i = y * kW + x;
                float want;
                Blend_Float(&info, x, y, &in[4 * i + 3], &want);
                ASSERT_EQ(std::memcmp(&out[4 * i + 3], &want, sizeof(float)), 0)
                    << "falloff " << falloff << " pixel " << x << "," << y << " want " << want << " got " << out[4 * i + 3];
                float u, v;
                VignetteMaskPoint(&info, x, y, &u, &v);
                band += info.scaleU * u * u + info.scaleV * v * v < 1.0f && x > 60;
            }
        }
        EXPECT_GT(band, kW * kH * 9 / 10) << "the rows must lie in the band";
    }
}

// Colour channels pass bit for bit whatever they hold (a signalling NaN with
// its payload, -0, infinities, subnormals), in every zone and in place.
TEST(FloatRows, ColourBitsPassUntouchedInEveryZone) {
    constexpr A_long kW = 64, kH = 4;
    const uint32_t patterns[] = {0x7F800001u, 0xFFC01234u, 0x80000000u, 0x7F800000u, 0x00000001u, 0xBF800000u};
    std::vector<float> in(4 * kW * kH);
    for (A_long i = 0; i < kW * kH; ++i) {
        for (int c = 0; c < 3; ++c) {
            std::memcpy(&in[4 * i + c], &patterns[(i + 2 * c) % 6], sizeof(float));
        }
        in[4 * i + 3] = 0.75f;
    }
    VignetteParams p = vtest::SmallSoft(32, 2, FALLOFF_GAMMA);
    for (A_long mode = COMPOSITE_ADD; mode <= COMPOSITE_CREATE; ++mode) {
        for (int mask : {MASK_ELLIPSE, MASK_RECTANGLE}) {
            p.composite_mode = mode;
            p.mask_type = mask;
            VignetteInfo info;
            FillVignetteInfo(p, &info);
            VignetteTables tables;
            VignetteFrame frame;
            PrepareRenderFrame(info, kW, kH, tables, &frame, kPassFloat);
            std::vector<float> apart(in.size()), same = in;
            PF_LayerDef src = FloatWorld(in, kW, kH), dst = FloatWorld(apart, kW, kH), both = FloatWorld(same, kW, kH);
            ASSERT_EQ(RenderFloatRows(&frame, &src, &dst, kH), PF_Err_NONE);
            ASSERT_EQ(RenderFloatRows(&frame, &both, &both, kH), PF_Err_NONE);
            for (A_long i = 0; i < kW * kH; ++i) {
                ASSERT_EQ(std::memcmp(&apart[4 * i], &in[4 * i], 3 * sizeof(float)), 0) << "mode " << mode << " " << i;
                ASSERT_EQ(std::memcmp(&same[4 * i], &apart[4 * i], 4 * sizeof(float)), 0)
                    << "mode " << mode << " " << i;
            }
        }
    }
}

}  // namespace
