#include "app/shell/MainRunLoopDriver.h"

#include <algorithm>
#include <chrono>
#include <climits>

#include "platform/Error.h"

namespace orv {

MainRunLoopDriver::MainRunLoopDriver(RunLoop& loop, QObject* parent)
    : QObject(parent), loop_(loop.shared_from_this())
{
    if (!loop_->isCurrent())
        throw Exception("RunLoopMisuse", "a run loop is driven from its own thread only");
    notifier_ = new QSocketNotifier(loop_->wakeDescriptor(kDefaultRunLoopMode), QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, &MainRunLoopDriver::pass);
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    connect(&timer_, &QTimer::timeout, this, &MainRunLoopDriver::pass);
    // Timers added before the driver existed; posts made before it are
    // already signalled on the descriptor.
    rearmTimer();
}

MainRunLoopDriver::~MainRunLoopDriver() = default;

void MainRunLoopDriver::pass()
{
    loop_->runOnce(kDefaultRunLoopMode);
    rearmTimer();
}

void MainRunLoopDriver::rearmTimer()
{
    const auto next = loop_->nextTimerDeadline(kDefaultRunLoopMode);
    if (!next) {
        timer_.stop();
        return;
    }
    // Rounded up: a timer that fires early would only cost an empty pass and
    // another round trip.
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(*next - RunLoop::Clock::now()).count();
    timer_.start(static_cast<int>(std::clamp<long long>(wait, 0, INT_MAX)));
}

}  // namespace orv
