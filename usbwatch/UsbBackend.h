#pragma once
// The seam between the watcher and the USB stack: a backend reports devices
// that match a registration arriving and leaving, and can try to open one.
// The real backend is libusb hotplug; tests plug fake devices.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace orv::usb {

// What can be learnt about a device without opening it.
struct UsbDeviceFacts {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t releaseId = 0;  // bcdDevice
    uint16_t address = 0;    // device number on its bus
    uint8_t bus = 0;
    std::vector<uint8_t> ports;                // port numbers from the root hub down
    std::optional<std::string> serial;         // sysfs "serial", absent when the device has none
    std::optional<std::string> product;        // sysfs "product"
    std::optional<std::string> databaseName;   // the hardware database's model name
    std::map<std::string, std::string> properties;  // further facts, as text
};

// One registration: devices of a vendor, of one product or of any.
struct MatchSpec {
    uint16_t vendorId = 0;
    std::optional<uint16_t> productId;  // nullopt matches every product
    bool matches(uint16_t vendor, uint16_t product) const {
        return vendor == vendorId && (!productId || *productId == product);
    }
};

class UsbBackend {
public:
    // Called on the backend's own thread, or on the thread inside watch() for
    // devices already present. Must not block for long.
    struct Listener {
        virtual ~Listener() = default;
        virtual void deviceArrived(const UsbDeviceFacts& facts) = 0;
        virtual void deviceLeft(const UsbDeviceFacts& facts) = 0;
    };

    virtual ~UsbBackend() = default;

    // Starts reporting devices that match; those already attached are
    // reported before it returns. 0 on success, else a negative libusb code.
    virtual int watch(const MatchSpec& spec, Listener& listener) = 0;

    // Opens the device and closes it again at once: 0, or a negative libusb
    // code. Blocking; never called on the backend's own thread.
    virtual int probeOpen(const UsbDeviceFacts& facts) = 0;

    // Ends every registration; no listener call starts after it returns.
    virtual void stop() = 0;
};

}  // namespace orv::usb
