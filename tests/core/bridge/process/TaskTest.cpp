#include "core/bridge/process/Task.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "core/bridge/process/callsystem.h"
#include "platform/Error.h"
#include "support/Wait.h"

using namespace std::chrono_literals;
using ::testing::HasSubstr;
using orv::FileHandle;
using orv::Task;

namespace {

constexpr auto kDeadline = 20s;

std::vector<uint8_t> bytes(const std::string& text)
{
    return {text.begin(), text.end()};
}

// Everything until end of file, or what came before the deadline.
std::string readAll(FileHandle& handle)
{
    std::string text;
    auto deadline = std::chrono::steady_clock::now() + kDeadline;
    while (true) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd readable{handle.fileDescriptor(), POLLIN, 0};
        if (left.count() <= 0 || ::poll(&readable, 1, static_cast<int>(left.count())) != 1) {
            ADD_FAILURE() << "no end of file before the deadline";
            return text;
        }
        std::vector<uint8_t> chunk = handle.availableData();
        if (chunk.empty())
            return text;
        text.append(chunk.begin(), chunk.end());
    }
}

bool isReaped(pid_t pid)
{
    return ::waitpid(pid, nullptr, WNOHANG) < 0 && errno == ECHILD;
}

size_t openDescriptorCount()
{
    size_t count = 0;
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        ++count;
    return count;
}

// Waits until the thread sleeps in the kernel, or the deadline passes.
bool waitUntilBlocked(pid_t tid)
{
    const std::string statPath = "/proc/self/task/" + std::to_string(tid) + "/stat";
    return orv::test::eventually(
        [&] {
            std::ifstream stat(statPath);
            std::string line;
            std::getline(stat, line);
            size_t close = line.rfind(')');
            return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'S';
        },
        kDeadline);
}

// Bounds a call that must not block: it runs on its own thread, and
// `unblock` runs if it has not returned by the deadline.
template <class Call, class Unblock>
bool returnsInTime(Call call, Unblock unblock)
{
    auto done = std::async(std::launch::async, call);
    if (done.wait_for(kDeadline) == std::future_status::ready)
        return true;
    unblock();
    done.wait();
    return false;
}

Task& shell(Task& task, const std::string& script)
{
    task.setLaunchPath("/bin/sh");
    task.setArguments({"-c", script});
    return task;
}

TEST(TaskTest, StartsWithNothing)
{
    Task task;
    EXPECT_EQ(task.launchPath(), "");
    EXPECT_TRUE(task.arguments().empty());
    EXPECT_TRUE(task.environment().empty());
    EXPECT_EQ(task.standardInput(), nullptr);
    EXPECT_EQ(task.processIdentifier(), 0);
    EXPECT_FALSE(task.isRunning());
    errno = 0;
    EXPECT_EQ(task.status(), -1);
    EXPECT_EQ(errno, ECHILD);
    EXPECT_EQ(task.terminationStatus(), -1);
    task.waitUntilExit();
    EXPECT_EQ(&task.close(), &task);
}

TEST(TaskTest, PipesCarryTheStreamsAndTheStatusOutlivesTheReap)
{
    Task task;
    shell(task, "cat; echo err >&2; exit 3");
    ASSERT_TRUE(task.launch());
    pid_t pid = task.processIdentifier();
    EXPECT_GT(pid, 0);
    ASSERT_NE(task.standardInput(), nullptr);
    EXPECT_TRUE(task.standardInput()->writeData(bytes("hello\n")));
    task.standardInput()->closeFile();
    EXPECT_EQ(readAll(*task.standardOutput()), "hello\n");
    EXPECT_EQ(readAll(*task.standardError()), "err\n");

    task.waitUntilExit();
    EXPECT_EQ(task.processIdentifier(), 0);
    EXPECT_TRUE(isReaped(pid));
    EXPECT_FALSE(task.isRunning());
    // Asked after the reap, the answer is still the child's exit code.
    EXPECT_EQ(task.terminationStatus(), 3);
    EXPECT_EQ(task.status(), 3);
}

TEST(TaskTest, TerminationStatusWhileRunningIsMisuse)
{
    Task task;
    task.setLaunchPath("/bin/cat");
    ASSERT_TRUE(task.launch());
    EXPECT_TRUE(task.isRunning());
    try {
        task.terminationStatus();
        ADD_FAILURE() << "no exception";
    } catch (const orv::Exception& exception) {
        EXPECT_EQ(exception.name(), "NSInvalidArgumentException");
        EXPECT_EQ(exception.reason(), "terminationStatus requested while task running");
    }
    task.terminate();
    task.waitUntilExit();
    EXPECT_EQ(task.terminationStatus(), 128 + SIGKILL);
}

