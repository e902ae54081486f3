#include "platform/DispatchRuntime.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace orv::dispatch::detail {

namespace {

[[noreturn]] void fatal(const char* what)
{
    std::fprintf(stderr, "dispatch: %s: %s\n", what, std::strerror(errno));
    std::abort();
}

// How long a worker that ran out of work keeps looking before it sleeps:
// long enough to catch the next hop of a request/reply exchange, short
// enough that an idle process costs nothing worth measuring.
constexpr auto kIdleSpin = std::chrono::microseconds(50);

// After delivering descriptor events the reactor polls for a while before
// it blocks: the answer to what was just read usually arrives within this
// time, and a polling reactor sees it without being woken.
constexpr auto kReactorSpin = std::chrono::microseconds(50);

inline void cpuRelax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#elif defined(__aarch64__)
    asm volatile("yield" ::: "memory");
#endif
}

}  // namespace

WorkerPool::WorkerPool(unsigned threads)
{
    threads_.reserve(threads);
    running_ = threads;
    for (unsigned i = 0; i < threads; ++i)
        threads_.emplace_back([this] { work(); });
}

bool WorkerPool::stop()
{
    // At exit the workers finish what is queued (a block may still be
    // waiting in sync() for another), then leave. One that never finishes
    // must not hang the exit: after a grace period the rest are let go.
    std::unique_lock lock(mutex_);
    stopping_ = true;
    wake_.notify_all();
    bool allLeft = left_.wait_for(lock, std::chrono::seconds(2),
                                  [this] { return running_ == 0; });
    std::vector<std::thread> threads;
    threads.swap(threads_);
    lock.unlock();
    for (auto& thread : threads) {
        if (allLeft)
            thread.join();
        else
            thread.detach();
    }
    return allLeft;
}

void WorkerPool::submit(Priority priority, Task task)
{
    bool wakeOne = false;
    {
        std::lock_guard lock(mutex_);
        lanes_[static_cast<int>(priority)].push_back(std::move(task));
        queued_.fetch_add(1, std::memory_order_relaxed);
        // Busy workers look at the lanes before they sleep, a spinning worker
        // takes the task by itself, and a worker that wakes up wakes the next
        // one while work remains: one wake-up in flight at a time keeps
        // posting cheap under load.
        if (!spinning_ && idle_ > waking_ && waking_ == 0) {
            ++waking_;
            wakeOne = true;
        }
        growIfStarvedLocked();
    }
    if (wakeOne)
        wake_.notify_one();
}

void WorkerPool::beginBlocking()
{
    std::lock_guard lock(mutex_);
    ++blocked_;
    growIfStarvedLocked();
}

void WorkerPool::endBlocking()
{
    std::lock_guard lock(mutex_);
    --blocked_;
}

void WorkerPool::growIfStarvedLocked()
{
    constexpr size_t kMostThreads = 512;
    if (blocked_ == 0 || idle_ > 0 || spinning_ || stopping_ ||
        threads_.size() >= kMostThreads || queued_.load(std::memory_order_relaxed) == 0)
        return;
    ++running_;
    threads_.emplace_back([this] { work(); });
}

// Polls for a task without the lock, for at most kIdleSpin.
bool WorkerPool::spinForWork() const
{
    auto until = Clock::now() + kIdleSpin;
    for (;;) {
        for (int i = 0; i < 32; ++i) {
            if (queued_.load(std::memory_order_relaxed) != 0)
                return true;
            cpuRelax();
        }
        if (Clock::now() >= until)
            return false;
    }
}

void WorkerPool::work()
{
    std::unique_lock lock(mutex_);
    bool maySpin = true;
    for (;;) {
        Task task;
        int priority = 0;
        for (; priority < 4; ++priority) {
            auto& lane = lanes_[priority];
            if (!lane.empty()) {
                task = std::move(lane.front());
                lane.pop_front();
                queued_.fetch_sub(1, std::memory_order_relaxed);
                break;
            }
        }
        if (task) {
            bool more = queued_.load(std::memory_order_relaxed) != 0;
            bool wakeNext = more && !spinning_ && idle_ > waking_ && waking_ == 0;
            if (wakeNext)
                ++waking_;
            lock.unlock();
            if (wakeNext)
                wake_.notify_one();
            runAsGlobal(static_cast<Priority>(priority), task);
            task = nullptr;  // destroy captures outside the lock
            maySpin = true;
            lock.lock();
            continue;
        }
        if (stopping_) {
            --running_;
            left_.notify_all();
            return;
        }
        // One spin per stretch of work: a spin that found nothing ends in
        // sleep. Whoever posts while spinning_ is set leaves the task to us,
        // and we look at the lanes under the lock before sleeping.
        if (maySpin && !spinning_) {
            maySpin = false;
            spinning_ = true;
            lock.unlock();
            spinForWork();
            lock.lock();
            spinning_ = false;
            continue;
        }
        ++idle_;
        wake_.wait(lock);
        --idle_;
        if (waking_ > 0)
            --waking_;
        maySpin = true;
    }
}

Reactor::Reactor()
{
    epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
    wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    timerFd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    if (epoll_ < 0 || wakeFd_ < 0 || timerFd_ < 0)
        fatal("cannot create the reactor");
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = 0;  // id 0: the wake-up descriptor
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, wakeFd_, &event);
    event.data.u64 = UINT64_MAX;  // the deadline timer
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, timerFd_, &event);
    thread_ = std::thread([this] { loop(); });
}

Reactor::~Reactor()
{
    stop();
    ::close(epoll_);
    ::close(wakeFd_);
    ::close(timerFd_);
}

void Reactor::stop()
{
    {
        std::lock_guard lock(mutex_);
        if (stopping_)
            return;
        stopping_ = true;
    }
    uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
    thread_.join();
}

