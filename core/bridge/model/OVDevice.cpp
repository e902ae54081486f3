#include "core/bridge/model/OVDevice.h"

namespace orv {

#define OV_DEVICE_FIELD(Type, getter, setter, member)     \
    Type OVDevice::getter() const                         \
    {                                                     \
        std::lock_guard lock(mutex_);                     \
        return member;                                    \
    }                                                     \
    void OVDevice::setter(Type value)                     \
    {                                                     \
        std::lock_guard lock(mutex_);                     \
        member = std::move(value);                        \
    }

OV_DEVICE_FIELD(std::string, friendlyName, setFriendlyName, friendlyName_)
OV_DEVICE_FIELD(int64_t, battery, setBattery, battery_)
OV_DEVICE_FIELD(int64_t, totalSpace, setTotalSpace, totalSpace_)
OV_DEVICE_FIELD(int64_t, freeSpace, setFreeSpace, freeSpace_)
OV_DEVICE_FIELD(int64_t, adbStatus, setAdbStatus, adbStatus_)
OV_DEVICE_FIELD(int64_t, color, setColor, color_)
OV_DEVICE_FIELD(int64_t, productType, setProductType, productType_)

#undef OV_DEVICE_FIELD

}  // namespace orv