TEST(TaskTest, TerminateFromAnotherThreadEndsAWait)
{
    Task task;
    task.setLaunchPath("/bin/cat");
    ASSERT_TRUE(task.launch());
    pid_t pid = task.processIdentifier();

    std::promise<pid_t> waiterId;
    std::thread waiter([&] {
        waiterId.set_value(static_cast<pid_t>(::syscall(SYS_gettid)));
        task.waitUntilExit();
    });
    ASSERT_TRUE(waitUntilBlocked(waiterId.get_future().get()));
    // A wait that held the task's lock would leave terminate() stuck.
    bool terminated = returnsInTime([&] { task.terminate(); }, [&] { ::kill(pid, SIGKILL); });
    waiter.join();
    EXPECT_TRUE(terminated);
    EXPECT_EQ(task.terminationStatus(), 128 + SIGKILL);
    EXPECT_TRUE(isReaped(pid));
}

TEST(TaskTest, ReleasingATaskWaitsForItsChild)
{
    struct TempDir {
        std::string path;
        ~TempDir()
        {
            std::error_code ignored;
            std::filesystem::remove_all(path, ignored);
        }
    } dir;
    std::string pattern = (std::filesystem::temp_directory_path() / "orvane-task-XXXXXX").string();
    ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
    dir.path = pattern;
    std::string marker = dir.path + "/marker";

    auto task = std::make_unique<Task>();
    shell(*task, "read line; echo \"$line\" > '" + marker + "'");
    ASSERT_TRUE(task->launch());
    pid_t pid = task->processIdentifier();
    std::shared_ptr<FileHandle> input = task->standardInput();

    orv::test::Latch released;
    std::thread releaser([&] {
        task.reset();
        released.countDown();
    });
    // The child waits for its line, so the release must still be waiting.
    EXPECT_FALSE(released.wait(200ms));
    EXPECT_TRUE(input->writeData(bytes("done\n")));
    EXPECT_TRUE(released.wait(kDeadline));
    releaser.join();

    std::ifstream in(marker);
    std::string line;
    std::getline(in, line);
    EXPECT_EQ(line, "done");
    EXPECT_TRUE(isReaped(pid));
}

TEST(TaskTest, RelaunchReleasesThePreviousChild)
{
    Task task;
    shell(task, "exit 5");
    ASSERT_TRUE(task.launch());
    pid_t first = task.processIdentifier();
    auto firstOutput = task.standardOutput();
    shell(task, "exit 6");
    ASSERT_TRUE(task.launch());
    EXPECT_TRUE(isReaped(first));
    EXPECT_NE(task.standardOutput(), firstOutput);
    task.waitUntilExit();
    EXPECT_EQ(task.terminationStatus(), 6);
}

TEST(TaskTest, EnvironmentIsTheChildsWholeEnvironment)
{
    Task task;
    task.setLaunchPath("env");  // found on the PATH given here
    task.setEnvironment({{"A", "1"}, {"PATH", "/usr/bin:/bin"}});
    ASSERT_TRUE(task.launch());
    EXPECT_EQ(readAll(*task.standardOutput()), "A=1\nPATH=/usr/bin:/bin\n");
    task.waitUntilExit();
    EXPECT_EQ(task.terminationStatus(), 0);

    // Without PATH a bare name cannot be found.
    task.setEnvironment({{"A", "1"}});
    ASSERT_TRUE(task.launch());
    EXPECT_THAT(readAll(*task.standardError()), HasSubstr("CALLSYSTEM_ERROR: PATH not set"));
    task.waitUntilExit();
    EXPECT_EQ(task.terminationStatus(), 127);

    // None at all gives the defaults, this process's HOME among them.
    const char* home = std::getenv("HOME");
    task.setEnvironment({});
    ASSERT_TRUE(task.launch());
    std::string out = readAll(*task.standardOutput());
    if (home) {
        EXPECT_THAT(out, HasSubstr(std::string("HOME=") + home + "\n"));
    }
    EXPECT_THAT(out, HasSubstr("PATH="));
    task.waitUntilExit();
    EXPECT_EQ(task.terminationStatus(), 0);
}

TEST(TaskTest, FailedLaunchChangesNothingAndLeaksNothing)
{
    Task task;
    shell(task, "exit 2");
    ASSERT_TRUE(task.launch());
    task.waitUntilExit();
    auto input = task.standardInput();
    size_t before = openDescriptorCount();

    task.setEnvironment({{"A=B", "1"}});  // no variable can be named so
    errno = 0;
    EXPECT_FALSE(task.launch());
    EXPECT_EQ(errno, EINVAL);
    EXPECT_EQ(task.processIdentifier(), 0);
    EXPECT_EQ(task.standardInput(), input);
    EXPECT_EQ(task.terminationStatus(), 2);
    EXPECT_EQ(openDescriptorCount(), before);
}

TEST(TaskTest, WritingToAnEndedChildFailsWithoutSigpipe)
{
    Task task;
    shell(task, "exit 0");
    ASSERT_TRUE(task.launch());
    task.waitUntilExit();
    errno = 0;
    EXPECT_FALSE(task.standardInput()->writeData(bytes("nobody reads this")));
    EXPECT_EQ(errno, EPIPE);
    sigset_t pending;
    sigpending(&pending);
    EXPECT_FALSE(sigismember(&pending, SIGPIPE));
}

}  // namespace
