#pragma once
// Waiting in the application's tests: Qt's events (and with them the main run
// loop) are served until a condition holds or a deadline passes. Never a bare
// sleep: the condition is re-checked after every batch of events.

#include <QCoreApplication>
#include <QEventLoop>
#include <chrono>
#include <functional>

#include "tests/support/Wait.h"

namespace orv::test {

// True when `condition` became true before `timeout` ran out.
inline bool qtWaitUntil(const std::function<bool()>& condition,
                        std::chrono::milliseconds timeout = std::chrono::seconds(20))
{
    return waitUntil(condition, timeout, [](std::chrono::steady_clock::time_point) {
        // Sleeps in the event dispatcher until an event arrives or 10 ms pass.
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 10);
    });
}

}  // namespace orv::test
