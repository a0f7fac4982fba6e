// A reduced-resolution render of a file whose data window starts anywhere:
// each output pixel is the box of full-resolution pixels it covers on the
// grid of the whole picture, not of the window, so the window's origin scales.
#include <gtest/gtest.h>

#include "tests/TestFiles.h"
#include "tests/TestSupport.h"

namespace {

int FloorDiv(int v, int n) { return v >= 0 ? v / n : -((-v + n - 1) / n); }

TEST(DownsampledWindows, BoxesFollowTheGridOfThePictureAtOddNegativeOrigins) {
    vtest::TempDir dir;
    for (const int n : {2, 3}) {
        OIIO::ImageSpec spec(7, 5, 4, OIIO::TypeDesc::FLOAT);
        spec.x = -3, spec.y = -5;
        spec.full_x = -4, spec.full_y = -6, spec.full_width = 10, spec.full_height = 9;
        spec.alpha_channel = 3;
        std::vector<float> data = vtest::Noise(7 * 5 * 4, 11, 0.25f, 1.0f);
        for (size_t i = 0; i < data.size(); i += 4) {
            for (int c = 0; c < 3; ++c) data[i + c] *= data[i + 3];  // premultiplied, as OpenEXR stores it
        }
        ASSERT_TRUE(vtest::WriteFile(dir.Path("in.exr"), spec, data));
        const vtest::CliRun run = vtest::RunCli("render " + dir.Arg("in.exr") + " " + dir.Arg("out.exr") +
                                                " --host premiere --depth float --downsample " + std::to_string(n) +
                                                " " + vtest::kIdentity);
        ASSERT_EQ(run.status, 0) << run.out;
        const vtest::FilePixels out = vtest::ReadFile(dir.Path("out.exr"));
        const int x0 = FloorDiv(spec.x, n), y0 = FloorDiv(spec.y, n);
        EXPECT_EQ(out.spec.x, x0) << n;
        EXPECT_EQ(out.spec.y, y0) << n;
        ASSERT_EQ(out.spec.width, FloorDiv(spec.x + 6, n) - x0 + 1) << n;
        ASSERT_EQ(out.spec.height, FloorDiv(spec.y + 4, n) - y0 + 1) << n;
        for (int oy = 0; oy < out.spec.height; ++oy) {
            for (int ox = 0; ox < out.spec.width; ++ox) {
                double sum[4] = {0, 0, 0, 0};
                int count = 0;
                for (int y = 0; y < 5; ++y) {
                    for (int x = 0; x < 7; ++x) {
                        if (FloorDiv(spec.x + x, n) != x0 + ox || FloorDiv(spec.y + y, n) != y0 + oy) continue;
                        for (int c = 0; c < 4; ++c) sum[c] += data[(static_cast<size_t>(y) * 7 + x) * 4 + c];
                        ++count;
                    }
                }
                ASSERT_GT(count, 0);
                for (int c = 0; c < 4; ++c) {
                    EXPECT_NEAR(out.At(ox, oy, c), sum[c] / count, 1e-4)
                        << "1/" << n << ", pixel (" << ox << "," << oy << ") channel " << c;
                }
            }
        }
    }
}

}  // namespace
