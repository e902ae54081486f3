#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/Dispatch.h"
#include "platform/DispatchRuntime.h"
#include "platform/Error.h"
#include "platform/RunLoop.h"
#include "platform/Thread.h"

namespace orv::dispatch {

namespace {

enum class Flavor { Serial, Global, Main };

// The queues the calling thread is running, innermost last. A serial queue
// that targets another serial queue runs inside that queue's drain, so both
// appear here, outer first.
thread_local std::vector<Queue*> tlsRunning;

struct Running {
    explicit Running(Queue* queue) { tlsRunning.push_back(queue); }
    ~Running() { tlsRunning.pop_back(); }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;
};

// How many blocks one drain runs before it yields its worker to other queues.
constexpr int kDrainBatch = 128;

}  // namespace

struct Queue::Impl {
    Impl(std::string label, Flavor flavor, Priority priority)
        : label(std::move(label)), flavor(flavor), priority(priority) {}

    const std::string label;
    const Flavor flavor;
    const Priority priority;  // of a global queue

    mutable std::mutex mutex;
    std::deque<Task> items;
    bool scheduled = false;  // a drain is queued or running
    QueueRef target;

    mutable std::mutex specificMutex;
    std::unordered_map<const void*, void*> specifics;

    QueueRef targetSnapshot() const
    {
        std::lock_guard lock(mutex);
        return target;
    }

