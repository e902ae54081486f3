#include "app/shell/AppDelegate.h"

#include <QApplication>
#include <QDateTime>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPixmapCache>
#include <QScreen>
#include <QUrl>
#include <cstdio>

#include "app/shell/AgentControl.h"
#include "app/shell/AppIconTable.h"
#include "app/shell/CrashHandlers.h"
#include "app/shell/DeviceListWindow.h"
#include "app/shell/L10n.h"
#include "app/shell/LaunchAtLoginController.h"
#include "app/shell/LaunchSerialArgument.h"
#include "app/shell/MainMenu.h"
#include "app/shell/MtpDeviceCount.h"
#include "app/shell/MtpSignaller.h"
#include "app/shell/OVIntroWindowController.h"
#include "app/shell/OVPreferenceController.h"
#include "app/shell/OVMainWindowController.h"
#include "app/shell/Prefs.h"
#include "app/shell/ProcessList.h"
#include "app/shell/Reachability.h"
#include "app/shell/ShellDialogs.h"
#include "app/shell/ShellScheduler.h"
#include "app/shell/WindowPlacement.h"
#include "app/viewmodels/OVAppFolderTable.h"
#include "platform/NotificationCenter.h"
#include "usbwatch/InstanceLock.h"
#include "usbwatch/ProgramPaths.h"

