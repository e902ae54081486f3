#include "platform/RunLoop.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/Error.h"
#include "platform/RunLoopSource.h"
#include "platform/RunLoopTimer.h"

namespace orv {
namespace {

using namespace std::chrono_literals;
using Clock = RunLoop::Clock;

const RunLoopMode kOtherMode = "OtherMode";

// Each test gets a thread of its own, so no loop state leaks between tests and
// the loop is torn down (as in production) when the thread ends.
template <class Body>
void onFreshLoop(Body body)
{
    std::thread thread([&] { body(RunLoop::current()); });
    thread.join();
}

Clock::time_point soon(std::chrono::milliseconds in = 5s)
{
    return Clock::now() + in;
}

// A connected pair of local sockets, closed at the end of the scope.
struct SocketPair {
    int fds[2] = {-1, -1};
    SocketPair() { EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0); }
    ~SocketPair()
    {
        ::close(fds[0]);
        ::close(fds[1]);
    }
    void send(const char* text) { ASSERT_GT(::write(fds[1], text, std::strlen(text)), 0); }
};

bool readableWithin(int fd, int milliseconds)
{
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, milliseconds) == 1;
}

// --- performs -----------------------------------------------------------------

TEST(RunLoopPerform, QueuedBlocksRunInOrderOnLaterPassesNeverInline)
{
    onFreshLoop([](RunLoop& loop) {
        std::vector<std::string> ran;
        loop.post([&] {
            ran.push_back("first");
            // Queued from inside a pass: must wait for the next pass.
            loop.post([&] { ran.push_back("nested"); });
        });
        loop.post([&] { ran.push_back("second"); });
        EXPECT_TRUE(ran.empty()) << "post ran a block inline";

        EXPECT_TRUE(loop.runOnce());
        EXPECT_EQ(ran, (std::vector<std::string>{"first", "second"}));
        EXPECT_TRUE(loop.runOnce());
        EXPECT_EQ(ran, (std::vector<std::string>{"first", "second", "nested"}));
        EXPECT_FALSE(loop.runOnce());
    });
}

TEST(RunLoopPerform, RunsOnlyInItsModes)
{
    struct Case {
        std::vector<RunLoopMode> performModes;
        RunLoopMode runMode;
        bool runs;
    };
    const Case cases[] = {
        {{kDefaultRunLoopMode}, kDefaultRunLoopMode, true},
        {{kDefaultRunLoopMode}, kOtherMode, false},
        {{kOtherMode}, kDefaultRunLoopMode, false},
        {{kOtherMode, kDefaultRunLoopMode}, kDefaultRunLoopMode, true},
        {{kCommonRunLoopModes}, kOtherMode, true},
        {{kCommonRunLoopModes}, kDefaultRunLoopMode, true},
        {{}, kDefaultRunLoopMode, false},
    };
    for (const auto& c : cases) {
        onFreshLoop([&](RunLoop& loop) {
            bool ran = false;
            int target = 0;
            loop.perform(&target, "act", 0s, [&] { ran = true; }, c.performModes);
            // A short wait is enough to show a perform does not run; one that
            // should run gets the full deadline.
            loop.runUntil([&] { return ran; }, soon(c.runs ? 5000ms : 30ms), c.runMode);
            EXPECT_EQ(ran, c.runs) << "run mode " << c.runMode << ", perform modes " << c.performModes.size();
            if (!c.runs && !c.performModes.empty()) {
                // Still queued, not lost: it runs once the loop enters its mode.
                loop.runUntil([&] { return ran; }, soon(), c.performModes.front());
                EXPECT_TRUE(ran);
            }
        });
    }
}

TEST(RunLoopPerform, DelayedPerformWaitsForItsDelay)
{
    onFreshLoop([](RunLoop& loop) {
        int target = 0;
        Clock::time_point ranAt{};
        const auto queuedAt = Clock::now();
        loop.perform(&target, "later", 60ms, [&] { ranAt = Clock::now(); });
        EXPECT_TRUE(loop.runUntil([&] { return ranAt != Clock::time_point{}; }, soon()));
        EXPECT_GE(ranAt - queuedAt, 60ms);
    });
}

