// Deleting and renaming phone files through the simulated phone, and the
// media-library refresh that follows a deletion.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <thread>

#include "LoadedPhoneSupport.h"
#include "PhoneTestSupport.h"
#include "core/bridge/facade/ADBError.h"
#include "core/bridge/model/OVAudioFile.h"
#include "core/bridge/model/OVDevice.h"
#include "core/bridge/model/OVDirectoryFile.h"
#include "core/bridge/model/OVImageFile.h"
#include "platform/Thread.h"

namespace orv::test {
namespace {

namespace fs = std::filesystem;

struct Deletion {
    std::optional<std::pair<uint64_t, uint64_t>> analysis;
    std::vector<std::string> announced;  // first record of each slice
    std::optional<Error> error;
    int finishes = 0;
    bool allOnMain = true;
    size_t stopAtSlice = SIZE_MAX;  // set the stop flag in this progress call
};

struct Outcome {
    std::optional<Error> error;
    int calls = 0;
    bool onMain = true;
};

class DeleteTest : public PhoneTest {
protected:
    void SetUp() override
    {
        PhoneTest::SetUp();
        folder = "Deletions/" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }
    void TearDown() override
    {
        sim().replug(serial);
        PhoneTest::TearDown();
    }

    // A file on the phone (written straight into its storage) and its record.
    template <class Record = OVFile>
    std::shared_ptr<Record> phoneFile(const std::string& name, const std::string& content = "bytes")
    {
        const fs::path host = phoneRoot() / folder / name;
        fs::create_directories(host.parent_path());
        std::ofstream(host, std::ios::binary) << content;
        auto record = std::make_shared<Record>();
        record->setPath(storage(folder + "/" + name));
        record->setName(fs::path(name).filename().string());
        record->setSize(content.size());
        return record;
    }
    std::shared_ptr<OVDirectoryFile> phoneFolder(const std::string& name)
    {
        fs::create_directories(phoneRoot() / folder / name);
        auto record = std::make_shared<OVDirectoryFile>();
        record->setPath(storage(folder + "/" + name + "/"));
        record->setName(name);
        return record;
    }
    bool onPhone(const std::string& name) { return fs::exists(fs::symlink_status(phoneRoot() / folder / name)); }

    std::shared_ptr<Deletion> remove(const std::vector<OVFileRef>& files, bool media = false,
                                     std::shared_ptr<Deletion> d = std::make_shared<Deletion>())
    {
        auto operation = manager->deleteOVFiles(
            files, media,
            [d](uint64_t count, uint64_t bytes) {
                d->allOnMain = d->allOnMain && isMainThread();
                d->analysis = std::make_pair(count, bytes);
            },
            [d](const OVFileRef& first, std::atomic<bool>& stop) {
                d->allOnMain = d->allOnMain && isMainThread();
                if (d->announced.size() == d->stopAtSlice)
                    stop = true;
                d->announced.push_back(first->name());
            },
            [d](std::optional<Error> error) {
                d->allOnMain = d->allOnMain && isMainThread();
                d->error = error;
                ++d->finishes;
            });
        EXPECT_TRUE(operation);
        EXPECT_TRUE(waitFor([&] { return d->finishes > 0; }));
        drainMainQueue();
        return d;
    }

    // The "rm" command lines the phone ran.
    std::vector<std::string> removals()
    {
        std::vector<std::string> lines;
        for (const auto& command : adbCommands())
            if (command.size() >= 4 && command[2] == "shell" && command[3].find("rm -rf") != std::string::npos)
                lines.push_back(command[3]);
        return lines;
    }

    std::shared_ptr<Outcome> rename(const OVFileRef& file, const std::string& name)
    {
        auto outcome = std::make_shared<Outcome>();
        manager->renameFile(file, name, [outcome](std::optional<Error> error) {
            outcome->onMain = outcome->onMain && isMainThread();
            outcome->error = error;
            ++outcome->calls;
        });
        EXPECT_TRUE(waitFor([&] { return outcome->calls > 0; }));
        drainMainQueue();
        EXPECT_EQ(outcome->calls, 1);
        EXPECT_TRUE(outcome->onMain);
        return outcome;
    }

