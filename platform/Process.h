#pragma once
// A child process with its standard output and standard error drained
// together on the waiting thread, so neither pipe can fill and stall the child.
// Started through spawnProcess: the child gets descriptors 0-2 and nothing else.

#include <sys/types.h>

#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Error.h"

namespace orv {

class Process {
public:
    using ChunkHandler = std::function<void(std::string_view)>;

    enum class Input { Inherit, Null };

    struct Options {
        // A path, or a bare name looked up in this process's PATH.
        std::string program;
        // Arguments after argv[0], which is `program`.
        std::vector<std::string> arguments;
        // "KEY=VALUE" entries; nullopt inherits this process's environment.
        std::optional<std::vector<std::string>> environment;
        // Empty: this process's working directory.
        std::string workingDirectory;
        bool captureStdout = true;  // false: the child writes to our descriptor 1
        bool captureStderr = true;  // false: the child writes to our descriptor 2
        Input standardInput = Input::Inherit;
    };

    struct Exit {
        bool exited = false;  // ended through exit(); `status` is its code
        int status = 0;
        int signal = 0;  // the signal that ended the child, when !exited
        bool operator==(const Exit&) const = default;
    };

    explicit Process(Options options);
    // A child still running gets SIGTERM, then SIGKILL after a short grace,
    // and is reaped: destroying a Process leaves neither zombie nor orphan.
    ~Process();
    Process(const Process&) = delete;
    Process& operator=(const Process&) = delete;

    // Starts the child once. On failure (missing program, not executable, bad
    // working directory, argument list too long) returns false and fills
    // `error`: domain "Process", code the errno, message naming the program
    // and the system's text for the errno.
    bool start(Error* error = nullptr);

    // Reads both captured pipes as data arrives, handing each chunk to its
    // handler on this thread (a handler may call terminate()), until both
    // reach end of file or the child has exited and what it left in the
    // pipes is read; then reaps the child. A descendant that keeps the pipes
    // open cannot hold this past the child's exit. Chunks given to a handler
    // are not kept (the view lives for the call only); the others accumulate
    // in standardOutput()/standardError().
    // A second call returns the same result. Throws orv::Exception
    // "ProcessNotStarted" when start() has not succeeded.
    Exit run(ChunkHandler onStdoutChunk = {}, ChunkHandler onStderrChunk = {});

    // What was captured without a handler; complete once run() has returned.
    const std::string& standardOutput() const { return stdout_; }
    const std::string& standardError() const { return stderr_; }

    // Signals the child: SIGTERM / SIGKILL. Thread-safe; does nothing before
    // start or once the child has been reaped, so a recycled pid is never hit.
    void terminate();
    void kill();

    // The child's pid; 0 before a successful start.
    pid_t pid() const { return pid_; }
    // True from a successful start until the child is reaped.
    bool isRunning() const;

    // Test hook: when true, exits are noticed by polling instead of through
    // a process descriptor, as on kernels without pidfd_open.
    static void setExitDescriptorDisabledForTesting(bool disabled);

private:
    void signalChild(int signal);
    bool hasExited(bool block);
    void reap(bool block);
    void closeDescriptors();

    Options options_;
    pid_t pid_ = 0;
    int stdoutFd_ = -1;
    int stderrFd_ = -1;
    int exitFd_ = -1;  // pidfd: readable once the child has exited
    std::string stdout_;
    std::string stderr_;
    ChunkHandler onStdout_;
    ChunkHandler onStderr_;
    std::optional<Exit> exit_;

    // Guards the pid against reuse: a signal is sent and the child is reaped
    // only under this lock, so no signal can follow the reap.
    mutable std::mutex mutex_;
    bool reaped_ = false;
};

}  // namespace orv