TEST(RunLoopPerform, CancelledPerformsNeverRun)
{
    onFreshLoop([](RunLoop& loop) {
        int socket = 0;
        int other = 0;
        std::vector<std::string> ran;
        auto record = [&](std::string what) { return [&ran, what] { ran.push_back(what); }; };

        loop.perform(&socket, "dequeueRead", 0s, record("dequeueRead"));
        loop.perform(&socket, "disconnect", 0s, record("disconnect"));
        loop.perform(&socket, "dequeueRead", 20ms, record("dequeueRead later"));
        loop.perform(&other, "disconnect", 0s, record("other disconnect"));
        loop.cancelPerforms(&socket, "dequeueRead");
        loop.cancelPerforms(nullptr);  // matches nothing, in particular not plain posts
        loop.post(record("post"));

        loop.runUntil(soon(60ms));
        EXPECT_EQ(ran, (std::vector<std::string>{"disconnect", "other disconnect", "post"}));

        ran.clear();
        loop.perform(&socket, "dequeueRead", 0s, record("dequeueRead"));
        loop.perform(&socket, "disconnect", 10ms, record("disconnect"));
        loop.cancelPerforms(&socket);
        loop.runUntil(soon(40ms));
        EXPECT_TRUE(ran.empty());
    });
}

TEST(RunLoopPerform, CancelFromAnEarlierBlockOfTheSamePassWins)
{
    // Both are due in the same pass; the first one's cancel must still stop the
    // second (a socket's close cancels the pending disconnect this way).
    onFreshLoop([](RunLoop& loop) {
        int socket = 0;
        bool disconnected = false;
        loop.perform(&socket, "close", 0s, [&] { loop.cancelPerforms(&socket, "disconnect"); });
        loop.perform(&socket, "disconnect", 0s, [&] { disconnected = true; });
        loop.runOnce();
        loop.runOnce();
        EXPECT_FALSE(disconnected);
    });
}

TEST(RunLoopPerform, CancelledBlockIsReleased)
{
    onFreshLoop([](RunLoop& loop) {
        int target = 0;
        auto captured = std::make_shared<int>(1);
        loop.perform(&target, "act", 1h, [captured] {});
        EXPECT_EQ(captured.use_count(), 2);
        loop.cancelPerforms(&target);
        EXPECT_EQ(captured.use_count(), 1);
    });
}

// --- threads ------------------------------------------------------------------

TEST(RunLoopThreads, PostFromAnotherThreadWakesAWaitingLoop)
{
    onFreshLoop([](RunLoop& loop) {
        std::atomic<bool> ran{false};
        std::promise<void> running;
        loop.post([&] { running.set_value(); });
        // Posts only once the loop has made its first pass and is waiting.
        std::thread poster([&, inLoop = running.get_future()] {
            inLoop.wait();
            loop.post([&] { ran = true; });
        });
        const auto started = Clock::now();
        // Nothing else is due: only the post's wake-up can end this wait early.
        EXPECT_TRUE(loop.runUntil([&] { return ran.load(); }, soon(20s)));
        EXPECT_LT(Clock::now() - started, 10s);
        poster.join();
    });
}

TEST(RunLoopThreads, PostsBeforeTheLoopRunsWaitForIt)
{
    std::promise<std::shared_ptr<RunLoop>> loopReady;
    std::promise<void> posted;
    std::atomic<int> ran{0};
    std::thread owner([&] {
        auto& loop = RunLoop::current();
        loopReady.set_value(loop.shared_from_this());
        posted.get_future().wait();
        EXPECT_EQ(ran.load(), 0);
        EXPECT_TRUE(loop.runUntil([&] { return ran.load() == 2; }, soon()));
    });
    auto loop = loopReady.get_future().get();
    loop->post([&] { ++ran; });
    loop->post([&] { ++ran; });
    posted.set_value();
    owner.join();
    EXPECT_EQ(ran.load(), 2);
}

