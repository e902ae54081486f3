#pragma once
// The whole application in the test's process: the application delegate with
// the real USB watcher (over a backend the test plugs by hand), the real
// device windows and device clients, against the simulated phone. Plugging a
// phone gives its USB facts to the watcher, as the kernel would. Everything
// the machine would be asked (adb kills, the agent, updates, MTP, the network
// state) is answered by fakes.

#include <QApplication>
#include <QPointer>

#include "QtWait.h"
#include "ShellTestSupport.h"
#include "app/shell/AdbProcesses.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/OVMainWindowController.h"
#include "app/shell/Reachability.h"
#include "app/shell/Updater.h"
#include "app/toolkit/AWAppStoreWindow.h"
#include "core/bridge/facade/OVResources.h"
#include "phonesim/Simulator.h"
#include "platform/RunLoop.h"
#include "tests/support/ReleasedWork.h"

namespace orv::test {

struct QuietUpdater : Updater {
    void checkForUpdates(QWidget*) override {}
};

inline int visibleDeviceWindows()
{
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        count += qobject_cast<AWAppStoreWindow*>(widget) && widget->isVisible();
    return count;
}

class RunningApp {
public:
    // `arguments`: the program's command line ("-s serial:location:address" opens that phone's window at launch).
    explicit RunningApp(const phonesim::Options& phones = {}, QStringList arguments = {QStringLiteral("Orvane")})
        : sim_(phonesim::Simulator::start(phones))
    {
        setResourceDirectory(sim_->resourceDir().string());
        adb_processes::setKiller([] {});
        OVMainWindowController::setErrorPresenter([this](const Error& e, QWidget*) { presented_.push_back(e); });
        Updater::setShared(&updater_);
        mtpLedger_->attached = {{1, 9}};

        OVUSBDeviceManager::Environment usb;
        usb.backend = backend_;
        usb.notify = [](std::function<void()> task) { RunLoop::main().post(std::move(task)); };
        usb.resourceDir = ORVANE_SOURCE_DIR "/resources";
        usb.console = [](const std::string&) {};
        usb.log = [](const std::string&) {};
        watcher_ = OVUSBDeviceManager::create(std::move(usb));

        AppDelegate::Environment env;
        env.usbWatcher = [this] { return watcher_; };
        env.mtpBackend = std::make_unique<FakeMtpBackend>(mtpLedger_);
        env.killAdb = [] {};
        env.makeReachability = [] {
            return Reachability::withBackend(
                std::make_unique<FakeReachabilityBackend>(std::make_shared<FakeReachabilityBackend::State>()));
        };
        env.agent = &agent_;
        env.autostartFolder = home_.path("config") + "/autostart";
        env.arguments = std::move(arguments);
        delegate_ = std::make_unique<AppDelegate>(std::move(env));
    }
    ~RunningApp()
    {
        delegate_.reset();
        // Reports already posted find the delegate gone and do nothing.
        watcher_->stopWatching();
        Updater::setShared(nullptr);
        OVMainWindowController::setErrorPresenter({});
        adb_processes::setKiller({});
    }

    // The USB facts of the simulated phone `serial`, on its own port and address.
    static usb::UsbDeviceFacts usbFacts(const std::string& serial, uint8_t port, uint8_t address)
    {
        usb::UsbDeviceFacts facts;
        facts.vendorId = 0x18d1;
        facts.productId = 0x4ee7;
        facts.bus = 1;
        facts.ports = {port};
        facts.address = address;
        facts.serial = serial;
        facts.product = "Simulated Phone";
        return facts;
    }

    // Launches and waits until the watcher runs.
    bool launch()
    {
        return delegate_->applicationDidFinishLaunching() == AppDelegate::LaunchResult::Launched &&
               qtWaitUntil([&] { return backend_->watching(); });
    }

    // The window of the phone `serial`, once it has loaded the phone; null
    // when none does before the deadline.
    OVMainWindowController* loadedWindow(const std::string& serial,
                                         std::chrono::milliseconds timeout = std::chrono::seconds(60))
    {
        OVMainWindowController* found = nullptr;
        qtWaitUntil(
            [&] {
                for (const auto& controller : delegate_->allControllers()) {
                    auto* window = dynamic_cast<OVMainWindowController*>(controller.get());
                    if (window && window->serialNumber() == serial && (window->didLoadDevice() || window->coreError()))
                        found = window;
                }
                return found != nullptr;
            },
            timeout);
        return found && !found->coreError() ? found : nullptr;
    }

    phonesim::Simulator& sim() { return *sim_; }
    AppDelegate& delegate() { return *delegate_; }
    HandPluggedUsbBackend& usb() { return *backend_; }
    OVUSBDeviceManager& watcher() { return *watcher_; }
    FakeMtpBackend::Ledger& mtpLedger() { return *mtpLedger_; }
    const std::vector<Error>& presented() const { return presented_; }
    PrivateHome& home() { return home_; }

private:
    PrivateHome home_;
    FakeDialogs dialogs_;
    FakeAgent agent_;
    QuietUpdater updater_;
    std::unique_ptr<phonesim::Simulator> sim_;
    SettleReleasedWorkAtScopeEnd settle_;  // after the phone, before the clients
    std::shared_ptr<HandPluggedUsbBackend> backend_ = std::make_shared<HandPluggedUsbBackend>();
    std::shared_ptr<FakeMtpBackend::Ledger> mtpLedger_ = std::make_shared<FakeMtpBackend::Ledger>();
    std::shared_ptr<OVUSBDeviceManager> watcher_;
    std::unique_ptr<AppDelegate> delegate_;
    std::vector<Error> presented_;
};

}  // namespace orv::test
