#include "platform/Spawn.h"

#include <fcntl.h>
#include <linux/close_range.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>

extern char** environ;

namespace orv {

namespace {

// A vector of C strings as exec wants it, built before the fork.
class CStrings {
public:
    void add(const std::string& text) { strings_.push_back(text); }
    char* const* terminated()
    {
        pointers_.clear();
        for (auto& s : strings_)
            pointers_.push_back(s.data());
        pointers_.push_back(nullptr);
        return pointers_.data();
    }
    size_t size() const { return strings_.size(); }
    const char* at(size_t index) const { return strings_[index].c_str(); }

private:
    std::vector<std::string> strings_;
    std::vector<char*> pointers_;
};

// Everything the child reads, worked out in the parent.
struct Prepared {
    CStrings candidates;  // paths to try in order, as execvp would
    char* const* argv = nullptr;
    char* const* envp = nullptr;
    const char* workingDirectory = nullptr;
    std::array<int, 3> streams{};  // the descriptor each of 0-2 comes from, or kInherit
    sigset_t mask{};
    bool newSession = false;
    bool detached = false;
    int parentDeathSignal = 0;
    pid_t parent = 0;
    int statusFd = -1;   // close-on-exec; an errno is written to it on failure
    int highestFd = 0;   // for closing descriptors where close_range is missing
};

void candidatePaths(const std::string& program, CStrings& out)
{
    if (program.find('/') != std::string::npos) {
        out.add(program);
        return;
    }
    const char* path = std::getenv("PATH");
    std::string folders = path ? path : "/bin:/usr/bin";
    size_t start = 0;
    while (start <= folders.size()) {
        size_t end = folders.find(':', start);
        if (end == std::string::npos)
            end = folders.size();
        std::string folder = folders.substr(start, end - start);
        // An empty entry means the working directory.
        out.add(folder.empty() ? program : folder + "/" + program);
        start = end + 1;
    }
}

[[noreturn]] void failChild(const Prepared& p, int code)
{
    ssize_t ignored;
    do {
        ignored = ::write(p.statusFd, &code, sizeof code);
    } while (ignored < 0 && errno == EINTR);
    ::_exit(127);
}

void markInheritedCloseOnExec(const Prepared& p)
{
    if (::syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC) == 0)
        return;
    for (int fd = 3; fd <= p.highestFd; ++fd)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
}

// From fork to exec: async-signal-safe calls only.
[[noreturn]] void runChild(Prepared& p)
{
    if (p.newSession || p.detached)
        ::setsid();
    if (p.detached) {
        // The go-between learns how the grandchild's exec went and reaps a
        // grandchild that failed, so a failure leaves no orphan to init.
        int inner[2];
        if (::pipe2(inner, O_CLOEXEC) != 0)
            failChild(p, errno);
        pid_t grandchild = ::fork();
        if (grandchild < 0)
            failChild(p, errno);
        if (grandchild > 0) {
            ::close(inner[1]);
            int code = 0;
            ssize_t count;
            do {
                count = ::read(inner[0], &code, sizeof code);
            } while (count < 0 && errno == EINTR);
            if (count != static_cast<ssize_t>(sizeof code))
                ::_exit(0);
            while (::waitpid(grandchild, nullptr, 0) < 0 && errno == EINTR) {
            }
            failChild(p, code);
        }
        ::close(inner[0]);
        p.statusFd = inner[1];
    }
    if (p.parentDeathSignal != 0) {
        ::prctl(PR_SET_PDEATHSIG, p.parentDeathSignal);
        // The parent may have gone before the request was in place.
        if (::getppid() != p.parent)
            ::_exit(127);
    }

    // A source that sits on another standard stream's number would be
    // overwritten before its own turn: move it out of the way first.
    std::array<int, 3> sources = p.streams;
    for (int target = 0; target < 3; ++target) {
        int source = sources[target];
        if (source >= 0 && source < 3 && source != target) {
            int moved = ::fcntl(source, F_DUPFD_CLOEXEC, 3);
            if (moved < 0)
                failChild(p, errno);
            for (int& other : sources)
                if (other == source)
                    other = moved;
        }
    }
    for (int target = 0; target < 3; ++target) {
        int source = sources[target];
        if (source == SpawnRequest::kInherit)
            continue;
        // dup2 onto the same number would keep close-on-exec set.
        int result = source == target ? ::fcntl(target, F_SETFD, 0) : ::dup2(source, target);
        if (result < 0)
            failChild(p, errno);
    }
    // Descriptors other libraries opened without close-on-exec must not
    // reach the child: a daemon it leaves behind would keep them (and the
    // pipes or sockets behind them) open indefinitely.
    markInheritedCloseOnExec(p);

    if (p.workingDirectory && ::chdir(p.workingDirectory) != 0)
        failChild(p, errno);

    // Every signal back to its default, then the mask: the parent had them
    // all blocked over the fork, so no handler of the parent's runs here.
    struct sigaction fallback {};
    fallback.sa_handler = SIG_DFL;
    sigemptyset(&fallback.sa_mask);
    for (int signal = 1; signal < NSIG; ++signal)
        ::sigaction(signal, &fallback, nullptr);  // fails harmlessly for KILL, STOP, internal ones
    ::sigprocmask(SIG_SETMASK, &p.mask, nullptr);

    // As execvp: try each folder of PATH; a found but unusable file is the
    // answer unless a later folder has a usable one.
    int code = ENOENT;
    bool sawDenied = false;
    for (size_t i = 0; i < p.candidates.size(); ++i) {
        ::execve(p.candidates.at(i), p.argv, p.envp);
        code = errno;
        if (code == EACCES)
            sawDenied = true;
        else if (code != ENOENT && code != ENOTDIR)
            break;
    }
    failChild(p, sawDenied && (code == ENOENT || code == ENOTDIR) ? EACCES : code);
}

int openNull(int flags)
{
    return ::open("/dev/null", flags | O_CLOEXEC);
}

}  // namespace

