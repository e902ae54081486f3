// The framework's "adb": runs Debian's adb so that it answers the way the
// bridge reads it (see AdbInvocation.h for what changes).

#include <dirent.h>
#include <fcntl.h>
#include <linux/close_range.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "core/adbtool/AdbInvocation.h"
#include "core/adbtool/AdbLocator.h"
#include "core/adbtool/Supervisor.h"
#include "core/adbtool/TransferRunner.h"

using namespace orv::adbtool;

namespace {

// Nothing this program was handed beyond descriptors 0-2 may reach adb, nor
// the server adb starts in the background, which lives on: a pipe kept open
// there would never let its reader see the end.
void closeInheritedDescriptorsOnExec()
{
    if (close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0)
        return;
    DIR* folder = opendir("/proc/self/fd");
    if (!folder)
        return;
    int own = dirfd(folder);
    while (dirent* entry = readdir(folder)) {
        int fd = std::atoi(entry->d_name);
        if (fd > 2 && fd != own)
            fcntl(fd, F_SETFD, fcntl(fd, F_GETFD) | FD_CLOEXEC);
    }
    closedir(folder);
}

[[noreturn]] void becomeAdb(const std::string& adb, const std::vector<std::string>& args)
{
    std::vector<std::string> argv{"adb"};
    argv.insert(argv.end(), args.begin(), args.end());
    CStringArray cArgv(std::move(argv));
    execv(adb.c_str(), cArgv.data());
    writeAll(STDERR_FILENO, "adb: cannot run " + adb + "\n");
    std::_Exit(127);
}

}  // namespace

int main(int argc, char** argv)
{
    closeInheritedDescriptorsOnExec();
    const AdbLocation adb = locateAdb(currentAdbSearch());
    if (adb.path.empty()) {
        writeAll(STDERR_FILENO, "adb: " + adb.error + "\n");
        return 127;
    }
    const AdbInvocation invocation = AdbInvocation::parse({argv + 1, argv + argc});
    const Plan plan = planInvocation(invocation);
    switch (plan.how) {
    case Plan::How::Exec:
        becomeAdb(adb.path, plan.argv);
    case Plan::How::ExecMergingStderr:
        dup2(STDOUT_FILENO, STDERR_FILENO);
        becomeAdb(adb.path, plan.argv);
    case Plan::How::SuperviseTransfer: {
        Supervisor supervisor;
        exitLike(runTransfer(adb.path, invocation, plan, supervisor));
    }
    }
    return 1;
}
