#pragma once
// Finds the adb program that does the work: the one named by the environment
// variable ORVANE_ADB, else the first "adb" on PATH, else Debian's usual
// places. This program is itself called "adb", so it never picks itself.

#include <string>
#include <vector>

namespace orv::adbtool {

inline constexpr const char* kAdbOverrideVariable = "ORVANE_ADB";

struct AdbLocation {
    std::string path;   // empty when none was found
    std::string error;  // what to tell the user then
};

struct AdbSearch {
    const char* override = nullptr;  // value of ORVANE_ADB, or null
    const char* path = nullptr;      // value of PATH, or null
    std::string self;                // this program, never chosen
    std::vector<std::string> fallbacks;  // tried after PATH
};

AdbLocation locateAdb(const AdbSearch& search);

// The search this process would make: its environment, /proc/self/exe and
// the places where Debian's package puts adb.
AdbSearch currentAdbSearch();

}  // namespace orv::adbtool
