// `vellora view` as a person uses it: the real window on an X server of its own
// (Xvfb), moved, clicked and typed into with xdotool, its report lines read,
// and what it did compared with `vellora drag` and `vellora render`.
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "imaging/ImageIO.h"
#include "tests/TestFiles.h"
#include "tests/Xvfb.h"

namespace {

using nlohmann::json;

// A press at picture point (fx, fy) and a release at (tx, ty), done in the
// window after `before` and by `vellora drag` with `view` options: both take
// `handle` and leave the same parameters, `changes` among them moved.
struct GestureCase {
    int fx, fy, tx, ty;
    const char* view;
    const char* handle;
    const char* changes;
    std::function<void()> before;
};

class ViewWindow : public ::testing::Test {
protected:
    void SetUp() override {
        x_ = std::make_unique<vtest::XvfbSession>(1920, 1200);
        if (x_->Display().empty()) GTEST_SKIP() << "no X server could be started (Xvfb -displayfd failed): skipped";
        ASSERT_EQ(vtest::RunShell("command -v xdotool").status, 0) << "xdotool is missing (scripts/install-deps.sh)";
    }

    // The window's exit status once it ends within `ms`; -2 while it runs.
    int Exit(int ms) { return view_->Ended(ms) ? view_->ExitCode() : -2; }

    // Opens the window on `args` and waits for its first picture.
    void Open(const std::string& args) {
        // SDL's input-method support leaves a D-Bus connection's memory behind,
        // allocated where the sanitizer build cannot tell it from ours; the
        // window's own parts are leak-checked in process (view_parts_test).
        // Without the leak check, full stacks on malloc buy nothing and slow
        // Mesa's shader compiler past the tests' time-outs.
        view_ = std::make_unique<vtest::Process>(
            "exec env -u VELLORA_MODULE " + x_->Env() +
                "ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0:fast_unwind_on_malloc=1\" '" +
                VELLORA_CLI_PATH "' view --report --size 1280x800 " + args,
            dir_ + "/stderr.txt");
        ASSERT_GT(view_->Pid(), 0);
        ready_ = Next("ready");
        ASSERT_TRUE(ready_.is_object()) << vtest::FileText(dir_ + "/stderr.txt");
        window_ = Xdo("search --sync --name '^vellora view'");
        ASSERT_FALSE(window_.empty());
        window_ = window_.substr(0, window_.find('\n'));
        EXPECT_EQ(Xdo("getwindowname " + window_).rfind("vellora view", 0), 0u);
        Xdo("windowfocus --sync " + window_ + " mousemove --window " + window_ + " 40 60");
    }

    // The next report line of `event`; the view lines in between update the origin and zoom.
    json Next(const std::string& event, int timeout_ms = 30000) {
        std::string line;
        while (view_->ReadLine(line, timeout_ms)) {
            const json j = json::parse(line);
            if (j["event"] == event) return j;
            EXPECT_EQ(j["event"], "ready") << "unexpected report line " << line;
            ready_ = j;
        }
        ADD_FAILURE() << "no '" << event << "' line; stderr: " << vtest::FileText(dir_ + "/stderr.txt");
        return json();
    }

    std::string Xdo(const std::string& args) { return x_->Xdo(args); }

    // A press at picture point `from` (window point minus the reported origin),
    // a move half-way, a release at `to`; returns the gesture's report line.
    json Gesture(int fx, int fy, int tx, int ty) {
        const int x0 = ready_["origin"][0], y0 = ready_["origin"][1];
        const auto at = [&](int x, int y) {
            return "mousemove --window " + window_ + " " + std::to_string(x0 + x) + " " + std::to_string(y0 + y) +
                   " sleep 0.05 ";
        };
        Xdo(at(fx, fy) + "mousedown 1 sleep 0.05 " + at((fx + tx) / 2, (fy + ty) / 2) + at(tx, ty) + "mouseup 1");
        return Next("gesture");
    }

    void Keys(const std::string& keys) { Xdo("key --delay 40 " + keys); }
    void Type(const std::string& text) { Xdo("type --delay 40 '" + text + "'"); }

    std::string WriteJson(const std::string& name, const json& j) {
        const std::string path = dir_ + "/" + name;
        std::ofstream(path) << j.dump();
        return path;
    }

    // `vellora drag` from the same press and release points.
    json Drag(const std::string& view_args, const json& start, const std::string& from, const std::string& to) {
        const vtest::CliRun run = vtest::RunCli("drag " + view_args + " --params '" + WriteJson("start.json", start) +
                                                    "' --from " + from + " --to " + to,
                                                false);
        EXPECT_EQ(run.status, 0) << run.out;
        return json::parse(run.out);
    }

