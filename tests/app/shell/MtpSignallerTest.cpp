#include <gtest/gtest.h>

#include "app/shell/MtpSignaller.h"
#include "ShellTestSupport.h"

namespace orv {
namespace {

using Ledger = test::FakeMtpBackend::Ledger;

TEST(MtpSignallerTest, KeysAreBusAndAddressInHex)
{
    EXPECT_EQ(MtpSignaller::keyFor(1, 5), "01_05");
    EXPECT_EQ(MtpSignaller::keyFor(0x1a, 0x123), "1a_123");
}

TEST(MtpSignallerTest, EachPhoneHoldsOneHandleReleasedOnceByItsOwnClose)
{
    auto ledger = std::make_shared<Ledger>();
    ledger->attached = {{1, 5}, {2, 7}};
    {
        MtpSignaller signaller(std::make_unique<test::FakeMtpBackend>(ledger));
        signaller.sendMTPSignalToDevice(1, 5);
        signaller.sendMTPSignalToDevice(1, 5);   // open already: no second handle
        signaller.sendMTPSignalToDevice(2, 7);
        signaller.sendMTPSignalToDevice(3, 9);   // not an MTP device: nothing held
        signaller.waitUntilIdle();
        EXPECT_EQ(signaller.openHandleCount(), 2u);
        EXPECT_TRUE(signaller.holds("01_05"));

        signaller.closeMTPDevice(1, 5);
        signaller.closeMTPDevice(1, 5);  // nothing left to release
        signaller.closeMTPDevice(4, 4);  // never opened
        signaller.waitUntilIdle();
        std::lock_guard lock(ledger->mutex);
        EXPECT_EQ(ledger->initCalls, 1);
        EXPECT_EQ(ledger->released, std::vector<uintptr_t>{1});
    }
    // The rest goes when the signaller does.
    std::lock_guard lock(ledger->mutex);
    EXPECT_EQ(ledger->released, (std::vector<uintptr_t>{1, 2}));
}

TEST(MtpSignallerTest, MoreThanAHundredPhonesNeverShareAHandle)
{
    auto ledger = std::make_shared<Ledger>();
    for (uint16_t address = 1; address <= 101; ++address)
        ledger->attached.emplace_back(1, address);
    MtpSignaller signaller(std::make_unique<test::FakeMtpBackend>(ledger));
    for (uint16_t address = 1; address <= 101; ++address)
        signaller.sendMTPSignalToDevice(1, address);
    signaller.closeMTPDevice(1, 1);
    signaller.waitUntilIdle();
    EXPECT_EQ(signaller.openHandleCount(), 100u);
    std::lock_guard lock(ledger->mutex);
    EXPECT_EQ(ledger->released, std::vector<uintptr_t>{1});  // the first phone's own handle
}

TEST(MtpSignallerTest, RealLibmtpWithNoPhoneIsQuiet)
{
    MtpSignaller signaller(MtpBackend::libmtp());
    signaller.sendMTPSignalToDevice(250, 250);
    signaller.closeMTPDevice(250, 250);
    signaller.waitUntilIdle();
    EXPECT_EQ(signaller.openHandleCount(), 0u);
}

}  // namespace
}  // namespace orv
