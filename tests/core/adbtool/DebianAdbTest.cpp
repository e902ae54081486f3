// The resource program in front of the real Debian adb, where it is
// installed. No phone is attached: the server is started on a private port,
// with a private home and temporary folder, and stopped at the end.
#include <poll.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "LoopbackPhone.h"
#include "ProgressChecks.h"
#include "ResourceRun.h"
#include "TempFolder.h"

namespace {

using namespace orv::adbtool::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

const char* const kDebianAdb = "/usr/bin/adb";

class DebianAdbTest : public testing::Test {
protected:
    void SetUp() override
    {
        if (access(kDebianAdb, X_OK) != 0)
            GTEST_SKIP() << "Debian's adb is not installed";
        port = std::to_string(freeLoopbackPort());
        run.environment = {{"ORVANE_ADB", kDebianAdb},
                           {"ANDROID_ADB_SERVER_PORT", port},
                           {"HOME", folder.path().string()},
                           {"TMPDIR", folder.path().string()}};
    }

    void TearDown() override
    {
        if (port.empty())
            return;
        std::vector<pid_t> servers = serverProcesses();
        orv::Process::Options o;
        o.program = kDebianAdb;
        o.arguments = {"-P", port, "kill-server"};
        o.environment = environmentWith(run.environment);
        o.standardInput = orv::Process::Input::Null;
        orv::Process killServer(o);
        if (killServer.start())
            killServer.run();
        for (pid_t pid : servers)
            waitForEnd(pid);
    }

    // The adb servers listening on this test's port.
    std::vector<pid_t> serverProcesses() const
    {
        std::vector<pid_t> found;
        const std::string listen = "tcp:" + port;
        for (const auto& entry : fs::directory_iterator("/proc")) {
            std::ifstream in(entry.path() / "cmdline", std::ios::binary);
            std::vector<std::string> args;
            for (std::string arg; std::getline(in, arg, '\0');)
                args.push_back(arg);
            bool server = false, ours = false;
            for (const auto& arg : args) {
                server = server || arg == "fork-server";
                ours = ours || arg == listen;
            }
            if (server && ours)
                found.push_back(std::stoi(entry.path().filename().string()));
        }
        return found;
    }

    // Waits for a server that is no child of ours to end; kills it if it
    // will not.
    static void waitForEnd(pid_t pid)
    {
        int fd = static_cast<int>(syscall(SYS_pidfd_open, pid, 0));
        if (fd < 0)
            return;  // already gone
        pollfd ended{fd, POLLIN, 0};
        if (poll(&ended, 1, 10000) != 1) {
            ADD_FAILURE() << "the adb server " << pid << " did not stop";
            syscall(SYS_pidfd_send_signal, fd, SIGKILL, nullptr, 0);
        }
        close(fd);
    }

    TempFolder folder;
    std::string port;
    RunOptions run;
};

TEST_F(DebianAdbTest, ReportsItsVersionAndAnEmptyDeviceList)
{
    auto version = runResource({"version"}, run);
    EXPECT_TRUE(exitedWith(version, 0)) << version.err;
    EXPECT_EQ(version.out.rfind("Android Debug Bridge version ", 0), 0u) << version.out;

    auto devices = runResource({"devices"}, run);
    EXPECT_TRUE(exitedWith(devices, 0)) << devices.err;
    EXPECT_EQ(devices.out, "List of devices attached\n\n");
    EXPECT_FALSE(serverProcesses().empty()) << "no server on the private port";
}

// adb writes to the terminal it is given; what comes back is its plain error
// line on standard output and its status.
TEST_F(DebianAdbTest, TransfersWithoutAPhoneFailAsAdbDoes)
{
    fs::path source = folder.write("upload.bin", "content");
    fs::path target = folder / "download.bin";
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"pull", "-p", "-a", "/sdcard/x.jpg", target.string()},
             {"push", "-p", source.string(), "/sdcard/upload.bin"}}) {
        auto r = runResource(args, run);
        EXPECT_TRUE(exitedWith(r, 1)) << args[0] << ": " << r.err;
        EXPECT_EQ(r.out.rfind("adb: error: ", 0), 0u) << args[0] << ": " << r.out;
        EXPECT_EQ(r.out.find_first_of("\r\x1b"), std::string::npos) << r.out;
        EXPECT_EQ(r.out.back(), '\n');
        EXPECT_EQ(r.err.find("Transferring"), std::string::npos) << r.err;
    }
    EXPECT_FALSE(fs::exists(target));
}

// A phone on loopback stands in for one on USB: the same adb client, server
// and transfer code run, and adb draws its progress on the resource
// program's terminal.
class DebianAdbPhoneTest : public DebianAdbTest {
protected:
    static constexpr uint64_t kSize = 2 * 1000 * 1000;

