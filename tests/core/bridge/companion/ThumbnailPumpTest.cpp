// The thumbnail requests of one manager: the bounded waiting list, the pump
// that feeds the thumbnail queue, the one retry after a reset, and
// cancellation, against a service of the test's own making.

#include <gtest/gtest.h>

#include "CompanionTestSupport.h"
#include "FakeCompanion.h"
#include "PhoneTestSupport.h"
#include "core/bridge/facade/ADBError.h"
#include "core/bridge/adb/OVADBManager.h"
#include "core/bridge/model/OVImageFile.h"
#include "platform/Thread.h"

namespace orv::test {
namespace {

Bytes mediaReplyFor(uint64_t id, uint8_t pixel)
{
    Bytes payload = {0, 0, 0, 1, 0};
    for (int s = 56; s >= 0; s -= 8)
        payload.push_back(uint8_t(id >> s));
    payload.insert(payload.end(), {0, 0, 0, 1, pixel});
    return replyFrame(0x08, 0x01, payload);
}

// A service that answers a one-image request with a one-byte thumbnail.
void answerWithOnePixel(FakeConnection& connection)
{
    auto request = connection.readFrame();
    if (request && request->size() == 19)
        connection.send(mediaReplyFor(request->back(), 0x5a));
    connection.waitForPeerClose();
}

class ThumbnailPumpTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        manager.reset();
        drainMainQueue();
        EXPECT_TRUE(companionOperationsGone([](auto done) { return waitFor(done); }));
    }

    std::vector<OVFileRef> images(uint64_t id)
    {
        auto file = std::make_shared<OVImageFile>();
        file->setImageId(id);
        return {file};
    }

    // A request whose callbacks are counted (they must arrive on the main thread).
    OperationRef request(uint64_t id, std::shared_ptr<Outcome> outcome)
    {
        return manager->thumbnailsForImages(images(id), [outcome](std::optional<Error> error) {
            EXPECT_TRUE(isMainThread());
            outcome->record(error);
        });
    }

    size_t waiting()
    {
        std::lock_guard lock(manager->waittingThumbnailOperationsQueueLocker());
        return manager->waittingThumbnailOperationsQueue().size();
    }

    std::shared_ptr<OVADBManager> manager = OVADBManager::make();
};

TEST_F(ThumbnailPumpTest, TheWaitingListKeepsTheNewest500AndThePumpMovesTenATime)
{
    FakeCompanion service([](FakeConnection& connection) {
        connection.readFrame();
        connection.waitForPeerClose(30s);  // never answers: every request keeps running
    });
    manager->setSocketPort(service.port());

    auto first = std::make_shared<Outcome>();
    auto dropped = request(1, first);
    std::vector<OperationRef> requests;
    for (uint64_t id = 2; id <= 501; ++id)
        requests.push_back(request(id, std::make_shared<Outcome>()));
    EXPECT_EQ(waiting(), 500u);
    {
        std::lock_guard lock(manager->waittingThumbnailOperationsQueueLocker());
        EXPECT_EQ(manager->waittingThumbnailOperationsQueue().front(), requests.front());
    }

    requests[1]->cancel();  // skipped and not counted
    manager->resumeThumbnailOperations();
    EXPECT_EQ(waiting(), 489u);
    EXPECT_EQ(manager->thumbnailOperationQueue().operationCount(), 10u);
    EXPECT_TRUE(dropped->isFinished() && dropped->isCancelled());  // never queued

    // At most five run at once, each on its own connection.
    auto executing = [&] {
        size_t count = 0;
        for (const auto& operation : manager->thumbnailOperationQueue().operations())
            count += operation->isExecuting();
        return count;
    };
    ASSERT_TRUE(eventually([&] { return service.connectionCount() == 5 && executing() == 5; }));
    EXPECT_EQ(manager->thumbnailOperationQueue().operationCount(), 10u);
    EXPECT_EQ(service.connectionCount(), 5u);
    EXPECT_EQ(first->calls(), 0);
}

