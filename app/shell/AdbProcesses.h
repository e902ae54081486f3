#pragma once
// Stray adb processes: after a connection failure that re-plugging should
// cure, every process named "adb" (any capitals) is killed, so the next
// attempt starts a fresh server. The killer is replaceable for tests, which
// must never touch the machine's real adb processes.

#include <functional>
#include <sys/types.h>
#include <vector>

namespace orv::adb_processes {

// Processes whose name is "adb", ignoring case, read from /proc.
std::vector<pid_t> find();
// Kills what find() reports with SIGKILL, or runs the installed replacement.
void killAll();
// An empty function returns to the real killer.
void setKiller(std::function<void()> killer);

}  // namespace orv::adb_processes
