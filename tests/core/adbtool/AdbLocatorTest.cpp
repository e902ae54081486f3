// Which adb the resource program runs: never itself, though it is called
// "adb" too, and a message naming the package when there is none.
#include "core/adbtool/AdbLocator.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "TempFolder.h"

namespace {

using orv::adbtool::AdbSearch;
using orv::adbtool::locateAdb;
using orv::adbtool::test::TempFolder;
namespace fs = std::filesystem;

class AdbLocatorTest : public testing::Test {
protected:
    AdbLocatorTest()
    {
        self = folder.write("resources/adb", "#!/bin/sh\n", true);
        debian = folder.write("usr/bin/adb", "#!/bin/sh\n", true);
        other = folder.write("sdk/adb", "#!/bin/sh\n", true);
        folder.write("notexec/adb", "#!/bin/sh\n");
        fs::create_directories(folder / "linked");
        fs::create_symlink(self, folder / "linked/adb");
        fs::create_directories(folder / "hard");
        fs::create_hard_link(self, folder / "hard/adb");
    }

    AdbSearch search(const std::string& path) const
    {
        AdbSearch s;
        pathValue = path;
        s.path = pathValue.c_str();
        s.self = self.string();
        s.fallbacks = {(folder / "missing/adb").string(), debian.string()};
        return s;
    }

    TempFolder folder;
    fs::path self, debian, other;
    mutable std::string pathValue;
};

TEST_F(AdbLocatorTest, TakesTheFirstAdbOnPathThatIsNotThisProgram)
{
    std::string dirs = (folder / "resources").string() + ":" + (folder / "linked").string() + "::" +
                       (folder / "hard").string() + ":" + (folder / "notexec").string() + ":" +
                       (folder / "sdk").string();
    EXPECT_EQ(locateAdb(search(dirs)).path, other.string());
}

TEST_F(AdbLocatorTest, FallsBackToDebiansPlacesWhenPathHasNone)
{
    EXPECT_EQ(locateAdb(search((folder / "resources").string())).path, debian.string());
    AdbSearch unset = search("");
    unset.path = nullptr;
    EXPECT_EQ(locateAdb(unset).path, debian.string());
}

TEST_F(AdbLocatorTest, TheVariableWinsAndMustNameAnotherProgram)
{
    AdbSearch s = search((folder / "sdk").string());
    std::string chosen = debian.string();
    s.override = chosen.c_str();
    EXPECT_EQ(locateAdb(s).path, debian.string());

    std::string empty;
    s.override = empty.c_str();
    EXPECT_EQ(locateAdb(s).path, other.string());

    for (const fs::path& bad : {folder / "notexec/adb", folder / "nothing/adb", folder / "linked/adb",
                                folder.path()}) {
        std::string value = bad.string();
        s.override = value.c_str();
        auto location = locateAdb(s);
        EXPECT_TRUE(location.path.empty()) << bad;
        EXPECT_NE(location.error.find("ORVANE_ADB"), std::string::npos) << location.error;
        EXPECT_NE(location.error.find(value), std::string::npos) << location.error;
    }
}

TEST_F(AdbLocatorTest, NamesThePackageWhenNoAdbIsFound)
{
    AdbSearch s = search((folder / "resources").string() + ":" + (folder / "notexec").string());
    s.fallbacks = {self.string()};
    auto location = locateAdb(s);
    EXPECT_TRUE(location.path.empty());
    EXPECT_NE(location.error.find("package \"adb\""), std::string::npos) << location.error;
    EXPECT_NE(location.error.find("ORVANE_ADB"), std::string::npos) << location.error;
}

}  // namespace
