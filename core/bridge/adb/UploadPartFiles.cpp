#include "core/bridge/adb/UploadPartFiles.h"

#include <atomic>
#include <cstdio>
#include <mutex>
#include <random>
#include <set>

#include "core/bridge/adb/ADBStrings.h"
#include "core/bridge/adb/PhoneFolderListing.h"
#include "core/bridge/adb/PhonePath.h"
#include "core/bridge/adb/ShellStatus.h"
#include "core/bridge/model/OVDirectoryFile.h"

namespace orv {

namespace {

constexpr std::string_view kPartPrefix = ".orvane-part-";

// Part paths of pushes running in this process: two uploads into one folder
// may run at once, and neither may take the other's part for a leftover.
class PartsInFlight {
public:
    void insert(const std::string& path)
    {
        std::lock_guard guard(mutex_);
        paths_.insert(path);
    }
    void erase(const std::string& path)
    {
        std::lock_guard guard(mutex_);
        paths_.erase(path);
    }
    bool contains(const std::string& path)
    {
        std::lock_guard guard(mutex_);
        return paths_.count(path) != 0;
    }

private:
    std::mutex mutex_;
    std::set<std::string> paths_;
};

PartsInFlight& partsInFlight()
{
    static PartsInFlight parts;
    return parts;
}

std::string freshPartPath(const std::string& phonePath)
{
    static std::atomic<uint64_t> counter{0};
    thread_local std::mt19937_64 random{std::random_device{}()};
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, "%.*s%016llx%llx", int(kPartPrefix.size()), kPartPrefix.data(),
                  static_cast<unsigned long long>(random()), static_cast<unsigned long long>(++counter));
    return appendingPathComponent(deletingLastPathComponent(phonePath), suffix);
}

}  // namespace

UploadPartFiles::Claim::Claim(const std::string& phonePath) : path_(freshPartPath(phonePath))
{
    partsInFlight().insert(path_);
}

UploadPartFiles::Claim::~Claim()
{
    partsInFlight().erase(path_);
}

bool UploadPartFiles::isPartName(std::string_view name)
{
    if (!name.starts_with(kPartPrefix))
        return false;
    const std::string_view digits = name.substr(kPartPrefix.size());
    // 16 random digits and at least one of the counter.
    if (digits.size() < 17)
        return false;
    for (char c : digits)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    return true;
}

void UploadPartFiles::removeLeftovers(const ADBRunner& runner, const std::string& folderPath)
{
    auto folder = std::make_shared<OVDirectoryFile>();
    folder->setPath(folderPath);
    std::string line;
    for (const auto& file : listPhoneFolder(runner, folder).files) {
        if (file->isDirectory() || !isPartName(file->name()) || partsInFlight().contains(file->path()))
            continue;
        line += " " + adb_quotedForShell(file->path());
    }
    if (!line.empty())
        runner.shell({shellLineWithStatus("rm -f" + line)});
}

}  // namespace orv
