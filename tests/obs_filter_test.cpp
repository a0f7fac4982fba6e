// The OBS filter "vellora_mask" in libobs itself (vellora_obs_host under Xvfb,
// Mesa's OpenGL): on a camera-like source fed exact frames, on OBS's image
// source and on a scene, every picture must equal `vellora render --host
// premiere --depth 8` of the same frame with the same values, byte for byte.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "tests/ObsHostRun.h"

namespace {

using nlohmann::json;
using vtest::Bytes;
using vtest::Difference;

class ObsFilterXvfb : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(host_.Ready()) << "Xvfb did not start";
    }

    // A frame as the exact-frames source `source` gets it.
    json Frames(const std::string& source, const std::string& frame, const vimaging::Image& image) {
        host_.WriteFrame(frame, image);
        return {{"do", "frames"}, {"name", source}, {"raw", host_.Dir().Path(frame + ".rgba")},
                {"width", image.width}, {"height", image.height}};
    }
    json Render(const std::string& source, const std::string& out, int frames = 1) {
        return {{"do", "render"}, {"source", source}, {"out", host_.Dir().Path(out)}, {"frames", frames}};
    }
    static json Filter(const std::string& on, const std::string& name, const json& settings) {
        return {{"do", "filter"}, {"on", on}, {"name", name}, {"settings", settings}};
    }

    vtest::CliRun Run(const json& steps, const json& video = {{"width", 320}, {"height", 180}}) {
        const vtest::CliRun run = host_.Run(video, steps);
        EXPECT_EQ(run.status, 0) << run.out << run.err;
        return run;
    }

    // The host's picture `out` against `vellora render` of frame `frame` under `settings`.
    void ExpectRendered(const std::string& out, const std::string& frame, const vimaging::Image& image,
                        const json& settings) {
        const Bytes expected = host_.Reference(frame, vtest::ParamsOfSettings(settings, image.width, image.height));
        EXPECT_EQ(Difference(host_.Picture(out), expected, image.width), "") << out << " under " << settings.dump();
    }

    vtest::ObsHostRun host_;
};

// A sample of every shape, mode, falloff and invert, the origin set and not,
// each on a source of its own size, all filters live at once.
TEST_F(ObsFilterXvfb, CameraFramesEqualVelloraRenderForEveryShapeModeAndFalloff) {
    const std::vector<json> settings = {
        json::object(),
        {{"mask_type", "rectangle"}, {"composite_mode", "add"}, {"falloff", "quadratic"}, {"feather", 20},
         {"width", 120}, {"height", 60}, {"angle", 30}},
        {{"composite_mode", "subtract"}, {"falloff", "cubic"}, {"feather", 35}, {"invert", true}, {"opacity", 60}},
        {{"composite_mode", "intersect"}, {"falloff", "gamma"}, {"feather", 50}, {"origin_x", 40.5},
         {"origin_y", 30}},
        {{"mask_type", "rectangle"}, {"falloff", "gaussian"}, {"feather", 40}, {"invert", true}, {"angle", -45},
         {"width", 150}},
        {{"composite_mode", "add"}, {"falloff", "exponential"}, {"feather", 25}, {"opacity", 35.5},
         {"origin_x", 200}, {"origin_y", -10}, {"width", 500}},
    };
    const int sizes[][2] = {{321, 181}, {64, 40}, {200, 200}, {640, 360}, {33, 17}, {1280, 720}};
    json steps = json::array();
    std::vector<vimaging::Image> frames;
    for (size_t i = 0; i < settings.size(); ++i) {
        const std::string n = std::to_string(i);
        frames.push_back(vtest::TestFrame(sizes[i][0], sizes[i][1], static_cast<unsigned>(i)));
        steps.push_back(Frames("camera" + n, "frame" + n, frames.back()));
        steps.push_back(Filter("camera" + n, "mask" + n, settings[i]));
    }
    for (size_t i = 0; i < settings.size(); ++i) {
        const std::string n = std::to_string(i);
        steps.push_back(Render("camera" + n, "out" + n + ".rgba", 2));
    }
    const vtest::CliRun run = Run(steps);
    for (size_t i = 0; i < settings.size(); ++i) {
        const std::string n = std::to_string(i);
        ExpectRendered("out" + n + ".rgba", "frame" + n, frames[i], settings[i]);
    }
    EXPECT_EQ(run.err.find("warning"), std::string::npos) << run.err;
}