namespace orv {

namespace {

constexpr double kUsbWatchDelay = 1.8;
constexpr double kArrivalGuard = 1.2;     // after the watch starts
constexpr double kMinimumRecordAge = 0.3;
constexpr double kWindowCloseGuard = 0.5;
constexpr double kIntroReturnDelay = 1.2;
constexpr double kLoginItemSyncGuard = 0.2;
constexpr int kCascadeOffset = 22;

QString resourcePath(const char* name)
{
    return QString::fromStdString((usb::resourceDirectory() / name).string());
}

QString popUpTitle(const OVUSBDevice& device)
{
    return QString::asprintf("%s 0x%x 0x%x", device.name().c_str(), unsigned(device.venderId()),
                             unsigned(device.productId()));
}

}  // namespace

// The watcher holds its delegate by shared_ptr; this one forwards to the
// application delegate while that exists.
class AppDelegate::UsbDelegate final : public OVUSBDeviceManagerDelegate {
public:
    explicit UsbDelegate(AppDelegate* owner) : owner_(owner) {}
    void didUSDDeviceAdded(const std::shared_ptr<OVUSBDevice>& device) override
    {
        if (owner_)
            owner_->didUSDDeviceAdded(device);
    }
    void didUSDDeviceRemoved(const std::shared_ptr<OVUSBDevice>& device) override
    {
        if (owner_)
            owner_->didUSDDeviceRemoved(device);
    }

private:
    QPointer<AppDelegate> owner_;
};

AppDelegate::AppDelegate() : AppDelegate(Environment{}) {}

AppDelegate::AppDelegate(Environment environment, QObject* parent)
    : QObject(parent),
      env_(std::move(environment)),
      scheduler_(env_.scheduler ? env_.scheduler : &ShellScheduler::real()),
      agent_(env_.agent ? env_.agent : &AgentControl::system())
{
    if (!env_.windowFactory)
        env_.windowFactory = OVMainWindowController::factory();
    if (!env_.killAdb) {
        env_.killAdb = [] { killProcessesOfExecutable(resourcePath("adb")); };
    }
}

AppDelegate::~AppDelegate()
{
    NotificationCenter::defaultCenter().removeObserver(this);
    OVAppFolderTable::setConnectionCheck({});
    if (watcher_ && !env_.usbWatcher)
        watcher_->stopWatching();
    allControllers_.clear();
    closedControllers_.clear();
    delete aboutPanel_.data();
    delete window_.data();
}

std::shared_ptr<OVUSBDeviceManager> AppDelegate::watcher()
{
    if (!watcher_)
        watcher_ = env_.usbWatcher ? env_.usbWatcher() : OVUSBDeviceManager::sharedInstance();
    return watcher_;
}

AppDelegate::LaunchResult AppDelegate::applicationDidFinishLaunching()
{
    Prefs& prefs = Prefs::shared();
    // 1, 2: crash reports, unless switched off.
    if (prefs.boolValue(QStringLiteral("InstallUncaughtExceptionHandler")))
        crash_handlers::installUncaughtExceptionHandler();
    if (prefs.boolValue(QStringLiteral("InstallUncaughtSignalHandler")))
        crash_handlers::installUncaughtSignalHandler(env_.signalsQuitCleanly);

    // 3: one copy per user. The lock is the one the agent checks before it
    // starts the application. A refused copy kills nothing on its way out:
    // the adb processes belong to the copy that runs.
    std::string lockError;
    if (usb::InstanceLock::tryAcquire(usb::kApplicationLockName, instanceLock_, &lockError) ==
        usb::InstanceLock::Status::HeldElsewhere) {
        const QString name = QCoreApplication::applicationName().isEmpty() ? QStringLiteral("Orvane")
                                                                           : QCoreApplication::applicationName();
        // Also said where a terminal sees it: the alert may be on another
        // screen, or on none when no display is reachable.
        std::fprintf(stderr, "%s: another copy is already running; this copy quits\n", qPrintable(name));
        ShellDialogs::current().showAlert(L10n::format("Another copy of %@ is already running.", {name}),
                                          L10n::text("This copy will now quit."));
        return LaunchResult::AnotherCopyRunning;
    }

    // 4, 5.
    loadAppIcon();
    mtp_ = std::make_unique<MtpSignaller>(env_.mtpBackend ? std::move(env_.mtpBackend) : MtpBackend::libmtp());

    // 6: reachability.
    NotificationCenter::defaultCenter().addObserver(
        this,
        [this](const Notification& notification) {
            if (internetReach_ && notification.object == internetReach_.get())
                connectionOK_ = internetReach_->currentReachabilityStatus() != Reachability::NotReachable;
        },
        Reachability::kChangedNotification);
    internetReach_ = env_.makeReachability ? env_.makeReachability() : Reachability::reachabilityForInternetConnection();
    if (internetReach_) {
        internetReach_->startNotifier();
        connectionOK_ = internetReach_->currentReachabilityStatus() != Reachability::NotReachable;
    }
    QPointer<AppDelegate> self(this);
    OVAppFolderTable::setConnectionCheck([self] { return self && self->connectionOK_; });

    // 7.
    env_.killAdb();

    // 9 comes before 8 here only in that the window must exist for the
    // pop-up; it is prepared exactly as the list says.
    window_ = new DeviceListWindow;
    window_->setWindowTitle(L10n::format("Orvane - %@", {L10n::text("Devices List")}));
    window_->adjustSize();
    centreOnScreen(window_);
    window_->removeAllItems();
    connect(window_, &DeviceListWindow::connectAction, this, &AppDelegate::connectAction);
    MainMenu::attach(window_, *this);

    // 8.
    takeLaunchArgument();

    // 10.
    launchController_ = std::make_unique<LaunchAtLoginController>(
        env_.autostartFolder.isEmpty() ? LaunchAtLoginController::defaultAutostartFolder() : env_.autostartFolder);
    launchController_->setHide(true);
    launchController_->setAppURL(agent_->agentUrl());
    startLaunchAtLoginObservations();

    // 11.
    if (!prefs.hasStoredValue(QStringLiteral("firstLaunchAt")))
        askFirstLaunchQuestion();

    // 12.
    showIntroWindow();

    // 13.
    scheduler_->after(kUsbWatchDelay, this, [this] {
        launchTime_ = scheduler_->now();
        startUsbWatch();
    });
    return LaunchResult::Launched;
}

void AppDelegate::startUsbWatch()
{
    usbDelegate_ = std::make_shared<UsbDelegate>(this);
    if (auto manager = watcher())
        manager->startWatchingForUSDDevices(usbDelegate_);
}

void AppDelegate::takeLaunchArgument()
{
    const QStringList arguments = env_.arguments.isEmpty() ? QCoreApplication::arguments() : env_.arguments;
    const auto argument = LaunchSerialArgument::parse(arguments);
    if (!argument) {
        if (arguments.contains(QStringLiteral("-s")))
            std::fprintf(stderr, "Orvane: ignoring a malformed -s argument\n");
        return;
    }
    launchSerialNum_ = argument->serialNumber;
    auto device = std::make_shared<OVUSBDevice>(argument->locationId);
    device->setAddressId(argument->addressId);
    device->setProperties({{OVUSBDevice::kSerialNumberKey, launchSerialNum_}});
    openDevice(device);
}

void AppDelegate::loadAppIcon()
{
    appIcons_ = orv::loadAppIcon(env_.appsPlistPath.isEmpty() ? resourcePath("apps.plist") : env_.appsPlistPath);
    OVAppFolderTable::setEntries(appIcons_);
}

void AppDelegate::applicationWillTerminate() { env_.killAdb(); }

bool AppDelegate::applicationShouldHandleReopen(bool hasVisibleWindows)
{
    if (!hasVisibleWindows)
        showIntroWindow();
    return true;
}

// ---- device windows -------------------------------------------------------

void AppDelegate::activateApplication()
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (widget->isVisible()) {
            widget->raise();
            widget->activateWindow();
        }
    }
    emit activated();
}

