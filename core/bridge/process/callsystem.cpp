#include "core/bridge/process/callsystem.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

namespace {

// ---- lists ----------------------------------------------------------------

size_t listLength(char** list)
{
    size_t length = 0;
    if (list)
        while (list[length])
            ++length;
    return length;
}

// Room for `extra` more entries and the terminator; the list is unchanged
// on failure, so a caller that allocates first never leaves it half edited.
bool listReserve(char*** list, size_t extra)
{
    size_t length = listLength(*list);
    auto* grown = static_cast<char**>(std::realloc(*list, (length + extra + 1) * sizeof(char*)));
    if (!grown) {
        errno = ENOMEM;
        return false;
    }
    grown[length] = nullptr;
    *list = grown;
    return true;
}

int listInsert(char*** list, bool atFront, const char* text)
{
    if (!list || !text) {
        errno = EINVAL;
        return -1;
    }
    char* copy = strdup(text);
    if (!copy || !listReserve(list, 1)) {
        std::free(copy);
        errno = ENOMEM;
        return -1;
    }
    size_t length = listLength(*list);
    size_t index = atFront ? 0 : length;
    // Moves the entries after `index` and the terminator up one slot.
    std::memmove(*list + index + 1, *list + index, (length - index + 1) * sizeof(char*));
    (*list)[index] = copy;
    return 0;
}

int listClear(char*** list)
{
    if (!list) {
        errno = EINVAL;
        return -1;
    }
    if (*list) {
        for (char** entry = *list; *entry; ++entry)
            std::free(*entry);
        std::free(*list);
        *list = nullptr;
    }
    return 0;
}

// ---- environment lists ------------------------------------------------------

bool validName(const char* name)
{
    return name && *name && !std::strchr(name, '=');
}

bool entryNamed(const char* entry, const char* name, size_t nameLength)
{
    return std::strncmp(entry, name, nameLength) == 0 && entry[nameLength] == '=';
}

// Frees and drops every entry of that name; how many went.
size_t removeNamed(char** list, const char* name)
{
    if (!list)
        return 0;
    size_t nameLength = std::strlen(name);
    size_t kept = 0;
    size_t removed = 0;
    for (size_t i = 0; list[i]; ++i) {
        if (entryNamed(list[i], name, nameLength)) {
            std::free(list[i]);
            ++removed;
        } else {
            list[kept++] = list[i];
        }
    }
    list[kept] = nullptr;
    return removed;
}

constexpr const char* kDefaultVariables[] = {
    "USER", "LOGNAME", "HOME", "LANG", "LC_ALL", "LC_COLLATE", "LC_CTYPE", "LC_MESSAGES",
    "LC_MONETARY", "LC_NUMERIC", "LC_TIME", "PATH", "MANPATH", "INFOPATH", "CDPATH", "DISPLAY",
    "PWD", "SHELL", "TERM", "PAGER", "EDITOR", "VISUAL", "BROWSER", "NLSPATH", "LOCPATH",
    "TMPDIR", "HOSTALIASES", "TZ", "TZDIR", "TERMCAP", "COLUMNS", "LINES", "LD_LIBRARY_PATH",
    "LD_PRELOAD", "POSIXLY_CORRECT"};

// ---- exit codes -------------------------------------------------------------

// A child ended by a signal reports 128 + the signal, as shells do: the raw
// status would read as exit code 0 for SIGKILL, a failure taken for success.
int exitCode(int status)
{
    if (WIFEXITED(status))
        return WEXITSTATUS(status);
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return 128;
}

int checkedPid(pid_t* pid)
{
    if (!pid) {
        errno = EINVAL;
        return -1;
    }
    // 0 and negative ids name process groups or every process to kill() and
    // waitpid(): never a child of ours.
    if (*pid <= 0) {
        errno = ECHILD;
        return -1;
    }
    return 0;
}

int reap(pid_t* pid, int flags)
{
    if (checkedPid(pid) != 0)
        return -1;
    int status = 0;
    pid_t result;
    do {
        result = ::waitpid(*pid, &status, flags);
    } while (result < 0 && errno == EINTR);
    if (result == 0)
        return CALLSYSTEM_RUNNING;
    if (result < 0) {
        // Reaped elsewhere: the id may be reused by now, so it is forgotten
        // rather than left for a later kill.
        if (errno == ECHILD)
            *pid = 0;
        return -1;
    }
    *pid = 0;
    return exitCode(status);
}

// ---- the child --------------------------------------------------------------

constexpr int kInherit = -2;

// Everything the child needs, worked out before fork: between fork and exec
// a threaded process may only make async-signal-safe calls, so the child
// allocates nothing, reads no environment and takes no lock.
struct ChildPlan {
    int source[3] = {kInherit, kInherit, kInherit};  // descriptors for 0, 1, 2
    int pairEnds[6] = {-1, -1, -1, -1, -1, -1};      // closed if close_range is missing
    const char* workingDirectory = nullptr;
    const char* failure = nullptr;  // found while preparing; reported after chdir
    int failureErrno = 0;
    const char* path = nullptr;
    char** argv = nullptr;
    char** envp = nullptr;
    bool setPriority = false;
    int priority = 0;
};

constexpr const char* kStdioFailures[3] = {"illegal stdin", "illegal stdout", "illegal stderr"};

void append(char* buffer, size_t& used, size_t size, const char* text)
{
    while (*text && used + 1 < size)
        buffer[used++] = *text++;
}

// `errorStream`, when not -1, is the caller's descriptor for our standard
// error, put in place first: a failure to set up standard input or output
// would otherwise print on the parent's own standard error.
[[noreturn]] void childFail(const char* what, int code, int errorStream = -1)
{
    if (errorStream >= 0)
        ::dup2(errorStream, 2);
    char line[512];
    size_t used = 0;
    append(line, used, sizeof line, "\nCALLSYSTEM_ERROR: ");
    append(line, used, sizeof line, what);
    append(line, used, sizeof line, " : ");
    char digits[16];
    size_t count = 0;
    unsigned value = code < 0 ? 0u - static_cast<unsigned>(code) : static_cast<unsigned>(code);
    do {
        digits[count++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value && count < sizeof digits);
    if (code < 0)
        append(line, used, sizeof line, "-");
    while (count && used + 1 < sizeof line)
        line[used++] = digits[--count];
    append(line, used, sizeof line, " : ");
    // The untranslated table text: strerror() may load a locale's catalogue.
    const char* text = strerrordesc_np(code);
    append(line, used, sizeof line, text ? text : "Unknown error");
    append(line, used, sizeof line, "\n");
    ssize_t written;
    do {
        written = ::write(2, line, used);
    } while (written < 0 && errno == EINTR);
    ::_exit(127);
}

// The caller's standard error for a failure on an earlier stream, while it
// is not in place yet.
int earlierErrorStream(const int source[3], int failing)
{
    return failing < 2 && source[2] != kInherit && source[2] >= 0 ? source[2] : -1;
}

[[noreturn]] void runChild(const ChildPlan& plan)
{
    // The parent may ignore SIGPIPE or block signals on this thread; the
    // program gets default dispositions and an open mask, and no handler of
    // the parent's can run here before exec.
    struct sigaction defaults {};
    defaults.sa_handler = SIG_DFL;
    for (int signal = 1; signal < NSIG; ++signal)
        ::sigaction(signal, &defaults, nullptr);
    sigset_t none;
    sigemptyset(&none);
    ::sigprocmask(SIG_SETMASK, &none, nullptr);

    int source[3] = {plan.source[0], plan.source[1], plan.source[2]};
    for (int target = 0; target < 3; ++target) {
        if (source[target] == kInherit)
            continue;
        if (source[target] < 0)
            childFail(kStdioFailures[target], EBADF, earlierErrorStream(source, target));
        // A source on a lower standard descriptor would be overwritten by an
        // earlier dup2 (the caller's own stdout passed as stderr, say).
        if (source[target] < 3 && source[target] != target) {
            int moved = ::fcntl(source[target], F_DUPFD_CLOEXEC, 3);
            if (moved < 0)
                childFail(kStdioFailures[target], errno, earlierErrorStream(source, target));
            source[target] = moved;
        }
    }
    for (int target = 0; target < 3; ++target) {
        if (source[target] == kInherit)
            continue;
        int result;
        do {
            result = ::dup2(source[target], target);
        } while (result < 0 && errno == EINTR);
        if (result < 0)
            childFail(kStdioFailures[target], errno, earlierErrorStream(source, target));
        // dup2 onto the same number leaves close-on-exec set.
        ::fcntl(target, F_SETFD, 0);
    }
    // Only 0-2 reach the program: a descriptor another thread opened without
    // close-on-exec would otherwise keep a pipe of ours open in the child.
    if (::syscall(SYS_close_range, 3u, ~0u, 0u) != 0) {
        for (int end : plan.pairEnds)
            if (end > 2)
                ::close(end);
    }

    if (plan.workingDirectory && ::chdir(plan.workingDirectory) != 0)
        childFail("illegal working directory", errno);
    if (plan.failure)
        childFail(plan.failure, plan.failureErrno);
    if (plan.setPriority)
        ::setpriority(PRIO_PROCESS, 0, plan.priority);  // raising needs privilege; run anyway
    ::execve(plan.path, plan.argv, plan.envp);
    childFail("execve failed", errno);
}

// Frees the default environment built for one start, keeping errno.
struct ListGuard {
    char** list = nullptr;
    ~ListGuard()
    {
        int saved = errno;
        listClear(&list);
        errno = saved;
    }
};

// What the child's exec will find: `candidate` as seen after changing to the
// working directory.
std::string asSeenByChild(const std::string& candidate, const char* workingDirectory)
{
    if (!workingDirectory || candidate.empty() || candidate[0] == '/')
        return candidate;
    return std::string(workingDirectory) + "/" + candidate;
}

// 0 when the path names a regular file, else why not.
int regularFileError(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return errno;
    return S_ISREG(info.st_mode) ? 0 : EACCES;
}

// The command's path, or a failure for the child to report.
void resolveCommand(ChildPlan& plan, std::string& resolved, const char* cmd, const char* workingDirectory)
{
    if (std::strchr(cmd, '/')) {
        resolved = cmd;
    } else {
        const char* searchPath = callsystem_getenv(plan.envp, "PATH");
        if (!searchPath) {
            plan.failure = "PATH not set";
            plan.failureErrno = ENOENT;
            return;
        }
        std::string directories = searchPath;
        size_t start = 0;
        while (true) {
            size_t end = directories.find(':', start);
            std::string candidate =
                directories.substr(start, end == std::string::npos ? std::string::npos : end - start) + "/" + cmd;
            if (regularFileError(asSeenByChild(candidate, workingDirectory)) == 0) {
                resolved = candidate;
                break;
            }
            if (end == std::string::npos)
                break;
            start = end + 1;
        }
        if (resolved.empty()) {
            plan.failure = "cmd not executable";
            plan.failureErrno = ENOENT;
            return;
        }
    }
    std::string seen = asSeenByChild(resolved, workingDirectory);
    if (int error = regularFileError(seen)) {
        plan.failure = "cmd not executable";
        plan.failureErrno = error;
        return;
    }
    if (::access(seen.c_str(), R_OK | X_OK) != 0) {
        plan.failure = "cmd not executable";
        plan.failureErrno = errno;
    }
}

// Closes each child end in the parent once, and forgets every end of the
// three pairs that held it: one /dev/null pair may serve several streams.
void closeChildEnds(int* in, int* out, int* err)
{
    int* pairs[3] = {in, out, err};
    const int childEnd[3] = {0, 1, 1};
    for (int i = 0; i < 3; ++i) {
        if (!pairs[i] || pairs[i][childEnd[i]] < 0)
            continue;
        int fd = pairs[i][childEnd[i]];
        ::close(fd);
        for (int* pair : pairs)
            if (pair)
                for (int end = 0; end < 2; ++end)
                    if (pair[end] == fd)
                        pair[end] = -1;
    }
}

int start(const char* cmd, char** argv, char** env, int* in, int* out, int* err, const char* wd, int priority,
          pid_t* pid)
{
    ChildPlan plan;
    plan.workingDirectory = wd;
    int* pairs[3] = {in, out, err};
    const int childEnd[3] = {0, 1, 1};
    for (int i = 0; i < 3; ++i) {
        if (!pairs[i])
            continue;
        plan.source[i] = pairs[i][childEnd[i]];
        plan.pairEnds[2 * i] = pairs[i][0];
        plan.pairEnds[2 * i + 1] = pairs[i][1];
    }

    ListGuard defaults;
    static char* const kEmpty[] = {nullptr};
    plan.envp = env;
    if (!env) {
        if (callsystem_exportdefaults(&defaults.list) != 0) {
            plan.failure = "callsystem_exportdefaults failed";
            plan.failureErrno = errno;
        }
        plan.envp = defaults.list ? defaults.list : const_cast<char**>(kEmpty);
    }

    std::string resolved;
    if (!plan.failure)
        resolveCommand(plan, resolved, cmd, wd);
    plan.path = resolved.c_str();

    const char* slash = std::strrchr(cmd, '/');
    std::string name = slash ? slash + 1 : cmd;
    std::vector<char*> arguments;
    arguments.reserve(listLength(argv) + 2);
    arguments.push_back(name.data());
    for (size_t i = 0; argv && argv[i]; ++i)
        arguments.push_back(argv[i]);
    arguments.push_back(nullptr);
    plan.argv = arguments.data();

    if (priority != 0) {
        errno = 0;
        int current = ::getpriority(PRIO_PROCESS, 0);
        if (errno == 0) {
            plan.setPriority = true;
            plan.priority = priority > 0 ? current - 5 : current + 5;
        }
    }

    pid_t child = ::fork();
    if (child < 0)
        return -1;
    if (child == 0)
        runChild(plan);
    closeChildEnds(in, out, err);
    *pid = child;
    return 0;
}

}  // namespace

extern "C" {

int callsystem(const char* cmd, char** argv, char** env, int in[2], int out[2], int err[2], const char* wd,
               int priority, pid_t* pid)
{
    if (!cmd || !pid) {
        errno = EINVAL;
        return -1;
    }
    if (*pid != 0) {
        errno = EBUSY;
        return -1;
    }
    try {
        return start(cmd, argv, env, in, out, err, wd, priority, pid);
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return -1;
    }
}

int callsystem_running(pid_t* pid)
{
    return reap(pid, WNOHANG);
}

int callsystem_finished(pid_t* pid)
{
    return reap(pid, 0);
}

int callsystem_abort(pid_t* pid)
{
    if (checkedPid(pid) != 0)
        return -1;
    return ::kill(*pid, SIGKILL);
}

int callsystem_pipe(int fds[2])
{
    if (!fds) {
        errno = EINVAL;
        return -1;
    }
    int ends[2];
    if (::pipe2(ends, O_CLOEXEC) != 0)
        return -1;
    fds[0] = ends[0];
    fds[1] = ends[1];
    return 0;
}

int callsystem_null(int fds[2])
{
    if (!fds) {
        errno = EINVAL;
        return -1;
    }
    int fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);
    if (fd < 0)
        return -1;
    fds[0] = fd;
    fds[1] = fd;
    return 0;
}

int callsystem_open(const char* path, int mode, int fds[2])
{
    if (!path || !fds) {
        errno = EINVAL;
        return -1;
    }
    int flags;
    switch (mode & ~CALLSYSTEM_MODE_BINARY) {
    case CALLSYSTEM_MODE_READ: flags = O_RDONLY; break;
    case CALLSYSTEM_MODE_CREATE: flags = O_WRONLY | O_CREAT | O_EXCL; break;
    case CALLSYSTEM_MODE_APPEND: flags = O_WRONLY | O_APPEND; break;
    case CALLSYSTEM_MODE_OVERWRITE: flags = O_WRONLY | O_CREAT | O_TRUNC; break;
    default: errno = EINVAL; return -1;
    }
    int fd = ::open(path, flags | O_CLOEXEC, 0774);
    if (fd < 0)
        return -1;
    bool reading = (flags & O_ACCMODE) == O_RDONLY;
    fds[0] = reading ? fd : -1;
    fds[1] = reading ? -1 : fd;
    return 0;
}

FILE* callsystem_fdopen(int fds[2], int mode)
{
    if (!fds) {
        errno = EINVAL;
        return nullptr;
    }
    switch (mode & ~CALLSYSTEM_MODE_BINARY) {
    case CALLSYSTEM_MODE_READ: return ::fdopen(fds[0], "r");
    case CALLSYSTEM_MODE_WRITE: return ::fdopen(fds[1], "w");
    case CALLSYSTEM_MODE_CREATE:
    case CALLSYSTEM_MODE_OVERWRITE: {
        // "w+" needs a descriptor open for reading too; the write-only ends
        // callsystem_open makes get a write stream rather than none.
        int flags = ::fcntl(fds[1], F_GETFL);
        if (flags < 0)
            return nullptr;
        return ::fdopen(fds[1], (flags & O_ACCMODE) == O_RDWR ? "w+" : "w");
    }
    case CALLSYSTEM_MODE_APPEND: return ::fdopen(fds[1], "a");
    default: errno = EINVAL; return nullptr;
    }
}

int callsystem_close(int fds[2])
{
    if (!fds) {
        errno = EINVAL;
        return -1;
    }
    int result = 0;
    // Linux releases the descriptor even when close() is interrupted.
    if (fds[0] >= 0 && ::close(fds[0]) != 0 && errno != EINTR)
        result = -1;
    if (fds[1] >= 0 && fds[1] != fds[0] && ::close(fds[1]) != 0 && errno != EINTR)
        result = -1;
    fds[0] = -1;
    fds[1] = -1;
    return result;
}

int callsystem_argv_pushback(char*** argv, const char* arg)
{
    return listInsert(argv, false, arg);
}

int callsystem_argv_pushfront(char*** argv, const char* arg)
{
    return listInsert(argv, true, arg);
}

int callsystem_argv_dup(char** argv, char*** copy)
{
    if (!copy) {
        errno = EINVAL;
        return -1;
    }
    if (!argv) {
        *copy = nullptr;
        return 0;
    }
    size_t length = listLength(argv);
    auto* list = static_cast<char**>(std::calloc(length + 1, sizeof(char*)));
    if (!list) {
        errno = ENOMEM;
        return -1;
    }
    for (size_t i = 0; i < length; ++i) {
        list[i] = strdup(argv[i]);
        if (!list[i]) {
            listClear(&list);
            errno = ENOMEM;
            return -1;
        }
    }
    *copy = list;
    return 0;
}

int callsystem_argv_clear(char*** argv)
{
    return listClear(argv);
}

int callsystem_env_clear(char*** env)
{
    return listClear(env);
}

int callsystem_setenv(char*** env, const char* name, const char* value)
{
    if (!env || !validName(name) || !value) {
        errno = EINVAL;
        return -1;
    }
    size_t nameLength = std::strlen(name);
    size_t valueLength = std::strlen(value);
    auto* entry = static_cast<char*>(std::malloc(nameLength + valueLength + 2));
    if (!entry || !listReserve(env, 1)) {
        std::free(entry);
        errno = ENOMEM;
        return -1;
    }
    std::memcpy(entry, name, nameLength);
    entry[nameLength] = '=';
    std::memcpy(entry + nameLength + 1, value, valueLength + 1);
    removeNamed(*env, name);
    size_t length = listLength(*env);
    (*env)[length] = entry;
    (*env)[length + 1] = nullptr;
    return 0;
}

int callsystem_unsetenv(char*** env, const char* name)
{
    if (!env || !validName(name) || removeNamed(*env, name) == 0) {
        errno = EINVAL;
        return -1;
    }
    return 0;
}

char* callsystem_getenv(char** env, const char* name)
{
    if (!env || !validName(name))
        return nullptr;
    size_t nameLength = std::strlen(name);
    for (char** entry = env; *entry; ++entry)
        if (entryNamed(*entry, name, nameLength))
            return *entry + nameLength + 1;
    return nullptr;
}

int callsystem_exportenv(char*** env, const char* name)
{
    const char* value = validName(name) ? std::getenv(name) : nullptr;
    if (!env || !value) {
        errno = EINVAL;
        return -1;
    }
    return callsystem_setenv(env, name, value);
}

int callsystem_exportdefaults(char*** env)
{
    if (!env) {
        errno = EINVAL;
        return -1;
    }
    for (const char* name : kDefaultVariables)
        if (std::getenv(name) && callsystem_exportenv(env, name) != 0)
            return -1;
    return 0;
}

char* callsystem_env_subst(char** env, const char* text)
{
    if (!text) {
        errno = EINVAL;
        return nullptr;
    }
    try {
        std::string result;
        for (const char* at = text; *at;) {
            if (*at != '$') {
                result += *at++;
                continue;
            }
            if (at[1] == '$') {
                result += '$';
                at += 2;
                continue;
            }
            const char* close = at[1] == '{' ? std::strchr(at + 2, '}') : nullptr;
            if (!close) {
                errno = EINVAL;
                return nullptr;
            }
            std::string name(at + 2, close);
            const char* value = callsystem_getenv(env, name.c_str());
            if (!value) {
                errno = EINVAL;
                return nullptr;
            }
            result += value;
            at = close + 1;
        }
        char* copy = strdup(result.c_str());
        if (!copy)
            errno = ENOMEM;
        return copy;
    } catch (const std::bad_alloc&) {
        errno = ENOMEM;
        return nullptr;
    }
}

char* callsystem_path_to_host(const char* path)
{
    if (!path) {
        errno = EINVAL;
        return nullptr;
    }
    char* copy = strdup(path);
    if (!copy)
        errno = ENOMEM;
    return copy;
}

char* callsystem_path_to_unix(const char* path)
{
    return callsystem_path_to_host(path);
}

}  // extern "C"