    // Plays `cases` in order, each from the parameters the one before left;
    // returns what each left.
    std::vector<json> Gestures(const std::vector<GestureCase>& cases) {
        std::vector<json> left;
        for (const GestureCase& c : cases) {
            SCOPED_TRACE(std::string(c.handle) + " in " + c.view);
            if (c.before) c.before();
            const json start = left.empty() ? json::object() : left.back();
            const json done = Gesture(c.fx, c.fy, c.tx, c.ty);
            const json drag = Drag(c.view, start, std::to_string(c.fx) + "," + std::to_string(c.fy),
                                   std::to_string(c.tx) + "," + std::to_string(c.ty));
            EXPECT_EQ(done["handle"], c.handle);
            EXPECT_EQ(done["handle"], drag["handle_name"]);
            EXPECT_EQ(done["params"], drag["params"]);
            if (start.contains(c.changes)) {
                EXPECT_NE(done["params"][c.changes], start[c.changes]);
            }
            left.push_back(done["params"]);
        }
        return left;
    }

    // The saved picture against `render --params` of the saved values: byte for
    // byte, or sample for sample where the format stamps the time of writing (EXR).
    void ExpectRenderedAgain(const json& saved, const std::string& input, const std::string& host_options) {
        const std::string image = saved["image"], params = saved["params_file"];
        const std::string extension = image.substr(image.rfind('.'));
        const std::string again = dir_ + "/again" + extension;
        const vtest::CliRun run =
            vtest::RunCli("render " + input + " '" + again + "' -q --params '" + params + "' " + host_options);
        ASSERT_EQ(run.status, 0) << run.out;
        if (extension == ".exr") {
            const vimaging::Image a = vimaging::ReadImage(image), b = vimaging::ReadImage(again);
            EXPECT_EQ(a.type, vimaging::SampleType::F32);
            EXPECT_TRUE(a.width == b.width && a.height == b.height && a.f32 == b.f32)
                << image << " differs from what render --params makes";
            return;
        }
        const std::string a = vtest::FileText(image), b = vtest::FileText(again);
        EXPECT_FALSE(a.empty());
        EXPECT_TRUE(a == b) << image << " differs from what render --params makes";
    }

    json ReadJson(const std::string& path) { return json::parse(vtest::FileText(path)); }

