// The overlay as the loaded module draws it through a host's draw event: what
// is stroked, in which order and where, with which pen or theme, and that
// every suite, pen and path comes back whatever the host refuses.
#include <cmath>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "params/EffectParams.h"
#include "overlay/Overlay.h"
#include "tests/TestSupport.h"
#include "plugin/Vellora/Vellora.h"

namespace {

using vhost::HostApp;
using voverlay::StrokeRecord;
using Kind = voverlay::PathElement::Kind;

struct Scene {
    std::unique_ptr<vhost::Host> host;
    std::unique_ptr<voverlay::OverlayWindow> window;
    const std::vector<StrokeRecord>& Strokes() const { return window->Strokes(); }
};

// A 400 x 300 layer, centre (200, 150); Width 300 and Height 200 put the frame at (50, 50)-(350, 250).
Scene Draw(HostApp app = HostApp::AfterEffects, vparams::EffectValues values = {}, voverlay::WindowView view = {}) {
    Scene s;
    s.host = vtest::SetUpHost(app);
    vparams::ApplyEffectValues(*s.host, values, 400, 300);
    s.window = std::make_unique<voverlay::OverlayWindow>(*s.host, view, 400, 300);
    return s;
}

PF_EventOutFlags Send(Scene& s, PF_Err expected = PF_Err_NONE) {
    PF_EventOutFlags flags = PF_EO_NONE;
    EXPECT_EQ(s.window->Draw(&flags), expected);
    return flags;
}

vparams::EffectValues Values(int mask = 2, double angle = 0, double feather = 0, double opacity = 100) {
    vparams::EffectValues v;
    v.mask_type = mask;
    v.angle = angle;
    v.feather = feather;
    v.opacity = opacity;
    return v;
}

// "M50,50 L350,50 ... Z" and "A200,50 r4" (arcs other than a full circle show their angles).
std::string Path(const StrokeRecord& s) {
    std::ostringstream o;
    for (const auto& e : s.path) {
        if (o.tellp() > 0) o << ' ';
        switch (e.kind) {
            case Kind::Move: o << 'M' << e.x << ',' << e.y; break;
            case Kind::Line: o << 'L' << e.x << ',' << e.y; break;
            case Kind::Close: o << 'Z'; break;
            case Kind::Arc:
                o << 'A' << e.x << ',' << e.y << " r" << e.radius;
                if (e.start != 0 || e.sweep != 360) o << " from " << e.start << " by " << e.sweep;
                break;
        }
    }
    return o.str();
}

std::string Rect(double l, double t, double r, double b) {
    std::ostringstream o;
    o << 'M' << l << ',' << t << " L" << r << ',' << t << " L" << r << ',' << b << " L" << l << ',' << b << " Z";
    return o.str();
}

TEST(OverlayDraw, RectangleMaskStrokesEveryElementInOrder) {
    Scene s = Draw(HostApp::AfterEffects, Values(2, 0, 30));
    EXPECT_EQ(Send(s), PF_EO_HANDLED_EVENT);
    const std::vector<std::string> expected = {
        Rect(50, 50, 350, 250),                                                  // frame
        Rect(47, 47, 53, 53), Rect(347, 47, 353, 53), Rect(347, 247, 353, 253),  // squares TL, TR, BR,
        Rect(47, 247, 53, 253),                                                  // BL
        "A200,70 r4", "A200,230 r4", "A80,150 r4", "A320,150 r4",  // feather 30 of 300 x 200: inset 20 down, 30 across
        "M200,150 L200,90", "A200,90 r6",  // rotation arm: a fifth of the layer height
        "M160,100 L160,200",               // opacity track
        Rect(155, 98, 166, 102)};          // marker at 100 %, 11 across
    ASSERT_EQ(s.Strokes().size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(Path(s.Strokes()[i]), expected[i]) << i;
        EXPECT_TRUE(s.Strokes()[i].by_theme && s.Strokes()[i].shadow) << i;
    }
    EXPECT_TRUE(vtest::LedgersBalanced(*s.host));
    EXPECT_TRUE(s.window->Misuses().empty());
}

TEST(OverlayDraw, TurnedEllipseComesFirstAndEndsOnItsFirstPointUnclosed) {
    vparams::EffectValues v = Values(1, 30);
    v.width = 240;
    v.height = 90;
    Scene s = Draw(HostApp::AfterEffects, v);
    Send(s);
    ASSERT_EQ(s.Strokes().size(), 14u);
    const auto& path = s.Strokes()[0].path;
    ASSERT_EQ(path.size(), 65u);
    const double th = static_cast<float>(30 * M_PI / 180);
    for (size_t i = 0; i < path.size(); ++i) {
        EXPECT_EQ(path[i].kind, i == 0 ? Kind::Move : Kind::Line);
        const double t = static_cast<double>(i % 64) * 2 * M_PI / 64;
        EXPECT_NEAR(path[i].x, 200 + 120 * std::cos(t) * std::cos(th) - 45 * std::sin(t) * std::sin(th), 1e-4) << i;
        EXPECT_NEAR(path[i].y, 150 + 120 * std::cos(t) * std::sin(th) + 45 * std::sin(t) * std::cos(th), 1e-4) << i;
    }
    EXPECT_EQ(path[64].x, path[0].x);
    EXPECT_EQ(path[64].y, path[0].y);
    EXPECT_EQ(s.Strokes()[1].path.back().kind, Kind::Close) << "the frame follows the ellipse";

    // Squares stay axis-aligned on the turned frame, centred on its rounded corners (TL, TR, BR, BL).
    const double c = std::cos(th), sn = std::sin(th);
    const double rel[4][2] = {{-120, -45}, {120, -45}, {120, 45}, {-120, 45}};
    for (int k = 0; k < 4; ++k) {
        const double x = std::floor(200 + rel[k][0] * c - sn * rel[k][1] + 0.5);
        const double y = std::floor(150 + sn * rel[k][0] + c * rel[k][1] + 0.5);
        EXPECT_EQ(Path(s.Strokes()[static_cast<size_t>(2 + k)]), Rect(x - 3, y - 3, x + 3, y + 3)) << k;
    }
}

// Premiere strokes with fixed pens and needs no ANSI suite; the trace and the
// picture show what was stroked.
TEST(OverlayDraw, PremiereStrokesWithFixedPensTraceAndPicture) {
    Scene s = Draw(HostApp::Premiere);
    s.host->Faults().withheld_suites.insert(kPFANSISuite);
    const std::vector<uint8_t> before = s.window->PictureRGBA8();
    Send(s);
    ASSERT_EQ(s.Strokes().size(), 14u);
    for (size_t i = 0; i < s.Strokes().size(); ++i) {
        const StrokeRecord& r = s.Strokes()[i];
        EXPECT_FALSE(r.by_theme);
        EXPECT_EQ(r.width, 1.0f);
        // The ellipse light grey, everything else yellow.
        EXPECT_EQ(std::vector<float>({r.color.red, r.color.green, r.color.blue, r.color.alpha}),
                  std::vector<float>({0.9f, 0.9f, i == 0 ? 0.9f : 0.0f, 1.0f}))
            << i;
    }
    EXPECT_TRUE(vtest::LedgersBalanced(*s.host));
    const nlohmann::ordered_json j = s.window->TraceJson();
    EXPECT_EQ(j["window"], "layer");
    EXPECT_EQ(j["strokes"][1], nlohmann::ordered_json::parse(
                                   R"({"by": "pen", "color": [0.8999999761581421, 0.8999999761581421, 0.0, 1.0],
                                       "width": 1.0, "path": [["move", 50.0, 50.0], ["line", 350.0, 50.0],
                                       ["line", 350.0, 250.0], ["line", 50.0, 250.0], ["close"]]})"));
    EXPECT_EQ(j["strokes"][6]["path"][0], nlohmann::ordered_json({"arc", 200.0, 50.0, 4.0, 0.0, 360.0}));
    // The picture: a yellow frame edge over the opaque grey checkerboard; inside, nothing changed.
    const std::vector<uint8_t> after = s.window->PictureRGBA8();
    const auto at = [](const std::vector<uint8_t>& img, int x, int y) {
        return std::vector<int>(img.begin() + (y * 400 + x) * 4, img.begin() + (y * 400 + x) * 4 + 4);
    };
    EXPECT_TRUE(at(after, 120, 50)[0] > 180 && at(after, 120, 50)[2] < 80);
    EXPECT_EQ(at(after, 250, 200), at(before, 250, 200));
    const std::vector<int> bg = at(before, 3, 3);
    EXPECT_TRUE(bg[0] == bg[1] && bg[1] == bg[2] && bg[3] == 255);
}

TEST(OverlayDraw, OpacityMarkerAndFlatFrames) {
    for (double opacity : {0.0, 50.0, 37.5}) {
        Scene s = Draw(HostApp::AfterEffects, Values(2, 0, 0, opacity));
        Send(s);
        const float level = 100.0f + static_cast<float>(100.0 - opacity);
        EXPECT_EQ(Path(s.Strokes().back()), Rect(155, std::trunc(level - 2), 166, std::trunc(level + 2)));
    }
    // Height 0 with a feather: no NaN, the top and bottom circles on the flat frame.
    vparams::EffectValues flat = Values(1, 0, 10);
    flat.height = 0;
    Scene s = Draw(HostApp::AfterEffects, flat);
    Send(s);
    ASSERT_EQ(s.Strokes().size(), 14u);
    EXPECT_EQ(Path(s.Strokes()[6]), "A200,150 r4");
    EXPECT_EQ(Path(s.Strokes()[7]), "A200,150 r4");
    EXPECT_EQ(Path(s.Strokes()[8]), "A60,150 r4");
}

TEST(OverlayDraw, CompositionWindowAtZoomTwoWithAnOffset) {
    voverlay::WindowView view;
    view.type = PF_Window_COMP;
    view.zoom = 2;
    view.layer_offset_x = 30;
    view.layer_offset_y = 10;
    Scene s = Draw(HostApp::AfterEffects, Values(), view);
    Send(s);
    ASSERT_EQ(s.Strokes().size(), 13u);
    // Layer points land at ((x + 30) * 2, (y + 10) * 2); the opacity offsets are window pixels.
    EXPECT_EQ(Path(s.Strokes()[0]), Rect(160, 120, 760, 520));
    EXPECT_EQ(Path(s.Strokes()[9]), "M460,320 L460,200");
    EXPECT_EQ(Path(s.Strokes()[11]), "M420,270 L420,370");
}

// The window's conversions round 16.16 halves to even: at zoom 2 an odd
// coordinate halves to a .5, where rounding away from zero would move it.
TEST(OverlayDraw, ViewConversionsRoundHalvesToEven) {
    voverlay::WindowView view;
    view.zoom = 2;
    Scene s = Draw(HostApp::AfterEffects, Values(), view);
    PF_EventExtra event = s.window->NewEvent(PF_Event_DRAW);
    const struct {
        PF_Fixed in, out;
    } cases[] = {{5, 2}, {7, 4}, {-5, -2}, {-7, -4}, {6, 3}};
    for (const auto& c : cases) {
        PF_FixedPoint pt{c.in, -c.in};
        ASSERT_EQ(event.cbs.frame_to_source(event.cbs.refcon, event.contextH, &pt), PF_Err_NONE);
        EXPECT_EQ(pt.x, c.out) << c.in;
        EXPECT_EQ(pt.y, -c.out) << c.in;
    }
}

TEST(OverlayDraw, OtherWindowsDrawNothingAndLeaveTheFlags) {
    for (PF_WindowType type : {PF_WindowType{PF_Window_EFFECT}, PF_WindowType{PF_Window_NONE}}) {
        voverlay::WindowView view;
        view.type = type;
        Scene s = Draw(HostApp::AfterEffects, {}, view);
        PF_EventExtra event = s.window->NewEvent(PF_Event_DRAW);
        event.evt_out_flags = PF_EO_ALWAYS_UPDATE;
        EXPECT_EQ(s.window->SendEvent(event), PF_Err_NONE);
        EXPECT_EQ(event.evt_out_flags, PF_EO_ALWAYS_UPDATE);
        EXPECT_TRUE(s.Strokes().empty());
        EXPECT_EQ(s.host->Suites().TotalAcquires(), 0);
    }
}

TEST(OverlayDraw, NullReferenceOrMissingSuites) {
    // A null drawing reference, or a drawing suite missing from the set: nothing drawn, event handled.
    const std::vector<std::string> set = {"", kDRAWBOT_DrawSuite, kDRAWBOT_SupplierSuite, kDRAWBOT_SurfaceSuite,
                                          kDRAWBOT_PathSuite};
    for (const std::string& missing : set) {
        Scene s = Draw(HostApp::Premiere);
        if (missing.empty()) s.host->Faults().null_drawing_reference = true;
        s.host->Faults().withheld_suites.insert(missing);
        EXPECT_EQ(Send(s), PF_EO_HANDLED_EVENT) << missing;
        EXPECT_TRUE(s.Strokes().empty());
        EXPECT_EQ(s.host->Objects().CreatedCount(), 0);
        EXPECT_TRUE(vtest::LedgersBalanced(*s.host)) << missing;
        if (!missing.empty()) {
            EXPECT_STREQ(s.host->OutData().return_msg, "Not able to acquire AEFX Suite.");
        }
    }
    // Suites the suite cache cannot load end the command with 516, not handled.
    for (const char* missing : {kPFANSISuite, kPFEffectCustomUISuite, kPFEffectCustomUIOverlayThemeSuite}) {
        Scene s = Draw();
        s.host->Faults().withheld_suites.insert(missing);
        EXPECT_EQ(Send(s, PF_Err_BAD_CALLBACK_PARAM), PF_EO_NONE) << missing;
        EXPECT_TRUE(vtest::LedgersBalanced(*s.host)) << missing;
    }
    Scene s = Draw();
    s.host->Faults().no_basic_suite = true;
    Send(s, PF_Err_BAD_CALLBACK_PARAM);
}

// Each drawing call, pen or path creation and release failing at each of its
// calls in turn: drawing stops there, what was stroked stays, nothing leaks,
// and the event is still handled.
TEST(OverlayDraw, EveryFailingCallStopsTheDrawingAndLeaksNothing) {
    const char* calls[] = {"PF_GetDrawingReference", "GetSurface", "GetSupplier", "NewPen",     "NewPath",
                           "MoveTo",  "LineTo",      "AddArc",     "Close",       "StrokePath", "PF_StrokePath",
                           "ReleaseObject"};
    for (HostApp app : {HostApp::AfterEffects, HostApp::Premiere}) {
        std::map<std::string, int> counts;
        Scene full = Draw(app);
        Send(full);
        for (const char* call : calls) counts[call] = full.host->Faults().Calls(call);
        EXPECT_GT(counts["LineTo"], 64);
        for (const char* call : calls) {
            for (int k = 1; k <= counts[call]; ++k) {
                SCOPED_TRACE(std::string(vhost::HostAppName(app)) + " " + call + " #" + std::to_string(k));
                Scene s = Draw(app);
                s.host->Faults().FailCall(call, k);
                ASSERT_EQ(Send(s), PF_EO_HANDLED_EVENT);
                ASSERT_TRUE(vtest::LedgersBalanced(*s.host));
                EXPECT_TRUE(s.window->Misuses().empty());
                const std::string name = call;
                if (name == "StrokePath" || name == "PF_StrokePath") {
                    EXPECT_EQ(s.Strokes().size(), static_cast<size_t>(k - 1));
                } else if (name != "ReleaseObject") {
                    EXPECT_LT(s.Strokes().size(), 14u);
                }
            }
        }
    }
}

}  // namespace
