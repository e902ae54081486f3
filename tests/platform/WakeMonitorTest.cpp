#include "platform/WakeMonitor.h"

#include "PrivateBus.h"
#include "platform/RunLoop.h"
#include "platform/Thread.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using orv::WakeMonitor;
using orv::test::eventually;

namespace {

constexpr auto kDeadline = 20s;

// Stands in for the main queue: deliveries wait here until a test drains them.
class ManualQueue {
public:
    void post(WakeMonitor::Task task)
    {
        {
            std::lock_guard lock(mutex_);
            tasks_.push_back(std::move(task));
        }
        posted_.notify_all();
    }
    size_t pending()
    {
        std::lock_guard lock(mutex_);
        return tasks_.size();
    }
    bool waitForTask()
    {
        std::unique_lock lock(mutex_);
        return posted_.wait_for(lock, kDeadline, [&] { return !tasks_.empty(); });
    }
    void drain()
    {
        for (;;) {
            WakeMonitor::Task task;
            {
                std::lock_guard lock(mutex_);
                if (tasks_.empty())
                    return;
                task = std::move(tasks_.front());
                tasks_.pop_front();
            }
            task();
        }
    }
    WakeMonitor::Executor executor()
    {
        return [this](WakeMonitor::Task task) { post(std::move(task)); };
    }

private:
    std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<WakeMonitor::Task> tasks_;
};

// Time asleep as the test says; counts the monitor's samples so a test can
// wait until a change has been looked at.
class FakeSleepClock {
public:
    explicit FakeSleepClock(std::chrono::nanoseconds start) : slept_(start.count()) {}
    WakeMonitor::SleepClock clock()
    {
        return [this] {
            auto value = std::chrono::nanoseconds(slept_.load());
            {
                std::lock_guard lock(mutex_);
                ++samples_;
            }
            sampled_.notify_all();
            return value;
        };
    }
    void advance(std::chrono::nanoseconds by) { slept_ += by.count(); }
    // Waits for `count` samples taken after this call began.
    bool waitForSamples(int count)
    {
        std::unique_lock lock(mutex_);
        long target = samples_ + count;
        return sampled_.wait_for(lock, kDeadline, [&] { return samples_ >= target; });
    }

private:
    std::atomic<int64_t> slept_;
    std::mutex mutex_;
    std::condition_variable sampled_;
    long samples_ = 0;
};

size_t threadCount()
{
    size_t count = 0;
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ++count;
    return count;
}

// A thread that has been joined may linger in /proc for a moment.
bool waitForThreadCount(size_t expected)
{
    return eventually([&] { return threadCount() == expected; }, kDeadline);
}

// The thread count before the monitor starts any. A first thread start may
// also start a sanitizer's helper thread, so one is started and joined first.
size_t baselineThreadCount()
{
    std::thread([] {}).join();
    return threadCount();
}

char taskState(pid_t tid)
{
    std::ifstream stat("/proc/self/task/" + std::to_string(tid) + "/stat");
    std::string line;
    std::getline(stat, line);
    auto close = line.rfind(')');
    return close == std::string::npos || close + 2 >= line.size() ? '?' : line[close + 2];
}

// Wakes reach subscribers through `queue`. The zero interval keeps the clock
// unwatched, so only simulateWake() wakes the monitor.
WakeMonitor::Options simulatedOnly(ManualQueue& queue)
{
    WakeMonitor::Options options;
    options.executor = queue.executor();
    options.interval = 0s;
    return options;
}

WakeMonitor::Options detecting(ManualQueue& queue, FakeSleepClock& clock)
{
    WakeMonitor::Options options = simulatedOnly(queue);
    options.sleepClock = clock.clock();
    options.interval = 1ms;
    options.threshold = 2s;
    // The clock's tests hold whether or not the machine has a bus.
    options.sleepSignal = false;
    return options;
}

TEST(WakeMonitorTest, SimulatedWakeReachesEverySubscriberThroughTheExecutor)
{
    ManualQueue queue;
    WakeMonitor monitor(simulatedOnly(queue));
    int a = 0;
    int b = 0;
    auto tokenA = monitor.subscribe([&] { ++a; });
    monitor.subscribe([&] { ++b; });
    EXPECT_FALSE(monitor.isWatching());

    monitor.simulateWake();
    EXPECT_EQ(a + b, 0) << "subscribers must be called on the executor, not inline";
    queue.drain();
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 1);

    monitor.unsubscribe(tokenA);
    monitor.unsubscribe(tokenA);  // a second time is harmless
    monitor.simulateWake();
    queue.drain();
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 2);
}