    void SetUp() override
    {
        DebianAdbTest::SetUp();
        if (IsSkipped())
            return;
        content = randomBytes(kSize);
        folder.write("phone/DCIM/big.jpg", content);
        phone = std::make_unique<LoopbackPhone>(folder / "phone", 2 * 1000 * 1000);
        ASSERT_NE(phone->port(), 0) << "the loopback phone did not start";
        auto connect = runResource({"connect", phone->serial()}, run);
        ASSERT_NE(connect.out.find("connected to " + phone->serial()), std::string::npos) << connect.out;
    }

    void TearDown() override
    {
        DebianAdbTest::TearDown();  // the server lets go of the phone first
        phone.reset();
    }

    ResourceResult adb(std::vector<std::string> args, RunOptions o) const
    {
        args.insert(args.begin(), {"-s", phone->serial()});
        return runResource(args, o);
    }

    std::string content;
    std::unique_ptr<LoopbackPhone> phone;
};

TEST_F(DebianAdbPhoneTest, PullAndPushReportLiveProgress)
{
    fs::path target = folder / "export/DCIM/big.jpg";  // folders made for the pull
    auto pull = adb({"pull", "-p", "-a", "/sdcard/DCIM/big.jpg", target.string()}, run);
    EXPECT_TRUE(exitedWith(pull, 0)) << pull.err;
    expectLiveProgress(pull.err, kSize);
    EXPECT_EQ(pull.out.rfind("/sdcard/DCIM/big.jpg: 1 file pulled, 0 skipped.", 0), 0u) << pull.out;
    EXPECT_EQ(pull.out.find_first_of("\r\x1b"), std::string::npos) << pull.out;
    EXPECT_EQ(readFile(target), content);

    auto push = adb({"push", "-p", target.string(), "/sdcard/Download/big.jpg"}, run);
    EXPECT_TRUE(exitedWith(push, 0)) << push.err;
    expectLiveProgress(push.err, kSize);
    EXPECT_NE(push.out.find("1 file pushed"), std::string::npos) << push.out;
    EXPECT_EQ(readFile(folder / "phone/Download/big.jpg"), content);
}

// adb itself leaves what it had written when it is stopped.
TEST_F(DebianAdbPhoneTest, AStoppedPullLeavesNoPartialFile)
{
    fs::path target = folder / "big.jpg";
    RunOptions o = run;
    o.stopWhenStderrHas = "Transferring: ";
    auto r = adb({"pull", "-p", "-a", "/sdcard/DCIM/big.jpg", target.string()}, o);
    ASSERT_TRUE(r.stopped) << r.err;
    EXPECT_TRUE(endedBySignal(r, SIGTERM));
    EXPECT_LT(r.afterStop, 20s);  // not left to the watchdog
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(DebianAdbPhoneTest, PullOfAMissingFileFails)
{
    fs::path target = folder / "none.jpg";
    auto r = adb({"pull", "-p", "-a", "/sdcard/DCIM/none.jpg", target.string()}, run);
    EXPECT_TRUE(exitedWith(r, 1));
    EXPECT_EQ(r.out, "adb: error: remote object '/sdcard/DCIM/none.jpg' does not exist\n");
    EXPECT_TRUE(bridgeProgressMatches(r.err).empty()) << r.err;
    EXPECT_FALSE(fs::exists(target));
}

// This phone offers the newer shell protocol, which keeps its error output
// apart, as phones do; the resource program asks for the merged form, where
// the bridge finds what the phone's tools report.
TEST_F(DebianAdbPhoneTest, ShellErrorsOfThePhoneReachStandardOutput)
{
    auto r = adb({"shell", "ls -a \"/sdcard/not here\""}, run);
    EXPECT_TRUE(exitedWith(r, 1)) << r.err;
    EXPECT_EQ(r.out, "ls: /sdcard/not here: No such file or directory\n");

    orv::Process::Options direct;
    direct.program = kDebianAdb;
    direct.arguments = {"-s", phone->serial(), "shell", "ls -a \"/sdcard/not here\""};
    direct.environment = environmentWith(run.environment);
    direct.standardInput = orv::Process::Input::Null;
    orv::Process plain(direct);
    ASSERT_TRUE(plain.start());
    plain.run();
    EXPECT_EQ(plain.standardOutput().find("No such"), std::string::npos) << plain.standardOutput();
}

TEST_F(DebianAdbTest, ClientErrorsOfAShellArriveMergedWithTheirStatus)
{
    auto r = runResource({"shell", "ls"}, run);
    EXPECT_TRUE(exitedWith(r, 1));
    EXPECT_NE(r.out.find("error: no devices/emulators found"), std::string::npos) << r.out;
}

}  // namespace
