#pragma once
// What the companion-link tests share: an outcome recorder that a finish
// block fills from any thread, and a queue that cancels what it runs before
// it goes away.

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "platform/Error.h"
#include "platform/OperationQueue.h"

namespace orv::test {

// Counts finish-block calls and keeps the last error.
class Outcome {
public:
    void record(std::optional<Error> error)
    {
        std::lock_guard lock(mutex_);
        ++calls_;
        error_ = std::move(error);
        changed_.notify_all();
    }
    // True once the block was called.
    bool wait(std::chrono::milliseconds timeout = std::chrono::seconds(20))
    {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, timeout, [this] { return calls_ > 0; });
    }
    int calls() const
    {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    std::optional<Error> error() const
    {
        std::lock_guard lock(mutex_);
        return error_;
    }
    long code() const
    {
        auto e = error();
        return e ? e->code : -1;
    }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    int calls_ = 0;
    std::optional<Error> error_;
};

// Cancels its operations first, so none keeps it waiting at the end.
class CancellingQueue : public OperationQueue {
public:
    using OperationQueue::OperationQueue;
    ~CancellingQueue() { cancelAllOperations(); }
};

// Waits for a condition another thread makes true.
template <class F>
bool eventually(F condition, std::chrono::milliseconds timeout = std::chrono::seconds(20))
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

}  // namespace orv::test
