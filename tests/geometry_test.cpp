// The overlay's geometry, called directly: 16.16 rounding, the mask frames,
// the rotation of corner records, the window conversions and handle layout.
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Vellora_UI.h"

namespace {

const double kFix = 65536.0;

PF_Fixed Fx(double v) { return static_cast<PF_Fixed>(std::lround(v * kFix)); }

// Parameter values as a host holds them; origin in layer pixels.
struct Params {
    PF_ParamDef defs[PARAM_COUNT]{};
    PF_ParamDef* ptrs[PARAM_COUNT]{};
    Params(double ox, double oy, double w, double h, double feather = 0, double angle_deg = 0,
           double opacity = 100) {
        for (int i = 0; i < PARAM_COUNT; ++i) ptrs[i] = &defs[i];
        defs[PARAM_MASK_TYPE].u.pd.value = 1;
        defs[PARAM_ORIGIN].u.td.x_value = Fx(ox);
        defs[PARAM_ORIGIN].u.td.y_value = Fx(oy);
        defs[PARAM_WIDTH].u.fs_d.value = w;
        defs[PARAM_HEIGHT].u.fs_d.value = h;
        defs[PARAM_FEATHER].u.fs_d.value = feather;
        defs[PARAM_ANGLE].u.ad.value = Fx(angle_deg);
        defs[PARAM_OPACITY].u.fd.value = Fx(opacity);
    }
    PF_ParamDef** get() { return ptrs; }
};

// A view with zoom, pan and the layer's offset in the composition; records the callbacks made.
struct FakeView {
    double zoom = 1, pan_x = 0, pan_y = 0, off_x = 0, off_y = 0;
    std::vector<std::string> calls;
};

PF_Err LayerToComp(void* refcon, PF_ContextH, A_long, A_long, PF_FixedPoint* pt) {
    auto* v = static_cast<FakeView*>(refcon);
    v->calls.push_back("layer_to_comp");
    pt->x += Fx(v->off_x);
    pt->y += Fx(v->off_y);
    return PF_Err_NONE;
}
PF_Err CompToLayer(void* refcon, PF_ContextH, A_long, A_long, PF_FixedPoint* pt) {
    auto* v = static_cast<FakeView*>(refcon);
    v->calls.push_back("comp_to_layer");
    pt->x -= Fx(v->off_x);
    pt->y -= Fx(v->off_y);
    return PF_Err_NONE;
}
PF_Err SourceToFrame(void* refcon, PF_ContextH, PF_FixedPoint* pt) {
    auto* v = static_cast<FakeView*>(refcon);
    v->calls.push_back("source_to_frame");
    pt->x = static_cast<PF_Fixed>(std::lround(pt->x * v->zoom + v->pan_x * kFix));
    pt->y = static_cast<PF_Fixed>(std::lround(pt->y * v->zoom + v->pan_y * kFix));
    return PF_Err_NONE;
}
PF_Err FrameToSource(void* refcon, PF_ContextH, PF_FixedPoint* pt) {
    auto* v = static_cast<FakeView*>(refcon);
    v->calls.push_back("frame_to_source");
    pt->x = static_cast<PF_Fixed>(std::lround((pt->x - v->pan_x * kFix) / v->zoom));
    pt->y = static_cast<PF_Fixed>(std::lround((pt->y - v->pan_y * kFix) / v->zoom));
    return PF_Err_NONE;
}

struct Event {
    FakeView view;
    PF_Context context{};
    PF_ContextP context_ptr = &context;
    PF_EventExtra extra{};
    explicit Event(PF_WindowType type) {
        context.w_type = type;
        extra.contextH = &context_ptr;
        extra.cbs.refcon = &view;
        extra.cbs.layer_to_comp = &LayerToComp;
        extra.cbs.comp_to_layer = &CompToLayer;
        extra.cbs.source_to_frame = &SourceToFrame;
        extra.cbs.frame_to_source = &FrameToSource;
    }
};

// Premiere: the rotation needs no host suite, so these run without a host.
PF_InData PremiereInData(A_long num = 1, A_u_long den = 1, A_long height = 500) {
    PF_InData in{};
    in.appl_id = PF_APPL_ID_PREMIERE;
    in.pixel_aspect_ratio = {num, den};
    in.height = height;
    in.time_scale = 30;
    return in;
}

TEST(GeometryFixed, RoundsHalfAwayFromZero) {
    EXPECT_EQ(FixedFromFloat(1.0), 65536);
    EXPECT_EQ(FixedFromFloat(-2.25), -147456);
    EXPECT_EQ(FixedFromFloat(0.5 / kFix), 1);
    EXPECT_EQ(FixedFromFloat(-0.5 / kFix), -1);
    EXPECT_EQ(FixedFromFloat(0.49 / kFix), 0);
    EXPECT_EQ(FixedFromFloat(-0.49 / kFix), 0);
    EXPECT_EQ(FixedFromFloat(0.0), 0);
    EXPECT_EQ(FixedFromFloat(1.75f), 114688);
    EXPECT_EQ(FixedFromFloat(-90.0f), -5898240);
}

TEST(GeometryFixed, SaturatesOutsideTheRangeAndGivesZeroForNaN) {
    EXPECT_EQ(FixedFromFloat(40000.0), INT32_MAX);
    EXPECT_EQ(FixedFromFloat(-40000.0), INT32_MIN);
    EXPECT_EQ(FixedFromFloat(std::numeric_limits<double>::infinity()), INT32_MAX);
    EXPECT_EQ(FixedFromFloat(-std::numeric_limits<double>::infinity()), INT32_MIN);
    EXPECT_EQ(FixedFromFloat(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(FixedFromFloat(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(FixedFromFloat(1e30f), INT32_MAX);
    // The largest value that still fits rounds normally.
    EXPECT_EQ(FixedFromFloat(32767.0), 32767 * 65536);
}

TEST(GeometryFrame, AngleZeroSquarePixels) {
    PF_InData in = PremiereInData();
    Params p(100, 80, 300, 200);
    PF_FixedRect outer, inner;
    FixedFrameFromParams(&in, p.get(), &outer, &inner);
    EXPECT_EQ(outer.left, Fx(-50));
    EXPECT_EQ(outer.right, Fx(250));
    EXPECT_EQ(outer.top, Fx(-20));
    EXPECT_EQ(outer.bottom, Fx(180));
    // No feather: the inner frame is the outer one.
    EXPECT_EQ(inner.left, outer.left);
    EXPECT_EQ(inner.right, outer.right);
    EXPECT_EQ(inner.top, outer.top);
    EXPECT_EQ(inner.bottom, outer.bottom);
}

TEST(GeometryFrame, FeatherInsetKeepsTheProportions) {
    PF_InData in = PremiereInData();
    Params p(400, 300, 300, 200, 30);
    PF_FixedRect outer, inner;
    FixedFrameFromParams(&in, p.get(), &outer, &inner);
    EXPECT_EQ(inner.left - outer.left, Fx(30));
    EXPECT_EQ(outer.right - inner.right, Fx(30));
    EXPECT_EQ(inner.top - outer.top, Fx(20));
    EXPECT_EQ(outer.bottom - inner.bottom, Fx(20));
}

TEST(GeometryFrame, PixelAspectScalesOnlyTheHorizontal) {
    PF_InData in = PremiereInData(10, 11);
    Params p(400, 300, 300, 200, 30);
    PF_FixedRect outer, inner;
    FixedFrameFromParams(&in, p.get(), &outer, &inner);
    // 150 square pixels are 165 layer pixels at 10/11; single precision allows a few units.
    EXPECT_NEAR(outer.left, Fx(400 - 165), 8);
    EXPECT_NEAR(outer.right, Fx(400 + 165), 8);
    EXPECT_EQ(outer.top, Fx(200));
    EXPECT_EQ(outer.bottom, Fx(400));
    EXPECT_NEAR(inner.left - outer.left, Fx(33), 8);
    EXPECT_EQ(inner.top - outer.top, Fx(20));
}

TEST(GeometryFrame, ZeroHeightOrWidthGivesNoVerticalInset) {
    PF_InData in = PremiereInData();
    for (double w : {300.0, 0.0}) {
        for (double h : {0.0, 200.0}) {
            if (w != 0.0 && h != 0.0) continue;
            for (double f : {0.0, 25.0}) {
                Params p(50, 60, w, h, f);
                PF_FixedRect outer, inner;
                FixedFrameFromParams(&in, p.get(), &outer, &inner);
                SCOPED_TRACE("w=" + std::to_string(w) + " h=" + std::to_string(h) + " f=" + std::to_string(f));
                EXPECT_EQ(inner.top, outer.top);
                EXPECT_EQ(inner.bottom, outer.bottom);
                EXPECT_EQ(outer.bottom - outer.top, Fx(h));
                EXPECT_EQ(inner.left - outer.left, Fx(f));
            }
        }
    }
}

TEST(GeometryFrame, HugeSizesSaturateInsteadOfWrapping) {
    PF_InData in = PremiereInData();
    Params p(100, 100, 1e9, 1e9);
    PF_FixedRect outer, inner;
    FixedFrameFromParams(&in, p.get(), &outer, &inner);
    EXPECT_LT(outer.left, outer.right);
    EXPECT_LT(outer.top, outer.bottom);
    EXPECT_EQ(outer.right, INT32_MAX);
    EXPECT_EQ(outer.bottom, INT32_MAX);
}

PF_FixedRectPoints Corners(double l, double t, double r, double b) {
    PF_FixedRectPoints c;
    c.topLeft = {Fx(l), Fx(t)};
    c.topRight = {Fx(r), Fx(t)};
    c.bottomLeft = {Fx(l), Fx(b)};
    c.bottomRight = {Fx(r), Fx(b)};
    return c;
}

TEST(GeometryRotation, AngleZeroLeavesCornersAlone) {
    PF_InData in = PremiereInData();
    PF_FixedRectPoints c = Corners(10.5, 20.25, 30, 40);
    const PF_FixedRectPoints before = c;
    PF_FixedPoint centre = {Fx(20), Fx(30)};
    RotateFixedRect(&in, &c, &centre, 0.0f);
    EXPECT_EQ(c.topLeft.x, before.topLeft.x);
    EXPECT_EQ(c.topLeft.y, before.topLeft.y);
    EXPECT_EQ(c.bottomRight.x, before.bottomRight.x);
    EXPECT_EQ(c.bottomRight.y, before.bottomRight.y);
}

TEST(GeometryRotation, QuarterTurnIsClockwiseOnScreen) {
    PF_InData in = PremiereInData();
    // A 20 x 10 rectangle about (100, 50).
    PF_FixedRectPoints c = Corners(90, 45, 110, 55);
    PF_FixedPoint centre = {Fx(100), Fx(50)};
    const float quarter = static_cast<float>(90.0 * 0.017453292519943295);
    RotateFixedRect(&in, &c, &centre, quarter);
    // y grows downwards: the top-left corner (-10, -5) turns to (5, -10).
    EXPECT_NEAR(c.topLeft.x, Fx(105), 2);
    EXPECT_NEAR(c.topLeft.y, Fx(40), 2);
    EXPECT_NEAR(c.topRight.x, Fx(105), 2);
    EXPECT_NEAR(c.topRight.y, Fx(60), 2);
    EXPECT_NEAR(c.bottomLeft.x, Fx(95), 2);
    EXPECT_NEAR(c.bottomLeft.y, Fx(40), 2);
    EXPECT_NEAR(c.bottomRight.x, Fx(95), 2);
    EXPECT_NEAR(c.bottomRight.y, Fx(60), 2);
}

TEST(GeometryRotation, ThirtyDegreesMatchesTheFormula) {
    PF_InData in = PremiereInData();
    PF_FixedRectPoints c = Corners(0, 0, 64, 32);
    PF_FixedPoint centre = {Fx(16), Fx(8)};
    const float a = static_cast<float>(30.0 * 0.017453292519943295);
    RotateFixedRect(&in, &c, &centre, a);
    const double C = std::cos(static_cast<double>(a)), S = std::sin(static_cast<double>(a));
    // bottomRight (64, 32) relative to (16, 8) is (48, 24).
    const double x = Fx(16) + (48 * kFix * C - S * 24 * kFix);
    const double y = Fx(8) + (S * 48 * kFix + C * 24 * kFix);
    EXPECT_EQ(c.bottomRight.x, static_cast<PF_Fixed>(std::trunc(x)));
    EXPECT_EQ(c.bottomRight.y, static_cast<PF_Fixed>(std::trunc(y)));
}

TEST(GeometryConversion, CompositionWindowGoesThroughTheComposition) {
    PF_InData in = PremiereInData();
    Event comp(PF_Window_COMP);
    comp.view.zoom = 2;
    comp.view.off_x = 30;
    comp.view.off_y = -10;
    comp.view.pan_x = 5;
    PF_FixedPoint p = {Fx(10), Fx(20)};
    Source2FramePoint(&in, &comp.extra, &p);
    EXPECT_EQ(p.x, Fx((10 + 30) * 2 + 5));
    EXPECT_EQ(p.y, Fx((20 - 10) * 2));
    EXPECT_EQ(comp.view.calls, (std::vector<std::string>{"layer_to_comp", "source_to_frame"}));

    // Back again, the window point and the layer point being one record.
    comp.view.calls.clear();
    PF_Point wp = {85, 20};
    PF_FixedPoint lf;
    CompFrame2Layer(&in, &comp.extra, &wp, &wp, &lf);
    EXPECT_EQ(lf.x, Fx(10));
    EXPECT_EQ(lf.y, Fx(20));
    EXPECT_EQ(wp.h, 10);
    EXPECT_EQ(wp.v, 20);
    EXPECT_EQ(comp.view.calls, (std::vector<std::string>{"frame_to_source", "comp_to_layer"}));
}

TEST(GeometryConversion, LayerWindowNeverTouchesTheComposition) {
    PF_InData in = PremiereInData();
    Event layer(PF_Window_LAYER);
    layer.view.zoom = 0.5;
    PF_FixedRect r = {Fx(10), Fx(20), Fx(30), Fx(40)};
    PF_FixedRectPoints c;
    Source2FrameRect(&in, &layer.extra, &r, &c);
    EXPECT_EQ(c.topLeft.x, Fx(5));
    EXPECT_EQ(c.topRight.x, Fx(15));
    EXPECT_EQ(c.bottomLeft.y, Fx(20));
    EXPECT_EQ(c.bottomRight.y, Fx(20));
    PF_Point wp = {7, 9};
    PF_Point lp;
    PF_FixedPoint lf;
    LayerFrame2Layer(&in, &layer.extra, &wp, &lp, &lf);
    EXPECT_EQ(lf.x, Fx(14));
    EXPECT_EQ(lf.y, Fx(18));
    for (const auto& call : layer.view.calls) {
        EXPECT_NE(call, "layer_to_comp");
        EXPECT_NE(call, "comp_to_layer");
    }
}

TEST(GeometryHandles, LayoutAtAngleZero) {
    PF_InData in = PremiereInData(1, 1, 500);
    Event layer(PF_Window_LAYER);
    Params p(400, 300, 300, 200, 30, 0, 100);
    OverlayLayout l;
    ComputeOverlayLayout(&in, p.get(), &layer.extra, &l);
    EXPECT_EQ(l.centre.x, Fx(400));
    EXPECT_EQ(l.handles[HANDLE_TOP_LEFT].x, Fx(250));
    EXPECT_EQ(l.handles[HANDLE_TOP_LEFT].y, Fx(200));
    EXPECT_EQ(l.handles[HANDLE_BOTTOM_RIGHT].x, Fx(550));
    EXPECT_EQ(l.handles[HANDLE_BOTTOM_RIGHT].y, Fx(400));
    // A fifth of the 500-pixel layer height straight above the centre.
    EXPECT_EQ(l.handles[HANDLE_ROTATION].x, Fx(400));
    EXPECT_EQ(l.handles[HANDLE_ROTATION].y, Fx(200));
    // Feather handles on the inner frame, inset 30 across and 20 down.
    EXPECT_EQ(l.handles[HANDLE_FEATHER_LEFT].x, Fx(280));
    EXPECT_EQ(l.handles[HANDLE_FEATHER_LEFT].y, Fx(300));
    EXPECT_EQ(l.handles[HANDLE_FEATHER_RIGHT].x, Fx(520));
    EXPECT_EQ(l.handles[HANDLE_FEATHER_TOP].y, Fx(220));
    EXPECT_EQ(l.handles[HANDLE_FEATHER_BOTTOM].y, Fx(380));
    EXPECT_EQ(l.handles[HANDLE_FEATHER_BOTTOM].x, Fx(400));
    // Opacity 100: 40 left of the centre and 50 above it.
    EXPECT_EQ(l.handles[HANDLE_OPACITY].x, Fx(360));
    EXPECT_EQ(l.handles[HANDLE_OPACITY].y, Fx(250));
}

TEST(GeometryHandles, OpacityHandleTravelsAHundredWindowPixels) {
    PF_InData in = PremiereInData();
    Event layer(PF_Window_LAYER);
    layer.view.zoom = 3;  // the offsets are window pixels, whatever the zoom
    for (double opacity : {0.0, 50.0, 100.0}) {
        Params p(100, 100, 50, 50, 0, 0, opacity);
        OverlayLayout l;
        ComputeOverlayLayout(&in, p.get(), &layer.extra, &l);
        EXPECT_EQ(l.handles[HANDLE_OPACITY].x, Fx(300 - 40));
        EXPECT_EQ(l.handles[HANDLE_OPACITY].y, Fx(300 + 50 - opacity));
    }
}

TEST(GeometryHandles, RotationHandleAtNinetyDegrees) {
    Event layer(PF_Window_LAYER);
    Params p(400, 300, 300, 200, 0, 90);
    {
        PF_InData in = PremiereInData(1, 1, 500);
        OverlayLayout l;
        ComputeOverlayLayout(&in, p.get(), &layer.extra, &l);
        // To the right of the centre, level with it.
        EXPECT_NEAR(l.handles[HANDLE_ROTATION].x, Fx(500), 2);
        EXPECT_NEAR(l.handles[HANDLE_ROTATION].y, Fx(300), 2);
        // The turned frame: the top-left corner comes to the top right.
        EXPECT_NEAR(l.handles[HANDLE_TOP_LEFT].x, Fx(500), 2);
        EXPECT_NEAR(l.handles[HANDLE_TOP_LEFT].y, Fx(150), 2);
    }
    {
        // Pixel aspect 2: the horizontal layer offset is halved.
        PF_InData in = PremiereInData(2, 1, 500);
        OverlayLayout l;
        ComputeOverlayLayout(&in, p.get(), &layer.extra, &l);
        EXPECT_NEAR(l.handles[HANDLE_ROTATION].x, Fx(450), 2);
        EXPECT_NEAR(l.handles[HANDLE_ROTATION].y, Fx(300), 2);
    }
}

}  // namespace
