// The device window against the simulated phone through the real device
// client: what a load shows, every connection-error panel the phone can
// cause and the retry, badges counted and remembered, pushed changes, and
// windows that close or go away while the phone still answers.

#include <gtest/gtest.h>

#include <QTest>

#include "QtWait.h"
#include "RecordingPane.h"
#include "app/shell/AdbProcesses.h"
#include "app/shell/ConnectionErrorTexts.h"
#include "app/shell/OVLeftDeviceView.h"
#include "app/shell/OVLeftSidebarButton.h"
#include "app/shell/OVMainWindowController.h"
#include "app/shell/Prefs.h"
#include "app/shell/Updater.h"
#include "core/bridge/facade/ADBError.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/facade/OVResources.h"
#include "phonesim/Simulator.h"
#include "tests/app/viewmodels/PrivateHome.h"
#include "tests/support/ReleasedWork.h"

namespace orv {
namespace {

test::PrivateHome home;
using test::qtWaitUntil;
using test::RecordingPane;

struct Host : DeviceWindowHost {
    void manuallyWindowControllerClose(DeviceWindow&) override {}
    void didMainWindowControllerClose(DeviceWindow&) override {}
};

struct CountingUpdater : Updater {
    void checkForUpdates(QWidget*) override { ++checks; }
    int checks = 0;
};

class WithPhone : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Prefs::registerUserDefaults();
        sim = phonesim::Simulator::start().release();
        setResourceDirectory(sim->resourceDir().string());
    }
    static void TearDownTestSuite()
    {
        test::settleReleasedWork();
        delete sim;
        sim = nullptr;
    }
    void SetUp() override
    {
        serial = sim->serial();
        for (const char* name : {"install-unknown-sources", "service-never-starts", "reset-always", "bad-gzip"})
            sim->misbehave(serial, name, false);
        sim->set(serial, "state", "device");
        sim->set(serial, "version", "1.0");
        sim->set(serial, "apk-version", "none");
        sim->set(serial, "reply-delay", "0");
        adb_processes::setKiller([this] { ++adbKills; });
        OVMainWindowController::setErrorPresenter([this](const Error& e, QWidget*) { presented.push_back(e.code); });
        Updater::setShared(&updater);
        RecordingPane::log().clear();
        RecordingPane::registerForAllPanes();
    }
    void TearDown() override
    {
        controller.reset();
        RecordingPane::unregister();
        Updater::setShared(nullptr);
        OVMainWindowController::setErrorPresenter({});
        adb_processes::setKiller({});
    }

    OVMainWindowController& open()
    {
        controller = std::make_unique<OVMainWindowController>(host);
        controller->loadWindow();
        controller->loadDeviceWithSerialNumber(serial);
        return *controller;
    }
    bool waitLoaded() { return qtWaitUntil([&] { return controller->didLoadDevice(); }, std::chrono::seconds(60)); }
    bool waitError() { return qtWaitUntil([&] { return controller->coreError().has_value(); }, std::chrono::seconds(60)); }
    OVLeftSidebarButton* button(int64_t index) { return controller->sidebar()->buttonForIndex(index); }

    static inline phonesim::Simulator* sim = nullptr;
    std::string serial;
    Host host;
    CountingUpdater updater;
    int adbKills = 0;
    std::vector<long> presented;
    std::unique_ptr<OVMainWindowController> controller;
};

