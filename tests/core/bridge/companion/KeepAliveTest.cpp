// The keep-alive connection of a loaded simulated phone: pushes reaching
// their blocks on the right queue, heartbeats, broken frames, and the
// rebuild of the link on the heartbeat timer and after a wake.

#include <gtest/gtest.h>

#include "CompanionTestSupport.h"
#include "FakeCompanion.h"
#include "PhoneTestSupport.h"
#include "core/bridge/facade/ADBError.h"
#include "core/bridge/companion/OVADBForwardKeepAliveOperation.h"
#include "core/bridge/model/OVDevice.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/model/OVImageFile.h"
#include "platform/RunLoopTimer.h"
#include "platform/Thread.h"
#include "platform/WakeMonitor.h"

namespace orv::test {
namespace {

using Json = nlohmann::json;

// What the registered blocks saw, written from any thread.
struct Seen {
    std::mutex mutex;
    std::vector<std::pair<std::string, bool>> calls;  // (what, on the main thread)
    std::vector<OVFileRef> addedPhotos;

    void note(std::string what)
    {
        std::lock_guard lock(mutex);
        calls.emplace_back(std::move(what), isMainThread());
    }
    size_t count(const std::string& what)
    {
        std::lock_guard lock(mutex);
        return std::count_if(calls.begin(), calls.end(), [&](auto& c) { return c.first == what; });
    }
    bool allOn(const std::string& what, bool mainThread)
    {
        std::lock_guard lock(mutex);
        return std::all_of(calls.begin(), calls.end(),
                           [&](auto& c) { return c.first != what || c.second == mainThread; });
    }
};

class KeepAliveTest : public PhoneTest {
protected:
    void SetUp() override
    {
        PhoneTest::SetUp();
        sim().replug(serial);
        sim().set(serial, "heartbeat", "5");
        for (const char* name : {"reset-once", "reset-always", "silent"})
            sim().misbehave(serial, name, false);
        load();
        sim().clearLog();
    }

    void TearDown() override
    {
        // A rebuild still under way would outlive the test.
        EXPECT_TRUE(waitFor([&] { return !manager->startingService(); }));
        manager->adbForwardOperationQueue().waitUntilAllOperationsAreFinished();
        PhoneTest::TearDown();
        EXPECT_TRUE(companionOperationsGone([](auto done) { return waitFor(done); }));
    }

    void load()
    {
        auto done = std::make_shared<std::optional<std::optional<Error>>>();
        manager->fetchADBInfoWithSerialNumber(serial, device, [done](std::optional<Error> e) { *done = e; });
        ASSERT_TRUE(waitFor([&] { return done->has_value(); }));
        ASSERT_EQ(**done, std::nullopt);
        ASSERT_TRUE(waitFor([&] { return keepAlives().size() == 1; }));
    }

    Json keepAlives() { return sim().keepAlive(serial); }
    bool watching(const std::string& folder)
    {
        auto connections = keepAlives();
        if (connections.size() != 1)
            return false;
        for (const auto& path : connections[0]["watches"])
            if (path == folder)
                return true;
        return false;
    }
    size_t keepAliveRequests()
    {
        size_t count = 0;
        for (const auto& entry : sim().log(serial, "companion"))
            count += entry.value("cmd", 0) == 0x05;
        return count;
    }
    // Fires the 20 s heartbeat timer now instead of in 20 s.
    void heartbeatTick()
    {
        auto timer = manager->timer();
        timer->setFireDate(RunLoopTimer::Clock::now());
        // Fired once its next date lies a whole interval ahead; the check
        // itself runs on a later pass.
        ASSERT_TRUE(waitFor([&] { return timer->fireDate() > RunLoopTimer::Clock::now() + std::chrono::seconds(10); }));
        drainMainQueue();
        drainMainQueue();
    }
    void registerEverything(const std::shared_ptr<Seen>& seen)
    {
        manager->registerDeviceInfoChangeForDevice(device, [seen](const Json&, std::optional<Error>) {
            seen->note("info");
        });
        manager->registerMediaLibraryChange(OVFile::TypeImage, [seen](const std::optional<OVLibraryChange>& change) {
            seen->note(change ? "photos" : "photos reload");
            if (change) {
                std::lock_guard lock(seen->mutex);
                seen->addedPhotos = change->added;
            }
        });
        manager->registerMediaLibraryChange(OVFile::TypeVideo, [seen](const std::optional<OVLibraryChange>& change) {
            seen->note(change ? "videos" : "videos reload");
        });
        manager->registerMediaLibraryChange(OVFile::TypeAudio, [seen](const std::optional<OVLibraryChange>& change) {
            seen->note(change ? "music" : "music reload");
        });
        manager->watchDirectory(OVDeviceClient::cameraDir(), [seen](const std::string& event, const std::string& path) {
            seen->note(event + " " + path);
        });
    }

