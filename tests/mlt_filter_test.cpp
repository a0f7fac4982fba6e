// The MLT filter "vellora" in the programs that run it: melt rendering
// projects as Kdenlive and Shotcut save them, an editor's scaled preview, and
// melt's own descriptions. Every frame must equal, byte for byte,
// `vellora render --host premiere --depth 8` with the same values and keys.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "imaging/ImageIO.h"
#include "tests/TestFiles.h"

namespace {

using Bytes = std::vector<uint8_t>;

class MltFilter : public ::testing::Test {
protected:
    void SetUp() override {
        if (vtest::RunShell("command -v melt").status != 0) FAIL() << "melt is not installed (scripts/install-deps.sh)";
#ifdef VELLORA_SANITIZED
        // melt stalls on glibc's gettext lock as it loads its modules beside a
        // sanitizer's runtime and this build of the filter: the plain build runs these.
        GTEST_SKIP() << "melt cannot load this sanitizer's build of the MLT filter";
#endif
    }

    std::string Path(const std::string& name) const { return dir_.Path(name); }

    // A command in the scratch folder, melt finding the built module and its
    // metadata, and the built frei0r filter before Debian's (mask_apply
    // composites with Debian's frei0r.composition).
    std::string InDir(const std::string& command) const {
        return "cd '" + dir_.Dir() + "' && MLT_REPOSITORY='" VELLORA_MLT_REPOSITORY "' MLT_DATA='" VELLORA_MLT_DATA
               "' FREI0R_PATH='" VELLORA_FREI0R_DIR ":/usr/lib/frei0r-1' " + command;
    }
    vtest::CliRun Shell(const std::string& command) { return vtest::RunShell(InDir(command)); }
    vtest::CliRun MeltRun(const std::string& command, const std::string& out) {
        return vtest::RunMelt(InDir(command), Path(out));
    }
    void Run(const std::string& command) {
        const vtest::CliRun run = Shell(command);
        ASSERT_EQ(run.status, 0) << command << "\n" << run.out;
    }

    // melt's frames as raw RGBA (nothing through YUV); `args` name what it plays.
    // Its warnings and errors are kept in melt_log_ for a failure's message.
    std::string Melt(const std::string& args, const std::string& out = "out.rgba") {
        const std::string command = "timeout -s KILL 120 melt -silent " + args + " -consumer avformat:" + out +
                                    " f=rawvideo vcodec=rawvideo pix_fmt=rgba an=1 real_time=-1";
        const vtest::CliRun run = MeltRun(command, out);
        melt_log_ = command + "\n" + run.out;
        EXPECT_EQ(run.status, 0) << melt_log_;
        return vtest::FileText(Path(out));
    }
    std::string melt_log_;

    // A still whose colour and alpha vary over x and y.
    std::string WriteStill(const std::string& name, int w, int h) {
        vimaging::Image image = vimaging::Image::Make(w, h, vimaging::SampleType::U8);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                uint8_t* p = &image.u8[(static_cast<size_t>(y) * w + x) * 4];
                p[0] = static_cast<uint8_t>(x * 255 / (w - 1));
                p[1] = static_cast<uint8_t>(y * 255 / (h - 1));
                p[2] = static_cast<uint8_t>(x * 7 + y * 13);
                p[3] = static_cast<uint8_t>(x * 11 + y * 5 + 20);
            }
        }
        vimaging::WriteImage(Path(name), image);
        return Path(name);
    }

    void WriteProfile(int w, int h) {
        std::ofstream(Path("profile")) << "description=test\nwidth=" << w << "\nheight=" << h
                                       << "\nprogressive=1\nsample_aspect_num=1\nsample_aspect_den=1\n"
                                          "display_aspect_num=" << w << "\ndisplay_aspect_den=" << h
                                       << "\nframe_rate_num=25\nframe_rate_den=1\ncolorspace=709\n";
    }

    // `vellora render` of the still (or frames of it, with keys, to `out`).
    void Render(const std::string& input, const std::string& options, const std::string& out) {
        Run("'" VELLORA_CLI_PATH "' render '" + input + "' '" + Path(out) + "' --host premiere --depth 8 -q" +
            options);
    }
    // The same for one frame, as straight RGBA bytes.
    Bytes Reference(const std::string& input, const std::string& options) {
        Render(input, options, "reference.png");
        return vimaging::ReadImage(Path("reference.png")).u8;
    }

    static Bytes Frame(const std::string& raw, size_t size, size_t index) {
        if (raw.size() < (index + 1) * size) return {};
        return Bytes(raw.begin() + static_cast<std::ptrdiff_t>(index * size),
                     raw.begin() + static_cast<std::ptrdiff_t>((index + 1) * size));
    }

    vtest::TempDir dir_;
};

