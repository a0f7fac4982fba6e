// `vellora render` as a user runs it: a good render read back from disk, and
// bad input that must give one clear line, a non-zero exit and no file.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include <OpenImageIO/imageio.h>
#include <nlohmann/json.hpp>

#include "imaging/ImageIO.h"
#include "imaging/TestCard.h"
#include "tests/TestFiles.h"

namespace {

using vtest::CliRun;

class RenderCli : public ::testing::Test {
protected:
    // `vellora render`; its standard error is in `err`.
    CliRun Vellora(const std::string& args) { return vtest::RunCli("render " + args, false); }
    std::vector<std::string> Files() const { return dir_.Names(); }
    std::string Path(const std::string& name) const { return dir_.Path(name); }

    // One short line naming `needle`, non-zero exit, nothing left behind.
    void ExpectRefused(const std::string& args, const std::string& needle) {
        SCOPED_TRACE(args);
        const auto before = Files();
        const CliRun run = Vellora(args);
        EXPECT_NE(run.status, 0);
        EXPECT_TRUE(vtest::OneLineNaming(run.err, needle));
        EXPECT_LT(run.err.size(), 400u);
        EXPECT_EQ(Files(), before);
    }
    // `--params` of a file holding `text`.
    std::string ParamsFile(const std::string& name, const std::string& text) {
        std::ofstream(Path(name)) << text;
        return "testcard:8x8 '" + Path("out.png") + "' --params '" + Path(name) + "'";
    }

    vtest::TempDir dir_;
};

TEST_F(RenderCli, RendersTheTestCardWithStraightAlpha) {
    const std::string out = Path("card.png");
    const CliRun run = Vellora("testcard:200x100 '" + out + "' --width 80 --height 40 --feather 10 --falloff gaussian -q");
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.err, "");
    const vimaging::Image image = vimaging::ReadImage(out);
    ASSERT_EQ(image.width, 200);
    ASSERT_EQ(image.height, 100);
    EXPECT_EQ(image.type, vimaging::SampleType::U8);
    const auto alpha = [&](int x, int y) { return image.u8[(static_cast<size_t>(y) * 200 + x) * 4 + 3]; };
    EXPECT_EQ(alpha(100, 50), 255);  // Create mode: the core is opaque
    EXPECT_EQ(alpha(5, 5), 0);
    EXPECT_GT(alpha(100 + 36, 50), 0);  // in the feather band
    EXPECT_LT(alpha(100 + 36, 50), 255);
    // Every pixel keeps the card's colour whatever its alpha, band pixels
    // included: nothing was premultiplied on the way in or out.
    const vimaging::Image card =
        vimaging::WorldToImage(vimaging::ImageToWorld(vimaging::MakeTestCard(200, 100), vhost::PixelLayout::ARGB8));
    int partial = 0, recoloured = 0;
    for (size_t i = 0; i < image.u8.size(); i += 4) {
        partial += image.u8[i + 3] > 0 && image.u8[i + 3] < 255;
        recoloured += !std::equal(&image.u8[i], &image.u8[i + 3], &card.u8[i]);
    }
    EXPECT_GT(partial, 500);
    EXPECT_EQ(recoloured, 0);
    EXPECT_EQ(Files(), std::vector<std::string>{"card.png"});
}

// Bad files, values, empty values (never taken as the default) and numbers
// other than plain decimals.
TEST_F(RenderCli, BadInputGivesOneClearLineAndNoFile) {
    const std::string out = "'" + Path("out.png") + "'";
    std::ofstream(Path("junk.png")) << "not an image";
    const std::pair<std::string, std::string> cases[] = {
        {"'" + Path("missing.png") + "' " + out, "missing.png"},
        {"'" + Path("junk.png") + "' " + out, "junk.png"},
        {"'' " + out, "INPUT"},
        {"testcard:32x32 " + out + " --mask blob", "--mask"},
        {"testcard:32x32 " + out + " --host nuke", "--host: unknown host 'nuke'"},
        {"testcard:32x32 " + out + " --width abc", "--width"},
        {"testcard:32x32 " + out + " --opacity 150", "--opacity"},
        {"testcard:32x32 " + out + " --depth float", "--depth float"},
        {"testcard:32x32 " + out + " --host premiere --depth float", "float"},
        {"testcard:32x32 '" + Path("out.exr") + "' --depth 16", "16-bit"},
        {"testcard:32x32 '" + Path("out.jpg") + "'", "alpha"},
        {"testcard:32x32 '" + Path("no/such/dir/out.png") + "'", "out.png"},
        {"testcard:32x32 " + out + " --params '" + Path("none.json") + "'", "none.json"},
    };
    for (const auto& c : cases) ExpectRefused(c.first, c.second);
    const auto named = [](const std::string& option) { return option.substr(0, option.find(' ')); };
    for (const char* empty : {"--width ''", "--feather ''", "--origin ''", "--mask ''", "--params ''", "--module ''",
                              "--depth ' '", "--threads ''"}) {
        ExpectRefused("testcard:8x8 " + out + " " + empty, named(empty) + ":");
    }
    for (const char* bad : {"--width 0x10", "--width inf", "--opacity nan", "--feather 1e400", "--angle 1,5",
                            "--threads 0x2", "--downsample 2.0", "--origin 0x1,2"}) {
        ExpectRefused("testcard:8x8 " + out + " " + bad, named(bad));
    }
}

