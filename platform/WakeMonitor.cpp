#include "platform/WakeMonitor.h"

#include <time.h>

#include <algorithm>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/Dispatch.h"

namespace orv {

namespace {

std::chrono::nanoseconds readClock(clockid_t clock)
{
    timespec now{};
    ::clock_gettime(clock, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
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
    // Stopped watchers not yet joined: one stopped from a call on its own
    // thread cannot join itself, and is joined by the next caller.
    std::vector<std::thread> retired;

    void startWatcher()
    {
        uint64_t current = ++generation;
        watcher = std::thread([keep = shared_from_this(), current] { keep->watch(current); });
    }

    void stopWatcher()
    {
        ++generation;
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

    void watch(uint64_t current)
    {
        auto last = options.sleepClock();
        std::unique_lock lock(mutex);
        for (;;) {
            changed.wait_for(lock, options.interval, [&] { return generation != current; });
            if (generation != current)
                return;
            lock.unlock();
            // The interval is measured on the monotonic clock, which stands
            // still while the machine sleeps, so a wake is seen within one
            // interval of it.
            auto now = options.sleepClock();
            bool woke = now - last > options.threshold;
            last = now;
            if (woke)
                postWake();
            lock.lock();
        }
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

}  // namespace orv
