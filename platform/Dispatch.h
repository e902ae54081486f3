#pragma once
// Dispatch queues and event sources: serial queues with labels and target
// queues, global concurrent queues by priority, the main queue (drained by the
// main run loop), queue-specific values, and read/write/timer sources driven by
// one epoll reactor thread.
//
// Threads: a process-wide worker pool runs the global queues and every serial
// queue that targets them; the reactor thread only watches descriptors and
// deadlines and hands events to the sources' queues. Both are joined at exit.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace orv::dispatch {

using Task = std::function<void()>;
using Duration = std::chrono::nanoseconds;

enum class Priority { High, Default, Low, Background };

class Queue;
using QueueRef = std::shared_ptr<Queue>;

class Queue : public std::enable_shared_from_this<Queue> {
public:
    // A serial queue runs one block at a time, in submission order. Its blocks
    // run on its target queue (the default-priority global queue when none).
    static QueueRef makeSerial(std::string label, QueueRef target = nullptr);
    // The process-wide concurrent queue of one priority.
    static QueueRef global(Priority priority = Priority::Default);
    // The serial queue whose blocks run on the main thread's run loop.
    static QueueRef main();

    virtual ~Queue();

    // Queues a block; never runs it inline.
    void async(Task task);
    // Runs a block on this queue and waits for it (on the calling thread when
    // the queue is idle). Throws orv::Exception named
    // "DispatchDeadlock" when the calling thread is already running this queue
    // or a queue of its target chain, where waiting would never end.
    void sync(Task task);
    // Queues a block once the delay has passed.
    void after(Duration delay, Task task);

    // Changes where this serial queue's blocks run; meant for set-up, before
    // blocks are queued. Refuses a target whose chain leads back here.
    void setTarget(QueueRef target);
    QueueRef target() const;

    // Queue-specific values: a key (any address) maps to an unowned value.
    // nullptr removes the key.
    void setSpecific(const void* key, void* value);
    void* specific(const void* key) const;
    // The value for `key` on the queue running the calling code, looked up
    // through that queue's target chain; nullptr outside any queue.
    static void* getSpecific(const void* key);

    // True when the calling thread runs this queue, directly or as the target
    // of the queue that runs the calling code.
    bool isCurrent() const;

    const std::string& label() const;
    bool isSerial() const;

    struct Impl;
    explicit Queue(std::unique_ptr<Impl> impl);

private:
    bool claimIfIdle();
    void releaseClaim();

    std::unique_ptr<Impl> impl_;
    friend struct Impl;
};

class Source;
using SourceRef = std::shared_ptr<Source>;

// An event source delivers its event handler on its queue. It starts
// suspended; resume() starts it. Suspend and resume must balance (resuming a
// source that is not suspended throws). After cancel() no event handler starts;
// the cancel handler runs exactly once, on the queue, after any running event
// handler, and only while the source is not suspended. A source that was
// resumed stays alive until it is cancelled; destroying a suspended one
// cancels it, and its cancel handler still runs once.
class Source : public std::enable_shared_from_this<Source> {
public:
    enum class Kind { Read, Write, Timer };

    // Fires while `fd` has bytes to read (or a connection to accept); data()
    // is the readable-byte estimate, at least 1 for a listening socket. It is
    // taken when the handler runs, so it may be 0 when an earlier handler
    // already read the bytes: 0 alone does not mean end of stream.
    static SourceRef makeRead(int fd, QueueRef queue);
    // Fires while `fd` can take bytes; data() is 1.
    static SourceRef makeWrite(int fd, QueueRef queue);
    // Fires at the time set with setTimer; data() is the number of firings
    // folded into this delivery.
    static SourceRef makeTimer(QueueRef queue);

    ~Source();

    void setEventHandler(Task handler);
    void setCancelHandler(Task handler);

    // (Re-)arms a timer: first firing after `start`, then every `interval`
    // (zero: once). A firing that was due before the re-arm is dropped.
    void setTimer(Duration start, Duration interval = Duration::zero());

    // True while a firing of a timer is still to come: from setTimer until a
    // one-shot timer has fired, or until the source is cancelled. A timer
    // that is not armed costs no wake-up anywhere.
    bool isTimerArmed() const;

    // Meaningful inside the event handler.
    uint64_t data() const;

    void resume();
    void suspend();
    void cancel();
    bool isCancelled() const;

    Kind kind() const;
    int descriptor() const;

    struct Impl;
    explicit Source(std::shared_ptr<Impl> impl);

private:
    std::shared_ptr<Impl> impl_;
};

}  // namespace orv::dispatch
