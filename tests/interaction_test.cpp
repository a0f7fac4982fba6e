// Clicking and dragging the overlay's handles through the loaded module, as a
// host sends the events: which handle a click grabs, and what each drag writes.
#include <cmath>
#include <map>
#include <string>
#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "params/EffectParams.h"
#include "overlay/Overlay.h"
#include "tests/TestSupport.h"
#include "plugin/Vellora/Vellora.h"

namespace {

using vhost::HostApp;
const double kFix = 65536.0;

// A 400 x 300 layer, centre (200, 150). By default the frame is (50, 50)-(350, 250),
// the rotation handle (200, 90), the feather handles mid-side, the opacity handle (160, 100).
struct Rig {
    std::unique_ptr<vhost::Host> host;
    std::unique_ptr<voverlay::OverlayWindow> window;

    explicit Rig(HostApp app = HostApp::AfterEffects, double w = 300, double h = 200, double angle = 0,
                 double feather = 0, double opacity = 100, voverlay::WindowView view = {}) {
        vparams::EffectValues v;
        v.width = w;
        v.height = h;
        v.angle = angle;
        v.feather = feather;
        v.opacity = opacity;
        host = vtest::SetUpHost(app);
        vparams::ApplyEffectValues(*host, v, 400, 300);
        host->InData().height = 300;
        window = std::make_unique<voverlay::OverlayWindow>(*host, view, 400, 300);
    }
    PF_ParamDef& P(int index) { return host->Params()[static_cast<size_t>(index)]; }

