// The overlay as the loaded module draws it through a host's draw event: what
// is stroked, in which order and where, with which pen or theme, and that
// every suite, pen and path comes back whatever the host refuses.
#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "EffectParams.h"
#include "Overlay.h"
#include "TestSupport.h"
#include "Vellora.h"

namespace {

using vhost::HostApp;
using vhost::PathElement;
using vhost::StrokeRecord;
using Kind = vhost::PathElement::Kind;

const double kDeg = 0.017453292519943295;

struct Scene {
    std::unique_ptr<vhost::Host> host;
    std::unique_ptr<vhost::OverlayWindow> window;
};

// A 400 x 300 layer, its centre (200, 150), Width 300, Height 200 by default.
Scene MakeScene(HostApp app = HostApp::AfterEffects, vhost::EffectValues values = {}, vhost::WindowView view = {},
                int w = 400, int h = 300) {
    Scene s;
    s.host = vtest::SetUpHost(app);
    vhost::ApplyEffectValues(*s.host, values, w, h);
    s.window = std::make_unique<vhost::OverlayWindow>(*s.host, view, w, h);
    return s;
}

vhost::EffectValues Rectangle() {
    vhost::EffectValues v;
    v.mask_type = 2;
    return v;
}

// Exactly the shape of DrawRectangle: move, three lines, close.
void ExpectRectangle(const StrokeRecord& s, float l, float t, float r, float b) {
    ASSERT_EQ(s.path.size(), 5u);
    const PathElement& m = s.path[0];
    EXPECT_EQ(m.kind, Kind::Move);
    EXPECT_EQ(m.x, l);
    EXPECT_EQ(m.y, t);
    EXPECT_EQ(s.path[1].kind, Kind::Line);
    EXPECT_EQ(s.path[1].x, r);
    EXPECT_EQ(s.path[1].y, t);
    EXPECT_EQ(s.path[2].x, r);
    EXPECT_EQ(s.path[2].y, b);
    EXPECT_EQ(s.path[3].x, l);
    EXPECT_EQ(s.path[3].y, b);
    EXPECT_EQ(s.path[4].kind, Kind::Close);
}

void ExpectCircle(const StrokeRecord& s, float cx, float cy, float radius) {
    ASSERT_EQ(s.path.size(), 1u);
    const PathElement& a = s.path[0];
    EXPECT_EQ(a.kind, Kind::Arc);
    EXPECT_EQ(a.x, cx);
    EXPECT_EQ(a.y, cy);
    EXPECT_EQ(a.radius, radius);
    EXPECT_EQ(a.start, 0.0f);
    EXPECT_EQ(a.sweep, 360.0f);
}

void ExpectLine(const StrokeRecord& s, float x0, float y0, float x1, float y1) {
    ASSERT_EQ(s.path.size(), 2u);
    EXPECT_EQ(s.path[0].kind, Kind::Move);
    EXPECT_EQ(s.path[1].kind, Kind::Line);
    EXPECT_EQ(s.path[0].x, x0);
    EXPECT_EQ(s.path[0].y, y0);
    EXPECT_EQ(s.path[1].x, x1);
    EXPECT_EQ(s.path[1].y, y1);
}

TEST(OverlayDraw, RectangleMaskStrokesEveryElementInOrder) {
    Scene s = MakeScene(HostApp::AfterEffects, Rectangle());
    PF_EventOutFlags flags = 0;
    ASSERT_EQ(s.window->Draw(&flags), PF_Err_NONE);
    EXPECT_EQ(flags, PF_EO_HANDLED_EVENT);
    const auto& st = s.window->Strokes();
    ASSERT_EQ(st.size(), 13u);
    // Frame (50, 50)-(350, 250).
    ExpectRectangle(st[0], 50, 50, 350, 250);
    // Corner squares: top left, top right, bottom right, bottom left.
    ExpectRectangle(st[1], 47, 47, 53, 53);
    ExpectRectangle(st[2], 347, 47, 353, 53);
    ExpectRectangle(st[3], 347, 247, 353, 253);
    ExpectRectangle(st[4], 47, 247, 53, 253);
    // Feather circles (no feather: on the frame): top, bottom, left, right.
    ExpectCircle(st[5], 200, 50, 4);
    ExpectCircle(st[6], 200, 250, 4);
    ExpectCircle(st[7], 50, 150, 4);
    ExpectCircle(st[8], 350, 150, 4);
    // Rotation arm: a fifth of the 300-pixel layer height above the centre.
    ExpectLine(st[9], 200, 150, 200, 90);
    ExpectCircle(st[10], 200, 90, 6);
    // Opacity track 40 left of the centre, marker at the top for 100 %.
    ExpectLine(st[11], 160, 100, 160, 200);
    ExpectRectangle(st[12], 155, 98, 166, 102);
    for (const StrokeRecord& r : st) {
        EXPECT_TRUE(r.by_theme);
        EXPECT_TRUE(r.shadow);
    }
    EXPECT_TRUE(vtest::LedgersBalanced(*s.host));
    EXPECT_TRUE(s.window->Misuses().empty());
}

TEST(OverlayDraw, EllipseComesFirstAndEndsOnItsFirstPointUnclosed) {
    vhost::EffectValues v;
    v.angle = 30;
    v.width = 240;
    v.height = 90;
    Scene s = MakeScene(HostApp::AfterEffects, v);
    ASSERT_EQ(s.window->Draw(), PF_Err_NONE);
    const auto& st = s.window->Strokes();
    ASSERT_EQ(st.size(), 14u);
    const auto& path = st[0].path;
    ASSERT_EQ(path.size(), 65u);
    EXPECT_EQ(path[0].kind, Kind::Move);
    for (size_t i = 1; i < path.size(); ++i) EXPECT_EQ(path[i].kind, Kind::Line);
    EXPECT_EQ(path[64].x, path[0].x);
    EXPECT_EQ(path[64].y, path[0].y);
    // The points of a turned ellipse about the centre (200, 150), clockwise on screen.
    const double th = static_cast<float>(30 * kDeg);
    for (int i = 0; i < 64; ++i) {
        const double t = i * 2 * M_PI / 64;
        const double x = 200 + 120 * std::cos(t) * std::cos(th) - 45 * std::sin(t) * std::sin(th);
        const double y = 150 + 120 * std::cos(t) * std::sin(th) + 45 * std::sin(t) * std::cos(th);
        EXPECT_NEAR(path[static_cast<size_t>(i)].x, x, 1e-4) << i;
        EXPECT_NEAR(path[static_cast<size_t>(i)].y, y, 1e-4) << i;
    }
    // The frame outline follows right after.
    EXPECT_EQ(st[1].path.size(), 5u);
    EXPECT_EQ(st[1].path[4].kind, Kind::Close);
}

TEST(OverlayDraw, PremiereStrokesWithFixedPens) {
    Scene s = MakeScene(HostApp::Premiere);
    ASSERT_EQ(s.window->Draw(), PF_Err_NONE);
    const auto& st = s.window->Strokes();
    ASSERT_EQ(st.size(), 14u);
    for (size_t i = 0; i < st.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_FALSE(st[i].by_theme);
        EXPECT_EQ(st[i].width, 1.0f);
        const float blue = i == 0 ? 0.9f : 0.0f;  // the ellipse light grey, the rest yellow
        EXPECT_EQ(st[i].color.red, 0.9f);
        EXPECT_EQ(st[i].color.green, 0.9f);
        EXPECT_EQ(st[i].color.blue, blue);
        EXPECT_EQ(st[i].color.alpha, 1.0f);
    }
    EXPECT_TRUE(vtest::LedgersBalanced(*s.host));
    // No ANSI suite under Premiere; the drawing suites come and go.
    EXPECT_EQ(s.host->Suites().Acquires(kPFANSISuite), 0);
    EXPECT_GE(s.host->Suites().Acquires(kDRAWBOT_SupplierSuite), 1);
}

TEST(OverlayDraw, SquaresStayAxisAlignedOnATurnedFrame) {
    vhost::EffectValues v = Rectangle();
    v.angle = 30;
    v.feather = 20;
    Scene s = MakeScene(HostApp::AfterEffects, v);
    ASSERT_EQ(s.window->Draw(), PF_Err_NONE);
    const auto& st = s.window->Strokes();
    ASSERT_EQ(st.size(), 13u);
    // The turned outer corners, rounded to whole pixels, in drawing order TL, TR, BR, BL.
    const double c = std::cos(static_cast<float>(30 * kDeg)), sn = std::sin(static_cast<float>(30 * kDeg));
    const double rel[4][2] = {{-150, -100}, {150, -100}, {150, 100}, {-150, 100}};
    for (int k = 0; k < 4; ++k) {
        const double x = std::floor(200 + rel[k][0] * c - sn * rel[k][1] + 0.5);
        const double y = std::floor(150 + sn * rel[k][0] + c * rel[k][1] + 0.5);
        SCOPED_TRACE(k);
        ExpectRectangle(st[static_cast<size_t>(1 + k)], static_cast<float>(x - 3), static_cast<float>(y - 3),
                        static_cast<float>(x + 3), static_cast<float>(y + 3));
        // The outline runs through the same corners.
        const PathElement& corner = k == 0 ? st[0].path[0] : st[0].path[static_cast<size_t>(k)];
        EXPECT_EQ(corner.x, static_cast<float>(x));
        EXPECT_EQ(corner.y, static_cast<float>(y));
    }
}

TEST(OverlayDraw, OpacityMarkerIsElevenAcrossAtTheOpacityLevel) {
    for (double opacity : {100.0, 50.0, 0.0, 37.5}) {
        vhost::EffectValues v = Rectangle();
        v.opacity = opacity;
        Scene s = MakeScene(HostApp::AfterEffects, v);
        ASSERT_EQ(s.window->Draw(), PF_Err_NONE);
        const StrokeRecord& marker = s.window->Strokes().back();
        const float level = 100.0f + static_cast<float>(100.0 - opacity);
        SCOPED_TRACE(opacity);
        ExpectRectangle(marker, 155, std::trunc(level - 2), 166, std::trunc(level + 2));
        EXPECT_EQ(marker.path[1].x - marker.path[0].x, 11.0f);
    }
}

TEST(OverlayDraw, CompositionWindowAtZoomTwoWithAnOffset) {
    vhost::WindowView view;
    view.type = PF_Window_COMP;
    view.zoom = 2;
    view.layer_offset_x = 30;
    view.layer_offset_y = 10;
    Scene s = MakeScene(HostApp::AfterEffects, Rectangle(), view);
    ASSERT_EQ(s.window->Draw(), PF_Err_NONE);
    const auto& st = s.window->Strokes();
    ASSERT_EQ(st.size(), 13u);
    // Layer (50, 50)-(350, 250) lands at ((x + 30) * 2, (y + 10) * 2).
    ExpectRectangle(st[0], 160, 120, 760, 520);
    // The arm is a fifth of the layer height in layer pixels, so twice as long on screen;
    // the opacity offsets are window pixels and do not zoom.
    ExpectLine(st[9], 460, 320, 460, 200);
    ExpectLine(st[11], 420, 270, 420, 370);
    EXPECT_EQ(s.window->TraceJson()["window"], "comp");
}

TEST(OverlayDraw, ZeroHeightDrawsAFlatFrameWithoutNaN) {
    vhost::EffectValues v;
    v.height = 0;
    v.feather = 10;
    Scene s = MakeScene(HostApp::AfterEffects, v);
    ASSERT_EQ(s.window->Draw(), PF_Err_NONE);
    const auto& st = s.window->Strokes();
    ASSERT_EQ(st.size(), 14u);
    for (const StrokeRecord& r : st) {
        for (const PathElement& e : r.path) {
            EXPECT_TRUE(std::isfinite(e.x) && std::isfinite(e.y));
        }
    }
    // Top and bottom feather circles sit on the flat frame's line.
    ExpectCircle(st[6], 200, 150, 4);
    ExpectCircle(st[7], 200, 150, 4);
}

TEST(OverlayDraw, OtherWindowsDrawNothingAndLeaveTheFlags) {
    for (PF_WindowType type : {PF_WindowType{PF_Window_EFFECT}, PF_WindowType{PF_Window_NONE}, PF_WindowType{7}}) {
        vhost::WindowView view;
        view.type = type;
        Scene s = MakeScene(HostApp::AfterEffects, {}, view);
        PF_EventExtra event = s.window->NewEvent(PF_Event_DRAW);
        event.evt_out_flags = PF_EO_ALWAYS_UPDATE;
        EXPECT_EQ(s.window->SendEvent(event), PF_Err_NONE);
        EXPECT_EQ(event.evt_out_flags, PF_EO_ALWAYS_UPDATE);
        EXPECT_TRUE(s.window->Strokes().empty());
        EXPECT_EQ(s.host->Suites().TotalAcquires(), 0);
    }
}

TEST(OverlayDraw, NullDrawingReferenceDrawsNothingButReleasesEverything) {
    for (HostApp app : {HostApp::AfterEffects, HostApp::Premiere}) {
        Scene s = MakeScene(app);
        s.host->Faults().null_drawing_reference = true;
        PF_EventOutFlags flags = 0;
        EXPECT_EQ(s.window->Draw(&flags), PF_Err_NONE);
        EXPECT_EQ(flags, PF_EO_HANDLED_EVENT);
        EXPECT_TRUE(s.window->Strokes().empty());
        EXPECT_EQ(s.host->Objects().Created(), 0);
        EXPECT_EQ(s.host->Suites().Acquires(kDRAWBOT_PathSuite), 1);
        EXPECT_TRUE(vtest::LedgersBalanced(*s.host));
    }
}

TEST(OverlayDraw, MissingAnsiSuiteOutsidePremiereIsReturnedToTheHost) {
    Scene s = MakeScene(HostApp::AfterEffects);
    s.host->Faults().withheld_suites.insert(kPFANSISuite);
    PF_EventOutFlags flags = 0;
    EXPECT_EQ(s.window->Draw(&flags), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(flags, PF_EO_NONE);
    EXPECT_TRUE(s.window->Strokes().empty());
    EXPECT_TRUE(vtest::LedgersBalanced(*s.host));

    // Premiere never asks for it.
    Scene p = MakeScene(HostApp::Premiere);
    p.host->Faults().withheld_suites.insert(kPFANSISuite);
    EXPECT_EQ(p.window->Draw(), PF_Err_NONE);
    EXPECT_EQ(p.window->Strokes().size(), 14u);
}

TEST(OverlayDraw, MissingSuitesEndTheDrawCleanly) {
    // The four drawing suites are acquired as a set: one missing draws nothing,
    // still handles the event and leaves the host's message.
    for (const char* name : {kDRAWBOT_DrawSuite, kDRAWBOT_SupplierSuite, kDRAWBOT_SurfaceSuite, kDRAWBOT_PathSuite}) {
        SCOPED_TRACE(name);
        Scene s = MakeScene(HostApp::Premiere);
        s.host->Faults().withheld_suites.insert(name);
        PF_EventOutFlags flags = 0;
        EXPECT_EQ(s.window->Draw(&flags), PF_Err_NONE);
        EXPECT_EQ(flags, PF_EO_HANDLED_EVENT);
        EXPECT_TRUE(s.window->Strokes().empty());
        EXPECT_STREQ(s.host->OutData().return_msg, "Not able to acquire AEFX Suite.");
        EXPECT_TRUE(vtest::LedgersBalanced(*s.host));
    }
    // Suites reached through the suite cache end the command with 516.
    for (const char* name : {kPFEffectCustomUISuite, kPFEffectCustomUIOverlayThemeSuite}) {
        SCOPED_TRACE(name);
        Scene s = MakeScene(HostApp::AfterEffects);
        s.host->Faults().withheld_suites.insert(name);
        PF_EventOutFlags flags = 0;
        EXPECT_EQ(s.window->Draw(&flags), PF_Err_BAD_CALLBACK_PARAM);
        EXPECT_EQ(flags, PF_EO_NONE);
        EXPECT_TRUE(vtest::LedgersBalanced(*s.host));
    }
    Scene s = MakeScene(HostApp::AfterEffects);
    s.host->Faults().no_basic_suite = true;
    EXPECT_EQ(s.window->Draw(), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(s.window->Strokes().empty());
}

// Every drawing call and every pen or path creation, failing at each of its
// calls in turn: drawing stops there, what was stroked stays, nothing leaks,
// and the event is still handled.
TEST(OverlayDraw, EveryFailingCallStopsTheDrawingAndLeaksNothing) {
    const char* calls[] = {"PF_GetDrawingReference", "GetSurface", "GetSupplier", "NewPen", "NewPath", "MoveTo",
                           "LineTo", "AddArc", "Close", "StrokePath", "PF_StrokePath", "ReleaseObject"};
    for (HostApp app : {HostApp::AfterEffects, HostApp::Premiere}) {
        // How often each call is made in a full draw.
        std::map<std::string, int> counts;
        {
            Scene s = MakeScene(app);
            ASSERT_EQ(s.window->Draw(), PF_Err_NONE);
            for (const char* call : calls) counts[call] = s.host->Faults().Calls(call);
        }
        EXPECT_GT(counts["LineTo"], 64);
        for (const char* call : calls) {
            for (int k = 1; k <= counts[call]; ++k) {
                SCOPED_TRACE(std::string(vhost::HostAppName(app)) + " " + call + " #" + std::to_string(k));
                Scene s = MakeScene(app);
                s.host->Faults().FailCall(call, k);
                PF_EventOutFlags flags = 0;
                ASSERT_EQ(s.window->Draw(&flags), PF_Err_NONE);
                EXPECT_EQ(flags, PF_EO_HANDLED_EVENT);
                ASSERT_TRUE(vtest::LedgersBalanced(*s.host));
                EXPECT_TRUE(s.window->Misuses().empty());
                const size_t strokes = s.window->Strokes().size();
                if (std::string(call) == "StrokePath" || std::string(call) == "PF_StrokePath") {
                    EXPECT_EQ(strokes, static_cast<size_t>(k - 1));
                } else if (std::string(call) != "ReleaseObject") {
                    EXPECT_LT(strokes, 14u);
                }
            }
        }
    }
}

TEST(OverlayDraw, TraceFollowsTheContract) {
    Scene pr = MakeScene(HostApp::Premiere, Rectangle());
    ASSERT_EQ(pr.window->Draw(), PF_Err_NONE);
    const nlohmann::ordered_json j = pr.window->TraceJson();
    EXPECT_EQ(j["window"], "layer");
    ASSERT_EQ(j["strokes"].size(), 13u);
    const auto& frame = j["strokes"][0];
    EXPECT_EQ(frame["by"], "pen");
    EXPECT_EQ(frame["width"], 1.0);
    EXPECT_EQ(frame["color"].size(), 4u);
    EXPECT_EQ(frame["path"][0], nlohmann::ordered_json({"move", 50.0, 50.0}));
    EXPECT_EQ(frame["path"][4], nlohmann::ordered_json::array({"close"}));
    EXPECT_EQ(j["strokes"][5]["path"][0], nlohmann::ordered_json({"arc", 200.0, 50.0, 4.0, 0.0, 360.0}));

    Scene ae = MakeScene(HostApp::AfterEffects, Rectangle());
    ASSERT_EQ(ae.window->Draw(), PF_Err_NONE);
    const nlohmann::ordered_json t = ae.window->TraceJson()["strokes"][0];
    EXPECT_EQ(t["by"], "theme");
    EXPECT_EQ(t["shadow"], true);
    EXPECT_FALSE(t.contains("color"));
}

TEST(OverlayDraw, PictureShowsTheOutlineOverTheCheckerboard) {
    Scene s = MakeScene(HostApp::Premiere, Rectangle());
    const std::vector<uint8_t> before = s.window->PictureRGBA8();
    ASSERT_EQ(s.window->Draw(), PF_Err_NONE);
    const std::vector<uint8_t> after = s.window->PictureRGBA8();
    ASSERT_EQ(after.size(), 400u * 300u * 4u);
    const auto px = [&](const std::vector<uint8_t>& img, int x, int y) { return &img[(y * 400 + x) * 4]; };
    // On the frame's top edge: yellow (blue channel far below red).
    const uint8_t* edge = px(after, 120, 50);
    EXPECT_GT(edge[0], 180);
    EXPECT_LT(edge[2], 80);
    // Well inside the frame nothing changed.
    EXPECT_EQ(std::vector<uint8_t>(px(after, 250, 200), px(after, 250, 200) + 4),
              std::vector<uint8_t>(px(before, 250, 200), px(before, 250, 200) + 4));
    // The checkerboard is grey and opaque.
    const uint8_t* bg = px(before, 3, 3);
    EXPECT_EQ(bg[0], bg[1]);
    EXPECT_EQ(bg[1], bg[2]);
    EXPECT_EQ(bg[3], 255);
}

}  // namespace
