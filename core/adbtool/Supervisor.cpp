#include "core/adbtool/Supervisor.h"

#include "platform/Spawn.h"

#include <poll.h>
#include <sys/signalfd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <optional>

namespace orv::adbtool {

namespace {

using Clock = std::chrono::steady_clock;

// How long a child asked to stop may take before it is killed.
constexpr auto kStopGrace = std::chrono::seconds(3);
// Without a signal descriptor (the system refused one), how often to look
// for the child's exit.
constexpr int kPollWithoutSignalsMs = 50;
// Once the child has exited, how long its output may stay silent before the
// rest is given up: a server that adb started in the background may hold the
// output open for a moment after adb itself has gone.
constexpr int kDrainQuietMs = 1000;

sigset_t supervisedSignals()
{
    sigset_t set;
    sigemptyset(&set);
    for (int signal : {SIGTERM, SIGINT, SIGHUP, SIGCHLD})
        sigaddset(&set, signal);
    return set;
}

}  // namespace

CStringArray::CStringArray(std::vector<std::string> strings) : strings_(std::move(strings))
{
    pointers_.reserve(strings_.size() + 1);
    for (auto& s : strings_)
        pointers_.push_back(s.data());
    pointers_.push_back(nullptr);
}

Supervisor::Supervisor()
{
    sigset_t set = supervisedSignals();
    sigprocmask(SIG_BLOCK, &set, &originalMask_);
    signalFd_ = signalfd(-1, &set, SFD_CLOEXEC | SFD_NONBLOCK);
    // Without the descriptor, signals take their usual course: a stop ends
    // this program and, through the parent-death signal, the child.
    if (signalFd_ < 0)
        sigprocmask(SIG_SETMASK, &originalMask_, nullptr);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGPIPE, &ignore, nullptr);
}

Supervisor::~Supervisor()
{
    if (signalFd_ >= 0)
        close(signalFd_);
}

bool Supervisor::start(const ChildSpec& spec)
{
    childExited_ = false;
    childStatus_ = 0;
    SpawnRequest request;
    request.program = spec.program;
    request.argv = spec.argv->strings();
    request.environment = spec.environment->strings();
    request.standardInput = spec.standardInput;
    request.standardOutput = spec.standardOutput;
    request.standardError = spec.standardError;
    request.signalMask = originalMask_;
    request.parentDeathSignal = SIGTERM;
    pid_t pid = spawnProcess(request);
    if (pid < 0)
        return false;
    child_ = pid;
    if (stopSignal_ != 0)
        stopChild();
    return true;
}

int Supervisor::wait(int outputFd, const OutputHandler& onOutput)
{
    bool outputOpen = outputFd >= 0;
    std::optional<Clock::time_point> killAt;
    bool killed = false;
    std::array<char, 65536> buffer{};
    while (!childExited_ || outputOpen) {
        int timeout = -1;
        if (childExited_) {
            timeout = kDrainQuietMs;
        } else if (stopSignal_ != 0 && !killed) {
            if (!killAt)
                killAt = Clock::now() + kStopGrace;
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*killAt - Clock::now());
            timeout = static_cast<int>(std::max<long long>(0, left.count()));
        }
        if (signalFd_ < 0 && !childExited_)
            timeout = timeout < 0 ? kPollWithoutSignalsMs : std::min(timeout, kPollWithoutSignalsMs);
        std::array<pollfd, 2> fds{{{signalFd_, POLLIN, 0}, {outputOpen ? outputFd : -1, POLLIN, 0}}};
        int ready = poll(fds.data(), fds.size(), timeout);
        if (ready < 0 && errno != EINTR) {
            // Nothing sensible is left to wait with: end the child and reap it.
            stopChild();
            if (!childExited_ && waitpid(child_, &childStatus_, 0) == child_)
                childExited_ = true;
            break;
        }
        if (ready == 0) {
            if (childExited_)
                break;
            if (signalFd_ < 0)
                handleSignals();
            if (killAt && Clock::now() >= *killAt) {
                kill(child_, SIGKILL);
                killed = true;
            }
            continue;
        }
        if (fds[0].revents & POLLIN)
            handleSignals();
        if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            ssize_t n = read(outputFd, buffer.data(), buffer.size());
            if (n > 0) {
                if (onOutput)
                    onOutput({buffer.data(), static_cast<size_t>(n)});
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                // A terminal whose other side is closed reads EIO once empty.
                outputOpen = false;
            }
        }
    }
    return childStatus_;
}

void Supervisor::handleSignals()
{
    signalfd_siginfo info{};
    while (signalFd_ >= 0 && read(signalFd_, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        if (info.ssi_signo != SIGCHLD && stopSignal_ == 0) {
            stopSignal_ = static_cast<int>(info.ssi_signo);
            stopChild();
        }
    }
    // SIGCHLD may have been merged with others: ask rather than count.
    if (!childExited_ && child_ > 0) {
        int status = 0;
        pid_t reaped = waitpid(child_, &status, WNOHANG);
        if (reaped == child_) {
            childExited_ = true;
            childStatus_ = status;
        }
    }
}

void Supervisor::stopChild()
{
    // The child is reaped only on this thread, so its pid cannot have been
    // reused while it is not marked as exited. It gets the signal this
    // program got, and so ends as it would have on its own.
    if (child_ > 0 && !childExited_)
        kill(child_, stopSignal_);
}

void exitLike(int waitStatus)
{
    if (WIFSIGNALED(waitStatus)) {
        int signal = WTERMSIG(waitStatus);
        if (signal == SIGTERM || signal == SIGINT || signal == SIGHUP || signal == SIGKILL ||
            signal == SIGPIPE) {
            struct sigaction fallback {};
            fallback.sa_handler = SIG_DFL;
            sigemptyset(&fallback.sa_mask);
            sigaction(signal, &fallback, nullptr);
            sigset_t set;
            sigemptyset(&set);
            sigaddset(&set, signal);
            sigprocmask(SIG_UNBLOCK, &set, nullptr);
            raise(signal);
        }
        std::_Exit(128 + signal);
    }
    std::exit(WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : 1);
}

void writeAll(int fd, std::string_view data)
{
    while (!data.empty()) {
        ssize_t n = write(fd, data.data(), data.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        data.remove_prefix(static_cast<size_t>(n));
    }
}

}  // namespace orv::adbtool
