// The overlay's geometry called directly, with the reference host's window
// conversions: 16.16 rounding, mask frames, rotation and handle layout.
#include <cmath>
#include <limits>
#include <memory>

#include <gtest/gtest.h>

#include "overlay/Overlay.h"
#include "tests/TestSupport.h"
#include "plugin/Vellora/Vellora_UI.h"

namespace {

const double kFix = 65536.0;
PF_Fixed Fx(double v) { return static_cast<PF_Fixed>(std::lround(v * kFix)); }

struct Params {
    PF_ParamDef defs[PARAM_COUNT]{};
    PF_ParamDef* ptrs[PARAM_COUNT]{};
    Params(double ox, double oy, double w, double h, double feather = 0, double angle = 0, double opacity = 100) {
        for (int i = 0; i < PARAM_COUNT; ++i) ptrs[i] = &defs[i];
        defs[PARAM_ORIGIN].u.td = PF_PointDef{Fx(ox), Fx(oy), 0, 0, 0};
        defs[PARAM_WIDTH].u.fs_d.value = w;
        defs[PARAM_HEIGHT].u.fs_d.value = h;
        defs[PARAM_FEATHER].u.fs_d.value = feather;
        defs[PARAM_ANGLE].u.ad.value = Fx(angle);
        defs[PARAM_OPACITY].u.fd.value = Fx(opacity);
    }
};

// A Premiere host (its rotation needs no suite) and one window over a 400 x 500 layer.
struct View {
    std::unique_ptr<vhost::Host> host = vtest::NewHost(vhost::HostApp::Premiere);
    std::unique_ptr<voverlay::OverlayWindow> window;
    PF_EventExtra event{};
    explicit View(voverlay::WindowView view = {}, PF_RationalScale par = {1, 1}) {
        window = std::make_unique<voverlay::OverlayWindow>(*host, view, 400, 500);
        event = window->NewEvent(PF_Event_DRAW);
        in().pixel_aspect_ratio = par;
        in().height = 500;
    }
    PF_InData& in() { return host->InData(); }
    void Frames(Params& p, PF_FixedRect& outer, PF_FixedRect& inner) {
        FixedFrameFromParams(&in(), p.ptrs, &outer, &inner);
    }
    OverlayLayout Layout(Params& p) {
        OverlayLayout l;
        ComputeOverlayLayout(&in(), p.ptrs, &event, &l);
        return l;
    }
};

TEST(GeometryFixed, RoundsHalfAwayFromZeroAndSaturates) {
    EXPECT_EQ(FixedFromFloat(-2.25), -147456);
    EXPECT_EQ(FixedFromFloat(0.5 / kFix), 1);
    EXPECT_EQ(FixedFromFloat(-0.5 / kFix), -1);
    EXPECT_EQ(FixedFromFloat(0.49 / kFix), 0);
    EXPECT_EQ(FixedFromFloat(-90.0f), -5898240);
    EXPECT_EQ(FixedFromFloat(32767.0), 32767 * 65536);
    EXPECT_EQ(FixedFromFloat(40000.0), INT32_MAX);
    EXPECT_EQ(FixedFromFloat(-std::numeric_limits<double>::infinity()), INT32_MIN);
    EXPECT_EQ(FixedFromFloat(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(FixedFromFloat(std::numeric_limits<float>::quiet_NaN()), 0);
}

TEST(GeometryFrame, OuterAndInnerFrames) {
    PF_FixedRect outer, inner;
    View square;
    Params plain(100, 80, 300, 200);
    square.Frames(plain, outer, inner);
    EXPECT_EQ(outer.left, Fx(-50));
    EXPECT_EQ(outer.top, Fx(-20));
    EXPECT_EQ(outer.right, Fx(250));
    EXPECT_EQ(outer.bottom, Fx(180));
    EXPECT_EQ(inner.left, outer.left);
    EXPECT_EQ(inner.bottom, outer.bottom);

    // Feather 30 on 300 x 200: inset 30 across and 20 down.
    Params feathered(400, 300, 300, 200, 30);
    square.Frames(feathered, outer, inner);
    EXPECT_EQ(inner.left - outer.left, Fx(30));
    EXPECT_EQ(outer.right - inner.right, Fx(30));
    EXPECT_EQ(inner.top - outer.top, Fx(20));
    EXPECT_EQ(outer.bottom - inner.bottom, Fx(20));

    // Pixel aspect 10/11: 150 square pixels are 165 layer pixels; the height is untouched.
    View narrow({}, {10, 11});
    narrow.Frames(feathered, outer, inner);
    EXPECT_NEAR(outer.left, Fx(400 - 165), 8);
    EXPECT_NEAR(outer.right, Fx(400 + 165), 8);
    EXPECT_EQ(outer.top, Fx(200));
    EXPECT_NEAR(inner.left - outer.left, Fx(33), 8);
    EXPECT_EQ(inner.top - outer.top, Fx(20));
}

TEST(GeometryFrame, ZeroHeightOrWidthGivesNoVerticalInsetAndHugeSizesSaturate) {
    View v;
    PF_FixedRect outer, inner;
    const double sizes[][3] = {{300, 0, 0}, {300, 0, 25}, {0, 200, 25}, {0, 0, 25}};
    for (const auto& s : sizes) {
        Params p(50, 60, s[0], s[1], s[2]);
        v.Frames(p, outer, inner);
        EXPECT_EQ(inner.top, outer.top) << s[0] << "x" << s[1];
        EXPECT_EQ(inner.bottom, outer.bottom) << s[0] << "x" << s[1];
        EXPECT_EQ(inner.left - outer.left, Fx(s[2]));
    }
    Params huge(100, 100, 1e9, 1e9);
    v.Frames(huge, outer, inner);
    EXPECT_LT(outer.left, 0);  // no wrap-around
    EXPECT_LT(outer.top, 0);
    EXPECT_EQ(outer.right, INT32_MAX);
    EXPECT_EQ(outer.bottom, INT32_MAX);
}

TEST(GeometryHandles, LayoutInWindowPixels) {
    View v;
    Params p(200, 250, 300, 200, 30, 0, 100);
    OverlayLayout l = v.Layout(p);
    const double expected[HANDLE_COUNT + 1][2] = {
        {200, 250},                           // centre
        {50, 150},  {350, 150},  {50, 350},  {350, 350},  // corners
        {200, 150},                           // rotation: a fifth of the 500-pixel height above
        {80, 250},  {320, 250},  {200, 170}, {200, 330},  // feather handles, inset 30 and 20
        {160, 200}};                          // opacity 100: 40 left, 50 above
    for (int h = 0; h <= HANDLE_COUNT; ++h) {
        EXPECT_EQ(l.handles[h].x, Fx(expected[h][0])) << h;
        EXPECT_EQ(l.handles[h].y, Fx(expected[h][1])) << h;
    }
    // Opacity 0: 50 below the centre.
    Params clear(200, 250, 300, 200, 30, 0, 0);
    EXPECT_EQ(v.Layout(clear).handles[HANDLE_OPACITY].y, Fx(300));
}

}  // namespace
