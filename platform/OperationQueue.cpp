#include "platform/OperationQueue.h"

#include <algorithm>
#include <deque>
#include <thread>
#include <utility>

namespace orv {

// ---------------------------------------------------------------- Operation

Operation::Operation() = default;

Operation::~Operation()
{
    for (auto& [dependency, token] : dependencies_)
        dependency->removeObserver(token);
}

bool Operation::isReady() const
{
    std::lock_guard lock(mutex_);
    return std::all_of(dependencies_.begin(), dependencies_.end(),
                       [](const auto& entry) { return entry.first->isFinished(); });
}

void Operation::addDependency(OperationRef operation)
{
    if (!operation || operation.get() == this)
        return;
    // The dependency may finish on any thread while this operation is being
    // destroyed, so it reaches us only through a weak reference.
    size_t token = operation->addObserver([weak = weak_from_this()](Operation&, Key key) {
        if (key != Key::Finished)
            return;
        if (auto self = weak.lock())
            self->readinessChanged();
    });
    bool known;
    {
        std::lock_guard lock(mutex_);
        known = std::any_of(dependencies_.begin(), dependencies_.end(),
                            [&operation](const auto& entry) { return entry.first == operation; });
        if (!known)
            dependencies_.emplace_back(operation, token);
    }
    if (known) {
        operation->removeObserver(token);
        return;
    }
    readinessChanged();
}

void Operation::removeDependency(const OperationRef& operation)
{
    size_t token = 0;
    {
        std::lock_guard lock(mutex_);
        auto it = std::find_if(dependencies_.begin(), dependencies_.end(),
                               [&operation](const auto& entry) { return entry.first == operation; });
        if (it == dependencies_.end())
            return;
        token = it->second;
        dependencies_.erase(it);
    }
    operation->removeObserver(token);
    readinessChanged();
}

std::vector<OperationRef> Operation::dependencies() const
{
    std::lock_guard lock(mutex_);
    std::vector<OperationRef> all;
    for (auto& entry : dependencies_)
        all.push_back(entry.first);
    return all;
}

namespace {
thread_local Operation* currentOperation = nullptr;
}

Operation* Operation::current() { return currentOperation; }

void Operation::start()
{
    if (isFinished() || isExecuting())
        return;
    if (isCancelled()) {
        setFinished();
        return;
    }
    setExecuting(true);
    {
        struct Current {
            Operation* outer;
            explicit Current(Operation* op) : outer(std::exchange(currentOperation, op)) {}
            ~Current() { currentOperation = outer; }
        } current(this);
        main();
    }
    setFinished();
}

void Operation::cancel()
{
    if (cancelled_.exchange(true, std::memory_order_acq_rel))
        return;
    notify(Key::Cancelled);
}

void Operation::setExecuting(bool executing)
{
    if (executing_.exchange(executing, std::memory_order_acq_rel) != executing)
        notify(Key::Executing);
}

void Operation::setFinished()
{
    std::function<void()> completion;
    bool wasExecuting;
    {
        std::lock_guard lock(mutex_);
        if (finished_.load(std::memory_order_relaxed))
            return;
        wasExecuting = executing_.exchange(false, std::memory_order_acq_rel);
        finished_.store(true, std::memory_order_release);
        completion = std::move(completionBlock_);
        completionBlock_ = nullptr;
    }
    if (wasExecuting)
        notify(Key::Executing);
    notify(Key::Finished);
    if (completion)
        completion();
    std::lock_guard lock(mutex_);
    finishedCondition_.notify_all();
}

void Operation::setCompletionBlock(std::function<void()> block)
{
    std::lock_guard lock(mutex_);
    completionBlock_ = std::move(block);
}

void Operation::waitUntilFinished()
{
    std::unique_lock lock(mutex_);
    finishedCondition_.wait(lock, [this] { return finished_.load(std::memory_order_acquire); });
}

size_t Operation::addObserver(Observer observer)
{
    std::lock_guard lock(mutex_);
    size_t token = nextObserverToken_++;
    observers_.emplace_back(token, std::move(observer));
    return token;
}

void Operation::removeObserver(size_t token)
{
    std::lock_guard lock(mutex_);
    std::erase_if(observers_, [token](const auto& entry) { return entry.first == token; });
}

void Operation::notify(Key key)
{
    std::vector<std::pair<size_t, Observer>> observers;
    {
        std::lock_guard lock(mutex_);
        observers = observers_;
    }
    for (auto& [token, observer] : observers)
        observer(*this, key);
}

// ----------------------------------------------------------- BlockOperation

std::shared_ptr<BlockOperation> BlockOperation::make(std::function<void()> block)
{
    auto operation = std::make_shared<BlockOperation>();
    operation->addExecutionBlock(std::move(block));
    return operation;
}

void BlockOperation::addExecutionBlock(std::function<void()> block)
{
    std::lock_guard lock(blocksMutex_);
    blocks_.push_back(std::move(block));
}

void BlockOperation::main()
{
    std::vector<std::function<void()>> blocks;
    {
        std::lock_guard lock(blocksMutex_);
        blocks.swap(blocks_);
    }
    for (auto& block : blocks)
        if (block)
            block();
}

// ----------------------------------------------------------- OperationQueue

struct OperationQueue::Impl : std::enable_shared_from_this<OperationQueue::Impl> {
    std::string name;
    int maxConcurrent;

    mutable std::mutex mutex;
    std::condition_variable work;     // an operation may start, or stopping
    std::condition_variable changed;  // an operation finished
    std::deque<OperationRef> pending;
    std::vector<OperationRef> executing;  // started and not finished
    std::vector<std::thread> threads;
    unsigned idleThreads = 0;
    bool stopping = false;