    // An event on the host's own list (change flags cleared first), so tests see exactly what was written.
    PF_EventExtra Send(PF_EventType type, A_long x, A_long y, const PF_EventExtra* previous = nullptr,
                       bool last = false, PF_Err expected = PF_Err_NONE) {
        PF_EventExtra e = window->NewEvent(type);
        if (previous) e.u.do_click = previous->u.do_click;
        e.u.do_click.screen_point = {x, y};
        e.u.do_click.last_time = last;
        for (PF_ParamDef& p : host->Params()) p.uu.change_flags = PF_ChangeFlag_NONE;
        EXPECT_EQ(host->Send(PF_Cmd_EVENT, host->ParamArray(), nullptr, &e), expected);
        return e;
    }
    voverlay::GestureResult Gesture(A_long x0, A_long y0, A_long x1, A_long y1, int steps = 1) {
        return window->Gesture(PF_Point{x0, y0}, PF_Point{x1, y1}, steps);
    }
    double Width() { return P(PARAM_WIDTH).u.fs_d.value; }
    double Height() { return P(PARAM_HEIGHT).u.fs_d.value; }
    double Feather() { return P(PARAM_FEATHER).u.fs_d.value; }
};

TEST(InteractionClick, ReachIsFifteenPixelsManhattan) {
    // Around the bottom-right corner (350, 250); nothing else lies within 30 pixels.
    const struct {
        A_long x, y;
        bool grabs;
    } clicks[] = {{365, 250, true}, {366, 250, false}, {350, 234, false}, {357, 258, true}, {358, 258, false}};
    for (HostApp app : {HostApp::AfterEffects, HostApp::Premiere}) {
        for (const auto& c : clicks) {
            Rig rig(app);
            const int acquires = rig.host->Suites().TotalAcquires();
            const PF_EventExtra e = rig.Send(PF_Event_DO_CLICK, c.x, c.y);
            SCOPED_TRACE(std::string(vhost::HostAppName(app)) + " " + std::to_string(c.x) + "," + std::to_string(c.y));
            EXPECT_EQ(e.evt_out_flags, c.grabs ? PF_EO_HANDLED_EVENT : PF_EO_NONE);
            EXPECT_EQ(e.u.do_click.continue_refcon[0], c.grabs ? 4 : 0);
            EXPECT_EQ(e.u.do_click.send_drag, c.grabs);
            EXPECT_TRUE(vtest::LedgersBalanced(*rig.host));
            // Premiere clicks need no suite; elsewhere the ANSI suite measures the distance.
            if (app == HostApp::Premiere) {
                EXPECT_EQ(rig.host->Suites().TotalAcquires(), acquires);
            } else {
                EXPECT_GT(rig.host->Suites().Acquires(kPFANSISuite), 0);
            }
        }
    }
}

TEST(InteractionClick, AMissLeavesTheRecordAndFlagsAloneAHitClearsTheSlots) {
    Rig rig;
    PF_EventExtra e = rig.window->NewEvent(PF_Event_DO_CLICK);
    e.u.do_click.screen_point = {120, 120};
    for (A_intptr_t& slot : e.u.do_click.continue_refcon) slot = 77;
    e.evt_out_flags = PF_EO_ALWAYS_UPDATE;
    ASSERT_EQ(rig.host->Send(PF_Cmd_EVENT, rig.host->ParamArray(), nullptr, &e), PF_Err_NONE);
    EXPECT_EQ(e.evt_out_flags, PF_EO_ALWAYS_UPDATE);
    EXPECT_EQ(e.u.do_click.continue_refcon[0], 77);
    EXPECT_FALSE(e.u.do_click.send_drag);

    e.u.do_click.screen_point = {160, 100};  // the opacity handle
    ASSERT_EQ(rig.host->Send(PF_Cmd_EVENT, rig.host->ParamArray(), nullptr, &e), PF_Err_NONE);
    EXPECT_EQ(std::vector<A_intptr_t>(e.u.do_click.continue_refcon, e.u.do_click.continue_refcon + 4),
              (std::vector<A_intptr_t>{10, 0, 0, 0}));
    EXPECT_TRUE(e.u.do_click.send_drag);
}

TEST(InteractionClick, LowerHandleWinsATie) {
    // 20 x 20: the top-left corner (190, 140) and the left feather handle (190, 150).
    EXPECT_EQ(Rig(HostApp::AfterEffects, 20, 20).Send(PF_Event_DO_CLICK, 190, 145).u.do_click.continue_refcon[0], 1);
    // Width 80 at opacity 50: the left feather handle and the opacity handle both at (160, 150).
    Rig rig(HostApp::AfterEffects, 80, 200, 0, 0, 50);
    EXPECT_EQ(rig.Send(PF_Event_DO_CLICK, 160, 150).u.do_click.continue_refcon[0], 6);
}

TEST(InteractionClick, FailuresReachTheHostAsErrorCodes) {
    Rig other(HostApp::AfterEffects, 300, 200, 0, 0, 100, voverlay::WindowView{PF_Window_EFFECT});
    EXPECT_EQ(other.Send(PF_Event_DO_CLICK, 350, 250).evt_out_flags, PF_EO_NONE);

    Rig ansi;
    ansi.host->Faults().withheld_suites.insert(kPFANSISuite);
    const PF_EventExtra e = ansi.Send(PF_Event_DO_CLICK, 350, 250, nullptr, false, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(e.evt_out_flags, PF_EO_NONE);
    EXPECT_FALSE(e.u.do_click.send_drag);
    EXPECT_TRUE(vtest::LedgersBalanced(*ansi.host));

    Rig basic;
    const PF_EventExtra click = basic.Send(PF_Event_DO_CLICK, 350, 250);
    basic.host->Faults().no_basic_suite = true;
    const PF_EventExtra d = basic.Send(PF_Event_DRAG, 300, 200, &click, false, PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(d.evt_out_flags, PF_EO_NONE);
    EXPECT_EQ(basic.Width(), 300.0);
}

TEST(InteractionDrag, TheGestureLivesInTheClickRecord) {
    Rig rig;
    PF_EventExtra e = rig.Send(PF_Event_DO_CLICK, 350, 250);
    // A click arriving while send_drag is set continues the gesture as a drag.
    e = rig.Send(PF_Event_DO_CLICK, 320, 220, &e);
    EXPECT_EQ(e.e_type, PF_Event_DRAG);
    EXPECT_EQ(e.evt_out_flags, PF_EO_HANDLED_EVENT);
    EXPECT_EQ(std::vector<A_intptr_t>(e.u.do_click.continue_refcon, e.u.do_click.continue_refcon + 4),
              (std::vector<A_intptr_t>{4, 320 * 65536, 220 * 65536, 1}));
    EXPECT_TRUE(e.u.do_click.send_drag);
    // The last event still writes, then ends the gesture.
    e = rig.Send(PF_Event_DRAG, 300, 200, &e, true);
    EXPECT_DOUBLE_EQ(rig.Width(), 200);
    EXPECT_DOUBLE_EQ(rig.Height(), 100);
    EXPECT_EQ(rig.P(PARAM_WIDTH).uu.change_flags, PF_ChangeFlag_CHANGED_VALUE);
    EXPECT_EQ(e.u.do_click.continue_refcon[0], 0);
    EXPECT_FALSE(e.u.do_click.send_drag);
    // A stray drag afterwards is ignored.
    e = rig.Send(PF_Event_DRAG, 250, 150, &e);
    EXPECT_EQ(e.evt_out_flags, PF_EO_NONE);
    EXPECT_DOUBLE_EQ(rig.Width(), 200);
    // The layer window never goes through the composition.
    EXPECT_EQ(rig.host->Faults().Calls("layer_to_comp") + rig.host->Faults().Calls("comp_to_layer"), 0);
    EXPECT_GT(rig.host->Faults().Calls("frame_to_source"), 0);
}

// Corners resize symmetrically (turned, and under pixel aspect 10/11, where 150
// square pixels are 165 layer pixels) and clamp to 0..15000.
TEST(InteractionDrag, CornersResizeSymmetricallyAndClamp) {
    const struct {
        HostApp app;
        double angle;
        PF_RationalScale par;
        A_long x0, y0, x1, y1;
        int handle;
        double w, h;
    } cases[] = {
        {HostApp::Premiere, 0, {1, 1}, 350, 250, 300, 200, 4, 200, 100},
        {HostApp::AfterEffects, 0, {1, 1}, 50, 50, 100, 100, 1, 200, 100},
        {HostApp::AfterEffects, 90, {1, 1}, 100, 300, 200, 250, 4, 200, 0},  // 100 straight below the centre
        {HostApp::AfterEffects, 0, {1, 1}, 350, 250, 150, 100, 4, 0, 0},     // past the centre
        {HostApp::AfterEffects, 0, {1, 1}, 350, 250, 20000, 20000, 4, 15000, 15000},
        {HostApp::AfterEffects, 0, {10, 11}, 365, 50, 310, 150, 2, 200, 0},
        {HostApp::AfterEffects, 0, {10, 11}, 35, 250, 90, 200, 3, 200, 100},
    };
    for (const auto& c : cases) {
        Rig rig(c.app, 300, 200, c.angle);
        rig.host->InData().pixel_aspect_ratio = c.par;
        const voverlay::GestureResult g = rig.Gesture(c.x0, c.y0, c.x1, c.y1, 4);
        SCOPED_TRACE(std::to_string(c.x0) + "," + std::to_string(c.y0) + " to " + std::to_string(c.x1) + "," +
                     std::to_string(c.y1));
        EXPECT_EQ(g.handle, c.handle);
        EXPECT_EQ(g.drag_events, 4);
        EXPECT_EQ(g.changed, (std::vector<int>{PARAM_WIDTH, PARAM_HEIGHT}));
        const double tolerance = c.angle == 0 && c.par.num == 1 ? 0 : 1e-4;  // exact where no trig or ratio
        EXPECT_NEAR(rig.Width(), c.w, tolerance);
        EXPECT_NEAR(rig.Height(), c.h, tolerance);
    }
}

TEST(InteractionDrag, RotationFollowsTheBearingFromTheCentre) {
    const struct {
        A_long x, y;
        double degrees;
    } bearings[] = {{300, 150, 90}, {200, 250, 180}, {100, 150, 270}, {200, 50, 0},
                    {300, 50, 45},  {300, 250, 135}, {237, 42, std::atan(37.0 / 108.0) * 180 / M_PI}};
    for (const auto& b : bearings) {
        Rig rig;
        const voverlay::GestureResult g = rig.Gesture(200, 90, b.x, b.y);
        EXPECT_EQ(g.handle, 5);
        EXPECT_EQ(g.changed, std::vector<int>{PARAM_ANGLE});
        const double tolerance = b.degrees == std::floor(b.degrees) ? 0 : 4;  // whole degrees exactly
        EXPECT_NEAR(rig.P(PARAM_ANGLE).u.ad.value, b.degrees * kFix, tolerance) << b.x << "," << b.y;
    }
    // One 16.16 unit left of straight up, far away: single precision would round to a full 360.
    Rig rig;
    rig.P(PARAM_ORIGIN).u.td.x_value = 200 * 65536 + 1;
    rig.Gesture(200, 90, 200, 150 - 30000);
    EXPECT_GE(rig.P(PARAM_ANGLE).u.ad.value, 0);
    EXPECT_LT(rig.P(PARAM_ANGLE).u.ad.value, 360 * 65536);
}

TEST(InteractionDrag, FeatherHandles) {
    const struct {
        A_long x0, y0, x1, y1;
        int handle;
        double feather;
    } cases[] = {
        {50, 150, 80, 150, 6, 30},   // left, 30 in
        {50, 150, 10, 150, 6, 0},    // left, outside the frame: 0
        {350, 150, 310, 150, 7, 40},  // right, 40 in
        {200, 50, 200, 70, 8, 30},   // top, 20 in, times 300 / 200
        {200, 250, 200, 220, 9, 45},  // bottom, 30 in
    };
    for (const auto& c : cases) {
        Rig rig;
        EXPECT_EQ(rig.Gesture(c.x0, c.y0, c.x1, c.y1).handle, c.handle);
        EXPECT_NEAR(rig.Feather(), c.feather, 1e-5) << c.handle;
    }
    // Turned 60 degrees, the left handle (now at (125, 20)) reads half the feather.
    Rig flat, turned(HostApp::AfterEffects, 300, 200, 60);
    flat.Gesture(50, 150, 80, 150);
    EXPECT_EQ(turned.Gesture(125, 20, 80, 150).handle, 6);
    EXPECT_NEAR(turned.Feather() / flat.Feather(), 0.5, 1e-7);
    // Height 0: the top handle (200, 150) leaves the feather as it was, unflagged.
    Rig zero(HostApp::AfterEffects, 300, 0, 0, 5);
    PF_EventExtra e = zero.Send(PF_Event_DO_CLICK, 200, 150);
    ASSERT_EQ(e.u.do_click.continue_refcon[0], 8);
    e = zero.Send(PF_Event_DRAG, 200, 170, &e, true);
    EXPECT_EQ(e.evt_out_flags, PF_EO_HANDLED_EVENT);
    EXPECT_EQ(zero.Feather(), 5.0);
    EXPECT_EQ(zero.P(PARAM_FEATHER).uu.change_flags, PF_ChangeFlag_NONE);
}

TEST(InteractionDrag, OpacityFollowsWindowPixelsAboveTheCentre) {
    // 20 above gives 70; 60 above would be 110 and 90 below -40: kept within 0 to 100.
    const struct {
        A_long y;
        double opacity;
    } cases[] = {{130, 70}, {175, 25}, {90, 100}, {240, 0}};
    for (const auto& c : cases) {
        Rig rig;
        EXPECT_EQ(rig.Gesture(160, 100, 160, c.y).handle, 10);
        EXPECT_DOUBLE_EQ(rig.P(PARAM_OPACITY).u.fd.value / kFix, c.opacity) << c.y;
    }
}

// Where a handle is drawn, a click grabs that handle: drawing and hit-testing
// place the handles alike whatever the turn, pixel aspect, window and zoom.
TEST(InteractionGesture, EveryDrawnHandleGrabsItsOwnHandle) {
    // Rectangle mask, so the strokes run: frame, squares TL TR BR BL, circles
    // top bottom left right, rotation arm and circle, opacity track and marker.
    const std::map<size_t, int> handle_of_stroke = {{1, 1}, {2, 2},  {3, 4}, {4, 3},  {5, 8},
                                                    {6, 9}, {7, 6},  {8, 7}, {10, 5}, {12, 10}};
    const struct {
        HostApp app;
        double angle, opacity;
        A_long par_num;
        voverlay::WindowView view;
    } cases[] = {{HostApp::AfterEffects, 0, 100, 1, {}},
                 {HostApp::Premiere, 37, 35, 1, {}},
                 {HostApp::AfterEffects, 200, 80, 2, {}},
                 {HostApp::Premiere, 0, 0, 1, {PF_Window_COMP, 2.0, 0.0, 0.0, 30.0, 10.0}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(vhost::HostAppName(c.app)) + " angle " + std::to_string(c.angle));
        Rig rig(c.app, 300, 200, c.angle, 30, c.opacity, c.view);
        rig.P(PARAM_MASK_TYPE).u.pd.value = 2;
        rig.host->InData().pixel_aspect_ratio = {c.par_num, 1};
        PF_EventOutFlags flags = PF_EO_NONE;
        ASSERT_EQ(rig.window->Draw(&flags), PF_Err_NONE);
        const std::vector<voverlay::StrokeRecord> strokes = rig.window->Strokes();
        ASSERT_EQ(strokes.size(), 13u);
        for (const auto& [index, handle] : handle_of_stroke) {
            // The middle of the square, circle or marker, to the nearest pixel.
            double x = 0, y = 0, n = 0;
            for (const auto& e : strokes[index].path) {
                if (e.kind == voverlay::PathElement::Kind::Close) continue;
                x += e.x;
                y += e.y;
                ++n;
            }
            const A_long cx = static_cast<A_long>(std::floor(x / n + 0.5));
            const A_long cy = static_cast<A_long>(std::floor(y / n + 0.5));
            const PF_EventExtra e = rig.Send(PF_Event_DO_CLICK, cx, cy);
            EXPECT_EQ(e.u.do_click.continue_refcon[0], handle) << "stroke " << index << " at " << cx << "," << cy;
        }
    }
}

TEST(InteractionGesture, CompositionWindowAtZoomTwoWithAnOffset) {
    voverlay::WindowView view{PF_Window_COMP, 2.0, 0.0, 0.0, 30.0, 10.0};
    // Layer (350, 250) is window ((350 + 30) * 2, (250 + 10) * 2).
    Rig rig(HostApp::AfterEffects, 300, 200, 0, 0, 100, view);
    const voverlay::GestureResult g = rig.Gesture(760, 520, 660, 420, 8);
    EXPECT_EQ(g.handle, 4);
    EXPECT_EQ(g.drag_events, 8);
    EXPECT_DOUBLE_EQ(rig.Width(), 200);
    EXPECT_DOUBLE_EQ(rig.Height(), 100);
    EXPECT_TRUE(vtest::LedgersBalanced(*rig.host));
    // The rotation handle (200, 90) is window (460, 200); the centre is (460, 320).
    Rig turn(HostApp::Premiere, 300, 200, 0, 0, 100, view);
    EXPECT_EQ(turn.Gesture(460, 200, 600, 320).handle, 5);
    EXPECT_EQ(turn.P(PARAM_ANGLE).u.ad.value, 90 * 65536);
    // At zoom 2 one window pixel is still one percent of opacity: handle at window (420, 270).
    Rig opacity(HostApp::AfterEffects, 300, 200, 0, 0, 100, view);
    EXPECT_EQ(opacity.Gesture(420, 270, 420, 300).handle, 10);
    EXPECT_DOUBLE_EQ(opacity.P(PARAM_OPACITY).u.fd.value / kFix, 70);
    // A click on nothing starts no gesture.
    const voverlay::GestureResult none = Rig(HostApp::AfterEffects, 300, 200, 0, 0, 100, view).Gesture(5, 5, 300, 300);
    EXPECT_FALSE(none.handled);
    EXPECT_EQ(none.drag_events, 0);
    EXPECT_TRUE(none.changed.empty());
}

}  // namespace
