// `vellora render` on clips, as a user or a render farm runs it: sequences and
// ranges, keyed values against still renders, the time each frame is sent
// with, frames in flight, interruption, and the ffmpeg round trip.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "imaging/ImageIO.h"
#include "tests/TestFiles.h"

namespace {

using vtest::CliRun;

class RenderClip : public ::testing::Test {
protected:
    std::string Path(const std::string& name) const { return dir_.Path(name); }

    // `vellora render ARGS` run in the scratch folder.
    CliRun Vellora(const std::string& args) {
        return vtest::RunCli("render " + args, false, vtest::InFolder(dir_.Dir()));
    }
    // The same left running, its standard error in Err().
    std::unique_ptr<vtest::Process> Start(const std::string& args) {
        return std::make_unique<vtest::Process>("cd '" + dir_.Dir() + "' && exec '" VELLORA_CLI_PATH "' render " + args,
                                                err_.Path("err"));
    }
    std::string Err() const { return vtest::FileText(err_.Path("err")); }
    void Ok(const std::string& args) {
        const CliRun run = Vellora(args);
        ASSERT_EQ(run.status, 0) << args << "\n" << run.err;
    }

    // Frame `f` of a clip in `type`: noise in colour and alpha, different every frame.
    void WriteFrame(const std::string& name, vimaging::SampleType type, int f, int w = 48, int h = 32) {
        vimaging::Image image = vimaging::Image::Make(w, h, type);
        const std::vector<float> noise = vtest::Noise(image.Samples(), static_cast<uint32_t>(f) + 1);
        for (size_t i = 0; i < noise.size(); ++i) {
            if (type == vimaging::SampleType::U8) image.u8[i] = static_cast<uint8_t>(noise[i] * 255.0f + 0.5f);
            if (type == vimaging::SampleType::U16) image.u16[i] = static_cast<uint16_t>(noise[i] * 65535.0f + 0.5f);
            if (type == vimaging::SampleType::F32) image.f32[i] = noise[i] * 1.5f - 0.25f;
        }
        vimaging::WriteImage(Path(name), image);
    }
    void WriteClip(const std::string& pattern, vimaging::SampleType type, int first, int last, int w = 48,
                   int h = 32) {
        char name[256];
        for (int f = first; f <= last; ++f) {
            std::snprintf(name, sizeof(name), pattern.c_str(), f);
            WriteFrame(name, type, f, w, h);
        }
    }
    void WriteText(const std::string& name, const std::string& text) { std::ofstream(Path(name)) << text; }
    std::string Bytes(const std::string& name) const { return vtest::FileText(Path(name)); }

    // One line naming each part, a failing exit, and the folder as it was.
    void ExpectRefused(const std::string& args, const std::vector<std::string>& parts) {
        SCOPED_TRACE(args);
        const std::vector<std::string> before = dir_.Names();
        const CliRun run = Vellora(args);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        for (const std::string& part : parts) EXPECT_NE(run.err.find(part), std::string::npos) << run.err;
        EXPECT_EQ(dir_.Names(), before);
    }

    vtest::TempDir dir_;
    vtest::TempDir err_;  // a started command's standard error, outside the folder it works in
};

// Fractions of a pixel that binary floating point holds exactly, so the
// options below name the very values the keys interpolate to.
const char kKeys[] = R"({
  "width": [{"frame": 3, "value": 20}, {"frame": 7, "value": 40}],
  "origin": [{"frame": 1, "value": [10, 8]}, {"frame": 5, "value": [30, 24]}],
  "feather": [{"frame": 1, "value": 2}, {"frame": 5, "value": 6, "interpolation": "hold"}, {"frame": 9, "value": 0}],
  "mask_type": [{"frame": 1, "value": "ellipse"}, {"frame": 6, "value": "rectangle"}],
  "angle": [{"frame": 1, "value": 0}, {"frame": 9, "value": 60}]
})";

