#pragma once
// The application's entry into the bridge, one per phone window. So far it
// offers the phone's standard folders; each call returns a new record.

#include <memory>

#include "core/bridge/OVDirectoryFile.h"

namespace orv {

class OVDeviceClient {
public:
    static std::shared_ptr<OVDirectoryFile> rootDir();          // "/"
    static std::shared_ptr<OVDirectoryFile> downloadDir();      // "Download"
    static std::shared_ptr<OVDirectoryFile> audioDir();         // "Audio"
    static std::shared_ptr<OVDirectoryFile> videoDir();         // "Video"
    static std::shared_ptr<OVDirectoryFile> cameraDir();        // "Camera"
    static std::shared_ptr<OVDirectoryFile> screenshotsDir();   // "Screenshots"
    static std::shared_ptr<OVDirectoryFile> quickcaptureDir();  // "QuickCapture"
    static std::shared_ptr<OVDirectoryFile> fromMacDir();       // "FromMac"
};

}  // namespace orv
