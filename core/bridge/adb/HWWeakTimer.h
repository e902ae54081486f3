#pragma once
// A repeating or one-shot run-loop timer that does not keep its target
// alive: the timer holds a trampoline, the trampoline holds the target
// weakly. Each firing hands the target's action to the run loop as a perform
// with zero delay (so it runs on a later pass, not inside the timer's call);
// the first firing after the target is gone invalidates the timer.

#include <any>
#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "platform/RunLoop.h"
#include "platform/RunLoopTimer.h"

namespace orv {

// Holds the target weakly and performs its action when the timer fires.
class HWWeakTimerTarget : public std::enable_shared_from_this<HWWeakTimerTarget> {
public:
    using Action = std::function<void(const std::any& userInfo)>;

    // `alive` answers whether the target still exists; `action` calls it.
    HWWeakTimerTarget(std::function<bool()> alive, Action action, std::string selector)
        : alive_(std::move(alive)), action_(std::move(action)), selector_(std::move(selector))
    {
    }

    void fire(RunLoopTimer& timer, const std::any& userInfo);

    std::weak_ptr<RunLoopTimer> timer;

private:
    std::function<bool()> alive_;
    Action action_;
    std::string selector_;
};

class HWWeakTimer {
public:
    using Interval = std::chrono::duration<double>;

    // A timer on the current thread's run loop (default mode) that calls
    // `action(target, userInfo)` while `target` lives.
    template <class T>
    static std::shared_ptr<RunLoopTimer> scheduledTimerWithTimeInterval(
        Interval interval, const std::weak_ptr<T>& target, std::function<void(T&, const std::any&)> action,
        std::any userInfo, bool repeats, std::string selector = "fire")
    {
        auto trampoline = std::make_shared<HWWeakTimerTarget>(
            [target] { return !target.expired(); },
            [target, action = std::move(action)](const std::any& info) {
                if (auto strong = target.lock())
                    action(*strong, info);
            },
            std::move(selector));
        return schedule(interval, std::move(trampoline), std::move(userInfo), repeats);
    }

    // A timer that calls `block(userInfo)`; the block is the timer's own.
    static std::shared_ptr<RunLoopTimer> scheduledTimerWithTimeInterval(Interval interval,
                                                                        std::function<void(const std::any&)> block,
                                                                        std::any userInfo, bool repeats);

private:
    static std::shared_ptr<RunLoopTimer> schedule(Interval interval, std::shared_ptr<HWWeakTimerTarget> trampoline,
                                                  std::any userInfo, bool repeats);
};

}  // namespace orv
