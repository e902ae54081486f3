#include <gtest/gtest.h>

#include <QAction>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPixmap>
#include <QPixmapCache>

#include "app/shell/AppDelegate.h"
#include "app/shell/DeviceListWindow.h"
#include "app/shell/LaunchAtLoginController.h"
#include "app/shell/MainMenu.h"
#include "app/shell/OVPreferenceController.h"
#include "app/shell/OVIntroWindowController.h"
#include "app/shell/Reachability.h"
#include "platform/NotificationCenter.h"
#include "QtWait.h"
#include "ShellTestSupport.h"
#include "usbwatch/InstanceLock.h"

namespace orv {
namespace {

using test::FakeDeviceWindow;
using test::makeDevice;

class AppDelegateTest : public ::testing::Test {
protected:
    AppDelegateTest()
    {
        mtpLedger_->attached = {{1, 5}, {1, 6}, {2, 7}};
        watcher_ = OVUSBDeviceManager::create({backend_, [](std::function<void()> f) { f(); },
                                               [](std::function<void()> f) { f(); },
                                               {},
                                               ORVANE_SOURCE_DIR "/resources",
                                               [](const std::string&) {},
                                               [](const std::string&) {},
                                               std::chrono::milliseconds(1000)});
    }
    ~AppDelegateTest() override
    {
        delegate_.reset();
        watcher_->stopWatching();
    }

    AppDelegate& launch(QStringList arguments = {QStringLiteral("Orvane")})
    {
        AppDelegate::Environment env;
        env.scheduler = &clock_;
        env.windowFactory = [this](DeviceWindowHost& host) {
            auto window = std::make_shared<FakeDeviceWindow>(host, clock_);
            windows_.push_back(window);
            return window;
        };
        env.usbWatcher = [this] { return watcher_; };
        env.mtpBackend = std::make_unique<test::FakeMtpBackend>(mtpLedger_);
        env.killAdb = [this] { ++adbKills_; };
        env.makeReachability = [this] {
            return Reachability::withBackend(std::make_unique<test::FakeReachabilityBackend>(reach_));
        };
        env.agent = &agent_;
        env.autostartFolder = home_.path("config") + "/autostart";
        env.appsPlistPath = ORVANE_SOURCE_DIR "/resources/apps.plist";
        env.arguments = arguments;
        delegate_ = std::make_unique<AppDelegate>(std::move(env));
        result_ = delegate_->applicationDidFinishLaunching();
        return *delegate_;
    }

    // Launch, then let the 1.8 s pass so the USB watch runs.
    AppDelegate& launchAndWatch()
    {
        launch();
        clock_.advance(1.8);
        return *delegate_;
    }

    // The watcher lists the device, then reports it.
    void plug(const std::shared_ptr<OVUSBDevice>& device)
    {
        auto list = watcher_->devices();
        list.push_back(device);
        watcher_->setDevices(list);
        delegate_->didUSDDeviceAdded(device);
    }
    // The watcher reports the removal, then drops the device.
    void unplug(const std::shared_ptr<OVUSBDevice>& device)
    {
        delegate_->didUSDDeviceRemoved(device);
        auto list = watcher_->devices();
        std::erase(list, device);
        watcher_->setDevices(list);
    }
    size_t openWindows() const { return delegate_->allControllers().size(); }
    std::shared_ptr<FakeDeviceWindow> lastWindow() const { return windows_.empty() ? nullptr : windows_.back(); }

