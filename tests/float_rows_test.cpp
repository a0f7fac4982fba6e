// The plug-in's own loop over Premiere's float rows, every instance the
// render can choose, against Blend_Float pixel by pixel.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <vector>

#include "RandomMasks.h"
#include "Vellora_Render.h"

namespace {

using vtest::kSweepH;
using vtest::kSweepW;
using vtest::SweepMask;

// The float loop of every instance the render can choose, on alphas beyond
// 0..1 too, against Blend_Float; colour passes bit for bit.
TEST(FloatRows, EveryInstanceGivesTheExactPathsResults) {
    std::mt19937 rng(20261207);
    for (int trial = 0; trial < 144; ++trial) {
        const VignetteInfo info = SweepMask(rng, trial);
        VignetteTables tables;
        VignetteFrame frame;
        PrepareRenderFrame(info, kSweepW, kSweepH, tables, &frame, 3);
        std::vector<float> in(4 * kSweepW * kSweepH), out(in.size(), -7.0f);
        for (A_long i = 0; i < kSweepW * kSweepH; ++i) {
            in[4 * i] = 0.1f * static_cast<float>(i % 7);
            in[4 * i + 1] = -0.5f;
            in[4 * i + 2] = 2.0f;
            in[4 * i + 3] = static_cast<float>((i * 37 + trial) % 29) / 20.0f - 0.2f;
        }
        PF_LayerDef src{}, dst{};
        for (PF_LayerDef* def : {&src, &dst}) {
            def->width = kSweepW;
            def->height = kSweepH;
            def->rowbytes = 16 * kSweepW;
        }
        src.data = in.data();
        dst.data = out.data();
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

}  // namespace