// The same value however spaced; a number too small for a double is 0.
TEST_F(RenderCli, NumbersAreDecimalWhateverTheSpacesAround) {
    const auto render = [&](const std::string& name, const std::string& options) {
        const CliRun run = Vellora("testcard:64x32 '" + Path(name) + "' -q " + options);
        EXPECT_EQ(run.status, 0) << options << ": " << run.err;
        return vimaging::ReadImage(Path(name)).u8;
    };
    const auto plain = render("plain.png", "--width 40 --feather 0 --origin 20,10");
    EXPECT_EQ(render("leading.png", "--width ' 40' --feather 1e-400 --origin ' 20, 10'"), plain);
    EXPECT_EQ(render("trailing.png", "--width '40 ' --feather '0 ' --origin '20 ,10 '"), plain);
}

// Strict JSON, and hostile files fail in one short line instead of crashing or
// echoing megabytes.
TEST_F(RenderCli, ParamsFilesAreStrictJson) {
    ExpectRefused(ParamsFile("trailing.json", R"({"width": 20} {"width": 30})"), "not valid JSON");
    ExpectRefused(ParamsFile("twice.json", R"({"width": 20, "height": 10, "width": 30})"), "'width' is given twice");
    ExpectRefused("testcard:8x8 '" + Path("out.png") + "' --params '" + dir_.Dir() + "'", "Is a directory");
    ExpectRefused(ParamsFile("deep.json", "{\"width\": " + std::string(100000, '[') + std::string(100000, ']') + "}"),
                  "nests arrays or objects more than 16 deep");
    ExpectRefused(ParamsFile("open.json", std::string(100000, '[')), "nests arrays or objects more than 16 deep");
    ExpectRefused(ParamsFile("huge.json", "{\"width\": \"" + std::string(5 << 20, 'x') + "\"}"),
                  "more than 1048576 bytes");
    ExpectRefused(ParamsFile("long.json", "{\"width\": \"" + std::string(100000, 'x') + "\"}"),
                  "'width': \"" + std::string(39, 'x') + "... (100002 characters) is not a number");
    ExpectRefused(ParamsFile("token.json", "{\"width\": " + std::string(100000, 'x') + "}"), "not valid JSON");
    // Brackets inside strings are not nesting.
    ExpectRefused(ParamsFile("quoted.json", "{\"mask_type\": \"" + std::string(100, '[') + "\"}"), "mask type");
    ASSERT_EQ(Vellora(ParamsFile("fine.json", "{\"width\": 20}\n\n") + " -q").status, 0);
}

TEST_F(RenderCli, ParamsAreReadFromAPipe) {
    std::ofstream(Path("p.json")) << R"({"mask_type": "rectangle", "width": 20, "height": 10})";
    ASSERT_EQ(Vellora("testcard:64x64 '" + Path("file.png") + "' -q --params '" + Path("p.json") + "'").status, 0);
    const CliRun piped = vtest::RunShell("bash -c \"'" VELLORA_CLI_PATH "' render testcard:64x64 '" + Path("pipe.png") +
                                         "' -q --params <(cat '" + Path("p.json") + "')\"");
    ASSERT_EQ(piped.status, 0) << piped.out;
    ASSERT_EQ(vtest::RunCli("render testcard:64x64 '" + Path("stdin.png") + "' -q --params /dev/stdin < '" +
                            Path("p.json") + "'").status, 0);
    EXPECT_EQ(vimaging::ReadImage(Path("pipe.png")).u8, vimaging::ReadImage(Path("file.png")).u8);
    EXPECT_EQ(vimaging::ReadImage(Path("stdin.png")).u8, vimaging::ReadImage(Path("file.png")).u8);
    // The values were taken: the default ellipse looks different.
    ASSERT_EQ(Vellora("testcard:64x64 '" + Path("plain.png") + "' -q").status, 0);
    EXPECT_NE(vimaging::ReadImage(Path("plain.png")).u8, vimaging::ReadImage(Path("file.png")).u8);
}

