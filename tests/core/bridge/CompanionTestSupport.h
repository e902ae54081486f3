#pragma once
// What the companion-link tests share: an outcome recorder that a finish
// block fills from any thread, and a queue that cancels what it runs before
// it goes away.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>
#include <condition_variable>
#include <mutex>
#include <optional>

#include "core/bridge/companion/OVADBForwardOperation.h"
#include "platform/Error.h"
#include "platform/OperationQueue.h"
#include "support/Wait.h"

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

// True once every companion operation of the program is gone, its socket
// included: a worker thread still closing one must not be busy when the test
// program exits.
template <class Wait>
bool companionOperationsGone(Wait wait)
{
    return wait([] { return OVADBForwardOperation::liveOperations() == 0; });
}

// An operation queue that, when it goes away, cancels what it holds, stops
// the connections of its companion operations, and lets the operations go
// on the test's own thread once no socket callback holds them any more. An
// operation released inside a socket callback would close its socket from a
// worker thread, which must not still be busy when the test program exits.
class CancellingQueue {
public:
    CancellingQueue(std::string name, int maxConcurrent)
        : queue_(std::make_unique<OperationQueue>(std::move(name), maxConcurrent))
    {
    }
    ~CancellingQueue()
    {
        queue_->cancelAllOperations();
        queue_.reset();
        for (const auto& operation : given_) {
            auto forward = std::dynamic_pointer_cast<OVADBForwardOperation>(operation);
            if (auto socket = forward ? forward->socket() : nullptr) {
                socket->synchronouslySetDelegate({});
                socket->disconnect();
            }
        }
        EXPECT_TRUE(eventually([this] {
            return std::all_of(given_.begin(), given_.end(), [](const auto& op) { return op.use_count() == 1; });
        })) << "a socket callback kept an operation";
    }

    void addOperation(OperationRef operation)
    {
        given_.push_back(operation);
        queue_->addOperation(std::move(operation));
    }
    void waitUntilAllOperationsAreFinished() { queue_->waitUntilAllOperationsAreFinished(); }

private:
    std::unique_ptr<OperationQueue> queue_;
    std::vector<OperationRef> given_;
};

}  // namespace orv::test
