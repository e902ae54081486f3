#include "usbwatch/OVUSBDevice.h"

#include <chrono>

namespace orv {

OVUSBDevice::OVUSBDevice(int64_t locationId) : locationId_(locationId), createOn_(now()) {}

double OVUSBDevice::now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string OVUSBDevice::name() const {
    std::lock_guard lock(mutex_);
    return name_;
}

void OVUSBDevice::setName(std::string value) {
    std::lock_guard lock(mutex_);
    name_ = std::move(value);
}

OVUSBDevice::Properties OVUSBDevice::properties() const {
    std::lock_guard lock(mutex_);
    return properties_;
}

void OVUSBDevice::setProperties(Properties value) {
    std::lock_guard lock(mutex_);
    properties_ = std::move(value);
}

std::optional<std::string> OVUSBDevice::serialNumber() const {
    std::lock_guard lock(mutex_);
    auto found = properties_.find(kSerialNumberKey);
    if (found == properties_.end()) return std::nullopt;
    return found->second;
}

Error OVUSBDevice::errorWithMessage(const std::optional<std::string>& message) {
    Error error;
    error.domain = "OVUSBDeviceManagerDomain";
    error.code = 0;
    error.message = message.value_or("unknow error");
    return error;
}

}  // namespace orv
