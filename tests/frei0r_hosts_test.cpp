// The built frei0r filter in the programs that load such filters: ffmpeg, melt
// and gst-launch-1.0, through FREI0R_PATH. Every frame must equal, byte for
// byte, `vellora render --host premiere --depth 8` given the same values in
// effect-controls units, worked out here from the filter's parameter contract.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/ImageIO.h"
#include "tests/TestFiles.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The contract: frei0r doubles to `vellora render` options for a w x h frame.
// NaN leaves the option out (the value stays the default).
std::string RenderOptions(const std::vector<double>& v, int w, int h) {
    const char* const modes[] = {"add", "subtract", "intersect", "create"};
    const char* const curves[] = {"linear", "quadratic", "cubic", "gamma", "gaussian", "exponential"};
    const auto num = [](double x) {
        char text[40];
        std::snprintf(text, sizeof(text), "%.17g", x);
        return std::string(text);
    };
    const auto hold = [](double x, double lo, double hi) { return std::fmin(std::fmax(x, lo), hi); };
    const auto choice = [&](double x, int n) { return static_cast<int>(hold(std::floor(x * n), 0, n - 1)); };
    std::string o = " --host premiere --depth 8 -q";
    const auto add = [&](size_t i, const std::string& option) {
        if (!std::isnan(v[i])) o += " " + option;
    };
    add(0, std::string("--mask ") + (v[0] < 0.5 ? "ellipse" : "rectangle"));
    add(1, std::string("--mode ") + modes[std::isnan(v[1]) ? 0 : choice(v[1], 4)]);
    if (!std::isnan(v[2]) && !std::isnan(v[3])) {
        o += " --origin=" + num(hold(v[2] * w, -32767, 32767)) + "," + num(hold(v[3] * h, -32767, 32767));
    }
    add(4, "--width " + num(hold(v[4] * w, 0, 15000)));
    add(5, "--height " + num(hold(v[5] * h, 0, 15000)));
    add(6, "--angle=" + num(hold(v[6] * 360, -32767, 32767)));
    add(7, "--feather " + num(hold(v[7] * w, 0, 15000)));
    add(8, "--opacity " + num(hold(v[8] * 100, 0, 100)));
    add(9, v[9] >= 0.5 ? "--invert" : "--no-invert");
    add(10, std::string("--falloff ") + curves[std::isnan(v[10]) ? 0 : choice(v[10], 6)]);
    return o;
}

class Frei0rHosts : public ::testing::Test {
protected:
    void SetUp() override {
        if (!vtest::HostProgramEnv(env_)) {
            GTEST_SKIP() << "ffmpeg, melt and gst-launch-1.0 cannot load this sanitizer's build of the filter";
        }
    }

    std::string Path(const std::string& name) const { return dir_.Path(name); }

    // Runs a shell command in the folder with the built filter on FREI0R_PATH; its output goes to the failure message.
    void Run(const std::string& command) { ASSERT_EQ(Status(command), 0) << command; }

    // The command's exit status; anything but 0 or a kill is a failure.
    std::string InDir(const std::string& command) const {
        return "cd '" + dir_.Dir() + "' && " + env_ + "FREI0R_PATH='" VELLORA_FREI0R_DIR "' " + command;
    }
    int Status(const std::string& command) {
        const vtest::CliRun run = vtest::RunShell(InDir(command));
        EXPECT_TRUE(run.status == 0 || run.status == 137) << command << "\n" << run.out;
        return run.status;
    }

    static void RequireProgram(const std::string& name) {
        if (vtest::RunShell("command -v " + name).status != 0) {
            FAIL() << name << " is not installed (scripts/install-deps.sh installs it)";
        }
    }

    // Frame `f` of a clip whose colour and alpha vary over x, y and f, as a PNG.
    std::string WriteFrame(const std::string& name, int w, int h, int f) {
        vimaging::Image image = vimaging::Image::Make(w, h, vimaging::SampleType::U8);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                uint8_t* p = &image.u8[(static_cast<size_t>(y) * w + x) * 4];
                p[0] = static_cast<uint8_t>(x * 255 / std::max(w - 1, 1));
                p[1] = static_cast<uint8_t>(y * 255 / std::max(h - 1, 1));
                p[2] = static_cast<uint8_t>(x * 7 + y * 13 + f * 50);
                p[3] = static_cast<uint8_t>(x * 11 + y * 5 + f * 37 + 20);
            }
        }
        vimaging::WriteImage(Path(name), image);
        return Path(name);
    }

    // `vellora render` of one PNG, as straight RGBA bytes.
    Bytes Reference(const std::string& input, const std::string& options) {
        const std::string out = Path("reference.png");
        Run("'" VELLORA_CLI_PATH "' render '" + input + "' '" + out + "'" + options);
        return vimaging::ReadImage(out).u8;
    }

    static Bytes Frame(const std::string& raw, size_t size, size_t index) {
        if (raw.size() < (index + 1) * size) return {};
        return Bytes(raw.begin() + static_cast<std::ptrdiff_t>(index * size),
                     raw.begin() + static_cast<std::ptrdiff_t>((index + 1) * size));
    }

    vtest::TempDir dir_;
    std::string env_;
};