// What the keys give frame by frame, as options of a still render.
std::string OptionsAt(int f) {
    const double width = f <= 3 ? 20 : f >= 7 ? 40 : 20 + 5.0 * (f - 3);
    const double x = f >= 5 ? 30 : 10 + 5.0 * (f - 1), y = f >= 5 ? 24 : 8 + 4.0 * (f - 1);
    const double feather = f < 5 ? 2 + (f - 1) : f < 9 ? 6 : 0;
    std::ostringstream o;
    o << " --width " << width << " --origin " << x << "," << y << " --feather " << feather << " --mask "
      << (f >= 6 ? "rectangle" : "ellipse") << " --angle " << 7.5 * (f - 1) << " --height 16 --mode intersect -q";
    return o.str();
}

TEST_F(RenderClip, EachFrameEqualsTheStillRenderWithItsKeyedValuesAsOptions) {
    WriteClip("in.%04d.png", vimaging::SampleType::U16, 1, 9);
    WriteText("keys.json", kKeys);
    Ok("'in.####.png' 'out.####.png' --keys keys.json --height 16 --mode intersect -q");
    // A still INPUT with an OUTPUT pattern: the same values over the one picture.
    Ok("in.0004.png 'still.%03d.png' --frames 1-9 --keys keys.json --height 16 --mode intersect -q");
    for (int f = 1; f <= 9; ++f) {
        SCOPED_TRACE("frame " + std::to_string(f));
        char name[32];
        std::snprintf(name, sizeof(name), "in.%04d.png", f);
        Ok(std::string(name) + " one.png" + OptionsAt(f));
        const vtest::FilePixels one = vtest::ReadFile(Path("one.png"));
        std::snprintf(name, sizeof(name), "out.%04d.png", f);
        const vtest::FilePixels clip = vtest::ReadFile(Path(name));
        EXPECT_EQ(clip.spec.format, OIIO::TypeDesc::UINT16);
        EXPECT_EQ(clip.data, one.data);

        Ok(std::string("in.0004.png one.png") + OptionsAt(f));
        std::snprintf(name, sizeof(name), "still.%03d.png", f);
        EXPECT_EQ(vtest::ReadFile(Path(name)).data, vtest::ReadFile(Path("one.png")).data);
    }
    // The keys animate: the first and last frames of the still differ.
    EXPECT_NE(vtest::ReadFile(Path("still.001.png")).data, vtest::ReadFile(Path("still.009.png")).data);
}

struct Depth {
    const char* name;
    vimaging::SampleType type;
    const char* extension;
    const char* options;
};

class RenderClipDepth : public RenderClip, public ::testing::WithParamInterface<Depth> {};

// A farm splits a clip by range and runs frames side by side; neither may change a byte.
TEST_P(RenderClipDepth, RangesApartAndFramesInFlightGiveTheWholeClipByteForByte) {
    const Depth& depth = GetParam();
    const std::string ext = depth.extension;
    WriteClip("in.%02d." + ext, depth.type, 1, 12);
    WriteText("keys.json", R"({"width": [{"frame": 1, "value": 10}, {"frame": 12, "value": 60}],
                               "opacity": [{"frame": 4, "value": 100}, {"frame": 9, "value": 35.5}]})");
    const std::string common = std::string(" --keys keys.json --feather 9 --falloff gaussian -q ") + depth.options;
    Ok("'in.%02d." + ext + "' 'whole.%02d." + ext + "' --jobs 1" + common);
    Ok("'in.##." + ext + "' 'split.##." + ext + "' --frames 1-5 --jobs 1" + common);
    Ok("'in.##." + ext + "' 'split.##." + ext + "' --frames 6-8,9-12 --jobs 1" + common);
    Ok("'in.##." + ext + "' 'flight.##." + ext + "' --jobs 4 --threads 2" + common);
    for (int f = 1; f <= 12; ++f) {
        const std::string n = (f < 10 ? "0" : "") + std::to_string(f) + "." + ext;
        SCOPED_TRACE(n);
        const std::string whole = Bytes("whole." + n);
        ASSERT_FALSE(whole.empty());
        EXPECT_EQ(Bytes("split." + n), whole);
        EXPECT_EQ(Bytes("flight." + n), whole);
    }
    EXPECT_NE(vtest::ReadFile(Path("whole.01." + ext)).data, vtest::ReadFile(Path("whole.12." + ext)).data);
}