void AppDelegate::openDevice(const std::shared_ptr<OVUSBDevice>& device)
{
    if (!device)
        return;
    // Signalling comes first, whatever follows.
    if (mtp_)
        mtp_->sendMTPSignalToDevice(device->busLocation(), device->addressId());

    QMutexLocker locker(&lock_);
    for (const auto& controller : allControllers_) {
        QWidget* window = controller->window();
        if (controller->locationId() == device->locationId() && window && window->isVisible()) {
            activateApplication();
            return;
        }
    }
    const auto serial = device->serialNumber();
    if (!serial || serial->empty() || serialDict_.count(*serial)) {
        activateApplication();
        return;
    }
    serialDict_.insert(*serial);
    if (introWindowController_)
        introWindowController_->window()->hide();

    std::shared_ptr<DeviceWindow> controller = env_.windowFactory(*this);
    controller->setDevice(device);
    controller->setLocationId(device->locationId());
    controller->loadWindow();
    MainMenu::attach(controller->window(), *this);
    if (!allControllers_.empty()) {
        QWidget* last = allControllers_.back()->window();
        if (last && controller->window())
            controller->window()->move(last->frameGeometry().topLeft() + QPoint(kCascadeOffset, kCascadeOffset));
    }
    allControllers_.push_back(controller);
    controller->loadDeviceWithSerialNumber(*serial);
    const bool several = allControllers_.size() > 1;
    for (const auto& each : allControllers_)
        each->resetTitle(several);
    activateApplication();
}

bool AppDelegate::watcherHolds(const std::shared_ptr<OVUSBDevice>& device) const
{
    if (!watcher_)
        return false;
    for (const auto& listed : watcher_->devices()) {
        if (listed == device)
            return true;
    }
    return false;
}

bool AppDelegate::watcherHoldsLocation(int64_t locationId) const
{
    if (!watcher_)
        return false;
    for (const auto& listed : watcher_->devices()) {
        if (listed->locationId() == locationId)
            return true;
    }
    return false;
}

void AppDelegate::rebuildDeviceList()
{
    if (!window_)
        return;
    window_->removeAllItems();
    if (!watcher_)
        return;
    for (const auto& listed : watcher_->devices())
        window_->addItem(popUpTitle(*listed), listed->locationId());
}

void AppDelegate::didUSDDeviceAdded(const std::shared_ptr<OVUSBDevice>& device)
{
    if (scheduler_->now() - launchTime_ < kArrivalGuard) {
        // Retried once the guard has passed, if the phone is still there.
        scheduler_->after(kArrivalGuard, this, [this, device] {
            if (watcherHolds(device))
                didUSDDeviceAdded(device);
        });
        return;
    }
    if (manualRemovedLocationIdDict_.count(device->locationId()))
        return;
    rebuildDeviceList();
    openDevice(device);
}