    test::PrivateHome home_;
    test::VirtualScheduler clock_;
    test::FakeDialogs dialogs_;
    test::FakeAgent agent_;
    std::shared_ptr<test::FakeMtpBackend::Ledger> mtpLedger_ = std::make_shared<test::FakeMtpBackend::Ledger>();
    std::shared_ptr<test::FakeReachabilityBackend::State> reach_ =
        std::make_shared<test::FakeReachabilityBackend::State>();
    std::shared_ptr<test::QuietUsbBackend> backend_ = std::make_shared<test::QuietUsbBackend>();
    std::shared_ptr<OVUSBDeviceManager> watcher_;
    std::vector<std::shared_ptr<FakeDeviceWindow>> windows_;
    int adbKills_ = 0;
    std::unique_ptr<AppDelegate> delegate_;
    AppDelegate::LaunchResult result_{};
};

TEST_F(AppDelegateTest, LaunchRunsItsStepsAndStartsTheWatchAfterTheDelay)
{
    AppDelegate& app = launch();
    EXPECT_EQ(result_, AppDelegate::LaunchResult::Launched);
    EXPECT_EQ(adbKills_, 1);
    EXPECT_TRUE(app.connectionOK());
    EXPECT_FALSE(app.appIcons().isEmpty());
    ASSERT_TRUE(app.window());
    EXPECT_EQ(app.window()->windowTitle(), "Orvane - Devices List");
    EXPECT_FALSE(app.window()->isVisible());
    ASSERT_TRUE(app.introWindowController());
    EXPECT_TRUE(app.introWindowController()->window()->isVisible());
    EXPECT_EQ(dialogs_.questions, 0);  // first launch is behind us

    clock_.advance(1.79);
    EXPECT_EQ(backend_->watchCalls, 0);
    clock_.advance(0.02);
    EXPECT_GT(backend_->watchCalls, 0);
    EXPECT_DOUBLE_EQ(app.launchTime(), clock_.now() - 0.01);

    app.applicationWillTerminate();
    EXPECT_EQ(adbKills_, 2);
}

TEST_F(AppDelegateTest, SecondCopyShowsTheAlertAndKillsNothing)
{
    std::unique_ptr<usb::InstanceLock> firstCopy;
    ASSERT_EQ(usb::InstanceLock::tryAcquire(usb::kApplicationLockName, firstCopy),
              usb::InstanceLock::Status::Acquired);
    AppDelegate& app = launch({"Orvane", "-s", "abc:16777216:5"});
    EXPECT_EQ(result_, AppDelegate::LaunchResult::AnotherCopyRunning);
    ASSERT_EQ(dialogs_.alerts.size(), 1u);
    EXPECT_EQ(dialogs_.alerts[0].first, "Another copy of Orvane is already running.");
    EXPECT_EQ(dialogs_.alerts[0].second, "This copy will now quit.");
    EXPECT_EQ(adbKills_, 0);
    EXPECT_EQ(agent_.kills, 0);
    EXPECT_TRUE(app.allControllers().empty());
    EXPECT_TRUE(usb::InstanceLock::isHeld(usb::kApplicationLockName));
}

TEST_F(AppDelegateTest, LaunchArgumentOpensTheDeviceOnlyInItsExactShape)
{
    struct Case {
        QStringList arguments;
        std::string serial;  // empty: nothing opened
        int64_t location;
        uint16_t address;
    } cases[] = {
        {{"Orvane", "-s", "R58M:16842752:5"}, "R58M", 16842752, 5},
        {{"Orvane", "-s", "R58M:x12:70000", "-s", "other:1:1"}, "R58M", 0, uint16_t(70000 & 0xFFFF)},
        {{"Orvane", "-s", "R58M:16842752"}, "", 0, 0},
        {{"Orvane", "-s", "a:b:c:d"}, "", 0, 0},
        {{"Orvane", "-s"}, "", 0, 0},
        {{"Orvane", "R58M:1:2"}, "", 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.arguments.join(' ').toStdString());
        windows_.clear();
        agent_.kills = agent_.launches = 0;
        AppDelegate& app = launch(c.arguments);
        EXPECT_EQ(app.launchSerialNum(), c.serial);
        if (c.serial.empty()) {
            EXPECT_TRUE(app.allControllers().empty());
            EXPECT_EQ(agent_.kills, 1);  // started by the user: the agent is restarted per the preference
            continue;
        }
        ASSERT_EQ(app.allControllers().size(), 1u);
        const auto device = lastWindow()->device();
        EXPECT_EQ(lastWindow()->serialNumber(), c.serial);
        EXPECT_EQ(device->locationId(), c.location);
        EXPECT_EQ(device->addressId(), c.address);
        EXPECT_FALSE(app.introWindowController() && app.introWindowController()->window()->isVisible());
        // Started by the agent: the agent is neither killed nor relaunched.
        EXPECT_EQ(agent_.kills, 0);
        EXPECT_EQ(agent_.launches, 0);
        delegate_.reset();
    }
}

TEST_F(AppDelegateTest, OneWindowPerPhone)
{
    launchAndWatch();
    clock_.advance(2);
    const auto first = makeDevice(0x01000000, 5, "AAA", clock_.now());
    delegate_->openDevice(first);
    ASSERT_EQ(openWindows(), 1u);
    EXPECT_FALSE(delegate_->introWindowController()->window()->isVisible());

    struct Case {
        const char* what;
        std::shared_ptr<OVUSBDevice> device;
        size_t windowsAfter;
    } cases[] = {
        {"same location, visible window", makeDevice(0x01000000, 9, "OTHER", 0), 1},
        {"no serial number", makeDevice(0x02000000, 7, "", 0), 1},
        {"same serial elsewhere", makeDevice(0x03000000, 8, "AAA", 0), 1},
        {"a new phone", makeDevice(0x01100000, 6, "BBB", 0), 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        delegate_->openDevice(c.device);
        EXPECT_EQ(openWindows(), c.windowsAfter);
    }
    // Both windows name their phones; the second was cascaded from the first.
    EXPECT_EQ(windows_[0]->titles.back(), true);
    EXPECT_EQ(windows_[1]->titles.back(), true);
    EXPECT_EQ(windows_[1]->window()->pos(), windows_[0]->window()->pos() + QPoint(22, 22));

    // Closing one leaves the other with the application's title.
    clock_.advance(1);
    windows_[1]->closeThisWindow(nullptr);
    EXPECT_EQ(openWindows(), 1u);
    EXPECT_EQ(windows_[0]->titles.back(), false);
    EXPECT_FALSE(delegate_->hasWindowForSerial("BBB"));
}

TEST_F(AppDelegateTest, MtpHandleIsOpenedOnceAndReleasedWhenItsWindowCloses)
{
    launchAndWatch();
    clock_.advance(2);
    const auto phone = makeDevice(0x01000000, 5, "AAA", clock_.now());
    delegate_->openDevice(phone);
    delegate_->openDevice(phone);  // brought forward: signalled again
    delegate_->mtpSignaller().waitUntilIdle();
    EXPECT_EQ(delegate_->mtpSignaller().openHandleCount(), 1u);
    {
        std::lock_guard lock(mtpLedger_->mutex);
        EXPECT_EQ(mtpLedger_->initCalls, 1);
        EXPECT_EQ(mtpLedger_->opens.size(), 1u);  // the open phone keeps its one handle
    }
    clock_.advance(1);
    lastWindow()->closeThisWindow(nullptr);
    delegate_->mtpSignaller().waitUntilIdle();
    std::lock_guard lock(mtpLedger_->mutex);
    EXPECT_EQ(mtpLedger_->released, std::vector<uintptr_t>{1});
}

TEST_F(AppDelegateTest, AClosedWindowTakesTheStylesDrawingsWithIt)
{
    launchAndWatch();
    clock_.advance(2);
    delegate_->openDevice(makeDevice(0x01000000, 5, "AAA", clock_.now()));
    QPixmap drawing(8, 8);
    drawing.fill(Qt::gray);
    ASSERT_TRUE(QPixmapCache::insert(QStringLiteral("drawn-by-the-window"), drawing));
    clock_.advance(1);
    lastWindow()->closeThisWindow(nullptr);
    QPixmap found;
    EXPECT_TRUE(test::qtWaitUntil([&] { return !QPixmapCache::find(QStringLiteral("drawn-by-the-window"), &found); },
                                  std::chrono::seconds(10)));
}

// Arrival and removal timing, in virtual seconds after the watch started.
TEST_F(AppDelegateTest, ArrivalDuringTheFirstSecondsIsRetriedIfThePhoneIsStillThere)
{
    launchAndWatch();
    clock_.advance(0.5);
    const auto stays = makeDevice(0x01000000, 5, "AAA", clock_.now());
    const auto leaves = makeDevice(0x01100000, 6, "BBB", clock_.now());
    plug(stays);
    plug(leaves);
    EXPECT_EQ(openWindows(), 0u);
    clock_.advance(0.5);
    unplug(leaves);  // ignored now (too early) and gone before the retry
    clock_.advance(0.69);
    EXPECT_EQ(openWindows(), 0u);
    clock_.advance(0.02);
    ASSERT_EQ(openWindows(), 1u);
    EXPECT_EQ(lastWindow()->serialNumber(), "AAA");
    EXPECT_EQ(delegate_->window()->listButton()->count(), 1);
}

TEST_F(AppDelegateTest, RemovalGuardsHoldTheWindowOnlyWhileTheyLast)
{
    struct Case {
        const char* what;
        double openAt;       // after the watch started (arrivals then open at once)
        double recordAge;    // age of the record at removal
        double removeAfter;  // after the window opened
        bool comesBack;      // plugged in again before the guard ends
        bool openRightAfter; // window still open just after the removal
        bool openAtTheEnd;   // after every guard has passed
    } cases[] = {
        {"plain removal", 2.0, 5.0, 1.0, false, false, false},
        {"window younger than 0.5 s", 2.0, 5.0, 0.2, false, true, false},
        {"young window, phone back", 2.0, 5.0, 0.2, true, true, true},
        {"record younger than 0.3 s", 2.0, 0.1, 1.0, false, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        windows_.clear();
        launchAndWatch();
        watcher_->setDevices({});
        clock_.advance(c.openAt);
        auto phone = makeDevice(0x01000000, 5, "AAA", clock_.now());
        plug(phone);
        ASSERT_EQ(openWindows(), 1u);
        clock_.advance(c.removeAfter);
        phone->setCreateOn(clock_.now() - c.recordAge);
        unplug(phone);
        EXPECT_EQ(openWindows(), c.openRightAfter ? 1u : 0u);
        if (c.comesBack) {
            auto again = makeDevice(0x01000000, 5, "AAA", clock_.now());
            auto list = watcher_->devices();
            list.push_back(again);
            watcher_->setDevices(list);
        }
        clock_.advance(1.0);
        EXPECT_EQ(openWindows(), c.openAtTheEnd ? 1u : 0u);
        delegate_.reset();
    }
}

TEST_F(AppDelegateTest, RemovalInTheFirstSecondsClosesTheWindowOnceTheGuardEnds)
{
    // A phone given with -s opens before the watch; it leaves just after the
    // watch started.
    launch({"Orvane", "-s", "AAA:16777216:5"});
    ASSERT_EQ(openWindows(), 1u);
    clock_.advance(1.8);
    const auto record = makeDevice(16777216, 5, "AAA", clock_.now() - 5);
    watcher_->setDevices({record});
    clock_.advance(0.4);
    unplug(record);
    EXPECT_EQ(openWindows(), 1u);
    clock_.advance(0.81);
    EXPECT_EQ(openWindows(), 0u);
}

TEST_F(AppDelegateTest, PhoneClosedByHandStaysClosedUntilReplugged)
{
    launchAndWatch();
    clock_.advance(2);
    auto phone = makeDevice(0x01000000, 5, "AAA", clock_.now() - 1);
    plug(phone);
    clock_.advance(1);
    lastWindow()->closeThisWindow(delegate_.get());
    EXPECT_EQ(openWindows(), 0u);
    EXPECT_TRUE(delegate_->isManuallyRemoved(0x01000000));

    delegate_->didUSDDeviceAdded(phone);  // a repeated report
    EXPECT_EQ(openWindows(), 0u);
    unplug(phone);
    EXPECT_FALSE(delegate_->isManuallyRemoved(0x01000000));
    auto again = makeDevice(0x01000000, 6, "AAA", clock_.now());
    plug(again);
    EXPECT_EQ(openWindows(), 1u);
}

TEST_F(AppDelegateTest, IntroComesBackAfterTheLastWindowUnlessAnotherOpened)
{
    launchAndWatch();
    clock_.advance(2);
    auto intro = delegate_->introWindowController()->window();
    plug(makeDevice(0x01000000, 5, "AAA", clock_.now() - 1));
    EXPECT_FALSE(intro->isVisible());
    clock_.advance(1);
    lastWindow()->closeThisWindow(nullptr);
    clock_.advance(1.19);
    EXPECT_FALSE(intro->isVisible());
    clock_.advance(0.02);
    EXPECT_TRUE(intro->isVisible());

    plug(makeDevice(0x01100000, 6, "BBB", clock_.now() - 1));
    clock_.advance(1);
    lastWindow()->closeThisWindow(nullptr);
    plug(makeDevice(0x01200000, 7, "CCC", clock_.now() - 1));
    clock_.advance(1.3);
    EXPECT_FALSE(intro->isVisible());

    // With a device window open the intro is not shown on its own, but the
    // menu command still shows it.
    delegate_->showIntroWindow();
    EXPECT_FALSE(intro->isVisible());
    delegate_->quickguideAction();
    EXPECT_TRUE(intro->isVisible());
    intro->move(intro->pos() + QPoint(40, 0));
    const QPoint moved = intro->pos();
    delegate_->quickguideAction();  // already visible: left alone
    EXPECT_EQ(intro->pos(), moved);
}

// Takes the URLs the application asks the desktop to open.
class UrlRecorder : public QObject {
    Q_OBJECT
public:
    UrlRecorder() { QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "open"); }
    ~UrlRecorder() override { QDesktopServices::unsetUrlHandler(QStringLiteral("https")); }
    Q_INVOKABLE void open(const QUrl& url) { opened.push_back(url); }
    std::vector<QUrl> opened;
};

QWidget* visibleAboutPanel()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->objectName() == QLatin1String("AboutPanel") && widget->isVisible())
            return widget;
    return nullptr;
}

TEST_F(AppDelegateTest, EveryWindowCarriesTheMenuAndItsItemsReachTheirWindows)
{
    launchAndWatch();
    clock_.advance(2);
    plug(makeDevice(0x01000000, 5, "AAA", clock_.now() - 1));
    QWidget* deviceWindow = lastWindow()->window();
    QWidget* intro = delegate_->introWindowController()->window();
    for (QWidget* window : {deviceWindow, intro, static_cast<QWidget*>(delegate_->window())}) {
        ASSERT_NE(MainMenu::of(window), nullptr) << window->objectName().toStdString();
        EXPECT_EQ(MainMenu::attach(window, *delegate_), MainMenu::of(window));  // one bar per window
    }
    MainMenu* menu = MainMenu::of(deviceWindow);

    EXPECT_FALSE(delegate_->window()->isVisible());
    menu->action("deviceListAction")->trigger();
    EXPECT_TRUE(delegate_->window()->isVisible());

    EXPECT_FALSE(intro->isVisible());
    menu->action("quickguideAction")->trigger();
    EXPECT_TRUE(intro->isVisible());

    QWidget* preferences = OVPreferenceController::shared().window();
    menu->action("preferenceAction")->trigger();
    EXPECT_TRUE(preferences->isVisible());
    preferences->hide();

    // The About panel leaves the application running and comes up once.
    menu->action("aboutAction")->trigger();
    menu->action("aboutAction")->trigger();
    QWidget* about = visibleAboutPanel();
    ASSERT_NE(about, nullptr);
    EXPECT_FALSE(about->isModal());
    int panels = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        panels += widget->objectName() == QLatin1String("AboutPanel");
    EXPECT_EQ(panels, 1);
    about->close();

    UrlRecorder browser;
    menu->action("helpAction")->trigger();
    ASSERT_EQ(browser.opened.size(), 1u);
    EXPECT_EQ(browser.opened[0], QUrl(AppDelegate::helpPageUrl()));
    EXPECT_TRUE(browser.opened[0].path().endsWith(QLatin1String("/apps/orvane")));
}

TEST_F(AppDelegateTest, ConnectOpensThePhoneThePopUpItemNames)
{
    launchAndWatch();
    clock_.advance(2);
    delegate_->connectAction();  // nothing listed
    EXPECT_EQ(openWindows(), 0u);

    auto a = makeDevice(0x01000000, 5, "AAA", clock_.now() - 1, "Alpha");
    auto b = makeDevice(0x01100000, 6, "BBB", clock_.now() - 1, "Beta");
    watcher_->setDevices({a, b});
    DeviceListWindow* list = delegate_->window();
    // The pop-up lists them in another order than the watcher.
    list->addItem("Beta 0x18d1 0x4ee7", b->locationId());
    list->addItem("Alpha 0x18d1 0x4ee7", a->locationId());
    list->listButton()->setCurrentIndex(0);
    delegate_->connectAction();
    ASSERT_EQ(openWindows(), 1u);
    EXPECT_EQ(lastWindow()->serialNumber(), "BBB");
}

TEST_F(AppDelegateTest, PopUpItemsAreTitledAndTaggedByTheWatcherList)
{
    launchAndWatch();
    clock_.advance(2);
    plug(makeDevice(0x01000000, 5, "AAA", clock_.now() - 1, "Alpha"));
    auto b = makeDevice(0x01100000, 6, "BBB", clock_.now() - 1, "Beta");
    plug(b);
    QComboBox* popUp = delegate_->window()->listButton();
    ASSERT_EQ(popUp->count(), 2);
    EXPECT_EQ(popUp->itemText(0), "Alpha 0x18d1 0x4ee7");
    EXPECT_EQ(popUp->itemData(1).toLongLong(), 0x01100000);
    clock_.advance(1);
    unplug(b);
    EXPECT_EQ(popUp->count(), 1);
}

TEST_F(AppDelegateTest, ReachabilityFollowsOnlyItsOwnNotifier)
{
    AppDelegate& app = launch();
    EXPECT_TRUE(app.connectionOK());
    reach_->flags = 0;
    int stranger = 0;
    NotificationCenter::defaultCenter().postNotificationName(Reachability::kChangedNotification, &stranger);
    EXPECT_TRUE(app.connectionOK());
    NotificationCenter::defaultCenter().postNotificationName(Reachability::kChangedNotification, app.internetReach());
    EXPECT_FALSE(app.connectionOK());
}

TEST_F(AppDelegateTest, FirstLaunchQuestionAnsweredNoLeavesNoLoginItem)
{
    Prefs::shared().remove(QStringLiteral("firstLaunchAt"));
    dialogs_.answerYes = false;
    AppDelegate& app = launch();
    EXPECT_EQ(dialogs_.questions, 1);
    EXPECT_FALSE(Prefs::shared().boolValue("launchAtLogin"));
    EXPECT_TRUE(Prefs::shared().hasStoredValue("firstLaunchAt"));
    EXPECT_TRUE(app.launchController()->agentItems().isEmpty());
    delegate_.reset();
    launch();
    EXPECT_EQ(dialogs_.questions, 1);
}

TEST_F(AppDelegateTest, LoginItemAndPreferenceFollowEachOther)
{
    Prefs::shared().remove(QStringLiteral("firstLaunchAt"));
    dialogs_.answerYes = true;
    AppDelegate& app = launch();
    LaunchAtLoginController& items = *app.launchController();
    EXPECT_TRUE(Prefs::shared().boolValue("launchAtLogin"));
    EXPECT_EQ(items.agentItems().size(), 1);
    EXPECT_GE(agent_.launches, 1);

    // The user removes the entry in the desktop's settings.
    clock_.advance(1);
    const int killsBefore = agent_.kills;
    QFile::remove(items.agentItems().first());
    ASSERT_TRUE(test::qtWaitUntil([] { return !Prefs::shared().boolValue("launchAtLogin"); }));
    EXPECT_GT(agent_.kills, killsBefore);
    EXPECT_TRUE(items.agentItems().isEmpty());

    // Within 0.2 s of that sync a list change leaves the preference alone.
    clock_.advance(0.1);
    items.setLaunchAtLogin(true, items.appURL());
    emit items.launchAtLoginChanged();
    EXPECT_FALSE(Prefs::shared().boolValue("launchAtLogin"));
}

}  // namespace
}  // namespace orv

#include "AppDelegateTest.moc"