TEST(WakeMonitorTest, SharedMonitorDeliversOnTheMainThread)
{
    ASSERT_TRUE(orv::isMainThread());
    auto& monitor = WakeMonitor::shared();
    bool called = false;
    bool onMain = false;
    auto token = monitor.subscribe([&] {
        called = true;
        onMain = orv::isMainThread();
    });
    monitor.simulateWake();
    EXPECT_TRUE(orv::RunLoop::main().runUntil([&] { return called; },
                                              orv::RunLoop::Clock::now() + kDeadline));
    monitor.unsubscribe(token);
    EXPECT_TRUE(onMain);
    EXPECT_FALSE(monitor.isWatching());
}

TEST(WakeMonitorTest, OnlyAClockJumpAboveTheThresholdIsAWake)
{
    ManualQueue queue;
    // Time slept before the monitor started is not a wake.
    FakeSleepClock clock(100s);
    WakeMonitor monitor(detecting(queue, clock));
    int wakes = 0;
    monitor.subscribe([&] { ++wakes; });
    ASSERT_TRUE(monitor.isWatching());
    ASSERT_TRUE(clock.waitForSamples(2));
    EXPECT_EQ(queue.pending(), 0u);

    clock.advance(1500ms);  // a short nap is below the threshold
    ASSERT_TRUE(clock.waitForSamples(2));
    EXPECT_EQ(queue.pending(), 0u);

    clock.advance(3s);
    ASSERT_TRUE(queue.waitForTask());
    queue.drain();
    EXPECT_EQ(wakes, 1);

    // One jump is one wake.
    ASSERT_TRUE(clock.waitForSamples(2));
    EXPECT_EQ(queue.pending(), 0u);
}

TEST(WakeMonitorTest, SubscribersMayUnsubscribeDuringDelivery)
{
    ManualQueue queue;
    WakeMonitor monitor(simulatedOnly(queue));
    int a = 0;
    int b = 0;
    int c = 0;
    WakeMonitor::Token tokenA = 0;
    WakeMonitor::Token tokenB = 0;
    tokenA = monitor.subscribe([&] {
        ++a;
        monitor.unsubscribe(tokenB);  // a later subscriber of the same wake
        monitor.unsubscribe(tokenA);  // itself
    });
    tokenB = monitor.subscribe([&] { ++b; });
    monitor.subscribe([&] { ++c; });

    monitor.simulateWake();
    queue.drain();
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(c, 1);

    monitor.simulateWake();
    queue.drain();
    EXPECT_EQ(a, 1);
    EXPECT_EQ(b, 0);
    EXPECT_EQ(c, 2);
}

TEST(WakeMonitorTest, UnsubscribeWaitsForACallRunningOnAnotherThread)
{
    ManualQueue queue;
    WakeMonitor monitor(simulatedOnly(queue));

    // What the subscriber uses; its owner frees it once unsubscribed.
    auto resource = std::make_unique<std::string>("in use");
    std::promise<void> entered;
    std::promise<void> release;
    auto released = release.get_future().share();
    std::atomic<bool> unsubscribed{false};
    bool unsubscribedDuringCall = true;
    size_t used = 0;
    auto token = monitor.subscribe([&] {
        entered.set_value();
        released.wait_for(kDeadline);
        unsubscribedDuringCall = unsubscribed.load();
        used = resource->size();
    });

    monitor.simulateWake();
    std::thread delivering([&] { queue.drain(); });
    ASSERT_EQ(entered.get_future().wait_for(kDeadline), std::future_status::ready);

    std::atomic<pid_t> unsubscriberTid{0};
    std::thread owner([&] {
        unsubscriberTid = ::gettid();
        monitor.unsubscribe(token);
        resource.reset();
        unsubscribed = true;
    });
    // Let the owner reach its wait (it sleeps there) before the call goes on.
    eventually([&] { return unsubscribed || (unsubscriberTid != 0 && taskState(unsubscriberTid) == 'S'); }, kDeadline);
    release.set_value();
    delivering.join();
    owner.join();
    EXPECT_FALSE(unsubscribedDuringCall);
    EXPECT_EQ(used, 6u);
}

TEST(WakeMonitorTest, WatcherThreadRunsOnlyWhileSomeoneSubscribes)
{
    size_t baseline = baselineThreadCount();
    ManualQueue queue;
    FakeSleepClock clock(0s);
    {
        WakeMonitor monitor(detecting(queue, clock));
        EXPECT_FALSE(monitor.isWatching());
        EXPECT_EQ(threadCount(), baseline);

        auto a = monitor.subscribe([] {});
        auto b = monitor.subscribe([] {});
        EXPECT_TRUE(monitor.isWatching());
        EXPECT_EQ(threadCount(), baseline + 1);
        monitor.unsubscribe(a);
        EXPECT_TRUE(monitor.isWatching());
        monitor.unsubscribe(b);
        EXPECT_FALSE(monitor.isWatching());
        EXPECT_TRUE(waitForThreadCount(baseline));

        // A new subscriber starts watching again, and wakes are seen.
        int wakes = 0;
        monitor.subscribe([&] { ++wakes; });
        EXPECT_TRUE(monitor.isWatching());
        ASSERT_TRUE(clock.waitForSamples(1));
        clock.advance(10s);
        ASSERT_TRUE(queue.waitForTask());
        queue.drain();
        EXPECT_EQ(wakes, 1);
        // Destroyed with a subscriber left: the watcher is still joined.
    }
    EXPECT_TRUE(waitForThreadCount(baseline));
}

