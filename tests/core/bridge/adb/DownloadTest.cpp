// Downloads and screenshots through the simulated phone.
#include <gtest/gtest.h>

#include <fstream>
#include <map>

#include "PhoneTestSupport.h"
#include "core/bridge/facade/ADBError.h"
#include "core/bridge/model/OVDirectoryFile.h"
#include "core/bridge/model/OVImageAlbum.h"
#include "core/bridge/model/OVImageFile.h"

namespace orv::test {
namespace {

namespace fs = std::filesystem;

struct Download {
    std::optional<std::pair<uint64_t, uint64_t>> analysis;
    std::vector<std::tuple<std::string, int64_t, int64_t, int64_t>> progress;
    std::optional<Error> error;
    bool cancelled = false;
    int finishes = 0;
    std::function<bool(const OVFileRef&)> answer = [](const OVFileRef&) { return true; };
};

// Every regular file below a folder, by relative path, with its bytes.
std::map<std::string, std::string> tree(const fs::path& root, bool withEmptyFolders = true)
{
    std::map<std::string, std::string> files;
    for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
        const std::string relative = fs::relative(it->path(), root).string();
        if (it->is_directory()) {
            if (withEmptyFolders && fs::is_empty(it->path()))
                files[relative + "/"] = "";
            continue;
        }
        std::ifstream in(it->path(), std::ios::binary);
        files[relative] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return files;
}

std::shared_ptr<OVDirectoryFile> phoneFolder(const std::string& path, const std::string& name)
{
    auto folder = std::make_shared<OVDirectoryFile>();
    folder->setPath(path);
    folder->setName(name);
    return folder;
}

class DownloadTest : public PhoneTest {
protected:
    void TearDown() override
    {
        sim().set(serial, "transfer-rate", "0");
        sim().set(serial, "ls", "toolbox");
        sim().misbehave(serial, "stall-transfer", false);
        PhoneTest::TearDown();
    }

    OVADBManager::AnalysisCallback analysisOf(const std::shared_ptr<Download>& d)
    {
        return [d](uint64_t files, uint64_t bytes) { d->analysis = std::make_pair(files, bytes); };
    }
    OVADBManager::DownloadProgressCallback progressOf(const std::shared_ptr<Download>& d)
    {
        return [d](const OVFileRef& file, int64_t done, int64_t total, int64_t overall) {
            d->progress.emplace_back(file->name(), done, total, overall);
            return d->answer(file);
        };
    }
    OVADBManager::DownloadFinishCallback finishOf(const std::shared_ptr<Download>& d)
    {
        return [d](std::optional<Error> error, bool cancelled) {
            d->error = error;
            d->cancelled = cancelled;
            ++d->finishes;
        };
    }

    std::shared_ptr<Download> download(const std::vector<OVFileRef>& files, const fs::path& destination,
                                       std::shared_ptr<Download> d = std::make_shared<Download>())
    {
        manager->downloadFiles(files, destination.string(), analysisOf(d), progressOf(d), finishOf(d));
        EXPECT_TRUE(waitFor([&] { return d->finishes > 0; }));
        return d;
    }

    void expectNoPartialFiles(const fs::path& root)
    {
        for (const auto& entry : fs::recursive_directory_iterator(root))
            EXPECT_EQ(entry.path().filename().string().find(".orvane-part"), std::string::npos) << entry.path();
    }

