#pragma once
// The threads behind the dispatch layer: a worker pool for the global queues
// and a reactor that watches descriptors and deadlines. Internal to the
// platform layer.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/Dispatch.h"

namespace orv::dispatch::detail {

using Clock = std::chrono::steady_clock;

// Runs tasks on a fixed set of threads, higher priorities first, FIFO within
// one priority. At exit it runs what is queued before its threads leave.
// A worker that runs out of work first spins briefly (one at a time) before
// it sleeps, so a task posted right after is taken without a wake-up.
class WorkerPool {
public:
    explicit WorkerPool(unsigned threads);
    void submit(Priority priority, Task task);
    // Runs what is queued, then lets the workers leave. True when all left
    // within a grace period; otherwise the stuck ones are detached and still
    // use the pool, which must then stay allocated.
    bool stop();

    // A worker about to wait (in sync) for work that needs another worker
    // says so; while workers wait, the pool adds threads rather than starve.
    void beginBlocking();
    void endBlocking();

private:
    void work();
    bool spinForWork() const;
    void growIfStarvedLocked();

    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> lanes_[4];
    std::atomic<size_t> queued_{0};  // tasks in the lanes; changed under mutex_
    bool spinning_ = false;  // a worker polls queued_ and will take the next task
    unsigned idle_ = 0;
    unsigned waking_ = 0;  // notified workers that have not yet looked for work
    unsigned running_ = 0;  // workers that have not left
    unsigned blocked_ = 0;  // threads waiting in sync
    std::condition_variable left_;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

// One thread blocked in epoll_wait. It owns no handlers: a descriptor event or
// an expired deadline only calls the callback registered for it, which hands
// the work to a queue.
class Reactor {
public:
    using Callback = std::function<void(uint32_t events)>;

    Reactor();
    ~Reactor();

    // Ends delivery: the loop thread leaves and no callback runs after this
    // returns. Watching, unwatching and deadlines stay valid (they just never
    // fire), so work still finishing elsewhere may go on calling them.
    void stop();

    // Watches `fd` (one-shot: the callback runs once, then rewatch() must be
    // called). Returns an id for rewatch/unwatch. A descriptor epoll cannot
    // watch (a regular file, a folder) is always ready.
    uint64_t watch(int fd, uint32_t events, Callback callback);
    void rewatch(uint64_t id);
    // Stops watching. A callback already under way may still finish; the
    // callbacks hold their own state, so that is harmless.
    void unwatch(uint64_t id);

    // Calls `callback` on the reactor thread at `deadline`.
    void at(Clock::time_point deadline, std::function<void()> callback);

private:
    struct Watch {
        int fd;
        uint32_t events;
        // Shared so the loop can hold it past the lock without copying it.
        std::shared_ptr<const Callback> callback;
        bool alwaysReady = false;
    };

    void loop();
    void armTimerLocked();
    // Reports an always-ready watch from the loop, as if epoll had.
    void readySoonLocked(uint64_t id);

    int epoll_ = -1;
    int wakeFd_ = -1;
    int timerFd_ = -1;
    std::mutex mutex_;
    std::unordered_map<uint64_t, Watch> watches_;
    std::multimap<Clock::time_point, std::function<void()>> deadlines_;
    uint64_t nextId_ = 1;
    bool stopping_ = false;
    std::thread thread_;
};

WorkerPool& pool();
Reactor& reactor();

// Runs a block of a global queue on the calling worker, as that queue.
void runAsGlobal(Priority priority, Task& task);

}  // namespace orv::dispatch::detail
