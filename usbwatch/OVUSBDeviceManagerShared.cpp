// The process's watcher: libusb, with every report posted to the main run
// loop (which the application's event loop and the agent's run() drive).

#include "platform/RunLoop.h"
#include "usbwatch/LibusbBackend.h"
#include "usbwatch/OVUSBDeviceManager.h"

namespace orv {

std::shared_ptr<OVUSBDeviceManager> OVUSBDeviceManager::sharedInstance() {
    static const std::shared_ptr<OVUSBDeviceManager> instance = [] {
        Environment environment;
        environment.backend = std::make_shared<usb::LibusbBackend>();
        environment.notify = [](std::function<void()> task) { RunLoop::main().post(std::move(task)); };
        return create(std::move(environment));
    }();
    return instance;
}

}  // namespace orv
