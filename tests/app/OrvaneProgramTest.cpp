// Starts the Orvane program and checks that it stops cleanly: after start-up
// on request, and on SIGTERM or SIGINT, also with a phone's window open. The
// program ends every process of its own adb resource at start and at exit, so
// it runs with a private copy of the resources: the build's own adb resource
// belongs to tests running beside.

#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "RunningProgram.h"
#include "phonesim/Simulator.h"

namespace {

using namespace std::chrono_literals;
using orv::test::exitedCleanly;

// The build's Orvane on a private copy of the build's resources.
class Program : public orv::test::Program {
public:
    explicit Program(std::vector<std::string> arguments, const std::vector<std::string>& extraEnvironment = {})
        : orv::test::Program(ORVANE_PROGRAM, std::move(arguments), extraEnvironment, ORVANE_RESOURCES)
    {
    }
};

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
    EXPECT_EQ(orv::test::opensThePhoneAndQuitsOnTermination(ORVANE_PROGRAM, serial, sim->environment(), ORVANE_RESOURCES,
                                                             [&] { return !sim->log(serial, "adb").empty(); }),
              "");
}

// Another program running the build's adb resource (a test beside this one)
// outlives the program's start and exit.
TEST(OrvaneProgramTest, LeavesAdbResourcesItDoesNotOwnAlone)
{
    orv::test::AdbResourceAtWork neighbour(std::string(ORVANE_RESOURCES) + "/adb");
    ASSERT_TRUE(neighbour.started());
    ASSERT_TRUE(neighbour.waitUntilWorking());

    Program program({"--quit-after-start"});
    ASSERT_TRUE(program.started());
    EXPECT_TRUE(exitedCleanly(program.waitForExit()));
    EXPECT_TRUE(neighbour.running()) << "the neighbour's adb resource was ended";
}

}  // namespace