TEST(RunLoopThreads, LoopOfAFinishedThreadDropsPendingAndLaterWork)
{
    std::shared_ptr<RunLoop> loop;
    auto pending = std::make_shared<int>(0);
    auto timerCapture = std::make_shared<int>(0);
    std::shared_ptr<RunLoopTimer> timer;
    std::thread owner([&] {
        loop = RunLoop::current().shared_from_this();
        loop->post([pending] { ++*pending; });
        timer = RunLoopTimer::scheduled(1h, false, [timerCapture](RunLoopTimer&) {});
    });
    owner.join();
    // The thread's end released what the loop held, without running it.
    EXPECT_EQ(*pending, 0);
    EXPECT_EQ(pending.use_count(), 1);
    EXPECT_FALSE(timer->isValid());
    EXPECT_EQ(timerCapture.use_count(), 1);
    // Posting to it afterwards is harmless and drops the block.
    auto late = std::make_shared<int>(0);
    loop->post([late] { ++*late; });
    loop->perform(loop.get(), "late", 0s, [late] { ++*late; });
    EXPECT_EQ(late.use_count(), 1);
    EXPECT_EQ(loop->wakeDescriptor(), -1);
    EXPECT_FALSE(loop->nextTimerDeadline().has_value());
}

TEST(RunLoopThreads, StopFromAnotherThreadEndsRun)
{
    std::promise<RunLoop*> loopReady;
    std::promise<void> returned;
    std::thread owner([&] {
        auto& loop = RunLoop::current();
        // The first pass proves the loop is inside run() when stop arrives.
        loop.post([&] { loopReady.set_value(&loop); });
        loop.run();
        returned.set_value();
    });
    RunLoop* loop = loopReady.get_future().get();
    loop->stop();
    auto done = returned.get_future();
    EXPECT_EQ(done.wait_for(10s), std::future_status::ready);
    if (done.wait_for(0s) != std::future_status::ready)
        loop->stop();
    owner.join();
}

TEST(RunLoopThreads, StopBeforeRunIsKeptForTheNextRun)
{
    onFreshLoop([](RunLoop& loop) {
        loop.stop();
        loop.run();  // returns at once instead of waiting forever
        int passes = 0;
        loop.stop();
        EXPECT_FALSE(loop.runUntil(
            [&] {
                ++passes;
                return false;
            },
            soon(20s)));
        EXPECT_LE(passes, 2);
    });
}

TEST(RunLoopThreads, RunningFromAForeignThreadIsRefused)
{
    auto& mainLoop = RunLoop::main();
    onFreshLoop([&](RunLoop& own) {
        EXPECT_NE(&own, &mainLoop);
        EXPECT_TRUE(own.isCurrent());
        EXPECT_FALSE(mainLoop.isCurrent());
        try {
            mainLoop.runOnce();
            ADD_FAILURE() << "runOnce on a foreign loop did not throw";
        } catch (const Exception& e) {
            EXPECT_EQ(e.name(), "RunLoopMisuse");
        }
        EXPECT_THROW(mainLoop.runUntil(soon(1ms)), Exception);
        EXPECT_THROW(own.runOnce(kCommonRunLoopModes), Exception);
    });
    EXPECT_EQ(&RunLoop::current(), &mainLoop);
}

TEST(RunLoopThreads, MainLoopTakesPostsFromAnyThread)
{
    std::atomic<bool> ran{false};
    std::thread poster([&] { RunLoop::main().post([&] { ran = true; }); });
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return ran.load(); }, soon()));
    poster.join();
}

// --- runUntil -------------------------------------------------------------------

TEST(RunLoopRunUntil, ReturnsThePredicatesLastValue)
{
    onFreshLoop([](RunLoop& loop) {
        const auto started = Clock::now();
        EXPECT_TRUE(loop.runUntil([] { return true; }, soon(20s)));
        EXPECT_LT(Clock::now() - started, 5s) << "a predicate that already holds must not wait";

        EXPECT_FALSE(loop.runUntil([] { return false; }, soon(20ms)));
        EXPECT_GE(Clock::now() - started, 20ms);

        // Deadline already past: no pass, just the answer.
        bool ran = false;
        loop.post([&] { ran = true; });
        EXPECT_FALSE(loop.runUntil([&] { return ran; }, Clock::now() - 1s));
        EXPECT_FALSE(ran);
    });
}

