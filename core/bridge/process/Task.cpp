#include "core/bridge/process/Task.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "core/bridge/process/callsystem.h"
#include "platform/Error.h"

namespace orv {

namespace {

// The argument and environment lists of one launch, freed when it is done:
// the child has its own copies once callsystem returns.
struct Lists {
    char** argv = nullptr;
    char** env = nullptr;
    ~Lists()
    {
        int saved = errno;
        callsystem_argv_clear(&argv);
        callsystem_env_clear(&env);
        errno = saved;
    }
};

void closeQuietly(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

}  // namespace

Task::Task()
{
    clearPipeDescriptors();
}

Task::~Task()
{
    rawClose();
}

bool Task::launch()
{
    rawClose();

    // Closes what is left of the pipes, keeping the failure's errno.
    auto failed = [this] {
        int saved = errno;
        callsystem_close(stdinPipe_);
        callsystem_close(stdoutPipe_);
        callsystem_close(stderrPipe_);
        errno = saved;
        return false;
    };
    if (callsystem_pipe(stdinPipe_) != 0 || callsystem_pipe(stdoutPipe_) != 0 || callsystem_pipe(stderrPipe_) != 0)
        return failed();
    // The parent's ends belong to their handles from here on, so every
    // failure below closes each descriptor exactly once.
    auto input = std::make_shared<FileHandle>(stdinPipe_[1]);
    auto output = std::make_shared<FileHandle>(stdoutPipe_[0]);
    auto error = std::make_shared<FileHandle>(stderrPipe_[0]);
    stdinPipe_[1] = stdoutPipe_[0] = stderrPipe_[0] = -1;

    Lists lists;
    for (const auto& [name, value] : environment_)
        if (callsystem_setenv(&lists.env, name.c_str(), value.c_str()) != 0)
            return failed();
    for (const auto& argument : arguments_)
        if (callsystem_argv_pushback(&lists.argv, argument.c_str()) != 0)
            return failed();

    pid_t child = 0;
    if (callsystem(launchPath_.c_str(), lists.argv, lists.env, stdinPipe_, stdoutPipe_, stderrPipe_, nullptr, 0,
                   &child) != 0)
        return failed();

    {
        std::lock_guard lock(mutex_);
        pid_ = child;
        // -1 on kernels without process descriptors: waits then use waitid.
        exitFd_ = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
        storedStatus_ = -1;
        hasStatus_ = false;
    }
    needsRelease_ = true;
    standardInput_ = std::move(input);
    standardOutput_ = std::move(output);
    standardError_ = std::move(error);
    clearPipeDescriptors();
    return true;
}

void Task::recordLocked(int result)
{
    if (result >= 0 && result != CALLSYSTEM_RUNNING) {
        storedStatus_ = result;
        hasStatus_ = true;
    }
    if (pid_ == 0)
        closeQuietly(exitFd_);
}

int Task::status()
{
    std::lock_guard lock(mutex_);
    if (pid_ != 0) {
        int result = callsystem_running(&pid_);
        recordLocked(result);
        return result;
    }
    if (hasStatus_)
        return storedStatus_;
    errno = ECHILD;
    return -1;
}

bool Task::isRunning()
{
    return status() == CALLSYSTEM_RUNNING;
}

void Task::waitUntilExit()
{
    pid_t pid;
    int watch = -1;
    {
        std::lock_guard lock(mutex_);
        if (pid_ == 0)
            return;
        pid = pid_;
        // A descriptor of our own: a close() on another thread may release
        // the task's while this one waits.
        if (exitFd_ >= 0)
            watch = ::fcntl(exitFd_, F_DUPFD_CLOEXEC, 0);
    }
    // Wait without the lock, so terminate() from another thread gets
    // through; the unreaped child keeps its id reserved meanwhile.
    if (watch >= 0) {
        pollfd ended{watch, POLLIN, 0};
        while (::poll(&ended, 1, -1) < 0 && errno == EINTR) {
        }
        ::close(watch);
    } else {
        siginfo_t info{};
        while (::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
        }
    }
    std::lock_guard lock(mutex_);
    if (pid_ == pid)
        recordLocked(callsystem_finished(&pid_));
}

void Task::terminate()
{
    std::lock_guard lock(mutex_);
    if (pid_ != 0)
        callsystem_abort(&pid_);
}

int Task::terminationStatus()
{
    int result = status();
    if (result == CALLSYSTEM_RUNNING)
        throw Exception("NSInvalidArgumentException", "terminationStatus requested while task running");
    return result;
}

pid_t Task::processIdentifier() const
{
    std::lock_guard lock(mutex_);
    return pid_;
}

Task& Task::close()
{
    rawClose();
    return *this;
}

void Task::rawClose()
{
    if (!needsRelease_)
        return;
    callsystem_close(stdinPipe_);
    callsystem_close(stdoutPipe_);
    callsystem_close(stderrPipe_);
    waitUntilExit();
    {
        std::lock_guard lock(mutex_);
        pid_ = 0;
        closeQuietly(exitFd_);
    }
    needsRelease_ = false;
}

void Task::clearPipeDescriptors()
{
    for (int* pair : {stdinPipe_, stdoutPipe_, stderrPipe_})
        pair[0] = pair[1] = -1;
}

}  // namespace orv
