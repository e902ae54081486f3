#pragma once
// The application's life: the launch sequence, one device window per
// attached phone (with the USB arrival and removal guards), the device-list
// window, the intro window, the login item of the agent, reachability and
// termination. Everything runs on the main thread; the collaborators that
// reach outside the process come in through Environment so tests can replace
// them.

#include <QHash>
#include <QObject>
#include <QPointer>
#include <QRecursiveMutex>
#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/shell/DeviceWindow.h"
#include "app/shell/DeviceListWindow.h"
#include "app/shell/MtpSignaller.h"
#include "usbwatch/OVUSBDeviceManager.h"

namespace orv {

namespace usb {
class InstanceLock;
}
class AgentControl;
class LaunchAtLoginController;
class MtpSignaller;
class OVIntroWindowController;
class Reachability;
class ShellScheduler;

class AppDelegate : public QObject, public DeviceWindowHost {
    Q_OBJECT

public:
    struct Environment {
        ShellScheduler* scheduler = nullptr;  // null: Qt timers
        DeviceWindowFactory windowFactory;    // empty: the placeholder window
        std::function<std::shared_ptr<OVUSBDeviceManager>()> usbWatcher;  // empty: the shared watcher
        std::unique_ptr<MtpBackend> mtpBackend;                            // null: libmtp
        std::function<void()> killAdb;  // empty: kill this user's processes of our adb program
        std::function<std::shared_ptr<Reachability>()> makeReachability;  // empty: the internet notifier
        AgentControl* agent = nullptr;  // null: the real agent program
        QString autostartFolder;        // empty: the user's XDG autostart folder
        QString appsPlistPath;          // empty: the "apps" resource
        QStringList arguments;          // empty: the process's arguments
        std::vector<int> signalsQuitCleanly;  // left to the program's own quit handling
    };

    enum class LaunchResult { Launched, AnotherCopyRunning };

    AppDelegate();
    explicit AppDelegate(Environment environment, QObject* parent = nullptr);
    ~AppDelegate() override;

    // The launch sequence. AnotherCopyRunning: the alert was shown and this
    // copy must quit at once, without the termination step.
    LaunchResult applicationDidFinishLaunching();
    // Kills our stray adb processes again.
    void applicationWillTerminate();
    bool applicationShouldTerminateAfterLastWindowClosed() const { return false; }
    // Shows the intro window when nothing is visible; always true.
    bool applicationShouldHandleReopen(bool hasVisibleWindows);

    void loadAppIcon();

    // Device windows and USB events.
    void openDevice(const std::shared_ptr<OVUSBDevice>& device);
    void didUSDDeviceAdded(const std::shared_ptr<OVUSBDevice>& device);
    void didUSDDeviceRemoved(const std::shared_ptr<OVUSBDevice>& device);
    void manuallyWindowControllerClose(DeviceWindow& controller) override;
    void didMainWindowControllerClose(DeviceWindow& controller) override;

    // Menu and button actions.
    void aboutAction();
    void helpAction();
    void preferenceAction();
    void quickguideAction();
    // Shows the device-list window in front.
    void deviceListAction();
    void connectAction();
    void testuiAction();
    void showIntroWindow();

    // State, for the windows and for tests.
    bool connectionOK() const { return connectionOK_; }
    const std::string& launchSerialNum() const { return launchSerialNum_; }
    double launchTime() const { return launchTime_; }
    const QHash<QString, QVariantMap>& appIcons() const { return appIcons_; }
    const std::vector<std::shared_ptr<DeviceWindow>>& allControllers() const { return allControllers_; }
    bool hasWindowForSerial(const std::string& serial) const { return serialDict_.count(serial) != 0; }
    bool isManuallyRemoved(int64_t locationId) const { return manualRemovedLocationIdDict_.count(locationId) != 0; }
    DeviceListWindow* window() const { return window_; }
    OVIntroWindowController* introWindowController() const { return introWindowController_.get(); }
    LaunchAtLoginController* launchController() const { return launchController_.get(); }
    Reachability* internetReach() const { return internetReach_.get(); }
    MtpSignaller& mtpSignaller() const { return *mtp_; }

    static QString helpPageUrl();

    // Attached USB devices that the "matchingdevices" resource describes; 0
    // when USB cannot be read.
    int numberOfMTPDevices() const;

signals:
    // Every activation of the application (all windows brought forward).
    void activated();

private:
    class UsbDelegate;

    void activateApplication();
    void rebuildDeviceList();
    bool watcherHolds(const std::shared_ptr<OVUSBDevice>& device) const;
    std::shared_ptr<OVUSBDeviceManager> watcher();
    bool watcherHoldsLocation(int64_t locationId) const;
    // A removal that a guard held back: once the guard has passed, the
    // window closes if no device is attached at that USB location any more.
    void recheckRemovalAfter(double seconds, const std::shared_ptr<OVUSBDevice>& device);
    void closeWindowOfRemovedDevice(const std::shared_ptr<OVUSBDevice>& device);
    void startLaunchAtLoginObservations();
    void observeLoginItems();
    void observeLaunchAtLoginPreference();
    void takeLaunchArgument();
    void askFirstLaunchQuestion();
    void startUsbWatch();

    Environment env_;
    ShellScheduler* scheduler_;
    AgentControl* agent_;
    std::unique_ptr<usb::InstanceLock> instanceLock_;

    QRecursiveMutex lock_;
    std::vector<std::shared_ptr<DeviceWindow>> allControllers_;
    std::vector<std::shared_ptr<DeviceWindow>> closedControllers_;  // destroyed from the event loop
    std::set<std::string> serialDict_;
    std::set<int64_t> manualRemovedLocationIdDict_;
    std::unique_ptr<OVIntroWindowController> introWindowController_;
    std::unique_ptr<MtpSignaller> mtp_;
    double launchTime_ = 0;
    double lastLoginItemSync_ = 0;
    bool connectionOK_ = false;
    QHash<QString, QVariantMap> appIcons_;
    std::shared_ptr<Reachability> internetReach_;
    QPointer<DeviceListWindow> window_;
    QPointer<QWidget> aboutPanel_;
    std::unique_ptr<LaunchAtLoginController> launchController_;
    std::string launchSerialNum_;
    std::shared_ptr<OVUSBDeviceManager> watcher_;
    std::shared_ptr<UsbDelegate> usbDelegate_;
};

}  // namespace orv
