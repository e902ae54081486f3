#include "core/adbtool/AdbLocator.h"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <string_view>

namespace orv::adbtool {

namespace {

bool sameFile(const std::string& a, const std::string& b)
{
    struct stat sa {};
    struct stat sb {};
    if (a.empty() || b.empty() || stat(a.c_str(), &sa) != 0 || stat(b.c_str(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool isExecutableFile(const std::string& path)
{
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

bool usable(const std::string& candidate, const AdbSearch& search)
{
    return isExecutableFile(candidate) && !sameFile(candidate, search.self);
}

}  // namespace

AdbLocation locateAdb(const AdbSearch& search)
{
    if (search.override && *search.override) {
        std::string chosen = search.override;
        if (!isExecutableFile(chosen))
            return {{}, std::string(kAdbOverrideVariable) + " names " + chosen +
                            ", which is not an executable program"};
        if (sameFile(chosen, search.self))
            return {{}, std::string(kAdbOverrideVariable) + " names this program itself (" +
                            chosen + "); it must name Debian's adb"};
        return {chosen, {}};
    }
    std::string_view path = search.path ? search.path : "";
    while (!path.empty()) {
        size_t colon = path.find(':');
        std::string_view folder = path.substr(0, colon);
        path = colon == std::string_view::npos ? std::string_view{} : path.substr(colon + 1);
        if (folder.empty())
            continue;
        std::string candidate = std::string(folder) + "/adb";
        if (usable(candidate, search))
            return {candidate, {}};
    }
    for (const auto& place : search.fallbacks) {
        if (usable(place, search))
            return {place, {}};
    }
    return {{}, "the adb program is missing: install Debian's package \"adb\" "
                "(sudo apt install adb), or set " + std::string(kAdbOverrideVariable) +
                    " to the adb program to use"};
}

AdbSearch currentAdbSearch()
{
    AdbSearch search;
    search.override = std::getenv(kAdbOverrideVariable);
    search.path = std::getenv("PATH");
    search.fallbacks = {"/usr/bin/adb", "/usr/lib/android-sdk/platform-tools/adb"};
    std::array<char, 4096> buffer{};
    ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
    if (length > 0)
        search.self.assign(buffer.data(), static_cast<size_t>(length));
    return search;
}

}  // namespace orv::adbtool
