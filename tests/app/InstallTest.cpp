// Installs this build tree with `cmake --install` into a private prefix and
// checks what a user meets there: the programs, their libraries found from
// where they lie, the resource folder, the icon and the desktop entries, and
// the installed Orvane running on its installed resources alone.

#include <gtest/gtest.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QFile>
#include <QStandardPaths>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "RunningProgram.h"
#include "app/shell/LaunchAtLoginController.h"
#include "phonesim/Simulator.h"
#include "platform/Process.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using orv::test::exitedCleanly;

namespace {

struct ToolRun {
    bool succeeded = false;  // exited with 0
    std::string output;      // standard output and error
};

// Runs a tool to its end; one still running at the deadline is killed.
ToolRun runTool(const std::string& program, const std::vector<std::string>& arguments,
                std::chrono::milliseconds timeout = 60s)
{
    orv::Process::Options options;
    options.program = program;
    options.arguments = arguments;
    options.standardInput = orv::Process::Input::Null;
    // Nothing inherited may move the installation or the libraries found.
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry(*e);
        if (entry.rfind("DESTDIR=", 0) != 0 && entry.rfind("LD_LIBRARY_PATH=", 0) != 0)
            environment.push_back(entry);
    }
    options.environment = environment;
    orv::Process process(options);
    orv::Error error;
    if (!process.start(&error))
        return {false, error.description()};
    std::mutex mutex;
    std::condition_variable ended;
    bool done = false;
    std::thread watchdog([&] {
        std::unique_lock lock(mutex);
        if (!ended.wait_for(lock, timeout, [&] { return done; }))
            process.kill();
    });
    const auto exit = process.run();
    {
        std::lock_guard lock(mutex);
        done = true;
    }
    ended.notify_one();
    watchdog.join();
    return {exit.exited && exit.status == 0, process.standardOutput() + process.standardError()};
}

std::string contentsOf(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class InstallTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A blank in the prefix: the desktop entries must quote the paths they name.
        char pattern[] = "/tmp/orvane install-XXXXXX";
        ASSERT_TRUE(::mkdtemp(pattern));
        prefix_ = pattern;
        const auto install = runTool(ORVANE_CMAKE, {"--install", ORVANE_BINARY_DIR, "--prefix", prefix_.string()});
        ASSERT_TRUE(install.succeeded) << install.output;
    }
    void TearDown() override { fs::remove_all(prefix_); }

    fs::path bin() const { return prefix_ / ORVANE_INSTALL_BINDIR; }
    fs::path libraries() const { return prefix_ / ORVANE_INSTALL_LIBDIR; }
    fs::path resources() const { return libraries() / "orvane" / "resources"; }
    fs::path applications() const { return prefix_ / ORVANE_INSTALL_DATADIR / "applications"; }

    fs::path prefix_;
};

TEST_F(InstallTest, InstallsProgramsTheirLibrariesAndTheResourceFolder)
{
    for (const fs::path& program : {bin() / "Orvane", bin() / "OrvaneAgent", resources() / "adb"})
        EXPECT_EQ(::access(program.c_str(), X_OK), 0) << program << " is missing or not executable";
    // Every resource the build tree's programs find is installed too (the
    // build's resource folder is also CMake's folder for resources/).
    const fs::path buildResources = fs::path(ORVANE_BINARY_DIR) / "resources";
    for (const auto& entry : fs::directory_iterator(buildResources)) {
        if (entry.is_regular_file() && entry.path().extension() != ".cmake") {
            EXPECT_TRUE(fs::exists(resources() / entry.path().filename())) << entry.path().filename();
        }
    }
    EXPECT_TRUE(fs::exists(resources() / "Localizable.json"));

    // Each program and library loads our libraries from the prefix, not from
    // the build tree; nothing it needs is missing.
    for (const fs::path& binary : {bin() / "Orvane", bin() / "OrvaneAgent", resources() / "adb",
                                   libraries() / "libOrvaneCore.so", libraries() / "liborvaneplatform.so"}) {
        SCOPED_TRACE(binary.string());
        ASSERT_TRUE(fs::exists(binary));
        const auto ldd = runTool("ldd", {binary.string()});
        ASSERT_TRUE(ldd.succeeded) << ldd.output;
        EXPECT_EQ(ldd.output.find("not found"), std::string::npos) << ldd.output;
        std::istringstream lines(ldd.output);
        int ours = 0;
        for (std::string line; std::getline(lines, line);) {
            if (line.find("libOrvaneCore.so") == std::string::npos && line.find("liborvaneplatform.so") == std::string::npos)
                continue;
            const auto arrow = line.find("=> ");
            ASSERT_NE(arrow, std::string::npos) << line;
            const std::string path = line.substr(arrow + 3, line.rfind(" (") - arrow - 3);
            std::error_code error;
            EXPECT_EQ(fs::canonical(path, error).parent_path(), fs::canonical(libraries())) << line;
            ++ours;
        }
        if (binary.filename() != "liborvaneplatform.so") {
            EXPECT_GT(ours, 0) << ldd.output;
        }
    }
}

