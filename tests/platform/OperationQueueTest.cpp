#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/OperationQueue.h"
#include "support/Wait.h"

using namespace orv;
using orv::test::Latch;

namespace {

// An asynchronous operation that finishes only when the test says so.
class ManualOperation : public Operation {
public:
    bool isAsynchronous() const override { return true; }
    void start() override
    {
        if (isCancelled()) {
            setFinished();
            return;
        }
        setExecuting(true);
        started.countDown();
    }
    void finish() { setFinished(); }
    Latch started;
};

}  // namespace

TEST(OperationQueue, NeverRunsMoreThanItsMaximumAtOnce)
{
    for (int limit : {1, 2, 5}) {
        OperationQueue queue("test.limit", limit);
        std::atomic<int> running{0};
        std::atomic<int> peak{0};
        for (int i = 0; i < 40; ++i) {
            queue.addOperation([&] {
                int now = ++running;
                int seen = peak.load();
                while (now > seen && !peak.compare_exchange_weak(seen, now)) {
                }
                std::this_thread::yield();
                --running;
            });
        }
        queue.waitUntilAllOperationsAreFinished();
        EXPECT_LE(peak.load(), limit) << "limit " << limit;
        EXPECT_GE(peak.load(), 1);
    }
}

TEST(OperationQueue, SerialQueueRunsOperationsInOrder)
{
    OperationQueue queue("test.fifo", 1);
    std::vector<int> order;
    for (int i = 0; i < 100; ++i)
        queue.addOperation([&order, i] { order.push_back(i); });
    queue.waitUntilAllOperationsAreFinished();
    ASSERT_EQ(order.size(), 100u);
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(order[i], i);
}

TEST(OperationQueue, CancelledOperationsNeverRunButDoFinish)
{
    OperationQueue queue("test.cancel", 1);
    auto gate = std::make_shared<ManualOperation>();
    queue.addOperation(gate);
    ASSERT_TRUE(gate->started.wait());

    std::atomic<int> ran{0};
    std::vector<std::shared_ptr<BlockOperation>> waiting;
    for (int i = 0; i < 10; ++i)
        waiting.push_back(queue.addOperation([&] { ++ran; }));
    Latch completions(10);
    for (auto& op : waiting)
        op->setCompletionBlock([&] { completions.countDown(); });
    EXPECT_EQ(queue.operationCount(), 11u);

    queue.cancelAllOperations();
    EXPECT_TRUE(gate->isCancelled());
    gate->finish();
    ASSERT_TRUE(completions.wait());
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_EQ(ran.load(), 0);
    for (auto& op : waiting) {
        EXPECT_TRUE(op->isFinished());
        EXPECT_TRUE(op->isCancelled());
    }
    EXPECT_EQ(queue.operationCount(), 0u);
}

TEST(OperationQueue, AsynchronousOperationKeepsItsSlotUntilFinished)
{
    OperationQueue queue("test.async", 1);
    auto first = std::make_shared<ManualOperation>();
    auto second = std::make_shared<ManualOperation>();
    queue.addOperation(first);
    queue.addOperation(second);
    ASSERT_TRUE(first->started.wait());
    EXPECT_TRUE(first->isExecuting());
    // start() has returned, yet the slot stays taken.
    EXPECT_FALSE(second->started.wait(std::chrono::milliseconds(50)));
    EXPECT_FALSE(second->isExecuting());

    first->finish();
    ASSERT_TRUE(second->started.wait());
    EXPECT_TRUE(first->isFinished());
    EXPECT_FALSE(first->isExecuting());
    second->finish();
    queue.waitUntilAllOperationsAreFinished();
}

TEST(Operation, ObserversSeeEveryStateChangeAndCompletionRunsOnce)
{
    auto op = BlockOperation::make([] {});
    std::mutex mutex;
    std::vector<std::pair<Operation::Key, bool>> changes;
    op->addObserver([&](Operation& o, Operation::Key key) {
        std::lock_guard lock(mutex);
        bool value = key == Operation::Key::Executing ? o.isExecuting()
                     : key == Operation::Key::Finished ? o.isFinished()
                                                       : o.isCancelled();
        changes.emplace_back(key, value);
    });
    std::atomic<int> completions{0};
    op->setCompletionBlock([&] { ++completions; });
    op->start();
    op->start();  // a second start does nothing
    op->waitUntilFinished();

    std::lock_guard lock(mutex);
    std::vector<std::pair<Operation::Key, bool>> expected{
        {Operation::Key::Executing, true},
        {Operation::Key::Executing, false},
        {Operation::Key::Finished, true},
    };
    EXPECT_EQ(changes, expected);
    EXPECT_EQ(completions.load(), 1);
}

TEST(OperationQueue, DestructionWaitsForRunningOperations)
{
    std::atomic<bool> finished{false};
    Latch started;
    {
        OperationQueue queue("test.teardown", 2);
        queue.addOperation([&] {
            started.countDown();
            std::this_thread::yield();
            finished = true;
        });
        ASSERT_TRUE(started.wait());
    }
    EXPECT_TRUE(finished.load());
}
