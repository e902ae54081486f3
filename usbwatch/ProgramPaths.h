#pragma once
// Where the programs find their siblings and resources: installed, the
// resources lie in <prefix>/<libdir>/orvane/resources; in the build tree, in
// resources/ beside bin/ (platform/ResourceFolder.h says which is tried first).

#include <filesystem>

namespace orv::usb {

// The folder holding the running executable (empty if it cannot be read).
std::filesystem::path executableDirectory();

// $ORVANE_RESOURCE_DIR when set and not empty, else the installed or the
// build tree's resource folder of the executable.
std::filesystem::path resourceDirectory();

}  // namespace orv::usb
