#include "core/bridge/process/callsystem.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::Not;

namespace {

constexpr auto kDeadline = 20s;

// A list this test owns; freed however the test ends.
struct List {
    char** items = nullptr;
    List() = default;
    List(std::initializer_list<const char*> entries)
    {
        for (const char* entry : entries)
            EXPECT_EQ(callsystem_argv_pushback(&items, entry), 0);
    }
    ~List() { callsystem_argv_clear(&items); }
    List(const List&) = delete;
    List& operator=(const List&) = delete;
    std::vector<std::string> strings() const
    {
        std::vector<std::string> out;
        for (size_t i = 0; items && items[i]; ++i)
            out.push_back(items[i]);
        return out;
    }
};

// A pair this test owns; closed however the test ends.
struct Pair {
    int fds[2] = {-1, -1};
    ~Pair() { callsystem_close(fds); }
};

// Sets or unsets variables of this process for one test and puts them back.
class ScopedEnvironment {
public:
    ~ScopedEnvironment()
    {
        for (auto& [name, value] : saved_) {
            if (value)
                ::setenv(name.c_str(), value->c_str(), 1);
            else
                ::unsetenv(name.c_str());
        }
    }
    void set(const std::string& name, const char* value)
    {
        if (!saved_.count(name)) {
            const char* old = std::getenv(name.c_str());
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value)
            ::setenv(name.c_str(), value, 1);
        else
            ::unsetenv(name.c_str());
    }

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

class TempDir {
public:
    TempDir()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "orvane-callsystem-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data()) ? pattern : "";
    }
    ~TempDir()
    {
        std::error_code ignored;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& name) const { return path_ + "/" + name; }

    void write(const std::string& name, const std::string& text, mode_t mode = 0644) const
    {
        std::ofstream(*this / name) << text;
        ::chmod((*this / name).c_str(), mode);
    }
    std::string read(const std::string& name) const
    {
        std::ifstream in(*this / name);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

private:
    std::string path_;
};

// Waits until the child has ended, without reaping it; false at the deadline.
bool waitForExit(pid_t pid, std::chrono::milliseconds deadline = kDeadline)
{
    int watch = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (watch < 0)
        return false;
    pollfd ended{watch, POLLIN, 0};
    int ready = ::poll(&ended, 1, static_cast<int>(deadline.count()));
    ::close(watch);
    return ready == 1;
}

// Everything from `fd` until end of file, or what came before the deadline.
std::string readAll(int fd)
{
    std::string text;
    auto deadline = std::chrono::steady_clock::now() + kDeadline;
    char buffer[4096];
    while (true) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd readable{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) != 1) {
            ADD_FAILURE() << "no end of file before the deadline";
            return text;
        }
        ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count <= 0)
            return text;
        text.append(buffer, static_cast<size_t>(count));
    }
}

// A started child, killed and reaped if a test leaves it behind.
struct Child {
    pid_t pid = 0;
    ~Child()
    {
        if (pid > 0) {
            callsystem_abort(&pid);
            callsystem_finished(&pid);
        }
    }
    // The exit code, or -1 (and a failure) when it did not end in time.
    int finish()
    {
        if (!waitForExit(pid)) {
            ADD_FAILURE() << "child " << pid << " still running at the deadline";
            callsystem_abort(&pid);
        }
        return callsystem_finished(&pid);
    }
};

// Starts `/bin/sh -c script` reading from a new pipe, whose writing end
// stays in `in`; the other streams are inherited.
void startShellOnInput(const char* script, Pair& in, Child& child)
{
    List argv{"-c", script};
    ASSERT_EQ(callsystem_pipe(in.fds), 0);
    ASSERT_EQ(callsystem("/bin/sh", argv.items, nullptr, in.fds, nullptr, nullptr, nullptr, 0, &child.pid), 0);
}

struct Result {
    int code = -1;
    std::string out;
    std::string err;
};

