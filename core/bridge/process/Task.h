#pragma once
// Runs a program with pipes to its standard input, output and error, on top
// of callsystem. Configure, launch and close from one thread; status,
// terminate and the waits may be called from any thread.

#include <sys/types.h>

#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/bridge/process/FileHandle.h"

namespace orv {

class Task {
public:
    // No launch path, no arguments, an empty environment, no child.
    Task();
    // Releases the launch as rawClose() does: waits for a running child.
    ~Task();
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;

    const std::string& launchPath() const { return launchPath_; }
    void setLaunchPath(std::string path) { launchPath_ = std::move(path); }
    // Arguments after argument 0, which is the launch path's last component.
    const std::vector<std::string>& arguments() const { return arguments_; }
    void setArguments(std::vector<std::string> arguments) { arguments_ = std::move(arguments); }
    // The child's whole environment; empty gives it callsystem's defaults.
    const std::map<std::string, std::string>& environment() const { return environment_; }
    void setEnvironment(std::map<std::string, std::string> environment) { environment_ = std::move(environment); }

    // Set by each successful launch: standardInput writes to the child,
    // standardOutput and standardError read from it. Each closes its
    // descriptor when the last holder lets go.
    std::shared_ptr<FileHandle> standardInput() const { return standardInput_; }
    std::shared_ptr<FileHandle> standardOutput() const { return standardOutput_; }
    std::shared_ptr<FileHandle> standardError() const { return standardError_; }

    // Releases the previous launch (rawClose), then starts the child. false
    // with errno set when no child could be started; nothing else changes
    // then. A child that cannot run the program exits 127.
    bool launch();

    // CALLSYSTEM_RUNNING while the child runs; its exit code (128 + signal
    // when a signal ended it) once it has ended, also after it was reaped;
    // -1 with errno ECHILD before any launch.
    int status();
    bool isRunning();
    // Returns once the child has ended and been reaped.
    void waitUntilExit();
    // SIGKILL to the child, if it has not been reaped yet.
    void terminate();
    // status(), but throws orv::Exception "NSInvalidArgumentException" while
    // the child runs.
    int terminationStatus();
    // The child's id; 0 before launch and once it has been reaped.
    pid_t processIdentifier() const;

    // rawClose(), returning the task.
    Task& close();
    // After a launch: closes the task's pipe ends, waits for the child and
    // forgets it. Does nothing otherwise.
    void rawClose();
    // Forgets the task's pipe ends (marks them -1) without closing them.
    void clearPipeDescriptors();

private:
    // Keeps the exit code of a child that callsystem just reaped.
    void recordLocked(int result);

    std::string launchPath_;
    std::vector<std::string> arguments_;
    std::map<std::string, std::string> environment_;
    std::shared_ptr<FileHandle> standardInput_;
    std::shared_ptr<FileHandle> standardOutput_;
    std::shared_ptr<FileHandle> standardError_;

    int stdinPipe_[2];
    int stdoutPipe_[2];
    int stderrPipe_[2];
    bool needsRelease_ = false;

    // Guards the id: the child is signalled and reaped only under this lock,
    // so a signal can never reach a process that reused the id.
    mutable std::mutex mutex_;
    pid_t pid_ = 0;
    int exitFd_ = -1;  // process descriptor of the child: readable once it has ended
    int storedStatus_ = -1;
    bool hasStatus_ = false;
};

}  // namespace orv
