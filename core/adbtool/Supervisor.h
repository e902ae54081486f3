#pragma once
// Runs adb as a child of this program and stays in charge of it: a terminate,
// interrupt or hang-up sent to this program is passed on to the child at once
// (followed by SIGKILL after a short grace), and the child gets SIGTERM when
// this program is killed outright. The child gets descriptors 0-2 (ours or
// the ones given) and no other, and default signals.

#include <signal.h>
#include <sys/types.h>

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::adbtool {

// argv or environment as the exec calls want them, built before the fork so
// the child allocates nothing.
class CStringArray {
public:
    explicit CStringArray(std::vector<std::string> strings);
    CStringArray(const CStringArray&) = delete;
    CStringArray& operator=(const CStringArray&) = delete;
    char* const* data() const { return pointers_.data(); }
    const std::vector<std::string>& strings() const { return strings_; }

private:
    std::vector<std::string> strings_;
    std::vector<char*> pointers_;
};

struct ChildSpec {
    std::string program;
    const CStringArray* argv = nullptr;  // including argv[0]
    const CStringArray* environment = nullptr;
    int standardInput = -1;  // -1: inherit ours
    int standardOutput = -1;
    int standardError = -1;
};

class Supervisor {
public:
    using OutputHandler = std::function<void(std::string_view)>;

    // Blocks the stop signals and SIGCHLD (they arrive through a descriptor)
    // and ignores SIGPIPE, so that a reader that went away is an error of the
    // write rather than an end of this program that leaves adb running.
    Supervisor();
    ~Supervisor();
    Supervisor(const Supervisor&) = delete;
    Supervisor& operator=(const Supervisor&) = delete;

    // Starts the child with the signal mask this program was started with.
    // Returns false, with errno set, when it cannot be started.
    bool start(const ChildSpec& spec);

    // Waits for the started child, handing what arrives on `outputFd` (may be
    // -1) to `onOutput` as it comes, and what is left in it once the child has
    // exited. Returns the child's wait status.
    int wait(int outputFd, const OutputHandler& onOutput);

    // The signal that asked this program to stop, or 0.
    int stopSignal() const { return stopSignal_; }

private:
    void handleSignals();
    void stopChild();

    sigset_t originalMask_{};
    int signalFd_ = -1;
    pid_t child_ = -1;
    bool childExited_ = false;
    int childStatus_ = 0;
    int stopSignal_ = 0;
};

// Ends this program the way the child ended: the same exit code, or the same
// signal raised again on this program.
[[noreturn]] void exitLike(int waitStatus);

// Writes all of `data`, giving up silently when the reader has gone.
void writeAll(int fd, std::string_view data);

}  // namespace orv::adbtool
