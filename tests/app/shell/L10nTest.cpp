#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include "app/shell/L10n.h"
#include "app/toolkit/ToolkitText.h"
#include "core/bridge/facade/ADBError.h"
#include "core/bridge/facade/OVLocalization.h"

namespace orv {
namespace {

class L10nTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        L10n::setTable({});
        setLocalizedStringProvider({});
        setLocalizedTextProvider({});
    }

    QString writeFile(const QByteArray& bytes)
    {
        const QString path = dir_.filePath("table.json");
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        return path;
    }

    QTemporaryDir dir_;
};

TEST_F(L10nTest, MissingKeyShowsTheKeyAndFormatFillsPlaceholdersInOrder)
{
    L10n::setTable({{"Orvane - %@", "Orvane — %@"}, {"Two %@ and %@", "%@ then %@"}});
    EXPECT_EQ(L10n::text("No such key"), "No such key");
    EXPECT_EQ(L10n::format("Orvane - %@", {"Devices List"}), "Orvane — Devices List");
    EXPECT_EQ(L10n::format("Two %@ and %@", {"a", "b"}), "a then b");
    // Too few arguments leave the rest of the pattern as it is.
    EXPECT_EQ(L10n::format("Two %@ and %@", {"a"}), "a then %@");
    EXPECT_EQ(L10n::format("Missing %@", {"x"}), "Missing x");
}

TEST_F(L10nTest, ABadFileLeavesTheTableAsItWas)
{
    L10n::setTable({{"Yes", "Oui"}});
    for (const QByteArray& bytes : {QByteArray("not json"), QByteArray("[\"Yes\"]"), QByteArray("{\"Yes\": 3}")}) {
        EXPECT_FALSE(L10n::load(writeFile(bytes))) << bytes.constData();
        EXPECT_EQ(L10n::text("Yes"), "Oui");
    }
    EXPECT_FALSE(L10n::load(dir_.filePath("absent.json")));
    EXPECT_TRUE(L10n::load(writeFile("{\"Yes\": \"Ja\"}")));
    EXPECT_EQ(L10n::text("Yes"), "Ja");
}

TEST_F(L10nTest, InstalledTableReachesTheFrameworkIncludingItsFixedTexts)
{
    qputenv("ORVANE_RESOURCE_DIR", ORVANE_SOURCE_DIR "/resources");
    ASSERT_TRUE(L10n::install());
    qunsetenv("ORVANE_RESOURCE_DIR");

    // The framework keeps some texts in another language; the user reads English.
    EXPECT_EQ(localizedString("无效的参数", "fallback"), "Invalid argument");
    for (long code = 0; code <= 12; ++code) {
        const QString shown = L10n::text(QString::fromStdString(messageForCode(code)));
        EXPECT_FALSE(shown.contains(QRegularExpression("[\\x{4e00}-\\x{9fff}]"))) << code << shown.toStdString();
    }
    EXPECT_EQ(localizedString("not in the table", "fallback"), "fallback");
    // The toolkit's own words come from the same table.
    EXPECT_EQ(localizedText("LoadingPleaseWait"), QString::fromUtf8("Loading, please wait…"));
    EXPECT_EQ(localizedText("no such key"), "no such key");
    EXPECT_EQ(L10n::format("Another copy of %@ is already running.", {"Orvane"}),
              "Another copy of Orvane is already running.");
}

}  // namespace
}  // namespace orv
