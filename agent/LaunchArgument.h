#pragma once
// The argument the agent hands the application after "-s": the USB serial
// number, the location id and the USB address (both decimal), joined by ':'.
// A missing serial number, or one with control characters, gives an empty
// first field; the application reads the two numbers from the right, so a
// serial number holding ':' cannot shift them.

#include <string>

#include "usbwatch/OVUSBDevice.h"

namespace orv::agent {

std::string launchArgument(const OVUSBDevice& device);

}  // namespace orv::agent
