#pragma once
// A one-shot signal a benchmark waits on: set by the last block of a round,
// reset by the waiter.

#include <condition_variable>
#include <mutex>

namespace orv::bench {

class Done {
public:
    void signal()
    {
        std::lock_guard lock(mutex_);
        done_ = true;
        condition_.notify_all();
    }
    void wait()
    {
        std::unique_lock lock(mutex_);
        condition_.wait(lock, [this] { return done_; });
        done_ = false;
    }

private:
    std::mutex mutex_;
    std::condition_variable condition_;
    bool done_ = false;
};

}  // namespace orv::bench
