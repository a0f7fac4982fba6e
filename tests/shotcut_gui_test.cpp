// Shotcut itself, under an X server of our own (Xvfb), with the built filter
// folder and MLT filter: it must add the filter without a QML warning, draw
// the mask's box where the project puts it, and its on-video handles, dragged
// with xdotool, must change the saved project's rect and angle by what the
// drag did; melt then renders the saved project with the mask moved, resized
// and turned. Slow (Shotcut starts in 10 to 60 s): its tests carry "Gui".
#include <gtest/gtest.h>

#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "imaging/ImageIO.h"
#include "tests/Xvfb.h"

namespace {

using vtest::WaitUntil;
const double kPi = std::acos(-1.0);

const int kProfileW = 640, kProfileH = 360;
// The box the project starts with: X Y W H in profile pixels, centre (320, 180).
const double kX = 220, kY = 130, kW = 200, kH = 100;

std::string Q(const std::string& text) { return "'" + text + "'"; }

// A filter element as Shotcut saves one: its service, Shotcut's name for it
// (none: Shotcut finds it by its service) and its properties.
std::string Filter(int id, const std::string& service, const std::string& shotcut_name,
                   const std::vector<std::pair<std::string, std::string>>& properties) {
    std::ostringstream x;
    x << "    <filter id=\"filter" << id << "\" out=\"49\">\n"
      << "      <property name=\"mlt_service\">" << service << "</property>\n";
    if (!shotcut_name.empty()) x << "      <property name=\"shotcut:filter\">" << shotcut_name << "</property>\n";
    for (const auto& [name, value] : properties) {
        x << "      <property name=\"" << name << "\">" << value << "</property>\n";
    }
    x << "    </filter>";
    return x.str();
}

std::string Rect(double x, double y, double w, double h) {
    std::ostringstream r;
    r << x << " " << y << " " << w << " " << h;
    return r.str();
}

// The shared Shotcut project, its clip (`service`, `resource`) alone on V1
// carrying `filters`.
std::string Project(const std::string& service, const std::string& resource, const std::string& filters) {
    std::string x = vtest::FileText(std::string(VELLORA_SOURCE_DIR) + "/tests/data/editors/shotcut-project.mlt");
    for (size_t at; (at = x.find("<!--under-->")) != std::string::npos;) {
        const std::string close = "<!--/under-->\n";
        x.erase(at, x.find(close, at) + close.size() - at);
    }
    const std::pair<std::string, std::string> fill[] = {
        {"@WIDTH@", std::to_string(kProfileW)}, {"@HEIGHT@", std::to_string(kProfileH)}, {"@SERVICE@", service},
        {"@RESOURCE@", resource}, {"@V1@", "producer0"}, {"@FILTERS@", filters}};
    for (const auto& [name, value] : fill) {
        for (size_t at; (at = x.find(name)) != std::string::npos;) x.replace(at, name.size(), value);
    }
    return x;
}

// The handles' project: a colour, half transparent; composite "add" makes the
// box opaque. The angle is keyframed (0 at the first frame, 90 at the last).
std::string HandlesProject() {
    return Project("color", "#803080c0",
                   Filter(0, "vellora", "vellora",
                          {{"mask_type", "rectangle"}, {"composite_mode", "add"}, {"rect", Rect(kX, kY, kW, kH)},
                           {"angle", "0=0;49=90"}}));
}

struct Box {
    int x0 = 0, y0 = 0, x1 = -1, y1 = -1;  // inclusive; empty when x1 < x0
    bool Empty() const { return x1 < x0; }
    void Add(int x, int y) {
        if (Empty()) {
            x0 = x1 = x;
            y0 = y1 = y;
        }
        x0 = std::min(x0, x), x1 = std::max(x1, x), y0 = std::min(y0, y), y1 = std::max(y1, y);
    }
};

// Where the player shows the picture: the clip's blue, in full (the box) or
// over black (the rest), above the timeline's thumbnail of the same clip.
bool IsClipBlue(const uint8_t* p) {
    return std::abs(p[0] - 48) < 20 && std::abs(p[1] - 128) < 20 && std::abs(p[2] - 192) < 20;
}
// The handles' yellow.
bool IsHandle(const uint8_t* p) { return p[0] > 200 && p[1] > 200 && p[2] < 110; }

class ShotcutXvfb : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef VELLORA_SANITIZED
        GTEST_SKIP() << "Shotcut cannot load a sanitizer's build of the module; the melt tests cover it";
#endif
        for (const char* program : {"shotcut", "Xvfb", "xdotool", "ffmpeg", "melt"}) {
            if (vtest::RunShell(std::string("command -v ") + program + " >/dev/null").status != 0) {
                GTEST_SKIP() << program << " is missing (scripts/install-deps.sh installs it)";
            }
        }
        const vtest::CliRun prefix = vtest::RunShell(Q(std::string(VELLORA_SOURCE_DIR) +
                                                       "/scripts/shotcut-prefix.sh") + " " +
                                                     Q(dir_.Path("prefix")) + " " + Q(VELLORA_BUILD_DIR), false);
        ASSERT_EQ(prefix.status, 0) << prefix.err;
        env_ = prefix.out;
        x_ = std::make_unique<vtest::XvfbSession>(1600, 1000);
        ASSERT_FALSE(x_->Display().empty()) << "Xvfb did not start";
    }

    void TearDown() override {
        // VELLORA_GUI_KEEP=DIR keeps the last screenshot and Shotcut's log.
        if (std::getenv("VELLORA_GUI_KEEP")) {
            std::ofstream(std::string(std::getenv("VELLORA_GUI_KEEP")) + "/shotcut.log") << Log();
            vtest::RunShell("cp " + dir_.Arg("shot.png") + " " + Q(std::getenv("VELLORA_GUI_KEEP")));
        }
    }

    vtest::CliRun X(const std::string& command) { return vtest::RunShell(x_->Env() + command); }

    void StartShotcut(const std::string& project) {
        shotcut_ = std::make_unique<vtest::Process>(
            env_ + " export HOME=" + dir_.Arg("home") + " " + x_->Env() +
            " QT_QPA_PLATFORM=xcb; mkdir -p \"$HOME\"; exec \"$SHOTCUT\" --noupgrade " + Q(project) + " >" +
            dir_.Arg("shotcut.log") + " 2>&1");
        ASSERT_TRUE(WaitUntil(180, [&] { return !Window().empty(); })) << "no Shotcut window: " << Log();
    }

    std::string Window() {
        std::string id = X("xdotool search --name ' - Shotcut$' 2>/dev/null | tail -1").out;
        while (!id.empty() && (id.back() == '\n' || id.back() == ' ')) id.pop_back();
        return id;
    }

    // What Shotcut printed, then its own log file (where QML's messages go too).
    std::string Log() {
        return vtest::FileText(dir_.Path("shotcut.log")) +
               vtest::FileText(dir_.Path("home/.local/share/Meltytech/Shotcut/shotcut-log.txt"));
    }

    vimaging::Image Shot() {
        x_->Screenshot(dir_.Path("shot.png"));
        return vimaging::ReadImage(dir_.Path("shot.png"));
    }

    static Box Find(const vimaging::Image& shot, const Box& within, bool (*is)(const uint8_t*)) {
        Box found;
        for (int y = std::max(within.y0, 0); y <= std::min(within.y1, shot.height - 1); ++y) {
            for (int x = std::max(within.x0, 0); x <= std::min(within.x1, shot.width - 1); ++x) {
                if (is(&shot.u8[(static_cast<size_t>(y) * shot.width + x) * 4])) found.Add(x, y);
            }
        }
        return found;
    }

    void Click(double x, double y) {
        X("xdotool mousemove " + std::to_string(std::lround(x)) + " " + std::to_string(std::lround(y)) + " click 1");
    }

    // Press at `from`, move there in steps as a hand does, release at `to`.
    void Drag(double fx, double fy, double tx, double ty) {
        std::string steps;
        for (int i = 1; i <= 8; ++i) {
            steps += " mousemove " + std::to_string(std::lround(fx + (tx - fx) * i / 8)) + " " +
                     std::to_string(std::lround(fy + (ty - fy) * i / 8)) + " sleep 0.1";
        }
        X("xdotool mousemove " + std::to_string(std::lround(fx)) + " " + std::to_string(std::lround(fy)) +
          " sleep 0.3 mousedown 1 sleep 0.3" + steps + " sleep 0.3 mouseup 1 sleep 0.5");
    }

    // The player: the largest run of the clip's blue in the upper part of the window.
    Box Player() {
        Box player;
        EXPECT_TRUE(WaitUntil(90, [&] {
            // Room for the player; without a window manager the size is ours to set,
            // and Shotcut sets its own once more as it finishes starting.
            X("xdotool windowsize " + Window() + " 1600 1000");
            player = Find(Shot(), Box{500, 80, 1599, 700}, IsClipBlue);
            // Laid out in the 1600 x 1000 window, the player is over 600 pixels wide.
            return !player.Empty() && player.x1 - player.x0 > 600;
        })) << "the player shows no picture";
        return player;
    }

    // The clip in the timeline, then the Filters panel: its one filter is current
    // and its handles show over the player; their extent, or an empty box.
    Box SelectFilter(const Box& player) {
        const Box clip = Find(Shot(), Box{0, player.y1 + 150, 1599, 999}, IsClipBlue);
        if (clip.Empty()) {
            ADD_FAILURE() << "no clip in the timeline";
            return clip;
        }
        Click((clip.x0 + clip.x1) / 2.0, (clip.y0 + clip.y1) / 2.0);
        Click(795, 45);  // the toolbar's Filters button
        Box handles;
        EXPECT_TRUE(WaitUntil(60, [&] {
            handles = Find(Shot(), player, IsHandle);
            return !handles.Empty();
        })) << "no on-video handles: " << Log();
        return handles;
    }

    // Ctrl+S in Shotcut; the project as saved, or "" if nothing was.
    std::string Save(const std::string& project) {
        const std::string before = vtest::FileText(project);
        X("xdotool windowfocus --sync " + Window() + " key ctrl+s");
        if (!WaitUntil(60, [&] { return vtest::FileText(project) != before; }) ||
            !WaitUntil(30, [&] { return vtest::FileText(project).find("</mlt>") != std::string::npos; })) {
            ADD_FAILURE() << "Ctrl+S saved nothing: " << Log();
            return "";
        }
        return vtest::FileText(project);
    }

    // Frame 0 of `project` through melt, as RGBA; empty on failure. On the X
    // display: MLT's Qt image producer wants one.
    std::string MeltFrame(const std::string& project) {
        shotcut_.reset();
        const vtest::CliRun melt = vtest::RunMelt(
            env_ + " " + x_->Env() + " timeout -s KILL 120 melt -quiet " + Q(project) + " out=0 -consumer avformat:" +
                dir_.Arg("frame.rgba") + " f=rawvideo vcodec=rawvideo pix_fmt=rgba mlt_image_format=rgba an=1",
            dir_.Path("frame.rgba"));
        EXPECT_EQ(melt.status, 0) << melt.out;
        return melt.status == 0 ? vtest::FileText(dir_.Path("frame.rgba")) : "";
    }

    vtest::TempDir dir_;
    std::string env_;
    std::unique_ptr<vtest::XvfbSession> x_;
    std::unique_ptr<vtest::Process> shotcut_;
};