// Every numeric key of a parameters file, just outside each end of its range
// (refused, naming the value as written) and at each end (accepted).
TEST_F(RenderCli, EveryNumericKeyOfAParamsFileKeepsToItsRange) {
    struct Range {
        const char* key;
        const char* below;
        const char* low;
        const char* high;
        const char* above;
    };
    const Range ranges[] = {
        {"width", "-0.001", "0", "15000", "15000.001"},
        {"height", "-0.001", "0", "15000", "15000.001"},
        {"feather", "-0.001", "0", "15000", "15000.001"},
        {"angle", "-32767.001", "-32767", "32767", "32767.001"},
        {"opacity", "-1e-07", "0", "100", "100.0000001"},
    };
    int n = 0;
    const auto write = [&](const std::string& text) {
        const std::string name = "p" + std::to_string(n++) + ".json";
        std::ofstream(Path(name)) << text;
        return "testcard:16x16 '" + Path("out.png") + "' -q --params '" + Path(name) + "'";
    };
    for (const Range& r : ranges) {
        for (const char* bad : {r.below, r.above}) {
            ExpectRefused(write(std::string("{\"") + r.key + "\": " + bad + "}"),
                          std::string("'") + r.key + "': " + bad + " is out of range");
        }
        for (const char* good : {r.low, r.high}) {
            EXPECT_EQ(Vellora(write(std::string("{\"") + r.key + "\": " + good + "}")).status, 0) << r.key << good;
        }
    }
    for (const char* origin : {"[-32767.001, 0]", "[0, 32767.001]"}) {
        ExpectRefused(write(std::string("{\"origin\": ") + origin + "}"), "'origin'");
    }
    ASSERT_EQ(std::remove(Path("out.png").c_str()), 0);
}

// Each option of the effect, the negative form of the flag included, once:
// over a parameters file it gives exactly what the file with that value gives.
TEST_F(RenderCli, EachOptionWinsOverTheParamsFileAsIfTheFileSaidIt) {
    const nlohmann::json base = {{"mask_type", "rectangle"}, {"composite_mode", "intersect"}, {"origin", {20, 18}},
                                 {"width", 30},              {"height", 20},                 {"feather", 6},
                                 {"angle", 10},              {"opacity", 80},                {"invert", true},
                                 {"falloff", "cubic"}};
    int n = 0;
    const auto render = [&](const nlohmann::json& params, const std::string& options) {
        const std::string name = "r" + std::to_string(n++);
        std::ofstream(Path(name + ".json")) << params.dump();
        const CliRun run = Vellora("testcard:64x48 '" + Path(name + ".png") + "' -q --params '" + Path(name + ".json") +
                                   "' " + options);
        EXPECT_EQ(run.status, 0) << options << ": " << run.err;
        return vimaging::ReadImage(Path(name + ".png")).u8;
    };
    const auto from_file = render(base, "");
    const struct {
        const char* option;
        const char* key;
        nlohmann::json value;
    } cases[] = {
        {"--mask ellipse", "mask_type", "ellipse"}, {"--mode add", "composite_mode", "add"},
        {"--origin 40,30", "origin", {40, 30}},     {"--width 50", "width", 50},
        {"--height 44", "height", 44},              {"--feather 12", "feather", 12},
        {"--angle 45", "angle", 45},                {"--opacity 60", "opacity", 60},
        {"--no-invert", "invert", false},           {"--falloff gaussian", "falloff", "gaussian"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.option);
        nlohmann::json said = base;
        said[c.key] = c.value;
        const auto over = render(base, c.option);
        EXPECT_EQ(over, render(said, ""));
        EXPECT_NE(over, from_file) << "the option changed nothing";
    }
    nlohmann::json plain = base;
    plain["invert"] = false;
    EXPECT_EQ(render(plain, "--invert"), from_file);
}

// --par NUM/DEN: both numbers count, and which is which.
TEST_F(RenderCli, PixelAspectTakesNumeratorAndDenominator) {
    const auto render = [&](const std::string& par) {
        std::string name = "par" + par + ".png";
        std::replace(name.begin(), name.end(), '/', '-');
        const std::string out = Path(name);
        const CliRun run = Vellora("testcard:64x48 '" + out + "' -q --feather 10 --width 30 --height 30 --par " + par);
        EXPECT_EQ(run.status, 0) << par << ": " << run.err;
        return vimaging::ReadImage(out).u8;
    };
    const auto square = render("1/1"), wide = render("2/1"), narrow = render("1/2");
    EXPECT_NE(wide, square);
    EXPECT_NE(narrow, square);
    EXPECT_NE(wide, narrow);
    EXPECT_EQ(render("3/3"), square);

    // Which is which: the overlay's ellipse, 200 wide on screen, starts at its
    // right end, 100 / par layer pixels right of the centre (160, 120).
    for (const auto& [par, right] : {std::make_pair("2/1", 210.0), std::make_pair("1/2", 360.0),
                                     std::make_pair("1/1", 260.0)}) {
        const std::string trace = Path("trace.json");
        const vtest::CliRun run = vtest::RunCli(std::string("overlay testcard:320x240 '") + Path("o.png") +
                                         "' -q --width 200 --height 100 --par " + par + " --trace '" + trace + "'");
        ASSERT_EQ(run.status, 0) << run.out;
        const nlohmann::json strokes = nlohmann::json::parse(vtest::FileText(trace))["strokes"];
        EXPECT_EQ(strokes[0]["path"][0], nlohmann::json({"move", right, 120.0})) << par;
    }
}

