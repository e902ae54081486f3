#include "platform/RunLoopSource.h"

namespace orv {

RunLoopSource::RunLoopSource(Passkey, int descriptor, unsigned events, Handler handler)
    : descriptor_(descriptor), events_(events), handler_(std::make_shared<Handler>(std::move(handler)))
{
}

std::shared_ptr<RunLoopSource> RunLoopSource::make(int descriptor, unsigned events, Handler handler)
{
    return std::make_shared<RunLoopSource>(Passkey{}, descriptor, events, std::move(handler));
}

unsigned RunLoopSource::events() const
{
    std::lock_guard lock(mutex_);
    return events_;
}

void RunLoopSource::setEvents(unsigned events)
{
    std::shared_ptr<RunLoop> loop;
    {
        std::lock_guard lock(mutex_);
        if (events_ == events)
            return;
        events_ = events;
        loop = loop_.lock();
    }
    if (loop)
        loop->sourceChanged(*this);
}

void RunLoopSource::invalidate()
{
    // The loop may hold the last reference; keep this object alive until done.
    auto self = weak_from_this().lock();
    std::shared_ptr<Handler> handler;
    std::shared_ptr<RunLoop> loop;
    {
        std::lock_guard lock(mutex_);
        if (!valid_)
            return;
        valid_ = false;
        handler = std::move(handler_);
        loop = loop_.lock();
        loop_.reset();
    }
    if (loop)
        loop->sourceInvalidated(*this);
}

bool RunLoopSource::isValid() const
{
    std::lock_guard lock(mutex_);
    return valid_;
}

bool RunLoopSource::deliver(unsigned ready)
{
    std::shared_ptr<Handler> handler;
    unsigned events = 0;
    {
        std::lock_guard lock(mutex_);
        events = ready & events_;
        if (!valid_ || !events)
            return false;
        handler = handler_;
    }
    (*handler)(*this, events);
    return true;
}

}  // namespace orv
