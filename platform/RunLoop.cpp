#include "platform/RunLoop.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <list>
#include <map>
#include <mutex>
#include <set>
#include <system_error>

#include "platform/Error.h"
#include "platform/RunLoopSource.h"
#include "platform/RunLoopTimer.h"
#include "platform/Thread.h"

namespace orv {

const RunLoopMode kDefaultRunLoopMode = "NSDefaultRunLoopMode";
const RunLoopMode kCommonRunLoopModes = "NSRunLoopCommonModes";

namespace {

struct Perform {
    const void* target = nullptr;
    std::string action;
    RunLoop::TimePoint due;
    unsigned long long sequence = 0;
    std::vector<RunLoopMode> modes;
    RunLoop::Block block;
    bool queued = true;
    std::list<std::shared_ptr<Perform>>::iterator position;
};

// One epoll set per mode: the wake descriptor plus the descriptors of the
// sources eligible in that mode, so waiting in a mode never wakes for (or
// spins on) a source of another mode.
struct ModeState {
    int epoll = -1;
    std::map<int, uint32_t> watched;  // descriptor -> epoll events registered
};

template <class Modes>
bool eligible(const Modes& modes, const RunLoopMode& mode)
{
    return std::find(modes.begin(), modes.end(), mode) != modes.end()
        || std::find(modes.begin(), modes.end(), kCommonRunLoopModes) != modes.end();
}

int currentThreadId()
{
    return static_cast<int>(::gettid());
}


[[noreturn]] void throwSystem(const char* what)
{
    throw std::system_error(errno, std::generic_category(), what);
}

}  // namespace

// The timers or sources on a loop, each with the modes it was added for.
template <class Item>
using Members = std::map<Item*, std::pair<std::shared_ptr<Item>, std::set<RunLoopMode>>>;

struct RunLoop::Impl {
    explicit Impl(int owner) : ownerThread(owner) {}

    const int ownerThread;
    mutable std::mutex mutex;
    bool dead = false;
    bool stopRequested = false;
    bool wakePending = false;
    int wakeFd = -1;
    unsigned long long nextSequence = 0;
    std::list<std::shared_ptr<Perform>> performs;
    std::map<RunLoopMode, ModeState, std::less<>> modes;
    Members<RunLoopTimer> timers;
    Members<RunLoopSource> sources;

    // All below: mutex held.

    // Ties a timer or source to `loop` in `mode`; false when it is invalid.
    template <class Item>
    bool attach(RunLoop& loop, Members<Item>& members, const std::shared_ptr<Item>& item, const RunLoopMode& mode)
    {
        {
            std::lock_guard itemLock(item->mutex_);
            if (!item->valid_)
                return false;
            auto owner = item->loop_.lock();
            if (owner && owner.get() != &loop)
                throw Exception("RunLoopMisuse", "a timer or source belongs to one run loop at a time");
            item->loop_ = loop.weak_from_this();
        }
        auto& entry = members[item.get()];
        entry.first = item;
        entry.second.insert(mode);
        return true;
    }

    // Takes a timer or source out of `mode` (out of all when null). Returns
    // the loop's reference once no mode is left, for the caller to release
    // after unlocking.
    template <class Item>
    std::shared_ptr<Item> detach(Members<Item>& members, Item& item, const RunLoopMode* mode)
    {
        auto found = members.find(&item);
        if (found == members.end())
            return nullptr;
        if (mode) {
            found->second.second.erase(*mode);
            if (!found->second.second.empty())
                return nullptr;
        }
        auto dropped = std::move(found->second.first);
        members.erase(found);
        std::lock_guard itemLock(item.mutex_);
        item.loop_.reset();
        return dropped;
    }

    // Unqueues the performs aimed at `target` (and `action`, when given);
    // returns their blocks for the caller to release after unlocking.
    std::vector<Block> cancel(const void* target, const std::string_view* action)
    {
        std::vector<Block> dropped;
        if (!target)
            return dropped;
        for (auto it = performs.begin(); it != performs.end();) {
            if ((*it)->target == target && (!action || (*it)->action == *action)) {
                (*it)->queued = false;
                dropped.push_back(std::move((*it)->block));
                it = performs.erase(it);
            } else {
                ++it;
            }
        }
        return dropped;
    }

    void wake()
    {
        if (dead || wakePending)
            return;
        wakePending = true;
        const uint64_t one = 1;
        // The counter cannot overflow (it is drained on every wake-up), so the
        // write only fails if the descriptor is gone, which `dead` rules out.
        [[maybe_unused]] auto written = ::write(wakeFd, &one, sizeof one);
    }

