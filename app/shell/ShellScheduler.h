#pragma once
// The shell's clock and delays on the main thread, injectable so tests run
// every time rule in virtual time. now() is on the scale of
// OVUSBDevice::createOn(), so device ages and launch times compare directly.

#include <QObject>
#include <functional>

namespace orv {

class ShellScheduler {
public:
    virtual ~ShellScheduler() = default;
    // Monotonic seconds.
    virtual double now() const = 0;
    // Runs `task` on the main thread `seconds` later, unless `context` is
    // destroyed first.
    virtual void after(double seconds, QObject* context, std::function<void()> task) = 0;

    // Qt timers and the monotonic clock of the USB records.
    static ShellScheduler& real();
};

}  // namespace orv