INSTANTIATE_TEST_SUITE_P(Depths, RenderClipDepth,
                         ::testing::Values(Depth{"eight", vimaging::SampleType::U8, "png", ""},
                                           Depth{"sixteen", vimaging::SampleType::U16, "tif", ""},
                                           Depth{"float", vimaging::SampleType::F32, "exr", "--host premiere"}),
                         [](const ::testing::TestParamInfo<Depth>& param) { return std::string(param.param.name); });

TEST_F(RenderClip, PatternsFindTheSequenceAndRefuseWhatIsNotOne) {
    WriteClip("in.%04d.png", vimaging::SampleType::U8, 8, 11);
    Ok("'in.%04d.png' 'a.%d.png'");
    EXPECT_EQ(dir_.Names(), (std::vector<std::string>{"a.10.png", "a.11.png", "a.8.png", "a.9.png", "in.0008.png",
                                                      "in.0009.png", "in.0010.png", "in.0011.png"}));
    // A name the pattern would not write (other padding) is not one of its frames.
    WriteFrame("in.12.png", vimaging::SampleType::U8, 12);
    ExpectRefused("'in.####.png' b.png", {"INPUT 'in.####.png' is a frame pattern", "OUTPUT 'b.png'"});
    ExpectRefused("in.0008.png 'b.####.png'", {"INPUT 'in.0008.png' is one image", "--frames"});
    ExpectRefused("in.0008.png b.png --frames 1-3", {"--frames", "OUTPUT a frame pattern"});
    ExpectRefused("'in.####.png' 'b.##.%02d.png'", {"OUTPUT", "2 frame-number patterns"});
    ExpectRefused("'in.%4d.png' 'b.####.png'", {"%4d", "spaces", "%04d"});
    ExpectRefused("in.0008.png 'b.##########.png' --frames 1-3", {"OUTPUT", "10 #s", "1 to 9 digits"});
    ExpectRefused("'in.####.png' 'b.####.png' --frames 9-14", {"INPUT 'in.####.png'", "12-14", "in.0012.png"});
    ExpectRefused("'in.####.png' 'b.####.png' --frames 10-9", {"--frames", "runs backwards"});
    ExpectRefused("'in.####.png' 'b.####.png' --frames 9-12", {"has no frame 12: 'in.0012.png' does not exist"});
    ASSERT_EQ(::mkdir(Path("b.0009.png").c_str(), 0755), 0);
    ExpectRefused("'in.####.png' 'b.####.png' --frames 8-9", {"OUTPUT: cannot write 'b.0009.png'", "directory"});
    ASSERT_EQ(::rmdir(Path("b.0009.png").c_str()), 0);
    ExpectRefused("'in.####.png' 'b.####.png' --frames 8-10,10", {"frame 10 is in two ranges"});
    ExpectRefused("'in.####.png' 'in.%04d.png'", {"would overwrite the input", "in.0008.png"});
    ExpectRefused("'in.####.png' 'b.####.png' --fps 0", {"--fps"});
    ExpectRefused("'in.####.png' 'b.####.png' --progress xml", {"--progress 'xml'"});
    ExpectRefused("in.0008.png b.png --jobs 2", {"--jobs is for clips"});

    std::remove(Path("in.0010.png").c_str());
    ExpectRefused("'in.####.png' 'b.####.png'", {"has gaps", "frame 10 is missing", "--frames"});
    Ok("'in.####.png' 'c.####.png' --frames 8-9,11");
    WriteFrame("in.0010.png", vimaging::SampleType::U8, 10, 40, 32);
    ExpectRefused("'in.####.png' 'b.####.png'", {"frame 10", "40x32", "48x32", "one size"});
    WriteFrame("in.0010.png", vimaging::SampleType::U16, 10);
    ExpectRefused("'in.####.png' 'b.####.png'", {"frame 10", "16-bit", "one depth"});

    WriteText("keys.json", R"({"width": [{"frame": 1, "value": 3}]})");
    ExpectRefused("'in.####.png' 'b.####.png' --frames 8-9 --keys keys.json --width 5",
                  {"--width is given", "'width' has keys"});
    WriteText("keys.json", R"({"width": [{"frame": 9, "value": 30000}]})");
    ExpectRefused("'in.####.png' 'b.####.png' --frames 8-9 --keys keys.json", {"'width' at frame 9", "out of range"});
}

