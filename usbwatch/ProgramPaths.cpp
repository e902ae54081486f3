#include "usbwatch/ProgramPaths.h"

#include <cstdlib>
#include <system_error>

namespace orv::usb {

std::filesystem::path executableDirectory() {
    std::error_code error;
    auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    return self.parent_path();
}

std::filesystem::path resourceDirectory() {
    if (const char* dir = std::getenv("ORVANE_RESOURCE_DIR"); dir && *dir) return dir;
    return executableDirectory().parent_path() / "resources";
}

}  // namespace orv::usb