TEST(WakeMonitorTest, InlineDeliveryOnTheWatcherMayRemoveTheLastSubscriber)
{
    size_t baseline = baselineThreadCount();
    FakeSleepClock clock(0s);
    {
        WakeMonitor::Options options;
        options.executor = [](WakeMonitor::Task task) { task(); };
        options.sleepClock = clock.clock();
        options.interval = 1ms;
        options.sleepSignal = false;
        WakeMonitor monitor(options);

        std::promise<void> called;
        WakeMonitor::Token token = 0;
        token = monitor.subscribe([&] {
            monitor.unsubscribe(token);  // on the watcher thread, which cannot join itself
            called.set_value();
        });
        ASSERT_TRUE(clock.waitForSamples(1));
        clock.advance(10s);
        ASSERT_EQ(called.get_future().wait_for(kDeadline), std::future_status::ready);
        EXPECT_FALSE(monitor.isWatching());

        std::promise<void> again;
        std::atomic<bool> first{true};
        monitor.subscribe([&] {
            if (first.exchange(false))
                again.set_value();
        });
        EXPECT_TRUE(monitor.isWatching());
        ASSERT_TRUE(clock.waitForSamples(1));
        clock.advance(10s);
        ASSERT_EQ(again.get_future().wait_for(kDeadline), std::future_status::ready);
    }
    EXPECT_TRUE(waitForThreadCount(baseline));
}

TEST(WakeMonitorTest, DeliveryQueuedPastTheMonitorsLifetimeDoesNothing)
{
    ManualQueue queue;
    int calls = 0;
    {
        WakeMonitor monitor(simulatedOnly(queue));
        monitor.subscribe([&] { ++calls; });
        monitor.simulateWake();
    }
    ASSERT_EQ(queue.pending(), 1u);
    queue.drain();
    EXPECT_EQ(calls, 0);
}

TEST(WakeMonitorTest, WithoutAReachableBusTheClockStillDelivers)
{
    ManualQueue queue;
    FakeSleepClock clock(0s);
    auto options = detecting(queue, clock);
    options.sleepSignal = true;
    options.busAddress = "unix:path=/nonexistent/orvane-test/bus";
    WakeMonitor monitor(options);
    int wakes = 0;
    monitor.subscribe([&] { ++wakes; });
    EXPECT_TRUE(monitor.isWatching());
    ASSERT_TRUE(clock.waitForSamples(2));
    clock.advance(10s);
    ASSERT_TRUE(queue.waitForTask());
    queue.drain();
    EXPECT_EQ(wakes, 1);
    EXPECT_FALSE(monitor.isListening());
}

// A monitor listening on a private bus, where the test plays the session
// manager (`owner` holds its name) and an impostor that does not.
class WakeMonitorBusTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (!orvtest::PrivateBus::daemonInstalled())
            GTEST_SKIP() << "dbus-daemon is not installed, so no private bus can be started";
        bus.emplace();
        ASSERT_TRUE(bus->ok()) << bus->error();
        owner.emplace(bus->address());
        impostor.emplace(bus->address());
        ASSERT_TRUE(owner->ok());
        ASSERT_TRUE(impostor->ok());
        ASSERT_TRUE(owner->claim("org.freedesktop.login1"));
    }

    WakeMonitor::Options listening()
    {
        auto options = detecting(queue, clock);
        options.sleepSignal = true;
        options.busAddress = bus->address();
        return options;
    }

    // The monitor's connection: the one client on the bus the test did not open.
    std::string monitorName()
    {
        std::vector<std::string> others;
        for (auto& name : owner->clients()) {
            if (name != owner->uniqueName() && name != impostor->uniqueName())
                others.push_back(name);
        }
        return others.size() == 1 ? others.front() : std::string();
    }

    // Returns once the monitor has handled every signal the test sent.
    void barrier(const std::string& monitor)
    {
        ASSERT_TRUE(impostor->ping(monitor));
        ASSERT_TRUE(owner->ping(monitor));
    }

    WakeMonitor::Token token = 0;

    void startListening(WakeMonitor& monitor, int& wakes, std::string& name)
    {
        token = monitor.subscribe([&wakes] { ++wakes; });
        ASSERT_TRUE(eventually([&] { return monitor.isListening(); }, kDeadline));
        name = monitorName();
        ASSERT_FALSE(name.empty());
    }

    ManualQueue queue;
    FakeSleepClock clock{0s};
    std::optional<orvtest::PrivateBus> bus;
    std::optional<orvtest::BusPeer> owner;
    std::optional<orvtest::BusPeer> impostor;
};

