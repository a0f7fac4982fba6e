// Rendering through the loaded module, as a host renders frames: extent hints,
// the grid scale, the angle's direction and errors of the host's suites. Every
// pixel of every format against the formulas: render_reference_test.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <vector>

#include "params/EffectParams.h"
#include "host/Render.h"
#include "host/RenderSuites.h"
#include "tests/TestSupport.h"
#include "plugin/Vellora/Vellora.h"
#include "host/World.h"

namespace {

using vhost::HostApp;
using vhost::PixelLayout;
using vhost::Rgba;
using vhost::World;

constexpr int kW = 64;
constexpr int kH = 48;

struct Format {
    HostApp app;
    PixelLayout layout;
};

const Format kFormats[] = {{HostApp::AfterEffects, PixelLayout::ARGB8},
                           {HostApp::AfterEffects, PixelLayout::ARGB16},
                           {HostApp::Premiere, PixelLayout::BGRA8},
                           {HostApp::Premiere, PixelLayout::BGRA32F}};

// Colour from the position, alpha 60 % of full scale.
World Input(PixelLayout layout, size_t padding = 0, int w = kW, int h = kH) {
    World world(layout, w, h, padding);
    const double full = world.FullScale();
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const double alpha = full == 1.0 ? 0.6 : std::round(full * 0.6);
            world.Set(x, y, Rgba{full * x / w, full * y / h, full * 0.25, alpha});
        }
    }
    return world;
}

// Fills every byte (padding included) with a marker the render must not touch outside pixels.
void Mark(World& world) { std::fill(world.Bytes().begin(), world.Bytes().end(), 0xA5); }

std::unique_ptr<vhost::Host> HostWith(HostApp app, const vparams::EffectValues& values, int w = kW, int h = kH) {
    auto host = vtest::SetUpHost(app);
    vparams::ApplyEffectValues(*host, values, w, h);
    return host;
}

vparams::EffectValues HardEllipse() {
    vparams::EffectValues v;
    v.width = 40;
    v.height = 24;
    v.origin_x = 31.5;
    v.origin_y = 23.5;
    return v;  // Create mode: alpha full inside, 0 outside
}

int CountOpaque(const World& w, bool along_row, int at) {
    int n = 0;
    const int len = along_row ? w.Width() : w.Height();
    for (int i = 0; i < len; ++i) n += (along_row ? w.Get(i, at) : w.Get(at, i)).a > 0;
    return n;
}

TEST(Render, AngleNinetyRunsTheWidthDownTheScreen) {
    vparams::EffectValues v;
    v.mask_type = MASK_RECTANGLE;
    v.width = 40;
    v.height = 10;
    v.angle = 90;
    v.origin_x = 32.5;
    v.origin_y = 24.5;
    auto host = HostWith(HostApp::AfterEffects, v);
    World input = Input(PixelLayout::ARGB8), output(PixelLayout::ARGB8, kW, kH);
    ASSERT_EQ(vhost::RenderFrame(*host, input, output), PF_Err_NONE);
    EXPECT_EQ(CountOpaque(output, false, 32), 40);  // down the centre column
    EXPECT_EQ(CountOpaque(output, true, 24), 10);   // across the centre row
}

TEST(Render, IteratePassesCoverTheWholeOutputWhateverTheExtentHint) {
    auto host = HostWith(HostApp::AfterEffects, HardEllipse());
    World input = Input(PixelLayout::ARGB8), output(PixelLayout::ARGB8, kW, kH);
    output.SetExtentHint(PF_Rect{10, 10, 20, 20});
    std::vector<std::pair<long, long>> progress;
    host->on_progress = [&](A_long current, A_long total) { progress.emplace_back(current, total); };
    host->threads = 4;
    ASSERT_EQ(vhost::RenderFrame(*host, input, output), PF_Err_NONE);
    EXPECT_EQ(output.Get(31, 23).a, 255.0);  // far outside the hint
    EXPECT_EQ(output.Get(0, 0).r, input.Get(0, 0).r);
    EXPECT_EQ(output.Get(kW - 1, kH - 1).g, input.Get(kW - 1, kH - 1).g);
    // Progress runs up to the hint's row count, the final given to iterate.
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().second, 10);
    for (size_t i = 1; i < progress.size(); ++i) {
        EXPECT_GT(progress[i].first, progress[i - 1].first);  // only advances, whatever the threads' order
    }
    EXPECT_EQ(progress.back().first, 10);
}