TEST_F(RenderClip, SkipExistingLeavesWrittenFramesAlone) {
    WriteClip("in.%d.png", vimaging::SampleType::U8, 1, 4);
    Ok("'in.%d.png' 'out.%d.png'");
    WriteText("out.2.png", "kept");
    std::remove(Path("out.3.png").c_str());
    const CliRun run = Vellora("'in.%d.png' 'out.%d.png' --skip-existing --progress json");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Bytes("out.2.png"), "kept");
    // One JSON line, for the one frame rendered.
    std::istringstream lines(run.out);
    std::string line;
    std::vector<nlohmann::json> finished;
    while (std::getline(lines, line)) finished.push_back(nlohmann::json::parse(line));
    ASSERT_EQ(finished.size(), 1u) << run.out;
    EXPECT_EQ(finished[0]["frame"], 3);
    EXPECT_EQ(finished[0]["file"], "out.3.png");
    EXPECT_TRUE(finished[0]["milliseconds"].is_number());
    EXPECT_FALSE(vtest::ReadFile(Path("out.3.png")).data.empty());

    const CliRun again = Vellora("'in.%d.png' 'out.%d.png' --skip-existing --progress json");
    EXPECT_EQ(again.status, 0);
    EXPECT_EQ(again.out, "");
}

TEST_F(RenderClip, EachFrameIsSentWithItsTimeAtTheGivenRate) {
    WriteClip("in.%03d.png", vimaging::SampleType::U8, 3, 6);
    for (const auto& [fps, scale, step] : {std::make_tuple("", 25, 1), std::make_tuple("--fps 30000/1001", 30000, 1001),
                                           std::make_tuple("--fps 29.97", 2997, 100)}) {
        SCOPED_TRACE(fps);
        Ok(std::string("'in.###.png' 'out.###.png' --jobs 3 --frames 3-5 --command-log log.jsonl ") + fps);
        std::istringstream lines(Bytes("log.jsonl"));
        std::string line;
        long expected_frame = 3;
        while (std::getline(lines, line)) {
            const nlohmann::json sent = nlohmann::json::parse(line);
            EXPECT_EQ(sent["command"], "PF_Cmd_RENDER");
            EXPECT_EQ(sent["frame"], expected_frame);
            EXPECT_EQ(sent["current_time"], expected_frame * step);
            EXPECT_EQ(sent["time_step"], step);
            EXPECT_EQ(sent["time_scale"], scale);
            EXPECT_EQ(sent["total_time"], 6 * step);
            EXPECT_EQ(sent["result"], 0);
            ++expected_frame;
        }
        EXPECT_EQ(expected_frame, 6) << "one render command per frame";
    }
}

// A host's time is 32 bits of time_scale units: the last frame it can send at
// 30000/1001 is 2145337 (its end, 2145338 * 1001, just fits). One past is
// refused before any frame is written.
TEST_F(RenderClip, FramesPastTheTimeAHostCanSendAreRefusedUpFront) {
    ExpectRefused("testcard:8x8 'out.#######.png' --fps 30000/1001 --frames 2145336-2145338 -q",
                  {"frame 2145338 at 30000/1001 frames a second lies past the time a host can send"});
    ExpectRefused("testcard:8x8 'out.#########.png' --fps 1/3 --frames 715827882 -q", {"frame 715827882 at 1/3"});
    Ok("testcard:8x8 'out.#######.png' --fps 30000/1001 --frames 2145337 --command-log log.jsonl -q");
    const nlohmann::json sent = nlohmann::json::parse(Bytes("log.jsonl"));
    EXPECT_EQ(sent["current_time"], 2145337LL * 1001);
    EXPECT_EQ(sent["result"], 0);
}

