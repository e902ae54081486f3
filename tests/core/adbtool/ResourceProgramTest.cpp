// The resource program's own duties, seen through a scriptable adb: what the
// child inherits, the terminal it writes to, stopping, and partial pulls.
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "ResourceRun.h"
#include "TempFolder.h"

namespace {

using namespace orv::adbtool::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

// One adb start as the fake adb reported it.
struct Start {
    std::string argv;
    bool tty = false;
    std::string term;
    pid_t pid = 0;
    std::vector<std::string> descriptors;
};

class ResourceProgramTest : public testing::Test {
protected:
    RunOptions options(const std::string& pullMode = {}) const
    {
        RunOptions o;
        o.environment = {{"ORVANE_ADB", ADBTOOL_FAKE_ADB},
                         {"FAKE_ADB_REPORT", report.string()},
                         {"FAKE_ADB_SIZE", "1000"},
                         {"FAKE_ADB_PULL", pullMode},
                         {"TERM", std::nullopt}};
        return o;
    }

    std::vector<Start> starts() const
    {
        std::vector<Start> all;
        std::istringstream in(readFile(report));
        for (std::string line; std::getline(in, line);) {
            if (line.rfind("argv:", 0) == 0)
                all.push_back({line.substr(5)});
            else if (line.rfind("tty: ", 0) == 0)
                all.back().tty = line == "tty: 1";
            else if (line.rfind("pid: ", 0) == 0)
                all.back().pid = std::stoi(line.substr(5));
            else if (line.rfind("TERM: ", 0) == 0)
                all.back().term = line.substr(6);
            else if (line.rfind("fd: ", 0) == 0)
                all.back().descriptors.push_back(line.substr(4));
        }
        return all;
    }

    TempFolder folder;
    fs::path report = folder / "report";
};

TEST_F(ResourceProgramTest, AdbInheritsNoDescriptorButTheStandardOnes)
{
    // The caller leaks two descriptors into the resource program.
    RunOptions o = options("partial-fail");
    o.shellWrapper = "exec 7</dev/null; exec 9</dev/null; exec \"$0\" \"$@\"";
    runResource({"devices"}, o);
    runResource({"-s", "S1", "pull", "-p", "/sdcard/a", (folder / "a").string()}, o);
    auto all = starts();
    ASSERT_EQ(all.size(), 3u);  // devices, the pull's size query, the pull
    for (const auto& start : all)
        EXPECT_TRUE(start.descriptors.empty())
            << start.argv << " inherited " << testing::PrintToString(start.descriptors);
}

TEST_F(ResourceProgramTest, PullRunsOnARedrawingTerminalAfterOneSizeQuery)
{
    auto r = runResource({"-s", "S1", "pull", "-p", "-a", "/sdcard/it's.jpg", (folder / "a").string()},
                         options("partial-fail"));
    auto all = starts();
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].argv, " -s S1 shell -x ls -ld '/sdcard/it'\\''s.jpg'");
    EXPECT_FALSE(all[0].tty);
    EXPECT_EQ(all[1].argv, " -s S1 pull -p -a /sdcard/it's.jpg " + (folder / "a").string());
    EXPECT_TRUE(all[1].tty);
    EXPECT_EQ(all[1].term, "xterm");
    // adb's failure keeps its status and its line, cleaned of terminal codes.
    EXPECT_TRUE(exitedWith(r, 1)) << r.exit.status << " " << r.exit.signal;
    EXPECT_EQ(r.out, "adb: error: failed to copy '/sdcard/it's.jpg': connection lost\n");
}

TEST_F(ResourceProgramTest, AFailedPullLeavesNoPartialFile)
{
    fs::path target = folder / "dest/a.jpg";
    fs::create_directories(target.parent_path());
    runResource({"pull", "-p", "/sdcard/a.jpg", target.string()}, options("partial-fail"));
    EXPECT_FALSE(fs::exists(target));

    // Pulled into a folder, the file takes the phone file's name.
    runResource({"pull", "-p", "/sdcard/b.jpg", target.parent_path().string()}, options("partial-fail"));
    EXPECT_FALSE(fs::exists(target.parent_path() / "b.jpg"));
    EXPECT_TRUE(fs::is_directory(target.parent_path()));
}