TEST_F(ThumbnailPumpTest, TwelveRequestsTakeTwoTicksOnTheMainQueueTimer)
{
    FakeCompanion service(answerWithOnePixel);
    manager->setSocketPort(service.port());
    std::vector<std::shared_ptr<Outcome>> outcomes;
    std::vector<OVFileRef> records;
    for (uint64_t id = 1; id <= 12; ++id) {
        auto file = images(id);
        records.push_back(file[0]);
        auto outcome = std::make_shared<Outcome>();
        outcomes.push_back(outcome);
        manager->thumbnailsForImages(file, [outcome](std::optional<Error> error) { outcome->record(error); });
    }
    // The pump's timer runs on the main run loop; a busy machine may fold two
    // ticks into one pass, so only the first tick's limit is certain.
    ASSERT_TRUE(waitFor([&] { return waiting() <= 2; }));
    ASSERT_TRUE(waitFor([&] { return waiting() == 0; }));
    ASSERT_TRUE(waitFor([&] {
        return std::all_of(outcomes.begin(), outcomes.end(), [](auto& o) { return o->calls() == 1; });
    }));
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_FALSE(outcomes[i]->error());
        auto thumbnail = std::dynamic_pointer_cast<OVImageFile>(records[i])->thumbnail();
        ASSERT_TRUE(thumbnail);
        EXPECT_EQ(*thumbnail, Bytes{0x5a});
    }
}

TEST_F(ThumbnailPumpTest, ThePumpsTimerIsArmedOnlyWhileRequestsWait)
{
    FakeCompanion service(answerWithOnePixel);
    manager->setSocketPort(service.port());
    auto armed = [&] { return manager->thumbnailOperationTimer()->isTimerArmed(); };
    EXPECT_FALSE(armed());  // a new manager has nothing to feed

    // A full tick leaves work for the next one; the tick that empties the
    // list leaves nothing armed, whether it ran requests or only dropped a
    // cancelled one.
    std::vector<OperationRef> requests;
    for (uint64_t id = 1; id <= 12; ++id)
        requests.push_back(request(id, std::make_shared<Outcome>()));
    EXPECT_TRUE(armed());
    manager->resumeThumbnailOperations();
    EXPECT_EQ(waiting(), 2u);
    EXPECT_TRUE(armed());
    ASSERT_TRUE(waitFor([&] { return waiting() == 0; }));
    EXPECT_FALSE(armed());

    auto cancelled = std::make_shared<Outcome>();
    request(13, cancelled)->cancel();
    EXPECT_TRUE(armed());
    ASSERT_TRUE(waitFor([&] { return waiting() == 0; }));
    EXPECT_FALSE(armed());
    ASSERT_TRUE(waitFor([&] { return manager->thumbnailOperationQueue().operationCount() == 0; }));
    drainMainQueue();
    EXPECT_FALSE(armed());
    EXPECT_EQ(cancelled->calls(), 0);
}

TEST_F(ThumbnailPumpTest, AResetIsRetriedOnceAndReportsTheRetrysOutcome)
{
    for (int resets : {1, 2}) {
        SCOPED_TRACE(resets);
        std::atomic<int> connections{0};
        FakeCompanion service([&](FakeConnection& connection) {
            auto request = connection.readFrame();
            if (connections++ < resets) {
                connection.reset();
                return;
            }
            connection.send(mediaReplyFor(7, 0x11));
            connection.waitForPeerClose();
        });
        manager->setSocketPort(service.port());
        auto outcome = std::make_shared<Outcome>();
        auto file = images(7);
        request(7, outcome);
        manager->resumeThumbnailOperations();
        ASSERT_TRUE(waitFor([&] { return outcome->calls() > 0; }));
        drainMainQueue();
        EXPECT_EQ(outcome->calls(), 1);
        EXPECT_EQ(service.connectionCount(), 2u);  // the retry is not retried
        if (resets == 1)
            EXPECT_FALSE(outcome->error());
        else
            EXPECT_EQ(outcome->code(), ADBErrorSocketReset);
        manager = OVADBManager::make();
    }
}

