#pragma once
// A private folder for one test, removed with everything in it at the end.

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace orv::adbtool::test {

class TempFolder {
public:
    TempFolder()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "adbtool-XXXXXX").string();
        if (mkdtemp(pattern.data()))
            path_ = pattern;
    }
    ~TempFolder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

    // Writes a file (and its folders); `executable` makes it a program.
    std::filesystem::path write(const std::string& name, const std::string& content,
                                bool executable = false) const
    {
        std::filesystem::path file = path_ / name;
        std::filesystem::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary | std::ios::trunc) << content;
        if (executable)
            std::filesystem::permissions(file, std::filesystem::perms::owner_all);
        return file;
    }

private:
    std::filesystem::path path_;
};

inline std::string readFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace orv::adbtool::test