TEST_F(ResourceProgramTest, APullMakesTheFoldersItsFileGoesInto)
{
    fs::path target = folder / "export/DCIM/Camera/a.jpg";
    auto r = runResource({"pull", "-p", "-a", "/sdcard/DCIM/Camera/a.jpg", target.string()}, options("complete"));
    EXPECT_TRUE(exitedWith(r, 0)) << r.out << r.err;
    EXPECT_EQ(readFile(target), "the whole file");
}

struct Stop {
    const char* name;
    int signal;
    const char* pullMode;
    bool destinationExisted;
    bool destinationKept;
};

void PrintTo(const Stop& stop, std::ostream* os)
{
    *os << stop.name;
}

class ResourceStopTest : public ResourceProgramTest, public testing::WithParamInterface<Stop> {};

TEST_P(ResourceStopTest, StopsAdbAtOnceAndKeepsNoPartialFile)
{
    const Stop& stop = GetParam();
    fs::path target = folder / "a.jpg";
    if (stop.destinationExisted)
        folder.write("a.jpg", "the user's own file");
    RunOptions o = options(stop.pullMode);
    o.stopWhenStderrHas = "Transferring: 100/1000 (10%)\n";
    o.stopSignal = stop.signal;
    auto r = runResource({"pull", "-p", "/sdcard/a.jpg", target.string()}, o);
    ASSERT_TRUE(r.stopped) << r.err;
    EXPECT_FALSE(r.timedOut);
    // adb ended by the same signal, and so does the resource program.
    EXPECT_TRUE(endedBySignal(r, stop.signal)) << r.exit.exited << " " << r.exit.status << " " << r.exit.signal;
    EXPECT_LT(r.afterStop, 20s);  // not left to the watchdog
    if (stop.destinationKept)
        EXPECT_EQ(readFile(target), "the user's own file");
    else
        EXPECT_FALSE(fs::exists(target));
}

INSTANTIATE_TEST_SUITE_P(Signals, ResourceStopTest,
                         testing::Values(Stop{"Terminate", SIGTERM, "partial-hang", false, false},
                                         Stop{"Interrupt", SIGINT, "partial-hang", false, false},
                                         Stop{"HangUp", SIGHUP, "partial-hang", false, false},
                                         // adb had not opened the file yet: it is the user's.
                                         Stop{"BeforeAdbWrote", SIGTERM, "hang", true, true},
                                         // adb had overwritten it: only a part is left.
                                         Stop{"AfterAdbOverwrote", SIGTERM, "partial-hang", true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ResourceProgramTest, AdbEndsWhenTheResourceProgramIsKilled)
{
    RunOptions o = options("hang");
    o.stopWhenStderrHas = "(10%)";
    o.stopSignal = SIGKILL;
    auto r = runResource({"pull", "-p", "/sdcard/a.jpg", (folder / "a.jpg").string()}, o);
    ASSERT_TRUE(r.stopped);
    auto all = starts();
    ASSERT_EQ(all.size(), 2u);
    ASSERT_GT(all[1].pid, 0);
    // The orphaned adb is told by the kernel; a process descriptor reports
    // its end even though it is not our child.
    int exitFd = static_cast<int>(syscall(SYS_pidfd_open, all[1].pid, 0));
    if (exitFd < 0) {
        EXPECT_EQ(errno, ESRCH) << "pidfd_open";
        return;
    }
    pollfd ended{exitFd, POLLIN, 0};
    EXPECT_EQ(poll(&ended, 1, 10000), 1) << "adb still runs after the resource program was killed";
    close(exitFd);
}

TEST_F(ResourceProgramTest, AMissingAdbIsReportedWithWhatToInstall)
{
    RunOptions o = options();
    o.environment["ORVANE_ADB"] = (folder / "no-such-adb").string();
    auto r = runResource({"devices"}, o);
    EXPECT_TRUE(exitedWith(r, 127));
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("ORVANE_ADB"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find((folder / "no-such-adb").string()), std::string::npos) << r.err;
}

}  // namespace
