#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <unordered_map>

#include "platform/Dispatch.h"
#include "platform/DispatchRuntime.h"
#include "platform/Error.h"

namespace orv::dispatch {

// State shared by the public handle, the reactor callbacks and the blocks
// queued for delivery; whichever holds it last frees it.
struct Source::Impl : std::enable_shared_from_this<Source::Impl> {
    Impl(Kind kind, int fd, QueueRef queue) : kind(kind), fd(fd), queue(std::move(queue)) {}

    const Kind kind;
    const int fd;
    const QueueRef queue;

    std::mutex mutex;
    Task eventHandler;
    Task cancelHandler;
    int suspendCount = 1;
    bool activated = false;        // resumed at least once
    bool cancelled = false;
    bool cancelHandlerQueued = false;
    bool eventWhileSuspended = false;  // an event came in while suspended

    // Descriptor sources watch a duplicate of the caller's descriptor, so a
    // read and a write source on one socket are two independent epoll entries.
    int watchedFd = -1;
    uint64_t watchId = 0;

    // Timers: a re-arm bumps the generation, which voids firings of the old one.
    uint64_t generation = 0;
    bool timerSet = false;
    bool timerArmed = false;  // a firing is still to come
    detail::Clock::time_point deadline;
    Duration interval{0};
    uint64_t pendingFires = 0;      // firings not yet handed to the handler
    bool timerDeliveryQueued = false;

    std::atomic<uint64_t> data{0};

    std::atomic<bool> cancelledFlag{false};

