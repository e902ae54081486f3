#pragma once
// Counts the attached USB devices that the "matchingdevices" resource
// describes (the phones the watcher would report, of any state).

#include <QString>
#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace orv::mtp_device_count {

struct UsbId {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
};

// "%04x:%04x" of vendor and product for each matching dictionary with both
// keys, or "%04x:*" when its product is "*". A missing or unreadable file
// gives no keys.
std::set<std::string> matchingKeys(const QString& resourceFile);

// Devices whose exact key, or else whose vendor's "*" key, is in `keys`.
int countMatching(const std::set<std::string>& keys, const std::vector<UsbId>& attached);

// Vendor and product ids of every attached device whose descriptor could be
// read, from libusb; nothing when libusb cannot be set up or list devices.
std::optional<std::vector<UsbId>> attachedUsbDevices();

}  // namespace orv::mtp_device_count