TEST_F(WakeMonitorBusTest, OnlyAResumeFromTheSessionManagerIsAWake)
{
    enum Sender { fromOwner, fromImpostor };
    struct Step {
        Sender sender;
        bool sleeping;
    };
    struct Case {
        const char* name;
        std::vector<Step> steps;
        int wakes;
    };
    const Case cases[] = {
        {"sleep then resume", {{fromOwner, true}, {fromOwner, false}}, 1},
        {"going to sleep only", {{fromOwner, true}}, 0},
        {"sender without the name", {{fromImpostor, true}, {fromImpostor, false}}, 0},
        {"two sleeps in a row", {{fromOwner, true}, {fromOwner, false}, {fromOwner, true}, {fromOwner, false}}, 2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WakeMonitor monitor(listening());
        int wakes = 0;
        std::string name;
        startListening(monitor, wakes, name);
        for (const auto& step : c.steps) {
            auto& peer = step.sender == fromOwner ? *owner : *impostor;
            ASSERT_TRUE(peer.emitPrepareForSleep(step.sleeping));
        }
        barrier(name);
        EXPECT_EQ(queue.pending(), static_cast<size_t>(c.wakes));
        queue.drain();
        EXPECT_EQ(wakes, c.wakes);
    }
}

TEST_F(WakeMonitorBusTest, EachResumeIsOneWakeWhicheverDetectorsSeeIt)
{
    enum Seen { signalThenClock, clockThenSignal, clockOnly, signalOnly };
    // One monitor sees these resumes in turn, seconds apart, so a pairing left
    // over from one resume must not swallow the next. (Two quick resumes each
    // seen by a different single detector look like one resume seen by both,
    // so no such neighbours are listed.)
    const std::pair<const char*, Seen> resumes[] = {
        {"signal, then clock jump", signalThenClock},
        {"clock jump, then signal", clockThenSignal},
        {"clock jump only", clockOnly},
        {"clock jump, then signal again", clockThenSignal},
        {"signal, then clock jump again", signalThenClock},
        {"signal only", signalOnly},
        {"signal, then clock jump after a signal only", signalThenClock},
    };
    WakeMonitor monitor(listening());
    int wakes = 0;
    std::string name;
    startListening(monitor, wakes, name);
    ASSERT_TRUE(clock.waitForSamples(1));

    auto jump = [&] {
        clock.advance(60s);
        ASSERT_TRUE(clock.waitForSamples(2));
    };
    auto signal = [&] {
        ASSERT_TRUE(owner->emitPrepareForSleep(true));
        ASSERT_TRUE(owner->emitPrepareForSleep(false));
        barrier(name);
    };
    int expected = 0;
    for (const auto& [label, seen] : resumes) {
        SCOPED_TRACE(label);
        if (seen == signalThenClock || seen == signalOnly)
            signal();
        if (seen != signalOnly)
            jump();
        if (seen == clockThenSignal)
            signal();
        EXPECT_EQ(queue.pending(), 1u);
        queue.drain();
        EXPECT_EQ(wakes, ++expected);
    }
}

TEST_F(WakeMonitorBusTest, TheBusConnectionLivesOnlyWhileSomeoneSubscribes)
{
    WakeMonitor monitor(listening());
    int wakes = 0;
    std::string name;
    startListening(monitor, wakes, name);

    monitor.unsubscribe(token);
    EXPECT_FALSE(monitor.isListening());
    EXPECT_FALSE(monitor.isWatching());
    EXPECT_TRUE(eventually([&] { return monitorName().empty(); }, kDeadline)) << "the connection was left open";

    // A new subscriber listens again.
    startListening(monitor, wakes, name);
    ASSERT_TRUE(owner->emitPrepareForSleep(false));
    barrier(name);
    queue.drain();
    EXPECT_EQ(wakes, 1);
}

TEST_F(WakeMonitorBusTest, LosingTheBusLeavesTheClockWatched)
{
    WakeMonitor monitor(listening());
    int wakes = 0;
    std::string name;
    startListening(monitor, wakes, name);

    bus->stop();
    ASSERT_TRUE(eventually([&] { return !monitor.isListening(); }, kDeadline));
    EXPECT_TRUE(monitor.isWatching());
    clock.advance(10s);
    ASSERT_TRUE(queue.waitForTask());
    queue.drain();
    EXPECT_EQ(wakes, 1);
}

}  // namespace