    // The epoll events the mode's eligible sources want for one descriptor.
    uint32_t wanted(const RunLoopMode& mode, int descriptor) const
    {
        uint32_t events = 0;
        for (const auto& [raw, entry] : sources) {
            if (raw->descriptor() != descriptor || !eligible(entry.second, mode))
                continue;
            const unsigned asked = raw->events();
            if (asked & RunLoopSource::Readable)
                events |= EPOLLIN;
            if (asked & RunLoopSource::Writable)
                events |= EPOLLOUT;
        }
        return events;
    }

    // Brings one mode's epoll set in line with its sources; an errno on failure.
    int resync(const RunLoopMode& mode, ModeState& state, int descriptor)
    {
        const uint32_t want = wanted(mode, descriptor);
        const auto found = state.watched.find(descriptor);
        const uint32_t have = found == state.watched.end() ? 0 : found->second;
        if (want == have)
            return 0;
        epoll_event event{};
        event.events = want;
        event.data.fd = descriptor;
        if (want == 0) {
            // The descriptor may already be closed, which removed it by itself.
            ::epoll_ctl(state.epoll, EPOLL_CTL_DEL, descriptor, nullptr);
            state.watched.erase(found);
            return 0;
        }
        const int op = have == 0 ? EPOLL_CTL_ADD : EPOLL_CTL_MOD;
        if (::epoll_ctl(state.epoll, op, descriptor, &event) != 0) {
            const int error = errno;
            if (op == EPOLL_CTL_MOD)
                state.watched.erase(found);
            return error;
        }
        state.watched[descriptor] = want;
        return 0;
    }

    int resyncEverywhere(int descriptor)
    {
        int firstError = 0;
        for (auto& [name, state] : modes) {
            const int error = resync(name, state, descriptor);
            if (error && !firstError)
                firstError = error;
        }
        return firstError;
    }

    ModeState& modeState(const RunLoopMode& mode)
    {
        if (auto found = modes.find(mode); found != modes.end())
            return found->second;
        ModeState state;
        state.epoll = ::epoll_create1(EPOLL_CLOEXEC);
        if (state.epoll < 0)
            throwSystem("epoll_create1");
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.fd = wakeFd;
        if (::epoll_ctl(state.epoll, EPOLL_CTL_ADD, wakeFd, &event) != 0) {
            const int error = errno;
            ::close(state.epoll);
            errno = error;
            throwSystem("epoll_ctl");
        }
        auto& stored = modes.emplace(mode, std::move(state)).first->second;
        for (const auto& [raw, entry] : sources)
            if (eligible(entry.second, mode))
                resync(mode, stored, raw->descriptor());
        return stored;
    }

    std::optional<TimePoint> nextDeadline(const RunLoopMode& mode) const
    {
        std::optional<TimePoint> next;
        auto consider = [&next](TimePoint candidate) {
            if (!next || candidate < *next)
                next = candidate;
        };
        for (const auto& perform : performs)
            if (eligible(perform->modes, mode))
                consider(perform->due);
        for (const auto& [raw, entry] : timers) {
            if (!eligible(entry.second, mode))
                continue;
            std::lock_guard timerLock(raw->mutex_);
            if (raw->valid_)
                consider(raw->fireDate_);
        }
        return next;
    }