// A saved property of the filter of `service`, or "" when the project lacks it.
std::string SavedProperty(const std::string& xml, const std::string& name, const std::string& service = "vellora") {
    const size_t filter = xml.find("<property name=\"mlt_service\">" + service + "</property>");
    if (filter == std::string::npos) return "";
    const size_t end = xml.find("</filter>", filter);
    const std::string key = "<property name=\"" + name + "\">";
    const size_t at = xml.rfind(key, end);
    const size_t open = xml.rfind("<filter", filter);
    if (at == std::string::npos || at < open) return "";
    return xml.substr(at + key.size(), xml.find('<', at + key.size()) - at - key.size());
}

// The values of "TIME=VALUE;..." (any kind of key), in order.
std::vector<double> KeyValues(const std::string& text) {
    std::vector<double> out;
    std::istringstream in(text);
    for (std::string key; std::getline(in, key, ';');) {
        const size_t eq = key.rfind('=');
        out.push_back(std::stod(eq == std::string::npos ? key : key.substr(eq + 1)));
    }
    return out;
}

std::vector<double> Numbers(const std::string& text) {
    std::vector<double> out;
    std::istringstream in(text);
    for (double v; in >> v;) out.push_back(v);
    return out;
}

TEST_F(ShotcutXvfb, GuiHandlesMoveResizeAndTurnTheMaskInTheSavedProject) {
    const std::string project = dir_.Path("project.mlt");
    std::ofstream(project) << HandlesProject();
    StartShotcut(project);

    ASSERT_TRUE(WaitUntil(60, [&] { return Log().find("added filter \"Mask: Vellora\"") != std::string::npos; }))
        << Log();

    const Box player = Player();
    ASSERT_FALSE(player.Empty());
    const double scale = (player.x1 - player.x0 + 1.0) / kProfileW;
    EXPECT_NEAR((player.y1 - player.y0 + 1.0) / kProfileH, scale, 0.02) << "picture not shown at 16:9";
    const auto sx = [&](double px) { return player.x0 + px * scale; };
    const auto sy = [&](double py) { return player.y0 + py * scale; };

    const Box handles = SelectFilter(player);
    ASSERT_FALSE(handles.Empty());
    // The corners (10 px squares) span the box; the arm's circle (14 px) is a fifth of the frame's height above the centre.
    EXPECT_NEAR((handles.x0 + handles.x1) / 2.0, sx(kX + kW / 2), 2);
    EXPECT_NEAR(handles.x1 - handles.x0, kW * scale + 10, 3);
    EXPECT_NEAR(handles.y1, sy(kY + kH) + 5, 3);
    EXPECT_NEAR(handles.y0, sy(kY + kH / 2 - kProfileH / 5.0) - 7, 3) << "no rotation arm's circle";

    // Move: drag inside the box, off its centre, by (64, 32) screen pixels.
    double cx = kX + kW / 2, cy = kY + kH / 2;
    Drag(sx(cx) + 20, sy(cy) + 15, sx(cx) + 84, sy(cy) + 47);
    cx += 64 / scale, cy += 32 / scale;
    // Resize: the bottom-right corner to (50, 20) screen pixels beyond; the centre stays.
    const double tx = sx(cx + kW / 2) + 50, ty = sy(cy + kH / 2) + 20;
    Drag(sx(cx + kW / 2), sy(cy + kH / 2), tx, ty);
    const double w = 2 * ((tx - player.x0) / scale - cx), h = 2 * ((ty - player.y0) / scale - cy);
    // Turn: the arm's circle, a fifth of the frame's height above the centre, to up and right.
    Drag(sx(cx), sy(cy - kProfileH / 5.0), sx(cx) + 80, sy(cy) - 60);
    const double angle = std::atan2(80.0, 60.0) * 180 / kPi;

    // The panel: its Invert mask box, where a fresh Shotcut of this size lays it out.
    Click(136, 581);

    const std::string saved = Save(project);
    ASSERT_FALSE(saved.empty());
    // Neither the folder's metadata nor its panel and player QML, loaded and used, met a QML warning.
    EXPECT_FALSE(std::regex_search(Log(), std::regex("Warning.*vellora/[a-z]+\\.(qml|js)"))) << Log();

    const std::vector<double> rect = Numbers(SavedProperty(saved, "rect"));
    ASSERT_GE(rect.size(), 4u) << SavedProperty(saved, "rect");
    // A screen pixel is 1 / scale profile pixels; the pointer lands on whole screen pixels.
    const double tolerance = 1.5 / scale;
    EXPECT_NEAR(rect[0] + rect[2] / 2, cx, tolerance) << "centre x";
    EXPECT_NEAR(rect[1] + rect[3] / 2, cy, tolerance) << "centre y";
    EXPECT_NEAR(rect[2], w, 2 * tolerance) << "width";
    EXPECT_NEAR(rect[3], h, 2 * tolerance) << "height";
    // The playhead is on the first frame: the turn rewrote that key and kept the last.
    const std::vector<double> angles = KeyValues(SavedProperty(saved, "angle"));
    ASSERT_EQ(angles.size(), 2u) << SavedProperty(saved, "angle");
    EXPECT_NEAR(angles[0], angle, 1.0);
    EXPECT_EQ(angles[1], 90);
    const bool inverted = SavedProperty(saved, "invert") == "1";
    EXPECT_TRUE(inverted) << "the panel's Invert mask box did not reach the project";

    // melt renders the saved project: inside the turned box opaque, outside half transparent (inverted: the reverse).
    const std::string frame = MeltFrame(project);
    ASSERT_EQ(frame.size(), static_cast<size_t>(kProfileW) * kProfileH * 4);
    const double a = angles[0] * kPi / 180;
    const double mx = rect[0] + rect[2] / 2, my = rect[1] + rect[3] / 2;
    // A point at (u, v) in the box's own axes, on screen (clockwise turn, y down).
    const auto alpha_at = [&](double u, double v) {
        const long x = std::lround(mx + u * std::cos(a) - v * std::sin(a));
        const long y = std::lround(my + u * std::sin(a) + v * std::cos(a));
        return static_cast<int>(static_cast<uint8_t>(frame[(static_cast<size_t>(y) * kProfileW + x) * 4 + 3]));
    };
    for (const auto& [u, v] : std::vector<std::pair<double, double>>{
             {0, 0}, {0.45 * rect[2], 0}, {-0.45 * rect[2], 0}, {0, 0.45 * rect[3]}, {0, -0.45 * rect[3]}}) {
        EXPECT_EQ(alpha_at(u, v), inverted ? 128 : 255) << "inside the box at (" << u << ", " << v << ")";
    }
    for (const auto& [u, v] : std::vector<std::pair<double, double>>{
             {0.55 * rect[2], 0}, {0, 0.55 * rect[3]}, {0, -0.55 * rect[3]}}) {
        EXPECT_EQ(alpha_at(u, v), inverted ? 255 : 128) << "outside the box at (" << u << ", " << v << ")";
    }
}