    std::string folder;
};


TEST_F(DeleteTest, TwelveRecordsGoInSlicesOfFiveFiveAndTwo)
{
    std::vector<OVFileRef> files;
    for (int i = 0; i < 12; ++i)
        files.push_back(phoneFile("f" + std::to_string(i) + ".txt", std::string(size_t(i + 1), 'x')));

    auto d = remove(files);
    EXPECT_EQ(d->finishes, 1);
    EXPECT_FALSE(d->error);
    EXPECT_TRUE(d->allOnMain);
    ASSERT_TRUE(d->analysis);
    EXPECT_EQ(*d->analysis, std::make_pair(uint64_t(12), uint64_t(78)));
    EXPECT_EQ(d->announced, (std::vector<std::string>{"f0.txt", "f5.txt", "f10.txt"}));
    ASSERT_EQ(removals().size(), 3u);
    for (int i = 0; i < 12; ++i)
        EXPECT_FALSE(onPhone("f" + std::to_string(i) + ".txt")) << i;
}

TEST_F(DeleteTest, AStopInTheFirstProgressCallDeletesOnlyTheFirstSlice)
{
    std::vector<OVFileRef> files;
    for (int i = 0; i < 12; ++i)
        files.push_back(phoneFile("f" + std::to_string(i) + ".txt"));
    auto d = std::make_shared<Deletion>();
    d->stopAtSlice = 0;
    remove(files, false, d);

    EXPECT_EQ(d->finishes, 1);
    EXPECT_FALSE(d->error);  // a stop is the caller's wish, not a failure
    EXPECT_EQ(d->announced.size(), 1u);
    EXPECT_EQ(removals().size(), 1u);
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(onPhone("f" + std::to_string(i) + ".txt"), i >= 5) << i;
}

TEST_F(DeleteTest, AFolderCountsItsFilesAndGoesAsOnePath)
{
    auto album = phoneFolder("Album");
    phoneFile("Album/a.jpg", "aaaa");
    phoneFile("Album/inner/b.txt", "bb");
    phoneFolder("Album/empty");
    auto loose = phoneFile("loose.txt", "c");

    auto d = remove({album, loose});
    EXPECT_FALSE(d->error);
    ASSERT_TRUE(d->analysis);
    EXPECT_EQ(*d->analysis, std::make_pair(uint64_t(3), uint64_t(7)));
    const auto lines = removals();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].find("Album/a.jpg"), std::string::npos);  // the folder goes whole
    EXPECT_FALSE(onPhone("Album"));
    EXPECT_FALSE(onPhone("loose.txt"));
}

TEST_F(DeleteTest, HostileNamesAreDeletedLiterallyAndNothingElse)
{
    const std::vector<std::string> names = {"a \"quoted\" name", "back`tick`", "$HOME", "$(rm -rf ..)",
                                            "trailing\\", "semi;colon & pipe|"};
    std::vector<OVFileRef> files;
    for (const auto& name : names)
        files.push_back(phoneFile(name));
    phoneFile("bystander.txt");
    phoneFolder("HOME");

    auto d = remove(files);
    EXPECT_FALSE(d->error) << d->error->description();
    for (const auto& name : names)
        EXPECT_FALSE(onPhone(name)) << name;
    EXPECT_TRUE(onPhone("bystander.txt"));
    EXPECT_TRUE(onPhone("HOME"));
    EXPECT_TRUE(sim().log(serial, "expansion").empty());
}

TEST_F(DeleteTest, PathsOutsideTheStorageOrTheStorageItselfAreRefusedAtOnce)
{
    const std::vector<std::string> paths = {"",
                                            "/",
                                            "/system/app",
                                            "/storage/emulated/legacy/",
                                            "/storage/emulated/0",
                                            "/sdcard",
                                            "/storage/emulated/legacy/DCIM/..",
                                            "/sdcard/./",
                                            "/storage/emulated/legacyX/a"};
    for (const auto& path : paths) {
        auto record = std::make_shared<OVDirectoryFile>();
        record->setPath(path);
        record->setName("x");
        std::optional<Error> error;
        bool called = false;
        const std::thread::id caller = std::this_thread::get_id();
        bool onCaller = false;
        auto operation = manager->deleteOVFiles({phoneFile<OVFile>("keep.txt"), record}, false, nullptr, nullptr,
                                                [&](std::optional<Error> e) {
                                                    called = true;
                                                    onCaller = std::this_thread::get_id() == caller;
                                                    error = e;
                                                });
        EXPECT_EQ(operation, nullptr) << path;
        ASSERT_TRUE(called) << path;
        EXPECT_TRUE(onCaller);
        ASSERT_TRUE(error) << path;
        EXPECT_EQ(error->code, ADBErrorInvalidArgument) << path;
    }
    drainMainQueue();
    EXPECT_TRUE(removals().empty());
    EXPECT_TRUE(onPhone("keep.txt"));
    EXPECT_TRUE(fs::exists(phoneRoot() / "DCIM"));
}

