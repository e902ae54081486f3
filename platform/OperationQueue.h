#pragma once
// Operations and operation queues: units of work with an observable
// ready/executing/finished/cancelled life, run by a queue that never has more
// than its maximum number executing at once.
//
// An asynchronous operation's start() returns before its work is done; it
// keeps its queue slot until it sets itself finished. A cancelled operation is
// still started by its queue, and the base start() then finishes it at once
// without running main().
//
// When a slot frees, a queue starts the ready operation with the highest
// queue priority; equal priorities start in the order they were added. An
// operation that is not ready (a dependency unfinished) waits whatever its
// priority; a cancelled one is let through at once so it can finish.

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace orv {

class OperationQueue;
class Operation;
using OperationRef = std::shared_ptr<Operation>;

// The usual queue priority levels. Any value may be used; values compare as
// plain numbers.
struct QueuePriority {
    static constexpr int VeryLow = -8;
    static constexpr int Low = -4;
    static constexpr int Normal = 0;
    static constexpr int High = 4;
    static constexpr int VeryHigh = 8;
};

class Operation : public std::enable_shared_from_this<Operation> {
public:
    enum class Key { Ready, Executing, Finished, Cancelled };
    using Observer = std::function<void(Operation&, Key)>;

    Operation();
    virtual ~Operation();
    Operation(const Operation&) = delete;
    Operation& operator=(const Operation&) = delete;

    // Runs the operation on the calling thread. The base version marks it
    // executing, calls main() unless cancelled, then marks it finished.
    // Asynchronous subclasses override it and call setFinished() later.
    virtual void start();
    virtual void main() {}
    virtual bool isAsynchronous() const { return false; }
    // True once every dependency has finished. Subclasses that add their own
    // conditions should also ask this one, and call readinessChanged() when
    // theirs change.
    virtual bool isReady() const;

    // Marks the operation cancelled; work in progress is the operation's own
    // business (it checks isCancelled()).
    virtual void cancel();

    bool isCancelled() const { return cancelled_.load(std::memory_order_acquire); }

    // The operation whose main() runs on the calling thread, or nullptr.
    // Lets blocking work deep inside main() (a child process) stop on cancel.
    static Operation* current();
    bool isExecuting() const { return executing_.load(std::memory_order_acquire); }
    bool isFinished() const { return finished_.load(std::memory_order_acquire); }

    // Called once, on the thread that finishes the operation, after it is
    // marked finished.
    void setCompletionBlock(std::function<void()> block);

    // Blocks until the operation is finished. Must not be called from the
    // operation itself.
    void waitUntilFinished();

    // Observers are told of every state change, on the thread that made it.
    // Returns a token for removeObserver.
    size_t addObserver(Observer observer);
    void removeObserver(size_t token);

    const std::string& name() const { return name_; }
    void setName(std::string name) { name_ = std::move(name); }

    // QueuePriority::Normal unless set. Set it before adding the operation; a
    // change while it waits in a queue counts from the next free slot on.
    int queuePriority() const { return queuePriority_.load(std::memory_order_relaxed); }
    void setQueuePriority(int priority) { queuePriority_.store(priority, std::memory_order_relaxed); }

    // The operation is not ready until each of its dependencies has finished
    // (a cancelled one finishes too). A dependency is kept alive by this
    // operation. Readiness changes are only reported for operations owned by
    // a shared_ptr.
    void addDependency(OperationRef operation);
    void removeDependency(const OperationRef& operation);
    std::vector<OperationRef> dependencies() const;

protected:
    // Tells observers (and so the queue holding it) that isReady() may have
    // changed.
    void readinessChanged() { notify(Key::Ready); }
    void setExecuting(bool executing);
    // Marks the operation finished (and no longer executing): frees its queue
    // slot, runs the completion block and wakes waiters. Later calls do nothing.
    void setFinished();

private:
    void notify(Key key);

    std::atomic<bool> cancelled_{false};
    std::atomic<bool> executing_{false};
    std::atomic<bool> finished_{false};
    std::atomic<int> queuePriority_{QueuePriority::Normal};
    std::string name_;

    mutable std::mutex mutex_;
    std::condition_variable finishedCondition_;
    std::function<void()> completionBlock_;
    std::vector<std::pair<size_t, Observer>> observers_;
    size_t nextObserverToken_ = 1;
    // Each dependency with the token of the observer that reports its end.
    std::vector<std::pair<OperationRef, size_t>> dependencies_;
};

// Runs one or more blocks, one after another, as a synchronous operation.
class BlockOperation : public Operation {
public:
    static std::shared_ptr<BlockOperation> make(std::function<void()> block);
    void addExecutionBlock(std::function<void()> block);
    void main() override;

private:
    std::mutex blocksMutex_;
    std::vector<std::function<void()>> blocks_;
};

class OperationQueue {
public:
    static constexpr int kDefaultMaxConcurrentOperationCount = -1;

    explicit OperationQueue(std::string name = {},
                            int maxConcurrentOperationCount = kDefaultMaxConcurrentOperationCount);
    // Waits for operations still executing (cancel them first to hurry them)
    // and drops those not yet started, then joins the queue's threads.
    ~OperationQueue();
    OperationQueue(const OperationQueue&) = delete;
    OperationQueue& operator=(const OperationQueue&) = delete;

    void addOperation(OperationRef operation);
    std::shared_ptr<BlockOperation> addOperation(std::function<void()> block);

    // -1 means "as many as the machine suits".
    void setMaxConcurrentOperationCount(int count);
    int maxConcurrentOperationCount() const;

    void cancelAllOperations();
    void waitUntilAllOperationsAreFinished();

    // The operations queued or executing, in queue order.
    std::vector<OperationRef> operations() const;
    size_t operationCount() const;

    const std::string& name() const;

    struct Impl;

private:
    std::shared_ptr<Impl> impl_;
};

}  // namespace orv
