// The suite cache and the AEFX_ helpers, called directly against the
// reference host's basic suite.
#include <cstring>
#include <string>
#include <vector>

#include "plugin/Util/AEFX_SuiteHelper.h"
#include "plugin/Util/AEGP_SuiteHandler.h"
#include "tests/TestSupport.h"

namespace {

// Stand-ins so every suite the cache knows is available whoever registers the real ones.
const PF_Iterate8Suite1 kIterate8{};
const PF_iterate16Suite1 kIterate16{};
const PF_EffectCustomUISuite1 kCustomUI{};
const PF_EffectCustomUIOverlayThemeSuite1 kTheme{};
const DRAWBOT_DrawbotSuite1 kDraw{};

class SuiteHandler : public ::testing::Test {
protected:
    SuiteHandler() : host_(vtest::NewHost()), scope_(*host_) {
        host_->RegisterSuite(kPFIterate8Suite, 1, &kIterate8);
        host_->RegisterSuite(kPFIterate16Suite, 1, &kIterate16);
        host_->RegisterSuite(kPFEffectCustomUISuite, 1, &kCustomUI);
        host_->RegisterSuite(kPFEffectCustomUIOverlayThemeSuite, 1, &kTheme);
        host_->RegisterSuite(kDRAWBOT_DrawSuite, 1, &kDraw);
    }
    const SPBasicSuite* Basic() { return host_->InData().pica_basicP; }