    void closeDescriptors()
    {
        for (auto& [name, state] : modes)
            ::close(state.epoll);
        modes.clear();
        if (wakeFd >= 0)
            ::close(wakeFd);
        wakeFd = -1;
    }
};

RunLoop::RunLoop(Passkey, int ownerThread) : impl_(std::make_unique<Impl>(ownerThread))
{
    impl_->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    if (impl_->wakeFd < 0)
        throwSystem("eventfd");
    std::lock_guard lock(impl_->mutex);
    impl_->modeState(kDefaultRunLoopMode);
}

RunLoop::~RunLoop()
{
    std::lock_guard lock(impl_->mutex);
    impl_->closeDescriptors();
}

RunLoop& RunLoop::main()
{
    // Never destroyed: other threads (and static destructors) may still post
    // to the main loop while the process exits.
    static const auto* const loop =
        new std::shared_ptr<RunLoop>(std::make_shared<RunLoop>(Passkey{}, static_cast<int>(::getpid())));
    return **loop;
}

RunLoop& RunLoop::current()
{
    // The thread's own reference; when the thread ends, the loop drops what it
    // holds and turns later posts into no-ops for whoever still points at it.
    struct Owner {
        std::shared_ptr<RunLoop> loop;
        ~Owner()
        {
            if (loop)
                loop->shutdown();
        }
    };
    thread_local RunLoop* cached = nullptr;
    if (cached)
        return *cached;
    if (isMainThread()) {
        cached = &main();
        return *cached;
    }
    thread_local Owner owner;
    owner.loop = std::make_shared<RunLoop>(Passkey{}, currentThreadId());
    cached = owner.loop.get();
    return *cached;
}

bool RunLoop::isCurrent() const
{
    return currentThreadId() == impl_->ownerThread;
}

void RunLoop::checkOwner(const char* what) const
{
    if (!isCurrent())
        throw Exception("RunLoopMisuse", std::string(what) + " called off the run loop's own thread");
}

void RunLoop::wake()
{
    std::lock_guard lock(impl_->mutex);
    impl_->wake();
}

void RunLoop::shutdown()
{
    std::list<std::shared_ptr<Perform>> performs;
    decltype(impl_->timers) timers;
    decltype(impl_->sources) sources;
    {
        std::lock_guard lock(impl_->mutex);
        impl_->dead = true;
        performs.swap(impl_->performs);
        timers.swap(impl_->timers);
        sources.swap(impl_->sources);
        impl_->closeDescriptors();
    }
    // Outside the lock: blocks and handlers may post or cancel as they go.
    for (auto& perform : performs)
        perform->queued = false;
    for (auto& [raw, entry] : timers)
        entry.first->invalidate();
    for (auto& [raw, entry] : sources)
        entry.first->invalidate();
}

// --- performs -------------------------------------------------------------

void RunLoop::post(Block block, std::vector<RunLoopMode> modes)
{
    perform(nullptr, {}, std::chrono::nanoseconds::zero(), std::move(block), std::move(modes));
}

void RunLoop::perform(const void* target, std::string action, std::chrono::nanoseconds delay, Block block,
                      std::vector<RunLoopMode> modes)
{
    auto entry = std::make_shared<Perform>();
    entry->target = target;
    entry->action = std::move(action);
    entry->due = Clock::now() + std::max(delay, std::chrono::nanoseconds::zero());
    entry->modes = std::move(modes);
    entry->block = std::move(block);
    std::lock_guard lock(impl_->mutex);
    if (impl_->dead)
        return;  // `entry` (and the block) die after the lock is released
    entry->sequence = impl_->nextSequence++;
    impl_->performs.push_back(entry);
    entry->position = std::prev(impl_->performs.end());
    impl_->wake();
}

void RunLoop::cancelPerforms(const void* target)
{
    std::vector<Block> dropped;  // released after the lock: captures may call back in
    std::lock_guard lock(impl_->mutex);
    dropped = impl_->cancel(target, nullptr);
}

void RunLoop::cancelPerforms(const void* target, std::string_view action)
{
    std::vector<Block> dropped;
    std::lock_guard lock(impl_->mutex);
    dropped = impl_->cancel(target, &action);
}

bool RunLoop::runPerforms(const RunLoopMode& mode, unsigned long long before)
{
    const auto now = Clock::now();
    std::vector<std::shared_ptr<Perform>> batch;
    {
        std::lock_guard lock(impl_->mutex);
        for (const auto& perform : impl_->performs)
            if (perform->sequence < before && perform->due <= now && eligible(perform->modes, mode))
                batch.push_back(perform);
    }
    std::stable_sort(batch.begin(), batch.end(), [](const auto& a, const auto& b) { return a->due < b->due; });
    bool ran = false;
    for (const auto& perform : batch) {
        Block block;
        {
            std::lock_guard lock(impl_->mutex);
            // Cancelled by an earlier block, or already run by a nested pass.
            if (!perform->queued)
                continue;
            perform->queued = false;
            impl_->performs.erase(perform->position);
            block = std::move(perform->block);
        }
        if (block)
            block();
        ran = true;
    }
    return ran;
}

// --- timers ---------------------------------------------------------------

void RunLoop::addTimer(const std::shared_ptr<RunLoopTimer>& timer, const RunLoopMode& mode)
{
    if (!timer)
        return;
    std::lock_guard lock(impl_->mutex);
    if (!impl_->dead && impl_->attach(*this, impl_->timers, timer, mode))
        impl_->wake();
}

void RunLoop::removeTimer(const std::shared_ptr<RunLoopTimer>& timer, const RunLoopMode& mode)
{
    if (!timer)
        return;
    std::shared_ptr<RunLoopTimer> dropped;
    std::lock_guard lock(impl_->mutex);
    dropped = impl_->detach(impl_->timers, *timer, &mode);
}

void RunLoop::timerChanged()
{
    wake();
}

void RunLoop::timerInvalidated(RunLoopTimer& timer)
{
    std::shared_ptr<RunLoopTimer> dropped;
    std::lock_guard lock(impl_->mutex);
    dropped = impl_->detach(impl_->timers, timer, nullptr);
}

bool RunLoop::fireTimers(const RunLoopMode& mode)
{
    const auto now = Clock::now();
    std::vector<std::pair<TimePoint, std::shared_ptr<RunLoopTimer>>> due;
    {
        std::lock_guard lock(impl_->mutex);
        for (const auto& [raw, entry] : impl_->timers) {
            if (!eligible(entry.second, mode))
                continue;
            std::lock_guard timerLock(raw->mutex_);
            if (raw->valid_ && raw->fireDate_ <= now)
                due.emplace_back(raw->fireDate_, entry.first);
        }
    }
    std::stable_sort(due.begin(), due.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    bool fired = false;
    for (const auto& [date, timer] : due) {
        {
            // An earlier timer's block may have taken this one out of the mode.
            std::lock_guard lock(impl_->mutex);
            auto found = impl_->timers.find(timer.get());
            if (found == impl_->timers.end() || !eligible(found->second.second, mode))
                continue;
        }
        fired |= timer->fireIfDue(*this, now);
    }
    return fired;
}

std::optional<RunLoop::TimePoint> RunLoop::nextTimerDeadline(const RunLoopMode& mode) const
{
    std::lock_guard lock(impl_->mutex);
    if (impl_->dead)
        return std::nullopt;
    return impl_->nextDeadline(mode);
}

// --- sources --------------------------------------------------------------

void RunLoop::addSource(const std::shared_ptr<RunLoopSource>& source, const RunLoopMode& mode)
{
    if (!source)
        return;
    std::shared_ptr<RunLoopSource> dropped;
    std::lock_guard lock(impl_->mutex);
    if (impl_->dead || !impl_->attach(*this, impl_->sources, source, mode))
        return;
    if (mode != kCommonRunLoopModes)
        impl_->modeState(mode);
    if (const int error = impl_->resyncEverywhere(source->descriptor())) {
        // Undo, so a descriptor that cannot be watched leaves nothing behind.
        dropped = impl_->detach(impl_->sources, *source, &mode);
        impl_->resyncEverywhere(source->descriptor());
        throw Exception("RunLoopMisuse", "cannot watch descriptor " + std::to_string(source->descriptor()) + ": "
                                             + std::strerror(error));
    }
}

void RunLoop::removeSource(const std::shared_ptr<RunLoopSource>& source, const RunLoopMode& mode)
{
    if (!source)
        return;
    std::shared_ptr<RunLoopSource> dropped;
    std::lock_guard lock(impl_->mutex);
    dropped = impl_->detach(impl_->sources, *source, &mode);
    impl_->resyncEverywhere(source->descriptor());
}

void RunLoop::sourceChanged(RunLoopSource& source)
{
    std::lock_guard lock(impl_->mutex);
    if (impl_->sources.count(&source))
        impl_->resyncEverywhere(source.descriptor());
}

void RunLoop::sourceInvalidated(RunLoopSource& source)
{
    std::shared_ptr<RunLoopSource> dropped;
    std::lock_guard lock(impl_->mutex);
    dropped = impl_->detach(impl_->sources, source, nullptr);
    impl_->resyncEverywhere(source.descriptor());
}

bool RunLoop::dispatchSources(const RunLoopMode& mode, const std::vector<std::pair<int, unsigned>>& ready)
{
    bool handled = false;
    for (const auto& [descriptor, events] : ready) {
        std::vector<std::shared_ptr<RunLoopSource>> targets;
        {
            std::lock_guard lock(impl_->mutex);
            for (const auto& [raw, entry] : impl_->sources)
                if (raw->descriptor() == descriptor && eligible(entry.second, mode))
                    targets.push_back(entry.first);
        }
        for (const auto& source : targets) {
            {
                // An earlier handler may have taken this one out of the mode.
                std::lock_guard lock(impl_->mutex);
                auto found = impl_->sources.find(source.get());
                if (found == impl_->sources.end() || !eligible(found->second.second, mode))
                    continue;
            }
            handled |= source->deliver(events);
        }
    }
    return handled;
}

// --- running --------------------------------------------------------------

namespace {

// Errors and hang-ups are reported for both directions: the handler's read or
// write is what finds out which.
unsigned toEvents(uint32_t epollEvents)
{
    unsigned events = 0;
    if (epollEvents & (EPOLLIN | EPOLLERR | EPOLLHUP))
        events |= RunLoopSource::Readable;
    if (epollEvents & (EPOLLOUT | EPOLLERR | EPOLLHUP))
        events |= RunLoopSource::Writable;
    return events;
}

int timeoutMilliseconds(std::optional<RunLoop::TimePoint> until)
{
    if (!until)
        return -1;
    const auto now = RunLoop::Clock::now();
    if (*until <= now)
        return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*until - now).count();
    return static_cast<int>(std::min<long long>(ms, INT_MAX));
}

}  // namespace

bool RunLoop::pass(const RunLoopMode& mode, std::optional<TimePoint> waitUntil)
{
    int epoll = -1;
    int wakeFd = -1;
    unsigned long long before = 0;
    int timeout = 0;
    {
        std::lock_guard lock(impl_->mutex);
        if (impl_->dead)
            return false;
        // Only what was queued before this pass began runs in it, so a block
        // that queues another never sees it run inside the same pass.
        before = impl_->nextSequence;
        epoll = impl_->modeState(mode).epoll;
        wakeFd = impl_->wakeFd;
        auto until = impl_->nextDeadline(mode);
        if (waitUntil && (!until || *waitUntil < *until))
            until = waitUntil;
        timeout = timeoutMilliseconds(until);
    }

    constexpr int kMaxEvents = 64;
    epoll_event events[kMaxEvents];
    std::vector<std::pair<int, unsigned>> ready;
    auto poll = [&](int wait) {
        ready.clear();
        int count = ::epoll_wait(epoll, events, kMaxEvents, wait);
        if (count < 0)
            count = 0;  // EINTR: treat as a pass with nothing ready
        bool woke = false;
        for (int i = 0; i < count; ++i) {
            const int descriptor = events[i].data.fd;  // copied out of the packed struct
            if (descriptor == wakeFd)
                woke = true;
            else
                ready.emplace_back(descriptor, toEvents(events[i].events));
        }
        if (woke) {
            // Drain first, then clear the flag: a post racing with this sees
            // the flag still set and skips its write, but its block is
            // already queued, so the next pass finds it due and does not wait.
            uint64_t count64 = 0;
            [[maybe_unused]] auto got = ::read(wakeFd, &count64, sizeof count64);
            std::lock_guard lock(impl_->mutex);
            impl_->wakePending = false;
        }
    };
    poll(timeout);

    bool handled = fireTimers(mode);
    handled |= runPerforms(mode, before);
    // Timers and performs may have read or written the very descriptors that
    // were ready; ask again so handlers see fresh readiness.
    if (handled && !ready.empty())
        poll(0);
    handled |= dispatchSources(mode, ready);
    return handled;
}

bool RunLoop::consumeStop()
{
    std::lock_guard lock(impl_->mutex);
    // A loop whose thread has ended cannot wait any more (its descriptors are
    // closed); running it would only spin.
    if (impl_->dead)
        return true;
    const bool stop = impl_->stopRequested;
    impl_->stopRequested = false;
    return stop;
}

void RunLoop::stop()
{
    std::lock_guard lock(impl_->mutex);
    impl_->stopRequested = true;
    impl_->wake();
}

void RunLoop::run()
{
    checkOwner("RunLoop::run");
    auto self = shared_from_this();
    while (!consumeStop())
        pass(kDefaultRunLoopMode, std::nullopt);
}

bool RunLoop::runUntil(std::function<bool()> predicate, TimePoint deadline, const RunLoopMode& mode)
{
    checkOwner("RunLoop::runUntil");
    if (mode == kCommonRunLoopModes)
        throw Exception("RunLoopMisuse", "a run loop runs in one mode, not in the common modes");
    auto self = shared_from_this();
    if (predicate())
        return true;
    while (!consumeStop() && Clock::now() < deadline) {
        pass(mode, deadline);
        if (predicate())
            return true;
    }
    return predicate();
}

void RunLoop::runUntil(TimePoint deadline, const RunLoopMode& mode)
{
    runUntil([] { return false; }, deadline, mode);
}

bool RunLoop::runOnce(const RunLoopMode& mode)
{
    checkOwner("RunLoop::runOnce");
    if (mode == kCommonRunLoopModes)
        throw Exception("RunLoopMisuse", "a run loop runs in one mode, not in the common modes");
    auto self = shared_from_this();
    return pass(mode, Clock::now());
}

int RunLoop::wakeDescriptor(const RunLoopMode& mode)
{
    std::lock_guard lock(impl_->mutex);
    if (impl_->dead)
        return -1;
    return impl_->modeState(mode).epoll;
}

}  // namespace orv