// OBS has no keyframes: a change of settings (as obs-websocket makes it) shows
// on the next frame, a new frame at most one frame late, and a new size never
// mixes with the old (the filter reads what it just staged).
TEST_F(ObsFilterXvfb, ChangesShowOnTheNextFrameAndSizesNeverMix) {
    const json first = {{"feather", 30}, {"width", 150}, {"falloff", "gaussian"}};
    const json second = {{"mask_type", "rectangle"}, {"angle", 20}, {"composite_mode", "intersect"}};
    json both = first;
    both.update(second);
    const vimaging::Image a = vtest::TestFrame(200, 120, 1), b = vtest::TestFrame(200, 120, 2),
                          c = vtest::TestFrame(150, 90, 3);
    Run({Frames("camera", "a", a), Filter("camera", "mask", first), Render("camera", "first.rgba", 2),
         {{"do", "update"}, {"name", "mask"}, {"settings", second}}, Render("camera", "second.rgba"),
         Frames("camera", "b", b), Render("camera", "b1.rgba"), Render("camera", "b2.rgba"),
         Frames("camera", "c", c), Render("camera", "c1.rgba"), Render("camera", "c2.rgba"),
         {{"do", "enable"}, {"name", "mask"}, {"on", false}}, Render("camera", "off.rgba")});
    ExpectRendered("first.rgba", "a", a, first);
    ExpectRendered("second.rgba", "a", a, both);
    // The frame staged on the frame before may still be the old one.
    const Bytes b1 = host_.Picture("b1.rgba");
    const Bytes old = host_.Reference("a", vtest::ParamsOfSettings(both, 200, 120));
    const Bytes fresh = host_.Reference("b", vtest::ParamsOfSettings(both, 200, 120));
    EXPECT_TRUE(b1 == old || b1 == fresh) << Difference(b1, fresh, 200);
    ExpectRendered("b2.rgba", "b", b, both);
    // An async source may still show its old frame on the next tick (about one
    // run in ten here): the picture is then b's whole, never a mix of sizes.
    const Bytes c1 = host_.Picture("c1.rgba");
    const Bytes small = host_.Reference("c", vtest::ParamsOfSettings(both, 150, 90));
    EXPECT_TRUE(c1 == fresh || c1 == small) << Difference(c1, small, 150);
    ExpectRendered("c2.rgba", "c", c, both);
    EXPECT_EQ(Difference(host_.Picture("off.rgba"), c.u8, c.width), "") << "the source without the filter";
}

// A synchronous source (OBS's image source, its texture premultiplied) and a
// scene, through OBS's filter convention; and two masks on one source.
TEST_F(ObsFilterXvfb, ImageSourceSceneAndChainEqualVelloraRender) {
    const json mask = {{"feather", 40}, {"width", 180}, {"height", 90}, {"falloff", "cubic"}, {"angle", 15}};
    const json first = {{"composite_mode", "intersect"}, {"width", 230}, {"height", 125}, {"feather", 10}};
    const json chained = {{"mask_type", "rectangle"}, {"composite_mode", "intersect"}, {"invert", true},
                          {"width", 90}};
    const vimaging::Image opaque = vtest::TestFrame(300, 170, 4, true), camera = vtest::TestFrame(160, 100, 5, true);
    const vimaging::Image blended = vtest::TestFrame(240, 130, 6);
    host_.WriteFrame("opaque", opaque);
    host_.WriteFrame("blended", blended);
    // The scene: the camera at the top left of a 320x180 canvas, nothing elsewhere.
    vimaging::Image canvas = vimaging::Image::Make(320, 180, vimaging::SampleType::U8);
    for (int y = 0; y < camera.height; ++y) {
        std::copy_n(&camera.u8[static_cast<size_t>(y) * camera.width * 4], camera.width * 4,
                    &canvas.u8[static_cast<size_t>(y) * canvas.width * 4]);
    }
    host_.WriteFrame("canvas", canvas);
    Run({{{"do", "image"}, {"name", "image"}, {"file", host_.Dir().Path("opaque.png")}},
         Filter("image", "mask", mask), Render("image", "image.rgba", 2),
         {{"do", "image"}, {"name", "blended"}, {"file", host_.Dir().Path("blended.png")}},
         Filter("blended", "mask2", first), Filter("blended", "mask3", chained), Render("blended", "chain.rgba", 2),
         Frames("camera", "camera", camera), {{"do", "scene"}, {"name", "scene"}, {"items", {"camera"}}},
         // A scene places a new item on its next video tick, and the filter shows its
         // target a frame late: the third frame is the first sure to hold the camera.
         Filter("scene", "scenemask", mask), Render("scene", "scene.rgba", 3)});
    ExpectRendered("image.rgba", "opaque", opaque, mask);
    ExpectRendered("scene.rgba", "canvas", canvas, mask);
    // OBS hands a filter its target premultiplied (the image's texture, the
    // first mask's result): where that alpha is partial, a colour is OBS's
    // rounding of it, and under none there is none. So alpha must be exact
    // everywhere, colour where the first mask left the image opaque.
    vimaging::Image once = vimaging::Image::Make(240, 130, vimaging::SampleType::U8);
    once.u8 = host_.Reference("blended", vtest::ParamsOfSettings(first, 240, 130));
    host_.WriteFrame("once", once);
    const Bytes expected = host_.Reference("once", vtest::ParamsOfSettings(chained, 240, 130));
    Bytes chain = host_.Picture("chain.rgba");
    ASSERT_EQ(chain.size(), expected.size());
    size_t opaque_colours = 0;
    for (size_t i = 0; i < chain.size(); ++i) {
        if (i % 4 == 3) continue;
        if (once.u8[i - i % 4 + 3] == 255 && blended.u8[i - i % 4 + 3] == 255) {
            ++opaque_colours;
        } else {
            chain[i] = expected[i];
        }
    }
    EXPECT_GT(opaque_colours, chain.size() / 10) << "too few colours compared";
    EXPECT_EQ(Difference(chain, expected, 240), "");
}

