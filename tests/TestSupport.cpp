#include "tests/TestSupport.h"

#include <sys/wait.h>

#include <cstdio>

#include "plugin/Vellora/Vellora.h"

namespace vtest {

const vhost::PluginModule& Module() {
    static const vhost::PluginModule module(VELLORA_MODULE_PATH);
    return module;
}

std::unique_ptr<vhost::Host> NewHost(vhost::HostApp app) { return std::make_unique<vhost::Host>(Module(), app); }

std::unique_ptr<vhost::Host> SetUpHost(vhost::HostApp app) {
    auto host = NewHost(app);
    EXPECT_EQ(host->GlobalSetup(), PF_Err_NONE);
    EXPECT_EQ(host->ParamsSetup(), PF_Err_NONE);
    EXPECT_EQ(host->Params().size(), static_cast<size_t>(PARAM_COUNT));
    EXPECT_TRUE(LedgersBalanced(*host));
    return host;
}

::testing::AssertionResult LedgersBalanced(const vhost::Host& host) {
    auto& h = const_cast<vhost::Host&>(host);
    if (h.Suites().Balanced() && h.Objects().Balanced()) return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure() << "unbalanced host ledger:";
    for (const auto& problem : h.Suites().Problems()) failure << "\n  " << problem;
    for (const auto& problem : h.Objects().Problems()) failure << "\n  " << problem;
    return failure;
}

CliRun RunCli(const std::string& args, bool with_stderr, const std::string& env) {
    const std::string command = "env -u VELLORA_MODULE " + env + " '" + std::string(VELLORA_CLI_PATH) + "' " + args +
                                (with_stderr ? " 2>&1" : "");
    CliRun run{-1, ""};
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof(buffer), pipe)) > 0) run.out.append(buffer, n);
    const int status = pclose(pipe);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace vtest
