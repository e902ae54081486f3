#include "app/shell/CrashHandlers.h"

#include <execinfo.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <iostream>
#include <typeinfo>

namespace orv::crash_handlers {

namespace {

constexpr const char kExceptionBanner[] = "-------Orvane Uncaught Exception Handler--------";
constexpr const char kSignalBanner[] = "--------------Orvane Signal Handler------------";
constexpr int kMaxFrames = 128;

// An alternate stack, so a stack overflow can still be reported.
alignas(16) char alternateStack[64 * 1024];

void writeAll(const char* text, size_t length)
{
    while (length > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, text, length);
        if (written <= 0)
            return;
        text += written;
        length -= static_cast<size_t>(written);
    }
}

void writeText(const char* text) { writeAll(text, std::strlen(text)); }

void writeNumber(int value)
{
    char digits[16];
    size_t at = sizeof digits;
    unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    do {
        digits[--at] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0 && at > 1);
    if (value < 0)
        digits[--at] = '-';
    writeAll(digits + at, sizeof digits - at);
}

void signalHandler(int signalNumber)
{
    writeText("\n\n");
    writeText(kSignalBanner);
    writeText("\nsignal:");
    writeNumber(signalNumber);
    writeText("\ncallStackSymbols:\n");
    void* frames[kMaxFrames];
    const int count = ::backtrace(frames, kMaxFrames);
    ::backtrace_symbols_fd(frames, count, STDOUT_FILENO);
    writeText(kSignalBanner);
    // SA_RESETHAND has restored the default disposition: raising again ends
    // the process with this signal once the handler returns (it is blocked
    // until then). A fault re-runs its instruction and gets the same end.
    ::raise(signalNumber);
}

void terminateHandler()
{
    std::string description = "unknown exception";
    if (auto current = std::current_exception()) {
        try {
            std::rethrow_exception(current);
        } catch (const std::exception& error) {
            description = std::string(typeid(error).name()) + ": " + error.what();
        } catch (...) {
        }
    } else {
        description = "std::terminate called without an exception";
    }
    std::cout << "\n\n" << kExceptionBanner << "\nexception:\n" << description << "\ncallStackSymbols:\n" << std::flush;
    void* frames[kMaxFrames];
    const int count = ::backtrace(frames, kMaxFrames);
    ::backtrace_symbols_fd(frames, count, STDOUT_FILENO);
    std::cout << kExceptionBanner << "\n" << std::endl;
    std::abort();
}

}  // namespace

const std::vector<int>& signalsHandled()
{
    // The Linux signals of the same meaning (kill and stop cannot be caught).
    static const std::vector<int> list = {SIGHUP, SIGINT, SIGQUIT, SIGABRT, SIGTERM, SIGUSR1,
                                          SIGUSR2, SIGSEGV, SIGSYS, SIGTRAP};
    return list;
}

void installUncaughtExceptionHandler() { std::set_terminate(terminateHandler); }

void installUncaughtSignalHandler(const std::vector<int>& leaveAlone)
{
    // backtrace() loads libgcc on first use, which allocates: do it now,
    // not inside a handler.
    void* frame[1];
    ::backtrace(frame, 1);

    stack_t stack{};
    stack.ss_sp = alternateStack;
    stack.ss_size = sizeof alternateStack;
    ::sigaltstack(&stack, nullptr);

    struct sigaction action {};
    action.sa_handler = signalHandler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND | SA_ONSTACK;
    for (int signalNumber : signalsHandled()) {
        if (std::find(leaveAlone.begin(), leaveAlone.end(), signalNumber) == leaveAlone.end())
            ::sigaction(signalNumber, &action, nullptr);
    }
}

void ignoreBrokenPipes() { ::signal(SIGPIPE, SIG_IGN); }

}  // namespace orv::crash_handlers
