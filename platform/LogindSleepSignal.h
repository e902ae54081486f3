#pragma once
// Listens on a message bus for the session manager's PrepareForSleep signal
// and reports each resume (PrepareForSleep(false)). Not thread-safe: one
// thread opens, polls, processes and destroys it.

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

struct sd_bus;
struct sd_bus_slot;

namespace orv {

class LogindSleepSignal {
public:
    using Resumed = std::function<void()>;

    // Connects to `address` (empty: the system bus) and asks for the signal.
    // Returns null with a reason in `error` when no bus can be opened.
    // `resumed` is called from process(), once per resume signal.
    static std::unique_ptr<LogindSleepSignal> open(const std::string& address, Resumed resumed,
                                                   std::string& error);
    ~LogindSleepSignal();
    LogindSleepSignal(const LogindSleepSignal&) = delete;
    LogindSleepSignal& operator=(const LogindSleepSignal&) = delete;

    // What to poll for: the connection's descriptor and poll events, and the
    // monotonic time by which process() must run even without events.
    int fd() const;
    short events() const;
    std::optional<std::chrono::steady_clock::time_point> deadline() const;

    // Handles everything the connection has ready. False once the connection
    // failed or the bus refused the subscription; the object is then useless.
    bool process(std::string& error);

    // True once the bus has accepted the subscription.
    bool listening() const { return listening_; }

private:
    LogindSleepSignal() = default;
    struct Callbacks;

    sd_bus* bus_ = nullptr;
    sd_bus_slot* match_ = nullptr;
    Resumed resumed_;
    bool listening_ = false;
    std::string failure_;
};

}  // namespace orv
