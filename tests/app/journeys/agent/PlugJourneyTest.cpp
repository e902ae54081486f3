// Plugging the phone in is all the user does: the agent, watching USB, starts
// Orvane for it, and Orvane's window loads the phone - its name, battery and
// storage asked of the phone's companion service. The real agent and the real
// application, with USB played by umockdev and the phone by the simulator.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <umockdev.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>

#include "phonesim/Simulator.h"
#include "tests/app/RunningProgram.h"
#include "tests/support/ProgramCopy.h"
#include "usbwatch/InstanceLock.h"

namespace orv {
namespace {

using namespace std::chrono_literals;

std::string phoneRecord(const std::string& serial)
{
    return "P: /devices/pci0000:00/0000:00:14.0/usb1/1-2\nN: bus/usb/001/009\nE: DEVNAME=/dev/bus/usb/001/009\n"
           "E: DEVTYPE=usb_device\nE: DRIVER=usb\nE: BUSNUM=001\nE: DEVNUM=009\nE: SUBSYSTEM=usb\nA: busnum=1\n"
           "A: devnum=9\nA: speed=480\nA: serial=" +
           serial +
           "\nA: product=Phone\n"
           "H: descriptors=1201000200000040d118e24e000101020301"
           "09022000010100c0fa0904000002ff4201000705810200020007050102000200\n";
}

// The application the agent started, detached: it becomes this process's
// child once its go-between exits (this process reaps orphans), and is
// killed and reaped here if the test leaves it running.
class StartedApplication {
public:
    explicit StartedApplication(pid_t pid) : pid_(pid) {}
    StartedApplication(const StartedApplication&) = delete;
    StartedApplication& operator=(const StartedApplication&) = delete;
    ~StartedApplication()
    {
        if (!reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    std::string arguments() const
    {
        std::ifstream file("/proc/" + std::to_string(pid_) + "/cmdline");
        std::string text(std::istreambuf_iterator<char>(file), {});
        std::replace(text.begin(), text.end(), '\0', ' ');
        return text;
    }
    // Its wait status once it has ended, or nothing at the deadline.
    std::optional<int> terminate()
    {
        ::kill(pid_, SIGTERM);
        std::optional<int> status;
        test::eventually(
            [&] {
                int raw = 0;
                if (::waitpid(pid_, &raw, WNOHANG) == pid_) {
                    status = raw;
                    reaped_ = true;
                }
                return status.has_value();
            },
            60s);
        return status;
    }

private:
    pid_t pid_;
    bool reaped_ = false;
};

// Name and battery come with the companion's device facts, the storage from
// the phone's shell.
bool askedForNameBatteryAndStorage(phonesim::Simulator& sim, const std::string& serial)
{
    constexpr int kDeviceInfo = 0x03;
    constexpr int kKeepAlive = 0x05;  // answered with the same facts
    bool facts = false;
    bool storage = false;
    for (const auto& event : sim.log(serial, "companion"))
        facts = facts || event.value("cmd", -1) == kDeviceInfo || event.value("cmd", -1) == kKeepAlive;
    for (const auto& event : sim.log(serial, "adb"))
        for (const auto& argument : event.value("argv", nlohmann::json::array()))
            storage = storage || (argument.is_string() && argument.get<std::string>().rfind("df ", 0) == 0);
    return facts && storage;
}

TEST(PlugJourney, TheAgentStartsTheApplicationWhoseWindowLoadsThePhone)
{
    const char* preload = std::getenv("LD_PRELOAD");
    if (!preload || !std::strstr(preload, "libumockdev-preload"))
        GTEST_SKIP() << "needs umockdev-wrapper (LD_PRELOAD of libumockdev-preload)";
    ASSERT_EQ(::prctl(PR_SET_CHILD_SUBREAPER, 1), 0);

    phonesim::Options options;
    options.mode = "current";  // the application's own adb program speaks to the stand-in
    auto sim = phonesim::Simulator::start(options);
    const std::string serial = sim->serial();
    std::unique_ptr<UMockdevTestbed, decltype(&g_object_unref)> testbed(umockdev_testbed_new(), g_object_unref);
    GError* error = nullptr;
    ASSERT_TRUE(umockdev_testbed_add_from_string(testbed.get(), phoneRecord(serial).c_str(), &error))
        << (error ? error->message : "");

    // The agent and the application share a runtime folder, where the
    // application's one-copy lock names it, and a resource folder of their
    // own that also holds the simulator's companion installer.
    std::string work = "/tmp/orvane-plug-XXXXXX";
    ASSERT_TRUE(::mkdtemp(work.data()));
    struct Remove {
        std::string path;
        ~Remove() { std::filesystem::remove_all(path); }
    } removeWork{work};
    const std::string runtime = work + "/runtime";
    std::filesystem::create_directory(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    const std::string resources = test::copyResources(ORVANE_RESOURCES, work);
    std::filesystem::copy_file(sim->resourceDir() / "Tidewell.apk", resources + "/Tidewell.apk");
    // An application started without a phone (another test's) ends every
    // agent run from its own folder: this agent runs from a folder of its own.
    const std::string agentProgram = test::copyProgram(ORVANE_AGENT_PROGRAM, work + "/agent").string();
    std::vector<std::string> environment = sim->environment();
    environment.push_back("XDG_RUNTIME_DIR=" + runtime);
    environment.push_back("ORVANE_RESOURCE_DIR=" + resources);
    const char* leakOptions = std::getenv("LSAN_OPTIONS");
    environment.push_back("LSAN_OPTIONS=" + std::string(leakOptions ? std::string(leakOptions) + ":" : "") +
                          "suppressions=" ORVANE_SOURCE_DIR "/tests/app/journeys/agent/lsan-suppressions.txt");

    test::Program agent(agentProgram, {"--application", ORVANE_PROGRAM}, environment, {},
                        test::Program::Errors::Kept);
    ASSERT_TRUE(agent.started());
    std::optional<pid_t> pid;
    ASSERT_TRUE(agent.runsUntil([&] { return (pid = usb::InstanceLock::holder(usb::kApplicationLockName)).has_value(); },
                                60s))
        << agent.errors();
    StartedApplication application(*pid);
    EXPECT_NE(application.arguments().find(" -s " + serial + ":"), std::string::npos) << application.arguments();

    EXPECT_TRUE(test::eventually([&] { return askedForNameBatteryAndStorage(*sim, serial); }, 60s))
        << "the window did not ask the phone for its name, battery and storage; the phone saw "
        << sim->log(serial, "adb").dump();

    const auto status = application.terminate();
    EXPECT_TRUE(test::exitedCleanly(status)) << agent.errors();
    ASSERT_EQ(::kill(agent.pid(), SIGTERM), 0);
    EXPECT_TRUE(test::exitedCleanly(agent.waitForExit())) << agent.errors();
}

}  // namespace
}  // namespace orv