    int limitLocked() const
    {
        if (maxConcurrent > 0)
            return maxConcurrent;
        return static_cast<int>(std::clamp(2 * std::thread::hardware_concurrency(), 8u, 64u));
    }

    // The operation the next free slot goes to: the ready one with the highest
    // priority, the first added among equals. Cancelled and finished ones
    // count as ready, since starting them only lets them finish.
    std::deque<OperationRef>::iterator nextLocked()
    {
        auto best = pending.end();
        int bestPriority = 0;
        for (auto it = pending.begin(); it != pending.end(); ++it) {
            Operation& op = **it;
            int priority = op.queuePriority();
            if (best != pending.end() && priority <= bestPriority)
                continue;
            if (op.isCancelled() || op.isFinished() || op.isReady()) {
                best = it;
                bestPriority = priority;
            }
        }
        return best;
    }

    bool slotFreeLocked() const { return static_cast<int>(executing.size()) < limitLocked(); }

    bool canStartLocked() { return slotFreeLocked() && nextLocked() != pending.end(); }

    // A thread is added only when an operation could start and no thread is
    // idle; threads live as long as the queue.
    void wakeOrSpawnLocked()
    {
        if (!canStartLocked())
            return;
        if (idleThreads > 0) {
            work.notify_one();
            return;
        }
        if (static_cast<int>(threads.size()) < limitLocked())
            threads.emplace_back([self = shared_from_this()] { self->run(); });
    }

    // Follows an operation from the moment it is added: readiness and
    // cancellation may let it start, its end frees its slot.
    void observe(Operation& operation)
    {
        std::weak_ptr<Impl> weak = shared_from_this();
        operation.addObserver([weak](Operation& op, Operation::Key key) {
            auto self = weak.lock();
            if (!self)
                return;
            if (key == Operation::Key::Finished) {
                self->finished(&op);
            } else if (key == Operation::Key::Ready || key == Operation::Key::Cancelled) {
                std::lock_guard lock(self->mutex);
                self->wakeOrSpawnLocked();
            }
        });
    }

    void finished(Operation* operation)
    {
        std::lock_guard lock(mutex);
        auto it = std::find_if(executing.begin(), executing.end(),
                               [operation](const OperationRef& op) { return op.get() == operation; });
        if (it != executing.end())
            executing.erase(it);
        changed.notify_all();
        wakeOrSpawnLocked();
    }

    void run()
    {
        std::unique_lock lock(mutex);
        for (;;) {
            auto next = pending.end();
            while (!stopping && (!slotFreeLocked() || (next = nextLocked()) == pending.end())) {
                ++idleThreads;
                work.wait(lock);
                --idleThreads;
            }
            if (stopping)
                return;
            OperationRef operation = std::move(*next);
            pending.erase(next);
            executing.push_back(operation);
            lock.unlock();
            // An operation finished before it was started (started by hand,
            // for instance) would never report; account for it here.
            if (operation->isFinished())
                finished(operation.get());
            else
                operation->start();
            operation.reset();
            lock.lock();
        }
    }
};

OperationQueue::OperationQueue(std::string name, int maxConcurrentOperationCount)
    : impl_(std::make_shared<Impl>())
{
    impl_->name = std::move(name);
    impl_->maxConcurrent = maxConcurrentOperationCount;
}

OperationQueue::~OperationQueue()
{
    std::vector<std::thread> threads;
    bool ownThread = false;
    {
        std::unique_lock lock(impl_->mutex);
        impl_->pending.clear();
        for (const auto& thread : impl_->threads)
            ownThread = ownThread || thread.get_id() == std::this_thread::get_id();
        // An operation of this queue dropped its last owner: waiting for the
        // running operations would wait for itself. The threads keep the
        // queue's state alive and end once their operations have.
        if (!ownThread)
            impl_->changed.wait(lock, [this] { return impl_->executing.empty(); });
        impl_->stopping = true;
        impl_->work.notify_all();
        threads.swap(impl_->threads);
    }
    for (auto& thread : threads) {
        if (ownThread)
            thread.detach();
        else
            thread.join();
    }
}

void OperationQueue::addOperation(OperationRef operation)
{
    if (!operation)
        return;
    impl_->observe(*operation);
    std::lock_guard lock(impl_->mutex);
    impl_->pending.push_back(std::move(operation));
    impl_->wakeOrSpawnLocked();
}

std::shared_ptr<BlockOperation> OperationQueue::addOperation(std::function<void()> block)
{
    auto operation = BlockOperation::make(std::move(block));
    addOperation(operation);
    return operation;
}

void OperationQueue::setMaxConcurrentOperationCount(int count)
{
    std::lock_guard lock(impl_->mutex);
    impl_->maxConcurrent = count;
    impl_->wakeOrSpawnLocked();
}

int OperationQueue::maxConcurrentOperationCount() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->maxConcurrent;
}

void OperationQueue::cancelAllOperations()
{
    for (auto& operation : operations())
        operation->cancel();
}

void OperationQueue::waitUntilAllOperationsAreFinished()
{
    std::unique_lock lock(impl_->mutex);
    impl_->changed.wait(lock, [this] { return impl_->pending.empty() && impl_->executing.empty(); });
}

std::vector<OperationRef> OperationQueue::operations() const
{
    std::lock_guard lock(impl_->mutex);
    std::vector<OperationRef> all(impl_->executing.begin(), impl_->executing.end());
    all.insert(all.end(), impl_->pending.begin(), impl_->pending.end());
    return all;
}

size_t OperationQueue::operationCount() const
{
    std::lock_guard lock(impl_->mutex);
    return impl_->executing.size() + impl_->pending.size();
}

const std::string& OperationQueue::name() const { return impl_->name; }

}  // namespace orv
