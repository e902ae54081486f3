// From the USB watcher to the phone and back: the application delegate with
// the real watcher (over a backend the test plugs by hand), the real device
// window and device client, against the simulated phone. A phone that
// arrives gets exactly one window, which loads it; its removal closes the
// window, releases its MTP handle and brings the intro window back.

#include <gtest/gtest.h>

#include "QtWait.h"
#include "ShellTestSupport.h"
#include "app/shell/AdbProcesses.h"
#include "app/shell/AppDelegate.h"
#include "app/shell/MainMenu.h"
#include "app/shell/OVIntroWindowController.h"
#include "app/shell/OVMainWindowController.h"
#include "app/shell/Reachability.h"
#include "app/shell/Updater.h"
#include "app/toolkit/AWAppStoreWindow.h"
#include "core/bridge/facade/OVResources.h"
#include "phonesim/Simulator.h"
#include "platform/RunLoop.h"
#include "tests/support/ReleasedWork.h"

namespace orv {
namespace {

using namespace std::chrono_literals;
using test::qtWaitUntil;

struct QuietUpdater : Updater {
    void checkForUpdates(QWidget*) override {}
};

int visibleDeviceWindows()
{
    int count = 0;
    for (QWidget* widget : QApplication::topLevelWidgets())
        count += qobject_cast<AWAppStoreWindow*>(widget) && widget->isVisible();
    return count;
}

class PhoneArrivalTest : public ::testing::Test {
protected:
    PhoneArrivalTest()
    {
        setResourceDirectory(sim_->resourceDir().string());
        adb_processes::setKiller([] {});
        OVMainWindowController::setErrorPresenter([this](const Error& e, QWidget*) { presented_.push_back(e.code); });
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
        env.mtpBackend = std::make_unique<test::FakeMtpBackend>(mtpLedger_);
        env.killAdb = [] {};
        env.makeReachability = [] {
            return Reachability::withBackend(std::make_unique<test::FakeReachabilityBackend>(
                std::make_shared<test::FakeReachabilityBackend::State>()));
        };
        env.agent = &agent_;
        env.autostartFolder = home_.path("config") + "/autostart";
        env.arguments = {QStringLiteral("Orvane")};
        delegate_ = std::make_unique<AppDelegate>(std::move(env));
    }
    ~PhoneArrivalTest() override
    {
        delegate_.reset();
        // Reports already posted find the delegate gone and do nothing.
        watcher_->stopWatching();
        Updater::setShared(nullptr);
        OVMainWindowController::setErrorPresenter({});
        adb_processes::setKiller({});
    }

    test::PrivateHome home_;
    test::FakeDialogs dialogs_;
    test::FakeAgent agent_;
    QuietUpdater updater_;
    std::unique_ptr<phonesim::Simulator> sim_ = phonesim::Simulator::start();
    test::SettleReleasedWorkAtScopeEnd settle_;  // after the phone, before the clients
    std::shared_ptr<test::HandPluggedUsbBackend> backend_ = std::make_shared<test::HandPluggedUsbBackend>();
    std::shared_ptr<test::FakeMtpBackend::Ledger> mtpLedger_ = std::make_shared<test::FakeMtpBackend::Ledger>();
    std::shared_ptr<OVUSBDeviceManager> watcher_;
    std::unique_ptr<AppDelegate> delegate_;
    std::vector<long> presented_;
};

TEST_F(PhoneArrivalTest, ArrivalOpensOneWindowForThePhoneAndRemovalClosesIt)
{
    ASSERT_EQ(delegate_->applicationDidFinishLaunching(), AppDelegate::LaunchResult::Launched);
    ASSERT_TRUE(qtWaitUntil([&] { return backend_->watching(); }));
    QWidget* intro = delegate_->introWindowController()->window();
    EXPECT_TRUE(intro->isVisible());

    // Plugged as the watch starts: held back by the launch guard, then opened.
    const std::string serial = sim_->serial();
    const usb::UsbDeviceFacts phone = [&] {
        usb::UsbDeviceFacts facts;
        facts.vendorId = 0x18d1;
        facts.productId = 0x4ee7;
        facts.bus = 1;
        facts.ports = {3};
        facts.address = 9;
        facts.serial = serial;
        facts.product = "Simulated Phone";
        return facts;
    }();
    backend_->plug(phone);
    ASSERT_TRUE(qtWaitUntil([&] { return delegate_->allControllers().size() == 1; }));
    auto* controller = dynamic_cast<OVMainWindowController*>(delegate_->allControllers()[0].get());
    ASSERT_NE(controller, nullptr);
    EXPECT_EQ(controller->serialNumber(), serial);
    ASSERT_TRUE(qtWaitUntil([&] { return controller->didLoadDevice() || controller->coreError(); }, 60s));
    EXPECT_FALSE(controller->coreError());
    EXPECT_TRUE(controller->window()->isVisible());
    EXPECT_NE(MainMenu::of(controller->window()), nullptr);
    EXPECT_FALSE(intro->isVisible());

    // The same phone reported again, by the watcher and by the device list:
    // still one window.
    ASSERT_EQ(watcher_->devices().size(), 1u);
    delegate_->didUSDDeviceAdded(watcher_->devices().front());
    delegate_->openDevice(watcher_->devices().front());
    EXPECT_EQ(delegate_->allControllers().size(), 1u);
    EXPECT_EQ(visibleDeviceWindows(), 1);
    delegate_->mtpSignaller().waitUntilIdle();
    EXPECT_TRUE(delegate_->mtpSignaller().holds(MtpSignaller::keyFor(1, 9)));

    // Unplugged. The USB report comes first here, so that no reply still
    // under way when the phone leaves adb can reach a window not yet closed;
    // once closed, nothing reaches it.
    QPointer<QWidget> window = controller->window();
    backend_->unplug(phone);
    ASSERT_TRUE(qtWaitUntil([&] { return delegate_->allControllers().empty(); }));
    EXPECT_TRUE(qtWaitUntil([&] { return !window || !window->isVisible(); }));
    EXPECT_EQ(visibleDeviceWindows(), 0);
    sim_->unplug(serial);
    EXPECT_FALSE(delegate_->hasWindowForSerial(serial));
    delegate_->mtpSignaller().waitUntilIdle();
    {
        std::lock_guard lock(mtpLedger_->mutex);
        EXPECT_EQ(mtpLedger_->released.size(), 1u);
    }
    EXPECT_TRUE(qtWaitUntil([&] { return intro->isVisible(); }));
    EXPECT_EQ(presented_, std::vector<long>{});
}

}  // namespace
}  // namespace orv
