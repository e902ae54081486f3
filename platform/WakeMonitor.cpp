#include "platform/WakeMonitor.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "platform/Dispatch.h"
#include "platform/LogindSleepSignal.h"

namespace orv {

namespace {

std::chrono::nanoseconds readClock(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// Both detectors usually report the same resume: the clock at its next
// sample, the signal once the session manager has finished resuming. A report
// from one detector while the other's report is still unpaired and recent is
// the same resume and is dropped; reports of one detector are never merged.
class Coalescer {
public:
    enum Source { clock = 0, signal = 1 };
    explicit Coalescer(std::chrono::steady_clock::duration window) : window_(window) {}

    bool accept(Source source)
    {
        auto now = std::chrono::steady_clock::now();
        auto& other = unpaired_[1 - source];
        if (other && now - *other <= window_) {
            other.reset();
            return false;
        }
        unpaired_[source] = now;
        return true;
    }

private:
    std::chrono::steady_clock::duration window_;
    std::optional<std::chrono::steady_clock::time_point> unpaired_[2];
};

// Losing the signal costs nothing but latency, so it is worth one line, once.
void reportSignalUnavailable(const std::string& reason)
{
    static std::atomic<bool> reported{false};
    if (!reported.exchange(true))
        std::fprintf(stderr, "WakeMonitor: %s; detecting wakes by the clock only\n", reason.c_str());
}

timespec toTimespec(std::chrono::nanoseconds duration)
{
    auto seconds = std::chrono::duration_cast<std::chrono::seconds>(duration);
    return timespec{static_cast<time_t>(seconds.count()), static_cast<long>((duration - seconds).count())};
}

struct Subscriber {
    WakeMonitor::Task call;
    // Threads inside `call` right now; unsubscribe waits for the others.
    std::vector<std::thread::id> running;
};

}  // namespace

struct WakeMonitor::State : std::enable_shared_from_this<State> {
    Options options;
    mutable std::mutex mutex;
    std::condition_variable changed;
    std::map<Token, std::shared_ptr<Subscriber>> subscribers;
    Token nextToken = 1;

    // The watcher runs while its generation is current; stopping bumps the
    // generation, so a stopped watcher can never be revived by accident.
    std::thread watcher;
    uint64_t generation = 0;
    // Written to stop the current watcher out of its poll; the watcher owns
    // and closes it.
    int stopFd = -1;
    // The current watcher has the resume signal subscribed.
    bool listening = false;
    // Stopped watchers not yet joined: one stopped from a call on its own
    // thread cannot join itself, and is joined by the next caller.
    std::vector<std::thread> retired;

    void startWatcher()
    {
        int fd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
        if (fd < 0) {
            std::perror("WakeMonitor: cannot create the watcher's stop descriptor");
            return;
        }
        uint64_t current = ++generation;
        stopFd = fd;
        watcher = std::thread([keep = shared_from_this(), current, fd] { keep->watch(current, fd); });
    }

    // The watcher closes its descriptor only after seeing the new generation
    // under the mutex, so this write cannot reach a closed descriptor.
    void stopWatcher()
    {
        ++generation;
        uint64_t one = 1;
        [[maybe_unused]] auto written = ::write(stopFd, &one, sizeof one);
        stopFd = -1;
        listening = false;
        retired.push_back(std::move(watcher));
    }

    // Stopped watchers the calling thread can join (all but itself).
    std::vector<std::thread> takeRetired()
    {
        std::vector<std::thread> joinable;
        auto self = std::this_thread::get_id();
        for (auto it = retired.begin(); it != retired.end();) {
            if (it->get_id() != self) {
                joinable.push_back(std::move(*it));
                it = retired.erase(it);
            } else {
                ++it;
            }
        }
        return joinable;
    }

    void postWake()
    {
        std::weak_ptr<State> weak = weak_from_this();
        options.executor([weak] {
            if (auto state = weak.lock())
                state->deliver();
        });
    }

    // Each subscriber is looked up just before its call, so one removed by an
    // earlier subscriber of the same wake is not called.
    void deliver()
    {
        std::vector<Token> tokens;
        {
            std::lock_guard lock(mutex);
            for (auto& entry : subscribers)
                tokens.push_back(entry.first);
        }
        auto self = std::this_thread::get_id();
        for (Token token : tokens) {
            std::shared_ptr<Subscriber> subscriber;
            {
                std::lock_guard lock(mutex);
                auto found = subscribers.find(token);
                if (found == subscribers.end())
                    continue;
                subscriber = found->second;
                subscriber->running.push_back(self);
            }
            struct Leave {
                State& state;
                Subscriber& subscriber;
                std::thread::id self;
                ~Leave()
                {
                    {
                        std::lock_guard lock(state.mutex);
                        auto& running = subscriber.running;
                        running.erase(std::find(running.begin(), running.end(), self));
                    }
                    state.changed.notify_all();
                }
            } leave{*this, *subscriber, self};
            subscriber->call();
        }
    }

    // False once this watcher has been stopped.
    bool stillCurrent(uint64_t current, std::optional<bool> nowListening = std::nullopt)
    {
        std::lock_guard lock(mutex);
        if (generation != current)
            return false;
        if (nowListening)
            listening = *nowListening;
        return true;
    }