TEST_F(ThumbnailPumpTest, ACancelledRequestNeverCallsBack)
{
    std::atomic<bool> answer{false};
    FakeCompanion service([&](FakeConnection& connection) {
        connection.readFrame();
        eventually([&] { return answer.load(); });
        connection.send(mediaReplyFor(3, 0x33));
        connection.waitForPeerClose();
    });
    manager->setSocketPort(service.port());

    auto waitingOutcome = std::make_shared<Outcome>();
    request(2, waitingOutcome)->cancel();
    auto runningOutcome = std::make_shared<Outcome>();
    auto running = request(3, runningOutcome);
    manager->resumeThumbnailOperations();
    EXPECT_EQ(waiting(), 0u);
    ASSERT_TRUE(eventually([&] { return running->isExecuting(); }));
    // Cancelled as the reply is already on its way.
    answer = true;
    running->cancel();
    ASSERT_TRUE(eventually([&] { return service.finishedScripts() == 1; }));
    drainMainQueue();
    EXPECT_EQ(service.connectionCount(), 1u);
    EXPECT_EQ(waitingOutcome->calls(), 0);
    EXPECT_EQ(runningOutcome->calls(), 0);
}

TEST_F(ThumbnailPumpTest, RequestsThatAreNeverSentStillFinishWithoutCallingBack)
{
    FakeCompanion service([](FakeConnection& connection) {
        connection.readFrame();
        connection.waitForPeerClose();
    });
    manager->setSocketPort(service.port());
    auto expectEndedUnsent = [](const OperationRef& operation, const Outcome& outcome) {
        EXPECT_TRUE(operation->isCancelled());
        EXPECT_TRUE(operation->isFinished());
        EXPECT_FALSE(operation->isExecuting());
        EXPECT_EQ(outcome.calls(), 0);
    };

    // Cancelled while waiting, then passed over by a tick.
    auto cancelledOutcome = std::make_shared<Outcome>();
    auto cancelled = request(1, cancelledOutcome);
    cancelled->cancel();
    manager->resumeThumbnailOperations();
    EXPECT_EQ(waiting(), 0u);
    // Pushed out of a full list by newer requests.
    auto droppedOutcome = std::make_shared<Outcome>();
    auto dropped = request(2, droppedOutcome);
    std::vector<OperationRef> newer;
    for (uint64_t id = 3; id <= 502; ++id)
        newer.push_back(request(id, std::make_shared<Outcome>()));
    EXPECT_EQ(waiting(), 500u);
    // Left waiting when the manager goes.
    manager.reset();
    drainMainQueue();

    expectEndedUnsent(cancelled, *cancelledOutcome);
    expectEndedUnsent(dropped, *droppedOutcome);
    for (const auto& operation : newer)
        EXPECT_TRUE(operation->isFinished() && operation->isCancelled());
    EXPECT_EQ(service.connectionCount(), 0u);
}

TEST_F(ThumbnailPumpTest, FileThumbnailsGoStraightToTheQueueForPicturesAndVideosOnly)
{
    std::optional<Error> refusal;
    EXPECT_EQ(manager->thumbnailsForFiles(images(1), OVFile::TypeAudio, [&](std::optional<Error> e) { refusal = e; }),
              nullptr);
    ASSERT_TRUE(refusal);  // at once, on the caller's thread
    EXPECT_EQ(refusal->code, ADBErrorInvalidArgument);

    FakeCompanion service([](FakeConnection& connection) {
        connection.readFrame();
        connection.send(replyFrame(0x01, 0x01, {0, 0, 0, 0}));
        connection.waitForPeerClose();
    });
    manager->setSocketPort(service.port());
    auto outcome = std::make_shared<Outcome>();
    ASSERT_TRUE(manager->thumbnailsForFiles(images(1), OVFile::TypeImage,
                                            [outcome](std::optional<Error> e) { outcome->record(e); }));
    EXPECT_EQ(waiting(), 0u);
    ASSERT_TRUE(waitFor([&] { return outcome->calls() == 1; }));
    EXPECT_FALSE(outcome->error());  // a reply without items is no error here
}

}  // namespace
}  // namespace orv::test