TEST_F(DeleteTest, ADeletionThePhoneNeverDidIsAFailure)
{
    auto file = phoneFile("stays.txt");
    sim().unplug(serial);
    auto d = remove({file});
    EXPECT_EQ(d->finishes, 1);
    ASSERT_TRUE(d->error);
    EXPECT_EQ(d->error->domain, kADBErrorDomain);
    sim().replug(serial);
    EXPECT_TRUE(onPhone("stays.txt"));
}

// Names that are not UTF-8 or hold line breaks are deleted and renamed like
// any other; a record whose path is not on the phone (what a plain listing
// makes of a name with a line break) is a failure, never a quiet success.
TEST_F(DeleteTest, NamesThatAreNotTextGoAndRecordsOfNothingAreFailures)
{
    auto bad = phoneFile("bad\xff.txt");
    auto broken = phoneFile("two\nlines.txt");
    auto cr = phoneFile("ends in cr\r");
    auto d = remove({bad, broken, cr});
    EXPECT_FALSE(d->error) << d->error->description();
    EXPECT_FALSE(onPhone("bad\xff.txt"));
    EXPECT_FALSE(onPhone("two\nlines.txt"));
    EXPECT_FALSE(onPhone("ends in cr\r"));

    phoneFile("split\nname.txt");
    auto phantom = std::make_shared<OVFile>();
    phantom->setPath(storage(folder + "/split"));
    phantom->setName("split");
    auto missed = remove({phantom});
    ASSERT_TRUE(missed->error);
    EXPECT_EQ(missed->error->domain, kADBErrorDomain);
    EXPECT_TRUE(onPhone("split\nname.txt"));

    auto odd = phoneFile("odd\xfe.txt", "odd");
    EXPECT_FALSE(rename(odd, "even.txt")->error);
    EXPECT_TRUE(onPhone("even.txt"));
    EXPECT_FALSE(rename(odd, "back\xfd.txt")->error);
    EXPECT_TRUE(onPhone("back\xfd.txt"));
    EXPECT_EQ(odd->name(), "back\xfd.txt");
}

TEST_F(DeleteTest, WithoutASerialDeletionAndRenameRefuse)
{
    auto file = phoneFile("stays.txt");
    manager->setSerialNumber("");

    std::optional<Error> error;
    const std::thread::id caller = std::this_thread::get_id();
    std::thread::id finishedOn;
    EXPECT_EQ(manager->deleteOVFiles({file}, false, nullptr, nullptr,
                                     [&](std::optional<Error> e) {
                                         finishedOn = std::this_thread::get_id();
                                         error = e;
                                     }),
              nullptr);
    EXPECT_EQ(finishedOn, caller);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, ADBErrorNotConnected);

    auto outcome = rename(file, "other.txt");
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(outcome->error->code, ADBErrorNotConnected);
    EXPECT_TRUE(onPhone("stays.txt"));
}

TEST_F(DeleteTest, RenamingMovesTheEntryAndTheRecordFollows)
{
    struct Case {
        std::string from;
        bool folder;
        std::string to;
    };
    const std::vector<Case> cases = {
        {"plain.txt", false, "renamed.txt"},
        {"Folder", true, "Folder renamed"},
        {"q\"uote.txt", false, "b`ack $HOME \"x\".txt"},
    };
    for (const auto& c : cases) {
        OVFileRef record = c.folder ? OVFileRef(phoneFolder(c.from)) : OVFileRef(phoneFile(c.from));
        auto outcome = rename(record, c.to);
        EXPECT_FALSE(outcome->error) << c.from;
        EXPECT_FALSE(onPhone(c.from)) << c.from;
        EXPECT_TRUE(onPhone(c.to)) << c.to;
        EXPECT_EQ(record->path(), storage(folder + "/" + c.to));  // no trailing "/" even for the folder
        EXPECT_EQ(record->name(), c.to);
    }
    EXPECT_TRUE(sim().log(serial, "expansion").empty());
}