void AppDelegate::didUSDDeviceRemoved(const std::shared_ptr<OVUSBDevice>& device)
{
    const double now = scheduler_->now();
    if (now - launchTime_ < kArrivalGuard) {
        recheckRemovalAfter(launchTime_ + kArrivalGuard - now, device);
        return;
    }
    const double age = now - device->createOn();
    if (age < kMinimumRecordAge) {
        recheckRemovalAfter(kMinimumRecordAge - age, device);
        return;
    }
    closeWindowOfRemovedDevice(device);
}

void AppDelegate::recheckRemovalAfter(double seconds, const std::shared_ptr<OVUSBDevice>& device)
{
    scheduler_->after(seconds, this, [this, device] {
        if (!watcherHoldsLocation(device->locationId()))
            closeWindowOfRemovedDevice(device);
    });
}

void AppDelegate::closeWindowOfRemovedDevice(const std::shared_ptr<OVUSBDevice>& device)
{
    std::shared_ptr<DeviceWindow> found;
    for (const auto& controller : allControllers_) {
        if (controller->locationId() == device->locationId()) {
            found = controller;
            break;
        }
    }
    if (found) {
        if (!found->canClose()) {
            // The window refuses in its first half second; it closes once it
            // can, if the phone has not come back by then.
            recheckRemovalAfter(kWindowCloseGuard, device);
            return;
        }
        found->setDeviceEjected(true);
        found->closeThisWindow(nullptr);
    }
    if (window_)
        window_->removeItemWithTag(device->locationId());
    manualRemovedLocationIdDict_.erase(device->locationId());
}

void AppDelegate::manuallyWindowControllerClose(DeviceWindow& controller)
{
    manualRemovedLocationIdDict_.insert(controller.locationId());
}

void AppDelegate::didMainWindowControllerClose(DeviceWindow& controller)
{
    {
        QMutexLocker locker(&lock_);
        for (auto it = allControllers_.begin(); it != allControllers_.end(); ++it) {
            if (it->get() == &controller) {
                closedControllers_.push_back(*it);
                allControllers_.erase(it);
                break;
            }
        }
        serialDict_.erase(controller.serialNumber());
        if (auto device = controller.device(); device && mtp_)
            mtp_->closeMTPDevice(device->busLocation(), device->addressId());
    }
    // The window is still inside its own close: destroy it later.
    QMetaObject::invokeMethod(
        this,
        [this] {
            closedControllers_.clear();
            // The style keeps its drawings under the palette of the widget it
            // drew; widgets with a palette of their own (tables, outlines)
            // leave drawings that no later window asks for, which would stay
            // until Qt's cache filled. Windows still open draw theirs again once.
            QPixmapCache::clear();
        },
        Qt::QueuedConnection);

    if (!allControllers_.empty()) {
        const bool several = allControllers_.size() > 1;
        for (const auto& each : allControllers_)
            each->resetTitle(several);
    } else {
        scheduler_->after(kIntroReturnDelay, this, [this] { showIntroWindow(); });
    }
}

// ---- actions --------------------------------------------------------------

void AppDelegate::connectAction()
{
    // The selected item's tag names the device: the pop-up and the watcher's
    // list need not be in the same order.
    if (!window_)
        return;
    const auto tag = window_->selectedTag();
    if (!tag || !watcher_)
        return;
    for (const auto& listed : watcher_->devices()) {
        if (listed->locationId() == *tag) {
            openDevice(listed);
            return;
        }
    }
}

void AppDelegate::showIntroWindow()
{
    if (allControllers_.empty())
        quickguideAction();
}

void AppDelegate::quickguideAction()
{
    if (introWindowController_ && introWindowController_->window()->isVisible())
        return;
    QMutexLocker locker(&lock_);
    if (!introWindowController_) {
        introWindowController_ = std::make_unique<OVIntroWindowController>();
        MainMenu::attach(introWindowController_->window(), *this);
    }
    introWindowController_->showWindow();
    emit activated();
}

