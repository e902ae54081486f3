// Uploads from this computer to the simulated phone: planning, the name-clash
// question, progress, stops, failures and the media refresh.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <set>

#include "LoadedPhoneSupport.h"
#include "PhoneTestSupport.h"
#include "core/bridge/facade/ADBError.h"
#include "core/bridge/adb/UploadPartFiles.h"
#include "core/bridge/model/OVDirectoryFile.h"
#include "platform/Thread.h"

namespace orv::test {
namespace {

namespace fs = std::filesystem;

struct Upload {
    std::optional<std::pair<uint64_t, uint64_t>> analysis;
    std::vector<std::pair<std::string, std::string>> asked;  // (phone path, computer path)
    std::vector<std::tuple<std::string, int64_t, int64_t, int64_t>> progress;
    std::vector<std::pair<std::string, bool>> posted;
    std::optional<Error> error;
    uint64_t pushed = 0;
    bool cancelled = false;
    int finishes = 0;
    bool mainOnly = true;      // analysis, pre-upload, progress and finish
    bool postedOffMain = true;
    std::function<int64_t(size_t question)> answer = [](size_t) { return int64_t(0); };
    std::function<bool()> keepGoing = [] { return true; };
};

void write(const fs::path& path, const std::string& content)
{
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
}

std::string read(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Every entry below a folder by relative path: files with their bytes,
// folders as "name/".
std::map<std::string, std::string> tree(const fs::path& root)
{
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
        const std::string relative = fs::relative(entry.path(), root).string();
        if (entry.is_directory())
            entries[relative + "/"] = "";
        else
            entries[relative] = read(entry.path());
    }
    return entries;
}

class UploadTest : public PhoneTest {
protected:
    void SetUp() override
    {
        PhoneTest::SetUp();
        folder = "Uploads/" + std::string(::testing::UnitTest::GetInstance()->current_test_info()->name());
        destination = std::make_shared<OVDirectoryFile>();
        destination->setPath(storage(folder + "/"));
        destination->setName("dest");
    }
    void TearDown() override
    {
        sim().set(serial, "transfer-rate", "0");
        sim().misbehave(serial, "stall-transfer", false);
        sim().replug(serial);
        EXPECT_TRUE(sim().waitIdle(std::chrono::seconds(10)));
        PhoneTest::TearDown();
    }

    OperationRef start(const std::vector<fs::path>& paths, const std::shared_ptr<Upload>& u, bool media = false)
    {
        std::vector<std::string> hostPaths;
        for (const auto& path : paths)
            hostPaths.push_back(path.string());
        return manager->uploadFiles(
            hostPaths, destination, media,
            [u](uint64_t files, uint64_t bytes) {
                u->mainOnly = u->mainOnly && isMainThread();
                u->analysis = std::make_pair(files, bytes);
            },
            [u](const std::string& phonePath, const std::string& hostPath, int64_t& action) {
                u->mainOnly = u->mainOnly && isMainThread();
                u->asked.emplace_back(phonePath, hostPath);
                action = u->answer(u->asked.size() - 1);
            },
            [u](const std::string& hostPath, int64_t done, int64_t total, int64_t overall) {
                u->mainOnly = u->mainOnly && isMainThread();
                u->progress.emplace_back(fs::path(hostPath).filename().string(), done, total, overall);
                return u->keepGoing();
            },
            [u](const std::string& phonePath, bool pushed) {
                u->postedOffMain = u->postedOffMain && !isMainThread();
                u->posted.emplace_back(phonePath, pushed);
            },
            [u](std::optional<Error> error, uint64_t pushed, bool cancelled) {
                u->mainOnly = u->mainOnly && isMainThread();
                u->error = error;
                u->pushed = pushed;
                u->cancelled = cancelled;
                ++u->finishes;
            });
    }
    std::shared_ptr<Upload> upload(const std::vector<fs::path>& paths, bool media = false,
                                   std::shared_ptr<Upload> u = std::make_shared<Upload>())
    {
        EXPECT_TRUE(start(paths, u, media));
        EXPECT_TRUE(waitFor([&] { return u->finishes > 0; }));
        drainMainQueue();
        EXPECT_EQ(u->finishes, 1);
        EXPECT_TRUE(u->mainOnly);
        EXPECT_TRUE(u->postedOffMain);
        return u;
    }

    fs::path onPhone(const std::string& relative = {}) { return phoneRoot() / folder / relative; }
    void expectNoPartialFiles()
    {
        if (!fs::exists(onPhone()))
            return;
        for (const auto& entry : fs::recursive_directory_iterator(onPhone()))
            EXPECT_EQ(entry.path().filename().string().find(".orvane-part"), std::string::npos) << entry.path();
    }

