#include "platform/Process.h"

#include "platform/Spawn.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <system_error>
#include <thread>

namespace orv {

namespace {

std::atomic<bool> exitDescriptorDisabled{false};

// How often exits are checked when no process descriptor is available.
constexpr int kExitPollMilliseconds = 20;
// How long the destructor lets a child handle SIGTERM before SIGKILL.
constexpr auto kTerminationGrace = std::chrono::milliseconds(1000);
constexpr size_t kReadSize = 64 * 1024;

void closeQuietly(int& fd)
{
    if (fd >= 0) {
        ::close(fd);
        fd = -1;
    }
}

// A pipe whose ends are close-on-exec; the read end is non-blocking because
// it is only read after poll said so, or while draining.
bool makePipe(int ends[2])
{
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return false;
    ::fcntl(ends[0], F_SETFL, ::fcntl(ends[0], F_GETFL) | O_NONBLOCK);
    return true;
}

Error startError(const std::string& program, int code)
{
    Error error;
    error.domain = "Process";
    error.code = code;
    std::string text = std::generic_category().message(code);
    error.message = "Could not start \"" + program + "\": " + text;
    error.info["program"] = program;
    error.info["errno"] = text;
    return error;
}

}  // namespace

void Process::setExitDescriptorDisabledForTesting(bool disabled)
{
    exitDescriptorDisabled.store(disabled);
}

Process::Process(Options options) : options_(std::move(options)) {}

Process::~Process()
{
    bool running;
    {
        std::lock_guard lock(mutex_);
        running = pid_ != 0 && !reaped_;
    }
    if (running) {
        signalChild(SIGTERM);
        auto deadline = std::chrono::steady_clock::now() + kTerminationGrace;
        bool exited = false;
        while (!(exited = hasExited(false)) && std::chrono::steady_clock::now() < deadline) {
            if (exitFd_ >= 0) {
                pollfd pfd{exitFd_, POLLIN, 0};
                auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now());
                ::poll(&pfd, 1, static_cast<int>(std::max<int64_t>(left.count(), 0)));
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(kExitPollMilliseconds));
            }
        }
        if (!exited)
            signalChild(SIGKILL);
        reap(true);
    }
    closeDescriptors();
}

bool Process::start(Error* error)
{
    if (pid_ != 0)
        throw Exception("ProcessAlreadyStarted", "a Process starts one child only");

    auto fail = [&](int code) {
        closeDescriptors();
        if (error)
            *error = startError(options_.program, code);
        return false;
    };
    if (options_.program.empty())
        return fail(ENOENT);

    int outPipe[2] = {-1, -1};
    int errPipe[2] = {-1, -1};
    auto closePipes = [&] {
        closeQuietly(outPipe[0]);
        closeQuietly(outPipe[1]);
        closeQuietly(errPipe[0]);
        closeQuietly(errPipe[1]);
    };
    if ((options_.captureStdout && !makePipe(outPipe)) ||
        (options_.captureStderr && !makePipe(errPipe))) {
        int code = errno;
        closePipes();
        return fail(code);
    }

    SpawnRequest request;
    request.program = options_.program;
    request.argv.reserve(options_.arguments.size() + 1);
    request.argv.push_back(options_.program);
    request.argv.insert(request.argv.end(), options_.arguments.begin(), options_.arguments.end());
    request.environment = options_.environment;
    request.workingDirectory = options_.workingDirectory;
    if (options_.standardInput == Input::Null)
        request.standardInput = SpawnRequest::kNull;
    if (outPipe[1] >= 0)
        request.standardOutput = outPipe[1];
    if (errPipe[1] >= 0)
        request.standardError = errPipe[1];
    // Whatever this thread blocks or ignores (SIGPIPE, for one), the child
    // starts with default signals, so terminate() always works.
    pid_t child = spawnProcess(request);
    int code = child < 0 ? errno : 0;
    closeQuietly(outPipe[1]);
    closeQuietly(errPipe[1]);
    if (code != 0) {
        closePipes();
        return fail(code);
    }

    {
        std::lock_guard lock(mutex_);
        pid_ = child;
    }
    stdoutFd_ = outPipe[0];
    stderrFd_ = errPipe[0];
    if (!exitDescriptorDisabled.load())
        // -1 on old kernels or under a seccomp filter: exits are then polled for.
        exitFd_ = static_cast<int>(::syscall(SYS_pidfd_open, child, 0));
    return true;
}