// --- timers -------------------------------------------------------------------

TEST(RunLoopTimerTest, OneShotFiresOnceInItsModeAndThenIsInvalid)
{
    onFreshLoop([](RunLoop& loop) {
        int fired = 0;
        auto timer = RunLoopTimer::make(10ms, false, [&](RunLoopTimer& t) {
            EXPECT_TRUE(t.isValid());
            ++fired;
        });
        loop.addTimer(timer, kOtherMode);
        loop.runUntil(soon(40ms), kDefaultRunLoopMode);
        EXPECT_EQ(fired, 0) << "fired outside its mode";
        EXPECT_TRUE(loop.runUntil([&] { return fired > 0; }, soon(), kOtherMode));
        loop.runUntil(soon(30ms), kOtherMode);
        EXPECT_EQ(fired, 1);
        EXPECT_FALSE(timer->isValid());
    });
}

TEST(RunLoopTimerTest, RepeatingTimerKeepsFiringUntilInvalidated)
{
    onFreshLoop([](RunLoop& loop) {
        int fired = 0;
        auto timer = RunLoopTimer::make(5ms, true, [&](RunLoopTimer& t) {
            if (++fired == 4)
                t.invalidate();
        });
        loop.addTimer(timer, kCommonRunLoopModes);
        EXPECT_TRUE(loop.runUntil([&] { return fired == 4; }, soon(), kOtherMode));
        EXPECT_FALSE(timer->isValid());
        loop.runUntil(soon(30ms));
        EXPECT_EQ(fired, 4);
    });
}

TEST(RunLoopTimerTest, MissedFiringsFoldIntoOne)
{
    onFreshLoop([](RunLoop& loop) {
        int fired = 0;
        auto timer = RunLoopTimer::make(10ms, true, [&](RunLoopTimer&) { ++fired; });
        loop.addTimer(timer, kDefaultRunLoopMode);
        // Several periods pass while the loop runs in another mode.
        loop.runUntil(soon(60ms), kOtherMode);
        const auto before = Clock::now();
        loop.runOnce();
        const auto after = Clock::now();
        EXPECT_EQ(fired, 1);
        EXPECT_GT(timer->fireDate(), before);
        EXPECT_LE(timer->fireDate(), after + 10ms);
        timer->invalidate();
    });
}

TEST(RunLoopTimerTest, InvalidatedOrRemovedTimerNeverFires)
{
    onFreshLoop([](RunLoop& loop) {
        int fired = 0;
        auto captured = std::make_shared<int>(0);
        auto invalidated = RunLoopTimer::make(5ms, false, [&, captured](RunLoopTimer&) { ++fired; });
        auto removed = RunLoopTimer::make(5ms, true, [&](RunLoopTimer&) { ++fired; });
        loop.addTimer(invalidated, kDefaultRunLoopMode);
        loop.addTimer(removed, kDefaultRunLoopMode);
        loop.addTimer(removed, kOtherMode);
        invalidated->invalidate();
        EXPECT_EQ(captured.use_count(), 1) << "invalidate must release the block";
        loop.removeTimer(removed, kDefaultRunLoopMode);
        loop.runUntil(soon(30ms));
        EXPECT_EQ(fired, 0);
        EXPECT_TRUE(removed->isValid());
        // Still in the other mode.
        EXPECT_TRUE(loop.runUntil([&] { return fired > 0; }, soon(), kOtherMode));
        removed->invalidate();
    });
}