pid_t spawnProcess(const SpawnRequest& request)
{
    if (request.program.empty()) {
        errno = ENOENT;
        return -1;
    }

    Prepared p;
    candidatePaths(request.program, p.candidates);
    CStrings argv;
    if (request.argv.empty())
        argv.add(request.program);
    for (const auto& argument : request.argv)
        argv.add(argument);
    p.argv = argv.terminated();
    CStrings environment;
    if (request.environment) {
        for (const auto& entry : *request.environment)
            environment.add(entry);
        p.envp = environment.terminated();
    } else {
        p.envp = environ;
    }
    p.workingDirectory = request.workingDirectory.empty() ? nullptr : request.workingDirectory.c_str();
    if (request.signalMask)
        p.mask = *request.signalMask;
    else
        sigemptyset(&p.mask);
    p.newSession = request.newSession;
    p.detached = request.detached;
    p.parentDeathSignal = request.parentDeathSignal;
    p.parent = ::getpid();
    rlimit limit{};
    p.highestFd = ::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY
                      ? static_cast<int>(std::min<rlim_t>(limit.rlim_cur, 1 << 20))
                      : 1 << 16;

    std::array<int, 3> nulls{-1, -1, -1};
    auto closeNulls = [&] {
        for (int fd : nulls)
            if (fd >= 0)
                ::close(fd);
    };
    const std::array<int, 3> asked{request.standardInput, request.standardOutput, request.standardError};
    for (int target = 0; target < 3; ++target) {
        p.streams[target] = asked[target];
        if (asked[target] == SpawnRequest::kNull) {
            nulls[target] = openNull(target == 0 ? O_RDONLY : O_WRONLY);
            if (nulls[target] < 0) {
                int code = errno;
                closeNulls();
                errno = code;
                return -1;
            }
            p.streams[target] = nulls[target];
        }
    }

    int status[2];
    if (::pipe2(status, O_CLOEXEC) != 0) {
        int code = errno;
        closeNulls();
        errno = code;
        return -1;
    }
    p.statusFd = status[1];

    // With every signal blocked over the fork, no handler of ours can run in
    // the child before its dispositions are reset.
    sigset_t all;
    sigset_t previous;
    sigfillset(&all);
    ::pthread_sigmask(SIG_SETMASK, &all, &previous);
    pid_t child = ::fork();
    if (child == 0)
        runChild(p);
    int forkError = errno;
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::close(status[1]);
    closeNulls();
    if (child < 0) {
        ::close(status[0]);
        errno = forkError;
        return -1;
    }

    // End of file: the exec closed the pipe. A number: why it failed.
    int code = 0;
    ssize_t count;
    do {
        count = ::read(status[0], &code, sizeof code);
    } while (count < 0 && errno == EINTR);
    ::close(status[0]);
    const bool failed = count == static_cast<ssize_t>(sizeof code);
    // A detached start's intermediate child exits at once; a failed child
    // has exited too. Either is reaped here.
    if (request.detached || failed) {
        while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
        }
    }
    if (failed) {
        errno = code;
        return -1;
    }
    return request.detached ? 0 : child;
}

}  // namespace orv
