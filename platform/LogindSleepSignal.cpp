#include "platform/LogindSleepSignal.h"

#include <systemd/sd-bus.h>

#include <cstring>
#include <limits>

namespace orv {

namespace {

constexpr const char* kSender = "org.freedesktop.login1";
constexpr const char* kPath = "/org/freedesktop/login1";
constexpr const char* kInterface = "org.freedesktop.login1.Manager";
constexpr const char* kMember = "PrepareForSleep";

std::string describe(const char* what, int negativeErrno)
{
    return std::string(what) + ": " + std::strerror(-negativeErrno);
}

}  // namespace

struct LogindSleepSignal::Callbacks {
    static int onSignal(sd_bus_message* message, void* userdata, sd_bus_error*)
    {
        auto& self = *static_cast<LogindSleepSignal*>(userdata);
        // The bus only routes broadcasts from the name's owner to our match;
        // a message addressed to us directly bypasses that check, so only
        // broadcasts count.
        if (sd_bus_message_get_destination(message) != nullptr)
            return 0;
        int sleeping = 0;
        if (sd_bus_message_read(message, "b", &sleeping) < 0)
            return 0;
        if (!sleeping && self.resumed_)
            self.resumed_();
        return 0;
    }

    static int onInstalled(sd_bus_message* reply, void* userdata, sd_bus_error*)
    {
        auto& self = *static_cast<LogindSleepSignal*>(userdata);
        if (const sd_bus_error* error = sd_bus_message_get_error(reply)) {
            self.failure_ = std::string("the bus refused the sleep signal subscription: ") +
                            (error->message ? error->message : error->name ? error->name : "unknown error");
        } else {
            self.listening_ = true;
        }
        return 0;
    }
};

std::unique_ptr<LogindSleepSignal> LogindSleepSignal::open(const std::string& address, Resumed resumed,
                                                           std::string& error)
{
    std::unique_ptr<LogindSleepSignal> signal(new LogindSleepSignal);
    signal->resumed_ = std::move(resumed);
    int result = 0;
    if (address.empty()) {
        result = sd_bus_open_system(&signal->bus_);
    } else {
        result = sd_bus_new(&signal->bus_);
        if (result >= 0)
            result = sd_bus_set_address(signal->bus_, address.c_str());
        if (result >= 0)
            result = sd_bus_set_bus_client(signal->bus_, 1);
        if (result >= 0)
            result = sd_bus_start(signal->bus_);
    }
    if (result < 0) {
        error = describe("cannot open the system bus", result);
        return nullptr;
    }
    // Asynchronous, so a stalled bus never holds up the caller's thread.
    result = sd_bus_match_signal_async(signal->bus_, &signal->match_, kSender, kPath, kInterface, kMember,
                                       &Callbacks::onSignal, &Callbacks::onInstalled, signal.get());
    if (result < 0) {
        error = describe("cannot subscribe to the sleep signal", result);
        return nullptr;
    }
    return signal;
}

LogindSleepSignal::~LogindSleepSignal()
{
    sd_bus_slot_unref(match_);
    // Nothing we would send is worth waiting for, so no flush.
    sd_bus_close_unref(bus_);
}

int LogindSleepSignal::fd() const
{
    return sd_bus_get_fd(bus_);
}

short LogindSleepSignal::events() const
{
    int events = sd_bus_get_events(bus_);
    return events < 0 ? 0 : static_cast<short>(events);
}

std::optional<std::chrono::steady_clock::time_point> LogindSleepSignal::deadline() const
{
    uint64_t usec = 0;
    if (sd_bus_get_timeout(bus_, &usec) < 0 || usec == std::numeric_limits<uint64_t>::max())
        return std::nullopt;
    // Both count CLOCK_MONOTONIC.
    return std::chrono::steady_clock::time_point(std::chrono::microseconds(usec));
}

bool LogindSleepSignal::process(std::string& error)
{
    for (;;) {
        int result = sd_bus_process(bus_, nullptr);
        if (result < 0) {
            error = describe("the system bus connection failed", result);
            return false;
        }
        if (!failure_.empty()) {
            error = failure_;
            return false;
        }
        if (result == 0)
            return true;
    }
}

}  // namespace orv