TEST(RunLoopTimerTest, PerformQueuedByATimerWaitsForTheNextPass)
{
    // A weak-target timer hands its work to a zero-delay perform: that must
    // not run in the pass that fired the timer.
    onFreshLoop([](RunLoop& loop) {
        bool fired = false;
        bool performed = false;
        auto timer = RunLoopTimer::make(0ms, false, [&](RunLoopTimer&) {
            fired = true;
            loop.perform(&loop, "action", 0s, [&] { performed = true; });
        });
        loop.addTimer(timer, kDefaultRunLoopMode);
        EXPECT_TRUE(loop.runOnce());
        EXPECT_TRUE(fired);
        EXPECT_FALSE(performed);
        EXPECT_TRUE(loop.runOnce());
        EXPECT_TRUE(performed);
    });
}

TEST(RunLoopTimerTest, TimerInvalidatedByAnEarlierTimerOfTheSamePassDoesNotFire)
{
    onFreshLoop([](RunLoop& loop) {
        bool secondFired = false;
        auto second = RunLoopTimer::make(1ms, false, [&](RunLoopTimer&) { secondFired = true; });
        auto first = RunLoopTimer::make(0ms, false, [&](RunLoopTimer&) { second->invalidate(); });
        second->setFireDate(first->fireDate() + 1ns);
        loop.addTimer(first, kDefaultRunLoopMode);
        loop.addTimer(second, kDefaultRunLoopMode);
        loop.runUntil([&] { return !first->isValid(); }, soon());
        loop.runUntil(soon(20ms));
        EXPECT_FALSE(secondFired);
    });
}

TEST(RunLoopTimerTest, EarlierFireDateFromAnotherThreadShortensTheWait)
{
    onFreshLoop([](RunLoop& loop) {
        bool fired = false;
        auto timer = RunLoopTimer::make(1h, false, [&](RunLoopTimer&) { fired = true; });
        loop.addTimer(timer, kDefaultRunLoopMode);
        std::thread mover([&] { timer->setFireDate(Clock::now()); });
        EXPECT_TRUE(loop.runUntil([&] { return fired; }, soon(20s)));
        mover.join();
    });
}

TEST(RunLoopTimerTest, WeakTargetTimerStopsOnceTheTargetIsGone)
{
    onFreshLoop([](RunLoop& loop) {
        auto target = std::make_shared<int>(0);
        auto timer = RunLoopTimer::makeWithTarget<int>(2ms, true, target,
                                                       [](int& count, RunLoopTimer&) { ++count; });
        loop.addTimer(timer, kDefaultRunLoopMode);
        EXPECT_TRUE(loop.runUntil([&] { return *target >= 2; }, soon()));
        EXPECT_EQ(target.use_count(), 1) << "the timer must not own its target";
        target.reset();
        EXPECT_TRUE(loop.runUntil([&] { return !timer->isValid(); }, soon()));
    });
}

TEST(RunLoopTimerTest, TimerBelongsToOneLoop)
{
    auto timer = RunLoopTimer::make(1h, false, [](RunLoopTimer&) {});
    onFreshLoop([&](RunLoop& loop) { loop.addTimer(timer, kDefaultRunLoopMode); });
    // Its first loop ended with its thread, which invalidated it: adding is a no-op.
    EXPECT_FALSE(timer->isValid());

    auto live = RunLoopTimer::make(1h, false, [](RunLoopTimer&) {});
    RunLoop::main().addTimer(live, kOtherMode);
    onFreshLoop([&](RunLoop& loop) {
        try {
            loop.addTimer(live, kDefaultRunLoopMode);
            ADD_FAILURE() << "a timer went onto a second loop";
        } catch (const Exception& e) {
            EXPECT_EQ(e.name(), "RunLoopMisuse");
        }
    });
    live->invalidate();
}

TEST(RunLoopTimerTest, FireRunsTheBlockOutsideTheSchedule)
{
    int fired = 0;
    auto repeating = RunLoopTimer::make(1h, true, [&](RunLoopTimer&) { ++fired; });
    auto once = RunLoopTimer::make(1h, false, [&](RunLoopTimer&) { ++fired; });
    repeating->fire();
    once->fire();
    EXPECT_EQ(fired, 2);
    EXPECT_TRUE(repeating->isValid());
    EXPECT_FALSE(once->isValid());
    once->fire();
    EXPECT_EQ(fired, 2);
}

