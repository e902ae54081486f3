// Listing and counting phone folders through the simulated phone.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>

#include "PhoneTestSupport.h"
#include "core/bridge/facade/ADBError.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/model/OVDirectoryFile.h"
#include "core/bridge/model/OVImageFile.h"

namespace orv::test {
namespace {

namespace fs = std::filesystem;

std::shared_ptr<OVDirectoryFile> phoneFolder(const std::string& path)
{
    auto folder = std::make_shared<OVDirectoryFile>();
    folder->setPath(path);
    folder->setName(fs::path(path).filename().string());
    return folder;
}

struct Listing {
    std::vector<OVFileRef> files;
    std::optional<Error> error;
    bool done = false;
};

class ListingTest : public PhoneTest {
protected:
    std::shared_ptr<Listing> list(const std::shared_ptr<OVFile>& folder, uint64_t type = 0)
    {
        auto listing = std::make_shared<Listing>();
        manager->filesInDirectory(folder, type, [listing](auto files, auto error) {
            listing->files = std::move(files);
            listing->error = error;
            listing->done = true;
        });
        EXPECT_TRUE(waitFor([&] { return listing->done; }));
        return listing;
    }

    std::pair<int64_t, std::optional<Error>> count(const std::shared_ptr<OVFile>& folder)
    {
        struct Count {
            int64_t value = -1;
            std::optional<Error> error;
            bool done = false;
        };
        auto result = std::make_shared<Count>();
        manager->countFiles(folder, [result](int64_t value, auto error) {
            result->value = value;
            result->error = error;
            result->done = true;
        });
        EXPECT_TRUE(waitFor([&] { return result->done; }));
        return {result->value, result->error};
    }

