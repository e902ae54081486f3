#include "platform/ResourceFolder.h"

#include <system_error>

namespace orv::resource_folder {

namespace {

const std::filesystem::path kBelowLibraryFolder = std::filesystem::path("orvane") / "resources";

std::filesystem::path installedOrBuildTree(const std::filesystem::path& installed, const std::filesystem::path& buildTree)
{
    std::error_code error;
    return std::filesystem::is_directory(installed, error) ? installed : buildTree;
}

}  // namespace

std::filesystem::path forProgramIn(const std::filesystem::path& programFolder)
{
    const auto prefix = programFolder.parent_path();
    return installedOrBuildTree(prefix / ORVANE_INSTALL_LIBDIR / kBelowLibraryFolder, prefix / "resources");
}

std::filesystem::path forLibraryIn(const std::filesystem::path& libraryFolder)
{
    return installedOrBuildTree(libraryFolder / kBelowLibraryFolder, libraryFolder.parent_path() / "resources");
}

}  // namespace orv::resource_folder
