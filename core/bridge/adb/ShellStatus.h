#pragma once
// The phone's shell hides how a command ended behind adb, which reports
// success for any shell line it could deliver. A line run through these
// helpers prints its own exit status last, so callers can tell a command the
// phone refused from one it did.

#include <optional>
#include <string>

namespace orv {

// The command line followed by a marker that prints its exit status.
std::string shellLineWithStatus(const std::string& line);

struct ShellOutcome {
    int status = -1;     // the line's exit status; -1 when no marker came back
    std::string output;  // what it printed, the marker left out
    bool succeeded() const { return status == 0; }
};

// Reads what a marked line printed; a missing or mangled marker (adb failed,
// the phone went away) gives status -1.
ShellOutcome shellOutcome(const std::optional<std::string>& printed);

}  // namespace orv