    // No phone shell expanded anything the bridge sent.
    void expectNoExpansions()
    {
        auto expansions = sim().log(serial, "expansion");
        EXPECT_TRUE(expansions.empty()) << expansions.dump();
    }
};

TEST_F(ListingTest, FoldersListIntoRecordsOfTheirKind)
{
    auto camera = list(phoneFolder(storage("DCIM/Camera")));
    ASSERT_FALSE(camera->error);
    std::set<std::string> names;
    for (const auto& file : camera->files) {
        names.insert(file->name());
        const fs::path host = phoneRoot() / "DCIM/Camera" / file->name();
        EXPECT_EQ(file->size(), fs::file_size(host)) << file->name();
        EXPECT_EQ(file->path(), storage("DCIM/Camera/") + file->name());
        EXPECT_STREQ(file->className(), file->name().ends_with(".jpg") ? "OVImageFile" : "OVVideoFile");
        EXPECT_TRUE(file->modifiedDate());
    }
    std::set<std::string> onPhone;
    for (const auto& entry : fs::directory_iterator(phoneRoot() / "DCIM/Camera"))
        onPhone.insert(entry.path().filename().string());
    EXPECT_EQ(names, onPhone);

    auto root = std::make_shared<Listing>();
    manager->filesInRootWithCallback([root](auto files, auto error) {
        root->files = std::move(files);
        root->error = error;
        root->done = true;
    });
    ASSERT_TRUE(waitFor([&] { return root->done; }));
    auto dcim = std::find_if(root->files.begin(), root->files.end(), [](auto& f) { return f->name() == "DCIM"; });
    ASSERT_NE(dcim, root->files.end());
    EXPECT_TRUE((*dcim)->isDirectory());
    EXPECT_EQ((*dcim)->path(), storage("DCIM"));
}

TEST_F(ListingTest, HostileNamesListByteExactAndNothingIsExpanded)
{
    auto hostile = list(phoneFolder(storage("Hostile")));
    std::set<std::string> listed, onPhone;
    for (const auto& file : hostile->files)
        listed.insert(file->name());
    for (const auto& entry : fs::directory_iterator(phoneRoot() / "Hostile"))
        onPhone.insert(entry.path().filename().string());
    EXPECT_EQ(listed, onPhone);

    // Folders whose own names need quoting.
    for (const char* name : {"Folder \"quoted\"", "Folder $x", "Photos 'n' \"Pics\""}) {
        auto inner = list(phoneFolder(storage("Hostile/") + name));
        EXPECT_FALSE(inner->files.empty()) << name;
    }
    expectNoExpansions();
}

// Names whose bytes a phone holds but a plain listing mangles or that are
// not UTF-8, written straight into the phone's storage.
const std::vector<std::string> kOddNames = {"bad\xff name.txt", "fine.txt", "two\nlines.txt", "ends in cr\r",
                                            "tab\there", "back\\slash", "\xfe\xfd"};

// Names are bytes: one that is not UTF-8 hides nothing, and a phone whose ls
// escapes names lists line breaks and carriage returns as they are.
TEST_F(ListingTest, NamesAreListedAsTheBytesThePhoneHolds)
{
    const fs::path odd = phoneRoot() / "OddNames";
    fs::create_directories(odd);
    // Other cases count the phone's files: the folder goes when this one ends.
    const std::shared_ptr<void> removeOdd(nullptr, [odd](void*) { fs::remove_all(odd); });
    for (size_t i = 0; i < kOddNames.size(); ++i)
        std::ofstream(odd / kOddNames[i], std::ios::binary) << std::string(i + 1, 'x');

    struct Phone {
        const char* ls;
        std::set<std::string> expected;  // at least these names
        bool exact;
    };
    const std::set<std::string> all(kOddNames.begin(), kOddNames.end());
    const std::set<std::string> plain = {"bad\xff name.txt", "fine.txt", "ends in cr\r", "tab\there", "back\\slash",
                                         "\xfe\xfd"};
    for (const Phone& phone : {Phone{"toybox", all, true}, Phone{"toolbox", plain, false}}) {
        SCOPED_TRACE(phone.ls);
        sim().set(serial, "ls", phone.ls);
        manager = OVADBManager::make();
        manager->setSerialNumber(serial);
        auto listing = list(phoneFolder(storage("OddNames")));
        sim().set(serial, "ls", "toolbox");
        ASSERT_FALSE(listing->error) << listing->error->description();
        std::set<std::string> listed;
        for (const auto& file : listing->files) {
            listed.insert(file->name());
            if (all.count(file->name())) {
                EXPECT_EQ(file->path(), storage("OddNames/") + file->name());
                EXPECT_EQ(file->size(), fs::file_size(odd / file->name())) << file->name();
            }
        }
        if (phone.exact)
            EXPECT_EQ(listed, phone.expected);
        else
            EXPECT_TRUE(std::includes(listed.begin(), listed.end(), phone.expected.begin(), phone.expected.end()));
    }
    expectNoExpansions();
}

TEST_F(ListingTest, TypeFiltersNarrowTheListing)
{
    auto pictures = list(phoneFolder(storage("DCIM/Camera")), OVFile::TypeImage);
    ASSERT_FALSE(pictures->files.empty());
    for (const auto& file : pictures->files)
        EXPECT_STREQ(file->className(), "OVImageFile");
    EXPECT_TRUE(list(phoneFolder(storage("DCIM/Camera")), OVFile::TypeOther)->files.empty());
}

// A listing that fails is an error with the phone's or adb's words, never an
// empty folder.
TEST_F(ListingTest, FoldersThatCannotBeListedAreErrors)
{
    auto missing = list(phoneFolder(storage("No Such Folder")));
    ASSERT_TRUE(missing->error);
    EXPECT_TRUE(missing->files.empty());
    EXPECT_EQ(missing->error->info.at("path"), storage("No Such Folder"));
    EXPECT_NE(missing->error->info.at("adb").find("No such"), std::string::npos) << missing->error->info.at("adb");

    sim().unplug(serial);
    auto unplugged = list(phoneFolder(storage("DCIM/Camera")));
    sim().replug(serial);
    ASSERT_TRUE(unplugged->error);
    EXPECT_FALSE(unplugged->error->info.at("adb").empty());

    // An empty folder is no error.
    sim().shell(serial, "mkdir -p " + storage("Empty"));
    auto empty = list(phoneFolder(storage("Empty")));
    EXPECT_FALSE(empty->error);
    EXPECT_TRUE(empty->files.empty());
}

TEST_F(ListingTest, ExistenceOfPhonePaths)
{
    EXPECT_TRUE(offMain([&] { return manager->fileExistInDevice(storage("Hostile/$(echo injected).txt")); }));
    EXPECT_TRUE(offMain([&] { return manager->fileExistInDevice(storage("Hostile/back\\slash.txt")); }));
    EXPECT_FALSE(offMain([&] { return manager->fileExistInDevice(storage("Hostile/absent.txt")); }));
    expectNoExpansions();
}

TEST_F(ListingTest, CountsCoverFiveLevelsWithoutHiddenPaths)
{
    for (const char* folder : {"", "DCIM", "Hostile/Deep", "Hostile/Folder \"quoted\"", "Hostile/Folder $x"}) {
        SCOPED_TRACE(folder);
        auto [value, error] = count(phoneFolder(storage(folder)));
        EXPECT_FALSE(error);
        EXPECT_EQ(value, countLikeFind(phoneRoot() / folder));
    }
    EXPECT_EQ(count(phoneFolder(storage("Hostile/Deep"))).first, 0);  // its one file lies 13 levels down
    expectNoExpansions();
}

TEST_F(ListingTest, WithoutASerialNothingAddressesAPhone)
{
    manager->setSerialNumber("");
    auto listing = list(phoneFolder(storage("DCIM")));
    ASSERT_TRUE(listing->error);
    EXPECT_EQ(listing->error->code, ADBErrorNotConnected);
    auto [value, error] = count(phoneFolder(storage("DCIM")));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, ADBErrorNotConnected);
    EXPECT_EQ(value, 0);
    EXPECT_FALSE(offMain([&] { return manager->fileExistInDevice(storage("DCIM")); }));
    EXPECT_TRUE(adbCommands().empty());
}

TEST_F(ListingTest, OnlyFoldersWithAPathCanBeListed)
{
    auto photo = std::make_shared<OVImageFile>();
    photo->setPath(storage("DCIM/Camera/IMG_20150301_102011.jpg"));
    auto notAFolder = list(photo);
    ASSERT_TRUE(notAFolder->error);
    EXPECT_EQ(notAFolder->error->code, ADBErrorInvalidArgument);
    auto noPath = list(std::make_shared<OVDirectoryFile>());
    ASSERT_TRUE(noPath->error);
    EXPECT_EQ(noPath->error->code, ADBErrorInvalidArgument);
}

}  // namespace
}  // namespace orv::test
