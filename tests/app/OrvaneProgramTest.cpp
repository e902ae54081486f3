// Starts the Orvane program and checks that it stops cleanly: after start-up
// on request, and on SIGTERM or SIGINT, also with a phone's window open. The
// program ends every process of its own adb resource at start and at exit, so
// it runs with a private copy of the resources: the build's own adb resource
// belongs to tests running beside.

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "phonesim/Simulator.h"
#include "tests/support/Wait.h"

extern char** environ;

namespace {

using namespace std::chrono_literals;

// A running Orvane on the offscreen platform; killed and reaped if a test
// leaves it running.
class Program {
public:
    // `extraEnvironment`: NAME=VALUE entries that replace the inherited ones.
    explicit Program(std::vector<std::string> arguments, const std::vector<std::string>& extraEnvironment = {})
    {
        // A private home: settings (first launch already answered), cache and
        // runtime folder (the single-instance lock) of its own.
        char pattern[] = "/tmp/orvane-program-XXXXXX";
        home_ = ::mkdtemp(pattern) ? pattern : "";
        for (const char* sub : {"/config/Orvane", "/cache", "/runtime"})
            std::filesystem::create_directories(home_ + sub);
        std::filesystem::permissions(home_ + "/runtime", std::filesystem::perms::owner_all);
        std::ofstream(home_ + "/config/Orvane/Orvane.conf") << "[General]\nfirstLaunchAt=2026-01-01T00:00:00Z\n";
        std::filesystem::copy(ORVANE_RESOURCES, home_ + "/resources", std::filesystem::copy_options::recursive);
        // The copied adb resource finds the build's libraries where it looks: beside its folder.
        std::filesystem::create_directory_symlink(std::filesystem::path(ORVANE_RESOURCES).parent_path() / "lib",
                                                  home_ + "/lib");

        std::vector<std::string> environment;
        std::vector<std::string> replacedNames{"QT_QPA_PLATFORM=", "XDG_CONFIG_HOME=", "XDG_CACHE_HOME=", "XDG_RUNTIME_DIR=",
                                               "ORVANE_RESOURCE_DIR="};
        for (const auto& entry : extraEnvironment)
            replacedNames.push_back(entry.substr(0, entry.find('=') + 1));
        for (char** e = environ; *e; ++e) {
            const std::string entry(*e);
            bool replaced = false;
            for (const auto& name : replacedNames)
                replaced = replaced || entry.rfind(name, 0) == 0;
            if (!replaced)
                environment.push_back(entry);
        }
        environment.insert(environment.end(), extraEnvironment.begin(), extraEnvironment.end());
        environment.emplace_back("QT_QPA_PLATFORM=offscreen");
        environment.push_back("XDG_CONFIG_HOME=" + home_ + "/config");
        environment.push_back("XDG_CACHE_HOME=" + home_ + "/cache");
        environment.push_back("XDG_RUNTIME_DIR=" + home_ + "/runtime");
        const bool ownResources = std::any_of(extraEnvironment.begin(), extraEnvironment.end(), [](const auto& e) {
            return e.rfind("ORVANE_RESOURCE_DIR=", 0) == 0;
        });
        if (!ownResources)
            environment.push_back("ORVANE_RESOURCE_DIR=" + home_ + "/resources");
        arguments.insert(arguments.begin(), ORVANE_PROGRAM);
        std::vector<char*> argv;
        for (auto& a : arguments)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        std::vector<char*> envp;
        for (auto& e : environment)
            envp.push_back(e.data());
        envp.push_back(nullptr);
        if (::posix_spawn(&pid_, ORVANE_PROGRAM, nullptr, nullptr, argv.data(), envp.data()) != 0)
            pid_ = -1;
        else
            pidfd_ = static_cast<int>(::syscall(SYS_pidfd_open, pid_, 0));  // glibc 2.36's wrapper lacks C linkage
    }
    ~Program()
    {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (pidfd_ >= 0)
            ::close(pidfd_);
        if (!home_.empty())
            std::filesystem::remove_all(home_);
    }

    bool started() const { return pid_ > 0 && pidfd_ >= 0; }
    pid_t pid() const { return pid_; }

    // Waits for the program to exit; its wait status, or nothing at the deadline.
    std::optional<int> waitForExit(std::chrono::milliseconds timeout = 30s)
    {
        pollfd p{pidfd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(timeout.count())) != 1)
            return std::nullopt;
        int status = 0;
        if (::waitpid(pid_, &status, 0) != pid_)
            return std::nullopt;
        reaped_ = true;
        return status;
    }

