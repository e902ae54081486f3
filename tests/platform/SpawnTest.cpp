#include "platform/Spawn.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>

#include "support/Wait.h"

using namespace std::chrono_literals;
using orv::spawnProcess;
using orv::SpawnRequest;

namespace {

constexpr auto kDeadline = 20s;

SpawnRequest shell(const std::string& script, bool detached = false)
{
    SpawnRequest request;
    request.program = "/bin/sh";
    request.argv = {"sh", "-c", script};
    request.detached = detached;
    return request;
}

// Reads `fd` to end of file, or until the deadline passes.
std::string readAll(int fd)
{
    std::string text;
    auto deadline = std::chrono::steady_clock::now() + kDeadline;
    char buffer[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd pfd{fd, POLLIN, 0};
        if (::poll(&pfd, 1, 100) <= 0)
            continue;
        ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count <= 0)
            break;
        text.append(buffer, static_cast<size_t>(count));
    }
    return text;
}

// Reaps every child of this process (detached programs come back to it as
// subreaper), waiting for running ones up to the deadline.
void reapChildren()
{
    const bool allReaped = orv::test::eventually(
        [] {
            pid_t pid;
            while ((pid = ::waitpid(-1, nullptr, WNOHANG)) > 0) {
            }
            return pid < 0 && errno == ECHILD;
        },
        kDeadline);
    if (!allReaped)
        ADD_FAILURE() << "a child outlived the deadline";
}

// Runs the request with its standard output on a pipe and returns what the
// program wrote there; the child (or, detached, the program) is reaped.
std::string output(SpawnRequest request, pid_t* pidOut = nullptr)
{
    int ends[2];
    EXPECT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    request.standardOutput = ends[1];
    pid_t pid = spawnProcess(request);
    int code = errno;
    ::close(ends[1]);
    std::string text = pid >= 0 ? readAll(ends[0]) : std::string();
    ::close(ends[0]);
    EXPECT_GE(pid, 0) << std::strerror(code);
    if (pidOut)
        *pidOut = pid;
    reapChildren();
    return text;
}

// Detached programs are re-parented to the nearest subreaper; this test
// program is one, so nothing it starts is left to init.
class SpawnTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0); }
    void TearDown() override { ::prctl(PR_SET_CHILD_SUBREAPER, 0); }
};

struct Mode {
    const char* name;
    bool detached;
};
const Mode kModes[] = {{"child", false}, {"detached", true}};

TEST_F(SpawnTest, OnlyTheStandardStreamsReachTheProgram)
{
    // As other libraries leave them: without close-on-exec.
    int plain = ::open("/dev/null", O_RDONLY);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    for (const Mode& mode : kModes) {
        SCOPED_TRACE(mode.name);
        // The glob's own directory descriptor is gone by the time of the test.
        auto request = shell("for f in /proc/self/fd/*; do [ -e \"/proc/$$/fd/${f##*/}\" ] && echo ${f##*/}; done",
                             mode.detached);
        EXPECT_EQ(output(request), "0\n1\n2\n");
    }
    ::close(plain);
    ::close(ends[0]);
    ::close(ends[1]);
}

TEST_F(SpawnTest, SignalsStartAtTheirDefaultsWithTheMaskAsked)
{
    struct sigaction ignore {};
    struct sigaction savedAction {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    ASSERT_EQ(::sigaction(SIGUSR1, &ignore, &savedAction), 0);
    sigset_t usr2;
    sigemptyset(&usr2);
    sigaddset(&usr2, SIGUSR2);
    sigset_t savedMask;
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &usr2, &savedMask), 0);

    // SIGUSR2 is signal 12: bit 11 of the mask /proc shows.
    const char* usr2Bit = "0000000000000800";
    const struct {
        const char* name;
        bool detached;
        bool maskUsr2;
        const char* blocked;
    } cases[] = {
        {"child", false, false, "0000000000000000"},
        {"detached", true, false, "0000000000000000"},
        {"child with a mask", false, true, usr2Bit},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SpawnRequest request;
        request.program = "grep";  // found on PATH
        request.argv = {"grep", "-E", "^Sig(Blk|Ign)", "/proc/self/status"};
        request.detached = c.detached;
        if (c.maskUsr2)
            request.signalMask = usr2;
        EXPECT_EQ(output(request), std::string("SigBlk:\t") + c.blocked + "\nSigIgn:\t0000000000000000\n");
    }
    ::pthread_sigmask(SIG_SETMASK, &savedMask, nullptr);
    ::sigaction(SIGUSR1, &savedAction, nullptr);
}