    std::string folder;
    std::shared_ptr<OVDirectoryFile> destination;
    TemporaryFolder host;
};

TEST_F(UploadTest, FilesAndNestedFoldersArriveWithTheirStructure)
{
    const fs::path top = host.path() / "Top \"we`ird\" $HOME";
    write(top / "a.txt", "aaa");
    write(top / "b.jpg", "bbbbb");
    write(top / ".hidden", "never");
    write(top / "sub" / "c.txt", "c");
    write(top / "sub" / "d e.txt", "dd");
    write(top / "sub" / ".cache" / "x", "never");
    fs::create_directories(top / "empty");
    write(host.path() / ".solo", "hidden but chosen");
    fs::create_directories(host.path() / "Lonely");

    auto u = upload({top, host.path() / ".solo", host.path() / "Lonely", host.path() / "missing.txt"});
    EXPECT_FALSE(u->error) << u->error->description();
    EXPECT_FALSE(u->cancelled);
    EXPECT_EQ(u->pushed, 5u);
    ASSERT_TRUE(u->analysis);
    EXPECT_EQ(*u->analysis, std::make_pair(uint64_t(5), uint64_t(3 + 5 + 1 + 2 + 17)));
    EXPECT_TRUE(u->asked.empty());

    const std::map<std::string, std::string> expected = {
        {"Top \"we`ird\" $HOME/", ""},
        {"Top \"we`ird\" $HOME/a.txt", "aaa"},
        {"Top \"we`ird\" $HOME/b.jpg", "bbbbb"},
        {"Top \"we`ird\" $HOME/empty/", ""},
        {"Top \"we`ird\" $HOME/sub/", ""},
        {"Top \"we`ird\" $HOME/sub/c.txt", "c"},
        {"Top \"we`ird\" $HOME/sub/d e.txt", "dd"},
        {".solo", "hidden but chosen"},
        {"Lonely/", ""},
    };
    EXPECT_EQ(tree(onPhone()), expected);
    ASSERT_EQ(u->posted.size(), 5u);
    for (const auto& [path, pushed] : u->posted)
        EXPECT_TRUE(pushed) << path;
    EXPECT_TRUE(sim().log(serial, "expansion").empty());
}

// A push cut off by an unplug leaves its hidden part behind: the next upload
// into that folder removes parts of that form, and nothing else.
TEST_F(UploadTest, PartsAPushLeftBehindGoBeforeTheNextUploadIntoTheirFolder)
{
    const std::vector<std::string> leftovers = {".orvane-part-0123456789abcdef1", ".orvane-part-fedcba98765432102a"};
    const std::vector<std::string> kept = {".orvane-part-notours", "photo.orvane-part-0123456789abcdef1",
                                           ".orvane-part-0123456789ABCDEF1"};
    for (const auto& name : leftovers)
        write(onPhone(name), std::string(1000, 'x'));
    for (const auto& name : kept)
        write(onPhone(name), "keep");
    write(onPhone("Sub/.orvane-part-00000000000000001"), "stale in a subfolder");
    write(host.path() / "new.txt", "new");

    auto u = upload({host.path() / "new.txt"});
    EXPECT_FALSE(u->error) << u->error->description();
    EXPECT_EQ(read(onPhone("new.txt")), "new");
    for (const auto& name : leftovers)
        EXPECT_FALSE(fs::exists(onPhone(name))) << name;
    for (const auto& name : kept)
        EXPECT_EQ(read(onPhone(name)), "keep") << name;
    // Only folders an upload goes into are cleaned.
    EXPECT_TRUE(fs::exists(onPhone("Sub/.orvane-part-00000000000000001")));
    EXPECT_TRUE(UploadPartFiles::isPartName(".orvane-part-0123456789abcdef1"));
    EXPECT_FALSE(UploadPartFiles::isPartName(".orvane-part-0123456789abcdef"));
}

TEST_F(UploadTest, TheClashQuestionIsAnsweredEachWay)
{
    struct Case {
        std::string name;
        int64_t answer;
        std::vector<std::string> existing;  // on the phone before
        std::string expectedNewName;        // where the upload lands
    };
    const std::vector<Case> cases = {
        {"photo.jpg", 0, {"photo.jpg"}, "photo.jpg"},
        {"photo.jpg", 1, {"photo.jpg"}, "photo.jpg"},  // any other answer replaces too
        {"photo.jpg", 2, {"photo.jpg"}, "photo_1.jpg"},
        {"photo.jpg", 2, {"photo.jpg", "photo_1.jpg"}, "photo_2.jpg"},
        {"README", 2, {"README"}, "README_1"},
        {"archive.tar.gz", 2, {"archive.tar.gz"}, "archive.tar_1.gz"},
    };
    int round = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name + " answered " + std::to_string(c.answer));
        folder = "Uploads/Clash" + std::to_string(round++);
        destination->setPath(storage(folder + "/"));
        for (const auto& name : c.existing)
            write(onPhone(name), "old " + name);
        const fs::path source = host.path() / std::to_string(round) / c.name;
        write(source, "new");