    // True once the program catches `signalNumber` (its handler is installed),
    // as /proc reports; false if that does not happen before the deadline.
    bool catches(int signalNumber, std::chrono::milliseconds timeout = 30s)
    {
        const unsigned long long bit = 1ull << (signalNumber - 1);
        bool caught = false;
        bool exited = false;
        orv::test::waitUntil(
            [&] {
                std::ifstream status("/proc/" + std::to_string(pid_) + "/status");
                std::string line;
                while (std::getline(status, line))
                    if (line.rfind("SigCgt:", 0) == 0 && (std::stoull(line.substr(7), nullptr, 16) & bit))
                        caught = true;
                return caught || exited;
            },
            timeout,
            [&](std::chrono::steady_clock::time_point) {
                // The child offers no event for this; check again shortly, or
                // stop early if it exited.
                pollfd p{pidfd_, POLLIN, 0};
                exited = ::poll(&p, 1, 10) == 1;
            });
        return caught;
    }

private:
    std::string home_;
    pid_t pid_ = -1;
    int pidfd_ = -1;
    bool reaped_ = false;
};

bool exitedCleanly(const std::optional<int>& status)
{
    return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

TEST(OrvaneProgramTest, StartsAndQuitsWhenAsked)
{
    Program program({"--quit-after-start"});
    ASSERT_TRUE(program.started());
    EXPECT_TRUE(exitedCleanly(program.waitForExit()));
}

TEST(OrvaneProgramTest, QuitsCleanlyOnTerminationSignals)
{
    for (int signalNumber : {SIGTERM, SIGINT}) {
        Program program({});
        ASSERT_TRUE(program.started());
        ASSERT_TRUE(program.catches(signalNumber)) << strsignal(signalNumber);
        ASSERT_EQ(::kill(program.pid(), signalNumber), 0);
        EXPECT_TRUE(exitedCleanly(program.waitForExit())) << strsignal(signalNumber);
    }
}

// A device window turns down a close it did not start itself, which once
// made the first termination signal only close the window.
TEST(OrvaneProgramTest, QuitsOnTerminationWhileAPhoneWindowIsOpen)
{
    phonesim::Options options;
    options.mode = "current";  // the program's own adb program speaks to the stand-in
    auto sim = phonesim::Simulator::start(options);
    const std::string serial = sim->serial();
    // The phone's window opens while launching, before the event loop takes
    // the signal.
    Program program({"-s", serial + ":0:0"}, sim->environment());
    ASSERT_TRUE(program.started());
    ASSERT_TRUE(program.catches(SIGTERM));
    bool exited = false;
    orv::test::waitUntil([&] { return exited || !sim->log(serial, "adb").empty(); }, 60s,
                         [&](std::chrono::steady_clock::time_point) { exited = program.waitForExit(10ms).has_value(); });
    ASSERT_FALSE(exited) << "exited before its window asked for the phone";
    ASSERT_FALSE(sim->log(serial, "adb").empty());
    ASSERT_EQ(::kill(program.pid(), SIGTERM), 0);
    EXPECT_TRUE(exitedCleanly(program.waitForExit()));
}

// Another program running the build's adb resource (a test beside this one)
// outlives the program's start and exit.
TEST(OrvaneProgramTest, LeavesAdbResourcesItDoesNotOwnAlone)
{
    char pattern[] = "/tmp/orvane-neighbour-XXXXXX";
    ASSERT_TRUE(::mkdtemp(pattern));
    const std::string folder = pattern;
    const std::string slowAdb = folder + "/slow-adb";
    std::ofstream(slowAdb) << "#!/bin/sh\nexec sleep 60\n";
    std::filesystem::permissions(slowAdb, std::filesystem::perms::owner_all);
    std::vector<std::string> environment{"ORVANE_ADB=" + slowAdb, "PATH=/usr/bin:/bin", "HOME=" + folder};
    std::vector<char*> envp;
    for (auto& e : environment)
        envp.push_back(e.data());
    envp.push_back(nullptr);
    const std::string adb = std::string(ORVANE_RESOURCES) + "/adb";
    // A pull: the resource stays to watch over the adb it runs.
    std::vector<std::string> arguments{adb, "pull", "/sdcard/a", folder + "/a"};
    std::vector<char*> argv;
    for (auto& a : arguments)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t neighbour = -1;
    ASSERT_EQ(::posix_spawn(&neighbour, adb.c_str(), nullptr, nullptr, argv.data(), envp.data()), 0);

    Program program({"--quit-after-start"});
    ASSERT_TRUE(program.started());
    EXPECT_TRUE(exitedCleanly(program.waitForExit()));
    int status = 0;
    EXPECT_EQ(::waitpid(neighbour, &status, WNOHANG), 0) << "the neighbour's adb resource was ended";
    ::kill(neighbour, SIGKILL);
    ::waitpid(neighbour, &status, 0);
    // The resource's own child, the slow adb, ends with its parent.
    std::filesystem::remove_all(folder);
}

}  // namespace
