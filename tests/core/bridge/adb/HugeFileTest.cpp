// A file larger than 4 GiB end to end through the simulated phone: its size
// in the listing, a pull whose progress runs past 4 GiB, and a push back.
// The phone's file is sparse, and so are the copies the phone makes.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>

#include "PhoneTestSupport.h"
#include "core/bridge/facade/ADBError.h"
#include "core/bridge/model/OVDirectoryFile.h"

namespace orv::test {
namespace {

namespace fs = std::filesystem;

constexpr uint64_t kHugeSize = (uint64_t(1) << 32) + 12345;  // the fixture's size

std::shared_ptr<OVDirectoryFile> phoneFolder(const std::string& path)
{
    auto folder = std::make_shared<OVDirectoryFile>();
    folder->setPath(path);
    folder->setName(fs::path(path).filename().string());
    return folder;
}

class HugeFileTest : public PhoneTest {
protected:
    static void SetUpTestSuite() { startSimulator(phonesim::Fixture::empty().withHugeFile()); }

    OVFileRef listedHugeFile()
    {
        struct Listing {
            std::vector<OVFileRef> files;
            std::optional<Error> error;
            std::atomic<bool> done{false};
        };
        auto listing = std::make_shared<Listing>();
        manager->filesInDirectory(phoneFolder(storage("Download")), 0, [listing](auto files, auto error) {
            listing->files = std::move(files);
            listing->error = error;
            listing->done = true;
        });
        EXPECT_TRUE(waitFor([&] { return listing->done.load(); }));
        EXPECT_FALSE(listing->error);
        auto found = std::find_if(listing->files.begin(), listing->files.end(),
                                  [](const OVFileRef& file) { return file->name() == "huge.bin"; });
        return found == listing->files.end() ? nullptr : *found;
    }
};

TEST_F(HugeFileTest, ListsPullsAndPushesAFileLargerThanFourGiB)
{
    const OVFileRef huge = listedHugeFile();
    ASSERT_TRUE(huge);
    EXPECT_EQ(huge->size(), kHugeSize);

    TemporaryFolder host;
    struct Transfer {
        int64_t mostDone = 0;
        int64_t total = 0;
        std::optional<Error> error;
        bool cancelled = false;
        std::atomic<int> finishes{0};
    };
    auto pull = std::make_shared<Transfer>();
    manager->downloadFiles(
        {huge}, host.path().string(), nullptr,
        [pull](const OVFileRef&, int64_t done, int64_t total, int64_t) {
            pull->mostDone = std::max(pull->mostDone, done);
            pull->total = total;
            return true;
        },
        [pull](std::optional<Error> error, bool cancelled) {
            pull->error = error;
            pull->cancelled = cancelled;
            ++pull->finishes;
        });
    ASSERT_TRUE(waitFor([&] { return pull->finishes > 0; }, std::chrono::minutes(5)));
    drainMainQueue();
    ASSERT_FALSE(pull->error) << pull->error->description();
    EXPECT_FALSE(pull->cancelled);
    EXPECT_EQ(fs::file_size(host.path() / "huge.bin"), kHugeSize);
    EXPECT_GT(pull->mostDone, int64_t(1) << 32);
    EXPECT_EQ(pull->total, int64_t(kHugeSize));

    auto destination = phoneFolder(storage("Upload"));
    auto push = std::make_shared<Transfer>();
    uint64_t pushed = 0;
    manager->uploadFiles(
        {(host.path() / "huge.bin").string()}, destination, false, nullptr, nullptr,
        [push](const std::string&, int64_t done, int64_t total, int64_t) {
            push->mostDone = std::max(push->mostDone, done);
            push->total = total;
            return true;
        },
        nullptr,
        [push, &pushed](std::optional<Error> error, uint64_t count, bool cancelled) {
            push->error = error;
            push->cancelled = cancelled;
            pushed = count;
            ++push->finishes;
        });
    ASSERT_TRUE(waitFor([&] { return push->finishes > 0; }, std::chrono::minutes(5)));
    drainMainQueue();
    ASSERT_FALSE(push->error) << push->error->description();
    EXPECT_EQ(pushed, 1u);
    EXPECT_EQ(fs::file_size(phoneRoot() / "Upload" / "huge.bin"), kHugeSize);
    EXPECT_GT(push->mostDone, int64_t(1) << 32);
}

}  // namespace
}  // namespace orv::test
