#pragma once
// Crash reports on standard output. The exception handler reports an
// exception that escapes to std::terminate, then aborts. The signal handler
// reports the fatal signals (hang-up, interrupt, quit, abort, terminate, user
// 1 and 2, segmentation fault, bad system call, trace trap) and then lets the signal end the
// process as it would have without the handler: the disposition goes back to
// the default and the signal is raised again. The handler uses only
// async-signal-safe calls.

#include <vector>

namespace orv::crash_handlers {

// Installs the std::terminate handler.
void installUncaughtExceptionHandler();
// Installs the signal handler for signalsHandled() but those in `leaveAlone`
// (signals the program ends cleanly on). Failures are ignored.
void installUncaughtSignalHandler(const std::vector<int>& leaveAlone = {});
// The signals, in installation order.
const std::vector<int>& signalsHandled();
// A write to a closed socket or pipe returns EPIPE instead of ending the
// process (the phone may close a connection at any time).
void ignoreBrokenPipes();

}  // namespace orv::crash_handlers
