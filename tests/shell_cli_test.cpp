// `vellora info` as a user runs it.
#include <algorithm>
#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

#include "TestSupport.h"

namespace {

using vtest::CliRun;
using vtest::RunCli;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ShellCli, InfoShowsWhatAHostLearns) {
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

TEST(ShellCli, InfoJson) {
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

TEST(ShellCli, InfoErrorsNameTheCulprit) {
    const CliRun bad_host = RunCli("info --host maya");
    EXPECT_NE(bad_host.status, 0);
    EXPECT_TRUE(Has(bad_host.out, "'maya'")) << bad_host.out;

    const CliRun missing = RunCli("info --module /no/such/Vellora.so");
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(Has(missing.out, "/no/such/Vellora.so")) << missing.out;
    EXPECT_EQ(missing.out.rfind("vellora: ", 0), 0u) << missing.out;
}

// Mistakes on the command line get one line that says what would be right.
TEST(ShellCli, CommandLineMistakesSayWhatIsExpected) {
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

}  // namespace
