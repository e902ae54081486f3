#pragma once
// The "matchingdevices" resource: an XML property list whose root array holds
// dictionaries of two kinds.
//   {"matchingDictionary": {"IOProviderClass": "IOUSBDevice",
//                           "idVendor": <integer>,
//                           "idProduct": <integer> or "*"}}
//       a candidate device to watch ("*": every product of the vendor);
//   {"makerVendorIds": [<integer>, ...]}
//       vendors whose devices are reported; candidates of other vendors are
//       matched but filtered out. A user adds a phone's vendor in both places.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "usbwatch/UsbBackend.h"

namespace orv::usb {

struct MatchingEntry {
    std::string description;        // the dictionary as text, for log lines
    std::optional<MatchSpec> spec;  // nullopt when a key is missing or mistyped
};

struct MatchingDevices {
    std::vector<MatchingEntry> entries;  // in file order
    std::set<uint16_t> makerVendorIds;
    std::string problem;                 // set when the file is missing or unreadable

    static MatchingDevices load(const std::filesystem::path& file);
    static MatchingDevices parse(std::string_view data);
};

// The resource's file name inside the resource folder.
inline constexpr const char* kMatchingDevicesFile = "matchingdevices.plist";

}  // namespace orv::usb
