// Releasing a device manager while its adb commands run: the release returns
// without waiting for them, every child is ended, and nothing calls back but
// a deletion's finish, which comes once as for any stop, without an error.
// The adb program here never answers, so a release that waited for it, or a
// child left running, would show.

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>

#include <atomic>
#include <fstream>
#include <functional>
#include <sstream>

#include "CompanionTestSupport.h"
#include "FakeCompanion.h"
#include "PhoneTestSupport.h"
#include "core/bridge/adb/OVADBManager.h"
#include "core/bridge/facade/OVResources.h"
#include "core/bridge/model/OVDevice.h"
#include "core/bridge/model/OVDirectoryFile.h"
#include "core/bridge/model/OVImageFile.h"

namespace orv::test {
namespace {

// An adb that writes its pid down and then sleeps far longer than any test.
class StuckAdb {
public:
    StuckAdb()
    {
        const auto script = folder_.path() / "adb";
        std::ofstream(script) << "#!/bin/sh\necho $$ >> \"$(dirname \"$0\")/pids\"\nexec sleep 600\n";
        ::chmod(script.c_str(), 0755);
        setResourceDirectory(folder_.path().string());
    }
    ~StuckAdb()
    {
        for (pid_t pid : pids())
            ::kill(pid, SIGKILL);
        setResourceDirectory("");
    }

    std::vector<pid_t> pids() const
    {
        std::vector<pid_t> found;
        std::ifstream in(folder_.path() / "pids");
        for (pid_t pid; in >> pid;)
            found.push_back(pid);
        return found;
    }
    // True once no child this adb started is still running (reaped by now).
    bool allEnded() const
    {
        for (pid_t pid : pids())
            if (::kill(pid, 0) == 0)
                return false;
        return true;
    }

private:
    TemporaryFolder folder_;
};

using Start = std::function<void(OVADBManager&, std::shared_ptr<std::atomic<int>>)>;
struct Kind {
    const char* name;
    Start start;
    int callbacks;  // expected after the release
};

TEST(ReleaseTest, ReleasingDuringEachKindOfWorkReturnsAndEndsItsChild)
{
    auto folder = std::make_shared<OVDirectoryFile>();
    folder->setPath("/storage/emulated/legacy/Download");
    folder->setName("Download");
    auto file = std::make_shared<OVImageFile>();
    file->setPath("/storage/emulated/legacy/Download/a.jpg");
    file->setName("a.jpg");
    // Device information from the companion; the storage figures that go
    // with it come from adb, whose df then never answers.
    FakeCompanion companion([](FakeConnection& connection) {
        connection.readFrame();
        connection.send(replyFrame(0x03, 0x03, bytesOf(R"({"battery_level":40,"version":1.0})")));
        connection.waitForPeerClose();
    });

    const std::vector<Kind> kinds = {
        {"listing",
         [&](OVADBManager& m, auto calls) {
             m.filesInDirectory(folder, OVFile::TypeDirectory | OVFile::TypeOther, [calls](auto, auto) { ++*calls; });
         },
         0},
        {"count", [&](OVADBManager& m, auto calls) { m.countFiles(folder, [calls](auto, auto) { ++*calls; }); }, 0},
        {"screenshot",
         [&](OVADBManager& m, auto calls) { m.screenshotWitchCallback([calls](auto, auto) { ++*calls; }); }, 0},
        {"deletion",
         [&](OVADBManager& m, auto calls) {
             m.deleteOVFiles({file}, false, nullptr, nullptr, [calls](std::optional<Error> error) {
                 EXPECT_FALSE(error) << error->description();
                 ++*calls;
             });
         },
         1},
        {"device information",
         [&](OVADBManager& m, auto calls) {
             m.setSocketPort(companion.port());
             m.getServiceInfoForDevice(std::make_shared<OVDevice>(), 0, [calls](auto) { ++*calls; });
         },
         0},
        {"shell",
         [&](OVADBManager& m, auto calls) { m.excuteShellInQueue({"echo", "hello"}, [calls](auto, auto) { ++*calls; }); },
         0},
    };
    for (const auto& [kind, start, callbacks] : kinds) {
        SCOPED_TRACE(kind);
        StuckAdb adb;
        auto manager = OVADBManager::make();
        manager->setSerialNumber("STUCK01");
        auto calls = std::make_shared<std::atomic<int>>(0);
        start(*manager, calls);
        ASSERT_TRUE(waitFor([&] { return !adb.pids().empty(); }));

        // Were the release to wait for the child, this would take its ten minutes.
        manager.reset();
        EXPECT_TRUE(waitFor([&] { return adb.allEnded(); }));
        EXPECT_TRUE(OVADBManager::waitForReleasedWork(std::chrono::minutes(2)));
        drainMainQueue();
        EXPECT_EQ(calls->load(), callbacks);
    }
    EXPECT_TRUE(companionOperationsGone([](auto done) { return waitFor(done); }));
}

}  // namespace
}  // namespace orv::test