    // A file on the phone of `size` bytes whose content tells its offsets apart.
    std::shared_ptr<OVImageFile> bigPhoneFile(const std::string& relative, size_t size)
    {
        std::string content(size, '\0');
        for (size_t i = 0; i < size; ++i)
            content[i] = char('a' + (i / 4096) % 26);
        sim().putFile(serial, storage(relative), content);
        auto file = std::make_shared<OVImageFile>();
        file->setPath(storage(relative));
        file->setName(fs::path(relative).filename().string());
        file->setSize(size);
        return file;
    }
};

TEST_F(DownloadTest, FoldersArriveWholeWithHostileNamesByteExact)
{
    TemporaryFolder host;
    auto d = download({phoneFolder(storage("Hostile"), "Hostile")}, host.path());
    ASSERT_EQ(d->finishes, 1);
    EXPECT_FALSE(d->error) << d->error->description();
    EXPECT_FALSE(d->cancelled);

    const auto expected = tree(phoneRoot() / "Hostile");
    EXPECT_EQ(tree(host.path() / "Hostile"), expected);

    uint64_t files = 0, bytes = 0;
    for (const auto& [name, content] : expected)
        if (!name.ends_with("/"))
            ++files, bytes += content.size();
    ASSERT_TRUE(d->analysis);
    EXPECT_EQ(d->analysis->first, files);
    EXPECT_EQ(d->analysis->second, bytes);
    expectNoPartialFiles(host.path());
    EXPECT_TRUE(sim().log(serial, "expansion").empty());
}

// Names that are not UTF-8 arrive from any phone; line breaks and carriage
// returns in names from a phone whose ls escapes them.
TEST_F(DownloadTest, FoldersWithNamesThatAreNotTextArriveByteExact)
{
    const fs::path odd = phoneRoot() / "OddDownload";
    const std::shared_ptr<void> removeOdd(nullptr, [odd](void*) { fs::remove_all(odd); });
    auto put = [&](const std::string& relative) {
        fs::create_directories((odd / relative).parent_path());
        std::ofstream(odd / relative, std::ios::binary) << "content of " << relative;
    };
    put("Text only/bad\xff.txt");
    put("Text only/fine.txt");
    put("Text only/sub\xfe/inner.txt");
    put("Every byte/two\nlines.txt");
    put("Every byte/ends in cr\r");
    put("Every byte/\xfa\tand tab");
    put("Every byte/line\nbreak folder/inner.txt");

    struct Case {
        const char* ls;
        const char* folder;
    };
    for (const Case& c : {Case{"toolbox", "Text only"}, Case{"toybox", "Text only"}, Case{"toybox", "Every byte"}}) {
        SCOPED_TRACE(std::string(c.ls) + " " + c.folder);
        sim().set(serial, "ls", c.ls);
        manager = OVADBManager::make();
        manager->setSerialNumber(serial);
        TemporaryFolder host;
        auto d = download({phoneFolder(storage(std::string("OddDownload/") + c.folder), c.folder)}, host.path());
        sim().set(serial, "ls", "toolbox");
        ASSERT_EQ(d->finishes, 1);
        EXPECT_FALSE(d->error) << d->error->description();
        const auto expected = tree(odd / c.folder);
        EXPECT_EQ(tree(host.path() / c.folder), expected);
        ASSERT_TRUE(d->analysis);
        EXPECT_EQ(d->analysis->first, c.folder == std::string("Text only") ? 3u : 4u);
        expectNoPartialFiles(host.path());
    }
    EXPECT_TRUE(sim().log(serial, "expansion").empty());
}

TEST_F(DownloadTest, AnEmptyFolderPullsNothingAndIsCreated)
{
    TemporaryFolder host;
    auto d = download({phoneFolder(storage("Hostile/Empty folder/"), "Empty folder")}, host.path());
    EXPECT_FALSE(d->error);
    ASSERT_TRUE(d->analysis);
    EXPECT_EQ(*d->analysis, std::make_pair(uint64_t(0), uint64_t(0)));
    EXPECT_TRUE(fs::is_directory(host.path() / "Empty folder"));
    EXPECT_TRUE(d->progress.empty());
}

TEST_F(DownloadTest, AlbumsGetFoldersThatStayInsideTheDestination)
{
    auto photo = [&](const std::string& relative) {
        auto file = std::make_shared<OVImageFile>();
        file->setPath(storage(relative));
        file->setName(fs::path(relative).filename().string());
        file->setSize(fs::file_size(phoneRoot() / relative));
        return OVFileRef(file);
    };
    auto album = [](const std::string& name, std::vector<OVFileRef> children) {
        auto a = std::make_shared<OVImageAlbum>();
        a->setName(name);
        a->setPath(storage("DCIM/Camera"));
        a->setChildren(std::move(children));
        return std::shared_ptr<OVAlbum>(a);
    };
    // A record from the phone may carry any name at all.
    auto escaping = photo("Pictures/Saved/harbour.jpg");
    escaping->setName("../../escaped.jpg");

    TemporaryFolder host;
    const fs::path destination = host.path() / "export";
    fs::create_directory(destination);
    auto d = std::make_shared<Download>();
    manager->downloadAlbums({album("Trip", {photo("DCIM/Camera/IMG_20150301_102011.jpg")}),
                             album("Trip", {photo("DCIM/Camera/IMG_20150301_102514.jpg")}),
                             album("?Saved/", {photo("Pictures/Saved/mountains.jpg")}),
                             album("..", {escaping}),
                             album("a/../../b", {photo("Download/wallpaper.jpg")})},
                            destination.string(), analysisOf(d), progressOf(d), finishOf(d));
    ASSERT_TRUE(waitFor([&] { return d->finishes > 0; }));
    EXPECT_FALSE(d->error);
    ASSERT_TRUE(d->analysis);
    EXPECT_EQ(d->analysis->first, 5u);

    std::set<std::string> arrived;
    for (const auto& [name, content] : tree(host.path()))
        arrived.insert(name);
    const std::set<std::string> expected = {
        "export/Trip/IMG_20150301_102011.jpg", "export/Trip/IMG_20150301_102514.jpg",
        "export/Saved/mountains.jpg",
        // ".." is no folder name: the album's own folder name stands in.
        "export/Camera/.._.._escaped.jpg", "export/a_.._.._b/wallpaper.jpg"};
    EXPECT_EQ(arrived, expected);
}

TEST_F(DownloadTest, ProgressCountsTheWholeTransfer)
{
    auto first = bigPhoneFile("Download/one.bin", 300000);
    auto second = bigPhoneFile("Download/two.bin", 200000);
    TemporaryFolder host;
    auto d = download({first, second}, host.path());
    EXPECT_FALSE(d->error);
    ASSERT_FALSE(d->progress.empty());
    const auto& last = d->progress.back();
    EXPECT_EQ(std::get<0>(last), "two.bin");
    EXPECT_EQ(std::get<1>(last), 200000);
    EXPECT_EQ(std::get<2>(last), 200000);
    EXPECT_EQ(std::get<3>(last), 500000);  // the first file's bytes plus the second's
    int64_t previous = 0;
    for (const auto& report : d->progress) {
        EXPECT_GE(std::get<3>(report), previous);
        previous = std::get<3>(report);
    }
    EXPECT_EQ(tree(host.path()).size(), 2u);
}

TEST_F(DownloadTest, AStopFromTheProgressBlockPullsNothingMore)
{
    std::vector<OVFileRef> files = {bigPhoneFile("Download/s1.bin", 1 << 20), bigPhoneFile("Download/s2.bin", 4096),
                                    bigPhoneFile("Download/s3.bin", 4096)};
    sim().set(serial, "transfer-rate", "262144");
    TemporaryFolder host;
    auto d = std::make_shared<Download>();
    d->answer = [](const OVFileRef&) { return false; };
    download(files, host.path(), d);
    EXPECT_FALSE(d->error);
    EXPECT_TRUE(d->cancelled);
    EXPECT_EQ(d->progress.size(), 1u);
    EXPECT_TRUE(sim().waitIdle(std::chrono::seconds(10)));
    EXPECT_TRUE(tree(host.path(), false).empty());
    int pulls = 0;
    for (const auto& command : adbCommands())
        pulls += command.at(2) == "pull";
    EXPECT_EQ(pulls, 1);
}

TEST_F(DownloadTest, CancellingEndsEvenAStalledPull)
{
    auto file = bigPhoneFile("Download/stalled.bin", 1 << 20);
    sim().misbehave(serial, "stall-transfer");
    TemporaryFolder host;
    auto d = std::make_shared<Download>();
    auto operation = manager->downloadFiles({file}, host.path().string(), analysisOf(d), progressOf(d), finishOf(d));
    ASSERT_TRUE(waitFor([&] { return !d->progress.empty(); }));
    operation->cancel();  // the phone now sends nothing more
    ASSERT_TRUE(waitFor([&] { return d->finishes > 0; }));
    EXPECT_FALSE(d->error);
    EXPECT_TRUE(d->cancelled);
    EXPECT_TRUE(sim().waitIdle(std::chrono::seconds(10)));
    EXPECT_TRUE(tree(host.path(), false).empty());
}

TEST_F(DownloadTest, AnUnplugInTheMiddleIsAnErrorAndLeavesNoPartialFile)
{
    std::vector<OVFileRef> files = {bigPhoneFile("Download/u1.bin", 1 << 20), bigPhoneFile("Download/u2.bin", 4096)};
    sim().set(serial, "transfer-rate", "262144");
    TemporaryFolder host;
    auto d = std::make_shared<Download>();
    d->answer = [this, unplugged = false](const OVFileRef&) mutable {
        if (!unplugged)
            sim().unplug(serial);
        unplugged = true;
        return true;
    };
    download(files, host.path(), d);
    sim().replug(serial);
    ASSERT_TRUE(d->error);
    EXPECT_EQ(d->error->domain, "ADBError");
    EXPECT_EQ(d->error->info.at("path"), storage("Download/u1.bin"));
    EXPECT_FALSE(d->cancelled);
    EXPECT_TRUE(tree(host.path(), false).empty());
}

// A failure is never a success, and it says what the phone or adb said.
TEST_F(DownloadTest, FailuresCarryThePhonesOwnWords)
{
    struct Case {
        std::string name;
        OVFileRef record;
        std::string said;
    };
    auto missingFile = std::make_shared<OVImageFile>();
    missingFile->setPath(storage("Download/gone.jpg"));
    missingFile->setName("gone.jpg");
    missingFile->setSize(10);
    // A folder removed after it was listed.
    const Case cases[] = {{"folder", phoneFolder(storage("Download/Gone"), "Gone"), "No such"},
                          {"file", missingFile, "gone.jpg"}};
    for (const Case& c : cases) {
        TemporaryFolder host;
        auto d = download({c.record}, host.path());
        ASSERT_TRUE(d->error) << c.name;
        EXPECT_EQ(d->error->info.at("path"), c.record->path()) << c.name;
        ASSERT_TRUE(d->error->info.count("adb")) << c.name;
        EXPECT_NE(d->error->info.at("adb").find(c.said), std::string::npos) << c.name << ": " << d->error->info.at("adb");
        EXPECT_EQ(d->error->info.at("adb").find("Transferring"), std::string::npos) << d->error->info.at("adb");
        EXPECT_TRUE(tree(host.path()).empty()) << c.name;
    }
}

// A phone file that shrank after it was listed arrives short with adb
// reporting success; it must not pass for the file.
TEST_F(DownloadTest, AFileThatChangedSizeIsAnErrorAndKeepsNoName)
{
    auto file = bigPhoneFile("Download/shrinks.bin", 64 * 1024);
    sim().putFile(serial, storage("Download/shrinks.bin"), std::string(1000, 'x'));
    TemporaryFolder host;
    auto d = download({file}, host.path());
    ASSERT_TRUE(d->error);
    EXPECT_EQ(d->error->info.at("path"), storage("Download/shrinks.bin"));
    EXPECT_FALSE(fs::exists(host.path() / "shrinks.bin"));
    expectNoPartialFiles(host.path());
}

TEST_F(DownloadTest, WithoutASerialTheDownloadRefusesOnTheMainQueue)
{
    manager->setSerialNumber("");
    TemporaryFolder host;
    auto d = std::make_shared<Download>();
    auto operation = manager->downloadFiles({phoneFolder(storage("DCIM"), "DCIM")}, host.path().string(),
                                            analysisOf(d), progressOf(d), finishOf(d));
    EXPECT_EQ(operation, nullptr);
    EXPECT_EQ(d->finishes, 0);  // not on the caller's stack
    ASSERT_TRUE(waitFor([&] { return d->finishes > 0; }));
    ASSERT_TRUE(d->error);
    EXPECT_EQ(d->error->code, ADBErrorNotConnected);
    EXPECT_FALSE(d->analysis);
    EXPECT_TRUE(adbCommands().empty());
}

TEST_F(DownloadTest, ScreenshotsAreFreshPicturesOrErrors)
{
    struct Shot {
        std::optional<std::vector<uint8_t>> png;
        std::optional<Error> error;
        bool done = false;
    };
    auto take = [&] {
        auto shot = std::make_shared<Shot>();
        manager->screenshotWitchCallback([shot](auto png, auto error) {
            shot->png = std::move(png);
            shot->error = error;
            shot->done = true;
        });
        EXPECT_TRUE(waitFor([&] { return shot->done; }));
        return shot;
    };
    auto first = take();
    ASSERT_TRUE(first->png) << (first->error ? first->error->description() : "");
    EXPECT_EQ((*first->png)[1], 'P');

    sim().set(serial, "battery", "42");  // the simulated screen shows the battery level
    auto second = take();
    ASSERT_TRUE(second->png);
    EXPECT_NE(*second->png, *first->png);

    sim().unplug(serial);
    auto failed = take();
    sim().replug(serial);
    EXPECT_FALSE(failed->png);
    ASSERT_TRUE(failed->error);

    manager->setSerialNumber("");
    auto refused = take();
    ASSERT_TRUE(refused->error);
    EXPECT_EQ(refused->error->code, ADBErrorNotConnected);
}

}  // namespace
}  // namespace orv::test