// --- sources ------------------------------------------------------------------

TEST(RunLoopSourceTest, ReadySourceIsHandledOnlyInItsModes)
{
    onFreshLoop([](RunLoop& loop) {
        SocketPair pair;
        std::vector<RunLoopMode> seenIn;
        RunLoopMode running;
        auto source = RunLoopSource::make(pair.fds[0], RunLoopSource::Readable, [&](RunLoopSource& s, unsigned events) {
            EXPECT_EQ(events, RunLoopSource::Readable);
            char buffer[16];
            while (::read(s.descriptor(), buffer, sizeof buffer) > 0) {
            }
            seenIn.push_back(running);
        });
        loop.addSource(source, kOtherMode);
        pair.send("x");

        running = kDefaultRunLoopMode;
        loop.runUntil(soon(30ms), running);
        EXPECT_TRUE(seenIn.empty()) << "handled outside its mode";

        running = kOtherMode;
        EXPECT_TRUE(loop.runUntil([&] { return !seenIn.empty(); }, soon(), running));

        // Added for the common modes, it is eligible in the default mode too.
        loop.addSource(source, kCommonRunLoopModes);
        pair.send("y");
        running = kDefaultRunLoopMode;
        EXPECT_TRUE(loop.runUntil([&] { return seenIn.size() == 2; }, soon(), running));

        loop.removeSource(source, kCommonRunLoopModes);
        loop.removeSource(source, kOtherMode);
        pair.send("z");
        loop.runUntil(soon(30ms), kOtherMode);
        EXPECT_EQ(seenIn.size(), 2u);
        source->invalidate();
    });
}

TEST(RunLoopSourceTest, SourcesSharingADescriptorEachGetTheirEvents)
{
    // A stream pair reads and writes one socket through two sources.
    onFreshLoop([](RunLoop& loop) {
        SocketPair pair;
        int reads = 0;
        int writes = 0;
        auto reader = RunLoopSource::make(pair.fds[0], RunLoopSource::Readable, [&](RunLoopSource& s, unsigned events) {
            EXPECT_EQ(events, RunLoopSource::Readable);
            char buffer[16];
            while (::read(s.descriptor(), buffer, sizeof buffer) > 0) {
            }
            ++reads;
        });
        auto writer = RunLoopSource::make(pair.fds[0], RunLoopSource::Writable, [&](RunLoopSource& s, unsigned events) {
            EXPECT_EQ(events, RunLoopSource::Writable);
            ++writes;
            s.setEvents(0);  // pause, or a writable socket would call on every pass
        });
        loop.addSource(reader, kDefaultRunLoopMode);
        loop.addSource(writer, kDefaultRunLoopMode);
        pair.send("x");
        EXPECT_TRUE(loop.runUntil([&] { return reads == 1 && writes == 1; }, soon()));

        // Paused: no more calls although the socket stays writable.
        loop.runUntil(soon(30ms));
        EXPECT_EQ(writes, 1);
        writer->setEvents(RunLoopSource::Writable);
        EXPECT_TRUE(loop.runUntil([&] { return writes == 2; }, soon()));

        // Removing the writer leaves the reader watched.
        writer->invalidate();
        pair.send("y");
        EXPECT_TRUE(loop.runUntil([&] { return reads == 2; }, soon()));
        reader->invalidate();
    });
}

TEST(RunLoopSourceTest, HandlerThatUnschedulesAnotherSourceOfTheSamePassStopsIt)
{
    onFreshLoop([](RunLoop& loop) {
        SocketPair pair;
        std::shared_ptr<RunLoopSource> first;
        std::shared_ptr<RunLoopSource> second;
        int calls = 0;
        auto handler = [&](RunLoopSource&, unsigned) {
            ++calls;
            // Whichever runs first unschedules both (a stream pair leaving
            // the mode) without invalidating them.
            loop.removeSource(first, kDefaultRunLoopMode);
            loop.removeSource(second, kDefaultRunLoopMode);
        };
        first = RunLoopSource::make(pair.fds[0], RunLoopSource::Writable, handler);
        second = RunLoopSource::make(pair.fds[0], RunLoopSource::Writable, handler);
        loop.addSource(first, kDefaultRunLoopMode);
        loop.addSource(second, kDefaultRunLoopMode);
        EXPECT_TRUE(loop.runUntil([&] { return calls > 0; }, soon()));
        loop.runUntil(soon(20ms));
        EXPECT_EQ(calls, 1);
        first->invalidate();
        second->invalidate();
    });
}