// Keys at MLT frames 0, 24 and 48 (1.92 s at 25 fps), as both projects hold them.
const char kKeys[] = R"({
 "origin": [{"frame": 0, "value": [80, 70]}, {"frame": 48, "value": [200, 130]}],
 "width": [{"frame": 0, "value": 120}, {"frame": 48, "value": 168}],
 "height": [{"frame": 0, "value": 80}, {"frame": 48, "value": 104}],
 "angle": [{"frame": 0, "value": 0}, {"frame": 48, "value": 96}],
 "feather": [%FEATHER%],
 "opacity": [%OPACITY%]})";

struct Project {
    const char* file;
    const char* mask;
    const char* options;  // the project's constant values as options
    const char* feather;  // the project's keys in --keys form
    const char* opacity;
};

// Kdenlive holds opacity at 100 until 0.96 s, Shotcut the feather at 16 from then.
TEST_F(MltFilter, KdenliveAndShotcutProjectsRenderAsVelloraRenderWithTheirKeys) {
    const Project projects[] = {
        {"keyed.kdenlive", "rectangle", " --mask rectangle --mode intersect --falloff gaussian --no-invert",
         R"({"frame": 0, "value": 4}, {"frame": 48, "value": 28})",
         R"({"frame": 0, "value": 100, "interpolation": "hold"}, {"frame": 24, "value": 76}, {"frame": 48, "value": 52})"},
        {"keyed.mlt", "ellipse", " --mask ellipse --mode intersect --falloff cubic --invert",
         R"({"frame": 0, "value": 4}, {"frame": 24, "value": 16, "interpolation": "hold"}, {"frame": 48, "value": 28})",
         R"({"frame": 0, "value": 100}, {"frame": 48, "value": 52})"},
    };
    const int w = 320, h = 240;
    const std::string still = WriteStill("still.png", w, h);
    const size_t size = static_cast<size_t>(w) * h * 4;
    for (const Project& p : projects) {
        SCOPED_TRACE(p.file);
        std::string text = vtest::FileText(std::string(VELLORA_TEST_DATA) + "/editors/" + p.file);
        ASSERT_FALSE(text.empty());
        text = std::regex_replace(text, std::regex("@ROOT@"), dir_.Dir());
        text = std::regex_replace(text, std::regex("@MASK@"), p.mask);
        std::ofstream(Path(p.file)) << text;
        std::string keys = std::regex_replace(kKeys, std::regex("%FEATHER%"), p.feather);
        keys = std::regex_replace(keys, std::regex("%OPACITY%"), p.opacity);
        std::ofstream(Path("keys.json")) << keys;

        const std::string raw = Melt(p.file);
        ASSERT_EQ(raw.size(), size * 50) << melt_log_;
        const std::vector<int> frames = {0, 12, 23, 24, 36, 47, 48, 49};
        std::string list;
        for (int f : frames) list += (list.empty() ? "" : ",") + std::to_string(f);
        Render(still, std::string(" --keys keys.json --frames ") + list + p.options, "ref.%02d.png");
        for (int f : frames) {
            char name[32];
            std::snprintf(name, sizeof name, "ref.%02d.png", f);
            EXPECT_EQ(Frame(raw, size, static_cast<size_t>(f)), vimaging::ReadImage(Path(name)).u8) << "frame " << f;
        }
    }
}

