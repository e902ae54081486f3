// MtpBackend over libmtp.

#include <libmtp.h>

#include <cstdlib>

#include "app/shell/MtpSignaller.h"

namespace orv {

namespace {

class LibmtpBackend final : public MtpBackend {
public:
    void initialize() override { LIBMTP_Init(); }

    Handle openRawDevice(uint16_t busLocation, uint16_t deviceNumber) override
    {
        LIBMTP_raw_device_t* devices = nullptr;
        int count = 0;
        if (LIBMTP_Detect_Raw_Devices(&devices, &count) != LIBMTP_ERROR_NONE || count <= 0) {
            std::free(devices);
            return nullptr;
        }
        Handle handle = nullptr;
        for (int i = 0; i < count; ++i) {
            if (static_cast<uint16_t>(devices[i].bus_location) == busLocation &&
                static_cast<uint16_t>(devices[i].devnum) == deviceNumber) {
                handle = LIBMTP_Open_Raw_Device_Uncached(&devices[i]);
                break;
            }
        }
        std::free(devices);
        return handle;
    }

    void release(Handle handle) override { LIBMTP_Release_Device(static_cast<LIBMTP_mtpdevice_t*>(handle)); }
};

}  // namespace

std::unique_ptr<MtpBackend> MtpBackend::libmtp() { return std::make_unique<LibmtpBackend>(); }

}  // namespace orv
