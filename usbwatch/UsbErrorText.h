#pragma once
// Console texts for the results of USB calls, worded as the watcher's console
// lines have always been; a code without a text of its own gives
// "unknown error (0x%x)".

#include <string>

namespace orv::usb {

std::string usbErrorText(int code);

}  // namespace orv::usb
