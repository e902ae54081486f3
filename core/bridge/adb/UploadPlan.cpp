#include "core/bridge/adb/UploadPlan.h"

#include <filesystem>

#include "core/bridge/adb/PhonePath.h"

namespace fs = std::filesystem;

namespace orv {

namespace {

std::string withoutTrailingSlashes(std::string path)
{
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

std::shared_ptr<OVFileTransferItem> makeItem(bool folder, const std::string& host, const std::string& device,
                                             uint64_t size)
{
    auto item = std::make_shared<OVFileTransferItem>();
    item->setIsDir(folder);
    item->setHostFilePath(host);
    item->setDeviceFilePath(device);
    item->setFilesize(size);
    return item;
}

void planFolder(const std::string& folder, const std::string& destination, UploadPlan& plan)
{
    // Relative paths are taken by whole components from the folder's parent,
    // so a folder directly below "/" keeps its name too.
    const std::string base = deletingLastPathComponent(folder);
    bool any = false;
    std::error_code error;
    fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        const fs::directory_entry& entry = *it;
        const std::string name = entry.path().filename().string();
        if (name.starts_with(".")) {
            it.disable_recursion_pending();
            continue;
        }
        any = true;
        std::error_code statError;
        const fs::file_status status = entry.symlink_status(statError);
        if (statError)
            continue;
        const auto relative = removingPathPrefix(entry.path().string(), base);
        if (!relative)
            continue;
        const std::string device = (destination == "/" ? std::string() : destination) + *relative;
        if (fs::is_directory(status)) {
            plan.items.push_back(makeItem(true, entry.path().string(), device, 0));
        } else if (fs::is_regular_file(status)) {
            const uintmax_t size = entry.file_size(statError);
            if (statError)
                continue;
            plan.items.push_back(makeItem(false, entry.path().string(), device, size));
            ++plan.files;
            plan.bytes += size;
        }
    }
    if (!any)
        plan.items.push_back(makeItem(true, folder, appendingPathComponent(destination, lastPathComponent(folder)), 0));
}

}  // namespace

UploadPlan planUpload(const std::vector<std::string>& hostPaths, const std::string& destinationPath)
{
    UploadPlan plan;
    const std::string destination = withoutTrailingSlashes(destinationPath);
    for (const auto& given : hostPaths) {
        const std::string path = withoutTrailingSlashes(given);
        std::error_code error;
        const fs::file_status status = fs::status(path, error);
        if (error || !fs::exists(status))
            continue;
        if (fs::is_directory(status)) {
            planFolder(path, destination, plan);
        } else if (fs::is_regular_file(status)) {
            const uintmax_t size = fs::file_size(path, error);
            if (error)
                continue;
            plan.items.push_back(makeItem(false, path, appendingPathComponent(destination, lastPathComponent(path)),
                                          size));
            ++plan.files;
            plan.bytes += size;
        }
    }
    return plan;
}

}  // namespace orv
