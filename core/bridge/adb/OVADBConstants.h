#pragma once
// Process-wide constants of the bridge: companion versions and the two names
// the phone uses for its shared storage.

#include <string>

namespace orv {

class OVADBConstants {
public:
    static const OVADBConstants& sharedInstance();

    // Lowest installed companion versionCode that is left in place.
    double apkVersion() const { return 15.0; }
    // Companion service version this framework speaks.
    double expectServiceVersion() const { return 1.0; }
    // Storage root in every phone path the framework builds.
    const std::string& SDCardRoot() const { return sdCardRoot_; }
    // Storage root as the phone's media library names it.
    const std::string& mediaLibraryRoot() const { return mediaLibraryRoot_; }

private:
    OVADBConstants() = default;
    const std::string sdCardRoot_ = "/storage/emulated/legacy";
    const std::string mediaLibraryRoot_ = "/storage/emulated/0";
};

}  // namespace orv
