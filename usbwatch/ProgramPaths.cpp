#include "usbwatch/ProgramPaths.h"

#include <cstdlib>
#include <system_error>

#include "platform/ResourceFolder.h"

namespace orv::usb {

std::filesystem::path executableDirectory() {
    std::error_code error;
    auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return {};
    return self.parent_path();
}

std::filesystem::path resourceDirectory() {
    if (const char* dir = std::getenv("ORVANE_RESOURCE_DIR"); dir && *dir) return dir;
    return resource_folder::forProgramIn(executableDirectory());
}

}  // namespace orv::usb
