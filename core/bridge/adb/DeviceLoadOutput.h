#pragma once
// Readings of the adb and phone-tool output that the device load relies on.
// A serial is always compared with a whole field of its own line, never
// searched for as a pattern: one phone's serial may begin another's, and a
// serial may hold characters that mean something in a pattern.

#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

// The state word that "adb devices" lists for the serial (first line that
// names it; the heading "List of devices attached" is no device), or
// nullopt when the phone is not listed.
std::optional<std::string> deviceStateInList(std::string_view output, std::string_view serial);
// OVDevice's adbStatus for a listed state word: 1 unauthorised, 2 device,
// 3 offline, 4 anything else.
int64_t adbStatusForState(std::string_view state);

// Local ports that "adb forward --list" shows forwarded to the companion's
// port 10086 for this serial.
std::vector<uint16_t> forwardedCompanionPorts(std::string_view output, std::string_view serial);
// Every local port the list holds, for any phone.
std::set<uint16_t> forwardedLocalPorts(std::string_view output);

// The battery level of "dumpsys battery | grep -e level".
std::optional<int64_t> batteryLevelFromOutput(std::string_view output);

// Storage of df for one folder, in kilobytes as df's decimal unit letters
// give them (t, g, m; none: kilobytes).
struct DiskSpace {
    int64_t total = 0;
    int64_t free = 0;
};
std::optional<DiskSpace> diskSpaceFromOutput(std::string_view output, std::string_view path);

// What "dumpsys package ... | grep versionCode" says of the companion.
enum class CompanionInstall { Missing, Outdated, Current };
CompanionInstall companionInstallFromOutput(std::string_view output, double lowestVersion);

// Draws candidate ports until one is neither in `taken` nor refused by
// `isFree`; after `attempts` draws the last candidate is taken anyway.
uint16_t chooseForwardPort(const std::set<uint16_t>& taken, const std::function<uint16_t()>& draw,
                           const std::function<bool(uint16_t)>& isFree, int attempts = 64);
// True when a listener could be bound to 127.0.0.1 on the port now.
bool isLocalPortFree(uint16_t port);

}  // namespace orv
