// The mask maths, called directly: the per-frame record, the edge value of each
// zone, the falloff curves, composite modes, opacity and invert, and the
// degenerate inputs that must never produce NaN.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "tests/CurveOracle.h"
#include "tests/MaskSupport.h"
#include "plugin/Vellora/Vellora_Mask.h"

namespace {

using vtest::Blend;
using vtest::Centred;
using vtest::Fix;
using vtest::Info;

// Create mode at full opacity returns the coverage 1 - e, so e = 1 - result.
float Edge(const VignetteInfo& vi, A_long x, A_long y) { return 1.0f - Blend(vi, x, y); }


TEST(MaskRecord, FeatherAtOrAboveTheHalfWidthBecomesOnePixelLess) {
    EXPECT_EQ(Info(Centred(300, 200, 200)).feather, 149.0f);
    EXPECT_EQ(Info(Centred(300, 200, 200)).innerHalfWidth, 1.0f);
    EXPECT_EQ(Info(Centred(300, 200, 150)).feather, 149.0f);
    EXPECT_EQ(Info(Centred(300, 200, 149.5)).feather, 149.5f);
}

TEST(MaskRecord, AScaleWithAZeroTermCountsAsOne) {
    VignetteParams p = Centred(300, 200, 0);
    p.downsample_x = {0, 1};
    p.downsample_y = {1, 0};
    p.pixel_aspect_ratio = {0, 0};
    const VignetteInfo vi = Info(p);
    EXPECT_EQ(vi.pixelToMask[0][0], 1.0f);
    EXPECT_EQ(vi.pixelToMask[1][1], 1.0f);
    EXPECT_EQ(Edge(vi, 500, 400), 0.0f);
}

TEST(MaskShape, EllipseBoundariesFollowTheStrictAndInclusiveTests) {
    // Half-extents 128 and 64 make every form exact: scaleU = 2^-14.
    const VignetteInfo hard = Info(Centred(256, 128, 0));
    EXPECT_EQ(Edge(hard, 500 + 128, 400), 1.0f);  // form exactly 1: outside
    EXPECT_EQ(Edge(hard, 500 - 128, 400), 1.0f);
    EXPECT_EQ(Edge(hard, 500 + 127, 400), 0.0f);
    EXPECT_EQ(Edge(hard, 500, 400 + 64), 1.0f);
    EXPECT_EQ(Edge(hard, 500, 400 + 63), 0.0f);

    // Feather 64 of 128: inner half-extents 64 and 32.
    const VignetteInfo soft = Info(Centred(256, 128, 64));
    EXPECT_EQ(Edge(soft, 500 + 64, 400), 0.0f);  // inner form exactly 1: core
    EXPECT_GT(Edge(soft, 500 + 65, 400), 0.0f);
    EXPECT_EQ(Edge(soft, 500, 400 + 32), 0.0f);
    EXPECT_EQ(Edge(soft, 500 + 128, 400), 1.0f);
}

// The double curve must be the documented formula, and the single-precision
// curve (its short path) must round exactly as the double curve does.
TEST(MaskShape, SinglePrecisionCurvesEqualTheRoundedDoubleCurves) {
    VignetteInfo vi{};
    std::mt19937 rng(5);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::vector<double> ts;
    for (int k = 0; k <= (1 << 18); ++k) ts.push_back(static_cast<double>(k) / (1 << 18));
    for (int k = 0; k < 300000; ++k) ts.push_back(unit(rng));
    for (float t = 1e-30f; t < 1e-2f; t *= 1.37f) ts.push_back(t);
    for (int curve = FALLOFF_LINEAR; curve <= FALLOFF_EXPONENTIAL; ++curve) {
        vi.falloff = curve;
        for (double t : ts) {
            ASSERT_EQ(alphaFunct(&vi, t), vtest::CurveOracle(curve, t)) << "curve " << curve << " t " << t;
            ASSERT_EQ(alphaFunctFloat(&vi, t), static_cast<float>(alphaFunct(&vi, t))) << "curve " << curve << " t " << t;
        }
    }
}

// Each curve's values between are held to the formulas by render_reference_test.
TEST(MaskShape, RampPositionIsClampedBeforeTheCurveAndUnknownCurvesAreLinear) {
    VignetteInfo vi{};
    for (int curve = FALLOFF_LINEAR; curve <= FALLOFF_EXPONENTIAL; ++curve) {
        vi.falloff = curve;
        EXPECT_EQ(alphaFunct(&vi, 0.0), 0.0) << curve;
        EXPECT_EQ(alphaFunct(&vi, -1e-9), 0.0) << curve;  // pow of a negative base would be NaN
        EXPECT_EQ(alphaFunct(&vi, std::nan("")), 0.0) << curve;
        EXPECT_EQ(alphaFunct(&vi, 1.0 + 1e-9), vtest::CurveOracle(curve, 1.0)) << curve;
    }
    vi.falloff = 99;
    EXPECT_EQ(alphaFunct(&vi, 0.3), 0.3);
}

TEST(MaskShape, RectangleUsesWholePixelDistances) {
    VignetteParams p = Centred(300, 200, 0);
    p.mask_type = MASK_RECTANGLE;
    p.origin_x = Fix(10.1);  // u = x - 10.1
    VignetteInfo vi = Info(p);
    EXPECT_EQ(Edge(vi, 160, 400), 0.0f);  // u = 149.9: distance 149
    EXPECT_EQ(Edge(vi, 161, 400), 1.0f);  // u = 150.9: distance 150 >= 150
    EXPECT_EQ(Edge(vi, 10, 400), 0.0f);   // u = -0.1
    p.origin_x = Fix(9.8);
    vi = Info(p);
    EXPECT_EQ(Edge(vi, 160, 400), 1.0f);  // u = 150.2
    EXPECT_EQ(Edge(vi, 9, 400), 0.0f);    // u = -0.8 counts as 0
}

TEST(MaskShape, FarPixelsOfAHugelyScaledRectangleAreOutside) {
    VignetteParams p = Centred(300, 200, 10);
    p.mask_type = MASK_RECTANGLE;
    p.downsample_x = {1, 100000000};  // u grows by 1e8 per column
    p.downsample_y = {1, 100000000};
    const VignetteInfo vi = Info(p);
    for (A_long x : {0, 1000, 100000, -100000}) {
        EXPECT_EQ(Edge(vi, x, 0), 1.0f) << x;
    }
}

TEST(MaskShape, UnusableSizesHaveNoInside) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (int mask : {MASK_ELLIPSE, MASK_RECTANGLE}) {
        for (const auto& size : std::vector<std::pair<double, double>>{{0, 200}, {300, 0}, {-5, 200}, {nan, 200}, {300, nan}}) {
            VignetteParams p = Centred(size.first, size.second, 20);
            p.mask_type = mask;
            const VignetteInfo vi = Info(p);
            for (A_long x : {0, 499, 500, 501, 900}) {
                EXPECT_EQ(Blend(vi, x, 400), 0.0f) << mask << " " << size.first << "x" << size.second;
            }
            p.invert = 1;
            EXPECT_EQ(Blend(Info(p), 500, 400), 1.0f);
        }
    }
}

