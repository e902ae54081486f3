#include "agent/LaunchArgument.h"

#include <algorithm>

namespace orv::agent {

std::string launchArgument(const OVUSBDevice& device) {
    std::string serial = device.serialNumber().value_or("");
    const bool control = std::any_of(serial.begin(), serial.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte < 0x20 || byte == 0x7f;
    });
    if (control) serial.clear();
    return serial + ":" + std::to_string(static_cast<unsigned long>(device.locationId())) + ":" +
           std::to_string(unsigned{device.addressId()});
}

}  // namespace orv::agent