        auto u = std::make_shared<Upload>();
        u->answer = [&](size_t) { return c.answer; };
        upload({source}, false, u);
        EXPECT_FALSE(u->error);
        ASSERT_EQ(u->asked.size(), 1u);
        EXPECT_EQ(u->asked[0], std::make_pair(storage(folder + "/" + c.name), source.string()));
        EXPECT_EQ(read(onPhone(c.expectedNewName)), "new");
        for (const auto& name : c.existing) {
            if (name != c.expectedNewName) {
                EXPECT_EQ(read(onPhone(name)), "old " + name);
            }
        }
        ASSERT_EQ(u->posted.size(), 1u);
        EXPECT_EQ(u->posted[0], std::make_pair(storage(folder + "/" + c.expectedNewName), true));
    }
}

TEST_F(UploadTest, AnsweringStopAtTheSecondOfFiveFilesPushesOnlyTheFirst)
{
    std::vector<fs::path> sources;
    for (int i = 1; i <= 5; ++i) {
        sources.push_back(host.path() / ("f" + std::to_string(i) + ".txt"));
        write(sources.back(), "new");
    }
    write(onPhone("f2.txt"), "old");
    write(onPhone("f3.txt"), "old");
    auto u = std::make_shared<Upload>();
    u->answer = [](size_t) { return int64_t(3); };
    upload(sources, false, u);

    EXPECT_FALSE(u->error);
    EXPECT_TRUE(u->cancelled);
    EXPECT_EQ(u->pushed, 1u);
    EXPECT_EQ(u->asked.size(), 1u);
    EXPECT_EQ(read(onPhone("f1.txt")), "new");
    EXPECT_EQ(read(onPhone("f2.txt")), "old");
    EXPECT_FALSE(fs::exists(onPhone("f4.txt")));
}

TEST_F(UploadTest, ProgressCountsTheWholeUpload)
{
    write(host.path() / "one.bin", std::string(300000, '1'));
    write(host.path() / "two.bin", std::string(200000, '2'));
    auto u = upload({host.path() / "one.bin", host.path() / "two.bin"});
    EXPECT_FALSE(u->error);
    ASSERT_FALSE(u->progress.empty());
    EXPECT_EQ(u->progress.back(), std::make_tuple(std::string("two.bin"), int64_t(200000), int64_t(200000),
                                                  int64_t(500000)));
    int64_t previous = 0;
    for (const auto& report : u->progress) {
        EXPECT_GE(std::get<3>(report), previous);
        previous = std::get<3>(report);
    }
}

TEST_F(UploadTest, AStopInMidFileLeavesThePhonesOriginalWhole)
{
    write(onPhone("big.bin"), "the original");
    write(host.path() / "big.bin", std::string(1 << 20, 'n'));
    write(host.path() / "after.bin", "after");
    sim().set(serial, "transfer-rate", "262144");
    auto u = std::make_shared<Upload>();
    u->keepGoing = [] { return false; };
    upload({host.path() / "big.bin", host.path() / "after.bin"}, false, u);

    EXPECT_FALSE(u->error);
    EXPECT_TRUE(u->cancelled);
    EXPECT_EQ(u->pushed, 0u);
    EXPECT_EQ(u->progress.size(), 1u);
    ASSERT_EQ(u->posted.size(), 1u);
    EXPECT_FALSE(u->posted[0].second);
    EXPECT_TRUE(sim().waitIdle(std::chrono::seconds(10)));
    EXPECT_EQ(read(onPhone("big.bin")), "the original");
    EXPECT_FALSE(fs::exists(onPhone("after.bin")));
    expectNoPartialFiles();
}

