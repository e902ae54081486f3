#pragma once
// Receives the watcher's reports, on the thread the watcher posts to (the
// main run loop in both programs).

#include <memory>

#include "usbwatch/OVUSBDevice.h"

namespace orv {

class OVUSBDeviceManagerDelegate {
public:
    virtual ~OVUSBDeviceManagerDelegate() = default;
    // Sent after the record was appended to the watcher's devices().
    virtual void didUSDDeviceAdded(const std::shared_ptr<OVUSBDevice>& device) = 0;
    // Sent while the record is still listed, before it is removed.
    virtual void didUSDDeviceRemoved(const std::shared_ptr<OVUSBDevice>& device) = 0;
};

}  // namespace orv