TEST_F(WithPhone, ALoadShowsThePhoneAsItReportsItself)
{
    sim->set(serial, "name", "Kestrel Seven");
    sim->set(serial, "battery", "42");
    open();
    ASSERT_TRUE(waitLoaded());
    EXPECT_FALSE(controller->coreError());
    EXPECT_FALSE(controller->isGrayedOut());
    const auto& device = controller->client()->device();
    OVLeftDeviceView* card = controller->sidebar()->deviceView();
    EXPECT_EQ(card->deviceName(), QStringLiteral("Kestrel Seven"));
    EXPECT_EQ(card->batteryLevel(), 42);
    EXPECT_GT(device->totalSpace(), 0);
    EXPECT_EQ(card->totalSpace(), device->totalSpace());
    EXPECT_EQ(card->freeSpace(), device->freeSpace());
    EXPECT_FALSE(OVLeftDeviceView::diskSpaceText(card->totalSpace(), card->freeSpace()).isEmpty());
    EXPECT_FALSE(card->deviceImage().isNull());
    EXPECT_TRUE(card->drawEjectButton());
    controller->resetTitle(true);
    EXPECT_EQ(controller->window()->windowTitle(), QStringLiteral("Kestrel Seven"));

    // Photos comes first, and the badges are counted and remembered.
    ASSERT_TRUE(qtWaitUntil([&] { return controller->currentPane() && controller->currentPane() == controller->pane(0); }));
    EXPECT_TRUE(button(0)->isSelected());
    ASSERT_TRUE(qtWaitUntil([&] {
        for (int64_t i = 0; i < 5; ++i)
            if (button(i)->badge() < 0 || button(i)->isLoading())
                return false;
        return true;
    }, std::chrono::seconds(60)));
    EXPECT_GT(button(0)->badge(), 0);
    EXPECT_GT(button(4)->badge(), 0);
    const char* keys[] = {"photoBadge", "videoBadge", "audioBadge", "downloadBadge", "fileBadge"};
    for (int64_t i = 0; i < 5; ++i)
        EXPECT_EQ(Prefs::shared().stringValue(QStringLiteral("dev_%1_%2").arg(QString::fromStdString(serial), QLatin1String(keys[i]))),
                  QString::number(button(i)->badge()))
            << keys[i];
}

