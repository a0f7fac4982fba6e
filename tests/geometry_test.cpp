// The overlay's geometry called directly, at the edges its drawing never
// reaches: 16.16 rounding and saturation, frames of no height or width, and
// sizes past 16.16. Frames, insets and handles in use are drawn exactly in overlay_test.
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

// A Premiere host's frames (its rotation needs no suite).
struct View {
    std::unique_ptr<vhost::Host> host = vtest::NewHost(vhost::HostApp::Premiere);
    void Frames(Params& p, PF_FixedRect& outer, PF_FixedRect& inner) {
        FixedFrameFromParams(&host->InData(), p.ptrs, &outer, &inner);
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

// A single-precision argument rounds as if x * 65536 were taken in float: that
// product is exact, so the one double conversion serves both.
TEST(GeometryFixed, FloatArgumentsRoundAsTheirSinglePrecisionProduct) {
    const float cases[] = {0.0f,     -0.0f,  1e-8f,     -7.62939453125e-06f, 359.99998f, -359.99998f,
                           32767.5f, 32768.0f, -32768.0f, 1.0e30f,             -3.4e38f,   1.17549435e-38f};
    for (float x : cases) {
        const double product = static_cast<double>(x * 65536.0f);
        const double whole = std::trunc(product + (x < 0.0f ? -0.5 : 0.5));
        const PF_Fixed expected = whole >= 2147483647.0    ? INT32_MAX
                                  : whole <= -2147483648.0 ? INT32_MIN
                                                           : static_cast<PF_Fixed>(whole);
        EXPECT_EQ(FixedFromFloat(x), expected) << x;
    }
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

}  // namespace