void AppDelegate::testuiAction()
{
    std::shared_ptr<DeviceWindow> controller = env_.windowFactory(*this);
    controller->loadWindow();
    if (QWidget* window = controller->window()) {
        MainMenu::attach(window, *this);
        window->show();
        window->raise();
    }
    allControllers_.push_back(controller);
}

void AppDelegate::preferenceAction()
{
    auto& controller = OVPreferenceController::shared();
    controller.showWindow();
    if (QWidget* window = controller.window()) {
        window->raise();
        window->activateWindow();
    }
}

QString AppDelegate::helpPageUrl() { return QStringLiteral("https://orvane.org/apps/orvane"); }

void AppDelegate::helpAction() { QDesktopServices::openUrl(QUrl(helpPageUrl())); }

void AppDelegate::aboutAction()
{
    // A panel of its own, not a modal question: the application goes on
    // (phones arrive and leave) while it is open. One at a time.
    if (!aboutPanel_) {
        auto* panel = new QMessageBox(QMessageBox::Information, QStringLiteral("Orvane"),
                                      QStringLiteral("Orvane %1").arg(QCoreApplication::applicationVersion()),
                                      QMessageBox::Ok);
        panel->setObjectName(QStringLiteral("AboutPanel"));
        panel->setAttribute(Qt::WA_DeleteOnClose);
        panel->setWindowModality(Qt::NonModal);
        if (!QGuiApplication::windowIcon().isNull())
            panel->setIconPixmap(QGuiApplication::windowIcon().pixmap(64, 64));
        aboutPanel_ = panel;
    }
    aboutPanel_->show();
    aboutPanel_->raise();
    aboutPanel_->activateWindow();
}

void AppDelegate::deviceListAction()
{
    if (!window_)
        return;
    window_->show();
    window_->raise();
    window_->activateWindow();
}

int AppDelegate::numberOfMTPDevices() const
{
    const auto keys = mtp_device_count::matchingKeys(resourcePath("matchingdevices.plist"));
    const auto attached = mtp_device_count::attachedUsbDevices();
    return attached ? mtp_device_count::countMatching(keys, *attached) : 0;
}

// ---- login item -----------------------------------------------------------

void AppDelegate::startLaunchAtLoginObservations()
{
    // Both act once at registration: the list first, while the preference
    // is not yet observed, then the preference.
    observeLoginItems();
    connect(launchController_.get(), &LaunchAtLoginController::launchAtLoginChanged, this,
            &AppDelegate::observeLoginItems);
    observeLaunchAtLoginPreference();
    connect(&Prefs::shared(), &Prefs::changed, this, [this](const QString& key) {
        if (key == QLatin1String("launchAtLogin"))
            observeLaunchAtLoginPreference();
    });
}

void AppDelegate::observeLoginItems()
{
    Prefs& prefs = Prefs::shared();
    const bool listed = launchController_->willLaunchAtLogin(launchController_->appURL());
    const bool wanted = prefs.boolValue(QStringLiteral("launchAtLogin"));
    const double now = scheduler_->now();
    if (listed != wanted && now - lastLoginItemSync_ > kLoginItemSyncGuard) {
        lastLoginItemSync_ = now;
        prefs.setValue(QStringLiteral("launchAtLogin"), listed);
        prefs.sync();
    }
}

void AppDelegate::observeLaunchAtLoginPreference()
{
    const bool wanted = Prefs::shared().boolValue(QStringLiteral("launchAtLogin"));
    launchController_->setLaunchAtLogin(wanted);
    // An application the agent started leaves the agent alone.
    if (!launchSerialNum_.empty())
        return;
    agent_->killAgent();
    if (wanted)
        agent_->launchAgent();
}

void AppDelegate::askFirstLaunchQuestion()
{
    activateApplication();
    const bool yes = ShellDialogs::current().askFirstLaunchQuestion();
    Prefs& prefs = Prefs::shared();
    prefs.setValue(QStringLiteral("launchAtLogin"), yes);
    prefs.setValue(QStringLiteral("firstLaunchAt"), QDateTime::currentDateTimeUtc());
    prefs.sync();
}

}  // namespace orv