// The values as ffmpeg's filter_params ("0.5|...|y|...", NaN as nan) or, with
// `names`, as GStreamer's properties ("name=0.5 ...").
std::string ParamList(const std::vector<double>& v, const char* const* names = nullptr) {
    std::ostringstream s;
    for (size_t i = 0; i < v.size(); ++i) {
        s << (i ? (names ? " " : "|") : "") << (names ? std::string(names[i]) + "=" : "");
        if (i == 9) s << (v[i] >= 0.5 ? (names ? "true" : "y") : (names ? "false" : "n"));
        else s << v[i];
    }
    return s.str();
}

// Widths a multiple of 16: Debian's ffmpeg pads other rows, which frei0r cannot express.
TEST_F(Frei0rHosts, FfmpegClipMatchesVelloraRenderFrameByFrame) {
    RequireProgram("ffmpeg");
    const double nan = std::nan("");
    struct Case {
        int w, h;
        std::vector<double> v;  // empty: no filter_params, the instance's defaults
    };
    const Case cases[] = {
        {96, 64, {1, 0.6, 0.4, 0.55, 0.5, 0.7, 0.1, 0.05, 0.8, 1, 0.7}},
        {96, 64, {0, 0.9, 0.5, 0.5, 0.5, 0.5, 0.1, 0.1, 1, 0, 0.95}},
        // Out of range and NaN: held to the declared ranges, NaN keeps the default.
        {96, 64, {nan, 7, -78, 1.2, 400, 1, nan, nan, 3, 1, -2}},
        {640, 368, {}},
    };
    const int frames = 3;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.v.empty() ? "defaults" : ParamList(c.v));
        for (int f = 0; f < frames; ++f) WriteFrame("in" + std::to_string(f + 1) + ".png", c.w, c.h, f);
        const std::string filter =
            "frei0r=filter_name=vellora" + (c.v.empty() ? "" : ":filter_params=" + ParamList(c.v));
        Run("ffmpeg -nostdin -v error -y -i in%d.png -vf '" + filter + "' -f rawvideo -pix_fmt rgba out.rgba");
        const std::string raw = vtest::FileText(Path("out.rgba"));
        ASSERT_EQ(raw.size(), static_cast<size_t>(c.w) * c.h * 4 * frames);
        const std::string options =
            c.v.empty() ? " --host premiere --depth 8 -q" : RenderOptions(c.v, c.w, c.h);
        for (int f = 0; f < frames; ++f) {
            const Bytes expected = Reference(Path("in" + std::to_string(f + 1) + ".png"), options);
            EXPECT_EQ(Frame(raw, expected.size(), static_cast<size_t>(f)), expected) << "frame " << f;
        }
    }
}

