#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include "app/shell/AppIconTable.h"
#include "app/shell/PlistReader.h"

namespace orv {
namespace {

TEST(AppIconTableTest, SkipsNoIconItemsAndDropsPathsListedTwice)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("apps.plist");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"(<?xml version="1.0" encoding="UTF-8"?>
<plist version="1.0"><array>
  <dict><key>noicon</key><true/><key>path</key><array><string>Hidden</string></array></dict>
  <dict><key>name_en</key><string>Chat</string><key>id</key><string>org.chat</string>
        <key>path</key><array><string>  Chat/Media
</string><string>Shared </string></array></dict>
  <dict><key>name_en</key><string>Other</string><key>path</key><array><string>shared</string></array></dict>
  <dict><key>name_en</key><string>Twice</string><key>path</key><array><string>twice</string><string>TWICE</string></array></dict>
  <dict><key>name_en</key><string>Odd</string><key>path</key><array><integer>3</integer></array></dict>
</array></plist>)");
    file.close();

    const auto table = loadAppIcon(path);
    EXPECT_EQ(table.keys(), QStringList{"chat/media"});
    EXPECT_EQ(table.value("chat/media").value("id").toString(), "org.chat");

    EXPECT_TRUE(loadAppIcon(dir.filePath("missing.plist")).isEmpty());
    EXPECT_TRUE(appIconTableFrom(QVariantMap{{"path", "x"}}).isEmpty());
}

TEST(AppIconTableTest, ShippedResourceReads)
{
    const auto table = loadAppIcon(ORVANE_SOURCE_DIR "/resources/apps.plist");
    EXPECT_FALSE(table.isEmpty());
    for (auto it = table.begin(); it != table.end(); ++it) {
        EXPECT_EQ(it.key(), it.key().toLower().trimmed());
        EXPECT_TRUE(it.value().contains("name_en"));
    }
}

}  // namespace
}  // namespace orv
