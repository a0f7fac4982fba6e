#include <cstring>

#include "TestSupport.h"
#include "Vellora.h"

namespace {

using vhost::HostApp;

TEST(ShellEntry, AboutShowsNameVersionAndDescription) {
    auto host = vtest::NewHost(HostApp::Premiere);
    ASSERT_EQ(host->About(), PF_Err_NONE);
    EXPECT_STREQ(host->OutData().return_msg, "Vellora v1.0\rVellora plugin for Adobe Premiere.");
    EXPECT_TRUE(vtest::LedgersBalanced(*host));
}

}  // namespace