TEST_F(DeleteTest, RenamingRefusesBadNamesExistingTargetsAndSystemFolders)
{
    auto file = phoneFile("mine.txt", "mine");
    phoneFile("theirs.txt", "theirs");
    phoneFolder("Box");
    const std::string before = file->path();

    for (const std::string name : {"", ".", "..", "a/b", "/abs", "two\nlines", "ends in a line break\n"}) {
        auto outcome = rename(file, name);
        ASSERT_TRUE(outcome->error) << name;
        EXPECT_EQ(outcome->error->code, ADBErrorInvalidArgument) << name;
    }
    for (const std::string name : {"theirs.txt", "Box"}) {
        auto outcome = rename(file, name);
        ASSERT_TRUE(outcome->error) << name;
        EXPECT_EQ(outcome->error->code, ADBErrorInvalidArgument) << name;
    }
    for (const std::string& path : std::vector<std::string>{storage(""), "/system/app", storage("DCIM/..")}) {
        auto system = std::make_shared<OVDirectoryFile>();
        system->setPath(path);
        auto outcome = rename(system, "moved");
        ASSERT_TRUE(outcome->error) << path;
        EXPECT_EQ(outcome->error->code, ADBErrorInvalidArgument) << path;
        EXPECT_EQ(system->path(), path);
    }
    EXPECT_TRUE(fs::exists(phoneRoot() / "DCIM"));
    EXPECT_EQ(file->path(), before);
    std::ifstream theirs(phoneRoot() / folder / "theirs.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(theirs), {}), "theirs");
    EXPECT_TRUE(onPhone("mine.txt"));
    EXPECT_FALSE(onPhone("Box/mine.txt"));
}

TEST_F(DeleteTest, ARenameThePhoneRefusedLeavesTheRecord)
{
    auto ghost = std::make_shared<OVFile>();
    ghost->setPath(storage(folder + "/missing.txt"));
    ghost->setName("missing.txt");
    auto outcome = rename(ghost, "found.txt");
    ASSERT_TRUE(outcome->error);
    EXPECT_EQ(ghost->path(), storage(folder + "/missing.txt"));
    EXPECT_EQ(ghost->name(), "missing.txt");
}

// A phone loaded through the companion service, for the media refresh.
class MediaRefreshTest : public DeleteTest {
protected:
    void SetUp() override
    {
        DeleteTest::SetUp();
        ASSERT_TRUE(loadWithCompanion(*manager, serial));
        sim().clearLog();
    }

    nlohmann::json logOf(const std::string& kind, size_t count) { return waitForLog(sim(), serial, kind, count); }
};

TEST_F(MediaRefreshTest, IdsAreForgottenPathsRescannedAndFoldersBroadcast)
{
    auto photo = phoneFile<OVImageFile>("photo.jpg");
    photo->setImageId(987654);
    auto song = phoneFile<OVAudioFile>("song.mp3");
    auto text = phoneFile("notes.txt");
    auto album = phoneFolder("Album");

    auto d = remove({photo, song, text, album}, true);
    EXPECT_FALSE(d->error);

    const auto deleted = logOf("delete-media", 1);
    ASSERT_EQ(deleted.size(), 1u);
    EXPECT_EQ(deleted[0]["ids"], nlohmann::json::array({987654}));
    const auto rescans = logOf("rescan", 1);
    ASSERT_EQ(rescans.size(), 1u);
    EXPECT_EQ(rescans[0]["paths"], nlohmann::json::array({"/" + folder + "/song.mp3"}));

    // The folder takes its whole slice to the media scanner, each path one
    // literal argument.
    const auto broadcasts = logOf("broadcast", 4);
    ASSERT_EQ(broadcasts.size(), 4u);
    EXPECT_EQ(broadcasts[3]["action"], "android.intent.action.MEDIA_MOUNTED");
    EXPECT_EQ(broadcasts[3]["data"], "file://" + album->path());
    EXPECT_EQ(broadcasts[0]["action"], "android.intent.action.MEDIA_SCANNER_SCAN_FILE");
    EXPECT_EQ(broadcasts[0]["data"], "file://" + photo->path());
}

TEST_F(MediaRefreshTest, RescansGoInBatchesOfTheSliceSize)
{
    std::vector<OVFileRef> songs;
    for (int i = 0; i < 12; ++i)
        songs.push_back(phoneFile<OVAudioFile>("s" + std::to_string(i) + ".mp3"));
    auto d = remove(songs, true);
    EXPECT_FALSE(d->error);

    const auto rescans = logOf("rescan", 3);
    std::vector<size_t> sizes;
    for (const auto& entry : rescans)
        sizes.push_back(entry["paths"].size());
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<size_t>{2, 5, 5}));
}

}  // namespace
}  // namespace orv::test
