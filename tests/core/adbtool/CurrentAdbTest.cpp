// End to end: the resource program in front of a simulated phone whose adb
// behaves as Debian's adb 29 does (silent transfers unless on a terminal,
// shell streams kept apart, one package per install).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>

#include "ProgressChecks.h"
#include "ResourceRun.h"
#include "TempFolder.h"
#include "phonesim/Simulator.h"

namespace {

using namespace orv::adbtool::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

constexpr uint64_t kBigSize = 2 * 1000 * 1000;

class CurrentAdbTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        phonesim::Options o;
        o.mode = "current";
        sim = phonesim::Simulator::start(o).release();
        serial = sim->serial();
        big = randomBytes(kBigSize);
    }
    static void TearDownTestSuite()
    {
        delete sim;
        sim = nullptr;
    }
    void SetUp() override
    {
        sim->set(serial, "transfer-rate", "0");
        sim->misbehave(serial, "install-unknown-sources", false);
    }

    ResourceResult adb(std::vector<std::string> args, RunOptions o = {}) const
    {
        args.insert(args.begin(), {"-s", serial});
        o.environment["ORVANE_ADB"] = sim->adbPath().string();
        return runResource(args, o);
    }

    static bool noProgress(const std::string& err) { return bridgeProgressMatches(err).empty(); }

    static phonesim::Simulator* sim;
    static std::string serial;
    static std::string big;
    TempFolder folder;
};

phonesim::Simulator* CurrentAdbTest::sim = nullptr;
std::string CurrentAdbTest::serial;
std::string CurrentAdbTest::big;

TEST_F(CurrentAdbTest, PullOfALargeSlowFileReportsProgressAsItGoes)
{
    std::ofstream(sim->phoneRoot(serial) / "big.bin", std::ios::binary) << big;
    sim->set(serial, "transfer-rate", "2000000");
    fs::path target = folder / "copy of big.bin";
    auto r = adb({"pull", "-p", "-a", "/storage/emulated/legacy/big.bin", target.string()});
    EXPECT_TRUE(exitedWith(r, 0)) << r.err;
    expectLiveProgress(r.err, kBigSize);
    EXPECT_NE(r.out.find("1 file pulled"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\r'), std::string::npos);
    EXPECT_EQ(readFile(target), big);
}

TEST_F(CurrentAdbTest, PushOfALargeSlowFileReportsProgressAsItGoes)
{
    fs::path source = folder.write("big upload.bin", big);
    sim->set(serial, "transfer-rate", "2000000");
    auto r = adb({"push", "-p", source.string(), "/storage/emulated/legacy/Download/big upload.bin"});
    EXPECT_TRUE(exitedWith(r, 0)) << r.err;
    expectLiveProgress(r.err, kBigSize);
    EXPECT_NE(r.out.find("1 file pushed"), std::string::npos) << r.out;
    EXPECT_EQ(readFile(sim->phoneRoot(serial) / "Download/big upload.bin"), big);
}

TEST_F(CurrentAdbTest, PullOfAMissingFileFails)
{
    fs::path target = folder / "nothing";
    auto r = adb({"pull", "-p", "-a", "/sdcard/no such file.jpg", target.string()});
    EXPECT_TRUE(exitedWith(r, 1));
    EXPECT_EQ(r.out, "adb: error: remote object '/sdcard/no such file.jpg' does not exist\n");
    EXPECT_TRUE(noProgress(r.err)) << r.err;
    EXPECT_FALSE(fs::exists(target));
}

TEST_F(CurrentAdbTest, StoppingAPullEndsItAtOnceWithoutAFile)
{
    std::ofstream(sim->phoneRoot(serial) / "slow.bin", std::ios::binary) << big;
    sim->set(serial, "transfer-rate", "40000");  // fifty seconds in all
    fs::path target = folder / "slow.bin";
    RunOptions o;
    o.stopWhenStderrHas = "Transferring: ";
    auto r = adb({"pull", "-p", "-a", "/sdcard/slow.bin", target.string()}, o);
    ASSERT_TRUE(r.stopped) << r.err;
    EXPECT_TRUE(endedBySignal(r, SIGTERM));
    EXPECT_LT(r.afterStop, 20s);  // far sooner than the transfer would end
    EXPECT_TRUE(sim->waitIdle(10s)) << "the phone goes on sending";
    EXPECT_FALSE(fs::exists(target));
}

// What the phone's tools print as errors reaches standard output, where the
// bridge looks for it, and the command's failure is adb's exit status; asked
// directly, this adb keeps the text on standard error.
TEST_F(CurrentAdbTest, ShellErrorsOfThePhoneReachStandardOutputWithTheirStatus)
{
    struct Case {
        std::string command, expected;
    };
    for (const Case& c : {Case{"ls -a \"/sdcard/not here\"", "No such"},
                          Case{"test -d /sdcard/DCIM/ && grep \"poet\" /sdcard/DCIM/", ": Is a directory"}}) {
        auto direct = sim->adb({"-s", serial, "shell", c.command});
        EXPECT_EQ(direct.out.find(c.expected), std::string::npos) << direct.out;
        auto r = adb({"shell", c.command});
        EXPECT_NE(r.out.find(c.expected), std::string::npos) << c.command << ": " << r.out;
        EXPECT_FALSE(exitedWith(r, 0)) << c.command;
    }
    EXPECT_TRUE(exitedWith(adb({"shell", "ls -a /sdcard/DCIM"}), 0));
}

TEST_F(CurrentAdbTest, InstallAnswersOnStandardOutput)
{
    std::string apk = (sim->resourceDir() / "Tidewell.apk").string();
    auto r = adb({"install", "-r", apk, "/system/app"});
    EXPECT_NE(r.out.find("Success"), std::string::npos) << r.out << r.err;

    sim->misbehave(serial, "install-unknown-sources");
    r = adb({"install", "-r", apk, "/system/app"});
    EXPECT_NE(r.out.find("[INSTALL_FAILED_UNKNOWN_SOURCES"), std::string::npos) << r.out << r.err;
}

TEST_F(CurrentAdbTest, OtherCommandsPassThrough)
{
    RunOptions o;
    o.environment["ORVANE_ADB"] = sim->adbPath().string();
    auto devices = runResource({"devices"}, o);
    EXPECT_TRUE(exitedWith(devices, 0));
    EXPECT_EQ(devices.out, "List of devices attached\n" + serial + "\tdevice\n\n");

    const std::string local = "tcp:" + std::to_string(freeLoopbackPort());
    auto forward = adb({"forward", local, "tcp:10086"});
    EXPECT_TRUE(exitedWith(forward, 0)) << forward.err;
    auto list = adb({"forward", "--list"});
    EXPECT_NE(list.out.find(serial + " " + local + " tcp:10086\n"), std::string::npos) << list.out;
    EXPECT_TRUE(exitedWith(adb({"forward", "--remove", local}), 0));

    // A shell's output is merged, adb's own complaint included.
    auto offline = runResource({"-s", "NOSUCHPHONE", "shell", "true"}, o);
    EXPECT_TRUE(exitedWith(offline, 1));
    EXPECT_NE(offline.out.find("not found"), std::string::npos) << offline.out;
}

}  // namespace