// "Mask: Vellora Shape", a blur and "Mask: Apply": Shotcut lists the mask
// variant by its own folder, its handles move the box under "filter.", and
// the saved project renders the blur inside the box only.
TEST_F(ShotcutXvfb, GuiMaskVariantLimitsABlurToTheBox) {
    // The clip's blue, with dark squares around the box that a blur changes.
    vimaging::Image still = vimaging::Image::Make(kProfileW, kProfileH, vimaging::SampleType::U8);
    for (int y = 0; y < kProfileH; ++y) {
        for (int x = 0; x < kProfileW; ++x) {
            const bool dark = x >= 140 && x < 500 && y >= 70 && y < 290 && (x / 6 + y / 6) % 2;
            uint8_t* p = &still.u8[(static_cast<size_t>(y) * kProfileW + x) * 4];
            p[0] = dark ? 0 : 48, p[1] = dark ? 20 : 128, p[2] = dark ? 60 : 192, p[3] = 255;
        }
    }
    vimaging::WriteImage(dir_.Path("still.png"), still);
    const std::string filters =
        Filter(0, "mask_start", "maskVellora",
               {{"filter", "vellora"}, {"filter.mask_type", "rectangle"}, {"filter.rect", Rect(kX, kY, kW, kH)}}) +
        "\n" + Filter(1, "avfilter.gblur", "blur_gaussian_av", {{"av.sigma", "4"}}) + "\n" +
        Filter(2, "mask_apply", "", {{"transition", "frei0r.composition"}});
    const std::string project = dir_.Path("project.mlt");
    std::ofstream(project) << Project("qimage", dir_.Path("still.png"), filters);
    StartShotcut(project);
    ASSERT_TRUE(WaitUntil(60, [&] { return Log().find("added filter \"Mask: Vellora Shape\"") != std::string::npos; }))
        << Log();

    const Box player = Player();
    ASSERT_FALSE(player.Empty());
    const double scale = (player.x1 - player.x0 + 1.0) / kProfileW;
    const auto sx = [&](double px) { return player.x0 + px * scale; };
    const auto sy = [&](double py) { return player.y0 + py * scale; };
    const Box handles = SelectFilter(player);
    ASSERT_FALSE(handles.Empty());
    EXPECT_NEAR((handles.x0 + handles.x1) / 2.0, sx(kX + kW / 2), 2);

    // Move the box by (64, 32) screen pixels, dragging inside it.
    const double cx = kX + kW / 2, cy = kY + kH / 2;
    Drag(sx(cx) + 20, sy(cy) + 15, sx(cx) + 84, sy(cy) + 47);
    const std::string saved = Save(project);
    ASSERT_FALSE(saved.empty());
    EXPECT_FALSE(std::regex_search(Log(), std::regex("Warning.*vellora(_mask)?/[a-z]+\\.(qml|js)"))) << Log();
    EXPECT_EQ(SavedProperty(saved, "filter", "mask_start"), "vellora");
    const std::vector<double> rect = Numbers(SavedProperty(saved, "filter.rect", "mask_start"));
    ASSERT_GE(rect.size(), 4u) << SavedProperty(saved, "filter.rect", "mask_start");
    const double tolerance = 1.5 / scale;
    EXPECT_NEAR(rect[0] + rect[2] / 2, cx + 64 / scale, tolerance) << "centre x";
    EXPECT_NEAR(rect[1] + rect[3] / 2, cy + 32 / scale, tolerance) << "centre y";
    EXPECT_NEAR(rect[2], kW, tolerance);
    // For a person: the Filters panel's stack beside the player, kept as shotcut_mask.png.
    Click(103, 708);
    ::sleep(2);
    x_->Screenshot(dir_.Path("mask.png"));
    EXPECT_TRUE(vtest::XvfbSession::Keep(dir_.Path("mask.png"), "shotcut_mask.png"));

    // melt renders the saved project: blurred inside the moved box, as the still outside it.
    const std::string frame = MeltFrame(project);
    ASSERT_EQ(frame.size(), static_cast<size_t>(kProfileW) * kProfileH * 4);
    int inside = 0, changed_inside = 0, outside = 0, changed_outside = 0;
    for (int y = 70; y < 290; ++y) {
        for (int x = 140; x < 500; ++x) {
            const size_t at = (static_cast<size_t>(y) * kProfileW + x) * 4;
            // Blurred, the squares change by tens of levels; the softened mask's
            // faint tail and the composite's rounding by 1.
            bool changed = false;
            for (size_t c = 0; c < 3; ++c) {
                changed = changed || std::abs(static_cast<uint8_t>(frame[at + c]) - still.u8[at + c]) > 2;
            }
            // A pixel's margin from the box's edge (negative outside). The blur
            // softens the mask's edge too, 3 sigma (12 pixels) either way.
            const double margin = std::min(std::min(x - rect[0], rect[0] + rect[2] - 1 - x),
                                            std::min(y - rect[1], rect[1] + rect[3] - 1 - y));
            if (margin >= 12) ++inside, changed_inside += changed;
            if (margin < -12) ++outside, changed_outside += changed;
        }
    }
    EXPECT_GT(changed_inside, inside * 3 / 4) << "the blur does not show inside the box";
    EXPECT_GT(outside, 10000);
    EXPECT_EQ(changed_outside, 0) << "the blur shows outside the box";
}