TEST_F(UploadTest, CancellingEndsEvenAStalledPush)
{
    write(host.path() / "stalled.bin", std::string(1 << 20, 's'));
    sim().misbehave(serial, "stall-transfer");
    auto u = std::make_shared<Upload>();
    auto operation = start({host.path() / "stalled.bin"}, u);
    ASSERT_TRUE(waitFor([&] { return !u->progress.empty(); }));
    operation->cancel();
    ASSERT_TRUE(waitFor([&] { return u->finishes > 0; }));
    EXPECT_FALSE(u->error);
    EXPECT_TRUE(u->cancelled);
    EXPECT_EQ(u->pushed, 0u);
    sim().misbehave(serial, "stall-transfer", false);
    EXPECT_TRUE(sim().waitIdle(std::chrono::seconds(10)));
    EXPECT_FALSE(fs::exists(onPhone("stalled.bin")));
    expectNoPartialFiles();
}

TEST_F(UploadTest, AFailedPushIsAnError)
{
    write(host.path() / "x.txt", "x");
    destination->setPath("/system/app/");  // read-only on the phone
    auto u = upload({host.path() / "x.txt"});
    ASSERT_TRUE(u->error);
    EXPECT_EQ(u->error->domain, kADBErrorDomain);
    // adb's own reason, not its progress lines.
    ASSERT_TRUE(u->error->info.count("adb"));
    EXPECT_NE(u->error->info.at("adb").find("/system/app"), std::string::npos) << u->error->info.at("adb");
    EXPECT_EQ(u->error->info.at("adb").find("Transferring"), std::string::npos) << u->error->info.at("adb");
    EXPECT_FALSE(u->cancelled);
    EXPECT_EQ(u->pushed, 0u);
    ASSERT_EQ(u->posted.size(), 1u);
    EXPECT_FALSE(u->posted[0].second);
}

TEST_F(UploadTest, AnUnplugIsAnErrorNotAQuestion)
{
    write(host.path() / "x.txt", "x");
    sim().unplug(serial);
    auto u = upload({host.path() / "x.txt"});
    sim().replug(serial);
    ASSERT_TRUE(u->error);
    EXPECT_TRUE(u->asked.empty());
    EXPECT_EQ(u->pushed, 0u);
}

TEST_F(UploadTest, AFileNeverReplacesAFolder)
{
    fs::create_directories(onPhone("clash"));
    write(onPhone("clash/inside.txt"), "kept");
    write(host.path() / "clash", "a file");
    auto u = upload({host.path() / "clash"});
    ASSERT_TRUE(u->error);
    EXPECT_TRUE(u->asked.empty());
    EXPECT_EQ(read(onPhone("clash/inside.txt")), "kept");
}

TEST_F(UploadTest, WithoutASerialTheUploadRefusesOnTheMainQueue)
{
    manager->setSerialNumber("");
    write(host.path() / "x.txt", "x");
    auto u = std::make_shared<Upload>();
    EXPECT_EQ(start({host.path() / "x.txt"}, u), nullptr);
    EXPECT_EQ(u->finishes, 0);
    ASSERT_TRUE(waitFor([&] { return u->finishes > 0; }));
    ASSERT_TRUE(u->error);
    EXPECT_EQ(u->error->code, ADBErrorNotConnected);
    EXPECT_TRUE(u->mainOnly);
}

TEST_F(UploadTest, PushedMediaAreRescannedInBatches)
{
    ASSERT_TRUE(loadWithCompanion(*manager, serial));
    sim().clearLog();
    std::vector<fs::path> sources;
    for (int i = 0; i < 7; ++i) {
        sources.push_back(host.path() / ("m" + std::to_string(i) + ".mp3"));
        write(sources.back(), "ID3");
    }
    sources.push_back(host.path() / "notes.txt");
    write(sources.back(), "text");
    auto u = upload(sources, true);
    EXPECT_FALSE(u->error);

    const auto rescans = waitForLog(sim(), serial, "rescan", 2);
    ASSERT_EQ(rescans.size(), 2u);
    std::vector<size_t> sizes;
    for (const auto& entry : rescans)
        sizes.push_back(entry["paths"].size());
    std::sort(sizes.begin(), sizes.end());
    EXPECT_EQ(sizes, (std::vector<size_t>{2, 5}));
    std::set<std::string> all;
    for (const auto& entry : rescans)
        for (const auto& path : entry["paths"])
            all.insert(path.get<std::string>());
    EXPECT_TRUE(all.count("/" + folder + "/m0.mp3"));
    EXPECT_FALSE(all.count("/" + folder + "/notes.txt"));
}

}  // namespace
}  // namespace orv::test
