// `vellora info` as a user runs it, and the mistakes any sub-command answers.
#include <algorithm>
#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

#include "tests/TestFiles.h"

namespace {

using vtest::CliRun;
using vtest::RunCli;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(InfoCommand, InfoShowsWhatAHostLearns) {
    const CliRun ae = RunCli("info");
    ASSERT_EQ(ae.status, 0) << ae.out;
    EXPECT_EQ(ae.out.rfind("Vellora v1.0\nVellora plugin for Adobe Premiere.\n", 0), 0u) << ae.out;
    EXPECT_TRUE(Has(ae.out, "0x80001")) << ae.out;
    EXPECT_TRUE(Has(ae.out, "PIX_INDEPENDENT CUSTOM_UI DEEP_COLOR_AWARE SEND_UPDATE_PARAMS_UI")) << ae.out;
    EXPECT_FALSE(Has(ae.out, "Pixel formats")) << ae.out;
    EXPECT_TRUE(Has(ae.out, "Invert mask")) << ae.out;
    EXPECT_TRUE(Has(ae.out, "Ellipse | Rectangle\n")) << ae.out;
    // Index order, not id order.
    EXPECT_LT(ae.out.find("Mask Type"), ae.out.find("Composite mode"));
    EXPECT_LT(ae.out.find("Composite mode"), ae.out.find("Point of origin"));
    EXPECT_LT(ae.out.find("Invert"), ae.out.find("Alpha falloff"));

    const CliRun pr = RunCli("info --host premiere");
    ASSERT_EQ(pr.status, 0) << pr.out;
    EXPECT_TRUE(Has(pr.out, "BGRA_4444_32f ('BGra'), BGRA_4444_8u ('bgra')")) << pr.out;
}

TEST(InfoCommand, InfoJson) {
    const CliRun run = RunCli("info --json --host premiere");
    ASSERT_EQ(run.status, 0) << run.out;
    const auto j = nlohmann::json::parse(run.out);
    EXPECT_EQ(j["about"], "Vellora v1.0\rVellora plugin for Adobe Premiere.");
    EXPECT_EQ(j["version"]["packed"], 0x80001);
    EXPECT_EQ(j["out_flags"]["value"], 0x6008400);
    ASSERT_EQ(j["pixel_formats"].size(), 2u);
    EXPECT_EQ(j["pixel_formats"][0]["fourcc"], "BGra");
    ASSERT_EQ(j["params"].size(), 11u);
    const auto& mask = j["params"][1];
    EXPECT_EQ(mask["id"], 2);
    EXPECT_EQ(mask["choices"], nlohmann::json({"Ellipse", "Rectangle"}));
    EXPECT_EQ(mask["animatable"], false);
    const auto& opacity = j["params"][8];
    EXPECT_EQ(opacity["name"], "Opacity");
    EXPECT_DOUBLE_EQ(opacity["default"].get<double>(), 100.0);
    EXPECT_EQ(opacity["unit"], "percent");
    EXPECT_EQ(j["params"][9]["text"], "Invert mask");
    EXPECT_EQ(j["params"][10]["choices"].size(), 6u);
}

TEST(InfoCommand, InfoErrorsNameTheCulprit) {
    const CliRun bad_host = RunCli("info --host maya");
    EXPECT_NE(bad_host.status, 0);
    EXPECT_TRUE(Has(bad_host.out, "'maya'")) << bad_host.out;

    const CliRun missing = RunCli("info --module /no/such/Vellora.so");
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(Has(missing.out, "/no/such/Vellora.so")) << missing.out;
    EXPECT_EQ(missing.out.rfind("vellora: ", 0), 0u) << missing.out;
}

// Mistakes on the command line get one line that says what would be right.
TEST(InfoCommand, CommandLineMistakesSayWhatIsExpected) {
    const CliRun unknown = RunCli("rendr testcard: out.png");
    EXPECT_NE(unknown.status, 0);
    EXPECT_EQ(unknown.out, "vellora: unknown sub-command 'rendr' (expected info, render, overlay, drag, validate or view)\n");

    const CliRun empty_module = RunCli("info --module ''");
    EXPECT_NE(empty_module.status, 0);
    EXPECT_EQ(empty_module.out.rfind("vellora: --module", 0), 0u) << empty_module.out;

    for (const char* seed : {"-1", "18446744073709551616", "12abc", "''"}) {
        const CliRun run = RunCli(std::string("validate --list --seed ") + seed);
        EXPECT_NE(run.status, 0) << seed;
        EXPECT_EQ(run.out.rfind("vellora: --seed", 0), 0u) << run.out;
        EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 1) << run.out;
    }
    EXPECT_EQ(RunCli("validate --list --seed 18446744073709551615").status, 0);

    const CliRun help = RunCli("render --help");
    EXPECT_TRUE(Has(help.out, "$VELLORA_MODULE")) << help.out;
    EXPECT_TRUE(Has(help.out, "(1 to 64)")) << help.out;
    EXPECT_TRUE(Has(help.out, "0 to 256")) << help.out;
}

// Mistakes a user makes, each answered in one line that says what to do.
TEST(InfoCommand, EveryMistakeGetsOneLineSayingWhatToDo) {
    vtest::TempDir dir;
    const std::string in_dir = vtest::InFolder(dir.Dir());
    const auto one_line = [&](const std::string& args, const std::string& part) {
        SCOPED_TRACE(args);
        const CliRun run = RunCli(args, true, in_dir);
        EXPECT_EQ(run.status, 1) << run.out;
        EXPECT_TRUE(vtest::OneLineNaming(run.out, part));
    };
    one_line("render testcard:8x8 -out.png", "put names that start with - after --");
    one_line("render testcard:8x8 .png", "'.png': the name is only an extension");
    one_line("render testcard:8x8 o.png --width 3 --width 4", "--width is given 2 times; give it once");
    one_line("overlay testcard:8x8 o.png --zoom 1/65", "--zoom 1/65 is out of range (1/64 to 64)");
    EXPECT_EQ(dir.Names(), std::vector<std::string>());

    // What the hints say works.
    EXPECT_EQ(RunCli("render testcard:8x8 -q -- -out.png", true, in_dir).status, 0);
    EXPECT_EQ(RunCli("overlay testcard:8x8 o.png -q --zoom 1/64", true, in_dir).status, 0);
    EXPECT_EQ(vtest::ReadFile(dir.Path("o.png")).spec.width, 1);  // 8 pixels at 1/64, and a pixel at least
    EXPECT_EQ(dir.Names(), std::vector<std::string>({"-out.png", "o.png"}));

    // A PNG with its image data garbled is corrupt, not truncated.
    const OIIO::ImageSpec spec(64, 64, 4, OIIO::TypeDesc::UINT8);
    ASSERT_TRUE(vtest::WriteFile(dir.Path("in.png"), spec, vtest::Noise(64 * 64 * 4, 3)));
    std::FILE* file = std::fopen(dir.Path("in.png").c_str(), "r+b");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fseek(file, 2000, SEEK_SET), 0);
    for (int i = 0; i < 400; ++i) std::fputc(0x55 ^ i, file);
    ASSERT_EQ(std::fclose(file), 0);
    one_line("render in.png out.png", "'in.png': the file is corrupt (");
}

}  // namespace