// A project whose values the filter refuses (it passes the frames through
// unmasked): the panel names them in red instead of showing a default. MLT
// scales all four of a box's numbers once one has "%", so a box mixing them
// is refused too. (A box with an empty field, "1 2,,3 4", Shotcut itself
// offers to repair, as it does any number with a comma.)
TEST_F(ShotcutXvfb, GuiPanelNamesAStoredValueTheFilterRefuses) {
    const std::string mixed = "0.1 0.1 25% 20%";
    const struct {
        std::string stored, screenshot;
        std::vector<std::pair<std::string, std::string>> values;
    } projects[] = {
        {">sinc<", "shotcut_refused.png", {{"falloff", "sinc"}, {"rect", Rect(kX, kY, kW, kH)}}},
        {mixed, "shotcut_refused_box.png", {{"rect", mixed}}},
    };
    for (const auto& [stored, screenshot, values] : projects) {
        SCOPED_TRACE(stored);
        const std::string project = dir_.Path("project.mlt");
        std::ofstream(project) << Project("color", "#803080c0", Filter(0, "vellora", "vellora", values));
        StartShotcut(project);
        ASSERT_TRUE(WaitUntil(60, [&] { return Log().find("added filter \"Mask: Vellora\"") != std::string::npos; }))
            << Log();
        const Box player = Player();
        ASSERT_FALSE(player.Empty());
        ASSERT_FALSE(SelectFilter(player).Empty());
        Click(103, 708);  // the Filters panel
        const auto is_red = [](const uint8_t* p) { return p[0] > 200 && p[1] < 60 && p[2] < 60; };
        Box notice;
        EXPECT_TRUE(WaitUntil(30, [&] {
            notice = Find(Shot(), Box{0, 80, player.x0 - 1, 999}, is_red);
            return !notice.Empty() && notice.x1 - notice.x0 > 100;
        })) << "no notice in the panel";
        EXPECT_TRUE(vtest::XvfbSession::Keep(dir_.Path("shot.png"), screenshot));
        // Nothing was rewritten: the stored value stays for the user to mend.
        shotcut_.reset();
        EXPECT_NE(vtest::FileText(project).find(stored), std::string::npos);
    }
}

}  // namespace

