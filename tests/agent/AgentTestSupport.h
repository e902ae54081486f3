#pragma once
// Waiting with deadlines for what the agent's tests start: a file the
// stand-in application writes, and the exit of a process.

#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "UsbTestSupport.h"

namespace orv::agent::testing {

// True once `file` exists; it must appear by a rename into its folder.
inline bool waitForFile(const std::filesystem::path& file, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    int fd = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (fd < 0) return false;
    inotify_add_watch(fd, file.parent_path().c_str(), IN_MOVED_TO | IN_CREATE | IN_CLOSE_WRITE);
    bool found = std::filesystem::exists(file);
    while (!found) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) > 0) {
            char buffer[4096];
            while (::read(fd, buffer, sizeof buffer) > 0) {
            }
        }
        found = std::filesystem::exists(file);
    }
    ::close(fd);
    return found;
}

// The wait status once `pid` (a child, or an orphan reparented to this
// subreaper) has exited; nullopt after the timeout, when it is killed and
// reaped so it cannot outlive the test.
inline std::optional<int> waitForExit(pid_t pid, std::chrono::milliseconds timeout) {
    int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    bool exited = true;
    if (fd >= 0) {
        pollfd p{fd, POLLIN, 0};
        exited = ::poll(&p, 1, static_cast<int>(timeout.count())) > 0;
        ::close(fd);
    }
    if (!exited) ::kill(pid, SIGKILL);
    int status = 0;
    if (::waitpid(pid, &status, 0) != pid) return std::nullopt;
    if (!exited) return std::nullopt;
    return status;
}

inline std::vector<std::string> readLines(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

inline std::string readAll(const std::filesystem::path& file) {
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// A stand-in for the application: writes its pid and then its arguments, one
// a line, to `record`, renaming it into place so a reader never sees half.
inline std::filesystem::path writeStandIn(const std::filesystem::path& folder, const std::filesystem::path& record) {
    const auto script = folder / "Orvane";
    usb::testing::writeFile(script, "#!/bin/sh\n"
                                    "{ echo $$; for a in \"$@\"; do printf '%s\\n' \"$a\"; done; } > '" +
                                        record.string() + ".tmp'\n"
                                        "mv '" + record.string() + ".tmp' '" + record.string() + "'\n");
    std::filesystem::permissions(script, std::filesystem::perms::owner_all);
    return script;
}

}  // namespace orv::agent::testing