TEST(Render, FloatRowsFollowTheHintAndStayInsideBothBuffers) {
    auto host = HostWith(HostApp::Premiere, HardEllipse());
    // A smaller input with different row padding: only the shared rows and columns are written.
    World input = Input(PixelLayout::BGRA32F, 48, kW - 10, kH - 8);
    World output(PixelLayout::BGRA32F, kW, kH, 16);
    Mark(output);
    const World before = output.Clone();
    ASSERT_EQ(vhost::RenderFrame(*host, input, output), PF_Err_NONE);
    for (int y = 0; y < kH; ++y) {
        for (int x = 0; x < kW; ++x) {
            const bool shared = x < kW - 10 && y < kH - 8;
            if (shared) {
                ASSERT_EQ(output.Get(x, y).r, input.Get(x, y).r) << x << "," << y;
            } else {
                ASSERT_EQ(std::memcmp(output.PixelBytes(x, y), before.PixelBytes(x, y), 16), 0) << x << "," << y;
            }
        }
    }
    // The hint's height counts rows from the first row of the buffer.
    World full_input = Input(PixelLayout::BGRA32F);
    World hinted(PixelLayout::BGRA32F, kW, kH);
    Mark(hinted);
    hinted.SetExtentHint(PF_Rect{0, 30, kW, 35});
    const World untouched = hinted.Clone();
    ASSERT_EQ(vhost::RenderFrame(*host, full_input, hinted), PF_Err_NONE);
    EXPECT_EQ(hinted.Get(3, 4).r, full_input.Get(3, 4).r);
    EXPECT_EQ(std::memcmp(hinted.Row(5), untouched.Row(5), hinted.RowBytes()), 0);
    EXPECT_TRUE(vtest::LedgersBalanced(*host));
}

// A frame in a format the effect did not register, or no pixel-format suite
// to ask with: refused, the output untouched, every suite given back.
TEST(Render, PremiereFramesItCannotReadAreRefusedUntouched) {
    for (bool suite_missing : {false, true}) {
        auto host = HostWith(HostApp::Premiere, HardEllipse());
        World input = Input(PixelLayout::BGRA8), output(PixelLayout::BGRA8, kW, kH);
        Mark(output);
        const World before = output.Clone();
        vhost::FrameSettings settings;
        if (suite_missing) {
            host->Faults().withheld_suites = {kPFPixelFormatSuite};
        } else {
            settings.premiere_format = PrPixelFormat_VUYA_4444_8u;
        }
        EXPECT_EQ(vhost::RenderFrame(*host, input, output, settings),
                  suite_missing ? PF_Err_BAD_CALLBACK_PARAM : PF_Err_UNRECOGNIZED_PARAM_TYPE);
        EXPECT_EQ((host->OutData().out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE) != 0, suite_missing);
        EXPECT_EQ(output.Bytes(), before.Bytes());
        EXPECT_TRUE(vtest::LedgersBalanced(*host));
    }
}