TEST_F(RenderClip, AnInterruptLeavesOnlyWholeFramesAndSaysWhichAreComplete) {
    // Frames slow enough (16-bit PNG, compressed) that the clip is still running when signalled.
    WriteClip("in.%02d.png", vimaging::SampleType::U16, 1, 24, 400, 300);
    for (const auto& [sig, code, name] : {std::make_tuple(SIGINT, 130, "SIGINT"), std::make_tuple(SIGTERM, 143, "SIGTERM")}) {
        SCOPED_TRACE(name);
        const auto clip = Start("'in.##.png' 'out.##.png' --progress json --skip-existing --jobs 2");
        std::string first;
        ASSERT_TRUE(clip->ReadLine(first, 120000));  // a frame is done: stop now
        clip->Signal(sig);
        ASSERT_TRUE(clip->Ended(-1));
        EXPECT_EQ(clip->ExitCode(), code);
        const std::string err = Err();
        EXPECT_NE(err.find(std::string("interrupted by ") + name), std::string::npos) << err;
        EXPECT_NE(err.find(" are complete"), std::string::npos) << err;
        EXPECT_NE(err.find("--skip-existing"), std::string::npos) << err;

        // Only inputs and whole outputs: no temporary file, each output reads back in full.
        int outputs = 0;
        for (const std::string& file : dir_.Names()) {
            if (file.rfind("in.", 0) == 0) continue;
            ASSERT_EQ(file.rfind("out.", 0), 0u) << file;
            const vtest::FilePixels pixels = vtest::ReadFile(Path(file));
            EXPECT_EQ(pixels.spec.width, 400);
            EXPECT_EQ(pixels.data.size(), 400u * 300u * 4u);
            ++outputs;
        }
        EXPECT_GE(outputs, 1);
        EXPECT_LT(outputs, 24);
    }
    // A retry finishes the clip, and it equals one run.
    Ok("'in.##.png' 'out.##.png' --skip-existing -q");
    Ok("'in.##.png' 'one.##.png' -q");
    for (int f = 1; f <= 24; ++f) {
        const std::string n = (f < 10 ? "0" : "") + std::to_string(f) + ".png";
        EXPECT_EQ(Bytes("out." + n), Bytes("one." + n)) << n;
    }
}

// A still INPUT reached again as an output frame, through a hard link or a
// symbolic one, is refused before anything is written.
TEST_F(RenderClip, AStillInputIsNeverOverwrittenAsAFrameUnderAnotherName) {
    WriteFrame("in.png", vimaging::SampleType::U8, 1);
    const std::string before = Bytes("in.png");
    ASSERT_EQ(::mkdir(Path("o").c_str(), 0755), 0);
    ASSERT_EQ(::link(Path("in.png").c_str(), Path("o/hard.2.png").c_str()), 0);
    ASSERT_EQ(::symlink("../in.png", Path("o/soft.3.png").c_str()), 0);
    const std::vector<std::string> outputs = vtest::FolderNames(Path("o"));
    for (const char* pattern : {"o/hard.#.png", "o/soft.#.png"}) {
        ExpectRefused(std::string("in.png '") + pattern + "' --frames 1-4 -q",
                      {"would overwrite the input", "which is the input file 'in.png'"});
        EXPECT_EQ(Bytes("in.png"), before);
        EXPECT_EQ(vtest::FolderNames(Path("o")), outputs);
    }
}

