#pragma once
// Waiting in tests: for a condition, with a deadline, never a bare sleep.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace orv::test {

using namespace std::chrono_literals;

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