// The editors' preview: the profile stays 320x240 while half that is asked
// for, as `--downsample 2` renders for a host at half resolution. A flat
// colour scales to the same pixels in MLT as in vellora's box filter.
TEST_F(MltFilter, HalfSizePreviewMatchesDownsampleTwo) {
    vimaging::Image flat = vimaging::Image::Make(320, 240, vimaging::SampleType::U8);
    for (size_t i = 0; i < flat.u8.size(); i += 4) {
        flat.u8[i] = 0x33, flat.u8[i + 1] = 0x66, flat.u8[i + 2] = 0xcc, flat.u8[i + 3] = 0xff;
    }
    vimaging::WriteImage(Path("flat.png"), flat);
    const std::string values = " 'rect=61 50 150 91' angle=20 feather=12 falloff=gamma";
    const std::string options = " --origin 136,95.5 --width 150 --height 91 --angle 20 --feather 12 --falloff gamma";
    for (const int n : {1, 2, 4}) {
        SCOPED_TRACE("1/" + std::to_string(n));
        const vtest::CliRun run = Shell("ASAN_OPTIONS=detect_leaks=0 '" VELLORA_MLT_PREVIEW_PATH "' '" VELLORA_MLT_REPOSITORY
                                        "' 320 240 " + std::to_string(320 / n) + " " + std::to_string(240 / n) +
                                        " preview.rgba color:0x3366ccff" + values);
        ASSERT_EQ(run.status, 0) << run.out;
        // What MLT handed back, after whatever its modules say on loading.
        const std::string size = std::to_string(320 / n) + "x" + std::to_string(240 / n) + "\n";
        EXPECT_TRUE(run.out.size() >= size.size() && run.out.compare(run.out.size() - size.size(), size.size(), size) == 0)
            << run.out;
        const std::string raw = vtest::FileText(Path("preview.rgba"));
        const Bytes expected = Reference(Path("flat.png"), options + " --downsample " + std::to_string(n));
        EXPECT_TRUE(Bytes(raw.begin(), raw.end()) == expected) << "differs from --downsample " << n;
    }
}

// A bad value is named in MLT's log and the frame passes through; unset
// values are the effect's defaults.
TEST_F(MltFilter, BadValuesAreNamedAndPassFramesThroughUnsetOnesAreDefaults) {
    const int w = 75, h = 41;
    WriteProfile(w, h);
    const std::string still = WriteStill("still.png", w, h);
    const std::string input = "-profile profile still.png out=0 -filter vellora";
    const std::string defaults = Melt(input);
    EXPECT_TRUE(Bytes(defaults.begin(), defaults.end()) == Reference(still, ""));
    // A rectangle in percent (as Kdenlive's defaults are) is that share of the profile.
    const std::string percent = Melt(input + " 'rect=20% 20% 60% 40%'");
    EXPECT_TRUE(Bytes(percent.begin(), percent.end()) ==
                Reference(still, " --origin 37.5,16.4 --width 45 --height 16.4"));
    // 16000 % of 75 pixels is 12000, in range: the range is checked on pixels, not on the number typed.
    const std::string wide = Melt(input + " 'rect=0% 0% 16000% 10%'");
    EXPECT_TRUE(Bytes(wide.begin(), wide.end()) == Reference(still, " --origin 6000,2.05 --width 12000 --height 4.1"));

    const Bytes unchanged = vimaging::ReadImage(still).u8;
    const struct {
        const char* setting;
        const char* named;
    } bad[] = {
        {"feather=-5", "property 'feather' = '-5': '-5' is out of range (0 to 15000 pixels)"},
        {"'opacity=0=50;9=101'", "property 'opacity' = '0=50;9=101': '101' is out of range (0 to 100 percent)"},
        {"mask_type=circle", "property 'mask_type' = 'circle': 'circle' is not one of ellipse or rectangle"},
        {"'rect=1 2 3'", "property 'rect' = '1 2 3': expected \"X Y W H\""},
        // MLT reads an empty field as 0 and shifts the rest: W and H would be 0.
        {"'rect=1 2,,30 20'", "property 'rect' = '1 2,,30 20': expected \"X Y W H\""},
        // MLT scales all four once one has "%".
        {"'rect=10 10 50% 50%'", "'10' mixes pixels and percent"},
        {"'rect=0 0 16000 10'", "property 'rect' = '0 0 16000 10': width: '16000' is out of range (0 to 15000 pixels)"},
        // Percent of the 75-pixel profile, checked once scaled: 25000 % is 18750 pixels.
        {"'rect=0% 0% 25000% 10%'", "property 'rect' = '0% 0% 25000% 10%': width: '18750' is out of range"},
        {"angle=abc", "property 'angle' = 'abc': expected a number"},
        {"invert=2", "property 'invert' = '2': expected 0 or 1"},
        {"'falloff=0=linear;5=cubic'", "property 'falloff' = '0=linear;5=cubic': cannot be keyframed"},
        // One key is still a key, not the value.
        {"falloff=0=gaussian", "property 'falloff' = '0=gaussian': cannot be keyframed"},
        // MLT alone would read "xx" as frame 0 and say nothing.
        {"'rect=0=100 10 20 20;xx=30 10 20 20'", "property 'rect' = '0=100 10 20 20;xx=30 10 20 20': key time 'xx'"},
        {"'feather=0=5;1.2.3=9'", "key time '1.2.3' is not a frame or a time"},
    };
    for (const auto& b : bad) {
        SCOPED_TRACE(b.setting);
        // -silent, not -quiet: -quiet silences MLT's log too.
        const vtest::CliRun run = Shell("timeout -s KILL 60 melt -silent " + input + " " + b.setting +
                                        " -consumer avformat:bad.rgba f=rawvideo vcodec=rawvideo pix_fmt=rgba an=1");
        EXPECT_EQ(run.status, 0);
        EXPECT_NE(run.out.find(b.named), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("the frame passes through unchanged"), std::string::npos) << run.out;
        const std::string raw = vtest::FileText(Path("bad.rgba"));
        EXPECT_TRUE(Bytes(raw.begin(), raw.end()) == unchanged);
    }
}