struct Launch {
    std::string cmd;
    std::vector<std::string> args;
    std::optional<std::vector<std::string>> env;  // nullopt: the defaults
    const char* wd = nullptr;
    int priority = 0;
};

// Runs to the end with stdout and stderr captured; stdin inherited.
Result run(const Launch& launch)
{
    List argv;
    for (auto& arg : launch.args)
        callsystem_argv_pushback(&argv.items, arg.c_str());
    List env;
    if (launch.env)
        for (auto& entry : *launch.env)
            callsystem_argv_pushback(&env.items, entry.c_str());
    Pair out;
    Pair err;
    EXPECT_EQ(callsystem_pipe(out.fds), 0);
    EXPECT_EQ(callsystem_pipe(err.fds), 0);
    // A given but empty environment is a list with no entries, not NULL.
    char* noEntries[] = {nullptr};
    char** envp = launch.env ? (env.items ? env.items : noEntries) : nullptr;
    Child child;
    Result result;
    if (callsystem(launch.cmd.c_str(), argv.items, envp, nullptr, out.fds, err.fds, launch.wd, launch.priority,
                   &child.pid) != 0) {
        ADD_FAILURE() << "callsystem failed: " << std::strerror(errno);
        return result;
    }
    // Outputs here are small, so reading one pipe to its end cannot stall
    // the child on the other.
    result.out = readAll(out.fds[0]);
    result.err = readAll(err.fds[0]);
    result.code = child.finish();
    return result;
}

bool isCloseOnExec(int fd)
{
    int flags = ::fcntl(fd, F_GETFD);
    return flags >= 0 && (flags & FD_CLOEXEC);
}

bool isOpen(int fd)
{
    return ::fcntl(fd, F_GETFD) >= 0;
}

// ---- lists ----------------------------------------------------------------

