// Counting attached devices that the "matchingdevices" resource describes.

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "app/shell/AppDelegate.h"
#include "app/shell/MtpDeviceCount.h"

namespace orv {
namespace {

using mtp_device_count::UsbId;

QString matching(const QString& idVendor, const QString& idProduct)
{
    QString entry = QStringLiteral("<dict><key>matchingDictionary</key><dict>");
    if (!idVendor.isEmpty())
        entry += QStringLiteral("<key>idVendor</key>") + idVendor;
    if (!idProduct.isEmpty())
        entry += QStringLiteral("<key>idProduct</key>") + idProduct;
    return entry + QStringLiteral("</dict></dict>");
}

QString writePlist(const QTemporaryDir& dir, const QStringList& entries)
{
    const QString path = dir.filePath(QStringLiteral("matchingdevices.plist"));
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(("<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><array>" + entries.join("") +
                "<dict><key>makerVendorIds</key><array><integer>6353</integer></array></dict></array></plist>")
                   .toUtf8());
    return path;
}

TEST(MtpDeviceCountTest, KeysComeFromEntriesWithBothIds)
{
    QTemporaryDir dir;
    const QString path = writePlist(
        dir, {matching("<integer>6353</integer>", "<string>*</string>"),
              matching("<integer>1256</integer>", "<integer>26720</integer>"),
              matching("<integer>4321</integer>", ""),             // no product: not a key
              matching("", "<integer>1</integer>"),                // no vendor: not a key
              matching("<integer>65537</integer>", "<integer>65538</integer>"),  // cut to 16 bits
              matching("<string>2belong</string>", "<string>7</string>")});      // strings read as numbers
    EXPECT_EQ(mtp_device_count::matchingKeys(path),
              (std::set<std::string>{"18d1:*", "04e8:6860", "0001:0002", "0002:0007"}));
    EXPECT_TRUE(mtp_device_count::matchingKeys(dir.filePath("absent.plist")).empty());
}

TEST(MtpDeviceCountTest, CountsExactMatchesAndVendorWildcardsOncePerDevice)
{
    const std::set<std::string> keys{"18d1:*", "18d1:4ee7", "04e8:6860"};
    struct Case {
        const char* what;
        std::vector<UsbId> attached;
        int count;
    } cases[] = {
        {"nothing attached", {}, 0},
        {"a product of a wildcard vendor", {{0x18d1, 0x1234}}, 1},
        {"exact and wildcard key: counted once", {{0x18d1, 0x4ee7}}, 1},
        {"exact key only", {{0x04e8, 0x6860}}, 1},
        {"other product of an exact-only vendor", {{0x04e8, 0x6861}}, 0},
        {"a mix", {{0x18d1, 1}, {0x1d6b, 2}, {0x04e8, 0x6860}, {0x18d1, 2}}, 3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(mtp_device_count::countMatching(keys, c.attached), c.count) << c.what;
}

TEST(MtpDeviceCountTest, DelegateCountsWhatTheResourceFolderDescribes)
{
    // Whatever this machine has attached: a resource naming every vendor seen
    // counts them all; an empty resource counts none.
    const auto attached = mtp_device_count::attachedUsbDevices();
    QTemporaryDir dir;
    QStringList entries;
    for (const UsbId& id : attached.value_or(std::vector<UsbId>{}))
        entries << matching(QStringLiteral("<integer>%1</integer>").arg(id.vendorId), QStringLiteral("<string>*</string>"));
    writePlist(dir, entries);
    qputenv("ORVANE_RESOURCE_DIR", dir.path().toUtf8());
    AppDelegate delegate;
    EXPECT_EQ(delegate.numberOfMTPDevices(), attached ? int(attached->size()) : 0);
    writePlist(dir, {});
    EXPECT_EQ(delegate.numberOfMTPDevices(), 0);
    qunsetenv("ORVANE_RESOURCE_DIR");
}

}  // namespace
}  // namespace orv
