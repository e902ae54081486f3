#include "usbwatch/UsbErrorText.h"

#include <libusb.h>

#include <cstdio>

namespace orv::usb {

std::string usbErrorText(int code) {
    switch (code) {
    case LIBUSB_ERROR_BUSY: return "another process has device opened for exclusive access";
    case LIBUSB_ERROR_NO_DEVICE: return "no connection to an IOService";
    case LIBUSB_ERROR_NO_MEM: return "out of resources";
    case LIBUSB_ERROR_INVALID_PARAM: return "invalid argument";
    case LIBUSB_ERROR_OVERFLOW: return "data overrun";
    case LIBUSB_ERROR_INTERRUPTED: return "transaction aborted";
    case LIBUSB_ERROR_TIMEOUT: return "transaction timed out";
    case LIBUSB_ERROR_PIPE: return "pipe is stalled";
    case LIBUSB_ERROR_ACCESS: return "access denied (insufficient permissions)";
    default: break;
    }
    char buffer[50];
    std::snprintf(buffer, sizeof buffer, "unknown error (0x%x)", static_cast<unsigned>(code));
    return buffer;
}

}  // namespace orv::usb