// A key past the clip's end still pulls the box along on every frame: MLT
// rewrites a parsed animation's text without such keys.
TEST_F(MltFilter, KeysPastTheClipsEndAreFollowedOnEveryFrame) {
    const int w = 80, h = 60;
    WriteProfile(w, h);
    const std::string still = WriteStill("still.png", w, h);
    const std::string raw = Melt("-profile profile still.png out=3 -filter vellora 'rect=0=10 10 20 20;50=60 35 20 20'");
    const size_t size = static_cast<size_t>(w) * h * 4;
    ASSERT_EQ(raw.size(), 4 * size) << melt_log_;
    for (int frame = 0; frame < 4; ++frame) {
        SCOPED_TRACE("frame " + std::to_string(frame));
        // The box's corner moves 1 x 0.5 pixels a frame; its centre is 10 pixels in.
        const std::string origin = std::to_string(20 + frame) + "," + std::to_string(20 + frame * 0.5);
        EXPECT_TRUE(Frame(raw, size, static_cast<size_t>(frame)) ==
                    Reference(still, " --origin " + origin + " --width 20 --height 20"));
    }
}

// As the mask source of MLT's mask_start (Kdenlive's "(Mask)" variant and
// Shotcut's "Mask: Vellora Shape"), the filter limits a blur to the mask:
// mask_apply puts the blurred, masked copy over the frame as it was. Checked
// against the filter and the blur alone, composited here over the frame.
TEST_F(MltFilter, AsAMaskSourceItLimitsTheFiltersBeforeMaskApply) {
    const int w = 96, h = 64, frames = 3;
    WriteProfile(w, h);
    // Opaque noise, which any blur changes.
    vimaging::Image still = vimaging::Image::Make(w, h, vimaging::SampleType::U8);
    uint32_t seed = 7;
    for (size_t i = 0; i < still.u8.size(); ++i) {
        seed = seed * 1664525u + 1013904223u;
        still.u8[i] = i % 4 == 3 ? 255 : static_cast<uint8_t>(seed >> 24);
    }
    vimaging::WriteImage(Path("still.png"), still);
    const std::string clip = "-profile profile still.png out=" + std::to_string(frames - 1);
    const std::string blur = " -filter avfilter.boxblur av.luma_radius=4";
    const std::string rect = "'0=20 10 50 40;2=30 14 50 40'";
    const std::string masked = Melt(clip + " -filter mask_start filter=vellora filter.rect=" + rect +
                                        " filter.feather=12 filter.falloff=gaussian" + blur + " -filter mask_apply",
                                    "masked.rgba");
    const std::string effect =
        Melt(clip + " -filter vellora rect=" + rect + " feather=12 falloff=gaussian" + blur, "effect.rgba");
    const std::string plain = Melt(clip, "plain.rgba");
    const size_t size = static_cast<size_t>(w) * h * 4;
    ASSERT_EQ(masked.size(), frames * size) << melt_log_;
    ASSERT_EQ(effect.size(), frames * size);
    ASSERT_EQ(plain.size(), frames * size);
    for (int f = 0; f < frames; ++f) {
        SCOPED_TRACE("frame " + std::to_string(f));
        int outside = 0, blurred = 0, worst = 0, cleared = 0;
        for (size_t px = static_cast<size_t>(f) * size; px < static_cast<size_t>(f + 1) * size; px += 4) {
            const int a = static_cast<uint8_t>(effect[px + 3]);
            cleared += a == 0;
            for (size_t c = 0; c < 3; ++c) {
                const int m = static_cast<uint8_t>(masked[px + c]), e = static_cast<uint8_t>(effect[px + c]),
                          o = static_cast<uint8_t>(plain[px + c]);
                // mask_apply's composite rounds its own way: within 2 of the exact mix.
                const double mix = (e * a + o * (255.0 - a)) / 255.0;
                worst = std::max(worst, static_cast<int>(std::ceil(std::abs(m - mix))));
                if (a == 0 && m != o) ++outside;
                if (a == 255 && m != o) ++blurred;
            }
            EXPECT_EQ(static_cast<uint8_t>(masked[px + 3]), 255);
        }
        EXPECT_LE(worst, 2);
        EXPECT_EQ(outside, 0) << "outside the mask the frame must be as it was";
        EXPECT_GT(blurred, 200) << "inside the mask the blur must show";
        EXPECT_GT(cleared, w * h / 2) << "the mask must leave most of the frame outside";
    }
    // The keys move the mask: its frames differ.
    EXPECT_NE(masked.substr(0, size), masked.substr(2 * size, size));
}

