#include "TestSupport.h"

#include "Vellora.h"

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

}  // namespace vtest
