// The parts of the view window that need no display, each through the loaded
// module: the values kept apart from a host for undo and host switches, and the
// frames as the screen gets them. Gestures press by press: view_window_test.
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
