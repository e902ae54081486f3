#pragma once
// One planned entry of an upload: a computer path, a phone path, a size and
// whether it is a folder. A folder's paths are answered with a final "/".

#include <cstdint>
#include <mutex>
#include <string>

namespace orv {

class OVFileTransferItem {
public:
    uint64_t filesize() const;
    void setFilesize(uint64_t size);
    bool isDir() const;
    void setIsDir(bool isDir);
    std::string hostFilePath() const;
    void setHostFilePath(std::string path);
    std::string deviceFilePath() const;
    void setDeviceFilePath(std::string path);

    // "OVFileTransferItem: mkdir %@" for a folder, else
    // "OVFileTransferItem: pull -p %@ %@" (computer path, phone path).
    std::string description() const;

private:
    std::string withFolderSlash(const std::string& path) const;

    mutable std::mutex mutex_;
    uint64_t filesize_ = 0;
    bool isDir_ = false;
    std::string hostFilePath_;
    std::string deviceFilePath_;
};

}  // namespace orv