// Waits until `pid` blocks SIGINT, which a clip does from its start to take
// signals on a thread of its own; false if it never does within 30 s.
bool TakesSignals(pid_t pid) {
    return vtest::WaitUntil(30, [pid] {
        std::istringstream status(vtest::FileText("/proc/" + std::to_string(pid) + "/status"));
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("SigBlk:", 0) == 0 && (std::stoull(line.substr(7), nullptr, 16) & (1ull << (SIGINT - 1)))) {
                return true;
            }
        }
        return false;
    }, 10);
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// The longest list a clip may name starts rendering at once and stops at
// once, by either signal; so does a sequence whose headers are still being
// checked. Bounds are generous for a loaded machine: planning that grows with
// the list takes tens of seconds there.
TEST_F(RenderClip, TheLongestListStartsAtOnceAndEveryStageStopsAtOnce) {
    using Clock = std::chrono::steady_clock;
    WriteFrame("in.png", vimaging::SampleType::U8, 1, 16, 8);
    ASSERT_EQ(::mkdir(Path("o").c_str(), 0755), 0);
    for (const auto& [sig, code] : {std::make_pair(SIGINT, 130), std::make_pair(SIGTERM, 143)}) {
        SCOPED_TRACE(sig);
        const Clock::time_point start = Clock::now();
        const auto clip = Start("in.png 'o/f.#########.png' --frames 1-10000000 --progress json");
        std::string first;
        ASSERT_TRUE(clip->ReadLine(first, 120000));
        EXPECT_LT(SecondsSince(start), 3.0) << "before the first frame";
        const Clock::time_point signalled = Clock::now();
        clip->Signal(sig);
        ASSERT_TRUE(clip->Ended(-1));
        EXPECT_LT(SecondsSince(signalled), 3.0) << "from the signal to the end";
        EXPECT_EQ(clip->ExitCode(), code);
        EXPECT_NE(Err().find("-10000000 are not"), std::string::npos) << Err();
        ASSERT_EQ(vtest::RunShell("rm -r '" + Path("o") + "' && mkdir '" + Path("o") + "'").status, 0);
    }

    // A sequence of many frames (links to one file) whose headers take seconds
    // to check, a megabyte of text each; the signal comes while it checks them.
    OIIO::ImageSpec spec(16, 8, 4, OIIO::TypeDesc::UINT8);
    spec.attribute("ImageDescription", std::string(1 << 20, 'x'));
    ASSERT_TRUE(vtest::WriteFile(Path("long.png"), spec, vtest::Noise(16 * 8 * 4, 3)));
    const int count = 20000;
    char name[64];
    for (int f = 1; f <= count; ++f) {
        std::snprintf(name, sizeof(name), "o/s.%06d.png", f);
        ASSERT_EQ(::symlink("../long.png", Path(name).c_str()), 0);
    }
    const Clock::time_point start = Clock::now();
    const auto clip = Start("'o/s.######.png' 'o/r.######.png' --progress json");
    ASSERT_TRUE(TakesSignals(clip->Pid()));
    clip->Signal(SIGINT, 1000);  // past the listing of the folder, into the headers
    const Clock::time_point signalled = Clock::now();
    ASSERT_TRUE(clip->Ended(-1));
    EXPECT_LT(SecondsSince(signalled), 3.0) << "from the signal to the end";
    EXPECT_EQ(clip->ExitCode(), 130);
    EXPECT_NE(Err().find("interrupted before the first frame; nothing was written"), std::string::npos)
        << Err() << " after " << SecondsSince(start) << " s";
    const std::vector<std::string> names = vtest::FolderNames(Path("o"));
    EXPECT_EQ(std::count_if(names.begin(), names.end(), [](const std::string& n) { return n.rfind("s.", 0) != 0; }), 0);
}