// Errors of the host's iterate, an interruption and a missing iterate suite
// are the command's result, with every suite given back.
TEST(Render, IterateErrorsAreTheCommandsResult) {
    for (const Format& format : kFormats) {
        if (format.layout == PixelLayout::BGRA32F) continue;  // the plug-in's own loop
        SCOPED_TRACE(vhost::PixelLayoutName(format.layout));
        auto host = HostWith(format.app, HardEllipse());
        World input = Input(format.layout), output(format.layout, kW, kH);
        host->Faults().injected_error = PF_Err_OUT_OF_MEMORY;
        host->Faults().FailCall("iterate", 1);
        EXPECT_EQ(vhost::RenderFrame(*host, input, output), PF_Err_OUT_OF_MEMORY);
        EXPECT_TRUE(vtest::LedgersBalanced(*host));

        host->Faults().Clear();
        host->Faults().abort_after_rows = 0;  // the user interrupts at once
        EXPECT_EQ(vhost::RenderFrame(*host, input, output), PF_Interrupt_CANCEL);
        EXPECT_TRUE(vtest::LedgersBalanced(*host));

        host->Faults().Clear();
        host->Faults().withheld_suites = {kPFIterate8Suite, kPFIterate16Suite};
        const int released = host->Suites().Releases(kPFPixelFormatSuite);
        EXPECT_EQ(vhost::RenderFrame(*host, input, output), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_TRUE(vtest::LedgersBalanced(*host));
        // Premiere's pixel-format suite is given back while the error travels out.
        EXPECT_EQ(host->Suites().Releases(kPFPixelFormatSuite) - released, format.app == HostApp::Premiere ? 1 : 0);
    }
}

TEST(Render, WorldsWithoutPixelsAreRefusedInEveryFormat) {
    for (const Format& format : kFormats) {
        SCOPED_TRACE(vhost::PixelLayoutName(format.layout));
        auto host = HostWith(format.app, HardEllipse());
        World input = Input(format.layout), output(format.layout, kW, kH);
        for (int which = 0; which < 2; ++which) {
            // The host hands over a world record whose pixel data is missing.
            World& hollow = which == 0 ? input : output;
            vhost::PrepareFrame(*host, input, output, {});
            const PF_PixelPtr data = hollow.Def().data;
            hollow.Def().data = nullptr;
            if (&hollow == &input) host->Params()[PARAM_INPUT].u.ld.data = nullptr;
            EXPECT_EQ(vhost::SendRender(*host, output, {}), PF_Err_BAD_CALLBACK_PARAM) << "no pixels in world " << which;
            hollow.Def().data = data;
            EXPECT_TRUE(vtest::LedgersBalanced(*host));
        }
    }
}

// The host's iterate directly: a non-null area, callback errors, bad worlds.
std::atomic<int> g_calls{0};
PF_Err MarkPixel(void* refcon, A_long x, A_long y, PF_Pixel* in, PF_Pixel* out) {
    ++g_calls;
    *out = *in;
    out->alpha = 1;
    if (refcon && x == 5 && y == 6) return PF_Err_INTERNAL_STRUCT_DAMAGED;
    return PF_Err_NONE;
}

TEST(HostIterate, HonoursTheAreaAndReturnsTheCallbacksError) {
    auto host = vtest::NewHost();
    World src(PixelLayout::ARGB8, 16, 12, 8), dst(PixelLayout::ARGB8, 16, 12, 4);
    const PF_Rect area{3, 2, 9, 7};
    g_calls = 0;
    ASSERT_EQ(vhost::IteratePixels8(*host, 0, 5, &src.Def(), &area, nullptr, &MarkPixel, &dst.Def()), PF_Err_NONE);
    EXPECT_EQ(g_calls, 6 * 5);
    for (int y = 0; y < 12; ++y) {
        for (int x = 0; x < 16; ++x) {
            const bool inside = x >= 3 && x < 9 && y >= 2 && y < 7;
            ASSERT_EQ(dst.Get(x, y).a, inside ? 1.0 : 0.0) << x << "," << y;
        }
    }
    int flag = 1;
    host->threads = 3;
    EXPECT_EQ(vhost::IteratePixels8(*host, 0, 12, &src.Def(), nullptr, &flag, &MarkPixel, &dst.Def()),
              PF_Err_INTERNAL_STRUCT_DAMAGED);
    World small(PixelLayout::ARGB8, 8, 8);
    EXPECT_EQ(vhost::IteratePixels8(*host, 0, 12, &small.Def(), nullptr, nullptr, &MarkPixel, &dst.Def()),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(vhost::IteratePixels8(*host, 0, 12, &src.Def(), nullptr, nullptr, nullptr, &dst.Def()),
              PF_Err_BAD_CALLBACK_PARAM);
}

}  // namespace
