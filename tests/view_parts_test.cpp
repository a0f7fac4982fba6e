// The parts of the view window that need no display, each through the loaded
// module: the gesture driven event by event, the values kept apart from a host
// for undo and host switches, and the frames as the screen gets them.
#include <algorithm>
#include <cmath>
#include <memory>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "view/ControlsPanel.h"
#include "params/EffectParams.h"
#include "params/ParamTable.h"
#include "view/Frames.h"
#include "imaging/ImageIO.h"
#include "overlay/Overlay.h"
#include "view/ParamHistory.h"
#include "imaging/TestCard.h"
#include "tests/TestSupport.h"
#include "plugin/Vellora/Vellora.h"

namespace {

using vhost::HostApp;

std::unique_ptr<vhost::Host> HostWith(HostApp app, const vparams::EffectValues& v, int w, int h) {
    auto host = vtest::SetUpHost(app);
    vparams::ApplyEffectValues(*host, v, w, h);
    return host;
}

// A press, moves and a release sent one by one reach the effect exactly as the
// whole gesture `vellora drag` plays; and a window of its own size, panned to
// (X0, Y0), takes a press at (X0 + a, Y0 + b) as the drag's window takes (a, b).
TEST(ViewGestureEvents, PressMoveReleaseIsTheGestureDriver) {
    vparams::EffectValues v;
    v.angle = 30;
    v.feather = 20;
    const PF_Point to{530, 250};
    for (HostApp app : {HostApp::AfterEffects, HostApp::Premiere}) {
        SCOPED_TRACE(vhost::HostAppName(app));
        // The corner of a mask turned by 30 degrees about (320, 180).
        const double a = 30 * M_PI / 180, cx = 150 * std::cos(a) - 100 * std::sin(a),
                     cy = 150 * std::sin(a) + 100 * std::cos(a);
        const PF_Point corner{static_cast<A_long>(std::lround(320 + cx)), static_cast<A_long>(std::lround(180 + cy))};

        auto whole_host = HostWith(app, v, 640, 360);
        voverlay::OverlayWindow whole(*whole_host, {}, 640, 360);
        const voverlay::GestureResult expected = whole.Gesture(corner, to, 3);
        ASSERT_TRUE(expected.handled);

        voverlay::WindowView panned;
        panned.pan_x = 37;
        panned.pan_y = -12;
        auto steps_host = HostWith(app, v, 640, 360);
        voverlay::OverlayWindow steps(*steps_host, panned, 640, 360, 1200, 700);
        const auto shifted = [&](PF_Point p) { return PF_Point{p.h + 37, p.v - 12}; };
        steps.Press(shifted(corner));
        EXPECT_TRUE(steps.Dragging());
        steps.Move(shifted(PF_Point{480, 300}));
        steps.Move(shifted(PF_Point{500, 265}));
        const voverlay::GestureResult got = steps.Release(shifted(to));
        EXPECT_FALSE(steps.Dragging());
        EXPECT_EQ(got.handle, expected.handle);
        EXPECT_EQ(got.changed, expected.changed);
        EXPECT_EQ(got.drag_events, 3);
        EXPECT_EQ(vparams::ReadEffectValuesJson(*steps_host),
                  vparams::ReadEffectValuesJson(*whole_host));
        EXPECT_TRUE(vtest::LedgersBalanced(*steps_host));

        // A press that grabs nothing sends no drag events and changes nothing.
        const auto before = vparams::ReadEffectValuesJson(*steps_host);
        steps.Press(PF_Point{2, 2});
        EXPECT_FALSE(steps.Dragging());
        EXPECT_EQ(steps.Move(PF_Point{300, 300}), PF_Err_NONE);
        const voverlay::GestureResult miss = steps.Release(PF_Point{320, 320});
        EXPECT_FALSE(miss.handled);
        EXPECT_EQ(miss.drag_events, 0);
        EXPECT_EQ(vparams::ReadEffectValuesJson(*steps_host), before);
    }
}

// The values survive a change of host exactly (16.16 values as their integers),
// and the history keeps one step per change, dropping what could be redone
// once a new change is made.
TEST(ViewParamHistory, ValuesCrossHostsExactlyAndUndoRedoStepByStep) {
    vparams::EffectValues v;
    v.mask_type = 2;
    v.composite_mode = 2;
    v.origin_x = 101.3;
    v.origin_y = -7.25;
    v.width = 333.123456789;
    v.height = 0.5;
    v.angle = -721.37;
    v.feather = 12.75;
    v.opacity = 33.3;
    v.invert = true;
    v.falloff = 5;
    auto ae = HostWith(HostApp::AfterEffects, v, 640, 360);
    const vview::ParamSnapshot values = vview::CaptureParams(*ae);
    auto premiere = vtest::SetUpHost(HostApp::Premiere);
    vview::RestoreParams(*premiere, values);
    EXPECT_EQ(vparams::ReadEffectValuesJson(*premiere),
              vparams::ReadEffectValuesJson(*ae));

    vview::ParamHistory history;
    history.Record("nothing", values, values);
    EXPECT_FALSE(history.CanUndo());
    const auto change = [&](double width) {
        const vview::ParamSnapshot before = vview::CaptureParams(*ae);
        ae->Params()[PARAM_WIDTH].u.fs_d.value = width;
        history.Record("Width", before, vview::CaptureParams(*ae));
    };
    const auto width_after = [&](const vview::ParamHistory::Change* c, bool undo) {
        EXPECT_NE(c, nullptr);
        if (!c) return -1.0;
        vview::RestoreParams(*ae, undo ? c->before : c->after);
        return ae->Params()[PARAM_WIDTH].u.fs_d.value;
    };
    change(10);
    change(20);
    change(30);
    EXPECT_EQ(history.NextUndo(), "Width");
    EXPECT_EQ(width_after(history.Undo(), true), 20);
    EXPECT_EQ(width_after(history.Undo(), true), 10);
    EXPECT_EQ(width_after(history.Redo(), false), 20);
    change(25);
    EXPECT_FALSE(history.CanRedo());
    EXPECT_EQ(width_after(history.Undo(), true), 20);
    EXPECT_EQ(width_after(history.Undo(), true), 10);
    EXPECT_EQ(width_after(history.Undo(), true), v.width);
    EXPECT_EQ(history.Undo(), nullptr);
}

// The popups' choices as the effect declares them, a trailing separator included.
TEST(ViewControls, PopupChoicesComeFromTheDeclaration) {
    auto host = vtest::SetUpHost();
    const PF_ParamDef& mask = host->Params()[PARAM_MASK_TYPE];
    EXPECT_EQ(vparams::SplitChoices(mask.u.pd.u.namesptr, mask.u.pd.num_choices),
              (std::vector<std::string>{"Ellipse", "Rectangle"}));
    const PF_ParamDef& mode = host->Params()[PARAM_COMPOSITE_MODE];
    EXPECT_EQ(vparams::SplitChoices(mode.u.pd.u.namesptr, mode.u.pd.num_choices),
              (std::vector<std::string>{"Add", "Subtract", "Intersect", "Create"}));
    EXPECT_EQ(vparams::SplitChoices("A|B", 5), (std::vector<std::string>{"A", "B"}));
}

// Every depth reaches the screen as 8-bit RGBA in red, green, blue, alpha order,
// at full and at reduced resolution, and the alpha under a full-resolution
// layer pixel is read from the reduced frame where that pixel went.
TEST(ViewFrames, EveryDepthReachesTheScreenInOrder) {
    const struct {
        HostApp app;
        vhost::PixelLayout layout;
    } modes[] = {{HostApp::AfterEffects, vhost::PixelLayout::ARGB8},
                 {HostApp::AfterEffects, vhost::PixelLayout::ARGB16},
                 {HostApp::Premiere, vhost::PixelLayout::BGRA8},
                 {HostApp::Premiere, vhost::PixelLayout::BGRA32F}};
    vparams::EffectValues v;
    v.feather = 40;
    v.width = 200;
    for (const auto& mode : modes) {
        for (int downsample : {1, 3}) {
            SCOPED_TRACE(std::string(vhost::PixelLayoutName(mode.layout)) + " 1/" + std::to_string(downsample));
            auto host = HostWith(mode.app, v, 320, 180);
            vview::Frames frames(vimaging::MakeTestCard(320, 180));
            ASSERT_EQ(frames.Render(*host, mode.layout, downsample, PF_RationalScale{1, 1}), PF_Err_NONE);
            const vhost::World& out = frames.Output();
            EXPECT_EQ(out.Width(), (320 + downsample - 1) / downsample);
            const std::vector<float> expected = vimaging::NormalisedRGBA(vimaging::WorldToImage(out));
            const std::vector<uint8_t>& shown = frames.Display();
            ASSERT_EQ(shown.size(), expected.size());
            int worst = 0;
            for (size_t i = 0; i < shown.size(); ++i) {
                const int want = static_cast<int>(std::lround(std::clamp(expected[i], 0.0f, 1.0f) * 255));
                worst = std::max(worst, std::abs(want - shown[i]));
            }
            EXPECT_LE(worst, 1);
            for (const auto& p : {std::make_pair(160, 90), std::make_pair(100, 20), std::make_pair(319, 179)}) {
                const int sx = p.first / downsample, sy = p.second / downsample;
                EXPECT_DOUBLE_EQ(*frames.AlphaAt(p.first, p.second), out.Get(sx, sy).a / out.FullScale());
            }
            EXPECT_FALSE(frames.AlphaAt(320, 0).has_value());
            EXPECT_FALSE(frames.AlphaAt(-1, 5).has_value());
        }
    }
}

}  // namespace