// The descriptor given for one stream may itself be one of 0-2, which the
// child overwrites while it sets the streams up.
TEST_F(SpawnTest, AStreamSourceOnAStandardNumberSurvivesTheSetUp)
{
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    int savedInput = ::dup(0);
    ASSERT_GE(savedInput, 0);
    ASSERT_EQ(::dup2(ends[1], 0), 0);  // the pipe's write end is now our descriptor 0
    ::close(ends[1]);

    auto request = shell("echo out; echo err >&2; if read line; then echo got; else echo eof; fi");
    request.standardInput = SpawnRequest::kNull;
    request.standardOutput = 0;
    request.standardError = 0;
    pid_t pid = spawnProcess(request);
    int code = errno;
    ::dup2(savedInput, 0);  // drops our last write end: end of file follows the child's
    ::close(savedInput);
    ASSERT_GT(pid, 0) << std::strerror(code);
    EXPECT_EQ(readAll(ends[0]), "out\nerr\neof\n");
    ::close(ends[0]);
    reapChildren();
}

TEST_F(SpawnTest, FailuresToStartAreReportedAndLeaveNoChild)
{
    auto folder = std::filesystem::temp_directory_path() / ("orv-spawn-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    auto plainFile = folder / "plain-file";
    std::ofstream(plainFile) << "#!/bin/sh\necho no\n";
    ::chmod(plainFile.c_str(), 0644);

    SpawnRequest badFolder = shell("true");
    badFolder.workingDirectory = "/nonexistent/folder";
    const struct {
        const char* name;
        SpawnRequest request;
        int code;
    } cases[] = {
        {"missing", SpawnRequest{.program = "/nonexistent/orvane-program"}, ENOENT},
        {"missing, detached", SpawnRequest{.program = "/nonexistent/orvane-program", .detached = true}, ENOENT},
        {"not executable", SpawnRequest{.program = plainFile}, EACCES},
        {"not executable, detached", SpawnRequest{.program = plainFile, .detached = true}, EACCES},
        {"bad working directory", badFolder, ENOENT},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        errno = 0;
        EXPECT_EQ(spawnProcess(c.request), -1);
        EXPECT_EQ(errno, c.code);
        EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1) << "a failed start left a child";
    }
    std::filesystem::remove_all(folder);
}

TEST_F(SpawnTest, ABareNameIsLookedUpInPathAsTheShellWould)
{
    auto folder = std::filesystem::temp_directory_path() / ("orv-spawn-path-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder / "first");
    std::filesystem::create_directories(folder / "second");
    std::ofstream(folder / "first" / "orv-tool") << "#!/bin/sh\necho first\n";
    std::ofstream(folder / "second" / "orv-tool") << "#!/bin/sh\necho second\n";
    ::chmod((folder / "first" / "orv-tool").c_str(), 0644);  // found, but not executable
    ::chmod((folder / "second" / "orv-tool").c_str(), 0755);

    const char* saved = std::getenv("PATH");
    std::string savedPath = saved ? saved : "";
    auto withPath = [&](const std::string& path) {
        ::setenv("PATH", path.c_str(), 1);
        SpawnRequest request;
        request.program = "orv-tool";
        return request;
    };
    // The first executable match wins; a non-executable one is skipped.
    EXPECT_EQ(output(withPath((folder / "nowhere").string() + ":" + (folder / "first").string() + ":" +
                              (folder / "second").string())),
              "second\n");
    // Only a non-executable match: that is the reason given.
    errno = 0;
    EXPECT_EQ(spawnProcess(withPath((folder / "first").string())), -1);
    EXPECT_EQ(errno, EACCES);
    ::setenv("PATH", savedPath.c_str(), 1);
    std::filesystem::remove_all(folder);
}

TEST_F(SpawnTest, ADetachedProgramRunsInASessionOfItsOwn)
{
    pid_t pid = -1;
    std::istringstream fields(output(shell("cut -d' ' -f6 /proc/$$/stat", true), &pid));
    EXPECT_EQ(pid, 0);
    pid_t session = 0;
    fields >> session;
    EXPECT_GT(session, 0);
    EXPECT_NE(session, ::getsid(0));
}

TEST_F(SpawnTest, TheParentDeathSignalReachesTheChildWhenItsParentEnds)
{
    int ends[2];
    ASSERT_EQ(::pipe2(ends, O_CLOEXEC), 0);
    // A go-between starts the child and ends; the child, re-parented to this
    // test as subreaper, must get the signal asked for.
    pid_t middle = ::fork();
    ASSERT_GE(middle, 0);
    if (middle == 0) {
        SpawnRequest request;
        request.program = "/bin/sleep";
        request.argv = {"sleep", "60"};
        request.parentDeathSignal = SIGKILL;
        pid_t child = spawnProcess(request);
        ssize_t ignored = ::write(ends[1], &child, sizeof child);
        (void)ignored;
        ::_exit(0);
    }
    ::close(ends[1]);
    pid_t child = -1;
    ASSERT_EQ(::read(ends[0], &child, sizeof child), static_cast<ssize_t>(sizeof child));
    ::close(ends[0]);
    ASSERT_GT(child, 0);
    ASSERT_EQ(::waitpid(middle, nullptr, 0), middle);

    int status = 0;
    pid_t reaped = 0;
    orv::test::eventually([&] { return (reaped = ::waitpid(child, &status, WNOHANG)) != 0; }, kDeadline);
    if (reaped != child) {
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        FAIL() << "the child outlived its parent";
    }
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
}

}  // namespace
