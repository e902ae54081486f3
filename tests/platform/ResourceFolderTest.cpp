#include "platform/ResourceFolder.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;
namespace resource_folder = orv::resource_folder;

namespace {

// A scratch folder in which each case lays out the folders it names.
class ResourceFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        char pattern[] = "/tmp/orvane-resource-folder-XXXXXX";
        ASSERT_TRUE(::mkdtemp(pattern));
        root_ = pattern;
    }
    void TearDown() override { fs::remove_all(root_); }

    fs::path make(const std::vector<std::string>& folders)
    {
        for (const auto& folder : folders)
            fs::create_directories(root_ / folder);
        return root_;
    }

    fs::path root_;
};

const std::string kLibdir = ORVANE_INSTALL_LIBDIR;
const std::string kInstalled = kLibdir + "/orvane/resources";

TEST_F(ResourceFolderTest, ProgramAndLibraryAgreeInEachLayout)
{
    struct Case {
        const char* layout;
        std::vector<std::string> folders;
        std::string expected;  // relative to the scratch folder
    };
    const std::vector<Case> cases{
        {"installed", {"bin", kInstalled}, kInstalled},
        {"build tree", {"bin", "lib", "resources"}, "resources"},
        // A prefix that happens to hold a folder "resources" (a home folder).
        {"installed beside an unrelated resources folder", {"bin", kInstalled, "resources"}, kInstalled},
        // Nothing there: the build tree's place, which error messages then name.
        {"neither", {"bin", kLibdir}, "resources"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.layout);
        fs::remove_all(root_);
        const fs::path root = make(c.folders);
        // The build tree keeps its libraries in lib/ whatever the installed libdir.
        const fs::path libraryFolder = c.expected == "resources" ? root / "lib" : root / kLibdir;
        EXPECT_EQ(resource_folder::forProgramIn(root / "bin"), root / c.expected);
        EXPECT_EQ(resource_folder::forLibraryIn(libraryFolder), root / c.expected);
    }
}

}  // namespace
