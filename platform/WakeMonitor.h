#pragma once
// Tells subscribers that the machine woke from sleep. While anyone subscribes,
// a thread samples the time spent suspended (boot-time clock minus monotonic
// clock), where growth beyond a threshold between two samples means a wake,
// and listens for the session manager's resume signal where a bus offers it.
// One resume seen by both gives one wake.

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace orv {

class WakeMonitor {
public:
    using Token = uint64_t;
    using Task = std::function<void()>;
    // Runs a delivery; the default hands it to the main queue.
    using Executor = std::function<void(Task)>;
    // Total time the machine has spent suspended since boot.
    using SleepClock = std::function<std::chrono::nanoseconds()>;

    struct Options {
        Executor executor;      // empty: orv::dispatch::Queue::main()
        SleepClock sleepClock;  // empty: systemSleepTime
        // How often the clocks are compared; zero disables detection (the
        // resume signal too), so only simulateWake() delivers.
        std::chrono::nanoseconds interval = std::chrono::seconds(3);
        std::chrono::nanoseconds threshold = std::chrono::seconds(2);
        // Also listen for the resume signal. Without a bus, or when the bus
        // refuses, only the clock is watched.
        bool sleepSignal = true;
        // The bus to listen on; empty: the system bus.
        std::string busAddress;
    };

    // The process-wide monitor, delivering on the main queue.
    static WakeMonitor& shared();
    static std::chrono::nanoseconds systemSleepTime();

    WakeMonitor();
    explicit WakeMonitor(Options options);
    // Stops and joins the watcher; deliveries still queued on the executor
    // become no-ops.
    ~WakeMonitor();
    WakeMonitor(const WakeMonitor&) = delete;
    WakeMonitor& operator=(const WakeMonitor&) = delete;

    // Each wake calls every subscriber once, through the executor. The first
    // subscriber starts the watcher thread, which also serves the bus.
    Token subscribe(Task subscriber);
    // After this returns the subscriber is not called again, and a call
    // running on another thread has finished (a subscriber may unsubscribe
    // itself or others from inside its call). The last one leaving stops and
    // joins the watcher thread and closes the bus connection.
    void unsubscribe(Token token);

    // Delivers a wake as if one had been detected: for tests, and for an
    // outside detector such as the session manager's sleep signal.
    void simulateWake();

    // True while the watcher thread runs.
    bool isWatching() const;
    // True while the bus has the resume signal subscription in place.
    bool isListening() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

}  // namespace orv
