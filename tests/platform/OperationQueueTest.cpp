#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
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

// Ready only once the test opens it (and its dependencies have finished).
class GatedOperation : public BlockOperation {
public:
    bool isReady() const override { return open_.load() && Operation::isReady(); }
    void open()
    {
        open_ = true;
        readinessChanged();
    }

private:
    std::atomic<bool> open_{false};
};

// A one-slot queue whose slot is held by a gate while operations are added,
// so the order in which they then start shows the queue's choice alone.
class HeldQueue {
public:
    HeldQueue()
    {
        queue.addOperation(gate);
        gateStarted = gate->started.wait();
    }
    ~HeldQueue()
    {
        queue.cancelAllOperations();
        gate->finish();
        // The blocks write into this object.
        queue.waitUntilAllOperationsAreFinished();
    }

    std::shared_ptr<BlockOperation> make(const std::string& name, int priority = QueuePriority::Normal)
    {
        return prepare(BlockOperation::make({}), name, priority);
    }
    template <class Op>
    std::shared_ptr<Op> prepare(std::shared_ptr<Op> op, const std::string& name, int priority)
    {
        op->addExecutionBlock([this, name] {
            std::lock_guard lock(mutex_);
            order_.push_back(name);
            ran_.notify_all();
        });
        op->setQueuePriority(priority);
        return op;
    }
    void release() { gate->finish(); }

    // The names run so far, once there are `count` of them (or the deadline).
    std::vector<std::string> runs(size_t count)
    {
        std::unique_lock lock(mutex_);
        ran_.wait_for(lock, std::chrono::seconds(10), [&] { return order_.size() >= count; });
        return order_;
    }

    OperationQueue queue{"test.held", 1};
    std::shared_ptr<ManualOperation> gate = std::make_shared<ManualOperation>();
    bool gateStarted = false;

private:
    std::mutex mutex_;
    std::condition_variable ran_;
    std::vector<std::string> order_;
};

using Names = std::vector<std::string>;

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

