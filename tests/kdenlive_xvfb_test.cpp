// Kdenlive under Xvfb with a fresh home, finding the built descriptors through
// XDG_DATA_DIRS and the built module through MLT_REPOSITORY, opening a project
// that keys the filter, or its mask variant before a blur and Mask Apply. Its
// log must show the descriptor read whole, no complaint about it or the
// filter, and the project's filter set up.
#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <memory>
#include <regex>
#include <string>

#include "tests/Xvfb.h"

namespace {

int Count(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// Kdenlive on its own X server, with a fresh home, the built descriptors and
// module, opening the keyed project with `filters` in place of its filter.
class KdenliveXvfb : public ::testing::Test {
protected:
    void SetUp() override {
#ifdef VELLORA_SANITIZED
        GTEST_SKIP() << "Kdenlive cannot load a sanitizer's build of the module; the melt tests cover it";
#endif
        for (const char* program : {"kdenlive", "Xvfb", "dbus-run-session", "ffmpeg", "xdotool"}) {
            if (vtest::RunShell(std::string("command -v ") + program).status != 0) {
                FAIL() << program << " is not installed (scripts/install-deps.sh installs it)";
            }
        }
        ASSERT_EQ(vtest::RunShell("cd '" + dir_.Dir() + "' && mkdir -p share/kdenlive/effects home run && chmod 700 run && "
                                  "cp '" VELLORA_KDENLIVE_XML "' '" VELLORA_KDENLIVE_MASK_XML "' share/kdenlive/effects/ && "
                                  "ffmpeg -v error -f lavfi -i testsrc2=s=320x240 -frames:v 1 -pix_fmt rgba still.png")
                      .status,
                  0);
    }

    // Opens the project; returns once Kdenlive has read `effect`'s descriptor
    // and had time to draw, or 40 s have passed.
    void Start(const std::string& filters, const std::string& effect) {
        std::string project = vtest::FileText(VELLORA_TEST_DATA "/editors/keyed.kdenlive");
        project = std::regex_replace(project, std::regex("@ROOT@"), dir_.Dir());
        project = std::regex_replace(project, std::regex("@MASK@"), "ellipse");
        if (!filters.empty()) {
            project = std::regex_replace(project, std::regex("<filter id=\"filter0\">[^]*?</filter>"), filters);
        }
        std::ofstream(dir_.Path("keyed.kdenlive")) << project;
        x_ = std::make_unique<vtest::XvfbSession>(1600, 1000);
        ASSERT_FALSE(x_->Display().empty()) << "Xvfb did not start";
        const std::string home = dir_.Path("home");
        kdenlive_ = std::make_unique<vtest::Process>(
            "cd '" + dir_.Dir() + "' && HOME='" + home + "' XDG_CONFIG_HOME='" + home + "/.config' XDG_DATA_HOME='" +
            home + "/.local/share' XDG_CACHE_HOME='" + home + "/.cache' XDG_RUNTIME_DIR='" + dir_.Path("run") +
            "' XDG_DATA_DIRS='" + dir_.Path("share") + ":/usr/share' MLT_REPOSITORY='" VELLORA_MLT_REPOSITORY
            "' MLT_DATA='" VELLORA_MLT_DATA "' QT_LOGGING_RULES='*.debug=true' " + x_->Env() +
            "exec dbus-run-session kdenlive keyed.kdenlive >kdenlive.log 2>&1");
        // Kdenlive logs each effect it has read; once ours is, the window is left to draw the project.
        vtest::WaitUntil(40, [&] { return Log().find("END parsing of  \"" + effect + "\"") != std::string::npos; });
        ::sleep(6);
    }

    std::string Log() const { return vtest::FileText(dir_.Path("kdenlive.log")); }

    // The screen, kept under `name` for a person to look at.
    void Photograph(const std::string& name) {
        x_->Screenshot(dir_.Path(name));
        EXPECT_TRUE(vtest::XvfbSession::Keep(dir_.Path(name), name)) << "no screenshot " << name;
    }

    // Kdenlive read `xml` whole as `effect`, and its MLT filter exists.
    void ExpectDescriptorRead(const std::string& xml, const std::string& effect) {
        const int declared = Count(xml, "<parameter ");
        EXPECT_NE(Log().find("XML parsing of  \"" + effect + "\" . found " + std::to_string(declared) + " parameters"),
                  std::string::npos)
            << "Kdenlive did not read the descriptor's " << declared << " parameters";
        EXPECT_EQ(Log().find("plugin not available: \"vellora\""), std::string::npos) << "Kdenlive found no MLT filter";
        const std::regex refused("Failed to parse[^\\n]*vellora|vellora[^\\n]*(Failed to parse|not available)");
        EXPECT_FALSE(std::regex_search(Log(), refused)) << "Kdenlive refused the descriptor";
        EXPECT_EQ(Log().find("passes through unchanged"), std::string::npos) << "the filter refused a value Kdenlive set";
    }

    vtest::TempDir dir_;
    std::unique_ptr<vtest::XvfbSession> x_;
    std::unique_ptr<vtest::Process> kdenlive_;
};

TEST_F(KdenliveXvfb, LoadsTheDescriptorAndAProjectUsingTheFilterWithoutComplaint) {
    Start("", "vellora");
    Photograph("kdenlive.png");
    // The clip on the timeline: its effects and the box's handles.
    x_->Xdo("mousemove 182 551 click 1");
    ::sleep(3);
    Photograph("kdenlive_effect.png");
    ASSERT_FALSE(Log().empty());
    ExpectDescriptorRead(vtest::FileText(VELLORA_KDENLIVE_XML), "vellora");
    // The project's keyed properties reach the filter as written.
    for (const char* name : {"rect", "angle", "feather", "opacity", "mask_type"}) {
        EXPECT_NE(Log().find(std::string("\"vellora\" : Setting parameter  \"") + name + "\""), std::string::npos)
            << name;
    }
}

// The mask variant, a blur and Kdenlive's "Mask Apply", as a user stacks them.
TEST_F(KdenliveXvfb, LoadsTheMaskVariantBeforeABlurAndMaskApply) {
    Start(R"(<filter id="filter0">
    <property name="mlt_service">mask_start</property>
    <property name="kdenlive_id">mask_start-vellora</property>
    <property name="filter">vellora</property>
    <property name="filter.mask_type">rectangle</property>
    <property name="filter.rect">00:00:00.000=60 50 200 140 1;00:00:01.920=100 60 200 140 1</property>
    <property name="filter.feather">12</property>
   </filter>
   <filter id="filter1">
    <property name="mlt_service">avfilter.gblur</property>
    <property name="kdenlive_id">avfilter.gblur</property>
    <property name="av.sigma">6</property>
   </filter>
   <filter id="filter2">
    <property name="mlt_service">mask_apply</property>
    <property name="kdenlive_id">mask_apply</property>
   </filter>)",
          "mask_start-vellora");
    x_->Xdo("mousemove 182 551 click 1");
    ::sleep(3);
    Photograph("kdenlive_mask.png");
    ASSERT_FALSE(Log().empty());
    ExpectDescriptorRead(vtest::FileText(VELLORA_KDENLIVE_MASK_XML), "mask_start-vellora");
    for (const char* name : {"filter.rect", "filter.mask_type", "filter.feather"}) {
        EXPECT_NE(Log().find(std::string("Setting parameter  \"") + name + "\""), std::string::npos) << name;
    }
}

}  // namespace
