#include "core/bridge/adb/HWWeakTimer.h"

namespace orv {

void HWWeakTimerTarget::fire(RunLoopTimer& timer, const std::any& userInfo)
{
    if (!alive_()) {
        timer.invalidate();
        return;
    }
    // Performed on a later pass of the loop, so the action never runs inside
    // the timer's own call. The perform holds the trampoline, never the target.
    std::weak_ptr<HWWeakTimerTarget> weakSelf = weak_from_this();
    RunLoop::current().perform(this, selector_, std::chrono::nanoseconds::zero(), [weakSelf, userInfo] {
        if (auto self = weakSelf.lock())
            self->action_(userInfo);
    });
}

std::shared_ptr<RunLoopTimer> HWWeakTimer::schedule(Interval interval, std::shared_ptr<HWWeakTimerTarget> trampoline,
                                                    std::any userInfo, bool repeats)
{
    auto nanoseconds = std::chrono::duration_cast<std::chrono::nanoseconds>(interval);
    auto timer = RunLoopTimer::make(nanoseconds, repeats,
                                    [trampoline, userInfo = std::move(userInfo)](RunLoopTimer& fired) {
                                        trampoline->fire(fired, userInfo);
                                    });
    trampoline->timer = timer;
    RunLoop::current().addTimer(timer, kDefaultRunLoopMode);
    return timer;
}

std::shared_ptr<RunLoopTimer> HWWeakTimer::scheduledTimerWithTimeInterval(Interval interval,
                                                                          std::function<void(const std::any&)> block,
                                                                          std::any userInfo, bool repeats)
{
    auto trampoline = std::make_shared<HWWeakTimerTarget>([] { return true; }, std::move(block), "_timerBlockInvoke");
    return schedule(interval, std::move(trampoline), std::move(userInfo), repeats);
}

}  // namespace orv
