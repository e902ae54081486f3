#include "platform/Process.h"
#include "support/Wait.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <future>
#include <mutex>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;
using orv::Process;
using ::testing::HasSubstr;

namespace {

constexpr auto kDeadline = 20s;

Process::Options shell(std::string script, std::vector<std::string> extra = {})
{
    Process::Options options;
    options.program = "/bin/sh";
    options.arguments = {"-c", std::move(script), "sh"};
    options.arguments.insert(options.arguments.end(), extra.begin(), extra.end());
    return options;
}

// Runs `action` once if not disarmed before the deadline, so a test whose
// child never ends fails instead of hanging. Always joined on destruction.
class Watchdog {
public:
    Watchdog(std::chrono::steady_clock::duration deadline, std::function<void()> action)
        : thread_([this, deadline, action = std::move(action)] {
              std::unique_lock lock(mutex_);
              if (!condition_.wait_for(lock, deadline, [this] { return disarmed_; })) {
                  fired_ = true;
                  action();
              }
          })
    {
    }
    ~Watchdog() { disarm(); }
    void disarm()
    {
        {
            std::lock_guard lock(mutex_);
            disarmed_ = true;
        }
        condition_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }
    bool fired()
    {
        std::lock_guard lock(mutex_);
        return fired_;
    }

private:
    std::mutex mutex_;
    std::condition_variable condition_;
    bool disarmed_ = false;
    bool fired_ = false;
    std::thread thread_;
};

std::string repeatTo(const std::string& unit, size_t size)
{
    std::string text;
    text.reserve(size);
    while (text.size() < size)
        text += unit;
    text.resize(size);
    return text;
}

std::vector<std::string> openDescriptors()
{
    std::vector<std::string> names;
    for (auto& entry : std::filesystem::directory_iterator("/proc/self/fd"))
        names.push_back(entry.path().filename());
    return names;
}

bool isGoneOrReaped(pid_t pid)
{
    // Our own unreaped child would still answer waitpid.
    return ::waitpid(pid, nullptr, WNOHANG) < 0 && errno == ECHILD;
}

// Waits until /proc says the process runs `name` (it has exec'd), or the
// deadline passes.
bool waitForCommand(pid_t pid, const std::string& name)
{
    return orv::test::eventually(
        [&] {
            std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
            std::string current;
            return std::getline(comm, current) && current == name;
        },
        kDeadline);
}

// Exits are noticed either through a process descriptor or by polling; the
// waiting behaviours are checked both ways.
class ProcessWaitTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override { Process::setExitDescriptorDisabledForTesting(GetParam()); }
    void TearDown() override { Process::setExitDescriptorDisabledForTesting(false); }
};

