#pragma once
// Runs the built resource program as the bridge does (standard output and
// standard error on pipes) with extra environment entries, and can stop it
// once its standard error shows a given text. A watchdog kills a run that
// outlives its deadline, so a fault fails the test instead of hanging it.

#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/Process.h"

extern char** environ;

namespace orv::adbtool::test {

inline const std::string kResourceProgram = ADBTOOL_RESOURCE;

using Environment = std::map<std::string, std::optional<std::string>>;  // nullopt: removed

struct ResourceResult {
    orv::Process::Exit exit;
    std::string out;
    std::string err;
    bool stopped = false;              // the stop was sent
    std::chrono::milliseconds afterStop{0};  // from the stop to the program's end
    bool timedOut = false;
};

struct RunOptions {
    Environment environment;
    // Sends `stopSignal` once standard error contains this text.
    std::string stopWhenStderrHas;
    int stopSignal = SIGTERM;
    // Runs the program through this shell snippet, with the program as $0.
    std::string shellWrapper;
    std::chrono::seconds deadline{60};
};

inline std::vector<std::string> environmentWith(const Environment& changes)
{
    std::vector<std::string> entries;
    for (char** entry = environ; *entry; ++entry) {
        std::string text = *entry;
        std::string name = text.substr(0, text.find('='));
        if (!changes.count(name))
            entries.push_back(text);
    }
    for (const auto& [name, value] : changes) {
        if (value)
            entries.push_back(name + "=" + *value);
    }
    return entries;
}

inline ResourceResult runResource(const std::vector<std::string>& args, const RunOptions& options = {})
{
    orv::Process::Options spawn;
    if (options.shellWrapper.empty()) {
        spawn.program = kResourceProgram;
        spawn.arguments = args;
    } else {
        spawn.program = "/bin/sh";
        spawn.arguments = {"-c", options.shellWrapper, kResourceProgram};
        spawn.arguments.insert(spawn.arguments.end(), args.begin(), args.end());
    }
    spawn.environment = environmentWith(options.environment);
    spawn.standardInput = orv::Process::Input::Null;
    orv::Process process(spawn);
    ResourceResult result;
    if (!process.start())
        return result;

    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (!ended.wait_for(lock, options.deadline, [&] { return done; })) {
            result.timedOut = true;
            process.kill();
        }
    });
    std::chrono::steady_clock::time_point stoppedAt;
    result.exit = process.run(
        [&](std::string_view chunk) { result.out.append(chunk); },
        [&](std::string_view chunk) {
            result.err.append(chunk);
            if (!result.stopped && !options.stopWhenStderrHas.empty() &&
                result.err.find(options.stopWhenStderrHas) != std::string::npos) {
                result.stopped = true;
                stoppedAt = std::chrono::steady_clock::now();
                if (options.stopSignal == SIGKILL)
                    process.kill();
                else
                    ::kill(process.pid(), options.stopSignal);
            }
        });
    if (result.stopped)
        result.afterStop = std::chrono::duration_cast<std::chrono::milliseconds>(
            std::chrono::steady_clock::now() - stoppedAt);
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    ended.notify_all();
    watchdog.join();
    return result;
}

inline bool endedBySignal(const ResourceResult& r, int signal)
{
    return !r.exit.exited && r.exit.signal == signal;
}

inline bool exitedWith(const ResourceResult& r, int status)
{
    return r.exit.exited && r.exit.status == status;
}

}  // namespace orv::adbtool::test

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace orv::adbtool::test {

// A loopback TCP port nothing listens on right now.
inline int freeLoopbackPort()
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = -1;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

}  // namespace orv::adbtool::test
