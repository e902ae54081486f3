#pragma once
// One attached USB device as the watcher reports it. Records are shared
// (std::shared_ptr) between the watcher's list and its delegate; the text and
// dictionary fields may be read and written from any thread.

#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "platform/Error.h"

namespace orv {

class OVUSBDevice {
public:
    using Properties = std::map<std::string, std::string>;

    // Keys of properties() that the system reads.
    static constexpr const char* kSerialNumberKey = "USB Serial Number";
    static constexpr const char* kProductNameKey = "USB Product Name";

    // Sets createOn() to now and locationId() to the argument.
    explicit OVUSBDevice(int64_t locationId);
    OVUSBDevice(const OVUSBDevice&) = delete;
    OVUSBDevice& operator=(const OVUSBDevice&) = delete;

    // Seconds on a monotonic clock, the scale of createOn(): callers compare
    // a record's age against it.
    static double now();

    uint16_t venderId() const { return venderId_; }
    void setVenderId(uint16_t value) { venderId_ = value; }
    uint16_t productId() const { return productId_; }
    void setProductId(uint16_t value) { productId_ = value; }
    uint16_t releaseId() const { return releaseId_; }
    void setReleaseId(uint16_t value) { releaseId_ = value; }
    uint16_t addressId() const { return addressId_; }
    void setAddressId(uint16_t value) { addressId_ = value; }
    int64_t locationId() const { return locationId_; }
    void setLocationId(int64_t value) { locationId_ = value; }
    // Kept for callers that read it; nothing on Linux registers a per-device
    // notification, so it stays 0.
    uint32_t notification() const { return notification_; }
    void setNotification(uint32_t value) { notification_ = value; }
    double createOn() const { return createOn_; }
    void setCreateOn(double value) { createOn_ = value; }

    std::string name() const;
    void setName(std::string value);
    Properties properties() const;
    void setProperties(Properties value);

    // "USB Serial Number" of properties(); nullopt when absent.
    std::optional<std::string> serialNumber() const;
    // Bits 24-31 of locationId(): the bus number.
    uint16_t busLocation() const { return static_cast<uint16_t>((locationId_ >> 24) & 0xFF); }

    // An error of domain "OVUSBDeviceManagerDomain", code 0.
    static Error errorWithMessage(const std::optional<std::string>& message);

private:
    uint16_t venderId_ = 0;
    uint16_t productId_ = 0;
    uint16_t releaseId_ = 0;
    uint16_t addressId_ = 0;
    int64_t locationId_ = 0;
    uint32_t notification_ = 0;
    double createOn_ = 0;

    mutable std::mutex mutex_;
    std::string name_;
    Properties properties_;
};

}  // namespace orv
