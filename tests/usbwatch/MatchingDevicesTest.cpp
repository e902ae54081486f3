#include <gtest/gtest.h>

#include <filesystem>

#include "UsbTestSupport.h"
#include "usbwatch/MatchingDevices.h"

namespace orv::usb::testing {
namespace {

TEST(MatchingDevices, ReadsEntriesAndMakerVendors) {
    auto result = MatchingDevices::parse(plist({
        makerEntry({6353, 4660}),
        vendorEntry(6353),
        vendorEntry(4660, "<integer>17</integer>"),
        vendorEntry(70000),                                         // vendor out of range
        vendorEntry(6353, "<string>any</string>"),                  // product neither a number nor "*"
        matchingEntry("<key>idVendor</key><integer>1</integer><key>idProduct</key><integer>1</integer>"),
        "<dict><key>other</key><string>x</string></dict>",
    }));
    EXPECT_TRUE(result.problem.empty());
    EXPECT_EQ(result.makerVendorIds, (std::set<uint16_t>{4660, 6353}));
    ASSERT_EQ(result.entries.size(), 6u);
    ASSERT_TRUE(result.entries[0].spec);
    EXPECT_EQ(result.entries[0].spec->vendorId, 6353);
    EXPECT_FALSE(result.entries[0].spec->productId);
    ASSERT_TRUE(result.entries[1].spec);
    EXPECT_EQ(result.entries[1].spec->productId, 17);
    for (std::size_t i = 2; i < 6; ++i) EXPECT_FALSE(result.entries[i].spec) << i;
    EXPECT_EQ(result.entries[5].description, "(null)");
}

TEST(MatchingDevices, TheShippedResourceWatchesItsMakerVendor) {
    auto result = MatchingDevices::load(std::filesystem::path(ORVANE_SOURCE_DIR) / "resources" / kMatchingDevicesFile);
    ASSERT_TRUE(result.problem.empty()) << result.problem;
    ASSERT_FALSE(result.makerVendorIds.empty());
    ASSERT_FALSE(result.entries.empty());
    for (const auto& entry : result.entries) {
        ASSERT_TRUE(entry.spec) << entry.description;
        EXPECT_TRUE(result.makerVendorIds.count(entry.spec->vendorId)) << entry.description;
    }
}

TEST(MatchingDevices, AMissingOrBrokenFileIsAProblem) {
    TempDir dir;
    EXPECT_FALSE(MatchingDevices::load(dir.path() / "absent.plist").problem.empty());
    writeFile(dir.path() / "broken.plist", "<plist><array><dict>");
    EXPECT_FALSE(MatchingDevices::load(dir.path() / "broken.plist").problem.empty());
    writeFile(dir.path() / "dict.plist", "<plist version=\"1.0\"><dict/></plist>");
    EXPECT_FALSE(MatchingDevices::load(dir.path() / "dict.plist").problem.empty());
}

}  // namespace
}  // namespace orv::usb::testing
