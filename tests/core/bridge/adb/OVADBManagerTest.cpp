#include "core/bridge/adb/OVADBManager.h"

#include <gtest/gtest.h>

#include <atomic>

#include "PhoneTestSupport.h"
#include "core/bridge/facade/ADBError.h"
#include "core/bridge/adb/HWWeakTimer.h"
#include "core/bridge/model/OVDirectoryFile.h"
#include "core/bridge/model/OVImageFile.h"
#include "platform/OperationQueue.h"
#include "platform/Thread.h"
#include "support/Wait.h"

namespace orv::test {
namespace {

using Commands = std::vector<std::vector<std::string>>;

TEST_F(PhoneTest, OnlyServerCommandsRunWithoutASerial)
{
    manager->setSerialNumber("");
    struct Result {
        std::optional<std::string> output;
        bool done = false;
    };
    auto devices = std::make_shared<Result>();
    manager->excuteADBCommandInQueueWithArguments({"devices"}, [devices](auto output, auto) {
        EXPECT_TRUE(isMainThread());
        devices->output = output;
        devices->done = true;
    });
    ASSERT_TRUE(waitFor([&] { return devices->done; }));
    EXPECT_NE(devices->output.value_or("").find(serial + "\tdevice"), std::string::npos);

    // A shell command refuses at once, on the caller's thread, and runs nothing.
    std::optional<Error> refusal;
    auto operation = manager->excuteShellInQueue({"echo", "hi"}, [&](auto output, auto error) {
        EXPECT_FALSE(output);
        refusal = error;
    });
    EXPECT_EQ(operation, nullptr);
    ASSERT_TRUE(refusal);
    EXPECT_EQ(refusal->code, ADBErrorNotConnected);
    EXPECT_FALSE(offMain([&] { return manager->performShell({"echo", "hi"}); }));

    EXPECT_EQ(adbCommands(), (Commands{{"devices"}}));
}

TEST_F(PhoneTest, WithASerialEveryCommandNamesThePhone)
{
    struct Result {
        std::optional<std::string> output;
        bool onMainThread = true;
        std::atomic<bool> done{false};
    };
    auto result = std::make_shared<Result>();
    manager->excuteShellInQueue({"echo", "hi"}, [result](auto output, auto error) {
        EXPECT_FALSE(error);
        result->output = output;
        result->onMainThread = isMainThread();
        result->done = true;
        wakeMainLoop();
    });
    ASSERT_TRUE(waitFor([&] { return result->done.load(); }));
    EXPECT_EQ(result->output, "hi\n");
    EXPECT_FALSE(result->onMainThread);  // called back on the operation's own thread
    EXPECT_EQ(adbCommands(), (Commands{{"-s", serial, "shell", "echo hi"}}));
}

TEST_F(PhoneTest, TheMainThreadMayNeverWaitOnAdb)
{
    try {
        manager->performADBCommand({"devices"});
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.name(), "performADBCommand must be excuted in operation queue");
    }
    EXPECT_TRUE(adbCommands().empty());
}

TEST_F(PhoneTest, ProgressArrivesWhileTheChildRunsAndTheBlockCanStopIt)
{
    const std::string content(1 << 20, 'x');
    sim().putFile(serial, storage("Download/big.bin"), content);
    sim().set(serial, "transfer-rate", "16384");  // a minute for the whole file
    TemporaryFolder host;
    const auto target = host.path() / "big.bin";

    std::vector<std::pair<int64_t, int64_t>> reports;
    auto started = std::chrono::steady_clock::now();
    auto result = offMain([&] {
        return manager->runADBCommand({"pull", "-p", storage("Download/big.bin"), target.string()},
                                      [&](const std::shared_ptr<Process>& task, const ADBProgress& progress) {
                                          reports.emplace_back(progress.completedUnitCount, progress.totalUnitCount);
                                          task->terminate();
                                      });
    });
    auto elapsed = std::chrono::steady_clock::now() - started;
    sim().set(serial, "transfer-rate", "0");

    ASSERT_FALSE(reports.empty());
    EXPECT_GT(reports.front().first, 0);
    EXPECT_EQ(reports.front().second, int64_t(content.size()));
    EXPECT_FALSE(result.succeeded());
    EXPECT_LT(elapsed, std::chrono::seconds(30));  // stopped long before the file could arrive
    EXPECT_TRUE(sim().waitIdle(std::chrono::seconds(10)));
    EXPECT_FALSE(std::filesystem::exists(target));
}

TEST_F(PhoneTest, ReleasingTheManagerCancelsQueuedWork)
{
    sim().putFile(serial, storage("Download/slow.bin"), std::string(1 << 20, 's'));
    sim().set(serial, "transfer-rate", "1048576");
    TemporaryFolder host;
    auto calls = std::make_shared<std::atomic<int>>(0);
    // Two slow pulls fill both places of the queue; the shell commands wait.
    for (int i = 0; i < 2; ++i)
        manager->excuteADBCommandInQueueWithArguments(
            {"pull", storage("Download/slow.bin"), (host.path() / std::to_string(i)).string()},
            [calls](auto, auto) { ++*calls; });
    for (int i = 0; i < 3; ++i)
        manager->excuteShellInQueue({"echo", std::to_string(i)}, [calls](auto, auto) { ++*calls; });
    manager.reset();
    drainMainQueue();
    sim().set(serial, "transfer-rate", "0");
    // A result posted before the release is silenced by its cancel too.
    EXPECT_EQ(calls->load(), 0);
    // Only the queued echo lines matter: an adb program may probe the phone
    // on its own during a pull (a shell "ls -ld" for the total size).
    for (const auto& command : adbCommands())
        EXPECT_NE(command.back().rfind("echo ", 0), 0u) << command.back();
}

TEST_F(PhoneTest, WaitingWorkStartsListingsFirstThenDownloadsThenCounts)
{
    sim().putFile(serial, storage("Download/queued.bin"), "queued");
    auto file = std::make_shared<OVImageFile>();
    file->setPath(storage("Download/queued.bin"));
    file->setName("queued.bin");
    auto folder = std::make_shared<OVDirectoryFile>();
    folder->setPath(storage("Download"));
    folder->setName("Download");
    TemporaryFolder host;

    // Two held operations fill both places; releasing one leaves a single
    // place, so the waiting work starts one at a time in the queue's order.
    // Shared with the held operations, which may outlive a failed test body.
    auto holding = std::make_shared<Latch>(2);
    auto firstGate = std::make_shared<Latch>(), secondGate = std::make_shared<Latch>();
    struct Release {
        std::shared_ptr<Latch> a, b;
        ~Release()
        {
            a->countDown();
            b->countDown();
        }
    } release{firstGate, secondGate};
    for (const auto& gate : {firstGate, secondGate}) {
        auto hold = std::make_shared<BlockOperation>();
        hold->addExecutionBlock([gate, holding] {
            holding->countDown();
            gate->wait(std::chrono::minutes(2));
        });
        manager->adbOperationQueue().addOperation(hold);
    }
    ASSERT_TRUE(holding->wait(std::chrono::minutes(2)));

    auto finished = std::make_shared<std::vector<std::string>>();
    manager->countFiles(folder, [finished](int64_t, auto) { finished->push_back("count"); });
    manager->downloadFiles({file}, host.path().string(), nullptr, nullptr,
                           [finished](auto, bool) { finished->push_back("download"); });
    manager->filesInDirectory(folder, OVFile::TypeDirectory | OVFile::TypeOther,
                              [finished](auto, auto) { finished->push_back("listing"); });
    firstGate->countDown();
    const bool allDone = waitFor([&] { return finished->size() == 3; });
    secondGate->countDown();
    ASSERT_TRUE(allDone);
    EXPECT_EQ(*finished, (std::vector<std::string>{"listing", "download", "count"}));
}

TEST(HWWeakTimerTest, AWeakTimerEndsOnceItsTargetIsGone)
{
    auto target = std::make_shared<int>(0);
    auto timer = HWWeakTimer::scheduledTimerWithTimeInterval<int>(
        std::chrono::milliseconds(5), std::weak_ptr<int>(target), [](int& count, const std::any&) { ++count; },
        std::any(), true);
    ASSERT_TRUE(waitFor([&] { return *target >= 3; }));
    EXPECT_TRUE(timer->isValid());
    target.reset();
    EXPECT_TRUE(waitFor([&] { return !timer->isValid(); }));
}

TEST(ThumbnailPumpTest, EachTickStartsAtMostTenWaitingOperations)
{
    auto manager = OVADBManager::make();
    std::atomic<int> ran{0};
    {
        std::lock_guard lock(manager->waittingThumbnailOperationsQueueLocker());
        for (int i = 0; i < 13; ++i) {
            auto operation = BlockOperation::make([&ran] { ++ran; });
            if (i == 1)
                operation->cancel();  // dropped without running, and not counted
            manager->waittingThumbnailOperationsQueue().push_back(operation);
        }
    }
    manager->resumeThumbnailOperations();
    manager->thumbnailOperationQueue().waitUntilAllOperationsAreFinished();
    EXPECT_EQ(ran.load(), 10);
    {
        std::lock_guard lock(manager->waittingThumbnailOperationsQueueLocker());
        EXPECT_EQ(manager->waittingThumbnailOperationsQueue().size(), 2u);
    }
    manager.reset();
    drainMainQueue();
}

}  // namespace
}  // namespace orv::test
