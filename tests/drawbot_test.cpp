// The drawing-suite set and the pen and path wrappers, called directly against
// the reference host's drawing suites.
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "plugin/Util/AEFX_DrawbotSuites.h"
#include "overlay/Overlay.h"
#include "tests/TestSupport.h"

namespace {

class DrawbotTest : public ::testing::Test {
protected:
    void SetUp() override {
        window = std::make_unique<voverlay::OverlayWindow>(*host, voverlay::WindowView{}, 64, 48);
        const PF_EventExtra event = window->NewEvent(PF_Event_DRAW);
        const auto* ui = static_cast<const PF_EffectCustomUISuite1*>(host->FindSuite(kPFEffectCustomUISuite, 1));
        const auto* draw = static_cast<const DRAWBOT_DrawbotSuite1*>(host->FindSuite(kDRAWBOT_DrawSuite, 1));
        suite = static_cast<DRAWBOT_SupplierSuite1*>(const_cast<void*>(host->FindSuite(kDRAWBOT_SupplierSuite, 1)));
        DRAWBOT_DrawRef ref = nullptr;
        ASSERT_EQ(ui->PF_GetDrawingReference(event.contextH, &ref), PF_Err_NONE);
        ASSERT_EQ(draw->GetSupplier(ref, &supplier), kSPNoError);
    }
    int Live() const { return host->Objects().Live(); }

