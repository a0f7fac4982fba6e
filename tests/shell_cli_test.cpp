// `vellora info` as a user runs it.
#include <sys/wait.h>

#include <cstdio>
#include <string>

#include <nlohmann/json.hpp>

#include "TestSupport.h"

namespace {

struct CliRun {
    int status;
    std::string output;
};

// Runs the CLI with `args` (shell-quoted by the caller); stderr is merged into the output.
CliRun RunCli(const std::string& args) {
    const std::string command = "env -u VELLORA_MODULE '" + std::string(VELLORA_CLI_PATH) + "' " + args + " 2>&1";
    CliRun run{-1, ""};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) run.output.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(ShellCli, InfoShowsWhatAHostLearns) {
    const CliRun ae = RunCli("info");
    ASSERT_EQ(ae.status, 0) << ae.output;
    EXPECT_EQ(ae.output.rfind("Vellora v1.0\nVellora plugin for Adobe Premiere.\n", 0), 0u) << ae.output;
    EXPECT_TRUE(Has(ae.output, "0x80001")) << ae.output;
    EXPECT_TRUE(Has(ae.output, "PIX_INDEPENDENT CUSTOM_UI DEEP_COLOR_AWARE SEND_UPDATE_PARAMS_UI")) << ae.output;
    EXPECT_FALSE(Has(ae.output, "Pixel formats")) << ae.output;
    EXPECT_TRUE(Has(ae.output, "Invert mask")) << ae.output;
    EXPECT_TRUE(Has(ae.output, "Ellipse | Rectangle\n")) << ae.output;
    // Index order, not id order.
    EXPECT_LT(ae.output.find("Mask Type"), ae.output.find("Composite mode"));
    EXPECT_LT(ae.output.find("Composite mode"), ae.output.find("Point of origin"));
    EXPECT_LT(ae.output.find("Invert"), ae.output.find("Alpha falloff"));

    const CliRun pr = RunCli("info --host premiere");
    ASSERT_EQ(pr.status, 0) << pr.output;
    EXPECT_TRUE(Has(pr.output, "BGRA_4444_32f ('BGra'), BGRA_4444_8u ('bgra')")) << pr.output;
}

TEST(ShellCli, InfoJson) {
    const CliRun run = RunCli("info --json --host premiere");
    ASSERT_EQ(run.status, 0) << run.output;
    const auto j = nlohmann::json::parse(run.output);
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
    EXPECT_TRUE(Has(bad_host.output, "'maya'")) << bad_host.output;

    const CliRun missing = RunCli("info --module /no/such/Vellora.so");
    EXPECT_EQ(missing.status, 1);
    EXPECT_TRUE(Has(missing.output, "/no/such/Vellora.so")) << missing.output;
    EXPECT_EQ(missing.output.rfind("vellora: ", 0), 0u) << missing.output;
}

}  // namespace
