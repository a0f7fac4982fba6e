// The drawing-suite set and the pen and path wrappers, called directly against
// the reference host's drawing suites (and a scripted supplier for the cases a
// well-behaved host never produces).
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "AEFX_DrawbotSuites.h"
#include "Overlay.h"
#include "TestSupport.h"

namespace {

using vhost::ObjectLedger;

class DrawbotTest : public ::testing::Test {
protected:
    void SetUp() override {
        host = vtest::NewHost();
        window = std::make_unique<vhost::OverlayWindow>(*host, vhost::WindowView{}, 64, 48);
        event = window->NewEvent(PF_Event_DRAW);
        const auto* ui = static_cast<const PF_EffectCustomUISuite1*>(host->FindSuite(kPFEffectCustomUISuite, 1));
        draw = static_cast<const DRAWBOT_DrawbotSuite1*>(host->FindSuite(kDRAWBOT_DrawSuite, 1));
        supplier_suite = const_cast<DRAWBOT_SupplierSuite1*>(
            static_cast<const DRAWBOT_SupplierSuite1*>(host->FindSuite(kDRAWBOT_SupplierSuite, 1)));
        ASSERT_TRUE(ui && draw && supplier_suite);
        DRAWBOT_DrawRef ref = nullptr;
        ASSERT_EQ(ui->PF_GetDrawingReference(event.contextH, &ref), PF_Err_NONE);
        ASSERT_EQ(draw->GetSupplier(ref, &supplier), kSPNoError);
    }

    int Pens() const { return host->Objects().CreatedCount(ObjectLedger::Kind::Pen); }
    int Paths() const { return host->Objects().CreatedCount(ObjectLedger::Kind::Path); }

