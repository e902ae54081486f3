#pragma once
// The real backend: libusb hotplug for arrivals and departures, the device
// descriptor for ids and address, and udev (sysfs and the hardware database)
// for serial number and product name, so nothing is opened to learn them.
// libusb's events are handled on a thread of the backend's own, started by
// the first watch() and joined by stop().

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <thread>

#include "usbwatch/UsbBackend.h"

struct libusb_context;
struct libusb_device;

namespace orv::usb {

class LibusbBackend final : public UsbBackend {
public:
    LibusbBackend();
    ~LibusbBackend() override;
    LibusbBackend(const LibusbBackend&) = delete;
    LibusbBackend& operator=(const LibusbBackend&) = delete;

    int watch(const MatchSpec& spec, Listener& listener) override;
    int probeOpen(const UsbDeviceFacts& facts) override;
    void stop() override;

    // What the descriptor and udev tell of a device; without udev (a device
    // that has left) only the descriptor's part.
    static UsbDeviceFacts factsOf(libusb_device* device, bool withUdev);

private:
    struct Registration;
    int ensureContext();
    void handleEvents();

    std::mutex mutex_;
    libusb_context* context_ = nullptr;
    std::list<std::unique_ptr<Registration>> registrations_;
    std::atomic<bool> stopping_{false};
    bool stopped_ = false;
    std::thread eventThread_;
};

}  // namespace orv::usb
