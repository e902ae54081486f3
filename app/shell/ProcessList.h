#pragma once
// The processes of the system, read from /proc: id, short command name (the
// kernel's comm, at most 15 characters), real user id and user name where they
// can be formed, and the executable's path where it can be read (only for
// the caller's own processes, as a rule).

#include <sys/types.h>

#include <QString>
#include <functional>
#include <optional>
#include <vector>

namespace orv {

struct ProcessEntry {
    pid_t processID = 0;
    QString processName;
    std::optional<uid_t> userID;
    QString userName;   // empty when the user database does not know the id
    QString executable; // empty when /proc/PID/exe cannot be read
};

// Every process, in /proc order. Processes that end while the list is read
// are left out.
std::vector<ProcessEntry> getBSDProcessList();

// Sends SIGKILL to every process of this user whose executable is `executable`
// (compared after resolving links) and that is not this process. Answers how
// many kills succeeded. An empty path kills nothing.
int killProcessesOfExecutable(const QString& executable);

}  // namespace orv
