#pragma once
// Waiting in tests: for a condition, with a deadline, never a bare sleep.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace orv::test {

using namespace std::chrono_literals;

// The one waiting loop of the tests: checks `done` until it holds or the
// deadline passes, and between checks lets `serve` run until at most the
// given deadline (serve the main run loop, Qt's events, or only let time
// pass). True when `done` held in time.
template <class Done, class Serve>
bool waitUntil(Done&& done, std::chrono::steady_clock::duration timeout, Serve&& serve)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        serve(deadline);
    }
    return true;
}

// For a condition another thread makes true without telling anyone (a
// descriptor closed, a thread gone, a child reaped): checked every
// millisecond until the deadline.
template <class Done>
bool eventually(Done&& done, std::chrono::steady_clock::duration timeout = 20s)
{
    return waitUntil(std::forward<Done>(done), timeout, [](std::chrono::steady_clock::time_point deadline) {
        std::this_thread::sleep_until(std::min(deadline, std::chrono::steady_clock::now() + 1ms));
    });
}

// A flag or counter another thread bumps; the test waits until it reaches a
// value or the deadline passes.
class Latch {
public:
    explicit Latch(int count = 1) : count_(count) {}
    void countDown()
    {
        std::lock_guard lock(mutex_);
        if (count_ > 0 && --count_ == 0)
            condition_.notify_all();
    }
    bool wait(std::chrono::milliseconds timeout = 10s)
    {
        std::unique_lock lock(mutex_);
        return condition_.wait_for(lock, timeout, [this] { return count_ == 0; });
    }
    int remaining() const
    {
        std::lock_guard lock(mutex_);
        return count_;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable condition_;
    int count_;
};

}  // namespace orv::test