    void activateLocked();
    void armTimerLocked();
    void queueCancelHandlerLocked();
    bool deliverableLocked();
    void onReady();
    void deliverDescriptorEvent();
    void onTimerFired(uint64_t firedGeneration);
    void deliverTimer();
    void cancel();
};

namespace {

// Sources that were resumed and not yet cancelled are owned here, so a
// running source lives on even after its creator dropped its handle.
std::mutex activeMutex;
std::unordered_map<Source::Impl*, std::shared_ptr<Source::Impl>>& active()
{
    static auto* map = new std::unordered_map<Source::Impl*, std::shared_ptr<Source::Impl>>();
    return *map;
}

uint64_t readableEstimate(int fd)
{
    int available = 0;
    if (::ioctl(fd, FIONREAD, &available) != 0)
        return 1;  // a listening socket has no byte count: one connection waits
    return available > 0 ? static_cast<uint64_t>(available) : 0;
}

}  // namespace

void Source::Impl::activateLocked()
{
    activated = true;
    {
        std::lock_guard lock(activeMutex);
        active().emplace(this, shared_from_this());
    }
    if (kind == Kind::Timer) {
        if (timerSet)
            armTimerLocked();
        return;
    }
    watchedFd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (watchedFd < 0)
        return;  // not a descriptor: the source never fires
    uint32_t events = kind == Kind::Read ? EPOLLIN | EPOLLRDHUP : EPOLLOUT;
    std::weak_ptr<Impl> weak = shared_from_this();
    watchId = detail::reactor().watch(watchedFd, events, [weak](uint32_t) {
        if (auto self = weak.lock())
            self->onReady();
    });
}

void Source::Impl::onReady()
{
    queue->async([self = shared_from_this()] { self->deliverDescriptorEvent(); });
}

// An event may reach the handler unless the source is cancelled; while it is
// suspended the event is remembered and delivered on resume.
bool Source::Impl::deliverableLocked()
{
    if (cancelled)
        return false;
    if (suspendCount > 0) {
        eventWhileSuspended = true;
        return false;
    }
    return true;
}

void Source::Impl::deliverDescriptorEvent()
{
    Task handler;
    {
        std::lock_guard lock(mutex);
        if (!deliverableLocked())
            return;
        handler = eventHandler;
    }
    data.store(kind == Kind::Read ? readableEstimate(fd) : 1, std::memory_order_relaxed);
    if (handler)
        handler();
    // Level semantics: the descriptor is watched again (now, or on resume) and
    // fires again if it is still ready.
    std::lock_guard lock(mutex);
    if (deliverableLocked())
        detail::reactor().rewatch(watchId);
}

void Source::Impl::armTimerLocked()
{
    uint64_t armed = generation;
    std::weak_ptr<Impl> weak = shared_from_this();
    detail::reactor().at(deadline, [weak, armed] {
        if (auto self = weak.lock())
            self->onTimerFired(armed);
    });
}

void Source::Impl::onTimerFired(uint64_t firedGeneration)
{
    std::lock_guard lock(mutex);
    if (cancelled || firedGeneration != generation)
        return;
    timerArmed = interval > Duration::zero();
    if (interval > Duration::zero()) {
        deadline += interval;
        auto now = detail::Clock::now();
        if (deadline < now)
            deadline = now;  // missed firings fold into the count below
        armTimerLocked();
    }
    // Firings that pile up before the handler runs are folded into one
    // delivery whose data() says how many.
    ++pendingFires;
    if (timerDeliveryQueued)
        return;
    timerDeliveryQueued = true;
    queue->async([self = shared_from_this()] { self->deliverTimer(); });
}

void Source::Impl::deliverTimer()
{
    Task handler;
    uint64_t fires;
    {
        std::lock_guard lock(mutex);
        timerDeliveryQueued = false;
        // A re-arm in between voids the firings.
        if (pendingFires == 0 || !deliverableLocked())
            return;
        fires = pendingFires;
        pendingFires = 0;
        handler = eventHandler;
    }
    data.store(fires, std::memory_order_relaxed);
    if (handler)
        handler();
}

void Source::Impl::queueCancelHandlerLocked()
{
    if (cancelHandlerQueued)
        return;
    cancelHandlerQueued = true;
    Task handler = std::move(cancelHandler);
    eventHandler = nullptr;  // drop what the handlers hold once they can no longer run
    cancelHandler = nullptr;
    queue->async([handler = std::move(handler)] {
        if (handler)
            handler();
    });
}

void Source::Impl::cancel()
{
    uint64_t id = 0;
    int watched = -1;
    {
        std::lock_guard lock(mutex);
        if (cancelled)
            return;
        cancelled = true;
        cancelledFlag.store(true, std::memory_order_release);
        ++generation;
        timerArmed = false;
        id = watchId;
        watched = watchedFd;
        watchId = 0;
        watchedFd = -1;
        if (suspendCount == 0)
            queueCancelHandlerLocked();
    }
    if (id)
        detail::reactor().unwatch(id);
    if (watched >= 0)
        ::close(watched);
    // Taken out under the lock, released after it: the last reference may go
    // here, and what the handlers held must not be freed under our mutex.
    std::shared_ptr<Impl> keep;
    {
        std::lock_guard lock(activeMutex);
        if (auto it = active().find(this); it != active().end()) {
            keep = std::move(it->second);
            active().erase(it);
        }
    }
}

Source::Source(std::shared_ptr<Impl> impl) : impl_(std::move(impl)) {}

Source::~Source()
{
    // A source dropped while suspended can never be resumed again: cancel it
    // and still run its cancel handler, which typically closes the descriptor.
    {
        std::lock_guard lock(impl_->mutex);
        if (impl_->suspendCount == 0 || impl_->cancelled)
            return;
    }
    impl_->cancel();
    std::lock_guard lock(impl_->mutex);
    impl_->queueCancelHandlerLocked();
}

SourceRef Source::makeRead(int fd, QueueRef queue)
{
    return std::make_shared<Source>(std::make_shared<Impl>(Kind::Read, fd, std::move(queue)));
}

SourceRef Source::makeWrite(int fd, QueueRef queue)
{
    return std::make_shared<Source>(std::make_shared<Impl>(Kind::Write, fd, std::move(queue)));
}

SourceRef Source::makeTimer(QueueRef queue)
{
    return std::make_shared<Source>(std::make_shared<Impl>(Kind::Timer, -1, std::move(queue)));
}

void Source::setEventHandler(Task handler)
{
    std::lock_guard lock(impl_->mutex);
    if (!impl_->cancelled)
        impl_->eventHandler = std::move(handler);
}

void Source::setCancelHandler(Task handler)
{
    std::lock_guard lock(impl_->mutex);
    if (!impl_->cancelHandlerQueued)
        impl_->cancelHandler = std::move(handler);
}

void Source::setTimer(Duration start, Duration interval)
{
    std::lock_guard lock(impl_->mutex);
    if (impl_->kind != Kind::Timer || impl_->cancelled)
        return;
    ++impl_->generation;
    impl_->pendingFires = 0;
    impl_->timerSet = true;
    impl_->timerArmed = true;
    impl_->deadline = detail::Clock::now() + start;
    impl_->interval = interval;
    impl_->eventWhileSuspended = false;
    if (impl_->activated)
        impl_->armTimerLocked();
}

bool Source::isTimerArmed() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->timerArmed;
}

uint64_t Source::data() const { return impl_->data.load(std::memory_order_relaxed); }

void Source::resume()
{
    bool deliverTimerNow = false;
    {
        std::lock_guard lock(impl_->mutex);
        if (impl_->suspendCount == 0)
            throw Exception("DispatchOverResume", "resume() of a source that is not suspended");
        if (--impl_->suspendCount > 0)
            return;
        if (impl_->cancelled) {
            impl_->queueCancelHandlerLocked();
            return;
        }
        if (!impl_->activated) {
            impl_->activateLocked();
            return;
        }
        if (!impl_->eventWhileSuspended)
            return;
        impl_->eventWhileSuspended = false;
        if (impl_->kind == Kind::Timer) {
            deliverTimerNow = !impl_->timerDeliveryQueued;
            impl_->timerDeliveryQueued = true;
        } else {
            detail::reactor().rewatch(impl_->watchId);
        }
    }
    if (deliverTimerNow)
        impl_->queue->async([self = impl_] { self->deliverTimer(); });
}

void Source::suspend()
{
    std::lock_guard lock(impl_->mutex);
    ++impl_->suspendCount;
}

void Source::cancel() { impl_->cancel(); }

bool Source::isCancelled() const { return impl_->cancelledFlag.load(std::memory_order_acquire); }

Source::Kind Source::kind() const { return impl_->kind; }
int Source::descriptor() const { return impl_->fd; }

}  // namespace orv::dispatch