// File names are bytes: a name that is not UTF-8 is reported in JSON without
// stopping the clip, in a form that gives its bytes back.
TEST_F(RenderClip, JsonProgressReportsAnyFileName) {
    WriteFrame("in.png", vimaging::SampleType::U8, 1, 16, 8);
    const std::string latin1 = "d\xe9j\xe0/";   // Latin-1 bytes, not UTF-8
    const std::string utf8 = "d\xc3\xa9j\xc3\xa0/";
    for (const std::string& folder : {latin1, utf8}) {
        ASSERT_EQ(::mkdir(Path(folder).c_str(), 0755), 0);
        const CliRun run = Vellora("in.png '" + folder + "f.#.png' --frames 1-3 --progress json");
        ASSERT_EQ(run.status, 0) << run.err;
        std::istringstream lines(run.out);
        std::string line;
        int seen = 0;
        while (std::getline(lines, line)) {
            const nlohmann::json j = nlohmann::json::parse(line);  // strict: valid UTF-8 or it throws
            const std::string exact = folder + "f." + std::to_string(j.at("frame").get<long>()) + ".png";
            if (folder == utf8) {
                EXPECT_EQ(j.at("file").get<std::string>(), exact);
                EXPECT_FALSE(j.contains("file_hex")) << line;
            } else {
                EXPECT_EQ(j.at("file").get<std::string>(), "d\xef\xbf\xbdj\xef\xbf\xbd/" + exact.substr(latin1.size()));
                std::string bytes;
                const std::string hex = j.at("file_hex").get<std::string>();
                for (size_t i = 0; i + 1 < hex.size(); i += 2) {
                    bytes += static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16));
                }
                EXPECT_EQ(bytes, exact);
            }
            EXPECT_FALSE(Bytes(exact).empty()) << exact;
            ++seen;
        }
        EXPECT_EQ(seen, 3) << run.out;
    }
}

// The deep-colour path of the documentation: ffmpeg makes a 16-bit PNG
// sequence of a video, vellora keys the mask over it, ffmpeg makes ProRes
// 4444 with alpha from the result, whose alpha decodes to what vellora wrote.
TEST_F(RenderClip, SixteenBitRoundTripThroughFfmpegKeepsAlpha) {
    if (vtest::RunShell("command -v ffmpeg").status != 0) {
        FAIL() << "ffmpeg is not installed (scripts/install-deps.sh installs it)";
    }
    const auto run = [&](const std::string& command) {
        const CliRun ran = vtest::RunShell("cd '" + dir_.Dir() + "' && " + command);
        ASSERT_EQ(ran.status, 0) << command << "\n" << ran.out;
    };
    run("ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=96x64:rate=25 -frames:v 6 -pix_fmt rgba64be in.%04d.png");
    WriteText("keys.json", R"({"width": [{"frame": 1, "value": 30}, {"frame": 6, "value": 80}],
                               "feather": [{"frame": 1, "value": 12}]})");
    Ok("'in.%04d.png' 'out.%04d.png' --keys keys.json --height 40 --falloff cubic -q");
    ASSERT_EQ(vtest::ReadFile(Path("out.0001.png")).spec.format, OIIO::TypeDesc::UINT16);
    run("ffmpeg -nostdin -v error -framerate 25 -start_number 1 -i out.%04d.png -c:v prores_ks -profile:v 4444 "
        "-pix_fmt yuva444p10le clip.mov");
    run("ffmpeg -nostdin -v error -i clip.mov -pix_fmt rgba64be back.%04d.png");
    for (int f = 1; f <= 6; ++f) {
        char name[32];
        std::snprintf(name, sizeof(name), "%04d.png", f);
        SCOPED_TRACE(name);
        const vtest::FilePixels ours = vtest::ReadFile(Path(std::string("out.") + name));
        const vtest::FilePixels back = vtest::ReadFile(Path(std::string("back.") + name));
        ASSERT_EQ(back.spec.nchannels, 4);
        ASSERT_EQ(back.data.size(), ours.data.size());
        float largest = 0, low = 1, high = 0;
        for (size_t i = 3; i < ours.data.size(); i += 4) {
            largest = std::max(largest, std::abs(back.data[i] - ours.data[i]));
            low = std::min(low, ours.data[i]);
            high = std::max(high, ours.data[i]);
        }
        EXPECT_LE(largest, 1.5f / 1023.0f);  // ten bits of alpha
        EXPECT_EQ(low, 0.0f);                 // the mask made transparent ...
        EXPECT_EQ(high, 1.0f);                // ... and opaque pixels
    }
}

}  // namespace