// At 1/3 resolution a point's 16.16 value is divided by 3 and rounded to the
// nearest step: 40 + 1/65536 px lands on the step 40 + 2/65536 px lands on
// exactly, not on 40's (where truncation would put it). Float frames show a
// step's difference.
TEST_F(RenderCli, APointUnderReducedResolutionIsRoundedToTheNearestStep) {
    const auto render = [&](const std::string& x) {
        const std::string out = Path("at" + x + ".tif");
        const CliRun run = Vellora("testcard:96x64 '" + out + "' -q --host premiere --depth float --downsample 3 " +
                                   "--feather 20 --width 40 --height 30 --origin " + x + ",30");
        EXPECT_EQ(run.status, 0) << x << ": " << run.err;
        return vimaging::ReadImage(out).f32;
    };
    const auto one_step = render("40.0000152587890625"), two_steps = render("40.000030517578125");
    EXPECT_TRUE(one_step == two_steps) << "1/65536 px over 40, divided by 3, rounds to the step 2/65536 px gives";
    EXPECT_FALSE(one_step == render("40")) << "a step's difference does not show";
}

// Without --depth the frame follows the input where the host can; a lossy
// conversion, asked for or forced by the host, says so in one line.
TEST_F(RenderCli, DepthFollowsTheInputAndNarrowingSaysSo) {
    OIIO::ImageSpec spec(4, 2, 4, OIIO::TypeDesc::FLOAT);
    spec.alpha_channel = 3;
    const std::vector<float> rgba = {1.75f, -0.5f, 0.25f, 1.0f, 0.5f, 0.5f, 0.5f, 1.0f, 0.2f, 0.3f, 0.4f, 1.0f,
                                     0.0f,  1.0f,  2.0f,  1.0f, 0.1f, 0.1f, 0.1f, 1.0f, 0.9f, 0.9f, 0.9f, 1.0f,
                                     0.3f,  0.3f,  0.3f,  1.0f, 0.6f, 0.6f, 0.6f, 1.0f};
    ASSERT_TRUE(vtest::WriteFile(Path("deep.exr"), spec, rgba));
    const CliRun ae = Vellora("'" + Path("deep.exr") + "' '" + Path("ae.exr") + "' " + vtest::kIdentity);
    ASSERT_EQ(ae.status, 0) << ae.err;
    EXPECT_TRUE(vtest::OneLineNaming(ae.err, "clamped")) << ae.err;
    const vtest::FilePixels clamped = vtest::ReadFile(Path("ae.exr"));
    EXPECT_EQ(clamped.spec.format, OIIO::TypeDesc::FLOAT);
    EXPECT_EQ(clamped.data[0], 1.0f);
    EXPECT_EQ(clamped.data[1], 0.0f);

    const CliRun premiere = Vellora("'" + Path("deep.exr") + "' '" + Path("pr.exr") + "' --host premiere " + vtest::kIdentity);
    ASSERT_EQ(premiere.status, 0) << premiere.err;
    EXPECT_EQ(premiere.err, "");
    EXPECT_EQ(vtest::ReadFile(Path("pr.exr")).data, vtest::ReadFile(Path("deep.exr")).data);

    OIIO::ImageSpec deep16(4, 2, 4, OIIO::TypeDesc::UINT16);
    deep16.alpha_channel = 3;
    deep16.attribute("oiio:UnassociatedAlpha", 1);
    ASSERT_TRUE(vtest::WriteFile(Path("deep.png"), deep16, vtest::Noise(32, 3, 0, 1, 65536)));
    const CliRun narrow = Vellora("'" + Path("deep.png") + "' '" + Path("narrow.png") + "' --depth 8 " + vtest::kIdentity);
    ASSERT_EQ(narrow.status, 0) << narrow.err;
    EXPECT_TRUE(vtest::OneLineNaming(narrow.err, "rounded to 8 bits")) << narrow.err;
    EXPECT_EQ(vtest::ReadFile(Path("narrow.png")).spec.format, OIIO::TypeDesc::UINT8);
}

}  // namespace
