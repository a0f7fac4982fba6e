// The entry point and its command dispatch, driven through the loaded module.
#include <climits>
#include <cstring>
#include <new>
#include <stdexcept>
#include <vector>

#include "tests/TestSupport.h"
#include "plugin/Vellora/Vellora.h"

namespace {

using vhost::HostApp;

// PIX_INDEPENDENT, CUSTOM_UI, DEEP_COLOR_AWARE and SEND_UPDATE_PARAMS_UI.
const A_long kAllFourFlags = (1 << 10) | (1 << 15) | (1 << 25) | (1 << 26);
const A_u_long kVersion = (1u << 19) | 1u;  // 1.0, develop, build 1

std::vector<unsigned char> Bytes(const void* p, size_t n) {
    const auto* b = static_cast<const unsigned char*>(p);
    return std::vector<unsigned char>(b, b + n);
}

// About under both hosts; without the ANSI suite or any basic suite, 516 and
// the earlier message kept.
TEST(EntryPointAbout, ShowsNameVersionAndDescriptionOrReturns516WithoutSuites) {
    for (int way = 0; way < 4; ++way) {
        auto host = vtest::NewHost(way == 1 ? HostApp::Premiere : HostApp::AfterEffects);
        if (way == 2) host->Faults().withheld_suites.insert(kPFANSISuite);
        if (way == 3) host->Faults().no_basic_suite = true;
        std::strcpy(host->OutData().return_msg, "earlier text");
        EXPECT_EQ(host->About(), way < 2 ? PF_Err_NONE : PF_Err_BAD_CALLBACK_PARAM) << way;
        EXPECT_STREQ(host->OutData().return_msg,
                     way < 2 ? "Vellora v1.0\rVellora plugin for Adobe Premiere." : "earlier text") << way;
        EXPECT_EQ(host->Suites().Acquires(kPFANSISuite), way < 2 ? 1 : 0) << way;
        EXPECT_TRUE(vtest::LedgersBalanced(*host)) << way;
    }
}

TEST(EntryPointDispatch, UnansweredCommandsTouchNothing) {
    auto host = vtest::SetUpHost();
    for (PF_Cmd cmd : std::vector<PF_Cmd>{PF_Cmd_UNUSED_0, PF_Cmd_GLOBAL_SETDOWN, PF_Cmd_SEQUENCE_SETUP, PF_Cmd_SEQUENCE_SETDOWN,
                       PF_Cmd_FRAME_SETUP, PF_Cmd_USER_CHANGED_PARAM, PF_Cmd_UPDATE_PARAMS_UI,
                       PF_Cmd_SMART_RENDER, 25, 1000, -1, INT_MIN, INT_MAX}) {
        PF_InData in = host->InData();
        PF_OutData out = host->OutData();
        std::memset(out.return_msg, 'x', sizeof(out.return_msg) - 1);
        out.out_flags = 0x5a5a;
        const auto in_before = Bytes(&in, sizeof(in));
        const auto out_before = Bytes(&out, sizeof(out));
        const auto params_before = Bytes(host->Params().data(), host->Params().size() * sizeof(PF_ParamDef));
        PF_LayerDef output{};
        output.width = 7;
        const auto output_before = Bytes(&output, sizeof(output));
        unsigned char extra[64];
        std::memset(extra, 0xab, sizeof(extra));

        EXPECT_EQ(host->SendRaw(cmd, &in, &out, host->ParamArray(), &output, extra), PF_Err_NONE) << cmd;
        EXPECT_EQ(Bytes(&in, sizeof(in)), in_before) << cmd;
        EXPECT_EQ(Bytes(&out, sizeof(out)), out_before) << cmd;
        EXPECT_EQ(Bytes(host->Params().data(), host->Params().size() * sizeof(PF_ParamDef)), params_before) << cmd;
        EXPECT_EQ(Bytes(&output, sizeof(output)), output_before) << cmd;
        for (unsigned char b : extra) ASSERT_EQ(b, 0xab) << cmd;
        // Nothing is read either: null records are fine.
        EXPECT_EQ(host->SendRaw(cmd, nullptr, nullptr, nullptr, nullptr, nullptr), PF_Err_NONE) << cmd;
    }
    EXPECT_EQ(host->Suites().TotalAcquires(), 0);
}

TEST(EntryPointDispatch, NullRecordsAreRefusedWithoutTouchingTheOther) {
    for (PF_Cmd cmd : std::vector<PF_Cmd>{PF_Cmd_ABOUT, PF_Cmd_GLOBAL_SETUP, PF_Cmd_PARAMS_SETUP, PF_Cmd_RENDER, PF_Cmd_EVENT}) {
        auto host = vtest::NewHost(HostApp::Premiere);
        PF_InData in = host->InData();
        PF_OutData out = host->OutData();
        const auto in_before = Bytes(&in, sizeof(in));
        const auto out_before = Bytes(&out, sizeof(out));
        EXPECT_EQ(host->SendRaw(cmd, nullptr, &out, host->ParamArray(), nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM)
            << cmd;
        EXPECT_EQ(Bytes(&out, sizeof(out)), out_before) << cmd;
        EXPECT_EQ(host->SendRaw(cmd, &in, nullptr, host->ParamArray(), nullptr, nullptr), PF_Err_BAD_CALLBACK_PARAM)
            << cmd;
        EXPECT_EQ(Bytes(&in, sizeof(in)), in_before) << cmd;
        EXPECT_EQ(host->Params().size(), 1u);
        EXPECT_TRUE(host->PixelFormatCalls().empty());
        EXPECT_EQ(host->Suites().TotalAcquires(), 0);
    }
}

// Version and flags, stale bits cleared, nothing else touched; Premiere alone
// registers its pixel formats, float first.
TEST(EntryPointGlobalSetup, VersionFlagsAndPremieresPixelFormats) {
    for (HostApp app : {HostApp::AfterEffects, HostApp::Premiere}) {
        auto host = vtest::NewHost(app);
        PF_OutData& out = host->OutData();
        out.out_flags = static_cast<A_long>(0x80000003u);  // stale bits a host left there
        out.out_flags2 = 0x1234;
        std::strcpy(out.return_msg, "unchanged");
        int marker = 0;
        host->InData().global_data = &marker;
        ASSERT_EQ(host->GlobalSetup(), PF_Err_NONE);
        EXPECT_EQ(out.my_version, kVersion);
        EXPECT_EQ(out.out_flags, kAllFourFlags);
        EXPECT_EQ(out.out_flags2, 0x1234);
        EXPECT_STREQ(out.return_msg, "unchanged");
        EXPECT_EQ(out.global_data, nullptr);
        EXPECT_EQ(host->InData().global_data, &marker);
        EXPECT_TRUE(vtest::LedgersBalanced(*host));
        const std::vector<PrPixelFormat> calls = {0, 0x61724742 /* 'BGra' */, 0x61726762 /* 'bgra' */};
        EXPECT_EQ(host->PixelFormatCalls(), app == HostApp::Premiere ? calls : std::vector<PrPixelFormat>{});
        EXPECT_EQ(host->Suites().TotalAcquires(), app == HostApp::Premiere ? 1 : 0);
    }
}

TEST(EntryPointGlobalSetup, PremiereWithoutThePixelFormatSuiteStillSucceeds) {
    enum Way { Withheld, NullDelivered, NoBasicSuite };
    for (Way way : {Withheld, NullDelivered, NoBasicSuite}) {
        auto host = vtest::NewHost(HostApp::Premiere);
        if (way == Withheld) host->Faults().withheld_suites.insert(kPFPixelFormatSuite);
        if (way == NullDelivered) host->Faults().null_suites.insert(kPFPixelFormatSuite);
        if (way == NoBasicSuite) host->Faults().no_basic_suite = true;
        ASSERT_EQ(host->GlobalSetup(), PF_Err_NONE) << way;
        EXPECT_EQ(host->OutData().my_version, kVersion) << way;
        EXPECT_EQ(host->OutData().out_flags, kAllFourFlags | PF_OutFlag_DISPLAY_ERROR_MESSAGE) << way;
        EXPECT_STREQ(host->OutData().return_msg, "Not able to acquire AEFX Suite.") << way;
        EXPECT_TRUE(host->PixelFormatCalls().empty()) << way;
        EXPECT_TRUE(vtest::LedgersBalanced(*host)) << way;
    }
}

TEST(EntryPointGlobalSetup, PremiereIgnoresFailingFormatCallsAndRelease) {
    auto host = vtest::NewHost(HostApp::Premiere);
    host->Faults().FailCall("ClearSupportedPixelFormats", 1);
    host->Faults().FailCall("AddSupportedPixelFormat", 1, true);
    host->Faults().failing_releases.insert(kPFPixelFormatSuite);
    ASSERT_EQ(host->GlobalSetup(), PF_Err_NONE);
    EXPECT_EQ(host->OutData().out_flags, kAllFourFlags);
    EXPECT_EQ(host->Faults().Calls("AddSupportedPixelFormat"), 2);
    EXPECT_EQ(host->Suites().Releases(kPFPixelFormatSuite), 1);
    EXPECT_TRUE(vtest::LedgersBalanced(*host));
}

// Host callbacks that throw, to prove nothing unwinds out of the entry point.
PF_Err ThrowBadAlloc(PF_ProgPtr, PF_ParamIndex, PF_ParamDefPtr) { throw std::bad_alloc(); }
PF_Err ThrowRuntimeError(PF_ProgPtr, PF_ParamIndex, PF_ParamDefPtr) { throw std::runtime_error("host trouble"); }
PF_Err ThrowInt(PF_ProgPtr, PF_ParamIndex, PF_ParamDefPtr) { throw 42; }
PF_Err ThrowHostCode(PF_ProgPtr, PF_ParamIndex, PF_ParamDefPtr) { throw PF_Err(PF_Err_INVALID_INDEX); }

TEST(EntryPointDispatch, NoExceptionLeavesTheEntryPoint) {
    const struct {
        decltype(&ThrowBadAlloc) add_param;
        PF_Err expected;
    } cases[] = {{ThrowBadAlloc, PF_Err_OUT_OF_MEMORY},
                 {ThrowRuntimeError, PF_Err_INTERNAL_STRUCT_DAMAGED},
                 {ThrowInt, 42},  // PF_Err is an int: any thrown int is a host code
                 {ThrowHostCode, PF_Err_INVALID_INDEX}};
    for (const auto& c : cases) {
        auto host = vtest::NewHost();
        PF_InData in = host->InData();
        in.inter.add_param = c.add_param;
        PF_Err err = PF_Err_NONE;
        EXPECT_NO_THROW(err = host->SendRaw(PF_Cmd_PARAMS_SETUP, &in, &host->OutData(), nullptr, nullptr, nullptr));
        EXPECT_EQ(err, c.expected);
        EXPECT_EQ(host->OutData().num_params, 0);
    }
}

}  // namespace
