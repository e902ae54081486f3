#pragma once
// printf-style formatting into a std::string, for the console and log lines.

#include <string>

namespace orv::usb {

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

}  // namespace orv::usb
