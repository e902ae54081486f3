#pragma once
// The command line given to the resource program, split into adb's global
// options, the command and its arguments, and what to do with it so that
// Debian's adb answers the way the bridge reads it.

#include <string>
#include <vector>

namespace orv::adbtool {

struct AdbInvocation {
    std::vector<std::string> globals;  // e.g. "-s", SERIAL
    std::string command;               // empty when none was given
    std::vector<std::string> args;     // after the command

    // Splits argv (without the program name). Global options that take a
    // value (-s, -t, -H, -P, -L) keep their value with them.
    static AdbInvocation parse(const std::vector<std::string>& argv);

    std::vector<std::string> toArgv() const;
};

enum class TransferDirection { Pull, Push };

struct Transfer {
    TransferDirection direction;
    // Both paths are known only for the single-source form (one source, one
    // destination, or a pull with the destination left out).
    bool singleSource = false;
    std::string remote;
    std::string local;
};

struct Plan {
    enum class How {
        Exec,                 // become adb with `argv`
        ExecMergingStderr,    // the same, with standard error sent to standard output
        SuperviseTransfer,    // run adb on a terminal and translate its progress
    };
    How how = How::Exec;
    std::vector<std::string> argv;  // adb's arguments (without the program name)
    Transfer transfer{};            // for SuperviseTransfer
};

// Decides how one invocation is run:
// - "shell" has its standard error sent to standard output: the bridge reads
//   only standard output and looks there for what the phone's tools print as
//   errors; adb's exit status (the phone's, where adb carries it) is kept;
// - "install" loses operands after the package file that are no package
//   (the bridge names an install location that current adb would take for a
//   second package), and reports on standard output, where the bridge looks
//   for the refusal text;
// - "pull" and "push" are supervised so that progress reaches standard error;
// - everything else is passed on unchanged.
Plan planInvocation(const AdbInvocation& invocation);

}  // namespace orv::adbtool