    std::unique_ptr<vhost::Host> host;
    std::unique_ptr<vhost::OverlayWindow> window;
    PF_EventExtra event{};
    const DRAWBOT_DrawbotSuite1* draw = nullptr;
    DRAWBOT_SupplierSuite1* supplier_suite = nullptr;
    DRAWBOT_SupplierRef supplier = nullptr;
    const DRAWBOT_ColorRGBA yellow = {0.9f, 0.9f, 0.0f, 1.0f};
};

TEST_F(DrawbotTest, WrappersReleaseExactlyOnce) {
    {
        DRAWBOT_PenP pen(supplier_suite, supplier, &yellow, 1.0f);
        DRAWBOT_PathP path(supplier_suite, supplier);
        EXPECT_NE(pen.Get(), nullptr);
        EXPECT_NE(path.Get(), nullptr);
        EXPECT_EQ(host->Objects().Live(), 2);
        // An explicit release, then the destructor: one host release in all.
        path.ReleaseObject();
        EXPECT_EQ(path.Get(), nullptr);
        path.ReleaseObject();
        EXPECT_EQ(host->Objects().Live(), 1);
    }
    EXPECT_EQ(Pens(), 1);
    EXPECT_EQ(Paths(), 1);
    EXPECT_TRUE(vtest::LedgersBalanced(*host));
}

TEST_F(DrawbotTest, NewReplacesTheHeldObject) {
    DRAWBOT_PathRef kept = nullptr;
    {
        DRAWBOT_PathP path(supplier_suite, supplier);
        DRAWBOT_PathRef first = path.Get();
        path.New(supplier_suite, supplier);
        EXPECT_NE(path.Get(), first);
        EXPECT_EQ(Paths(), 2);
        EXPECT_EQ(host->Objects().Live(), 1) << "the replaced path is given back";
        // A retained reference is the caller's: the wrapper drops only its own.
        path.RetainObject();
        kept = path.Get();
    }
    EXPECT_EQ(host->Objects().Live(), 1);
    EXPECT_EQ(supplier_suite->ReleaseObject(reinterpret_cast<DRAWBOT_ObjectRef>(kept)), kSPNoError);
    EXPECT_TRUE(vtest::LedgersBalanced(*host));
}

TEST_F(DrawbotTest, FailingNewKeepsThePreviousPen) {
    host->Faults().FailCall("NewPen", 2);
    {
        DRAWBOT_PenP pen(supplier_suite, supplier, &yellow, 1.0f);
        DRAWBOT_PenRef held = pen.Get();
        try {
            pen.New(supplier_suite, supplier, &yellow, 2.0f);
            FAIL() << "a refused NewPen must throw";
        } catch (const DRAWBOT_Exception& e) {
            EXPECT_EQ(e.errorCode, host->Faults().injected_error);
            EXPECT_STREQ(e.what(), std::exception().what());
        }
        EXPECT_EQ(pen.Get(), held);
        EXPECT_EQ(host->Objects().Live(), 1);
    }
    EXPECT_EQ(Pens(), 1);
    EXPECT_TRUE(vtest::LedgersBalanced(*host));
}

TEST_F(DrawbotTest, FailingConstructionLeavesNothingBehind) {
    host->Faults().FailCall("NewPath", 1);
    EXPECT_THROW(DRAWBOT_PathP(supplier_suite, supplier), DRAWBOT_Exception);
    EXPECT_EQ(Paths(), 0);
    EXPECT_TRUE(vtest::LedgersBalanced(*host));
}

TEST_F(DrawbotTest, RefusedReleaseThrowsExplicitlyButNeverFromTheDestructor) {
    {
        DRAWBOT_PathP path(supplier_suite, supplier);
        host->Faults().FailCall("ReleaseObject", 1);
        EXPECT_THROW(path.ReleaseObject(), DRAWBOT_Exception);
        EXPECT_NE(path.Get(), nullptr) << "a refused release keeps the reference";
    }  // the destructor's release is the second call, which succeeds
    EXPECT_TRUE(vtest::LedgersBalanced(*host));

    // Refused in the destructor: swallowed, the host keeps its reference.
    host->Faults().FailCall("ReleaseObject", 1, /*onward=*/true);
    EXPECT_NO_THROW({ DRAWBOT_PenP pen(supplier_suite, supplier, &yellow, 1.0f); });
    EXPECT_EQ(host->Objects().Live(), 1);
}

TEST_F(DrawbotTest, RefusedReleaseInNewGivesBackTheFreshObject) {
    {
        DRAWBOT_PathP path(supplier_suite, supplier);
        DRAWBOT_PathRef first = path.Get();
        host->Faults().FailCall("ReleaseObject", 1);
        EXPECT_THROW(path.New(supplier_suite, supplier), DRAWBOT_Exception);
        EXPECT_EQ(path.Get(), first);
        EXPECT_EQ(Paths(), 2);
        EXPECT_EQ(host->Objects().Live(), 1) << "the new path must not leak";
    }
    EXPECT_TRUE(vtest::LedgersBalanced(*host));
}

// A supplier that hands out the same pen every time and counts releases.
struct ScriptedSupplier {
    static int releases;
    static DRAWBOT_PenRef the_pen;
    static SPErr NewPen(DRAWBOT_SupplierRef, const DRAWBOT_ColorRGBA*, float, DRAWBOT_PenRef* out) {
        *out = the_pen;
        return kSPNoError;
    }
    static SPErr NewPath(DRAWBOT_SupplierRef, DRAWBOT_PathRef* out) {
        *out = nullptr;
        return kSPNoError;
    }
    static SPErr Retain(DRAWBOT_ObjectRef) { return kSPNoError; }
    static SPErr Release(DRAWBOT_ObjectRef) {
        ++releases;
        return kSPNoError;
    }
};
int ScriptedSupplier::releases = 0;
DRAWBOT_PenRef ScriptedSupplier::the_pen = reinterpret_cast<DRAWBOT_PenRef>(0x1000);

TEST(DrawbotScripted, NewWithTheSameReferenceReleasesNothing) {
    DRAWBOT_SupplierSuite1 suite = {&ScriptedSupplier::NewPen, &ScriptedSupplier::NewPath, &ScriptedSupplier::Retain,
                                    &ScriptedSupplier::Release};
    const DRAWBOT_ColorRGBA c = {1, 1, 1, 1};
    ScriptedSupplier::releases = 0;
    {
        DRAWBOT_PenP pen(&suite, nullptr, &c, 1.0f);
        pen.New(&suite, nullptr, &c, 1.0f);
        EXPECT_EQ(ScriptedSupplier::releases, 0);
        EXPECT_EQ(pen.Get(), ScriptedSupplier::the_pen);
    }
    EXPECT_EQ(ScriptedSupplier::releases, 1);
}

class DrawbotSuiteSetTest : public ::testing::Test {
protected:
    void SetUp() override { host = vtest::NewHost(); }
    std::unique_ptr<vhost::Host> host;
};

TEST_F(DrawbotSuiteSetTest, AcquiresAllFourAndReleasesThem) {
    vhost::ScopedCurrentHost current(*host);
    DRAWBOT_Suites suites{};
    ASSERT_EQ(AEFX_AcquireDrawbotSuites(&host->InData(), &host->OutData(), &suites), PF_Err_NONE);
    EXPECT_EQ(suites.drawbot_suiteP, host->FindSuite(kDRAWBOT_DrawSuite, 1));
    EXPECT_EQ(suites.supplier_suiteP, host->FindSuite(kDRAWBOT_SupplierSuite, 1));
    EXPECT_EQ(suites.surface_suiteP, host->FindSuite(kDRAWBOT_SurfaceSuite, 1));
    EXPECT_EQ(suites.path_suiteP, host->FindSuite(kDRAWBOT_PathSuite, 1));
    EXPECT_EQ(AEFX_ReleaseDrawbotSuites(&host->InData(), &host->OutData()), PF_Err_NONE);
    EXPECT_TRUE(vtest::LedgersBalanced(*host));
}

TEST_F(DrawbotSuiteSetTest, StopsAtTheFirstMissingSuite) {
    vhost::ScopedCurrentHost current(*host);
    host->Faults().withheld_suites.insert(kDRAWBOT_SurfaceSuite);
    host->OutData().out_flags = PF_OutFlag_PIX_INDEPENDENT;
    DRAWBOT_Suites suites{};
    EXPECT_EQ(AEFX_AcquireDrawbotSuites(&host->InData(), &host->OutData(), &suites), PF_Err_BAD_CALLBACK_PARAM);
    EXPECT_NE(suites.drawbot_suiteP, nullptr);
    EXPECT_NE(suites.supplier_suiteP, nullptr);
    EXPECT_EQ(suites.surface_suiteP, nullptr);
    EXPECT_EQ(host->Suites().Acquires(kDRAWBOT_PathSuite), 0) << "the Path suite must not be asked for";
    EXPECT_EQ(host->OutData().out_flags, PF_OutFlag_PIX_INDEPENDENT | PF_OutFlag_DISPLAY_ERROR_MESSAGE);
    EXPECT_STREQ(host->OutData().return_msg, "Not able to acquire AEFX Suite.");

    // Giving back only what was acquired keeps the host's counts right.
    EXPECT_EQ(AEFX_ReleaseAcquiredDrawbotSuites(&host->InData(), &host->OutData(), &suites), PF_Err_NONE);
    EXPECT_TRUE(vtest::LedgersBalanced(*host));
    EXPECT_EQ(host->Suites().Releases(kDRAWBOT_SurfaceSuite), 0);
}

TEST_F(DrawbotSuiteSetTest, NullRecordAcquiresNothing) {
    vhost::ScopedCurrentHost current(*host);
    EXPECT_EQ(AEFX_AcquireDrawbotSuites(&host->InData(), &host->OutData(), nullptr), PF_Err_UNRECOGNIZED_PARAM_TYPE);
    EXPECT_EQ(host->Suites().TotalAcquires(), 0);
    EXPECT_NE(host->OutData().out_flags & PF_OutFlag_DISPLAY_ERROR_MESSAGE, 0);
    EXPECT_STREQ(host->OutData().return_msg, "NULL suite pointer passed to AEFX_AcquireDrawbotSuites");
}

TEST_F(DrawbotSuiteSetTest, ReleaseAlwaysSucceeds) {
    vhost::ScopedCurrentHost current(*host);
    host->Faults().failing_releases.insert(kDRAWBOT_PathSuite);
    DRAWBOT_Suites suites{};
    ASSERT_EQ(AEFX_AcquireDrawbotSuites(&host->InData(), &host->OutData(), &suites), PF_Err_NONE);
    EXPECT_EQ(AEFX_ReleaseDrawbotSuites(&host->InData(), &host->OutData()), PF_Err_NONE);
    EXPECT_TRUE(vtest::LedgersBalanced(*host));
}

}  // namespace