    std::unique_ptr<vtest::XvfbSession> x_;
    const vtest::TempDir temp_;
    const std::string dir_ = temp_.Dir();
    std::unique_ptr<vtest::Process> view_;
    std::string window_;
    json ready_;
};

// Corner, feather and rotation handles dragged with the mouse end as `vellora
// drag` leaves them; a control typed into, saving (the picture is what `render
// --params` makes of the saved values), undo of whole gestures, redo, quitting.
TEST_F(ViewWindow, GesturesEditsUndoAndSaveMatchTheCommandLine) {
    const std::string card = "testcard:640x360";
    Open(card + " --zoom 1 --save " + dir_ + "/saved.png");
    EXPECT_EQ(ready_["zoom"], 1.0);
    EXPECT_EQ(ready_["window"], "layer");

    // Default mask: centre (320, 180), 300 x 200, so the bottom-right corner is at (470, 280).
    // Then 400 x 264 with no feather: the right feather handle sits on the right edge's middle.
    // The rotation handle is a fifth of the layer's height above the centre.
    const char* const view = "testcard:640x360 --zoom 1";  // as opened
    const std::vector<json> left = Gestures({{470, 280, 520, 312, view, "bottom_right", "width", {}},
                                             {520, 180, 490, 186, view, "feather_right", "feather", {}},
                                             {320, 108, 390, 150, view, "rotation", "angle", {}}});
    ASSERT_EQ(left.size(), 3u);
    const json &feather = left[1], &rotation = left[2];

    // Find the Height control, type a value, save.
    Keys("ctrl+f");
    Type("height");
    Keys("Return");
    Type("150");
    Keys("Return ctrl+s");
    json saved = Next("saved");
    json typed = rotation;
    typed["height"] = 150.0;
    EXPECT_EQ(ReadJson(saved["params_file"]), typed);
    ExpectRenderedAgain(saved, card, "");

    // Two undos take back the typed value and the whole rotation gesture.
    Keys("ctrl+z ctrl+z ctrl+s");
    saved = Next("saved");
    EXPECT_EQ(ReadJson(saved["params_file"]), feather);
    ExpectRenderedAgain(saved, card, "");

    // Redo brings the rotation back; the window reports it on the way out.
    Keys("ctrl+shift+z ctrl+q");
    EXPECT_EQ(Next("exit")["params"], rotation);
    EXPECT_EQ(Exit(10000), 0) << vtest::FileText(dir_ + "/stderr.txt");
}

// After the window is panned and zoomed, and in the composition window with
// the layer away from its corner, a press at origin + (a, b) still reaches
// the effect as `vellora drag --from a,b` does at the reported zoom.
TEST_F(ViewWindow, GesturesAfterPanZoomAndWindowSwitchMatchDrag) {
    const std::string card = "testcard:320x180";
    Open(card + " --window comp --zoom 2 --layer-offset 30,20");
    EXPECT_EQ(ready_["window"], "comp");
    EXPECT_EQ(ready_["zoom"], 2.0);

    // Opacity handle: 40 window pixels left of the centre, 50 above it at 100 %.
    // The centre (160, 90) lies at composition (190, 110), window (380, 220).
    const auto pan = [&] {
        // Pan with space and a drag: the picture moves by exactly the drag.
        const int x0 = ready_["origin"][0], y0 = ready_["origin"][1];
        Xdo("mousemove --window " + window_ + " 600 500 keydown space mousedown 1 mousemove_relative 17 9 sleep 0.1 "
            "mouseup 1 keyup space");
        const json panned = json::array({x0 + 17, y0 + 9});
        while (ready_["origin"] != panned && (ready_ = Next("ready", 3000)).is_object()) {
        }
        EXPECT_EQ(ready_["origin"], panned);
        EXPECT_EQ(ready_["zoom"], 2.0);
        // Zoom out a step from 200 %: 150 %.
        Keys("minus");
        ready_ = Next("ready");
        ASSERT_EQ(ready_["zoom"], 1.5);
    };
    const auto layer_window = [&] {
        // The layer window keeps its own view, still at 200 %.
        Keys("w");
        ready_ = Next("ready");
        EXPECT_EQ(ready_["window"], "layer");
        EXPECT_EQ(ready_["zoom"], 2.0);
    };
    // After the pan and zoom the bottom-right corner, layer (310, 190), is
    // composition (340, 210), window (510, 315); in the layer window the
    // rotation handle, layer (160, 54), is window (320, 108).
    const std::vector<json> left =
        Gestures({{340, 170, 341, 191, "testcard:320x180 --window comp --zoom 2 --layer-offset 30,20", "opacity",
                   "opacity", {}},
                  {510, 315, 540, 330, "testcard:320x180 --window comp --zoom 1.5 --layer-offset 30,20",
                   "bottom_right", "width", pan},
                  {320, 108, 400, 180, "testcard:320x180 --zoom 2", "rotation", "angle", layer_window}});
    ASSERT_EQ(left.size(), 3u);
    const json& rotation = left[2];

    Keys("Escape");
    EXPECT_EQ(Next("exit")["params"], rotation);
    EXPECT_EQ(Exit(10000), 0) << vtest::FileText(dir_ + "/stderr.txt");
}

// Premiere's float frames saved as EXR, then the host switched to After
// Effects 8-bit and 16-bit (the values carried over), each saved under a new
// name: each file is what `render --params` makes with that host and depth.
TEST_F(ViewWindow, HostSwitchCarriesTheValuesAndSavesWhatRenderMakes) {
    const std::string card = "testcard:200x120";
    Open(card + " --host premiere --depth float --mode intersect --width 150 --feather 30 --angle 20 --save " + dir_ +
         "/float.exr");
    Keys("ctrl+s");
    const json saved_float = Next("saved");
    ExpectRenderedAgain(saved_float, card, "--host premiere --depth float");

    Keys("h ctrl+shift+s ctrl+a");
    Type(dir_ + "/eight.png");
    Keys("Return");
    const json saved_eight = Next("saved");
    EXPECT_EQ(saved_eight["image"], dir_ + "/eight.png");
    EXPECT_EQ(ReadJson(saved_eight["params_file"]), ReadJson(saved_float["params_file"]));
    ExpectRenderedAgain(saved_eight, card, "");

    // After Effects 16-bit next: a 16-bit PNG.
    Keys("h ctrl+shift+s ctrl+a");
    Type(dir_ + "/sixteen.png");
    Keys("Return");
    const json saved_sixteen = Next("saved");
    EXPECT_EQ(vimaging::ReadImage(saved_sixteen["image"]).type, vimaging::SampleType::U16);
    ExpectRenderedAgain(saved_sixteen, card, "--depth 16");

    Keys("ctrl+q");
    Next("exit");
    EXPECT_EQ(Exit(10000), 0) << vtest::FileText(dir_ + "/stderr.txt");
}

// A save writes the picture and its parameters or neither, and a failure is
// reported, not only shown in passing. A 16-bit file opened without --depth
// renders at 16 bits as `render` does, and is saved as render writes it.
// Zooming at the pointer keeps the layer point under it: exact origins worked
// out here from the first one, not read back and trusted.
TEST_F(ViewWindow, ASaveThatCannotWriteTheParametersWritesNothing) {
    const std::string input = dir_ + "/deep.png";
    const vtest::CliRun made = vtest::RunCli("render testcard:160x120 '" + input + "' -q --depth 16 --mode add --width 0");
    ASSERT_EQ(made.status, 0) << made.out;
    Open(input + " --zoom 1 --feather 20 --save " + dir_ + "/s.png");
    ASSERT_EQ(mkdir((dir_ + "/s.json").c_str(), 0755), 0);  // the parameters cannot go there
    Keys("ctrl+s");
    const json failed = Next("save_failed");
    EXPECT_EQ(failed["image"], dir_ + "/s.png");
    EXPECT_NE(failed["error"].get<std::string>().find("'" + dir_ + "/s.json': Is a directory"), std::string::npos)
        << failed;
    EXPECT_NE(access((dir_ + "/s.png").c_str(), F_OK), 0) << "the picture was saved without its parameters";

    // Once the way is clear, the dialog dismissed, the same keys save both.
    ASSERT_EQ(rmdir((dir_ + "/s.json").c_str()), 0);
    Keys("Escape ctrl+s");
    const json saved = Next("saved");
    EXPECT_EQ(vimaging::ReadImage(saved["image"]).type, vimaging::SampleType::U16);
    ExpectRenderedAgain(saved, "'" + input + "'", "");

    // Layer pixel (40, 30) under the pointer; the zoom steps are 1, 1.5, 2.
    const int x0 = ready_["origin"][0], y0 = ready_["origin"][1];
    Xdo("mousemove --window " + window_ + " " + std::to_string(x0 + 40) + " " + std::to_string(y0 + 30));
    const auto expect_view = [&](const json& view, double zoom, int x, int y) {
        EXPECT_EQ(view["zoom"], zoom) << view;
        EXPECT_EQ(view["origin"], json({x, y})) << view;
    };
    Keys("equal");
    expect_view(Next("ready"), 1.5, x0 + 40 - 60, y0 + 30 - 45);
    Xdo("click --window " + window_ + " 4");  // wheel up
    expect_view(Next("ready"), 2.0, x0 + 40 - 80, y0 + 30 - 60);
    Xdo("click --window " + window_ + " 5");  // wheel down
    expect_view(Next("ready"), 1.5, x0 + 40 - 60, y0 + 30 - 45);
    Keys("ctrl+q");
    Next("exit");
    EXPECT_EQ(Exit(10000), 0) << vtest::FileText(dir_ + "/stderr.txt");
}

// What the window shows where the report says it shows it: layer pixel (x, y)
// in the composition window at (X0 + Z (x + offset), ...), straight alpha over
// the window's checkerboard, the composition outside the layer as checkerboard
// and the window outside the composition as its background.
TEST_F(ViewWindow, PictureAppearsWhereTheReportPutsIt) {
    const std::string card = "testcard:320x180", mask = " --mode intersect --width 10000 --height 10000";
    Open(card + mask + " --window comp --zoom 2 --layer-offset 30,20");
    const vtest::CliRun run = vtest::RunCli("render " + card + " '" + dir_ + "/frame.png' -q" + mask);
    ASSERT_EQ(run.status, 0) << run.out;
    const vimaging::Image frame = vimaging::ReadImage(dir_ + "/frame.png");

    Xdo("mousemove --window " + window_ + " 5 5 sleep 0.3");
    std::string geometry = Xdo("getwindowgeometry --shell " + window_);
    int x = 0, y = 0, w = 0, h = 0;
    for (std::istringstream lines(geometry); std::getline(lines, geometry);) {
        std::sscanf(geometry.c_str(), "X=%d", &x), std::sscanf(geometry.c_str(), "Y=%d", &y);
        std::sscanf(geometry.c_str(), "WIDTH=%d", &w), std::sscanf(geometry.c_str(), "HEIGHT=%d", &h);
    }
    const std::string shot = dir_ + "/shot.png";
    ASSERT_TRUE(x_->Screenshot(shot, x, y, w, h));
    vtest::XvfbSession::Keep(shot, "view_window.png");
    const vimaging::Image screen = vimaging::ReadImage(shot);
    ASSERT_EQ(screen.width, 1280);
    const int x0 = ready_["origin"][0], y0 = ready_["origin"][1];
    const auto on_screen = [&](int i, int j, int c) {
        return static_cast<int>(std::lround(screen.Normalised(i, j, c) * 255));
    };
    const auto checker = [](int i, int j) { return ((i / 8 + j / 8) % 2) ? 102 : 153; };

    const auto expect_shows = [&](int i, int j, int lx, int ly) {
        const double a = frame.Normalised(lx, ly, 3);
        for (int c = 0; c < 3; ++c) {
            const double over = frame.Normalised(lx, ly, c) * a + checker(i, j) / 255.0 * (1 - a);
            EXPECT_NEAR(on_screen(i, j, c), over * 255, 1.0)
                << "layer pixel " << lx << "," << ly << " channel " << c << " at window " << i << "," << j;
        }
    };
    // The opaque band at the top, the alpha ramp in the middle, the transparent band at
    // the bottom, and grid lines: at 200 % layer pixel (x, y) covers window pixels
    // X0 + 2x' - 1 and X0 + 2x' (x' in the composition), the next one starts after them.
    for (const auto& p : {std::make_pair(40, 30), std::make_pair(63, 30), std::make_pair(280, 40),
                          std::make_pair(60, 120), std::make_pair(127, 63), std::make_pair(250, 100),
                          std::make_pair(30, 170), std::make_pair(316, 176)}) {
        const int i = x0 + 2 * (p.first + 30), j = y0 + 2 * (p.second + 20);
        expect_shows(i, j, p.first, p.second);
        expect_shows(i - 1, j - 1, p.first, p.second);
        expect_shows(i + 1, j + 1, p.first + 1, p.second + 1);
    }
    // Composition pixel (10, 10) lies left of and above the layer; the window left of the composition is background.
    EXPECT_EQ(on_screen(x0 + 20, y0 + 20, 1), checker(x0 + 20, y0 + 20));
    EXPECT_EQ(on_screen(x0 - 4, y0 + 20, 1), 41);
}

// Without a display, or with one nobody answers on, the window says what is
// wrong and how to run it headless; bad options and input fail as `render`
// fails, before any window.
TEST(ViewCli, ErrorsWithoutDisplayAndForBadOptions) {
    const std::string headless = "-u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER";
    vtest::CliRun run = vtest::RunCli("view testcard:64x64", true, headless);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("DISPLAY is unset"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("xvfb-run"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find('\n'), run.out.size() - 1) << "one line: " << run.out;

    for (const char* bad : {"--zoom 0", "--size 10x10", "--window effect", "--depth 12", "--trace t.json",
                            "--layer-offset 5,5", "--save picture"}) {
        run = vtest::RunCli(std::string("view testcard:64x64 ") + bad, true, headless);
        EXPECT_EQ(run.status, 1) << bad;
        EXPECT_EQ(run.out.rfind(std::string("vellora: ") + std::string(bad).substr(0, 6), 0), 0u) << run.out;
    }
    run = vtest::RunCli("view /nonexistent/in.png", true, headless);
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.out.find("/nonexistent/in.png"), std::string::npos) << run.out;

    // A display nobody answers on is an error naming it, not an invisible window
    // that waits for ever (SDL would fall back to drawing off screen).
    // timeout only ends a window that would otherwise never end; the run is expected to fail at once.
    // As for every window process here, no leak check: SDL's D-Bus connection
    // leaves memory the sanitizer build cannot tell from ours.
    run = vtest::RunCli(
        "view testcard:64x64 --report", true,
        "-u WAYLAND_DISPLAY -u SDL_VIDEODRIVER DISPLAY=:987 ASAN_OPTIONS=\"$ASAN_OPTIONS:detect_leaks=0\" timeout 30");
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("vellora: cannot open the display ':987' (DISPLAY)"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("xvfb-run"), std::string::npos) << run.out;
    EXPECT_EQ(run.out.find("\"event\""), std::string::npos) << "no window was reported: " << run.out;
}

}  // namespace
