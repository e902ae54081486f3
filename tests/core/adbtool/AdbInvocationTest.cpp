// How each command line the bridge sends is split and rewritten before
// Debian's adb sees it.
#include "core/adbtool/AdbInvocation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using orv::adbtool::AdbInvocation;
using orv::adbtool::Plan;
using orv::adbtool::planInvocation;
using orv::adbtool::TransferDirection;
using Args = std::vector<std::string>;

Plan plan(const Args& argv)
{
    return planInvocation(AdbInvocation::parse(argv));
}

TEST(AdbInvocationTest, SplitsGlobalOptionsWithTheirValuesFromTheCommand)
{
    auto invocation = AdbInvocation::parse({"-s", "pull", "-P", "5038", "-d", "pull", "-p", "x"});
    EXPECT_EQ(invocation.globals, (Args{"-s", "pull", "-P", "5038", "-d"}));
    EXPECT_EQ(invocation.command, "pull");
    EXPECT_EQ(invocation.args, (Args{"-p", "x"}));
    EXPECT_EQ(invocation.toArgv(), (Args{"-s", "pull", "-P", "5038", "-d", "pull", "-p", "x"}));

    auto bare = AdbInvocation::parse({"-s", "SERIAL"});
    EXPECT_EQ(bare.command, "");
    EXPECT_EQ(bare.toArgv(), (Args{"-s", "SERIAL"}));
}

struct Rewrite {
    Args in;
    Plan::How how;
    Args out;
};

class AdbInvocationRewriteTest : public testing::TestWithParam<Rewrite> {};

TEST_P(AdbInvocationRewriteTest, RunsAdbWithTheseArguments)
{
    Plan p = plan(GetParam().in);
    EXPECT_EQ(p.how, GetParam().how);
    EXPECT_EQ(p.argv, GetParam().out);
}

INSTANTIATE_TEST_SUITE_P(
    Commands, AdbInvocationRewriteTest,
    testing::Values(
        // The phone's two output streams come back merged on standard output,
        // and adb's exit status is kept.
        Rewrite{{"-s", "S1", "shell", "ls -a \"/sdcard/x\""}, Plan::How::ExecMergingStderr,
                {"-s", "S1", "shell", "ls -a \"/sdcard/x\""}},
        Rewrite{{"shell", "ls"}, Plan::How::ExecMergingStderr, {"shell", "ls"}},
        // A serial that reads like a command is still the serial.
        Rewrite{{"-s", "shell", "shell", "id"}, Plan::How::ExecMergingStderr, {"-s", "shell", "shell", "id"}},
        // The install location after the package is no package for current adb.
        Rewrite{{"-s", "S1", "install", "-r", "/opt/o/Tidewell.apk", "/system/app"},
                Plan::How::ExecMergingStderr, {"-s", "S1", "install", "-r", "/opt/o/Tidewell.apk"}},
        Rewrite{{"install", "-r", "/a/App.APK"}, Plan::How::ExecMergingStderr,
                {"install", "-r", "/a/App.APK"}},
        // Nothing is dropped before the package: it may be an option's value.
        Rewrite{{"install", "--abi", "x86", "a.apk", "/system/app", "-g"}, Plan::How::ExecMergingStderr,
                {"install", "--abi", "x86", "a.apk", "-g"}},
        Rewrite{{"devices"}, Plan::How::Exec, {"devices"}},
        Rewrite{{"start-server"}, Plan::How::Exec, {"start-server"}},
        Rewrite{{"-s", "S1", "forward", "tcp:11000", "tcp:10086"}, Plan::How::Exec,
                {"-s", "S1", "forward", "tcp:11000", "tcp:10086"}},
        Rewrite{{"forward", "--list"}, Plan::How::Exec, {"forward", "--list"}},
        Rewrite{{}, Plan::How::Exec, {}},
        // Transfers run unchanged, under supervision.
        Rewrite{{"-s", "S1", "pull", "-p", "-a", "/sdcard/a b.jpg", "/tmp/x/a b.jpg"},
                Plan::How::SuperviseTransfer,
                {"-s", "S1", "pull", "-p", "-a", "/sdcard/a b.jpg", "/tmp/x/a b.jpg"}},
        Rewrite{{"push", "-p", "/h/f", "/sdcard/f"}, Plan::How::SuperviseTransfer,
                {"push", "-p", "/h/f", "/sdcard/f"}}));

TEST(AdbInvocationTest, TransfersKnowTheirTwoPathsOnlyInTheSingleSourceForm)
{
    Plan pull = plan({"-s", "S1", "pull", "-p", "-a", "/sdcard/DCIM/a.jpg", "/home/u/a.jpg"});
    EXPECT_EQ(pull.transfer.direction, TransferDirection::Pull);
    EXPECT_TRUE(pull.transfer.singleSource);
    EXPECT_EQ(pull.transfer.remote, "/sdcard/DCIM/a.jpg");
    EXPECT_EQ(pull.transfer.local, "/home/u/a.jpg");

    Plan push = plan({"push", "-p", "/home/u/a.jpg", "/sdcard/Download/a.jpg"});
    EXPECT_EQ(push.transfer.direction, TransferDirection::Push);
    EXPECT_TRUE(push.transfer.singleSource);
    EXPECT_EQ(push.transfer.local, "/home/u/a.jpg");
    EXPECT_EQ(push.transfer.remote, "/sdcard/Download/a.jpg");

    Plan here = plan({"pull", "/sdcard/a.jpg"});
    EXPECT_TRUE(here.transfer.singleSource);
    EXPECT_EQ(here.transfer.local, ".");

    // After "--" a leading dash is part of a path.
    Plan dashed = plan({"pull", "-p", "--", "-odd", "/tmp/-odd"});
    EXPECT_EQ(dashed.transfer.remote, "-odd");
    EXPECT_EQ(dashed.transfer.local, "/tmp/-odd");

    EXPECT_FALSE(plan({"push", "/h/a", "/h/b", "/sdcard/"}).transfer.singleSource);
    EXPECT_FALSE(plan({"pull"}).transfer.singleSource);
}

}  // namespace
