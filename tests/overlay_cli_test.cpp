// `vellora overlay` and `vellora drag` as a user runs them.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "imaging/ImageIO.h"
#include "tests/TestFiles.h"

namespace {

using vtest::CliRun;

// Standard output only, unless asked for standard error too.
CliRun RunCli(const std::string& args, bool with_stderr = false) { return vtest::RunCli(args, with_stderr); }

class WindowCli : public ::testing::Test {
protected:
    nlohmann::json Trace() { return nlohmann::json::parse(vtest::FileText(dir + "/trace.json")); }
    const vtest::TempDir temp;
    const std::string dir = temp.Dir();
};

// A 320 x 240 card, frame (10, 20)-(310, 220), seen in the composition window at zoom 2
// with the layer at (10, 20): layer point (x, y) is window ((x + 10) * 2, (y + 20) * 2).
const char kView[] = "testcard:320x240 --window comp --zoom 2 --layer-offset 10,20 -q";

TEST_F(WindowCli, OverlayPictureAndTrace) {
    const CliRun run = RunCli(std::string("overlay ") + kView + " '" + dir + "/view.png' --mask rectangle --trace '" +
                              dir + "/trace.json'");
    ASSERT_EQ(run.status, 0) << run.out;
    EXPECT_EQ(vimaging::ReadImage(dir + "/view.png").width, (320 + 10) * 2);
    const nlohmann::json t = Trace();
    EXPECT_EQ(t["window"], "comp");
    ASSERT_EQ(t["strokes"].size(), 13u);
    EXPECT_EQ(t["strokes"][0]["path"][0], nlohmann::json({"move", 40.0, 80.0}));
    EXPECT_EQ(t["strokes"][0]["path"][2], nlohmann::json({"line", 640.0, 480.0}));
    EXPECT_EQ(temp.Names(), std::vector<std::string>({"trace.json", "view.png"})) << "no temporary files left";

    for (const char* bad : {"--zoom fast", "--window effect", "--pan 3", "--trace ''"}) {
        const CliRun failed = RunCli("overlay testcard: '" + dir + "/bad.png' " + bad, true);
        EXPECT_EQ(failed.status, 1) << failed.out;
        EXPECT_EQ(failed.out.rfind(std::string("vellora: ") + std::string(bad).substr(0, 6), 0), 0u) << failed.out;
        EXPECT_NE(access((dir + "/bad.png").c_str(), F_OK), 0);
    }
}

TEST_F(WindowCli, DragACornerEndToEnd) {
    // The bottom-right corner (310, 220) is window (640, 480); window (540, 380) is layer (260, 170).
    const CliRun run = RunCli(std::string("drag ") + kView + " --from 640,480 --to 540,380 --steps 5 --out '" + dir +
                              "/after.png' --trace '" + dir + "/trace.json'");
    ASSERT_EQ(run.status, 0) << run.out;
    const nlohmann::json j = nlohmann::json::parse(run.out);
    EXPECT_EQ(j["handle"], 4);
    EXPECT_EQ(j["handle_name"], "bottom_right");
    EXPECT_EQ(j["handled"], true);
    EXPECT_EQ(j["changed"], nlohmann::json({"width", "height"}));
    EXPECT_EQ(j["params"]["width"], 200.0);
    EXPECT_EQ(j["params"]["height"], 100.0);
    EXPECT_EQ(j["params"]["origin"], nlohmann::json({160.0, 120.0}));
    EXPECT_EQ(j["params"]["mask_type"], "ellipse");
    // The overlay afterwards is drawn from the new values: frame (60, 70)-(260, 170).
    EXPECT_EQ(vimaging::ReadImage(dir + "/after.png").height, (240 + 20) * 2);
    EXPECT_EQ(Trace()["strokes"][1]["path"][0], nlohmann::json({"move", 140.0, 180.0}));

    const nlohmann::json miss = nlohmann::json::parse(RunCli("drag testcard:320x240 --from 3,3 --to 100,100").out);
    EXPECT_TRUE(miss["handle"].is_null());
    EXPECT_EQ(miss["handled"], false);
    EXPECT_TRUE(miss["changed"].empty());
}

// A reduced render is shown enlarged to the layer's size, composited over the
// checkerboard (8-pixel squares, 0.6 and 0.4 grey) exactly as rendered.
TEST_F(WindowCli, ReducedFrameShowsEnlargedUnderTheOverlay) {
    const std::string card = "testcard:256x192 -q --downsample 2 --feather 40";
    ASSERT_EQ(RunCli("render " + card + " '" + dir + "/frame.png'").status, 0);
    ASSERT_EQ(RunCli("overlay " + card + " '" + dir + "/view.png'").status, 0);
    const vimaging::Image frame = vimaging::ReadImage(dir + "/frame.png");
    const vimaging::Image view = vimaging::ReadImage(dir + "/view.png");
    ASSERT_EQ(frame.width, 128);
    ASSERT_EQ(view.width, 256);
    int masked = 0, same = 0;
    for (int y = 0; y < 192; ++y) {
        for (int x = 0; x < 256; ++x) {
            const float bg = ((x / 8 + y / 8) % 2) ? 0.40f : 0.60f;
            const float a = static_cast<float>(frame.Normalised(x / 2, y / 2, 3));
            if (a == 0.0f) continue;
            ++masked;
            bool match = true;
            for (int c = 0; c < 3; ++c) {
                const float v = static_cast<float>(frame.Normalised(x / 2, y / 2, c));
                const long want = std::lround((v * a + bg * (1.0f - a)) * 255.0f);
                match = match && std::abs(want - static_cast<long>(view.u8[(y * 256 + x) * 4 + c])) <= 1;
            }
            same += match;
        }
    }
    // Only the overlay's strokes may differ.
    ASSERT_GT(masked, 20000);
    EXPECT_GT(same, masked * 95 / 100) << same << " of " << masked;
}

// The trace and the picture are two files, never one overwriting the other;
// a trace to a pipe goes straight into it. (Formats: imaging_formats_test.)
TEST_F(WindowCli, TheTraceBesideThePicture) {
    const CliRun piped = RunCli("overlay testcard:64x48 -q '" + dir + "/piped.png' --trace /dev/stdout");
    ASSERT_EQ(piped.status, 0) << piped.out;
    EXPECT_EQ(nlohmann::json::parse(piped.out)["window"], "layer");

    for (const std::string& command : {"overlay testcard:64x48 -q '" + dir + "/same.png' --trace '" + dir + "/./same.png'",
                                       "drag testcard:64x48 --from 1,1 --to 2,2 --out '" + dir + "/same.png' --trace '" +
                                           dir + "/same.png'"}) {
        const CliRun same = RunCli(command, true);
        EXPECT_EQ(same.status, 1) << same.out;
        EXPECT_EQ(same.out.rfind("vellora: --trace", 0), 0u) << same.out;
        EXPECT_NE(same.out.find("same file"), std::string::npos) << same.out;
        EXPECT_NE(access((dir + "/same.png").c_str(), F_OK), 0);
    }
}

// A grey file is shown as the same picture as the RGB file of its values:
// the grey channel feeds red, green and blue alike.
TEST_F(WindowCli, AGreyInputShowsAsItsRgbEqual) {
    const int w = 48, h = 32;
    const std::vector<float> grey = vtest::Noise(static_cast<size_t>(w) * h, 9, 0, 1, 256);
    std::vector<float> rgb;
    for (float v : grey) rgb.insert(rgb.end(), {v, v, v});
    ASSERT_TRUE(vtest::WriteFile(dir + "/grey.png", OIIO::ImageSpec(w, h, 1, OIIO::TypeDesc::UINT8), grey));
    ASSERT_TRUE(vtest::WriteFile(dir + "/rgb.png", OIIO::ImageSpec(w, h, 3, OIIO::TypeDesc::UINT8), rgb));
    for (const char* name : {"grey", "rgb"}) {
        const CliRun run = RunCli(std::string("overlay '") + dir + "/" + name + ".png' '" + dir + "/shown-" + name +
                                  ".png' -q --feather 10", true);
        ASSERT_EQ(run.status, 0) << run.out;
    }
    const vimaging::Image grey_shown = vimaging::ReadImage(dir + "/shown-grey.png");
    EXPECT_EQ(grey_shown.u8, vimaging::ReadImage(dir + "/shown-rgb.png").u8);
    // And the colour is really there: somewhere red, green and blue are not all 0.
    EXPECT_NE(std::count(grey_shown.u8.begin(), grey_shown.u8.end(), 0), static_cast<long>(grey_shown.u8.size()));
}

}  // namespace