// Settings edited by hand in a scene collection: each wrong one named once in
// OBS's log and replaced by the default or the range's end; nothing crashes.
TEST_F(ObsFilterXvfb, BadSettingsFallBackWithOneLineEach) {
    const json bad = {{"width", "wide"}, {"height", 99999}, {"falloff", "sine"}, {"invert", 1},
                      {"origin_x", -1e9}, {"mask_type", 2}, {"feather", 12}};
    const vimaging::Image frame = vtest::TestFrame(200, 100, 7);
    const vtest::CliRun run = Run({Frames("camera", "frame", frame), Filter("camera", "mask", bad),
                                   Render("camera", "bad.rgba", 2),
                                   {{"do", "image"}, {"name", "missing"}, {"file", "/nonexistent.png"}},
                                   Filter("missing", "empty", json::object()), Render("missing", "empty.rgba")});
    ExpectRendered("bad.rgba", "frame", frame, {{"height", 15000}, {"origin_x", -32767}, {"feather", 12}});
    for (const char* key : {"width", "height", "falloff", "invert", "origin_x", "mask_type"}) {
        const std::regex line(std::string("warning: \\[vellora-obs\\] 'mask': ") + key + ": [^\n]*; using ");
        const auto found = std::distance(std::sregex_iterator(run.err.begin(), run.err.end(), line),
                                         std::sregex_iterator());
        EXPECT_EQ(found, 1) << key << "\n" << run.err;
    }
    EXPECT_NE(run.out.find("rendered " + host_.Dir().Path("empty.rgba") + " 0 0"), std::string::npos) << run.out;
}

// An HDR frame (10-bit PQ) is passed through, said once in the log; on the
// same HDR canvas an 8-bit source is still masked exactly.
TEST_F(ObsFilterXvfb, HdrSourcesPassThroughAndSdrOnesAreStillMasked) {
    const json mask = {{"feather", 20}, {"invert", true}};
    const vimaging::Image frame = vtest::TestFrame(160, 90, 8);
    const vtest::CliRun run = Run(
        {{{"do", "hdr"}, {"name", "hdr"}, {"width", 160}, {"height", 90}}, Filter("hdr", "hdrmask", mask),
         Render("hdr", "masked.rgba", 2), {{"do", "enable"}, {"name", "hdrmask"}, {"on", false}},
         Render("hdr", "plain.rgba"), Frames("camera", "frame", frame), Filter("camera", "mask", mask),
         Render("camera", "sdr.rgba", 2)},
        {{"width", 320}, {"height", 180}, {"format", "P010"}, {"colorspace", "2100pq"}});
    EXPECT_EQ(Difference(host_.Picture("masked.rgba"), host_.Picture("plain.rgba"), 160), "");
    const std::string refusal = "warning: [vellora-obs] 'hdrmask': the source renders in HDR";
    EXPECT_NE(run.err.find(refusal), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find(refusal), run.err.rfind(refusal)) << "said more than once:\n" << run.err;
    ExpectRendered("sdr.rgba", "frame", frame, mask);
}

}  // namespace
