#pragma once
// Where the programs and OrvaneCore find the resource folder, computed from the
// folder of the program or of the library that asks. Installed, it is
// <prefix>/<libdir>/orvane/resources: it holds the adb program, so it is no
// architecture-independent data for share/. In the build tree it is
// <build>/resources, beside bin/ and lib/. The installed place is tried first:
// its path is specific enough not to be met by chance, while a folder named
// "resources" beside an install prefix (a home folder, /opt) may well be.
// ORVANE_RESOURCE_DIR is left to the callers, which read it on every look-up.

#include <filesystem>

namespace orv::resource_folder {

// For a program whose executable lies in `programFolder` (<prefix>/bin).
std::filesystem::path forProgramIn(const std::filesystem::path& programFolder);

// For a library that lies in `libraryFolder` (<prefix>/<libdir>).
std::filesystem::path forLibraryIn(const std::filesystem::path& libraryFolder);

}  // namespace orv::resource_folder