// MLT slices a frei0r filter's frame between threads when asked (threads=N);
// the frei0r filter must never draw a mask into a band, and the MLT filter
// always renders whole frames.
TEST_F(MltFilter, ThreadsNeverSliceTheMaskInEitherFilter) {
    const int w = 96, h = 64;
    WriteProfile(w, h);
    const std::string still = WriteStill("still.png", w, h);
    const size_t size = static_cast<size_t>(w) * h * 4;
    const Bytes expected = Reference(still, " --width 60 --height 40 --feather 5");
    const std::string input = "-profile profile still.png out=2 ";

    const std::string native =
        Melt(input + "-filter vellora threads=4 'rect=18 12 60 40' feather=5", "native.rgba");
    for (size_t f = 0; f < 3; ++f) EXPECT_EQ(Frame(native, size, f), expected) << "MLT filter, frame " << f;

    // frei0r's width and height are fractions of the frame; feather of its width.
    const std::string frei0r = "-filter frei0r.vellora width=0.625 height=0.625 feather=0.052083333333333336 ";
    const std::string whole = Melt(input + frei0r + "threads=1", "whole.rgba");
    for (size_t f = 0; f < 3; ++f) EXPECT_EQ(Frame(whole, size, f), expected) << "frei0r threads=1, frame " << f;

    // A band is not a frame: once a second band shows the frame is cut, every band passes
    // through. Before that, the first band to arrive may have been drawn and returned, and the
    // filter never writes a buffer it has handed back: at most one band of an instance's first
    // frame keeps a mask. melt's parallel renderer (real_time=-2) makes a new instance every few
    // frames, each meeting its first frame's bands afresh; the serial one keeps one instance.
    const Bytes unchanged = vimaging::ReadImage(still).u8;
    ASSERT_NE(unchanged, expected);
    for (const char* real_time : {"-1", "-2"}) {
        const std::string out = std::string("sliced") + real_time + ".rgba";
        const vtest::CliRun run = MeltRun("MLT_SLICES_COUNT=4 timeout -s KILL 120 melt -quiet -profile profile still.png out=7 " +
                                            frei0r + "threads=4 -consumer avformat:" + out +
                                            " f=rawvideo vcodec=rawvideo pix_fmt=rgba an=1 real_time=" + real_time,
                                        out);
        ASSERT_EQ(run.status, 0) << run.out;
        EXPECT_NE(run.out.find("bands of 96x16 rows"), std::string::npos) << run.out;
        const std::string sliced = vtest::FileText(Path(out));
        ASSERT_EQ(sliced.size(), 8 * size) << "real_time=" << real_time;
        const size_t band = size / 4;
        for (size_t f = 0; f < 8; ++f) {
            const Bytes frame = Frame(sliced, size, f);
            ASSERT_EQ(frame.size(), unchanged.size());
            int drawn = 0;
            for (size_t b = 0; b < 4; ++b) {
                drawn += std::equal(frame.begin() + b * band, frame.begin() + (b + 1) * band, unchanged.begin() + b * band)
                             ? 0 : 1;
            }
            const int most = (f == 0 || std::string(real_time) == "-2") ? 1 : 0;
            EXPECT_LE(drawn, most) << "frei0r threads=4 real_time=" << real_time << ", frame " << f;
        }
    }
}