TEST(OperationQueue, FreeSlotGoesToHighestPriorityThenFirstAdded)
{
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, int>> added;  // in this order
        Names started;
    };
    const Case cases[] = {
        {"levels",
         {{"normal", QueuePriority::Normal},
          {"veryLow", QueuePriority::VeryLow},
          {"veryHigh", QueuePriority::VeryHigh},
          {"low", QueuePriority::Low},
          {"high", QueuePriority::High}},
         {"veryHigh", "high", "normal", "low", "veryLow"}},
        {"equal priorities keep their order",
         {{"a", QueuePriority::Low}, {"b", QueuePriority::Low}, {"c", QueuePriority::Low}},
         {"a", "b", "c"}},
        {"counts, downloads and listings",
         {{"count1", QueuePriority::VeryLow},
          {"download1", QueuePriority::Low},
          {"list1", QueuePriority::Normal},
          {"count2", QueuePriority::VeryLow},
          {"download2", QueuePriority::Low},
          {"list2", QueuePriority::Normal}},
         {"list1", "list2", "download1", "download2", "count1", "count2"}},
        {"values between the levels",
         {{"one", 1}, {"minusOne", -1}, {"zero", 0}, {"three", 3}, {"twenty", 20}},
         {"twenty", "three", "one", "zero", "minusOne"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HeldQueue held;
        ASSERT_TRUE(held.gateStarted);
        for (auto& [name, priority] : c.added)
            held.queue.addOperation(held.make(name, priority));
        held.release();
        EXPECT_EQ(held.runs(c.started.size()), c.started);
    }
}

TEST(OperationQueue, PriorityIsReadWhenASlotFrees)
{
    HeldQueue held;
    ASSERT_TRUE(held.gateStarted);
    auto plain = held.make("plain");
    EXPECT_EQ(plain->queuePriority(), QueuePriority::Normal);
    auto raisedBefore = held.make("raisedBefore");
    raisedBefore->setQueuePriority(QueuePriority::High);
    auto raisedWhileWaiting = held.make("raisedWhileWaiting");
    auto loweredBefore = held.make("loweredBefore", QueuePriority::High);
    loweredBefore->setQueuePriority(QueuePriority::Low);

    held.queue.addOperation(plain);
    held.queue.addOperation(loweredBefore);
    held.queue.addOperation(raisedBefore);
    held.queue.addOperation(raisedWhileWaiting);
    raisedWhileWaiting->setQueuePriority(QueuePriority::VeryHigh);
    held.release();
    EXPECT_EQ(held.runs(4), (Names{"raisedWhileWaiting", "raisedBefore", "plain", "loweredBefore"}));
}

TEST(OperationQueue, DependencyInTheSameQueueOutranksPriority)
{
    HeldQueue held;
    ASSERT_TRUE(held.gateStarted);
    auto first = held.make("first", QueuePriority::VeryLow);
    auto dependent = held.make("dependent", QueuePriority::VeryHigh);
    dependent->addDependency(first);
    EXPECT_FALSE(dependent->isReady());
    held.queue.addOperation(dependent);
    held.queue.addOperation(held.make("other"));
    held.queue.addOperation(first);
    held.release();
    EXPECT_EQ(held.runs(3), (Names{"other", "first", "dependent"}));
}

// A high-priority operation that is not ready lets lower ones pass, and
// starts as soon as it becomes ready, whatever made it so.
TEST(OperationQueue, OperationThatIsNotReadyWaitsWhateverItsPriority)
{
    struct Case {
        const char* what;
        std::function<std::shared_ptr<BlockOperation>(HeldQueue&, const OperationRef& blocker)> make;
        std::function<void(BlockOperation& op, ManualOperation& blocker)> unblock;
    };
    auto dependsOnBlocker = [](HeldQueue& held, const OperationRef& blocker) {
        auto op = held.make("blocked", QueuePriority::VeryHigh);
        op->addDependency(blocker);
        return op;
    };
    const Case cases[] = {
        {"its dependency finishes",
         dependsOnBlocker,
         [](BlockOperation&, ManualOperation& blocker) {
             blocker.start();
             blocker.finish();
         }},
        {"its dependency is cancelled and finishes",
         dependsOnBlocker,
         [](BlockOperation&, ManualOperation& blocker) {
             blocker.cancel();
             blocker.start();
         }},
        {"its dependency is removed",
         dependsOnBlocker,
         [](BlockOperation& op, ManualOperation& blocker) { op.removeDependency(blocker.shared_from_this()); }},
        {"its own condition is met",
         [](HeldQueue& held, const OperationRef&) {
             return std::static_pointer_cast<BlockOperation>(
                 held.prepare(std::make_shared<GatedOperation>(), "blocked", QueuePriority::VeryHigh));
         },
         [](BlockOperation& op, ManualOperation&) { static_cast<GatedOperation&>(op).open(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        HeldQueue held;
        ASSERT_TRUE(held.gateStarted);
        auto blocker = std::make_shared<ManualOperation>();  // in no queue
        auto blocked = c.make(held, blocker);
        held.queue.addOperation(blocked);
        held.queue.addOperation(held.make("low", QueuePriority::Low));
        held.release();
        // Had the blocked one been let through, it would have run first.
        ASSERT_EQ(held.runs(1), Names{"low"});
        EXPECT_FALSE(blocked->isExecuting() || blocked->isFinished());

        c.unblock(*blocked, *blocker);
        EXPECT_EQ(held.runs(2), (Names{"low", "blocked"}));
        blocker->finish();
    }
}

TEST(OperationQueue, CancelledOperationWaitingOnADependencyStillLeaves)
{
    OperationQueue queue("test.cancelwaiting", 1);
    auto never = std::make_shared<ManualOperation>();  // never finishes
    std::atomic<bool> ran{false};
    auto op = BlockOperation::make([&] { ran = true; });
    op->addDependency(never);
    Latch done;
    op->setCompletionBlock([&] { done.countDown(); });
    queue.addOperation(op);

    op->cancel();
    ASSERT_TRUE(done.wait());
    queue.waitUntilAllOperationsAreFinished();
    EXPECT_FALSE(ran.load());
    EXPECT_EQ(queue.operationCount(), 0u);
}

// An operation may hold the last owner of its own queue; dropping it there
// must neither wait for that operation nor stop the others.
TEST(OperationQueue, AnOperationMayDropItsQueuesLastOwner)
{
    for (int concurrent : {1, 3}) {
        auto queue = std::make_shared<orv::OperationQueue>("self-owned", concurrent);
        auto owner = std::make_shared<std::shared_ptr<orv::OperationQueue>>(queue);
        auto dropped = std::make_shared<orv::test::Latch>();
        auto other = std::make_shared<orv::test::Latch>();
        if (concurrent > 1)
            queue->addOperation(orv::BlockOperation::make([other] { other->wait(); }));
        queue->addOperation(orv::BlockOperation::make([owner, dropped] {
            owner->reset();
            dropped->countDown();
        }));
        queue.reset();
        EXPECT_TRUE(dropped->wait()) << concurrent;
        other->countDown();
    }
}