uint64_t Reactor::watch(int fd, uint32_t events, Callback callback)
{
    std::lock_guard lock(mutex_);
    uint64_t id = nextId_++;
    watches_.emplace(id, Watch{fd, events, std::make_shared<const Callback>(std::move(callback))});
    epoll_event event{};
    event.events = events | EPOLLONESHOT;
    event.data.u64 = id;
    if (::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &event) != 0) {
        if (errno != EPERM)
            fatal("epoll_ctl add");
        watches_.at(id).alwaysReady = true;
        readySoonLocked(id);
    }
    return id;
}

void Reactor::readySoonLocked(uint64_t id)
{
    bool earliest = deadlines_.empty() || Clock::now() < deadlines_.begin()->first;
    deadlines_.emplace(Clock::now(), [this, id] {
        std::shared_ptr<const Callback> callback;
        uint32_t events = 0;
        {
            std::lock_guard lock(mutex_);
            auto it = watches_.find(id);
            if (it == watches_.end())
                return;
            callback = it->second.callback;
            events = it->second.events;
        }
        (*callback)(events);
    });
    if (earliest)
        armTimerLocked();
}

void Reactor::rewatch(uint64_t id)
{
    std::lock_guard lock(mutex_);
    auto it = watches_.find(id);
    if (it == watches_.end())
        return;
    if (it->second.alwaysReady) {
        readySoonLocked(id);
        return;
    }
    epoll_event event{};
    event.events = it->second.events | EPOLLONESHOT;
    event.data.u64 = id;
    ::epoll_ctl(epoll_, EPOLL_CTL_MOD, it->second.fd, &event);
}

void Reactor::unwatch(uint64_t id)
{
    std::shared_ptr<const Callback> dropped;
    {
        std::lock_guard lock(mutex_);
        auto it = watches_.find(id);
        if (it == watches_.end())
            return;
        if (!it->second.alwaysReady)
            ::epoll_ctl(epoll_, EPOLL_CTL_DEL, it->second.fd, nullptr);
        dropped = std::move(it->second.callback);
        watches_.erase(it);
    }
}

void Reactor::at(Clock::time_point deadline, std::function<void()> callback)
{
    std::lock_guard lock(mutex_);
    bool earliest = deadlines_.empty() || deadline < deadlines_.begin()->first;
    deadlines_.emplace(deadline, std::move(callback));
    if (earliest)
        armTimerLocked();
}

void Reactor::armTimerLocked()
{
    itimerspec spec{};
    if (!deadlines_.empty()) {
        auto wait = deadlines_.begin()->first - Clock::now();
        auto ns = std::max<int64_t>(
            1, std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count());
        spec.it_value.tv_sec = ns / 1000000000;
        spec.it_value.tv_nsec = ns % 1000000000;
    }
    ::timerfd_settime(timerFd_, 0, &spec, nullptr);
}

void Reactor::loop()
{
    epoll_event events[64];
    // Kept across rounds so a quiet round allocates nothing.
    std::vector<std::function<void()>> due;
    std::vector<std::pair<std::shared_ptr<const Callback>, uint32_t>> ready;
    Clock::time_point pollUntil{};
    for (;;) {
        bool polling = pollUntil != Clock::time_point{};
        int count = ::epoll_wait(epoll_, events, 64, polling ? 0 : -1);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            fatal("epoll_wait");
        }
        if (count == 0) {
            if (Clock::now() >= pollUntil)
                pollUntil = {};
            for (int i = 0; i < 16; ++i)
                cpuRelax();
            continue;
        }
        {
            std::lock_guard lock(mutex_);
            if (stopping_)
                return;
            for (int i = 0; i < count; ++i) {
                uint64_t id = events[i].data.u64;
                if (id == 0) {
                    uint64_t value;
                    (void)!::read(wakeFd_, &value, sizeof value);
                } else if (id == UINT64_MAX) {
                    uint64_t value;
                    (void)!::read(timerFd_, &value, sizeof value);
                } else if (auto it = watches_.find(id); it != watches_.end()) {
                    ready.emplace_back(it->second.callback, uint32_t{events[i].events});
                }
            }
            auto now = Clock::now();
            while (!deadlines_.empty() && deadlines_.begin()->first <= now) {
                due.push_back(std::move(deadlines_.begin()->second));
                deadlines_.erase(deadlines_.begin());
            }
            if (!due.empty())
                armTimerLocked();
        }
        if (!ready.empty())
            pollUntil = Clock::now() + kReactorSpin;
        for (auto& [callback, mask] : ready)
            (*callback)(mask);
        for (auto& callback : due)
            callback();
        // Drop what the callbacks hold before the next wait.
        ready.clear();
        due.clear();
    }
}

namespace {

// The runtime is made on first use and torn down at exit, after every static
// that was made later is gone. The global queues are never torn down.
struct Runtime {
    ~Runtime()
    {
        // Deliveries stop first, so no deadline fires into a stopping pool.
        // The reactor itself must outlive the workers: a block finishing at
        // exit may still cancel a source, which unwatches it. Workers still
        // stuck in a task after the grace period keep using both, so then
        // both are left in place rather than freed under them.
        reactor.stop();
        if (pool.stop()) {
            delete &reactor;
            delete &pool;
        }
    }
    WorkerPool& pool = *new WorkerPool(std::clamp(2 * std::thread::hardware_concurrency(), 8u, 64u));
    Reactor& reactor = *new Reactor;
};

Runtime& runtime()
{
    static Runtime instance;
    return instance;
}

}  // namespace

WorkerPool& pool() { return runtime().pool; }
Reactor& reactor() { return runtime().reactor; }

}  // namespace orv::dispatch::detail
