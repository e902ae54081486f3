#include "core/bridge/facade/OVResources.h"

#include <dlfcn.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>

#include "platform/ResourceFolder.h"

namespace orv {

namespace {

std::mutex resourceMutex;
std::string overridePath;

std::string libraryResourceDirectory()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&libraryResourceDirectory), &info) == 0 || !info.dli_fname)
        return "resources";
    std::error_code error;
    std::filesystem::path library = std::filesystem::canonical(info.dli_fname, error);
    if (error)
        library = info.dli_fname;
    return resource_folder::forLibraryIn(library.parent_path()).string();
}

}  // namespace

std::string resourceDirectory()
{
    {
        std::lock_guard lock(resourceMutex);
        if (!overridePath.empty())
            return overridePath;
    }
    if (const char* fromEnvironment = std::getenv("ORVANE_RESOURCE_DIR"); fromEnvironment && *fromEnvironment)
        return fromEnvironment;
    static const std::string beside = libraryResourceDirectory();
    return beside;
}

void setResourceDirectory(std::string path)
{
    std::lock_guard lock(resourceMutex);
    overridePath = std::move(path);
}

std::string resourcePath(const std::string& name)
{
    return (std::filesystem::path(resourceDirectory()) / name).string();
}

}  // namespace orv
