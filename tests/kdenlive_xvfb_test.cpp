// Kdenlive under Xvfb with a fresh home, finding the built descriptor through
// XDG_DATA_DIRS and the built module through MLT_REPOSITORY, opening a project
// that keys the filter. Its log must show the descriptor read whole, no
// complaint about it or the filter, and the project's filter set up.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <regex>
#include <string>

#include "tests/Xvfb.h"

namespace {

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

TEST(KdenliveXvfb, LoadsTheDescriptorAndAProjectUsingTheFilterWithoutComplaint) {
#ifdef VELLORA_SANITIZED
    GTEST_SKIP() << "Kdenlive cannot load a sanitizer's build of the module; the melt tests cover it";
#endif
    for (const char* program : {"kdenlive", "Xvfb", "dbus-run-session", "ffmpeg", "xdotool"}) {
        if (vtest::RunShell(std::string("command -v ") + program).status != 0) {
            FAIL() << program << " is not installed (scripts/install-deps.sh installs it)";
        }
    }
    vtest::TempDir dir;
    ASSERT_EQ(vtest::RunShell("cd '" + dir.Dir() + "' && mkdir -p share/kdenlive/effects home run && chmod 700 run && "
                              "cp '" VELLORA_KDENLIVE_XML "' share/kdenlive/effects/ && ffmpeg -v error -f lavfi "
                              "-i testsrc2=s=320x240 -frames:v 1 -pix_fmt rgba still.png").status, 0);
    std::string project = vtest::FileText(VELLORA_TEST_DATA "/editors/keyed.kdenlive");
    project = std::regex_replace(project, std::regex("@ROOT@"), dir.Dir());
    project = std::regex_replace(project, std::regex("@MASK@"), "ellipse");
    std::ofstream(dir.Path("keyed.kdenlive")) << project;
    vtest::XvfbSession x(1600, 1000);
    ASSERT_FALSE(x.Display().empty()) << "Xvfb did not start";
    const std::string home = dir.Path("home");
    vtest::Process kdenlive(
        "cd '" + dir.Dir() + "' && HOME='" + home + "' XDG_CONFIG_HOME='" + home + "/.config' XDG_DATA_HOME='" +
        home + "/.local/share' XDG_CACHE_HOME='" + home + "/.cache' XDG_RUNTIME_DIR='" + dir.Path("run") +
        "' XDG_DATA_DIRS='" + dir.Path("share") + ":/usr/share' MLT_REPOSITORY='" VELLORA_MLT_REPOSITORY
        "' MLT_DATA='" VELLORA_MLT_DATA "' QT_LOGGING_RULES='*.debug=true' " + x.Env() +
        "exec dbus-run-session kdenlive keyed.kdenlive >kdenlive.log 2>&1");
    // Kdenlive logs each effect it has read; once ours is, the window is left
    // to draw the project and then photographed, then the clip on the timeline
    // clicked (its effects and the box's handles) and photographed again.
    const auto log = [&] { return vtest::FileText(dir.Path("kdenlive.log")); };
    vtest::WaitUntil(40, [&] { return log().find("END parsing of  \"vellora\"") != std::string::npos; });
    ::sleep(6);
    x.Screenshot(dir.Path("kdenlive.png"));
    x.Xdo("mousemove 182 551 click 1");
    ::sleep(3);
    x.Screenshot(dir.Path("kdenlive_effect.png"));
    ASSERT_FALSE(log().empty());

    const std::string xml = vtest::FileText(VELLORA_KDENLIVE_XML);
    const int declared = Count(xml, "<parameter ");
    EXPECT_NE(log().find("XML parsing of  \"vellora\" . found " + std::to_string(declared) + " parameters"),
              std::string::npos)
        << "Kdenlive did not read the descriptor's " << declared << " parameters";
    EXPECT_EQ(log().find("plugin not available: \"vellora\""), std::string::npos) << "Kdenlive found no MLT filter";
    const std::regex refused("Failed to parse[^\\n]*vellora|vellora[^\\n]*(Failed to parse|not available)");
    EXPECT_FALSE(std::regex_search(log(), refused)) << "Kdenlive refused the descriptor";
    // The project's keyed properties reach the filter as written.
    for (const char* name : {"rect", "angle", "feather", "opacity", "mask_type"}) {
        EXPECT_NE(log().find(std::string("\"vellora\" : Setting parameter  \"") + name + "\""), std::string::npos)
            << name;
    }
    EXPECT_EQ(log().find("passes through unchanged"), std::string::npos) << "the filter refused a value Kdenlive set";
    // Kept for a person to look at; the folder goes with the test.
    for (const char* name : {"kdenlive.png", "kdenlive_effect.png"}) {
        EXPECT_TRUE(vtest::XvfbSession::Keep(dir.Path(name), name)) << "no screenshot " << name;
    }
}

}  // namespace
