#pragma once
// Where the programs find their siblings and resources: the install layout is
// bin/<program> beside resources/, and the build tree mirrors it.

#include <filesystem>

namespace orv::usb {

// The folder holding the running executable (empty if it cannot be read).
std::filesystem::path executableDirectory();

// $ORVANE_RESOURCE_DIR when set and not empty, else "resources" beside the
// executable's folder.
std::filesystem::path resourceDirectory();

}  // namespace orv::usb
