#include "core/bridge/adb/OVFileTransferItem.h"

namespace orv {

uint64_t OVFileTransferItem::filesize() const
{
    std::lock_guard lock(mutex_);
    return filesize_;
}

void OVFileTransferItem::setFilesize(uint64_t size)
{
    std::lock_guard lock(mutex_);
    filesize_ = size;
}

bool OVFileTransferItem::isDir() const
{
    std::lock_guard lock(mutex_);
    return isDir_;
}

void OVFileTransferItem::setIsDir(bool isDir)
{
    std::lock_guard lock(mutex_);
    isDir_ = isDir;
}

std::string OVFileTransferItem::withFolderSlash(const std::string& path) const
{
    if (isDir_ && (path.empty() || path.back() != '/'))
        return path + "/";
    return path;
}

std::string OVFileTransferItem::hostFilePath() const
{
    std::lock_guard lock(mutex_);
    return withFolderSlash(hostFilePath_);
}

void OVFileTransferItem::setHostFilePath(std::string path)
{
    std::lock_guard lock(mutex_);
    hostFilePath_ = std::move(path);
}

std::string OVFileTransferItem::deviceFilePath() const
{
    std::lock_guard lock(mutex_);
    return withFolderSlash(deviceFilePath_);
}

void OVFileTransferItem::setDeviceFilePath(std::string path)
{
    std::lock_guard lock(mutex_);
    deviceFilePath_ = std::move(path);
}

std::string OVFileTransferItem::description() const
{
    if (isDir())
        return "OVFileTransferItem: mkdir " + deviceFilePath();
    return "OVFileTransferItem: pull -p " + hostFilePath() + " " + deviceFilePath();
}

}  // namespace orv