    void watch(uint64_t current, int stopFd)
    {
        using Clock = std::chrono::steady_clock;
        // The clock sees a resume within one interval of it; the signal may
        // trail the resume by the time the system's resume hooks take.
        Coalescer coalescer(2 * options.interval + std::chrono::seconds(10));
        std::unique_ptr<LogindSleepSignal> signal;
        if (options.sleepSignal) {
            std::string error;
            signal = LogindSleepSignal::open(
                options.busAddress,
                [this, &coalescer] {
                    if (coalescer.accept(Coalescer::signal))
                        postWake();
                },
                error);
            if (!signal)
                reportSignalUnavailable(error);
        }

        auto last = options.sleepClock();
        // The interval is measured on the monotonic clock, which stands still
        // while the machine sleeps, so a wake is seen within one interval of it.
        auto nextSample = Clock::now() + options.interval;
        for (;;) {
            pollfd fds[2] = {{stopFd, POLLIN, 0}, {-1, 0, 0}};
            auto until = nextSample;
            if (signal) {
                fds[1] = {signal->fd(), signal->events(), 0};
                if (auto due = signal->deadline())
                    until = std::min(until, *due);
            }
            auto wait = std::max(Clock::duration::zero(), until - Clock::now());
            timespec timeout = toTimespec(std::chrono::duration_cast<std::chrono::nanoseconds>(wait));
            ::ppoll(fds, signal ? 2 : 1, &timeout, nullptr);
            if (!stillCurrent(current))
                break;

            if (signal) {
                std::string error;
                bool alive = signal->process(error);
                if (!alive) {
                    reportSignalUnavailable(error);
                    signal.reset();
                }
                if (!stillCurrent(current, alive && signal->listening()))
                    break;
            }

            if (Clock::now() >= nextSample) {
                auto now = options.sleepClock();
                bool woke = now - last > options.threshold;
                last = now;
                if (woke && coalescer.accept(Coalescer::clock))
                    postWake();
                nextSample = Clock::now() + options.interval;
            }
        }
        signal.reset();
        ::close(stopFd);
    }
};

WakeMonitor& WakeMonitor::shared()
{
    static WakeMonitor monitor;
    return monitor;
}

std::chrono::nanoseconds WakeMonitor::systemSleepTime()
{
    return readClock(CLOCK_BOOTTIME) - readClock(CLOCK_MONOTONIC);
}

WakeMonitor::WakeMonitor() : WakeMonitor(Options{}) {}

WakeMonitor::WakeMonitor(Options options) : state_(std::make_shared<State>())
{
    if (!options.executor)
        options.executor = [](Task task) { dispatch::Queue::main()->async(std::move(task)); };
    if (!options.sleepClock)
        options.sleepClock = &WakeMonitor::systemSleepTime;
    state_->options = std::move(options);
}

namespace {

void joinAll(std::vector<std::thread>& threads)
{
    for (auto& thread : threads)
        thread.join();
}

}  // namespace

WakeMonitor::~WakeMonitor()
{
    std::vector<std::thread> stopped;
    {
        std::lock_guard lock(state_->mutex);
        state_->subscribers.clear();
        if (state_->watcher.joinable())
            state_->stopWatcher();
        stopped = state_->takeRetired();
        // Only a subscriber running on the watcher itself could destroy the
        // monitor there; that thread returns as soon as the call is over.
        for (auto& self : state_->retired)
            self.detach();
        state_->retired.clear();
    }
    state_->changed.notify_all();
    joinAll(stopped);
}

WakeMonitor::Token WakeMonitor::subscribe(Task subscriber)
{
    State& state = *state_;
    std::vector<std::thread> stopped;
    Token token;
    {
        std::lock_guard lock(state.mutex);
        token = state.nextToken++;
        state.subscribers.emplace(token, std::make_shared<Subscriber>(Subscriber{std::move(subscriber), {}}));
        bool detect = state.options.interval > std::chrono::nanoseconds::zero();
        if (detect && !state.watcher.joinable())
            state.startWatcher();
        stopped = state.takeRetired();
    }
    joinAll(stopped);
    return token;
}

void WakeMonitor::unsubscribe(Token token)
{
    State& state = *state_;
    std::vector<std::thread> stopped;
    {
        std::unique_lock lock(state.mutex);
        auto found = state.subscribers.find(token);
        if (found == state.subscribers.end())
            return;
        auto subscriber = found->second;
        state.subscribers.erase(found);
        auto self = std::this_thread::get_id();
        state.changed.wait(lock, [&] {
            return std::all_of(subscriber->running.begin(), subscriber->running.end(),
                               [&](std::thread::id id) { return id == self; });
        });
        if (state.subscribers.empty() && state.watcher.joinable())
            state.stopWatcher();
        stopped = state.takeRetired();
    }
    state.changed.notify_all();
    joinAll(stopped);
}

void WakeMonitor::simulateWake()
{
    state_->postWake();
}

bool WakeMonitor::isWatching() const
{
    std::lock_guard lock(state_->mutex);
    return state_->watcher.joinable();
}

bool WakeMonitor::isListening() const
{
    std::lock_guard lock(state_->mutex);
    return state_->listening;
}

}  // namespace orv
