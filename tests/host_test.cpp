// The reference host's own bookkeeping: which host is current, and the ledgers
// that tell whether every suite, pen and path came back.
#include "tests/TestSupport.h"

namespace {

TEST(Host, CurrentHostNestsAndRestores) {
    auto outer = vtest::NewHost();
    auto inner = vtest::NewHost();
    EXPECT_EQ(vhost::Host::Current(), nullptr);
    {
        vhost::ScopedCurrentHost a(*outer);
        {
            vhost::ScopedCurrentHost b(*inner);
            EXPECT_EQ(vhost::Host::Current(), inner.get());
            ASSERT_EQ(inner->About(), PF_Err_NONE);
            EXPECT_EQ(vhost::Host::Current(), inner.get());
        }
        EXPECT_EQ(vhost::Host::Current(), outer.get());
    }
    EXPECT_EQ(vhost::Host::Current(), nullptr);
    EXPECT_EQ(outer->Suites().TotalAcquires(), 0);
}

TEST(Host, LedgerFlagsStrayAndMissingReleases) {
    vhost::SuiteLedger ledger;
    ledger.Acquired("A", 1);
    EXPECT_FALSE(ledger.Balanced());
    ledger.Released("A", 1);
    EXPECT_TRUE(ledger.Balanced());
    ledger.Released("A", 1);  // not held any more
    EXPECT_FALSE(ledger.Balanced());
    EXPECT_EQ(ledger.Problems().size(), 1u);
    ledger.Reset();
    ledger.Acquired("A", 1);
    ledger.Released("A", 2);  // other version
    EXPECT_FALSE(ledger.Balanced());

    vhost::ObjectLedger objects;
    const int pen = objects.Created(vhost::ObjectLedger::Kind::Pen);
    EXPECT_TRUE(objects.Retained(pen));
    EXPECT_TRUE(objects.Released(pen));
    EXPECT_FALSE(objects.Balanced());
    EXPECT_TRUE(objects.Released(pen));
    EXPECT_TRUE(objects.Balanced());
    EXPECT_FALSE(objects.Released(pen));
    EXPECT_FALSE(objects.Balanced());
    EXPECT_EQ(objects.CreatedCount(vhost::ObjectLedger::Kind::Pen), 1);
}

// A suite given back twice through the host's own basic suite is a stray
// release the ledger names, though the count of releases may look balanced.
TEST(Host, ASecondReleaseThroughTheHostIsReported) {
    auto host = vtest::NewHost();
    vhost::ScopedCurrentHost current(*host);
    const SPBasicSuite* basic = host->InData().pica_basicP;
    const void* suite = nullptr;
    ASSERT_EQ(basic->AcquireSuite(kPFANSISuite, 1, &suite), kSPNoError);
    EXPECT_EQ(basic->ReleaseSuite(kPFANSISuite, 1), kSPNoError);
    EXPECT_TRUE(vtest::LedgersBalanced(*host));
    basic->ReleaseSuite(kPFANSISuite, 1);
    EXPECT_NE(host->LedgerReport().find("released without being held"), std::string::npos) << host->LedgerReport();
}

}  // namespace