// An odd width; opacity and width keyframed in MLT's animation syntax.
TEST_F(Frei0rHosts, MeltKeyframesReachTheirValuesAndMoveMonotonicallyBetween) {
    RequireProgram("melt");
    RequireProgram("ffmpeg");
    const int w = 75, h = 41, frames = 10;
    const std::string still = WriteFrame("still.png", w, h, 0);
    std::ofstream(Path("profile")) << "description=test\nwidth=" << w << "\nheight=" << h
                                   << "\nprogressive=1\nsample_aspect_num=1\nsample_aspect_den=1\n"
                                      "display_aspect_num=" << w << "\ndisplay_aspect_den=" << h
                                   << "\nframe_rate_num=25\nframe_rate_den=1\ncolorspace=709\n";
    Run("ffmpeg -nostdin -v error -y -loop 1 -framerate 25 -i still.png -frames:v 12 -c:v rawvideo clip.nut");
    const auto melt = [&](const std::string& out, int real_time) {
        const std::string command =
            "timeout -s KILL 120 melt -quiet -profile '" + Path("profile") +
            "' clip.nut out=9 -filter frei0r.vellora 'opacity=0=0.2;9=1' 'width=0=0.2;9=0.9' -consumer avformat:" +
            out + " f=rawvideo vcodec=rawvideo pix_fmt=rgba an=1 real_time=" + std::to_string(real_time);
        const vtest::CliRun run = vtest::RunMelt(InDir(command), Path(out));
        EXPECT_EQ(run.status, 0) << command << "\n" << run.out;
    };
    melt("serial.rgba", -1);
    melt("parallel.rgba", -2);  // two render threads, both updating the filter
    const std::string raw = vtest::FileText(Path("serial.rgba"));
    const size_t size = static_cast<size_t>(w) * h * 4;
    ASSERT_EQ(raw.size(), size * frames);
    EXPECT_TRUE(vtest::FileText(Path("parallel.rgba")) == raw) << "frames rendered on two threads differ";

    const double nan = std::nan("");
    const std::vector<double> first = {nan, nan, nan, nan, 0.2, nan, nan, nan, 0.2, 0, nan};
    std::vector<double> last = first;
    last[4] = 0.9;
    last[8] = 1;
    EXPECT_EQ(Frame(raw, size, 0), Reference(still, RenderOptions(first, w, h)));
    EXPECT_EQ(Frame(raw, size, frames - 1), Reference(still, RenderOptions(last, w, h)));

    // Between the keys a larger, stronger mask: no alpha falls, colour stays, and every frame changes.
    const Bytes input = vimaging::ReadImage(still).u8;
    for (int f = 1; f < frames; ++f) {
        const Bytes a = Frame(raw, size, static_cast<size_t>(f - 1)), b = Frame(raw, size, static_cast<size_t>(f));
        long grown = 0;
        for (size_t i = 0; i < size; ++i) {
            if (i % 4 != 3) {
                ASSERT_EQ(b[i], input[i]) << "colour byte " << i << " of frame " << f;
            } else {
                ASSERT_GE(b[i], a[i]) << "alpha of pixel " << i / 4 << " fell from frame " << f - 1 << " to " << f;
                grown += b[i] - a[i];
            }
        }
        EXPECT_GT(grown, 0) << "frame " << f << " equals frame " << f - 1;
    }
}

// Odd, one-pixel and three-pixel frames (GStreamer's RGBA rows are tight).
TEST_F(Frei0rHosts, GstreamerElementMatchesVelloraRenderOnOddAndTinyFrames) {
    RequireProgram("gst-launch-1.0");
    const std::vector<double> v = {1, 0.6, 0.4, 0.55, 0.5, 0.7, 0.1, 0.05, 0.8, 1, 0.7};
    const char* const names[] = {"mask-type", "composite-mode", "origin-x", "origin-y", "width", "height",
                                 "angle",     "feather",        "opacity",  "invert",   "falloff"};
    const std::string properties = " " + ParamList(v, names);
    const int frames = 3;
    for (const auto& size : {std::pair<int, int>{75, 41}, {1, 1}, {3, 3}}) {
        const int w = size.first, h = size.second;
        SCOPED_TRACE(std::to_string(w) + "x" + std::to_string(h));
        std::ofstream raw_in(Path("in.rgba"), std::ios::binary);
        for (int f = 0; f < frames; ++f) {
            const Bytes frame = vimaging::ReadImage(WriteFrame("in" + std::to_string(f) + ".png", w, h, f)).u8;
            raw_in.write(reinterpret_cast<const char*>(frame.data()), static_cast<std::streamsize>(frame.size()));
        }
        raw_in.close();
        Run("gst-launch-1.0 -q filesrc location=in.rgba ! rawvideoparse width=" + std::to_string(w) +
            " height=" + std::to_string(h) + " format=rgba framerate=25/1 ! frei0r-filter-vellora" + properties +
            " ! filesink location=out.rgba");
        const std::string raw = vtest::FileText(Path("out.rgba"));
        const size_t bytes = static_cast<size_t>(w) * h * 4;
        ASSERT_EQ(raw.size(), bytes * frames);
        for (int f = 0; f < frames; ++f) {
            EXPECT_EQ(Frame(raw, bytes, static_cast<size_t>(f)),
                      Reference(Path("in" + std::to_string(f) + ".png"), RenderOptions(v, w, h)))
                << "frame " << f;
        }
    }
}

}  // namespace