TEST(MaskShape, NegativeOrNaNFeatherIsAHardEdge) {
    for (double feather : {-40.0, std::numeric_limits<double>::quiet_NaN()}) {
        const VignetteInfo vi = Info(Centred(300, 200, feather));
        EXPECT_EQ(vi.feather, 0.0f);
        EXPECT_EQ(Edge(vi, 500 + 149, 400), 0.0f);
        EXPECT_EQ(Edge(vi, 500 + 150, 400), 1.0f);
    }
    // Narrower than two pixels: one less than the half-width would be negative.
    const VignetteInfo thin = Info(Centred(1.5, 1.5, 5));
    EXPECT_EQ(thin.feather, 0.0f);
    EXPECT_EQ(Edge(thin, 500, 400), 0.0f);
}

// The four modes with every alpha: render_reference_test.
TEST(MaskComposite, UnknownModePassesTheAlphaThrough) {
    for (A_long mode : {0, 5, -1, 1000}) {
        VignetteParams p = Centred(300, 200, 20);
        p.composite_mode = mode;
        const VignetteInfo vi = Info(p);
        EXPECT_EQ(Blend(vi, 500, 400, 0.37f), 0.37f);
        EXPECT_EQ(Blend(vi, 0, 0, 0.81f), 0.81f);
    }
}

TEST(MaskComposite, InvertAndOpacity) {
    VignetteParams p = Centred(300, 200, 0);
    p.invert = 1;
    VignetteInfo vi = Info(p);
    EXPECT_EQ(Blend(vi, 500, 400, 0.6f), 0.0f);  // core transparent
    EXPECT_EQ(Blend(vi, 0, 0, 0.6f), 1.0f);      // outside opaque
    p.invert = 0x100;                            // only the low byte counts
    EXPECT_EQ(Blend(Info(p), 0, 0), 0.0f);

    p = Centred(300, 200, 0);
    p.opacity = 0;
    for (int mode : {COMPOSITE_ADD, COMPOSITE_SUBTRACT}) {
        p.composite_mode = mode;
        EXPECT_EQ(Blend(Info(p), 500, 400, 0.42f), 0.42f);
    }
    for (int mode : {COMPOSITE_INTERSECT, COMPOSITE_CREATE}) {
        p.composite_mode = mode;
        EXPECT_EQ(Blend(Info(p), 500, 400, 0.42f), 0.0f);
    }
}

// The curves' short paths settle a rounding only within a bound of 4e-14
// relative; the table-free exp and the log of the vectorised loops must stay
// well inside it (the scalar path's are libm's log and a table's exp).
TEST(MaskShape, TableFreeExpAndLogStayFarInsideTheCurvesBound) {
    std::mt19937_64 rng(19);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    double worstExp = 0.0, worstLog = 0.0;
    for (int i = 0; i < 2000000; ++i) {
        const double x = -unit(rng) * (i % 3 == 0 ? 700.0 : 8.0);
        const long double e = std::exp(static_cast<long double>(x));
        worstExp = std::max(worstExp, static_cast<double>(std::fabs((vellora_detail::ExpNonPositivePoly(x) - e) / e)));
        const double t = std::max(std::ldexp(0.5 + 0.5 * unit(rng), -static_cast<int>(i % 21)), 0x1p-20);
        const long double l = std::log(static_cast<long double>(t));
        worstLog = std::max(worstLog, static_cast<double>(std::fabs(vellora_detail::LogPositivePoly(t) - l)));
    }
    EXPECT_LT(worstExp, 1e-15);
    EXPECT_LT(worstLog, 4e-15);
    EXPECT_EQ(vellora_detail::ExpNonPositivePoly(0.0), 1.0);
    EXPECT_EQ(vellora_detail::LogPositivePoly(1.0), 0.0);
}

}  // namespace