INSTANTIATE_TEST_SUITE_P(ExitNotice, ProcessWaitTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Polled" : "Descriptor"; });

struct DrainCase {
    const char* name;
    const char* script;
    bool byHandlers;
};

TEST_P(ProcessWaitTest, DrainsTenMegabytesOfBothStreamsWithoutStalling)
{
    constexpr size_t kSize = 10 * 1024 * 1024;
    // Whichever stream a sequential reader would leave for later fills its
    // pipe and stalls the child.
    const DrainCase cases[] = {
        {"stderr first", "yes err | head -c $1 >&2; yes out | head -c $1", false},
        {"stdout first", "yes out | head -c $1; yes err | head -c $1 >&2", false},
        {"interleaved, by handlers",
         "(yes out | head -c $1) & (yes err | head -c $1 >&2) & wait", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Process process(shell(c.script, {std::to_string(kSize)}));
        ASSERT_TRUE(process.start());
        Watchdog watchdog(kDeadline, [&] { process.kill(); });
        std::string out;
        std::string err;
        Process::Exit exit;
        if (c.byHandlers) {
            exit = process.run([&](std::string_view chunk) { out.append(chunk); },
                               [&](std::string_view chunk) { err.append(chunk); });
            EXPECT_TRUE(process.standardOutput().empty());
            EXPECT_TRUE(process.standardError().empty());
        } else {
            exit = process.run();
            out = process.standardOutput();
            err = process.standardError();
        }
        watchdog.disarm();
        EXPECT_FALSE(watchdog.fired());
        EXPECT_EQ(exit, (Process::Exit{true, 0, 0}));
        EXPECT_TRUE(out == repeatTo("out\n", kSize)) << "stdout has " << out.size() << " bytes";
        EXPECT_TRUE(err == repeatTo("err\n", kSize)) << "stderr has " << err.size() << " bytes";
    }
}

TEST_P(ProcessWaitTest, ReportsExitStatusOrSignal)
{
    const struct {
        const char* script;
        Process::Exit expected;
    } cases[] = {
        {"exit 0", {true, 0, 0}},
        {"exit 3", {true, 3, 0}},
        {"exit 255", {true, 255, 0}},
        {"kill -TERM $$", {false, 0, SIGTERM}},
        {"kill -KILL $$", {false, 0, SIGKILL}},
        {"kill -HUP $$", {false, 0, SIGHUP}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        Process process(shell(c.script));
        ASSERT_TRUE(process.start());
        EXPECT_TRUE(process.isRunning());
        EXPECT_EQ(process.run(), c.expected);
        EXPECT_FALSE(process.isRunning());
        // A second wait answers the same without touching the reaped pid.
        EXPECT_EQ(process.run(), c.expected);
    }
}

TEST_P(ProcessWaitTest, StderrChunkArrivesWhileTheChildStillRuns)
{
    Process process(shell("printf 'x 1/2 (50%%)\\n' >&2; exec sleep 100"));
    ASSERT_TRUE(process.start());
    Watchdog watchdog(kDeadline, [&] { process.kill(); });
    std::vector<std::string> chunks;
    bool childAliveAtChunk = false;
    auto exit = process.run({}, [&](std::string_view chunk) {
        chunks.emplace_back(chunk);
        childAliveAtChunk = process.isRunning();
        // The handler may stop the child, as a cancelled transfer does.
        process.terminate();
    });
    watchdog.disarm();
    EXPECT_FALSE(watchdog.fired()) << "the chunk was held back until the child ended";
    EXPECT_THAT(chunks, ::testing::ElementsAre("x 1/2 (50%)\n"));
    EXPECT_TRUE(childAliveAtChunk);
    EXPECT_EQ(exit, (Process::Exit{false, 0, SIGTERM}));
}

TEST_P(ProcessWaitTest, TerminateFromAnotherThreadEndsABlockedWait)
{
    Process process(shell("echo ready; exec sleep 100"));
    ASSERT_TRUE(process.start());
    Watchdog watchdog(kDeadline, [&] { process.kill(); });
    std::promise<void> ready;
    auto waiter = std::async(std::launch::async, [&] {
        return process.run([&](std::string_view chunk) {
            if (chunk.find("ready") != std::string_view::npos)
                ready.set_value();
        });
    });
    ASSERT_EQ(ready.get_future().wait_for(kDeadline), std::future_status::ready);
    process.terminate();
    Process::Exit exit = waiter.get();
    watchdog.disarm();
    EXPECT_FALSE(watchdog.fired());
    EXPECT_EQ(exit, (Process::Exit{false, 0, SIGTERM}));
    EXPECT_FALSE(process.isRunning());
    // Once reaped, stopping again must be harmless: the pid may be reused.
    process.terminate();
    process.kill();
    EXPECT_EQ(process.run(), exit);
}

// Makes this process the reaper of orphaned descendants for its lifetime, and
// ends and reaps the one it is told about, so nothing outlives the test.
class AdoptedDescendant {
public:
    AdoptedDescendant() { adopting_ = ::prctl(PR_SET_CHILD_SUBREAPER, 1) == 0; }
    ~AdoptedDescendant()
    {
        if (pid_ > 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        ::prctl(PR_SET_CHILD_SUBREAPER, 0);
    }
    bool adopting() const { return adopting_; }
    void kill() const
    {
        if (pid_ > 0)
            ::kill(pid_, SIGKILL);
    }
    std::atomic<pid_t> pid_{0};

private:
    bool adopting_ = false;
};

TEST_P(ProcessWaitTest, DescendantHoldingThePipesDoesNotHoldTheWait)
{
    AdoptedDescendant daemon;
    ASSERT_TRUE(daemon.adopting());
    constexpr size_t kTail = 100000;  // more than a pipe holds: part is read after the exit
    Process process(shell("sleep 100 & echo $!; head -c $1 /dev/zero | tr '\\0' x; echo bye >&2",
                          {std::to_string(kTail)}));
    ASSERT_TRUE(process.start());
    // If the wait holds on for end of file, ending the daemon releases it.
    Watchdog watchdog(kDeadline, [&] { daemon.kill(); });
    std::string out;
    auto exit = process.run([&](std::string_view chunk) {
        out.append(chunk);
        if (daemon.pid_ == 0 && out.find('\n') != std::string::npos)
            daemon.pid_ = std::stoi(out.substr(0, out.find('\n')));
    });
    watchdog.disarm();
    EXPECT_FALSE(watchdog.fired()) << "waited for end of file held open by a descendant";
    EXPECT_EQ(exit, (Process::Exit{true, 0, 0}));
    EXPECT_GT(daemon.pid_, 0);
    EXPECT_EQ(out.substr(out.find('\n') + 1), std::string(kTail, 'x'));
    EXPECT_EQ(process.standardError(), "bye\n");
}

TEST_P(ProcessWaitTest, DestructionStopsAndReapsARunningChild)
{
    const struct {
        const char* name;
        const char* script;
    } cases[] = {
        {"obeys SIGTERM", "exec sleep 100"},
        // An ignored SIGTERM survives exec, so sleep ignores it too.
        {"ignores SIGTERM", "trap '' TERM; exec sleep 100"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        pid_t pid;
        std::optional<Watchdog> watchdog;
        {
            Process process(shell(c.script));
            ASSERT_TRUE(process.start());
            pid = process.pid();
            ASSERT_TRUE(waitForCommand(pid, "sleep"));
            // Should the destructor never give up on SIGTERM, end the child
            // so that the test fails rather than hangs.
            watchdog.emplace(kDeadline, [pid] { ::kill(pid, SIGKILL); });
        }
        EXPECT_FALSE(watchdog->fired());
        watchdog.reset();
        EXPECT_TRUE(isGoneOrReaped(pid));
    }
}

TEST(ProcessTest, TerminateWorksThoughTheStartingThreadBlocksAndIgnoresSignals)
{
    sigset_t blocked;
    sigset_t previous;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGTERM);
    ASSERT_EQ(::pthread_sigmask(SIG_BLOCK, &blocked, &previous), 0);
    struct sigaction ignore{};
    struct sigaction previousHup{};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGHUP, &ignore, &previousHup);

    const struct {
        const char* name;
        const char* script;
        int signal;
    } cases[] = {
        // SIGTERM is blocked in the starting thread: terminate() must still work.
        {"blocked SIGTERM", "echo ready; exec sleep 100", SIGTERM},
        // SIGHUP is ignored here: the child must still die of it.
        {"ignored SIGHUP", "kill -HUP $$; echo ready; exec sleep 100", SIGHUP},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Process process(shell(c.script));
        bool started = process.start();
        EXPECT_TRUE(started);
        if (!started)
            continue;
        Watchdog watchdog(kDeadline, [&] { process.kill(); });
        auto exit = process.run([&](std::string_view) { process.terminate(); });
        watchdog.disarm();
        EXPECT_EQ(exit, (Process::Exit{false, 0, c.signal}));
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    ::sigaction(SIGHUP, &previousHup, nullptr);
}

TEST(ProcessTest, PassesOrInheritsTheEnvironment)
{
    {
        Process::Options options = shell("printf '%s|%s|%s' \"$ORV_A\" \"$ORV_B\" \"${HOME-unset}\"");
        options.environment = std::vector<std::string>{"ORV_A=1", "ORV_B=two words = 2"};
        Process process(options);
        ASSERT_TRUE(process.start());
        process.run();
        EXPECT_EQ(process.standardOutput(), "1|two words = 2|unset");
    }
    {
        Process::Options options;
        options.program = "/usr/bin/env";
        options.environment = std::vector<std::string>{};
        Process process(options);
        ASSERT_TRUE(process.start());
        process.run();
        EXPECT_EQ(process.standardOutput(), "");
    }
    {
        ::setenv("ORV_INHERITED", "from parent", 1);
        Process process(shell("printf %s \"$ORV_INHERITED\""));
        ASSERT_TRUE(process.start());
        process.run();
        ::unsetenv("ORV_INHERITED");
        EXPECT_EQ(process.standardOutput(), "from parent");
    }
}

TEST(ProcessTest, RunsInTheWorkingDirectoryAndFindsBareNamesOnPath)
{
    Process::Options options;
    options.program = "pwd";  // looked up in PATH
    options.workingDirectory = "/usr/share";
    Process process(options);
    ASSERT_TRUE(process.start());
    EXPECT_EQ(process.run(), (Process::Exit{true, 0, 0}));
    EXPECT_EQ(process.standardOutput(), "/usr/share\n");
}

TEST(ProcessTest, StartFailureIsAnErrorWithTheSystemText)
{
    auto folder = std::filesystem::temp_directory_path() /
                  ("orv-process-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    auto notExecutable = folder / "plain-file";
    std::ofstream(notExecutable) << "#!/bin/sh\necho no\n";
    ::chmod(notExecutable.c_str(), 0644);

    Process::Options missing;
    missing.program = "/nonexistent/orvane-no-such-program";
    Process::Options notOnPath;
    notOnPath.program = "orvane-no-such-program";
    Process::Options plainFile;
    plainFile.program = notExecutable;
    Process::Options badFolder = shell("true");
    badFolder.workingDirectory = "/nonexistent/folder";
    Process::Options hugeArgument = shell("true", {std::string(200 * 1024, 'a')});
    Process::Options empty;

    const struct {
        const char* name;
        Process::Options options;
        int code;
    } cases[] = {
        {"missing program", missing, ENOENT},
        {"bare name not on PATH", notOnPath, ENOENT},
        {"not executable", plainFile, EACCES},
        {"missing working directory", badFolder, ENOENT},
        {"argument over the kernel's limit", hugeArgument, E2BIG},
        {"empty program", empty, ENOENT},
    };
    auto before = openDescriptors();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Process process(c.options);
        orv::Error error;
        ASSERT_FALSE(process.start(&error));
        EXPECT_EQ(error.domain, "Process");
        EXPECT_EQ(error.code, c.code);
        EXPECT_THAT(error.message, HasSubstr(std::strerror(c.code)));
        EXPECT_EQ(error.info["errno"], std::strerror(c.code));
        EXPECT_FALSE(process.isRunning());
        EXPECT_EQ(process.pid(), 0);
        try {
            process.run();
            ADD_FAILURE() << "run() after a failed start must be refused";
        } catch (const orv::Exception& exception) {
            EXPECT_EQ(exception.name(), "ProcessNotStarted");
        }
    }
    // A failed start leaves no pipe end behind.
    EXPECT_EQ(openDescriptors(), before);
    std::filesystem::remove_all(folder);
}

TEST(ProcessTest, PassesAHugeArgumentList)
{
    constexpr int kCount = 50000;
    std::vector<std::string> arguments;
    for (int i = 0; i < kCount; ++i)
        arguments.push_back("argument-" + std::to_string(i));
    Process process(shell("echo $#; echo $1; eval echo \\${$#}", arguments));
    ASSERT_TRUE(process.start());
    EXPECT_EQ(process.run(), (Process::Exit{true, 0, 0}));
    EXPECT_EQ(process.standardOutput(),
              std::to_string(kCount) + "\nargument-0\nargument-" + std::to_string(kCount - 1) + "\n");
}

TEST(ProcessTest, NoDescriptorOfTheParentReachesTheChild)
{
    // Descriptors opened without close-on-exec, as other libraries do.
    int plain = ::open("/dev/null", O_RDONLY);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ASSERT_GE(plain, 0);

    const struct {
        const char* name;
        Process::Input input;
    } cases[] = {{"inherited stdin", Process::Input::Inherit}, {"null stdin", Process::Input::Null}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        // The glob's own directory descriptor is gone by the time of the test.
        Process::Options options = shell(
            "for f in /proc/self/fd/*; do [ -e \"/proc/$$/fd/${f##*/}\" ] && echo ${f##*/}; done");
        options.standardInput = c.input;
        Process process(options);
        ASSERT_TRUE(process.start());
        process.run();
        EXPECT_EQ(process.standardOutput(), "0\n1\n2\n");
    }
    ::close(plain);
    ::close(ends[0]);
    ::close(ends[1]);
}

TEST(ProcessTest, NullStandardInputReadsEndOfFile)
{
    Process::Options options = shell("if read line; then echo got; else echo eof; fi");
    options.standardInput = Process::Input::Null;
    Process process(options);
    ASSERT_TRUE(process.start());
    process.run();
    EXPECT_EQ(process.standardOutput(), "eof\n");
}

TEST(ProcessTest, UncapturedStreamsGoToOurOwnDescriptors)
{
    for (int stream : {1, 2}) {
        SCOPED_TRACE(stream);
        std::string marker = "marker-for-" + std::to_string(stream);
        Process::Options options = shell("echo " + marker + " >&" + std::to_string(stream));
        (stream == 1 ? options.captureStdout : options.captureStderr) = false;

        std::fflush(nullptr);
        FILE* capture = std::tmpfile();
        ASSERT_NE(capture, nullptr);
        int saved = ::dup(stream);
        ::dup2(::fileno(capture), stream);
        Process::Exit exit;
        {
            Process process(options);
            bool started = process.start();
            exit = started ? process.run() : Process::Exit{};
        }
        ::dup2(saved, stream);
        ::close(saved);

        std::string written(256, '\0');
        written.resize(::pread(::fileno(capture), written.data(), written.size(), 0));
        std::fclose(capture);
        EXPECT_EQ(exit, (Process::Exit{true, 0, 0}));
        EXPECT_EQ(written, marker + "\n");
    }
}

}  // namespace