// Pixels twice as wide as high: the box keeps its columns, the effect's width
// is in square pixels, as `--par 2/1` renders it.
TEST_F(MltFilter, NonSquarePixelsKeepTheBoxInTheProfilesPixels) {
    const int w = 96, h = 64;
    std::ofstream(Path("profile")) << "description=wide\nwidth=96\nheight=64\nprogressive=1\nsample_aspect_num=2\n"
                                      "sample_aspect_den=1\ndisplay_aspect_num=3\ndisplay_aspect_den=1\n"
                                      "frame_rate_num=25\nframe_rate_den=1\ncolorspace=709\n";
    const std::string still = WriteStill("still.png", w, h);
    // The still is taken as made of such pixels, so MLT does not rescale it.
    const std::string raw =
        Melt("-profile profile still.png force_aspect_ratio=2 out=0 -filter vellora 'rect=10 12 40 30' angle=30");
    EXPECT_TRUE(Bytes(raw.begin(), raw.end()) ==
                Reference(still, " --par 2/1 --origin 30,27 --width 80 --height 30 --angle 30"));
}

std::set<std::string> Matches(const std::string& text, const std::string& pattern) {
    std::set<std::string> found;
    const std::regex re(pattern);
    for (auto it = std::sregex_iterator(text.begin(), text.end(), re); it != std::sregex_iterator(); ++it) {
        found.insert((*it)[1]);
    }
    return found;
}

// The module exports only MLT's entry; melt describes every property, and
// Kdenlive's descriptor names only those, with the same defaults and ranges.
TEST_F(MltFilter, MeltDescribesEveryPropertyKdenlivesDescriptorAgrees) {
    EXPECT_EQ(vtest::ExportedSymbols(VELLORA_MLT_REPOSITORY "/libmltvellora.so"),
              std::vector<std::string>{"mlt_register"});
    const vtest::CliRun query = Shell("melt -query filter=vellora");
    ASSERT_EQ(query.status, 0) << query.out;
    const std::set<std::string> described = Matches(query.out, "identifier: ([a-z_]+)\\n");
    const std::set<std::string> expected = {"vellora", "mask_type", "composite_mode", "rect", "angle",
                                            "feather", "opacity", "invert", "falloff"};
    EXPECT_EQ(described, expected) << query.out;

    const std::string xml = vtest::FileText(VELLORA_KDENLIVE_XML);
    std::set<std::string> named = Matches(xml, "<parameter[^>]* name=\"([a-z_]+)\"");
    named.insert("vellora");
    EXPECT_EQ(named, described) << xml;
    EXPECT_NE(xml.find("<effect LC_NUMERIC=\"C\" tag=\"vellora\" id=\"vellora\""), std::string::npos);
    // Each default in the descriptor is the one melt reports, and so is each
    // range but where Kdenlive's slider is narrower, inside it: a turn either
    // way for the angle, the frame's width for the feather.
    const struct {
        const char* name;
        const char* min;  // null: melt's
        const char* max;
    } sliders[] = {{"angle", "-360", "360"}, {"feather", nullptr, "%maxWidth"}, {"opacity", nullptr, nullptr}};
    for (const auto& s : sliders) {
        const std::smatch m = [&] {
            std::smatch found;
            std::regex_search(query.out, found,
                              std::regex(std::string("identifier: ") + s.name +
                                         "\\n(?:    .*\\n)*?    default: (\\S+)\\n    minimum: (\\S+)\\n    maximum: (\\S+)"));
            return found;
        }();
        ASSERT_EQ(m.size(), 4u) << s.name;
        EXPECT_NE(xml.find(std::string("name=\"") + s.name + "\" type=\"animated\" default=\"" + m[1].str() +
                           "\" min=\"" + (s.min ? s.min : m[2].str()) + "\" max=\"" + (s.max ? s.max : m[3].str()) +
                           "\""),
                  std::string::npos)
            << s.name;
        if (s.min) {
            EXPECT_GE(std::stod(s.min), std::stod(m[2].str())) << s.name;
        }
        if (s.max && s.max[0] != '%') {
            EXPECT_LE(std::stod(s.max), std::stod(m[3].str())) << s.name;
        }
    }
    EXPECT_NE(xml.find("type=\"animatedrect\" name=\"rect\""), std::string::npos);
    EXPECT_NE(xml.find("paramlist=\"linear;quadratic;cubic;gamma;gaussian;exponential\""), std::string::npos);
    EXPECT_NE(xml.find("<paramlistdisplay>Linear,Quadratic,Cubic,Gamma 2.2,Gaussian,Exponential"),
              std::string::npos);
}

}  // namespace
