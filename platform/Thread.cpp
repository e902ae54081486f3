#include "platform/Thread.h"

#include <sys/syscall.h>
#include <unistd.h>

namespace orv {

bool isMainThread()
{
    // The first thread's id equals the process id; this holds however early
    // or late the question is asked, unlike remembering a thread at start-up.
    return static_cast<pid_t>(::syscall(SYS_gettid)) == ::getpid();
}

}  // namespace orv
