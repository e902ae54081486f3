#pragma once
// One run loop per thread: timers, delayed and cross-thread performs, and
// descriptor sources, each eligible only in the modes it was added for. A pass
// runs the due timers of the mode, then the due performs of the mode in order,
// then the ready sources of the mode. A perform never runs inside the call that
// queued it, only on a later pass of the loop's own thread.
//
// Threads: post, perform, the cancels, adding and removing timers and sources,
// stop, nextTimerDeadline and wakeDescriptor may be called from any thread; run,
// runUntil and runOnce only from the loop's own thread. A loop lives as long as
// its thread (the main loop as long as the process); after its thread has
// exited, everything handed to it is dropped without running. Keep a
// std::shared_ptr (shared_from_this) to a loop you may reach after its thread
// ends; a bare reference then dangles.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv {

using RunLoopMode = std::string;
extern const RunLoopMode kDefaultRunLoopMode;  // "NSDefaultRunLoopMode"
extern const RunLoopMode kCommonRunLoopModes;  // "NSRunLoopCommonModes": eligible in every mode

class RunLoopTimer;
class RunLoopSource;

class RunLoop : public std::enable_shared_from_this<RunLoop> {
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;
    using Block = std::function<void()>;

    // This thread's loop, made on first use. On the main thread, main().
    static RunLoop& current();
    // The main thread's loop, reachable (and postable) from any thread.
    static RunLoop& main();

    ~RunLoop();
    RunLoop(const RunLoop&) = delete;
    RunLoop& operator=(const RunLoop&) = delete;

    // Queues a block to run on a later pass in one of `modes`; wakes the loop.
    // Works before anyone runs the loop: the block waits for it.
    void post(Block block, std::vector<RunLoopMode> modes = {kCommonRunLoopModes});
    // Queues a block aimed at `target` under the name `action`, due after
    // `delay` (zero: the next pass). The cancels below find it by those two.
    void perform(const void* target, std::string action, std::chrono::nanoseconds delay, Block block,
                 std::vector<RunLoopMode> modes = {kDefaultRunLoopMode});
    // Drops every queued perform aimed at `target` (a null target matches none).
    void cancelPerforms(const void* target);
    void cancelPerforms(const void* target, std::string_view action);

    // A timer or source belongs to one loop at a time, in any number of its
    // modes; adding it to a second loop throws orv::Exception "RunLoopMisuse".
    // The loop keeps it alive until it is removed from its last mode or
    // invalidated.
    void addTimer(const std::shared_ptr<RunLoopTimer>& timer, const RunLoopMode& mode);
    void removeTimer(const std::shared_ptr<RunLoopTimer>& timer, const RunLoopMode& mode);
    // Throws orv::Exception "RunLoopMisuse" when the descriptor cannot be watched.
    void addSource(const std::shared_ptr<RunLoopSource>& source, const RunLoopMode& mode);
    void removeSource(const std::shared_ptr<RunLoopSource>& source, const RunLoopMode& mode);

    // Runs passes in the default mode until stop().
    void run();
    // Runs passes in `mode` until the predicate holds (checked before the first
    // pass and after every pass), the deadline passes or stop() is called;
    // returns the predicate's last value.
    bool runUntil(std::function<bool()> predicate, TimePoint deadline,
                  const RunLoopMode& mode = kDefaultRunLoopMode);
    // Runs passes in `mode` until the deadline passes or stop() is called.
    void runUntil(TimePoint deadline, const RunLoopMode& mode = kDefaultRunLoopMode);
    // One pass that does not wait; true when it ran anything. For a loop driven
    // by another event loop (see wakeDescriptor). Ignores stop().
    bool runOnce(const RunLoopMode& mode = kDefaultRunLoopMode);
    // Makes the innermost run or runUntil return after its current pass; when
    // none is running, the next one returns at once.
    void stop();

    // For an outside event loop: a descriptor that becomes readable when a
    // pass in `mode` has something to do now (a post arrived, a source of the
    // mode is ready, or a timer or perform was added or moved), and the time
    // at which the earliest timer or delayed perform of `mode` falls due.
    // After each runOnce, watch the descriptor again and re-arm a timer to
    // nextTimerDeadline. -1 after the loop's thread has ended.
    int wakeDescriptor(const RunLoopMode& mode = kDefaultRunLoopMode);
    std::optional<TimePoint> nextTimerDeadline(const RunLoopMode& mode = kDefaultRunLoopMode) const;

    // True on the thread that owns this loop.
    bool isCurrent() const;

    // Only RunLoop itself makes one (through std::make_shared).
    class Passkey {
        Passkey() = default;
        friend class RunLoop;
    };
    RunLoop(Passkey, int ownerThread);

private:
    struct Impl;
    friend class RunLoopTimer;
    friend class RunLoopSource;

    bool pass(const RunLoopMode& mode, std::optional<TimePoint> waitUntil);
    bool fireTimers(const RunLoopMode& mode);
    bool runPerforms(const RunLoopMode& mode, unsigned long long before);
    bool dispatchSources(const RunLoopMode& mode, const std::vector<std::pair<int, unsigned>>& ready);
    void checkOwner(const char* what) const;
    bool consumeStop();
    void wake();
    void shutdown();

    // Called by timers and sources when they change or end.
    void timerChanged();
    void timerInvalidated(RunLoopTimer& timer);
    void sourceChanged(RunLoopSource& source);
    void sourceInvalidated(RunLoopSource& source);

    std::unique_ptr<Impl> impl_;
};

}  // namespace orv
