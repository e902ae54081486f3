#pragma once
// Runs the "adb" resource program for one phone. A runner is a small value
// (the phone's serial), so queued work can carry one and run commands
// without keeping the device manager alive while a child runs.

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/bridge/adb/ADBProgress.h"
#include "core/bridge/adb/ShellStatus.h"
#include "platform/Process.h"

namespace orv {

// What one adb run gave: its standard output as bytes (nullopt when it could
// not be started), how it ended, and the end of what it said on standard
// error.
struct ADBCommandResult {
    std::optional<std::string> output;
    bool launched = false;
    Process::Exit exit;
    std::string errorText;

    bool succeeded() const { return launched && exit.exited && exit.status == 0; }
    // adb's own explanation of a failure: what it printed on either stream,
    // progress lines left out, trimmed, as UTF-8 text.
    std::string said() const;
};

// What was learnt about a phone's tools while talking to it, shared by the
// runners of one device manager so each question is asked once.
struct PhoneToolNotes {
    std::atomic<bool> lsWithoutEscapes{false};  // its ls refused "-b"
};

class ADBRunner {
public:
    // The running command and its progress; may terminate the command.
    using ProgressBlock = std::function<void(const std::shared_ptr<Process>& task, const ADBProgress& progress)>;
    using LaunchBlock = std::function<void(const std::shared_ptr<Process>& task)>;

    // Empty: no phone known; only server commands ("start-server",
    // "devices") make sense then.
    explicit ADBRunner(std::string serial = {}, std::shared_ptr<PhoneToolNotes> notes = {})
        : serial_(std::move(serial)), notes_(notes ? std::move(notes) : std::make_shared<PhoneToolNotes>())
    {
    }

    const std::string& serial() const { return serial_; }
    PhoneToolNotes& notes() const { return *notes_; }

    // Runs adb with "-s" and the serial (when known) before the arguments
    // and blocks until it exits. Standard error is kept (its end) for
    // reporting; with a progress block it is also parsed for progress lines
    // as they arrive.
    // `onLaunch` gets the child as soon as it runs (another thread may then
    // terminate it). Throws orv::Exception on the main thread, which must
    // never wait on adb.
    ADBCommandResult run(const std::vector<std::string>& arguments, const ProgressBlock& progress = {},
                         const LaunchBlock& onLaunch = {}) const;

    // "shell" and the parts joined by single spaces, as one command line for
    // the phone's shell. Without a serial nothing runs: nullopt.
    std::optional<std::string> shell(const std::vector<std::string>& parts) const;

    // Runs one shell line that reports its own exit status, so a failure is
    // seen whatever adb's shell protocol. Without a status the outcome's
    // output is adb's explanation (see said()).
    ShellOutcome shellWithStatus(const std::string& line) const;

private:
    std::string serial_;
    std::shared_ptr<PhoneToolNotes> notes_;
};

}  // namespace orv
