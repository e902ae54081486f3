// From the USB watcher to the phone and back: the application delegate with
// the real watcher (over a backend the test plugs by hand), the real device
// window and device client, against the simulated phone. A phone that
// arrives gets exactly one window, which loads it; its removal closes the
// window, releases its MTP handle and brings the intro window back.

#include <gtest/gtest.h>

#include "RunningApp.h"
#include "app/shell/MainMenu.h"
#include "app/shell/OVIntroWindowController.h"

namespace orv {
namespace {

using namespace std::chrono_literals;
using test::qtWaitUntil;

class PhoneArrivalTest : public ::testing::Test {
protected:
    test::RunningApp app_;
};

TEST_F(PhoneArrivalTest, ArrivalOpensOneWindowForThePhoneAndRemovalClosesIt)
{
    ASSERT_TRUE(app_.launch());
    AppDelegate& delegate = app_.delegate();
    test::HandPluggedUsbBackend& backend = app_.usb();
    QWidget* intro = delegate.introWindowController()->window();
    EXPECT_TRUE(intro->isVisible());

    // Plugged as the watch starts: held back by the launch guard, then opened.
    const std::string serial = app_.sim().serial();
    const usb::UsbDeviceFacts phone = test::RunningApp::usbFacts(serial, 3, 9);
    backend.plug(phone);
    ASSERT_TRUE(qtWaitUntil([&] { return delegate.allControllers().size() == 1; }));
    auto* controller = dynamic_cast<OVMainWindowController*>(delegate.allControllers()[0].get());
    ASSERT_NE(controller, nullptr);
    EXPECT_EQ(controller->serialNumber(), serial);
    ASSERT_TRUE(qtWaitUntil([&] { return controller->didLoadDevice() || controller->coreError(); }, 60s));
    EXPECT_FALSE(controller->coreError());
    EXPECT_TRUE(controller->window()->isVisible());
    EXPECT_NE(MainMenu::of(controller->window()), nullptr);
    EXPECT_FALSE(intro->isVisible());

    // The same phone reported again, by the watcher and by the device list:
    // still one window.
    ASSERT_EQ(app_.watcher().devices().size(), 1u);
    delegate.didUSDDeviceAdded(app_.watcher().devices().front());
    delegate.openDevice(app_.watcher().devices().front());
    EXPECT_EQ(delegate.allControllers().size(), 1u);
    EXPECT_EQ(test::visibleDeviceWindows(), 1);
    delegate.mtpSignaller().waitUntilIdle();
    EXPECT_TRUE(delegate.mtpSignaller().holds(MtpSignaller::keyFor(1, 9)));

    // Unplugged. The USB report comes first here, so that no reply still
    // under way when the phone leaves adb can reach a window not yet closed;
    // once closed, nothing reaches it.
    QPointer<QWidget> window = controller->window();
    backend.unplug(phone);
    ASSERT_TRUE(qtWaitUntil([&] { return delegate.allControllers().empty(); }));
    EXPECT_TRUE(qtWaitUntil([&] { return !window || !window->isVisible(); }));
    EXPECT_EQ(test::visibleDeviceWindows(), 0);
    app_.sim().unplug(serial);
    EXPECT_FALSE(delegate.hasWindowForSerial(serial));
    delegate.mtpSignaller().waitUntilIdle();
    {
        std::lock_guard lock(app_.mtpLedger().mutex);
        EXPECT_EQ(app_.mtpLedger().released.size(), 1u);
    }
    EXPECT_TRUE(qtWaitUntil([&] { return intro->isVisible(); }));
    EXPECT_TRUE(app_.presented().empty());
}

}  // namespace
}  // namespace orv
