// The OrvaneAgent program end to end: run under umockdev-wrapper, it sees
// the phones of this test's testbed through the real libusb backend, finds
// the shipped resource beside its bin folder and starts a stand-in
// application.

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/prctl.h>
#include <umockdev.h>

#include <cstdlib>
#include <cstring>

#include "AgentTestSupport.h"
#include "support/ProgramCopy.h"

extern char** environ;

namespace orv::agent::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

std::string phoneRecord(const std::string& name, int devnum, const std::string& serial) {
    char number[8];
    std::snprintf(number, sizeof number, "%03d", devnum);
    return "P: /devices/pci0000:00/0000:00:14.0/usb1/" + name + "\nN: bus/usb/001/" + number +
           "\nE: DEVNAME=/dev/bus/usb/001/" + number + "\nE: DEVTYPE=usb_device\nE: DRIVER=usb\nE: BUSNUM=001\nE: DEVNUM=" +
           number + "\nE: SUBSYSTEM=usb\nA: busnum=1\nA: devnum=" + std::to_string(devnum) +
           "\nA: speed=480\nA: serial=" + serial +
           "\nA: product=Phone\n"
           "H: descriptors=1201000200000040d118e24e000101020301"
           "09022000010100c0fa0904000002ff4201000705810200020007050102000200\n";
}

class OrvaneAgentTest : public ::testing::Test {
protected:
    void SetUp() override {
        const char* preload = std::getenv("LD_PRELOAD");
        if (!preload || !std::strstr(preload, "libumockdev-preload"))
            GTEST_SKIP() << "needs umockdev-wrapper (LD_PRELOAD of libumockdev-preload)";
        ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);
        testbed = umockdev_testbed_new();
        ::setenv("XDG_RUNTIME_DIR", runtime.path().c_str(), 1);
        ::unsetenv("ORVANE_RESOURCE_DIR");  // the agent must find bin/../resources itself
    }
    void TearDown() override {
        for (pid_t pid : agents) waitForExit(pid, std::chrono::seconds(0));
        if (testbed) g_object_unref(testbed);
    }

    void add(const std::string& record) {
        GError* error = nullptr;
        ASSERT_TRUE(umockdev_testbed_add_from_string(testbed, record.c_str(), &error)) << (error ? error->message : "");
    }

    pid_t startAgent(const std::string& output) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const auto log = (work.path() / output).string();
        posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_adddup2(&actions, 1, 2);
        std::string application = standIn.string();
        const std::string program = agentProgram.string();
        const char* argv[] = {program.c_str(), "--application", application.c_str(), nullptr};
        pid_t pid = 0;
        int result = posix_spawn(&pid, program.c_str(), &actions, nullptr, const_cast<char**>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (result != 0) return 0;
        agents.push_back(pid);
        return pid;
    }

    UMockdevTestbed* testbed = nullptr;
    usb::testing::TempDir runtime, work;
    std::filesystem::path record = work.path() / "launched";
    std::filesystem::path standIn = writeStandIn(work.path(), record);
    // Run from a folder of its own: an application started without a phone
    // (another test's) ends every agent run from the application's folder.
    std::filesystem::path agentProgram = orv::test::copyProgram(ORVANE_AGENT_PROGRAM, work.path() / "build");
    std::vector<pid_t> agents;
};

TEST_F(OrvaneAgentTest, StartsTheApplicationForAPhoneAndEndsCleanly) {
    add(phoneRecord("1-2", 9, "AGENT-SERIAL"));
    const pid_t agent = startAgent("agent.log");
    ASSERT_GT(agent, 0);

    ASSERT_TRUE(waitForFile(record, std::chrono::seconds(30))) << readAll(work.path() / "agent.log");
    auto lines = readLines(record);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_THAT(std::vector<std::string>(lines.begin() + 1, lines.end()),
                ElementsAre("-s", "AGENT-SERIAL:18874368:9"));
    auto standInExit = waitForExit(static_cast<pid_t>(std::stol(lines[0])), std::chrono::seconds(20));
    EXPECT_TRUE(standInExit);

    // A second agent leaves at once: one agent per user.
    const pid_t second = startAgent("second.log");
    ASSERT_GT(second, 0);
    auto secondExit = waitForExit(second, std::chrono::seconds(30));
    agents.pop_back();
    ASSERT_TRUE(secondExit);
    EXPECT_TRUE(WIFEXITED(*secondExit) && WEXITSTATUS(*secondExit) == 0);
    EXPECT_THAT(readAll(work.path() / "second.log"),
                HasSubstr("another copy is running (pid " + std::to_string(agent) + ")"));

    ASSERT_EQ(::kill(agent, SIGTERM), 0);
    auto agentExit = waitForExit(agent, std::chrono::seconds(30));
    agents.clear();
    ASSERT_TRUE(agentExit);
    EXPECT_TRUE(WIFEXITED(*agentExit) && WEXITSTATUS(*agentExit) == 0);
    EXPECT_THAT(readAll(work.path() / "agent.log"), HasSubstr("ending on signal 15"));
}

}  // namespace
}  // namespace orv::agent::testing
