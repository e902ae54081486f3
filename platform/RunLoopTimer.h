#pragma once
// A run-loop timer: fires its block on the loop it was added to, in the loop's
// modes it was added for, once its fire date has passed. A repeating timer
// then moves its fire date on by whole intervals past the present (missed
// firings are folded into one); a one-shot timer is invalid after it fired.
// invalidate() removes it from its loop and releases its block; a running
// block finishes first. Safe to use from any thread.

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>

#include "platform/RunLoop.h"

namespace orv {

class RunLoopTimer : public std::enable_shared_from_this<RunLoopTimer> {
public:
    using Clock = std::chrono::steady_clock;
    using Block = std::function<void(RunLoopTimer&)>;

    // A timer due `interval` from now, not yet on any loop. A repeating timer
    // of zero or negative interval repeats every 0.1 ms instead of spinning.
    static std::shared_ptr<RunLoopTimer> make(std::chrono::nanoseconds interval, bool repeats, Block block);
    // The same, added to the current thread's loop in `mode`.
    static std::shared_ptr<RunLoopTimer> scheduled(std::chrono::nanoseconds interval, bool repeats, Block block,
                                                   const RunLoopMode& mode = kDefaultRunLoopMode);
    // A timer that holds its target weakly: it calls `action` while the target
    // lives and invalidates itself at the first firing after the target is gone.
    template <class T>
    static std::shared_ptr<RunLoopTimer> makeWithTarget(std::chrono::nanoseconds interval, bool repeats,
                                                        std::weak_ptr<T> target,
                                                        std::function<void(T&, RunLoopTimer&)> action)
    {
        return make(interval, repeats, [target = std::move(target), action = std::move(action)](RunLoopTimer& timer) {
            if (auto strong = target.lock())
                action(*strong, timer);
            else
                timer.invalidate();
        });
    }

    void invalidate();
    bool isValid() const;

    Clock::time_point fireDate() const;
    // Moves the next firing; the loop notices at once.
    void setFireDate(Clock::time_point date);
    std::chrono::nanoseconds timeInterval() const;
    bool repeats() const;

    // Runs the block now, outside the schedule; a one-shot timer is then invalid.
    void fire();

    // Only RunLoopTimer itself makes one (through std::make_shared).
    class Passkey {
        Passkey() = default;
        friend class RunLoopTimer;
    };
    RunLoopTimer(Passkey, std::chrono::nanoseconds interval, bool repeats, Block block);

private:
    friend class RunLoop;

    // The loop's firing: true when the block ran.
    bool fireIfDue(RunLoop& loop, Clock::time_point now);

    mutable std::mutex mutex_;
    const std::chrono::nanoseconds interval_;
    const bool repeats_;
    bool valid_ = true;
    Clock::time_point fireDate_;
    std::shared_ptr<Block> block_;
    std::weak_ptr<RunLoop> loop_;  // set while on a loop
};

}  // namespace orv