    std::unique_ptr<vhost::Host> host = vtest::NewHost();
    std::unique_ptr<voverlay::OverlayWindow> window;
    DRAWBOT_SupplierSuite1* suite = nullptr;
    DRAWBOT_SupplierRef supplier = nullptr;
    const DRAWBOT_ColorRGBA yellow = {0.9f, 0.9f, 0.0f, 1.0f};
};

TEST_F(DrawbotTest, WrappersReleaseExactlyOnceAndNewReplaces) {
    DRAWBOT_PathRef retained = nullptr;
    {
        DRAWBOT_PenP pen(suite, supplier, &yellow, 1.0f);
        DRAWBOT_PathP path(suite, supplier);
        EXPECT_EQ(Live(), 2);
        pen.ReleaseObject();
        pen.ReleaseObject();  // nothing held: no second release
        EXPECT_EQ(pen.Get(), nullptr);
        const DRAWBOT_PathRef first = path.Get();
        path.New(suite, supplier);
        EXPECT_NE(path.Get(), first);
        EXPECT_EQ(Live(), 1) << "the replaced path is given back";
        path.RetainObject();  // the extra reference is the caller's
        retained = path.Get();
    }
    EXPECT_EQ(Live(), 1);
    EXPECT_EQ(suite->ReleaseObject(reinterpret_cast<DRAWBOT_ObjectRef>(retained)), kSPNoError);
    EXPECT_TRUE(vtest::LedgersBalanced(*host));
    // Once more: the host refuses it and its ledger names the stray release.
    EXPECT_NE(suite->ReleaseObject(reinterpret_cast<DRAWBOT_ObjectRef>(retained)), kSPNoError);
    EXPECT_NE(host->LedgerReport().find("release of unknown or freed object"), std::string::npos);
}

TEST_F(DrawbotTest, FailingCreationKeepsWhatIsHeld) {
    host->Faults().FailCall("NewPath", 1);
    EXPECT_THROW(DRAWBOT_PathP(suite, supplier), DRAWBOT_Exception);
    host->Faults().FailCall("NewPen", 2);
    {
        DRAWBOT_PenP pen(suite, supplier, &yellow, 1.0f);
        const DRAWBOT_PenRef held = pen.Get();
        try {
            pen.New(suite, supplier, &yellow, 2.0f);
            ADD_FAILURE() << "a refused NewPen must throw";
        } catch (const DRAWBOT_Exception& e) {
            EXPECT_EQ(e.errorCode, host->Faults().injected_error);
            EXPECT_STREQ(e.what(), std::exception().what());
        }
        EXPECT_EQ(pen.Get(), held);
    }
    EXPECT_EQ(host->Objects().CreatedCount(), 1);
    EXPECT_TRUE(vtest::LedgersBalanced(*host));
}

TEST_F(DrawbotTest, RefusedReleases) {
    {
        DRAWBOT_PathP path(suite, supplier);
        host->Faults().FailCall("ReleaseObject", 1);
        EXPECT_THROW(path.ReleaseObject(), DRAWBOT_Exception);
        EXPECT_NE(path.Get(), nullptr) << "a refused release keeps the reference";
        // Refused while replacing: the fresh path is given back, the old one kept.
        const DRAWBOT_PathRef first = path.Get();
        host->Faults().FailCall("ReleaseObject", 2);
        EXPECT_THROW(path.New(suite, supplier), DRAWBOT_Exception);
        EXPECT_EQ(path.Get(), first);
        EXPECT_EQ(Live(), 1);
    }
    EXPECT_TRUE(vtest::LedgersBalanced(*host));
    // Refused in the destructor: swallowed, never thrown.
    host->Faults().FailCall("ReleaseObject", 1, /*onward=*/true);
    EXPECT_NO_THROW({ DRAWBOT_PenP pen(suite, supplier, &yellow, 1.0f); });
}

// A supplier that hands out the same pen every time.
int g_releases = 0;
SPErr SamePen(DRAWBOT_SupplierRef, const DRAWBOT_ColorRGBA*, float, DRAWBOT_PenRef* out) {
    *out = reinterpret_cast<DRAWBOT_PenRef>(0x1000);
    return kSPNoError;
}
SPErr CountRelease(DRAWBOT_ObjectRef) {
    ++g_releases;
    return kSPNoError;
}

TEST(DrawbotScripted, NewWithTheSameReferenceReleasesNothing) {
    DRAWBOT_SupplierSuite1 same = {&SamePen, nullptr, nullptr, &CountRelease};
    const DRAWBOT_ColorRGBA c = {1, 1, 1, 1};
    {
        DRAWBOT_PenP pen(&same, nullptr, &c, 1.0f);
        pen.New(&same, nullptr, &c, 1.0f);
        EXPECT_EQ(g_releases, 0);
    }
    EXPECT_EQ(g_releases, 1);
}

TEST(DrawbotSuiteSet, AcquiresInOrderStopsAtTheFirstMissingAndReleasesOnlyWhatItGot) {
    auto host = vtest::NewHost();
    voverlay::RegisterOverlaySuites(*host);
    vhost::ScopedCurrentHost current(*host);
    PF_InData* in = &host->InData();
    PF_OutData* out = &host->OutData();
    DRAWBOT_Suites suites{};
    ASSERT_EQ(AEFX_AcquireDrawbotSuites(in, out, &suites), PF_Err_NONE);
    EXPECT_EQ(suites.path_suiteP, host->FindSuite(kDRAWBOT_PathSuite, 1));
    host->Faults().failing_releases.insert(kDRAWBOT_PathSuite);
    EXPECT_EQ(AEFX_ReleaseDrawbotSuites(in, out), PF_Err_NONE);
    EXPECT_TRUE(vtest::LedgersBalanced(*host));

    host->Faults().withheld_suites.insert(kDRAWBOT_SurfaceSuite);
    out->out_flags = PF_OutFlag_PIX_INDEPENDENT;
    EXPECT_EQ(AEFX_AcquireDrawbotSuites(in, out, &suites), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_TRUE(suites.drawbot_suiteP && suites.supplier_suiteP && !suites.surface_suiteP && !suites.path_suiteP);
    EXPECT_EQ(host->Suites().Acquires(kDRAWBOT_PathSuite), 1) << "Path is not asked for after Surface fails";
    EXPECT_EQ(out->out_flags, PF_OutFlag_PIX_INDEPENDENT | PF_OutFlag_DISPLAY_ERROR_MESSAGE);
    EXPECT_STREQ(out->return_msg, "Not able to acquire AEFX Suite.");
    EXPECT_EQ(AEFX_ReleaseAcquiredDrawbotSuites(in, out, &suites), PF_Err_NONE);
    EXPECT_TRUE(vtest::LedgersBalanced(*host));

    const int acquires = host->Suites().TotalAcquires();
    EXPECT_EQ(AEFX_AcquireDrawbotSuites(in, out, nullptr), PF_Err_UNRECOGNIZED_PARAM_TYPE);
    EXPECT_EQ(host->Suites().TotalAcquires(), acquires);
    EXPECT_STREQ(out->return_msg, "NULL suite pointer passed to AEFX_AcquireDrawbotSuites");
}

}  // namespace