    std::unique_ptr<vhost::Host> host_;
    vhost::ScopedCurrentHost scope_;
};

// Nothing is acquired until asked for, and a suite asked for twice once.
TEST_F(SuiteHandler, SuitesAreAcquiredOnFirstUseAndOnce) {
    { AEGP_SuiteHandler unused(Basic()); }
    EXPECT_EQ(host_->Suites().TotalAcquires(), 0);
    {
        AEGP_SuiteHandler suites(Basic());
        PF_ANSICallbacksSuite1* first = suites.ANSICallbacksSuite1();
        ASSERT_NE(first, nullptr);
        EXPECT_EQ(suites.ANSICallbacksSuite1(), first);
        EXPECT_DOUBLE_EQ(first->cos(0.0), 1.0);
        EXPECT_EQ(host_->Suites().Acquires(kPFANSISuite), 1);
        EXPECT_EQ(host_->Suites().Releases(kPFANSISuite), 0);
    }
    EXPECT_EQ(host_->Suites().Releases(kPFANSISuite), 1);
    EXPECT_TRUE(vtest::LedgersBalanced(*host_));
}

TEST_F(SuiteHandler, NullBasicSuiteThrowsTheHostCode) {
    try {
        AEGP_SuiteHandler suites(nullptr);
        FAIL() << "no throw";
    } catch (PF_Err err) {
        EXPECT_EQ(err, PF_Err_BAD_CALLBACK_PARAM);
    }
}

TEST_F(SuiteHandler, FailureOnTheSecondSuiteReleasesTheFirst) {
    for (int way = 0; way < 3; ++way) {
        host_->Suites().Reset();
        host_->Faults().Clear();
        if (way == 0) host_->Faults().withheld_suites.insert(kPFIterate8Suite);
        if (way == 1) host_->Faults().null_suites.insert(kPFIterate8Suite);
        if (way == 2) host_->RegisterSuite(kPFIterate8Suite, 1, nullptr);  // host lacks it
        PF_Err caught = PF_Err_NONE;
        try {
            AEGP_SuiteHandler suites(Basic());
            suites.ANSICallbacksSuite1();
            suites.Iterate8Suite1();
        } catch (PF_Err err) {
            caught = err;
        }
        EXPECT_EQ(caught, PF_Err_BAD_CALLBACK_PARAM) << way;
        EXPECT_EQ(host_->Suites().Releases(kPFANSISuite), 1) << way;
        EXPECT_EQ(host_->Suites().Releases(kPFIterate8Suite), 0) << way;
        EXPECT_TRUE(vtest::LedgersBalanced(*host_)) << way;
        host_->RegisterSuite(kPFIterate8Suite, 1, &kIterate8);
    }
}

TEST_F(SuiteHandler, ErrorFromAcquireCountsAsMissingEvenWithAPointer) {
    host_->Faults().erroring_suites.insert(kPFANSISuite);
    {
        AEGP_SuiteHandler suites(Basic());
        EXPECT_THROW(suites.ANSICallbacksSuite1(), PF_Err);
    }
    EXPECT_TRUE(vtest::LedgersBalanced(*host_));  // the pointer it was handed is given back
}

// Records the order of releases while forwarding to the reference host.
std::vector<std::string> g_released;
const SPBasicSuite* g_inner = nullptr;
SPErr RecordingAcquire(const char* name, int32_t version, const void** suite) {
    return g_inner->AcquireSuite(name, version, suite);
}
SPErr RecordingRelease(const char* name, int32_t version) {
    g_released.push_back(name);
    return g_inner->ReleaseSuite(name, version);
}

TEST_F(SuiteHandler, ReleaseOrderIsFixedAndFailuresIgnored) {
    g_inner = Basic();
    g_released.clear();
    const SPBasicSuite recording = {RecordingAcquire, RecordingRelease};
    host_->Faults().failing_releases.insert(kPFIterate16Suite);
    {
        AEGP_SuiteHandler suites(&recording);
        // Loaded in reverse of the release order.
        EXPECT_NE(suites.DrawbotSuite1(), nullptr);
        EXPECT_NE(suites.EffectCustomUIOverlayThemeSuite1(), nullptr);
        EXPECT_NE(suites.EffectCustomUISuite1(), nullptr);
        EXPECT_NE(suites.Iterate16Suite1(), nullptr);
        EXPECT_NE(suites.Iterate8Suite1(), nullptr);
        EXPECT_NE(suites.ANSICallbacksSuite1(), nullptr);
    }
    const std::vector<std::string> expected = {kPFANSISuite,           kPFIterate8Suite,
                                               kPFIterate16Suite,      kPFEffectCustomUISuite,
                                               kPFEffectCustomUIOverlayThemeSuite, kDRAWBOT_DrawSuite};
    EXPECT_EQ(g_released, expected);
    EXPECT_TRUE(vtest::LedgersBalanced(*host_));
}

TEST_F(SuiteHandler, AefxAcquireAndReleaseBalance) {
    PF_PixelFormatSuite1* suite = nullptr;
    EXPECT_EQ(AEFX_AcquireSuite(&host_->InData(), &host_->OutData(), kPFPixelFormatSuite, 1, nullptr,
                                reinterpret_cast<void**>(&suite)),
              PF_Err_NONE);
    ASSERT_NE(suite, nullptr);
    EXPECT_NE(suite->AddSupportedPixelFormat, nullptr);
    host_->Faults().failing_releases.insert(kPFPixelFormatSuite);
    EXPECT_EQ(AEFX_ReleaseSuite(&host_->InData(), &host_->OutData(), kPFPixelFormatSuite, 1, nullptr), PF_Err_NONE);
    EXPECT_EQ(host_->OutData().out_flags, 0);
    EXPECT_TRUE(vtest::LedgersBalanced(*host_));
}

TEST_F(SuiteHandler, AefxReportsMissingSuitesTheHostsWay) {
    host_->Faults().withheld_suites.insert(kPFPixelFormatSuite);
    host_->OutData().out_flags = 0x3;
    void* suite = nullptr;
    EXPECT_EQ(AEFX_AcquireSuite(&host_->InData(), &host_->OutData(), kPFPixelFormatSuite, 1, nullptr, &suite),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(suite, nullptr);
    EXPECT_EQ(host_->OutData().out_flags, 0x103);
    EXPECT_STREQ(host_->OutData().return_msg, "Not able to acquire AEFX Suite.");

    // Reported error but a delivered pointer: accepted.
    host_->Faults().Clear();
    host_->Faults().erroring_suites.insert(kPFPixelFormatSuite);
    EXPECT_EQ(AEFX_AcquireSuite(&host_->InData(), &host_->OutData(), kPFPixelFormatSuite, 1, nullptr, &suite),
              PF_Err_NONE);
    EXPECT_NE(suite, nullptr);
    EXPECT_EQ(AEFX_ReleaseSuite(&host_->InData(), &host_->OutData(), kPFPixelFormatSuite, 1, nullptr), PF_Err_NONE);

    // Success with a null pointer: refused.
    host_->Faults().Clear();
    host_->Faults().null_suites.insert(kPFPixelFormatSuite);
    std::strcpy(host_->OutData().return_msg, "old");
    suite = nullptr;
    EXPECT_EQ(AEFX_AcquireSuite(&host_->InData(), &host_->OutData(), kPFPixelFormatSuite, 1, nullptr, &suite),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_STREQ(host_->OutData().return_msg, "Not able to acquire AEFX Suite.");
    EXPECT_TRUE(vtest::LedgersBalanced(*host_));
}

// Without a basic suite: refused, the caller's pointer left alone, and the
// message (the default or the caller's) copied literally and bounded.
TEST_F(SuiteHandler, AefxWithoutBasicSuite) {
    PF_InData in = host_->InData();
    in.pica_basicP = nullptr;
    int marker = 0;
    void* suite = &marker;
    EXPECT_EQ(AEFX_AcquireSuite(&in, &host_->OutData(), kPFANSISuite, 1, nullptr, &suite), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(suite, &marker);
    EXPECT_EQ(AEFX_ReleaseSuite(&in, &host_->OutData(), kPFANSISuite, 1, nullptr), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(host_->OutData().out_flags, PF_OutFlag_DISPLAY_ERROR_MESSAGE);
    EXPECT_STREQ(host_->OutData().return_msg, "Not able to release AEFX Suite.");
    EXPECT_EQ(host_->Suites().TotalAcquires(), 0);

    const char* percent = "100% %s%n%d failed";
    EXPECT_EQ(AEFX_ReleaseSuite(&in, &host_->OutData(), kPFANSISuite, 1, percent), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_STREQ(host_->OutData().return_msg, percent);
    const std::string long_text(600, 'L');
    host_->OutData().out_flags2 = 0x7777;
    EXPECT_EQ(AEFX_AcquireSuite(&in, &host_->OutData(), kPFANSISuite, 1, long_text.c_str(), &suite),
              PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_EQ(std::string(host_->OutData().return_msg), long_text.substr(0, PF_MAX_EFFECT_MSG_LEN));
    EXPECT_EQ(host_->OutData().out_flags2, 0x7777);
}

}  // namespace