TEST(RunLoopSourceTest, HangUpReachesTheHandler)
{
    onFreshLoop([](RunLoop& loop) {
        SocketPair pair;
        bool sawEnd = false;
        auto source = RunLoopSource::make(pair.fds[0], RunLoopSource::Readable, [&](RunLoopSource& s, unsigned) {
            char buffer[4];
            if (::read(s.descriptor(), buffer, sizeof buffer) == 0) {
                sawEnd = true;
                s.invalidate();
            }
        });
        loop.addSource(source, kDefaultRunLoopMode);
        ::shutdown(pair.fds[1], SHUT_WR);
        EXPECT_TRUE(loop.runUntil([&] { return sawEnd; }, soon()));
    });
}

TEST(RunLoopSourceTest, UnwatchableDescriptorIsRefused)
{
    onFreshLoop([](RunLoop& loop) {
        auto source = RunLoopSource::make(-1, RunLoopSource::Readable, [](RunLoopSource&, unsigned) {});
        EXPECT_THROW(loop.addSource(source, kDefaultRunLoopMode), Exception);
        // Nothing was kept: the loop still works.
        bool ran = false;
        loop.post([&] { ran = true; });
        EXPECT_TRUE(loop.runUntil([&] { return ran; }, soon()));
    });
}

// --- driving from another event loop --------------------------------------------

TEST(RunLoopDriven, WakeDescriptorAndNextDeadlineTellAnOuterLoopWhenToPass)
{
    onFreshLoop([](RunLoop& loop) {
        const int wake = loop.wakeDescriptor();
        ASSERT_GE(wake, 0);
        EXPECT_FALSE(readableWithin(wake, 0));
        EXPECT_FALSE(loop.nextTimerDeadline().has_value());

        // A post from another thread makes it readable.
        bool ran = false;
        std::thread poster([&] { loop.post([&] { ran = true; }); });
        poster.join();
        EXPECT_TRUE(readableWithin(wake, 5000));
        EXPECT_TRUE(loop.runOnce());
        EXPECT_TRUE(ran);
        EXPECT_FALSE(readableWithin(wake, 0)) << "a pass must consume the wake-up";

        // Deadlines: only what is eligible in the mode counts.
        int target = 0;
        const auto before = Clock::now();
        loop.perform(&target, "other", 10ms, [] {}, {kOtherMode});
        auto timer = RunLoopTimer::make(1h, false, [](RunLoopTimer&) {});
        loop.addTimer(timer, kDefaultRunLoopMode);
        ASSERT_TRUE(loop.nextTimerDeadline().has_value());
        EXPECT_GE(*loop.nextTimerDeadline(), before + 1h);
        ASSERT_TRUE(loop.nextTimerDeadline(kOtherMode).has_value());
        EXPECT_LT(*loop.nextTimerDeadline(kOtherMode), before + 1h);
        // Adding them woke the loop, so an outer loop re-reads the deadline.
        EXPECT_TRUE(readableWithin(wake, 0));
        loop.runOnce();

        // A ready source of the mode makes it readable; one of another mode does not.
        SocketPair pair;
        auto source = RunLoopSource::make(pair.fds[0], RunLoopSource::Readable, [](RunLoopSource&, unsigned) {});
        loop.addSource(source, kOtherMode);
        pair.send("x");
        EXPECT_FALSE(readableWithin(wake, 20));
        EXPECT_TRUE(readableWithin(loop.wakeDescriptor(kOtherMode), 5000));
        source->invalidate();
        timer->invalidate();
        loop.cancelPerforms(&target);
    });
}

}  // namespace
}  // namespace orv
