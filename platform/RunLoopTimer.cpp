#include "platform/RunLoopTimer.h"

#include <algorithm>

namespace orv {

namespace {

// A repeating timer with no interval would fire on every pass and starve the
// loop; this is the shortest period a repeating timer gets.
constexpr std::chrono::nanoseconds kShortestRepeat = std::chrono::microseconds(100);

}  // namespace

RunLoopTimer::RunLoopTimer(Passkey, std::chrono::nanoseconds interval, bool repeats, Block block)
    : interval_(repeats ? std::max(interval, kShortestRepeat) : interval),
      repeats_(repeats),
      fireDate_(Clock::now() + std::max(interval, std::chrono::nanoseconds::zero())),
      block_(std::make_shared<Block>(std::move(block)))
{
}

std::shared_ptr<RunLoopTimer> RunLoopTimer::make(std::chrono::nanoseconds interval, bool repeats, Block block)
{
    return std::make_shared<RunLoopTimer>(Passkey{}, interval, repeats, std::move(block));
}

std::shared_ptr<RunLoopTimer> RunLoopTimer::scheduled(std::chrono::nanoseconds interval, bool repeats, Block block,
                                                      const RunLoopMode& mode)
{
    auto timer = make(interval, repeats, std::move(block));
    RunLoop::current().addTimer(timer, mode);
    return timer;
}

void RunLoopTimer::invalidate()
{
    // The loop may hold the last reference; keep this object alive until done.
    auto self = weak_from_this().lock();
    std::shared_ptr<Block> block;
    std::shared_ptr<RunLoop> loop;
    {
        std::lock_guard lock(mutex_);
        if (!valid_)
            return;
        valid_ = false;
        block = std::move(block_);
        loop = loop_.lock();
        loop_.reset();
    }
    if (loop)
        loop->timerInvalidated(*this);
    // `block` is released here, outside every lock; a firing that is running
    // it holds its own reference.
}

bool RunLoopTimer::isValid() const
{
    std::lock_guard lock(mutex_);
    return valid_;
}

RunLoopTimer::Clock::time_point RunLoopTimer::fireDate() const
{
    std::lock_guard lock(mutex_);
    return fireDate_;
}

void RunLoopTimer::setFireDate(Clock::time_point date)
{
    std::shared_ptr<RunLoop> loop;
    {
        std::lock_guard lock(mutex_);
        if (!valid_)
            return;
        fireDate_ = date;
        loop = loop_.lock();
    }
    // An earlier date must cut short a wait that is already under way.
    if (loop)
        loop->timerChanged();
}

std::chrono::nanoseconds RunLoopTimer::timeInterval() const
{
    return interval_;
}

bool RunLoopTimer::repeats() const
{
    return repeats_;
}

void RunLoopTimer::fire()
{
    auto self = weak_from_this().lock();
    std::shared_ptr<Block> block;
    {
        std::lock_guard lock(mutex_);
        if (!valid_)
            return;
        block = block_;
    }
    (*block)(*this);
    if (!repeats_)
        invalidate();
}

bool RunLoopTimer::fireIfDue(RunLoop& loop, Clock::time_point now)
{
    std::shared_ptr<Block> block;
    {
        std::lock_guard lock(mutex_);
        if (!valid_ || fireDate_ > now || loop_.lock().get() != &loop)
            return false;
        if (repeats_) {
            // Skip the firings the loop missed (it was busy or in another
            // mode): one call, then the next multiple of the interval.
            const auto missed = (now - fireDate_) / interval_;
            fireDate_ += interval_ * (missed + 1);
        }
        block = block_;
    }
    (*block)(*this);
    if (!repeats_)
        invalidate();
    return true;
}

}  // namespace orv
