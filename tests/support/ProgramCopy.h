#pragma once
// A copy of a built program in a folder of its own, laid out as the build
// tree is (bin/, with lib/ and resources/ beside it): a program that ends
// every process run from its own folder (an application started without a
// phone ends the agents beside it) leaves the copy alone.

#include <filesystem>

namespace orv::test {

// Copies `built` to `folder`/bin and links the build tree's lib and resources
// folders beside it; returns the copy's path.
inline std::filesystem::path copyProgram(const std::filesystem::path& built, const std::filesystem::path& folder)
{
    const auto tree = built.parent_path().parent_path();
    std::filesystem::create_directories(folder / "bin");
    std::filesystem::copy_file(built, folder / "bin" / built.filename());
    std::filesystem::create_directory_symlink(tree / "lib", folder / "lib");
    std::filesystem::create_directory_symlink(tree / "resources", folder / "resources");
    return folder / "bin" / built.filename();
}

}  // namespace orv::test