TEST(CallsystemListTest, PushesCopiesAndClears)
{
    List list;
    std::string text = "middle";
    ASSERT_EQ(callsystem_argv_pushback(&list.items, text.c_str()), 0);
    text = "changed";  // the list holds its own copy
    ASSERT_EQ(callsystem_argv_pushfront(&list.items, "first"), 0);
    ASSERT_EQ(callsystem_argv_pushback(&list.items, "last"), 0);
    EXPECT_THAT(list.strings(), ElementsAre("first", "middle", "last"));

    errno = 0;
    EXPECT_EQ(callsystem_argv_pushback(&list.items, nullptr), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_THAT(list.strings(), ElementsAre("first", "middle", "last"));

    List copy;
    ASSERT_EQ(callsystem_argv_dup(list.items, &copy.items), 0);
    EXPECT_EQ(copy.strings(), list.strings());
    EXPECT_NE(copy.items, list.items);
    EXPECT_NE(copy.items[0], list.items[0]);

    EXPECT_EQ(callsystem_argv_clear(&list.items), 0);
    EXPECT_EQ(list.items, nullptr);
    EXPECT_THAT(copy.strings(), ElementsAre("first", "middle", "last"));

    // An empty (NULL) list copies to NULL, whatever the target held.
    char** target = copy.items;
    ASSERT_EQ(callsystem_argv_dup(nullptr, &target), 0);
    EXPECT_EQ(target, nullptr);
    EXPECT_EQ(callsystem_argv_clear(&list.items), 0);  // clearing an empty list is fine
}

// ---- environment lists ------------------------------------------------------

TEST(CallsystemEnvironmentTest, SetReplacesUnsetRemovesGetFindsByWholeName)
{
    List env;
    ASSERT_EQ(callsystem_setenv(&env.items, "A", "1"), 0);
    ASSERT_EQ(callsystem_setenv(&env.items, "AB", "x"), 0);
    ASSERT_EQ(callsystem_setenv(&env.items, "A", "3"), 0);
    EXPECT_THAT(env.strings(), ElementsAre("AB=x", "A=3"));

    char* value = callsystem_getenv(env.items, "A");
    ASSERT_NE(value, nullptr);
    EXPECT_STREQ(value, "3");
    EXPECT_EQ(value, env.items[1] + 2);  // points into the list
    EXPECT_EQ(callsystem_getenv(env.items, "ABC"), nullptr);
    EXPECT_EQ(callsystem_getenv(env.items, ""), nullptr);
    EXPECT_EQ(callsystem_getenv(nullptr, "A"), nullptr);

    for (const char* bad : {"", "A=B"}) {
        SCOPED_TRACE(bad);
        errno = 0;
        EXPECT_EQ(callsystem_setenv(&env.items, bad, "v"), -1);
        EXPECT_EQ(errno, EINVAL);
    }
    EXPECT_THAT(env.strings(), ElementsAre("AB=x", "A=3"));

    EXPECT_EQ(callsystem_unsetenv(&env.items, "A"), 0);
    EXPECT_THAT(env.strings(), ElementsAre("AB=x"));
    errno = 0;
    EXPECT_EQ(callsystem_unsetenv(&env.items, "A"), -1);
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(callsystem_env_clear(&env.items), 0);
    EXPECT_EQ(env.items, nullptr);
}

constexpr const char* kDefaultNames[] = {
    "USER", "LOGNAME", "HOME", "LANG", "LC_ALL", "LC_COLLATE", "LC_CTYPE", "LC_MESSAGES",
    "LC_MONETARY", "LC_NUMERIC", "LC_TIME", "PATH", "MANPATH", "INFOPATH", "CDPATH", "DISPLAY",
    "PWD", "SHELL", "TERM", "PAGER", "EDITOR", "VISUAL", "BROWSER", "NLSPATH", "LOCPATH",
    "TMPDIR", "HOSTALIASES", "TZ", "TZDIR", "TERMCAP", "COLUMNS", "LINES", "LD_LIBRARY_PATH",
    "LD_PRELOAD", "POSIXLY_CORRECT"};

TEST(CallsystemEnvironmentTest, ExportsFromThisProcess)
{
    ScopedEnvironment scoped;
    for (const char* name : kDefaultNames)
        scoped.set(name, nullptr);
    scoped.set("TZ", "UTC");
    scoped.set("HOME", "/home/someone");
    scoped.set("USER", "someone");
    scoped.set("ORVANE_NOT_A_DEFAULT", "1");

    List env;
    ASSERT_EQ(callsystem_setenv(&env.items, "HOME", "/old"), 0);
    ASSERT_EQ(callsystem_exportdefaults(&env.items), 0);
    // The defaults' own order; unset ones skipped; HOME replaced.
    EXPECT_THAT(env.strings(), ElementsAre("USER=someone", "HOME=/home/someone", "TZ=UTC"));

    ASSERT_EQ(callsystem_exportenv(&env.items, "ORVANE_NOT_A_DEFAULT"), 0);
    EXPECT_STREQ(callsystem_getenv(env.items, "ORVANE_NOT_A_DEFAULT"), "1");
    errno = 0;
    EXPECT_EQ(callsystem_exportenv(&env.items, "ORVANE_NEVER_SET"), -1);
    EXPECT_EQ(errno, EINVAL);
}

TEST(CallsystemEnvironmentTest, SubstitutesNamesFromTheList)
{
    List env{"HOME=/home/u", "A=1", "B=2", "EMPTY="};
    struct Row {
        const char* text;
        const char* expected;  // nullptr: fails with EINVAL
    };
    const Row rows[] = {
        {"plain", "plain"},
        {"", ""},
        {"a$$b", "a$b"},
        {"$$$$", "$$"},
        {"${HOME}/x", "/home/u/x"},
        {"$${HOME}", "${HOME}"},
        {"${A}${B}-${EMPTY}.", "12-."},
        {"$a", nullptr},
        {"cost: 5$", nullptr},
        {"${MISSING}", nullptr},
        {"${HOME", nullptr},
        {"${}", nullptr},
        {"$ {A}", nullptr},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        errno = 0;
        char* result = callsystem_env_subst(env.items, row.text);
        if (row.expected) {
            ASSERT_NE(result, nullptr);
            EXPECT_STREQ(result, row.expected);
        } else {
            EXPECT_EQ(result, nullptr);
            EXPECT_EQ(errno, EINVAL);
        }
        std::free(result);
    }
    char* unchanged = callsystem_env_subst(nullptr, "no names");
    EXPECT_STREQ(unchanged, "no names");
    std::free(unchanged);
}

TEST(CallsystemPathTest, HostAndUnixPathsAreCopies)
{
    const char* path = "/a dir/file.txt";
    for (auto convert : {callsystem_path_to_host, callsystem_path_to_unix}) {
        char* copy = convert(path);
        ASSERT_NE(copy, nullptr);
        EXPECT_STREQ(copy, path);
        EXPECT_NE(copy, path);
        std::free(copy);
    }
}

// ---- descriptors ------------------------------------------------------------

TEST(CallsystemDescriptorTest, PipeAndNullAreCloseOnExecAndCloseOnce)
{
    Pair pipe;
    ASSERT_EQ(callsystem_pipe(pipe.fds), 0);
    EXPECT_NE(pipe.fds[0], pipe.fds[1]);
    EXPECT_TRUE(isCloseOnExec(pipe.fds[0]));
    EXPECT_TRUE(isCloseOnExec(pipe.fds[1]));
    int ends[2] = {pipe.fds[0], pipe.fds[1]};
    EXPECT_EQ(callsystem_close(pipe.fds), 0);
    EXPECT_EQ(pipe.fds[0], -1);
    EXPECT_EQ(pipe.fds[1], -1);
    EXPECT_FALSE(isOpen(ends[0]));
    EXPECT_FALSE(isOpen(ends[1]));

    Pair null;
    ASSERT_EQ(callsystem_null(null.fds), 0);
    EXPECT_EQ(null.fds[0], null.fds[1]);
    EXPECT_TRUE(isCloseOnExec(null.fds[0]));
    EXPECT_EQ(::fcntl(null.fds[0], F_GETFL) & O_ACCMODE, O_RDWR);
    int fd = null.fds[0];
    // A second close of the same number would fail with EBADF.
    EXPECT_EQ(callsystem_close(null.fds), 0);
    EXPECT_FALSE(isOpen(fd));
    EXPECT_EQ(null.fds[0], -1);
}

TEST(CallsystemDescriptorTest, OpenModes)
{
    TempDir dir;
    std::string file = dir / "f";
    mode_t mask = ::umask(0);
    ::umask(mask);

    auto writeThrough = [](const std::string& path, int mode, const char* text) {
        Pair pair;
        if (callsystem_open(path.c_str(), mode, pair.fds) != 0)
            return errno;
        EXPECT_EQ(pair.fds[0], -1);
        EXPECT_TRUE(isCloseOnExec(pair.fds[1]));
        EXPECT_EQ(::write(pair.fds[1], text, std::strlen(text)), static_cast<ssize_t>(std::strlen(text)));
        return 0;
    };

    EXPECT_EQ(writeThrough(file, CALLSYSTEM_MODE_OVERWRITE, "first"), 0);
    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0774u & ~mask);
    EXPECT_EQ(writeThrough(file, CALLSYSTEM_MODE_OVERWRITE | CALLSYSTEM_MODE_BINARY, "two"), 0);
    EXPECT_EQ(dir.read("f"), "two");
    EXPECT_EQ(writeThrough(file, CALLSYSTEM_MODE_APPEND, "+3"), 0);
    EXPECT_EQ(dir.read("f"), "two+3");
    EXPECT_EQ(writeThrough(file, CALLSYSTEM_MODE_CREATE, "x"), EEXIST);
    EXPECT_EQ(dir.read("f"), "two+3");
    EXPECT_EQ(writeThrough(dir / "new", CALLSYSTEM_MODE_CREATE, "new"), 0);
    EXPECT_EQ(dir.read("new"), "new");
    EXPECT_EQ(writeThrough(dir / "missing", CALLSYSTEM_MODE_APPEND, "x"), ENOENT);

    for (int mode : std::initializer_list<int>{CALLSYSTEM_MODE_READ, CALLSYSTEM_MODE_READ | CALLSYSTEM_MODE_BINARY}) {
        Pair pair;
        ASSERT_EQ(callsystem_open(file.c_str(), mode, pair.fds), 0);
        EXPECT_EQ(pair.fds[1], -1);
        EXPECT_TRUE(isCloseOnExec(pair.fds[0]));
        EXPECT_EQ(readAll(pair.fds[0]), "two+3");
    }

    for (int mode : std::initializer_list<int>{CALLSYSTEM_MODE_WRITE, 5, 7, -1}) {
        SCOPED_TRACE(mode);
        Pair pair;
        errno = 0;
        EXPECT_EQ(callsystem_open(file.c_str(), mode, pair.fds), -1);
        EXPECT_EQ(errno, EINVAL);
    }
}

