#include "core/bridge/OVDeviceClient.h"

namespace orv {

namespace {

std::shared_ptr<OVDirectoryFile> folder(const char* name, const char* path)
{
    auto directory = std::make_shared<OVDirectoryFile>();
    directory->setName(name);
    directory->setPath(path);
    return directory;
}

}  // namespace

std::shared_ptr<OVDirectoryFile> OVDeviceClient::rootDir() { return folder("/", "/storage/emulated/legacy/"); }
std::shared_ptr<OVDirectoryFile> OVDeviceClient::downloadDir()
{
    return folder("Download", "/storage/emulated/legacy/download/");
}
std::shared_ptr<OVDirectoryFile> OVDeviceClient::audioDir() { return folder("Audio", "/storage/emulated/legacy/Music/"); }
std::shared_ptr<OVDirectoryFile> OVDeviceClient::videoDir() { return folder("Video", "/storage/emulated/legacy/DCIM/"); }
std::shared_ptr<OVDirectoryFile> OVDeviceClient::cameraDir()
{
    return folder("Camera", "/storage/emulated/legacy/DCIM/Camera/");
}
std::shared_ptr<OVDirectoryFile> OVDeviceClient::screenshotsDir()
{
    return folder("Screenshots", "/storage/emulated/legacy/DCIM/Screenshots/");
}
std::shared_ptr<OVDirectoryFile> OVDeviceClient::quickcaptureDir()
{
    return folder("QuickCapture", "/storage/emulated/legacy/DCIM/QuickCapture/");
}
std::shared_ptr<OVDirectoryFile> OVDeviceClient::fromMacDir()
{
    return folder("FromMac", "/storage/emulated/legacy/DCIM/FromMac/");
}

}  // namespace orv
