#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>

#include "app/shell/Prefs.h"

namespace orv {
namespace {

// Each case gets its own settings folder.
class PrefsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
        QCoreApplication::setApplicationName(QStringLiteral("Orvane"));
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, dir_.path());
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, dir_.path());
        Prefs::registerUserDefaults();
    }

    QTemporaryDir dir_;
    Prefs& prefs_ = Prefs::shared();
};

TEST_F(PrefsTest, RegistersTheTwelveDefaultsInOrder)
{
    const std::vector<std::pair<QString, QVariant>> expected = {
        {"DisableMemThumbnailCache", false}, {"DisableDiskThumbnailCache", false},
        {"UseWatchCommand", true},           {"InstallUncaughtExceptionHandler", true},
        {"InstallUncaughtSignalHandler", true}, {"ShowLeftBadge", true},
        {"ShowProgressFilePath", false},     {"launchAtLogin", false},
        {"ShowHiddenFiles", false},          {"UseSoundEffect", true},
        {"UseFaceDetection", true},          {"ShowProgressPanelDelay", 1.75},
    };
    const auto& registered = Prefs::registeredDefaults();
    ASSERT_EQ(registered.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(registered[i].first, expected[i].first);
        EXPECT_EQ(prefs_.value(expected[i].first).toString(), expected[i].second.toString()) << i;
        EXPECT_FALSE(prefs_.hasStoredValue(expected[i].first));
    }
    EXPECT_DOUBLE_EQ(prefs_.doubleValue("ShowProgressPanelDelay"), 1.75);
    EXPECT_FALSE(prefs_.value("firstLaunchAt").isValid());
}

TEST_F(PrefsTest, StoredValueWinsAndIsVisibleToPlainSettings)
{
    prefs_.setValue("ShowHiddenFiles", true);
    EXPECT_TRUE(prefs_.boolValue("ShowHiddenFiles"));
    EXPECT_TRUE(prefs_.hasStoredValue("ShowHiddenFiles"));
    // Code that reads QSettings directly sees it.
    QSettings direct;
    EXPECT_TRUE(direct.value("ShowHiddenFiles").toBool());

    prefs_.remove("ShowHiddenFiles");
    EXPECT_FALSE(prefs_.boolValue("ShowHiddenFiles"));
    EXPECT_FALSE(prefs_.hasStoredValue("ShowHiddenFiles"));
}

TEST_F(PrefsTest, ChangedFiresOnlyWhenTheValueChanges)
{
    QSignalSpy spy(&prefs_, &Prefs::changed);
    prefs_.setValue("UseSoundEffect", true);  // same as the default
    EXPECT_EQ(spy.count(), 0);
    prefs_.setValue("UseSoundEffect", false);
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.takeFirst().at(0).toString(), "UseSoundEffect");
    prefs_.setValue("UseSoundEffect", false);
    EXPECT_EQ(spy.count(), 0);
    prefs_.remove("UseSoundEffect");  // back to the default YES
    EXPECT_EQ(spy.count(), 1);
    prefs_.remove("UseSoundEffect");
    EXPECT_EQ(spy.count(), 1);
}

TEST_F(PrefsTest, EncodedKeyPartsStayOneFlatKey)
{
    struct Case {
        QString raw;
        QString encoded;
    } cases[] = {
        {"0123ABCdef", "0123ABCdef"},
        {"emulator-5554", "emulator-5554"},
        {"../a/b", "..%2Fa%2Fb"},
        {"a\\b c", "a%5Cb%20c"},
        {"50%", "50%25"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Prefs::encodeKeyPart(c.raw), c.encoded) << c.raw.toStdString();
        const QString key = "dev_" + Prefs::encodeKeyPart(c.raw) + "_photoBadge";
        prefs_.setValue(key, 7);
        QSettings direct;
        EXPECT_TRUE(direct.childKeys().contains(key)) << key.toStdString();
        EXPECT_TRUE(direct.childGroups().isEmpty());
    }
}

}  // namespace
}  // namespace orv