TEST(CallsystemDescriptorTest, StreamsFitTheModeTheFileWasOpenedWith)
{
    TempDir dir;
    struct Row {
        int openMode;
        int streamMode;
        const char* text;
        const char* expected;
    };
    // The write-only descriptors of the create and overwrite modes must take
    // a stream of the same mode.
    const Row rows[] = {
        {CALLSYSTEM_MODE_OVERWRITE, CALLSYSTEM_MODE_OVERWRITE, "over", "over"},
        {CALLSYSTEM_MODE_APPEND, CALLSYSTEM_MODE_APPEND, "+app", "over+app"},
        {CALLSYSTEM_MODE_OVERWRITE, CALLSYSTEM_MODE_WRITE | CALLSYSTEM_MODE_BINARY, "w", "w"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        int fds[2] = {-1, -1};
        ASSERT_EQ(callsystem_open((dir / "f").c_str(), row.openMode, fds), 0);
        FILE* stream = callsystem_fdopen(fds, row.streamMode);
        ASSERT_NE(stream, nullptr) << std::strerror(errno);
        EXPECT_GE(std::fputs(row.text, stream), 0);
        EXPECT_EQ(std::fclose(stream), 0);  // closes the descriptor too
        EXPECT_EQ(dir.read("f"), row.expected);
    }

    int created[2] = {-1, -1};
    ASSERT_EQ(callsystem_open((dir / "g").c_str(), CALLSYSTEM_MODE_CREATE, created), 0);
    FILE* stream = callsystem_fdopen(created, CALLSYSTEM_MODE_CREATE);
    ASSERT_NE(stream, nullptr);
    std::fclose(stream);

    int reading[2] = {-1, -1};
    ASSERT_EQ(callsystem_open((dir / "f").c_str(), CALLSYSTEM_MODE_READ, reading), 0);
    stream = callsystem_fdopen(reading, CALLSYSTEM_MODE_READ | CALLSYSTEM_MODE_BINARY);
    ASSERT_NE(stream, nullptr);
    char line[16] = {};
    EXPECT_NE(std::fgets(line, sizeof line, stream), nullptr);
    EXPECT_STREQ(line, "w");
    std::fclose(stream);

    // The read-write /dev/null pair gets a read-write stream.
    int null[2] = {-1, -1};
    ASSERT_EQ(callsystem_null(null), 0);
    stream = callsystem_fdopen(null, CALLSYSTEM_MODE_OVERWRITE);
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(std::fgetc(stream), EOF);
    EXPECT_FALSE(std::ferror(stream));
    std::fclose(stream);

    Pair pair;
    ASSERT_EQ(callsystem_pipe(pair.fds), 0);
    for (int mode : {5, 6, 7}) {
        errno = 0;
        EXPECT_EQ(callsystem_fdopen(pair.fds, mode), nullptr);
        EXPECT_EQ(errno, EINVAL);
    }
}

// ---- starting children --------------------------------------------------------

TEST(CallsystemTest, RefusesABusyProcessIdAndStartsNothing)
{
    Pair out;
    ASSERT_EQ(callsystem_pipe(out.fds), 0);
    pid_t pid = 424242;
    errno = 0;
    EXPECT_EQ(callsystem("/bin/true", nullptr, nullptr, nullptr, out.fds, nullptr, nullptr, 0, &pid), -1);
    EXPECT_EQ(errno, EBUSY);
    EXPECT_EQ(pid, 424242);
    EXPECT_TRUE(isOpen(out.fds[1]));  // the child's end is still the caller's
    errno = 0;
    EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(CallsystemTest, RunningReportsUntilTheExitThenForgetsTheChild)
{
    Pair in;
    Child child;
    ASSERT_NO_FATAL_FAILURE(startShellOnInput("read line; exit 3", in, child));
    ASSERT_GT(child.pid, 0);
    EXPECT_EQ(in.fds[0], -1);  // the child's end is closed here
    EXPECT_EQ(callsystem_running(&child.pid), CALLSYSTEM_RUNNING);

    callsystem_close(in.fds);  // end of input: the child exits
    pid_t pid = child.pid;
    ASSERT_TRUE(waitForExit(pid));
    EXPECT_EQ(callsystem_running(&child.pid), 3);
    EXPECT_EQ(child.pid, 0);

    // Every call on a forgotten child fails alike; none signals anything.
    for (auto call : {callsystem_running, callsystem_finished, callsystem_abort}) {
        errno = 0;
        EXPECT_EQ(call(&child.pid), -1);
        EXPECT_EQ(errno, ECHILD);
    }
    // Nor does a negative id, which kill() would take for a process group.
    pid_t group = -::getpgrp();
    errno = 0;
    EXPECT_EQ(callsystem_abort(&group), -1);
    EXPECT_EQ(errno, ECHILD);
}

TEST(CallsystemTest, KilledChildReportsTheSignalNotSuccess)
{
    Pair in;
    Child child;
    ASSERT_NO_FATAL_FAILURE(startShellOnInput("read line", in, child));
    EXPECT_EQ(callsystem_abort(&child.pid), 0);
    EXPECT_EQ(child.finish(), 128 + SIGKILL);
    EXPECT_EQ(child.pid, 0);
}

TEST(CallsystemTest, PassesArgumentsAfterTheCommandNameAndExactlyTheEnvironment)
{
    Result cmdline = run({"cat", {"/proc/self/cmdline"}, std::vector<std::string>{"PATH=/nowhere:/usr/bin:/bin"}});
    EXPECT_EQ(cmdline.code, 0) << cmdline.err;
    EXPECT_EQ(cmdline.out, std::string("cat\0/proc/self/cmdline\0", 23));

    Result env = run({"/usr/bin/env", {}, std::vector<std::string>{"A=1", "B=two words"}});
    EXPECT_EQ(env.code, 0) << env.err;
    EXPECT_EQ(env.out, "A=1\nB=two words\n");

    Result none = run({"/usr/bin/env", {}, std::vector<std::string>{}});
    EXPECT_EQ(none.out, "");
}

TEST(CallsystemTest, NoEnvironmentGivesTheDefaults)
{
    ScopedEnvironment scoped;
    scoped.set("HOME", "/home/orvane-test");
    scoped.set("ORVANE_PRIVATE", "secret");
    // A bare name: found on the PATH the defaults exported.
    Result result = run({"env", {}, std::nullopt});
    EXPECT_EQ(result.code, 0) << result.err;
    EXPECT_THAT(result.out, HasSubstr("HOME=/home/orvane-test\n"));
    EXPECT_THAT(result.out, HasSubstr("PATH="));
    EXPECT_THAT(result.out, Not(HasSubstr("ORVANE_PRIVATE")));
}

TEST(CallsystemTest, SearchesThePathAfterChangingDirectory)
{
    TempDir dir;
    // Relative PATH entries mean what they mean in the working directory;
    // the first entry only has a directory of that name, which is skipped.
    std::filesystem::create_directories(dir / "first/tool");
    std::filesystem::create_directories(dir / "bin");
    dir.write("bin/tool", "#!/bin/sh\necho \"tool in $(pwd)\"\n", 0755);
    Result result = run({"tool", {}, std::vector<std::string>{"PATH=first:bin"}, dir.path().c_str()});
    EXPECT_EQ(result.code, 0) << result.err;
    EXPECT_EQ(result.out, "tool in " + std::filesystem::canonical(dir.path()).string() + "\n");
}

TEST(CallsystemTest, FailuresInTheChildExit127WithAnErrorLine)
{
    TempDir dir;
    dir.write("plain.txt", "not a program\n", 0644);
    dir.write("badinterp", "#!/nonexistent/interpreter\n", 0755);
    std::string missingDir = dir / "missing";
    std::string plain = dir / "plain.txt";
    std::string badInterp = dir / "badinterp";
    std::vector<std::string> path{"PATH=/usr/bin:/bin"};

    struct Row {
        const char* name;
        Launch launch;
        const char* message;
    };
    const Row rows[] = {
        {"no PATH", {"ls", {}, std::vector<std::string>{"HOME=/"}}, "PATH not set"},
        {"not on PATH", {"orvane-no-such-command", {}, path}, "cmd not executable"},
        {"not executable", {plain, {}, path}, "cmd not executable"},
        {"a directory", {dir.path() + "/", {}, path}, "cmd not executable"},
        {"missing file", {dir / "nothing", {}, path}, "cmd not executable"},
        {"bad working directory", {"/bin/true", {}, path, missingDir.c_str()}, "illegal working directory"},
        {"exec refused", {badInterp, {}, path}, "execve failed"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        Result result = run(row.launch);
        EXPECT_EQ(result.code, 127);
        EXPECT_THAT(result.err, MatchesRegex(std::string("\nCALLSYSTEM_ERROR: ") + row.message + " : [0-9]+ : .+\n"));
        EXPECT_EQ(result.out, "");
    }
}

TEST(CallsystemTest, UnusableStandardStreamsFailInTheChild)
{
    Pair err;
    ASSERT_EQ(callsystem_pipe(err.fds), 0);
    int unusable[2] = {-1, -1};
    Child child;
    ASSERT_EQ(callsystem("/bin/true", nullptr, nullptr, unusable, nullptr, err.fds, nullptr, 0, &child.pid), 0);
    EXPECT_EQ(readAll(err.fds[0]), "\nCALLSYSTEM_ERROR: illegal stdin : 9 : Bad file descriptor\n");
    EXPECT_EQ(child.finish(), 127);

    Pair err2;
    ASSERT_EQ(callsystem_pipe(err2.fds), 0);
    ASSERT_EQ(callsystem("/bin/true", nullptr, nullptr, nullptr, unusable, err2.fds, nullptr, 0, &child.pid), 0);
    EXPECT_EQ(readAll(err2.fds[0]), "\nCALLSYSTEM_ERROR: illegal stdout : 9 : Bad file descriptor\n");
    EXPECT_EQ(child.finish(), 127);
}

TEST(CallsystemTest, StreamsReachTheChild)
{
    TempDir dir;
    Pair in;
    Pair out;
    ASSERT_EQ(callsystem_pipe(in.fds), 0);
    ASSERT_EQ(callsystem_pipe(out.fds), 0);
    List argv{"-c", "cat; echo err >&2; pwd"};
    Child child;
    // One pair for both output streams.
    ASSERT_EQ(callsystem("/bin/sh", argv.items, nullptr, in.fds, out.fds, out.fds, dir.path().c_str(), 0, &child.pid),
              0);
    EXPECT_EQ(out.fds[1], -1);
    ASSERT_EQ(::write(in.fds[1], "hello\n", 6), 6);
    callsystem_close(in.fds);
    EXPECT_EQ(readAll(out.fds[0]), "hello\nerr\n" + std::filesystem::canonical(dir.path()).string() + "\n");
    EXPECT_EQ(child.finish(), 0);
}

TEST(CallsystemTest, OneNullPairServesEveryStream)
{
    Pair null;
    ASSERT_EQ(callsystem_null(null.fds), 0);
    int fd = null.fds[0];
    List argv{"-c", "read line && exit 1; echo out; echo err >&2; exit 4"};
    Child child;
    ASSERT_EQ(callsystem("/bin/sh", argv.items, nullptr, null.fds, null.fds, null.fds, nullptr, 0, &child.pid), 0);
    // Closed here once, and no end still names the number.
    EXPECT_EQ(null.fds[0], -1);
    EXPECT_EQ(null.fds[1], -1);
    EXPECT_FALSE(isOpen(fd));
    EXPECT_EQ(child.finish(), 4);
}

TEST(CallsystemTest, ChildGetsOnlyTheStandardDescriptors)
{
    // One without close-on-exec, as a library that knows no better opens it.
    int inherited = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(inherited, 0);
    Pair spare;
    ASSERT_EQ(callsystem_pipe(spare.fds), 0);
    Pair out;
    ASSERT_EQ(callsystem_pipe(out.fds), 0);
    std::string script;
    for (int fd : {inherited, spare.fds[0], spare.fds[1], out.fds[0], out.fds[1]})
        script += "[ -e /proc/$$/fd/" + std::to_string(fd) + " ] && echo " + std::to_string(fd) + "; ";
    script += "exit 0";
    List argv{"-c", script.c_str()};
    Child child;
    ASSERT_EQ(callsystem("/bin/sh", argv.items, nullptr, nullptr, out.fds, nullptr, nullptr, 0, &child.pid), 0);
    EXPECT_EQ(readAll(out.fds[0]), "");
    EXPECT_EQ(child.finish(), 0);
    ::close(inherited);
}

TEST(CallsystemTest, PriorityFlagMovesTheChildsNiceValue)
{
    errno = 0;
    int base = ::getpriority(PRIO_PROCESS, 0);
    ASSERT_EQ(errno, 0);
    auto niceOf = [](int priority) {
        Result result = run({"/usr/bin/nice", {}, std::vector<std::string>{}, nullptr, priority});
        EXPECT_EQ(result.code, 0) << result.err;
        return std::atoi(result.out.c_str());
    };
    EXPECT_EQ(niceOf(0), base);
    EXPECT_EQ(niceOf(-1), std::min(base + 5, 19));
    // Raising needs privilege; without it the child runs at our value.
    int raised = niceOf(1);
    EXPECT_TRUE(raised == std::max(base - 5, -20) || raised == base) << raised;
}

// Starts from several threads while others allocate, format and read the
// environment: the child takes none of the locks those hold.
TEST(CallsystemTest, StartsFromManyThreadsAllFinish)
{
    std::atomic<bool> stop{false};
    std::vector<std::thread> busy;
    for (int i = 0; i < 2; ++i)
        busy.emplace_back([&stop] {
            while (!stop.load()) {
                std::vector<std::string> garbage(64, std::string(100, 'x'));
                char text[64];
                std::snprintf(text, sizeof text, "%s %f", std::strerror(EIO), 1.5);
                (void)std::getenv("PATH");
            }
        });
    std::atomic<int> failures{0};
    std::vector<std::thread> starters;
    for (int i = 0; i < 4; ++i)
        starters.emplace_back([&failures] {
            for (int n = 0; n < 10; ++n) {
                Pair null;
                if (callsystem_null(null.fds) != 0) {
                    ++failures;
                    continue;
                }
                Child child;
                // No environment and a bare name: the defaults and the PATH
                // search are both prepared before fork.
                if (callsystem("true", nullptr, nullptr, null.fds, null.fds, null.fds, nullptr, 0, &child.pid) != 0 ||
                    child.finish() != 0)
                    ++failures;
            }
        });
    for (auto& thread : starters)
        thread.join();
    stop = true;
    for (auto& thread : busy)
        thread.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
