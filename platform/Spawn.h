#pragma once
// Starts a program as a child process with a clean slate, the one way every
// part of the system starts programs: the child gets descriptors 0-2 as asked
// and no other, every signal at its default action and the given signal mask
// (empty unless asked). All the child needs is prepared before the fork, so
// between fork and exec it makes async-signal-safe calls only. Whether the
// exec itself succeeded is known when spawnProcess returns.

#include <signal.h>
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace orv {

struct SpawnRequest {
    // For the standard streams: the child keeps ours, or reads and writes
    // /dev/null. Any other value is a descriptor of ours the child gets there.
    static constexpr int kInherit = -1;
    static constexpr int kNull = -2;

    // A path, or a bare name looked up in this process's PATH.
    std::string program;
    // The whole argument vector, argv[0] included; empty: just `program`.
    std::vector<std::string> argv;
    // "KEY=VALUE" entries; nullopt inherits this process's environment.
    std::optional<std::vector<std::string>> environment;
    // Empty: this process's working directory.
    std::string workingDirectory;
    int standardInput = kInherit;
    int standardOutput = kInherit;
    int standardError = kInherit;
    // The child's signal mask; nullopt: nothing blocked.
    std::optional<sigset_t> signalMask;
    // The child leads a session of its own (no controlling terminal).
    bool newSession = false;
    // Sent to the child when this thread's process ends; 0: none.
    int parentDeathSignal = 0;
    // Forks twice, so that the program runs in a session of its own and is
    // nobody's child here: there is no pid to reap and none is returned.
    bool detached = false;
};

// Starts the request's program. Returns the child's pid (0 for a detached
// start), or -1 with errno set when the program could not be started:
// missing or not executable, a bad working directory, arguments beyond the
// kernel's limit, no process to spare. A child whose exec failed has been
// reaped by then.
pid_t spawnProcess(const SpawnRequest& request);

}  // namespace orv
