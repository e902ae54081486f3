#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "agent/Launcher.h"

namespace orv::agent {

bool DetachedLauncher::launch(const std::string& program, const std::vector<std::string>& arguments,
                              std::string* error) {
    // Everything the children need is prepared here: after fork only
    // async-signal-safe calls are allowed.
    std::vector<std::string> strings;
    strings.push_back(program);
    strings.insert(strings.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& s : strings) argv.push_back(s.data());
    argv.push_back(nullptr);
    sigset_t empty;
    sigemptyset(&empty);

    int status[2];
    if (::pipe2(status, O_CLOEXEC) != 0) {
        if (error) *error = std::strerror(errno);
        return false;
    }
    const pid_t child = ::fork();
    if (child < 0) {
        const int code = errno;
        ::close(status[0]);
        ::close(status[1]);
        if (error) *error = std::strerror(code);
        return false;
    }
    if (child == 0) {
        ::close(status[0]);
        ::setsid();
        const pid_t grandchild = ::fork();
        if (grandchild != 0) {
            if (grandchild < 0) {
                const int code = errno;
                (void)!::write(status[1], &code, sizeof code);
            }
            ::_exit(0);
        }
        ::sigprocmask(SIG_SETMASK, &empty, nullptr);
        ::execv(program.c_str(), argv.data());
        const int code = errno;
        (void)!::write(status[1], &code, sizeof code);
        ::_exit(127);
    }
    ::close(status[1]);
    int ignored = 0;
    while (::waitpid(child, &ignored, 0) < 0 && errno == EINTR) {
    }
    // End of file: the exec closed the pipe. A number: why it failed.
    int code = 0;
    ssize_t count = 0;
    do {
        count = ::read(status[0], &code, sizeof code);
    } while (count < 0 && errno == EINTR);
    ::close(status[0]);
    if (count == static_cast<ssize_t>(sizeof code)) {
        if (error) *error = program + ": " + std::strerror(code);
        return false;
    }
    return true;
}

}  // namespace orv::agent