TEST_F(WithPhone, EveryConnectionErrorShowsItsPanel)
{
    struct Case {
        const char* name;
        std::function<void()> breakPhone;
        long code;
        bool killsAdb;
    };
    const Case cases[] = {
        {"unauthorised", [&] { sim->set(serial, "state", "unauthorized"); }, ADBErrorUnauthorized, false},
        {"offline", [&] { sim->set(serial, "state", "offline"); }, ADBErrorOffline, true},
        {"install refused", [&] { sim->misbehave(serial, "install-unknown-sources"); }, ADBErrorUnknownSources, false},
        {"no service", [&] { sim->misbehave(serial, "service-never-starts"); }, ADBErrorServiceNotStarted, false},
        {"application too old", [&] { sim->set(serial, "version", "1.1"); }, ADBErrorFrameworkTooOld, false},
        {"phone software too old", [&] { sim->set(serial, "version", "0.9"); }, ADBErrorROMTooOld, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SetUp();
        adbKills = 0;
        c.breakPhone();
        open();
        ASSERT_TRUE(waitError());
        EXPECT_EQ(controller->coreError()->code, c.code);
        const ConnectionErrorTexts texts = ConnectionErrorTexts::forCode(c.code);
        ConnectionErrorPanel* panel = controller->errorPanel();
        ASSERT_TRUE(panel);
        EXPECT_TRUE(panel->isVisible());
        EXPECT_EQ(panel->title(), texts.title);
        EXPECT_EQ(panel->explanation(), texts.explanation);
        EXPECT_EQ(panel->button()->isVisible(), !texts.button.isEmpty());
        EXPECT_EQ(panel->button()->text(), texts.button);
        EXPECT_EQ(adbKills, c.killsAdb ? 1 : 0);
        EXPECT_TRUE(controller->isGrayedOut());
        EXPECT_FALSE(controller->didLoadDevice());
        if (c.code == ADBErrorFrameworkTooOld) {
            panel->button()->click();
            EXPECT_EQ(updater.checks, 1);
            EXPECT_TRUE(controller->errorPanel());
        }
        sim->replug(serial);
    }
}

TEST_F(WithPhone, TheOtherCodesShareOnePanel)
{
    const ConnectionErrorTexts other = ConnectionErrorTexts::forCode(ADBErrorGeneric);
    EXPECT_TRUE(other.killsAdb);
    EXPECT_TRUE(other.button.isEmpty());
    for (long code : {0L, 1L, 2L, 4L, 10L, 11L, 12L, 99L, -1L}) {
        const ConnectionErrorTexts texts = ConnectionErrorTexts::forCode(code);
        EXPECT_EQ(texts.title, other.title) << code;
        EXPECT_EQ(texts.explanation, other.explanation) << code;
    }
    for (long code : {3L, 5L, 6L, 7L, 8L, 9L}) {
        EXPECT_NE(ConnectionErrorTexts::forCode(code).explanation, other.explanation) << code;
        EXPECT_FALSE(ConnectionErrorTexts::forCode(code).killsAdb) << code;
    }
    EXPECT_EQ(ConnectionErrorTexts::forCode(3).action, ConnectionErrorTexts::Action::Retry);
    EXPECT_EQ(ConnectionErrorTexts::forCode(8).action, ConnectionErrorTexts::Action::CheckForUpdate);
}

TEST_F(WithPhone, RetryLoadsOnceThePhoneIsAuthorised)
{
    sim->set(serial, "state", "unauthorized");
    open();
    ASSERT_TRUE(waitError());
    ASSERT_EQ(controller->coreError()->code, ADBErrorUnauthorized);
    // Still unauthorised: the retry shows the panel again, with the button back.
    controller->errorPanel()->button()->click();
    EXPECT_FALSE(controller->errorPanel()->button()->isEnabled());
    EXPECT_TRUE(controller->errorPanel()->gear()->isSpinning());
    ASSERT_TRUE(qtWaitUntil([&] { return controller->errorPanel()->button()->isEnabled(); }, std::chrono::seconds(60)));
    EXPECT_FALSE(controller->errorPanel()->gear()->isSpinning());
    EXPECT_FALSE(controller->didLoadDevice());

    sim->set(serial, "state", "device");
    controller->errorPanel()->button()->click();
    ASSERT_TRUE(waitLoaded());
    EXPECT_FALSE(controller->isGrayedOut());
    EXPECT_FALSE(controller->errorPanel());
}

TEST_F(WithPhone, ARetryForAnEjectedWindowDoesNotReload)
{
    sim->set(serial, "state", "unauthorized");
    open();
    ASSERT_TRUE(waitError());
    sim->set(serial, "state", "device");
    sim->clearLog();
    controller->errorPanel()->button()->click();
    controller->setDeviceEjected(true);
    // Past the retry's second, nothing asked the phone again.
    QElapsedTimer waited;
    waited.start();
    qtWaitUntil([&] { return waited.elapsed() > 1500; });
    EXPECT_TRUE(sim->log(serial, "adb").empty());
    EXPECT_FALSE(controller->didLoadDevice());
}

TEST_F(WithPhone, WindowsClosedOrGoneDuringTheLoadAreLeftAlone)
{
    // The phone answers slowly, so the load is still running at the close.
    sim->set(serial, "reply-delay", "1");
    for (bool destroy : {false, true}) {
        SCOPED_TRACE(destroy ? "window destroyed" : "window closed");
        open();
        controller->switchToView(3);  // a pane made while loading
        // Kept alive here, the client finishes the load and answers after the close.
        const std::shared_ptr<OVDeviceClient> client = controller->client();
        ASSERT_TRUE(qtWaitUntil([&] { return controller->canClose(); }));
        if (destroy)
            controller.reset();
        else
            controller->closeThisWindow(nullptr);
        ASSERT_TRUE(qtWaitUntil([&] { return !client->device()->friendlyName().empty(); }, std::chrono::seconds(60)));
        QElapsedTimer after;
        after.start();
        qtWaitUntil([&] { return after.elapsed() > 1000; }, std::chrono::seconds(5));
        EXPECT_EQ(RecordingPane::count("3:setDeviceDone"), 0);
        if (!destroy) {
            EXPECT_FALSE(controller->didLoadDevice());
            EXPECT_FALSE(controller->client());
            EXPECT_EQ(controller->sidebar()->deviceView()->deviceName(), QString());
        }
        controller.reset();
        RecordingPane::log().clear();
    }
}

TEST_F(WithPhone, PanesLearnThatThePhoneLoaded)
{
    open();
    controller->switchToView(3);  // Download, made while loading
    ASSERT_TRUE(waitLoaded());
    EXPECT_EQ(RecordingPane::count("3:setDeviceDone"), 1);
    controller->switchToView(1);  // made afterwards: told at once
    EXPECT_EQ(RecordingPane::count("1:setDeviceDone"), 1);
}

TEST_F(WithPhone, BadgesFromTheCacheErrorsAndSeparatePhones)
{
    open();
    ASSERT_TRUE(waitLoaded());
    // The load counts every row; let all of them finish before asking again.
    ASSERT_TRUE(qtWaitUntil([&] {
        for (int row = 0; row < 5; ++row)
            if (button(row)->isLoading()) return false;
        return button(0)->badge() >= 0;
    }, std::chrono::seconds(60)));
    const int64_t photos = button(0)->badge();

    // A saved count with the cache: shown at once, nothing asked.
    controller->saveInfo(QStringLiteral("0"), QStringLiteral("downloadBadge"));
    controller->reloadBadge(3, true, true, false);
    EXPECT_EQ(button(3)->badge(), 0);
    EXPECT_FALSE(button(3)->isLoading());

    // A failing count: the spinner stops, the error is presented, the badge and saved count stay.
    sim->misbehave(serial, "bad-gzip");
    controller->reloadBadge(0, true, false, false);
    EXPECT_TRUE(button(0)->isLoading());
    ASSERT_TRUE(qtWaitUntil([&] { return !button(0)->isLoading(); }, std::chrono::seconds(60)));
    EXPECT_EQ(presented.size(), 1u);
    EXPECT_EQ(controller->savedInfoForKey(QStringLiteral("photoBadge")), QString::number(photos));
    sim->misbehave(serial, "bad-gzip", false);

    // Another phone's counts are its own, whatever its serial holds.
    Host other;
    OVMainWindowController second(other);
    second.loadWindow();
    second.loadDeviceWithSerialNumber("usb/1\\2");
    EXPECT_TRUE(second.savedInfoForKey(QStringLiteral("photoBadge")).isNull());
    second.saveInfo(QStringLiteral("5"), QStringLiteral("photoBadge"));
    EXPECT_EQ(second.savedInfoForKey(QStringLiteral("photoBadge")), QStringLiteral("5"));
    EXPECT_EQ(controller->savedInfoForKey(QStringLiteral("photoBadge")), QString::number(photos));
    EXPECT_TRUE(Prefs::shared().hasStoredValue(QStringLiteral("dev_usb%2F1%5C2_photoBadge")));
}

TEST_F(WithPhone, PushedChangesReachTheCardAndTheBadges)
{
    open();
    ASSERT_TRUE(waitLoaded());
    ASSERT_TRUE(qtWaitUntil([&] { return controller->currentPane() == controller->pane(0); }));
    ASSERT_TRUE(qtWaitUntil([&] { return button(0)->badge() >= 0 && !button(0)->isLoading(); }, std::chrono::seconds(60)));
    const int64_t photos = button(0)->badge();

    sim->set(serial, "battery", "17");
    sim->set(serial, "screen-locked", "1");
    ASSERT_TRUE(qtWaitUntil([&] { return controller->sidebar()->deviceView()->batteryLevel() == 17; }, std::chrono::seconds(30)));
    ASSERT_TRUE(qtWaitUntil([&] { return controller->phoneLocked() == 1; }, std::chrono::seconds(30)));

    sim->putFile(serial, "/sdcard/DCIM/Camera/IMG_20990101_000000.jpg", std::string(2000, 'x'));
    ASSERT_TRUE(qtWaitUntil([&] { return RecordingPane::count("0:deviceLibraryCallback") > 0; }, std::chrono::seconds(30)));
    ASSERT_TRUE(qtWaitUntil([&] { return button(0)->badge() == photos + 1; }, std::chrono::seconds(30)));
}

}  // namespace
}  // namespace orv
