#pragma once
// Where the framework finds its resources ("adb", "Tidewell.apk"): by default
// the resource folder of the library itself, installed
// (<prefix>/<libdir>/libOrvaneCore.so -> <prefix>/<libdir>/orvane/resources)
// or in the build tree (<build>/lib/libOrvaneCore.so -> <build>/resources),
// as platform/ResourceFolder.h says. The environment
// variable ORVANE_RESOURCE_DIR overrides that, and setResourceDirectory
// overrides both (tests point it at the simulated phone's resources).

#include <string>

namespace orv {

// The folder in force. Thread-safe.
std::string resourceDirectory();
// An empty path returns to the default.
void setResourceDirectory(std::string path);
// The full path of one resource.
std::string resourcePath(const std::string& name);

}  // namespace orv