    static Impl& of(const Queue& queue) { return *queue.impl_; }
    static void scheduleDrain(Queue& queue);
    static void drain(const QueueRef& queue, Impl& impl);
};

namespace {
Queue::Impl& implOf(const Queue& queue) { return Queue::Impl::of(queue); }
}  // namespace

// Runs blocks of a serial (or main) queue in order until it is empty or the
// batch is used up; in the latter case it queues itself again.
void Queue::Impl::drain(const QueueRef& queue, Impl& impl)
{
    Running running(queue.get());
    for (int done = 0;; ++done) {
        Task task;
        {
            std::lock_guard lock(impl.mutex);
            if (impl.items.empty()) {
                impl.scheduled = false;
                return;
            }
            if (done == kDrainBatch)
                break;
            task = std::move(impl.items.front());
            impl.items.pop_front();
        }
        task();
    }
    scheduleDrain(*queue);
}

Queue::Queue(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
Queue::~Queue() = default;

QueueRef Queue::makeSerial(std::string label, QueueRef target)
{
    auto queue = std::make_shared<Queue>(
        std::make_unique<Impl>(std::move(label), Flavor::Serial, Priority::Default));
    queue->impl_->target = target ? std::move(target) : global(Priority::Default);
    return queue;
}

// The global and main queues are never destroyed: the pool runs what is
// still queued while the process exits, after ordinary statics are gone.
QueueRef Queue::global(Priority priority)
{
    static const QueueRef* const queues = new QueueRef[4]{
        std::make_shared<Queue>(std::make_unique<Impl>("orv.root.high", Flavor::Global, Priority::High)),
        std::make_shared<Queue>(std::make_unique<Impl>("orv.root.default", Flavor::Global, Priority::Default)),
        std::make_shared<Queue>(std::make_unique<Impl>("orv.root.low", Flavor::Global, Priority::Low)),
        std::make_shared<Queue>(std::make_unique<Impl>("orv.root.background", Flavor::Global, Priority::Background)),
    };
    return queues[static_cast<int>(priority)];
}

QueueRef Queue::main()
{
    static const QueueRef* const queue =
        new QueueRef(std::make_shared<Queue>(std::make_unique<Impl>("orv.main", Flavor::Main, Priority::High)));
    return *queue;
}

void Queue::Impl::scheduleDrain(Queue& queue)
{
    auto self = queue.shared_from_this();
    auto run = [self] { drain(self, *self->impl_); };
    switch (self->impl_->flavor) {
    case Flavor::Main:
        RunLoop::main().post(std::move(run));
        break;
    case Flavor::Serial:
        self->impl_->targetSnapshot()->async(std::move(run));
        break;
    case Flavor::Global:
        break;  // global queues never drain
    }
}

void Queue::async(Task task)
{
    if (impl_->flavor == Flavor::Global) {
        detail::pool().submit(impl_->priority, std::move(task));
        return;
    }
    {
        std::lock_guard lock(impl_->mutex);
        impl_->items.push_back(std::move(task));
        if (impl_->scheduled)
            return;
        impl_->scheduled = true;
    }
    Impl::scheduleDrain(*this);
}

void Queue::after(Duration delay, Task task)
{
    auto deadline = detail::Clock::now() + delay;
    detail::reactor().at(deadline, [self = shared_from_this(), task = std::move(task)]() mutable {
        self->async(std::move(task));
    });
}

void Queue::sync(Task task)
{
    if (impl_->flavor == Flavor::Global) {
        Running running(this);
        task();
        return;
    }
    // Waiting for a queue that this thread is itself running (directly or as
    // the target of what it runs) would never end.
    for (const Queue* q = this; q; q = implOf(*q).targetSnapshot().get()) {
        if (implOf(*q).flavor != Flavor::Global &&
            std::find(tlsRunning.begin(), tlsRunning.end(), q) != tlsRunning.end())
            throw Exception("DispatchDeadlock", "sync onto queue \"" + impl_->label +
                                                    "\" from a block it would wait for");
    }
    if (impl_->flavor == Flavor::Main && isMainThread())
        throw Exception("DispatchDeadlock", "sync onto the main queue from the main thread");

    // An idle serial queue whose blocks run on the pool is claimed by the
    // caller, which runs the block itself: no worker is needed, so callers
    // waiting in sync can never starve the pool.
    if (impl_->flavor == Flavor::Serial && claimIfIdle()) {
        Running running(this);
        struct Release {
            Queue& queue;
            ~Release() { queue.releaseClaim(); }
        } release{*this};
        task();
        return;
    }

    // Otherwise the block runs in the queue's order, on the queue's own
    // context, while the caller waits.
    std::mutex mutex;
    std::condition_variable done;
    bool finished = false;
    std::exception_ptr failure;
    async([&] {
        try {
            task();
        } catch (...) {
            failure = std::current_exception();
        }
        std::lock_guard lock(mutex);
        finished = true;
        done.notify_one();
    });
    detail::pool().beginBlocking();
    {
        std::unique_lock lock(mutex);
        done.wait(lock, [&] { return finished; });
    }
    detail::pool().endBlocking();
    if (failure)
        std::rethrow_exception(failure);
}

bool Queue::claimIfIdle()
{
    std::lock_guard lock(impl_->mutex);
    if (impl_->scheduled || !impl_->items.empty() || !impl_->target || impl_->target->isSerial())
        return false;
    impl_->scheduled = true;
    return true;
}

void Queue::releaseClaim()
{
    {
        std::lock_guard lock(impl_->mutex);
        if (impl_->items.empty()) {
            impl_->scheduled = false;
            return;
        }
    }
    Impl::scheduleDrain(*this);  // blocks queued meanwhile
}

void Queue::setTarget(QueueRef target)
{
    if (impl_->flavor != Flavor::Serial)
        throw Exception("DispatchInvalidTarget", "only serial queues take a target");
    if (!target)
        target = global(Priority::Default);
    for (const Queue* q = target.get(); q; q = implOf(*q).targetSnapshot().get())
        if (q == this)
            throw Exception("DispatchInvalidTarget", "target chain of \"" + impl_->label + "\" loops");
    std::lock_guard lock(impl_->mutex);
    impl_->target = std::move(target);
}

QueueRef Queue::target() const { return impl_->targetSnapshot(); }

void Queue::setSpecific(const void* key, void* value)
{
    std::lock_guard lock(impl_->specificMutex);
    if (value)
        impl_->specifics[key] = value;
    else
        impl_->specifics.erase(key);
}

void* Queue::specific(const void* key) const
{
    std::lock_guard lock(impl_->specificMutex);
    auto it = impl_->specifics.find(key);
    return it == impl_->specifics.end() ? nullptr : it->second;
}

void* Queue::getSpecific(const void* key)
{
    if (tlsRunning.empty())
        return nullptr;
    for (const Queue* q = tlsRunning.back(); q; q = implOf(*q).targetSnapshot().get())
        if (void* value = q->specific(key))
            return value;
    return nullptr;
}

bool Queue::isCurrent() const
{
    return std::find(tlsRunning.begin(), tlsRunning.end(), this) != tlsRunning.end();
}

const std::string& Queue::label() const { return impl_->label; }
bool Queue::isSerial() const { return impl_->flavor != Flavor::Global; }

namespace detail {

void runAsGlobal(Priority priority, Task& task)
{
    // Global queues live as long as the process, so a plain pointer will do.
    static Queue* const globals[4] = {
        Queue::global(Priority::High).get(), Queue::global(Priority::Default).get(),
        Queue::global(Priority::Low).get(), Queue::global(Priority::Background).get()};
    Running running(globals[static_cast<int>(priority)]);
    task();
}

}  // namespace detail

}  // namespace orv::dispatch
