// The 16-bit ellipse band computed a row at a time from the source layer:
// pixel for pixel the exact path's results, whatever the order of the calls,
// the alpha a callback is handed or the number of threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "host/Render.h"
#include "host/World.h"
#include "plugin/Vellora/Vellora_Render.h"
#include "tests/MaskSupport.h"
#include "tests/TestSupport.h"

namespace {

using vtest::kSweepH;
using vtest::kSweepW;

// A 16-bit source layer with padded rows, alpha `alpha(x, y)`.
struct Source {
    static constexpr A_long kPad = 3;  // pixels past each row's end
    std::vector<PF_Pixel16> pixels;
    PF_LayerDef layer{};

    template <class Alpha>
    Source(A_long w, A_long h, Alpha alpha) : pixels(static_cast<size_t>((w + kPad) * h)) {
        layer.data = pixels.data();
        layer.width = w;
        layer.height = h;
        layer.rowbytes = static_cast<A_long>((w + kPad) * sizeof(PF_Pixel16));
        for (A_long y = 0; y < h; ++y) {
            for (A_long x = 0; x < w; ++x) {
                At(x, y) = PF_Pixel16{static_cast<A_u_short>(alpha(x, y)), 100, 200, 300};
            }
        }
    }
    PF_Pixel16& At(A_long x, A_long y) {
        return pixels[static_cast<size_t>(y * (layer.width + kPad) + x)];
    }
};

// A 160x120 ellipse with a 50-pixel feather in the sweep's frame.
VignetteParams InSweep(A_long curve) {
    VignetteParams p = vtest::Centred(160, 120, 50, curve);
    p.origin_x = vtest::Fix(kSweepW / 2);
    p.origin_y = vtest::Fix(kSweepH / 2);
    return p;
}

A_u_short Want(const VignetteInfo& info, A_long x, A_long y, A_u_short alpha) {
    const float a = static_cast<float>(alpha) * 3.0517578125e-05f;
    float o;
    Blend_Float(const_cast<VignetteInfo*>(&info), x, y, &a, &o);
    const float s = 32768.0f * o;
    return !(s > 0.0f) ? 0 : s >= 32768.0f ? 32768 : static_cast<A_u_short>(s);
}

struct Sweep {
    long mismatches = 0;
    long rowsComputed = 0;  // rows whose results the callbacks computed
    std::string first;
};

// Random frames, every pixel called in row order with its source pixel, as
// the host calls it; then, unless `sourceOnly`, with another alpha than its
// source's, which the row results do not hold. Alphas run past full scale.
Sweep RowSweep(int trials, double boundScale, bool sourceOnly) {
    std::mt19937 rng(20261208);
    Sweep sweep;
    for (int trial = 0; trial < trials; ++trial) {
        const VignetteInfo info = vtest::SweepMask(rng, trial);
        Source source(kSweepW, kSweepH, [&](A_long x, A_long y) {
            return (x * 131 + y * 977 + trial * 7919) % (trial % 2 ? 65536 : 32769);
        });
        VignetteTables tables;
        VignetteFrame frame;
        Source destination(kSweepW, kSweepH, [](A_long, A_long) { return 0; });
        PrepareRenderFrame(info, kSweepW, kSweepH, tables, &frame, kPassArgb16, boundScale, &source.layer,
                           &destination.layer);
        frame.prefetchAhead = trial % 2 == 0;  // both instances, whichever this processor would choose
        const auto blend = ChooseBlend16(frame);
        const auto check = [&](A_long x, A_long y, PF_Pixel16* in) {
            const A_u_short want = Want(info, x, y, in->alpha);
            PF_Pixel16 out{};
            blend(&frame, x, y, in, &out);
            if ((out.alpha != want || out.red != in->red || out.blue != in->blue) && sweep.mismatches++ == 0) {
                sweep.first = "trial " + std::to_string(trial) + " pixel " + std::to_string(x) + "," +
                              std::to_string(y) + " alpha " + std::to_string(in->alpha) + ": want " +
                              std::to_string(want) + " got " + std::to_string(out.alpha);
            }
        };
        for (A_long y = 0; y < kSweepH; ++y) {
            for (A_long x = 0; x < kSweepW; ++x) {
                check(x, y, &source.At(x, y));
                if (!sourceOnly) {
                    PF_Pixel16 other = source.At(x, y);
                    other.alpha = static_cast<A_u_short>((other.alpha + 1 + x % 3000) % 32769);
                    check(x, y, &other);
                }
            }
        }
        if (frame.band16Rows.source) {
            for (A_long y = 0; y < frame.band16Rows.rowCount; ++y) {
                sweep.rowsComputed += frame.band16Rows.states[y].load() == kBand16RowReady;
            }
        }
    }
    return sweep;
}

TEST(Band16Rows, ResultsFromTheSourceAreTheExactPaths) {
    const Sweep sweep = RowSweep(144, 1.0, false);
    EXPECT_EQ(sweep.mismatches, 0) << sweep.first;
    // A third of the sweep's frames are feathered ellipses of many rows.
    EXPECT_GT(sweep.rowsComputed, 2000);
}

// The row results prove the bound only if a bound too small fails them.
TEST(Band16Rows, CatchBoundsTooSmall) {
    const Sweep sweep = RowSweep(144, 0.5, true);
    EXPECT_GT(sweep.mismatches, 0);
    EXPECT_GT(sweep.rowsComputed, 2000);
}

// Rows are claimed by whichever callback comes first, in any order: here
// every row right to left and bottom up.
TEST(Band16Rows, AnyOrder) {
    VignetteParams p = InSweep(FALLOFF_GAUSSIAN);
    p.composite_mode = COMPOSITE_INTERSECT;
    const VignetteInfo info = vtest::Info(p);
    Source source(kSweepW, kSweepH, [](A_long x, A_long y) { return (x * 37 + y * 11) % 32769; });
    Source destination(kSweepW, kSweepH, [](A_long, A_long) { return 0; });
    VignetteTables tables;
    VignetteFrame frame;
    PrepareRenderFrame(info, kSweepW, kSweepH, tables, &frame, kPassArgb16, 1.0, &source.layer, &destination.layer);
    ASSERT_NE(frame.band16Rows.source, nullptr);
    const auto blend = ChooseBlend16(frame);
    for (A_long y = kSweepH - 1; y >= 0; --y) {
        for (A_long x = kSweepW - 1; x >= 0; --x) {
            blend(&frame, x, y, &source.At(x, y), &destination.At(x, y));
        }
    }
    long rows = 0, mismatches = 0;
    for (A_long y = 0; y < frame.band16Rows.rowCount; ++y) {
        rows += frame.band16Rows.states[y].load() == kBand16RowReady;
    }
    EXPECT_GT(rows, 100);
    for (A_long y = 0; y < kSweepH; ++y) {
        for (A_long x = 0; x < kSweepW; ++x) {
            mismatches += destination.At(x, y).alpha != Want(info, x, y, source.At(x, y).alpha);
        }
    }
    EXPECT_EQ(mismatches, 0);
}

// Sources the results cannot read are not read, nor one the pass writes (in
// place, or rows shared): no rows, every pixel by its own path.
TEST(Band16Rows, OnlyReadableSourcesApartFromTheOutputGetRows) {
    const VignetteInfo info = vtest::Info(InSweep(FALLOFF_LINEAR));
    Source source(kSweepW, kSweepH, [](A_long, A_long) { return 32768; });
    Source destination(kSweepW, kSweepH, [](A_long, A_long) { return 0; });
    const auto rowsFor = [&](PF_LayerDef from, PF_LayerDef to) {
        VignetteTables tables;
        VignetteFrame frame;
        PrepareRenderFrame(info, kSweepW, kSweepH, tables, &frame, kPassArgb16, 1.0, &from, &to);
        return frame.band16Rows.source != nullptr;
    };
    EXPECT_TRUE(rowsFor(source.layer, destination.layer));
    PF_LayerDef layer = source.layer;
    layer.data = nullptr;
    EXPECT_FALSE(rowsFor(layer, destination.layer));
    layer = source.layer;
    layer.rowbytes = -layer.rowbytes;
    EXPECT_FALSE(rowsFor(layer, destination.layer));
    layer = source.layer;
    layer.rowbytes = static_cast<A_long>(sizeof(PF_Pixel16)) * kSweepW - 1;  // rows overlap
    EXPECT_FALSE(rowsFor(layer, destination.layer));
    layer = source.layer;
    layer.width = 0;
    EXPECT_FALSE(rowsFor(layer, destination.layer));
    EXPECT_FALSE(rowsFor(source.layer, source.layer));
    // The output's last row is the source's first.
    PF_LayerDef shared = source.layer;
    shared.data = &source.At(0, kSweepH - 1);
    EXPECT_FALSE(rowsFor(source.layer, shared));
    EXPECT_FALSE(rowsFor(shared, source.layer));
    // The source begins just where the output ends.
    Source both(kSweepW + 1, kSweepH * 2, [](A_long, A_long) { return 32768; });
    PF_LayerDef before = both.layer, after = both.layer;
    before.height = after.height = kSweepH;
    after.data = &both.At(kSweepW, kSweepH - 1);
    before.rowbytes = after.rowbytes = both.layer.rowbytes;
    before.width = after.width = kSweepW;
    EXPECT_TRUE(rowsFor(after, before));
}

// Through the host: rows split among threads give what one thread gives,
// frame after frame (each frame's rows are claimed afresh).
TEST(Band16Rows, ThreadsGiveOneThreadsFrame) {
    constexpr int kW = 640, kH = 360;
    vhost::World input(vhost::PixelLayout::ARGB16, kW, kH, 8);
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            input.Set(x, y, vhost::Rgba{1000, 2000, 3000, static_cast<double>((x * 37 + y * 101) % 32769)});
        }
    }
    const auto render = [&](int threads, A_long falloff) {
        auto host = vtest::SetUpHost(vhost::HostApp::AfterEffects);
        host->threads = threads;
        auto& p = host->Params();
        p[PARAM_FALLOFF].u.pd.value = falloff;
        p[PARAM_WIDTH].u.fs_d.value = 600;
        p[PARAM_HEIGHT].u.fs_d.value = 300;
        p[PARAM_FEATHER].u.fs_d.value = 120;
        p[PARAM_ORIGIN].u.td.x_value = (kW / 2) << 16;
        p[PARAM_ORIGIN].u.td.y_value = (kH / 2) << 16;
        vhost::World output(vhost::PixelLayout::ARGB16, kW, kH, 4);
        for (int frame = 0; frame < 3; ++frame) {
            EXPECT_EQ(vhost::RenderFrame(*host, input, output, vhost::FrameSettings{}), PF_Err_NONE);
        }
        return std::vector<unsigned char>(output.Bytes().begin(), output.Bytes().end());
    };
    for (A_long falloff : {FALLOFF_LINEAR, FALLOFF_GAMMA}) {
        const auto one = render(1, falloff);
        EXPECT_EQ(render(4, falloff), one) << "falloff " << falloff;
        EXPECT_NE(render(1, FALLOFF_CUBIC), one) << "the frames differ by falloff";
    }
}

}  // namespace