TEST_F(InstallTest, InstallsDesktopEntriesAndTheIcon)
{
    const fs::path application = applications() / "orvane.desktop";
    const fs::path agent = applications() / "orvane-agent.desktop";
    EXPECT_EQ(orv::LaunchAtLoginController::programOfEntry(QString::fromStdString(application.string())).toStdString(),
              (bin() / "Orvane").string());
    EXPECT_NE(contentsOf(application).find("\nIcon=orvane\n"), std::string::npos);
    for (const char* icon : {"scalable/apps/orvane.svg", "256x256/apps/orvane.png"})
        EXPECT_TRUE(fs::exists(prefix_ / ORVANE_INSTALL_DATADIR / "icons/hicolor" / icon)) << icon;

    // The agent's entry reads exactly as the one the application writes to
    // the user's autostart folder when asked to start the agent at login.
    const fs::path autostart = prefix_ / "autostart";
    orv::LaunchAtLoginController controller(QString::fromStdString(autostart.string()));
    controller.setHide(true);
    controller.setLaunchAtLogin(true, QString::fromStdString((bin() / "OrvaneAgent").string()));
    EXPECT_EQ(contentsOf(agent), contentsOf(autostart / orv::LaunchAtLoginController::kEntryFileName));

    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty()) {
        std::cout << "desktop-file-validate is not installed; the entries are not validated\n";
        return;
    }
    for (const fs::path& entry : {application, agent}) {
        const auto validation = runTool(validator.toStdString(), {entry.string()});
        EXPECT_TRUE(validation.succeeded) << entry << ":\n" << validation.output;
        EXPECT_EQ(validation.output, "") << entry;
    }
}

// The installed program ends the installed adb resource's processes at start,
// and only those: the build tree's stays.
TEST_F(InstallTest, InstalledProgramStartsOnItsInstalledResources)
{
    orv::test::AdbResourceAtWork installedAdb((resources() / "adb").string());
    orv::test::AdbResourceAtWork buildAdb(std::string(ORVANE_BINARY_DIR) + "/resources/adb");
    ASSERT_TRUE(installedAdb.started() && buildAdb.started());
    ASSERT_TRUE(installedAdb.waitUntilWorking());
    ASSERT_TRUE(buildAdb.waitUntilWorking());

    orv::test::Program program((bin() / "Orvane").string(), {"--quit-after-start"});
    ASSERT_TRUE(program.started());
    EXPECT_TRUE(exitedCleanly(program.waitForExit()));
    const auto ended = installedAdb.waitForExit();
    ASSERT_TRUE(ended) << "the installed adb resource was left running";
    EXPECT_TRUE(WIFSIGNALED(*ended) && WTERMSIG(*ended) == SIGKILL);
    EXPECT_TRUE(buildAdb.running()) << "the build tree's adb resource was ended";
}

// The installed library, which finds its resources from where it lies,
// reaches the phone through the installed adb resource.
TEST_F(InstallTest, InstalledProgramReachesAPhoneThroughItsInstalledAdb)
{
    phonesim::Options options;
    options.mode = "current";  // the installed adb program speaks to the stand-in
    auto sim = phonesim::Simulator::start(options);
    const std::string serial = sim->serial();
    EXPECT_EQ(orv::test::opensThePhoneAndQuitsOnTermination((bin() / "Orvane").string(), serial, sim->environment(), {},
                                                             [&] { return !sim->log(serial, "adb").empty(); }),
              "");
}

}  // namespace
