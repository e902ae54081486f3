// OrvaneAgent: a headless program, started at login or by the application,
// that watches USB and starts the application for each phone plugged in.
//
//   OrvaneAgent [--application PATH]
//
// The application is PATH, else $ORVANE_APPLICATION, else the program
// "Orvane" beside the agent. SIGTERM, SIGINT and SIGHUP end it cleanly.

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "agent/AppDelegate.h"
#include "platform/RunLoop.h"
#include "platform/RunLoopSource.h"
#include "usbwatch/InstanceLock.h"
#include "usbwatch/OVUSBDeviceManager.h"
#include "usbwatch/ProgramPaths.h"

namespace {

void logLine(const std::string& line) { std::fprintf(stderr, "%s\n", line.c_str()); }

std::filesystem::path applicationPath(int argc, char** argv) {
    for (int i = 1; i + 1 < argc; ++i)
        if (std::strcmp(argv[i], "--application") == 0) return argv[i + 1];
    if (const char* path = std::getenv("ORVANE_APPLICATION"); path && *path) return path;
    return orv::usb::executableDirectory() / "Orvane";
}

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0) {
            std::printf("usage: %s [--application PATH]\n", argv[0]);
            return 0;
        }
    }

    // Blocked before any thread exists, so every thread inherits the mask and
    // the signals arrive only through the descriptor the run loop watches.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    sigprocmask(SIG_BLOCK, &signals, nullptr);
    const int signalFd = signalfd(-1, &signals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (signalFd < 0) {
        logLine(std::string("OrvaneAgent: signalfd: ") + std::strerror(errno));
        return 1;
    }

    // One agent at a time: two would start the application twice per phone.
    std::unique_ptr<orv::usb::InstanceLock> lock;
    std::string error;
    switch (orv::usb::InstanceLock::tryAcquire(orv::usb::kAgentLockName, lock, &error)) {
    case orv::usb::InstanceLock::Status::Acquired: break;
    case orv::usb::InstanceLock::Status::HeldElsewhere: {
        auto holder = orv::usb::InstanceLock::holder(orv::usb::kAgentLockName);
        logLine("OrvaneAgent: another copy is running (pid " + (holder ? std::to_string(*holder) : "?") +
                "); exiting");
        return 0;
    }
    case orv::usb::InstanceLock::Status::Failed:
        logLine("OrvaneAgent: cannot take the agent's lock: " + error);
        return 1;
    }

    orv::RunLoop& loop = orv::RunLoop::main();
    int received = 0;
    auto signalSource = orv::RunLoopSource::make(
        signalFd, orv::RunLoopSource::Readable, [&loop, &received, signalFd](orv::RunLoopSource&, unsigned) {
            signalfd_siginfo info{};
            while (::read(signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info))
                received = static_cast<int>(info.ssi_signo);
            if (received) loop.stop();
        });
    loop.addSource(signalSource, orv::kDefaultRunLoopMode);

    auto watcher = orv::OVUSBDeviceManager::sharedInstance();
    orv::agent::AppDelegate::Options options;
    options.application = applicationPath(argc, argv);
    options.launcher = std::make_shared<orv::agent::DetachedLauncher>();
    options.log = logLine;
    auto delegate = std::make_shared<orv::agent::AppDelegate>(watcher, std::move(options));
    delegate->applicationDidFinishLaunching();

    while (!received) loop.run();

    logLine("OrvaneAgent: ending on signal " + std::to_string(received));
    delegate->applicationWillTerminate();
    watcher->stopWatching();
    signalSource->invalidate();
    ::close(signalFd);
    return 0;
}
