#pragma once
// The phone's record: filled by the device load and by pushed device
// information on the bridge's threads, read by the interface on the main
// thread, so every field is read and written under the record's lock.

#include <cstdint>
#include <mutex>
#include <string>

namespace orv {

class OVDevice {
public:
    // adbStatus values
    enum : int64_t { StatusNone = 0, StatusUnauthorized = 1, StatusDevice = 2, StatusOffline = 3, StatusOther = 4 };

    std::string friendlyName() const;  // empty until the companion service named the phone
    void setFriendlyName(std::string name);
    int64_t battery() const;  // percent
    void setBattery(int64_t value);
    int64_t totalSpace() const;  // kilobytes
    void setTotalSpace(int64_t value);
    int64_t freeSpace() const;  // kilobytes
    void setFreeSpace(int64_t value);
    int64_t adbStatus() const;
    void setAdbStatus(int64_t value);
    int64_t color() const;  // 0 black, 1 white
    void setColor(int64_t value);
    int64_t productType() const;  // 0 tovamere, 1 quellbrin
    void setProductType(int64_t value);

private:
    mutable std::mutex mutex_;
    std::string friendlyName_;
    int64_t battery_ = 0;
    int64_t totalSpace_ = 0;
    int64_t freeSpace_ = 0;
    int64_t adbStatus_ = 0;
    int64_t color_ = 0;
    int64_t productType_ = 0;
};

}  // namespace orv