Process::Exit Process::run(ChunkHandler onStdoutChunk, ChunkHandler onStderrChunk)
{
    if (pid_ == 0)
        throw Exception("ProcessNotStarted", "run() needs a successful start()");
    if (exit_)
        return *exit_;
    onStdout_ = std::move(onStdoutChunk);
    onStderr_ = std::move(onStderrChunk);

    std::string buffer(kReadSize, '\0');
    // Reads at most `limit` bytes once; closes the descriptor at end of file.
    auto readOnce = [&](int& fd, size_t limit) {
        ssize_t count;
        do {
            count = ::read(fd, buffer.data(), std::min(limit, buffer.size()));
        } while (count < 0 && errno == EINTR);
        if (count > 0) {
            std::string_view chunk(buffer.data(), static_cast<size_t>(count));
            bool isOut = &fd == &stdoutFd_;
            ChunkHandler& handler = isOut ? onStdout_ : onStderr_;
            if (handler)
                handler(chunk);
            else
                (isOut ? stdout_ : stderr_).append(chunk);
        } else if (count == 0 || errno != EAGAIN) {
            closeQuietly(fd);
        }
        return count;
    };

    bool childExited = false;
    while ((stdoutFd_ >= 0 || stderrFd_ >= 0) && !childExited) {
        pollfd fds[3];
        nfds_t count = 0;
        int outIndex = -1;
        int errIndex = -1;
        int exitIndex = -1;
        if (stdoutFd_ >= 0) {
            outIndex = static_cast<int>(count);
            fds[count++] = {stdoutFd_, POLLIN, 0};
        }
        if (stderrFd_ >= 0) {
            errIndex = static_cast<int>(count);
            fds[count++] = {stderrFd_, POLLIN, 0};
        }
        if (exitFd_ >= 0) {
            exitIndex = static_cast<int>(count);
            fds[count++] = {exitFd_, POLLIN, 0};
        }
        int ready = ::poll(fds, count, exitFd_ >= 0 ? -1 : kExitPollMilliseconds);
        if (ready < 0 && errno != EINTR)
            break;
        // One read per stream per pass keeps a chatty stream from starving
        // the other.
        if (outIndex >= 0 && fds[outIndex].revents != 0 && stdoutFd_ >= 0)
            readOnce(stdoutFd_, kReadSize);
        if (errIndex >= 0 && fds[errIndex].revents != 0 && stderrFd_ >= 0)
            readOnce(stderrFd_, kReadSize);
        if (exitIndex >= 0)
            childExited = fds[exitIndex].revents != 0;
        else
            childExited = hasExited(false);
    }

    // The child has exited (or closed both pipes). A descendant may still
    // hold the write ends, so read only what is already in the pipes rather
    // than waiting for end of file.
    if (childExited) {
        for (int* fd : {&stdoutFd_, &stderrFd_}) {
            int pending = 0;
            if (*fd < 0 || ::ioctl(*fd, FIONREAD, &pending) != 0)
                continue;
            // Bounded by what was there now: a descendant that keeps writing
            // must not keep us here.
            auto left = static_cast<size_t>(pending);
            while (left > 0 && *fd >= 0) {
                ssize_t count = readOnce(*fd, left);
                if (count <= 0)
                    break;
                left -= static_cast<size_t>(count);
            }
        }
    }
    reap(true);
    closeQuietly(stdoutFd_);
    closeQuietly(stderrFd_);
    onStdout_ = nullptr;
    onStderr_ = nullptr;
    return *exit_;
}

void Process::terminate()
{
    signalChild(SIGTERM);
}

void Process::kill()
{
    signalChild(SIGKILL);
}

bool Process::isRunning() const
{
    std::lock_guard lock(mutex_);
    return pid_ != 0 && !reaped_;
}

void Process::signalChild(int signal)
{
    std::lock_guard lock(mutex_);
    if (pid_ != 0 && !reaped_)
        ::kill(pid_, signal);
}

// Whether the child has ended, leaving it unreaped so that its pid stays
// reserved until reap() takes it under the lock.
bool Process::hasExited(bool block)
{
    siginfo_t info{};
    int result;
    do {
        result = ::waitid(P_PID, static_cast<id_t>(pid_), &info,
                          WEXITED | WNOWAIT | (block ? 0 : WNOHANG));
    } while (result < 0 && errno == EINTR);
    // ECHILD: someone else reaped it (SIGCHLD ignored); it is gone either way.
    return result < 0 ? errno == ECHILD : info.si_pid != 0;
}

void Process::reap(bool block)
{
    if (exit_)
        return;
    // Wait without the lock so terminate() from another thread stays free;
    // the zombie keeps the pid reserved meanwhile.
    if (!hasExited(block))
        return;
    std::lock_guard lock(mutex_);
    int status = 0;
    pid_t result;
    do {
        result = ::waitpid(pid_, &status, 0);
    } while (result < 0 && errno == EINTR);
    Exit exit;
    if (result == pid_) {
        if (WIFEXITED(status)) {
            exit.exited = true;
            exit.status = WEXITSTATUS(status);
        } else if (WIFSIGNALED(status)) {
            exit.signal = WTERMSIG(status);
        }
    }
    exit_ = exit;
    reaped_ = true;
}

void Process::closeDescriptors()
{
    closeQuietly(stdoutFd_);
    closeQuietly(stderrFd_);
    closeQuietly(exitFd_);
}

}  // namespace orv