    std::shared_ptr<OVDevice> device = std::make_shared<OVDevice>();
};

TEST_F(KeepAliveTest, PushesReachTheirBlocksOnTheRightQueue)
{
    auto seen = std::make_shared<Seen>();
    registerEverything(seen);
    EXPECT_EQ(manager->keepAliveOperationQueue().operationCount(), 1u);  // registrations share one connection
    ASSERT_TRUE(waitFor([&] { return watching("/DCIM/Camera"); }));

    sim().set(serial, "battery", "42");
    ASSERT_TRUE(waitFor([&] { return seen->count("info") > 0; }));
    EXPECT_EQ(device->battery(), 42);

    sim().putFile(serial, "/sdcard/DCIM/Camera/new.jpg", "not really a picture");
    ASSERT_TRUE(waitFor([&] {
        return seen->count("CREATE /storage/emulated/legacy/DCIM/Camera/new.jpg") == 1 && seen->count("photos") == 1;
    }));
    {
        std::lock_guard lock(seen->mutex);
        ASSERT_EQ(seen->addedPhotos.size(), 1u);
        EXPECT_EQ(seen->addedPhotos[0]->path(), "/storage/emulated/legacy/DCIM/Camera/new.jpg");
    }

    // A burst of provider notices is one reload per library, off the main queue.
    for (int i = 0; i < 3; ++i)
        sim().inject(serial, 2, {{"CREATE", "content://media/external/images/media/" + std::to_string(i)}});
    ASSERT_TRUE(waitFor([&] { return seen->count("music reload") == 1; }));
    drainMainQueue();
    EXPECT_EQ(seen->count("photos reload"), 1u);
    EXPECT_EQ(seen->count("videos reload"), 1u);
    sim().inject(serial, 2, {{"CREATE", "content://velmoros_gallery/bucket/7"}});
    ASSERT_TRUE(waitFor([&] { return seen->count("photos reload") == 2 && seen->count("videos reload") == 2; }));
    EXPECT_EQ(seen->count("music reload"), 1u);

    for (const char* onMain : {"info", "photos", "CREATE /storage/emulated/legacy/DCIM/Camera/new.jpg"})
        EXPECT_TRUE(seen->allOn(onMain, true)) << onMain;
    for (const char* offMain : {"photos reload", "videos reload", "music reload"})
        EXPECT_TRUE(seen->allOn(offMain, false)) << offMain;
}

TEST_F(KeepAliveTest, HeartbeatsAreAnsweredAndEmptyFramesSkipped)
{
    auto seen = std::make_shared<Seen>();
    registerEverything(seen);
    sim().set(serial, "heartbeat", "0.1");
    ASSERT_TRUE(waitFor([&] {
        auto connections = keepAlives();
        return connections.size() == 1 && connections[0]["heartbeat_answers"].get<int>() >= 2;
    }));

    sim().injectRaw(serial, std::string("\0\0\0\0", 4));
    sim().set(serial, "battery", "17");
    ASSERT_TRUE(waitFor([&] { return device->battery() == 17; }));
    EXPECT_EQ(manager->keepAliveOperationQueue().operationCount(), 1u);

    // A frame too short to hold its header ends the connection.
    sim().injectRaw(serial, std::string("\0\0\0\x02\x09\x01", 6));
    ASSERT_TRUE(waitFor([&] { return manager->keepAliveOperationQueue().operationCount() == 0; }));
}

TEST_F(KeepAliveTest, TheHeartbeatTimerRebuildsADeadLinkAndItsWatches)
{
    auto seen = std::make_shared<Seen>();
    registerEverything(seen);
    ASSERT_TRUE(waitFor([&] { return watching("/DCIM/Camera"); }));
    EXPECT_EQ(manager->timer()->timeInterval(), std::chrono::seconds(20));
    EXPECT_TRUE(manager->timer()->repeats());

    // A live connection is left alone.
    heartbeatTick();
    EXPECT_EQ(keepAliveRequests(), 0u);

    // Unplugged: the connection dies, and a rebuild cannot reach the phone.
    sim().unplug(serial);
    ASSERT_TRUE(waitFor([&] { return manager->keepAliveOperationQueue().operationCount() == 0; }));
    heartbeatTick();
    ASSERT_TRUE(waitFor([&] { return !manager->startingService(); }));
    EXPECT_EQ(manager->keepAliveOperationQueue().operationCount(), 0u);

    // Plugged in again: the next tick rebuilds on the same port.
    const uint64_t port = manager->socketPort();
    sim().replug(serial);
    heartbeatTick();
    ASSERT_TRUE(waitFor([&] { return keepAlives().size() == 1; }));
    EXPECT_EQ(manager->socketPort(), port);
    // The new connection watches the folder again without a new registration.
    ASSERT_TRUE(waitFor([&] { return watching("/DCIM/Camera"); }));
    sim().putFile(serial, "/sdcard/DCIM/Camera/after.jpg", "x");
    ASSERT_TRUE(waitFor([&] { return seen->count("CREATE /storage/emulated/legacy/DCIM/Camera/after.jpg") == 1; }));
}

TEST_F(KeepAliveTest, AWakeReplacesTheConnection)
{
    auto seen = std::make_shared<Seen>();
    registerEverything(seen);
    ASSERT_TRUE(waitFor([&] { return watching("/DCIM/Camera"); }));
    sim().clearLog();

    WakeMonitor::shared().simulateWake();
    ASSERT_TRUE(waitFor([&] { return keepAliveRequests() == 1 && keepAlives().size() == 1; }));
    ASSERT_TRUE(waitFor([&] { return watching("/DCIM/Camera"); }));
    sim().set(serial, "battery", "33");
    ASSERT_TRUE(waitFor([&] { return device->battery() == 33; }));

    // A manager whose phone was never loaded has nothing to rebuild.
    ASSERT_TRUE(waitFor([&] { return !manager->startingService(); }));
    manager = OVADBManager::make();
    sim().clearLog();
    WakeMonitor::shared().simulateWake();
    drainMainQueue();
    EXPECT_FALSE(manager->startingService());
    EXPECT_EQ(manager->keepAliveOperationQueue().operationCount(), 0u);
    EXPECT_TRUE(adbCommands().empty());
}

// A service that keeps the connection open but has stopped speaking is only
// noticed if the connection ends: the manager rebuilds on an empty queue.
TEST(KeepAliveSilence, AConnectionThatFallsSilentEnds)
{
    EXPECT_GT(OVADBForwardKeepAliveOperation::make()->timeouts().lengthRead, 0);

    std::atomic<bool> answered{false};
    FakeCompanion service([&](FakeConnection& connection) {
        connection.readFrame();                                       // the keep-alive request
        connection.send(Bytes{0, 0, 0, 3, 0x06, 0x01, 0x01});         // one heartbeat
        answered = connection.readFrame() == Bytes{0, 0, 0, 3, 0x06, 0x02, 0x01};
        connection.waitForPeerClose(60s);                             // then nothing
    });
    CancellingQueue queue("keepAlive", 1);
    auto operation = OVADBForwardKeepAliveOperation::make();
    auto timeouts = operation->timeouts();
    timeouts.lengthRead = 0.3;
    operation->setTimeouts(timeouts);
    operation->setSocketPort(service.port());
    queue.addOperation(operation);

    ASSERT_TRUE(eventually([&] { return operation->isFinished(); }));
    EXPECT_TRUE(answered.load());  // the silence came after a frame was read
    EXPECT_TRUE(eventually([&] { return service.finishedScripts() == 1; }));
}

}  // namespace
}  // namespace orv::test
