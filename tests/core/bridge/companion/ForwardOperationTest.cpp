// The companion-service operations on the wire, against a service of the
// test's own making: exact request bytes, reply reading, transport failures,
// timeouts and cancellation.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>

#include <nlohmann/json.hpp>

#include "CompanionTestSupport.h"
#include "FakeCompanion.h"
#include "PhoneTestSupport.h"
#include "core/bridge/facade/ADBError.h"
#include "core/bridge/companion/OVADBForwardDeviceInfoOperation.h"
#include "core/bridge/companion/OVADBForwardFileThumbnailOperation.h"
#include "core/bridge/companion/OVADBForwardKeepAliveOperation.h"
#include "core/bridge/companion/OVADBForwardMediaFetchOperation.h"
#include "core/bridge/companion/OVADBForwardMediaThumbnailOperation.h"
#include "core/bridge/companion/OVADBForwardUpdateMediaOperation.h"
#include "core/bridge/model/OVAudioAlbum.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/model/OVImageFile.h"
#include "core/bridge/model/OVVideoFile.h"

namespace orv::test {
namespace {

using Json = nlohmann::json;

std::shared_ptr<OVImageFile> image(uint64_t id, std::string path = {})
{
    auto file = std::make_shared<OVImageFile>();
    file->setImageId(id);
    file->setPath(std::move(path));
    return file;
}

Bytes concat(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const auto& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes u64(uint64_t value)
{
    Bytes out;
    for (int shift = 56; shift >= 0; shift -= 8)
        out.push_back(uint8_t(value >> shift));
    return out;
}

// A device-information operation whose outcome lands in `outcome`.
std::shared_ptr<OVADBForwardDeviceInfoOperation> deviceInfo(uint16_t port, Outcome& outcome,
                                                            std::optional<Json>* info = nullptr)
{
    auto operation = OVADBForwardDeviceInfoOperation::make();
    operation->setSocketPort(port);
    operation->setFinishBlock([&outcome, info](std::optional<Json> result, std::optional<Error> error) {
        if (info)
            *info = result;
        outcome.record(error);
    });
    return operation;
}

TEST(ForwardOperation, EveryMessageWritesItsExactRequest)
{
    auto video = std::make_shared<OVVideoFile>();
    video->setVideoId(0x0102030405060708);
    auto album = std::make_shared<OVAudioAlbum>();
    album->setAlbumId(77);

    struct Case {
        const char* name;
        std::function<OperationRef(uint16_t port)> make;
        Bytes expected;
    };
    auto withPort = [](auto operation, uint16_t port) {
        operation->setSocketPort(port);
        return OperationRef(operation);
    };
    const std::vector<Case> cases = {
        {"device information", [&](uint16_t p) { return withPort(OVADBForwardDeviceInfoOperation::make(), p); },
         {0, 0, 0, 3, 0x03, 0x03, 0x01}},
        {"photo library",
         [&](uint16_t p) { return withPort(OVADBForwardMediaFetchOperation::initWithrequestType(1, {}), p); },
         {0, 0, 0, 3, 0x07, 0x01, 0x01}},
        {"music library",
         [&](uint16_t p) { return withPort(OVADBForwardMediaFetchOperation::initWithrequestType(2, {}), p); },
         {0, 0, 0, 3, 0x07, 0x02, 0x01}},
        {"video library",
         [&](uint16_t p) { return withPort(OVADBForwardMediaFetchOperation::initWithrequestType(3, {}), p); },
         {0, 0, 0, 3, 0x07, 0x03, 0x01}},
        {"picture thumbnails by id",
         [&](uint16_t p) {
             return withPort(OVADBForwardMediaThumbnailOperation::initWithThumbnailType(1, {image(1), image(2)}, {}), p);
         },
         concat({{0, 0, 0, 0x17, 0x08, 0x01, 0x01, 0, 0, 0, 2}, u64(1), u64(2)})},
        {"video thumbnails by id",
         [&](uint16_t p) { return withPort(OVADBForwardMediaThumbnailOperation::initWithThumbnailType(2, {video}, {}), p); },
         concat({{0, 0, 0, 0x0f, 0x08, 0x02, 0x01, 0, 0, 0, 1}, u64(0x0102030405060708)})},
        {"album covers by id",
         [&](uint16_t p) { return withPort(OVADBForwardMediaThumbnailOperation::initWithThumbnailType(3, {album}, {}), p); },
         concat({{0, 0, 0, 0x0f, 0x08, 0x03, 0x01, 0, 0, 0, 1}, u64(77)})},
        {"thumbnails by path",
         [&](uint16_t p) {
             return withPort(OVADBForwardFileThumbnailOperation::initWithRequestType(2, {image(0, "/a"), image(0, "/é")}, {}), p);
         },
         {0, 0, 0, 0x14, 0x01, 0x02, 0x01, 0, 0, 0, 2, 0, 0, 0, 2, '/', 'a', 0, 0, 0, 3, '/', 0xc3, 0xa9}},
        {"media deletion",
         [&](uint16_t p) {
             auto op = OVADBForwardUpdateMediaOperation::initWithCallback({});
             op->setOperation(0);
             op->setMediaIds({1, 2});
             return withPort(op, p);
         },
         concat({{0, 0, 0, 0x17, 0x0b, 0x00, 0x01, 0, 0, 0, 2}, u64(1), u64(2)})},
        {"media rescan",
         [&](uint16_t p) {
             auto op = OVADBForwardUpdateMediaOperation::initWithCallback({});
             op->setOperation(1);
             op->setFilePaths({"/DCIM/a.jpg"});
             return withPort(op, p);
         },
         {0, 0, 0, 0x16, 0x0c, 0x00, 0x01, 0, 0, 0, 1, 0, 0, 0, 11, '/', 'D', 'C', 'I', 'M', '/', 'a', '.', 'j', 'p', 'g'}},
        {"keep-alive", [&](uint16_t p) { return withPort(OVADBForwardKeepAliveOperation::make(), p); },
         {0, 0, 0, 3, 0x05, 0x03, 0x01}},
    };

    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeCompanion service([](FakeConnection& connection) { connection.readFrame(); });
        CancellingQueue queue("requests", 1);
        auto operation = c.make(service.port());
        queue.addOperation(operation);
        auto connection = service.connection(0);
        ASSERT_TRUE(connection);
        ASSERT_TRUE(eventually([&] { return service.finishedScripts() == 1; }));
        EXPECT_EQ(connection->received(), c.expected);
    }
}

TEST(ForwardOperation, AReplyInSeveralReadsIsParsedOnceWhenComplete)
{
    const Json sent = {{"battery_level", 42}, {"device_name", "Phone"}, {"version", 1.0}};
    FakeCompanion service([&](FakeConnection& connection) {
        connection.readFrame();
        connection.sendInPieces(replyFrame(0x03, 0x03, bytesOf(sent.dump())), 5);
        connection.waitForPeerClose();
    });
    CancellingQueue queue("requests", 1);
    Outcome outcome;
    std::optional<Json> info;
    auto operation = deviceInfo(service.port(), outcome, &info);
    queue.addOperation(operation);
    ASSERT_TRUE(outcome.wait());
    EXPECT_FALSE(outcome.error());
    EXPECT_EQ(info, sent);
    EXPECT_TRUE(operation->isFinished());
    // A finished request lets its connection go.
    ASSERT_TRUE(eventually([&] { return service.finishedScripts() == 1; }));
    EXPECT_EQ(outcome.calls(), 1);
}

TEST(ForwardOperation, BrokenRepliesEndWithAnErrorNeverWithSuccess)
{
    struct Case {
        const char* name;
        std::function<void(FakeConnection&)> reply;
        long code;
    };
    const std::vector<Case> cases = {
        {"zero-length reply", [](FakeConnection& c) { c.send({0, 0, 0, 0}); }, ADBErrorSocketNoBody},
        {"body shorter than its header", [](FakeConnection& c) { c.send({0, 0, 0, 2, 0x03, 0x03}); },
         ADBErrorSocketNoBody},
        {"length beyond any reply", [](FakeConnection& c) { c.send({0x7f, 0xff, 0xff, 0xf0, 0x03, 0x03, 0x01}); },
         ADBErrorSocketNoBody},
        {"clean close before any reply", [](FakeConnection& c) { c.closeCleanly(); }, ADBErrorSocketReset},
        {"clean close in the middle of the body",
         [](FakeConnection& c) {
             c.send({0, 0, 0, 20, 0x03, 0x03, 0x01, '{'});
             c.closeCleanly();
         },
         ADBErrorSocketReset},
        {"reset", [](FakeConnection& c) { c.reset(); }, ADBErrorSocketReset},
        {"body of one byte after the header", [](FakeConnection& c) { c.send(replyFrame(0x03, 0x03, {'1'})); },
         ADBErrorGeneric},
        {"body that is not an object", [](FakeConnection& c) { c.send(replyFrame(0x03, 0x03, bytesOf("[1, 2]"))); },
         ADBErrorGeneric},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        FakeCompanion service([&](FakeConnection& connection) {
            connection.readFrame();
            c.reply(connection);
            connection.waitForPeerClose();
        });
        CancellingQueue queue("requests", 1);
        Outcome outcome;
        std::optional<Json> info;
        queue.addOperation(deviceInfo(service.port(), outcome, &info));
        ASSERT_TRUE(outcome.wait());
        ASSERT_TRUE(outcome.error());
        EXPECT_EQ(outcome.error()->domain, kADBErrorDomain);
        EXPECT_EQ(outcome.code(), c.code);
        EXPECT_FALSE(info);
        queue.waitUntilAllOperationsAreFinished();
        EXPECT_EQ(outcome.calls(), 1);
    }
}

// Starts a new peak resident size of this process; false where the system
// keeps none that can be reset.
bool resetPeakResident()
{
    FILE* refs = std::fopen("/proc/self/clear_refs", "w");
    if (!refs)
        return false;
    const bool written = std::fputs("5", refs) >= 0;
    return std::fclose(refs) == 0 && written;
}

// The peak resident size of this process in kB.
std::optional<long> peakResidentKilobytes()
{
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return std::nullopt;
    char line[256];
    std::optional<long> peak;
    while (!peak && std::fgets(line, sizeof line, status)) {
        long value = 0;
        if (std::sscanf(line, "VmHWM: %ld kB", &value) == 1)
            peak = value;
    }
    std::fclose(status);
    return peak;
}

// A header may announce 64 MiB: the body grows as its bytes come, so a
// phone that sends a header and a few bytes costs a few bytes.
TEST(ForwardOperation, AnAnnouncedBodyIsNotAllocatedBeforeItsBytesArrive)
{
    if (!resetPeakResident() || !peakResidentKilobytes())
        GTEST_SKIP() << "this system cannot reset the peak resident size";
    constexpr uint32_t kAnnounced = kMaxFrameBodyLength;
    FakeCompanion service([&](FakeConnection& connection) {
        connection.readFrame();
        Bytes start = {uint8_t(kAnnounced >> 24), uint8_t(kAnnounced >> 16), uint8_t(kAnnounced >> 8),
                       uint8_t(kAnnounced), 0x03, 0x03, 0x01};
        start.resize(start.size() + 4096, '{');
        connection.send(start);
        connection.closeCleanly();
        connection.waitForPeerClose();
    });
    CancellingQueue queue("requests", 1);
    Outcome outcome;
    resetPeakResident();
    const long before = *peakResidentKilobytes();
    queue.addOperation(deviceInfo(service.port(), outcome));
    ASSERT_TRUE(outcome.wait());
    EXPECT_EQ(outcome.code(), ADBErrorSocketReset);
    const auto after = peakResidentKilobytes();
    ASSERT_TRUE(after);
    // Half the announced size: sanitizers' shadow memory and the test's own
    // threads add some megabytes; the whole body at once adds all of it.
    EXPECT_LT(*after - before, long(kAnnounced / 1024 / 2)) << "peak grew from " << before << " kB to " << *after;
    queue.waitUntilAllOperationsAreFinished();
}

TEST(ForwardOperation, TimeoutsEndTheRequestOnceWithError11)
{
    // The service accepts and reads, but never answers.
    {
        FakeCompanion service([](FakeConnection& connection) {
            connection.readFrame();
            connection.waitForPeerClose(20s);
        });
        CancellingQueue queue("requests", 1);
        Outcome outcome;
        auto operation = deviceInfo(service.port(), outcome);
        EXPECT_EQ(operation->timeouts().requestWrite, 6);
        EXPECT_EQ(operation->timeouts().lengthRead, 12);
        operation->setTimeouts({0.2, 0.2, 0.2});
        queue.addOperation(operation);
        ASSERT_TRUE(outcome.wait());
        EXPECT_EQ(outcome.code(), ADBErrorSocketTimeout);
        // The socket closes after the timeout; that end reports nothing more.
        ASSERT_TRUE(service.connection(0)->waitForPeerClose());
        EXPECT_EQ(outcome.calls(), 1);
    }
    // A body that stops half-way.
    {
        FakeCompanion service([](FakeConnection& connection) {
            connection.readFrame();
            connection.send({0, 0, 0, 40, 0x03, 0x03, 0x01});
            connection.waitForPeerClose(20s);
        });
        CancellingQueue queue("requests", 1);
        Outcome outcome;
        auto operation = deviceInfo(service.port(), outcome);
        operation->setTimeouts({0.2, 5, 0.2});
        queue.addOperation(operation);
        ASSERT_TRUE(outcome.wait());
        EXPECT_EQ(outcome.code(), ADBErrorSocketTimeout);
    }
    // A request the service does not take in: the write itself times out.
    {
        FakeCompanion service([](FakeConnection& connection) { connection.stall(); });
        CancellingQueue queue("requests", 1);
        Outcome outcome;
        std::vector<OVFileRef> files;
        for (int i = 0; i < 4000; ++i)
            files.push_back(image(0, "/" + std::string(4000, 'x') + std::to_string(i)));
        auto operation = OVADBForwardFileThumbnailOperation::initWithRequestType(
            1, files, [&](std::optional<Error> error) { outcome.record(error); });
        EXPECT_EQ(operation->timeouts().requestWrite, 6);
        operation->setTimeouts({0.3, 0.3, 0.3});
        operation->setSocketPort(service.port());
        queue.addOperation(operation);
        ASSERT_TRUE(outcome.wait());
        EXPECT_EQ(outcome.code(), ADBErrorSocketTimeout);
        EXPECT_EQ(outcome.calls(), 1);
    }
}

TEST(ForwardOperation, CancellingSendsExactlyTheCloseFrameAndNeverCallsBack)
{
    std::atomic<bool> answer{false};
    FakeCompanion service([&](FakeConnection& connection) {
        connection.readFrame();
        connection.readFrame();  // the close message
        eventually([&] { return answer.load(); });
        connection.send(replyFrame(0x03, 0x03, bytesOf(R"({"battery_level": 1})")));
        connection.waitForPeerClose();
    });
    CancellingQueue queue("requests", 1);
    Outcome outcome;
    auto operation = deviceInfo(service.port(), outcome);
    queue.addOperation(operation);
    auto connection = service.connection(0);
    ASSERT_TRUE(connection);
    ASSERT_TRUE(eventually([&] { return connection->received().size() == 7 && operation->isExecuting(); }));

    operation->cancel();
    EXPECT_TRUE(operation->isFinished());
    EXPECT_TRUE(operation->isCancelled());
    answer = true;  // a reply after the cancellation is ignored
    ASSERT_TRUE(eventually([&] { return service.finishedScripts() == 1; }));
    EXPECT_EQ(connection->received(), (Bytes{0, 0, 0, 3, 0x03, 0x03, 0x01, 0, 0, 0, 3, 0x04, 0x00, 0x01}));
    EXPECT_EQ(outcome.calls(), 0);
}

TEST(ForwardOperation, ACancelledOperationNeverConnectsAndACloseThatTimesOutStaysSilent)
{
    FakeCompanion service([](FakeConnection& connection) {
        connection.readFrame();
        connection.readFrame();
        connection.waitForPeerClose(20s);  // neither answers the close nor ends the connection
    });
    CancellingQueue queue("requests", 1);

    Outcome neverStarted;
    auto waiting = deviceInfo(service.port(), neverStarted);
    waiting->cancel();
    queue.addOperation(waiting);
    waiting->waitUntilFinished();
    EXPECT_EQ(service.connectionCount(), 0u);

    Outcome running;
    auto operation = deviceInfo(service.port(), running);
    OVADBForwardOperation::setTimeoutScale(0.05);  // the close message's 6 s wait
    queue.addOperation(operation);
    auto connection = service.connection(0);
    ASSERT_TRUE(eventually([&] { return connection->received().size() == 7 && operation->isExecuting(); }));
    operation->cancel();
    // The socket gives up on the close answer and ends the connection.
    ASSERT_TRUE(connection->waitForPeerClose());
    OVADBForwardOperation::setTimeoutScale(1);
    EXPECT_EQ(running.calls(), 0);
    EXPECT_EQ(neverStarted.calls(), 0);
}

TEST(ForwardOperation, AFailedConnectReportsTheConnectError)
{
    uint16_t unused;
    {
        FakeCompanion closed([](FakeConnection&) {});
        unused = closed.port();
    }
    // Every message: the service cannot be reached (not "the phone reset
    // the connection", which callers retry), with the socket's refusal kept.
    struct Case {
        const char* name;
        std::function<OperationRef(uint16_t port, Outcome& outcome)> make;
    };
    auto withPort = [](auto operation, uint16_t port) {
        operation->setSocketPort(port);
        return OperationRef(operation);
    };
    const std::vector<Case> cases = {
        {"device information", [](uint16_t p, Outcome& o) { return OperationRef(deviceInfo(p, o)); }},
        {"library",
         [&](uint16_t p, Outcome& o) {
             return withPort(OVADBForwardMediaFetchOperation::initWithrequestType(
                                 1, [&o](std::optional<OVMediaLibrary>, std::optional<Error> e) { o.record(e); }),
                             p);
         }},
        {"thumbnails by id",
         [&](uint16_t p, Outcome& o) {
             return withPort(OVADBForwardMediaThumbnailOperation::initWithThumbnailType(
                                 1, {image(1)}, [&o](std::optional<Error> e) { o.record(e); }),
                             p);
         }},
        {"thumbnails by path",
         [&](uint16_t p, Outcome& o) {
             return withPort(OVADBForwardFileThumbnailOperation::initWithRequestType(
                                 1, {image(0, "/a")}, [&o](std::optional<Error> e) { o.record(e); }),
                             p);
         }},
        {"media rescan",
         [&](uint16_t p, Outcome& o) {
             auto op = OVADBForwardUpdateMediaOperation::initWithCallback([&o](std::optional<Error> e) { o.record(e); });
             op->setOperation(1);
             op->setFilePaths({"/DCIM/a.jpg"});
             return withPort(op, p);
         }},
    };
    for (const auto& c : cases) {
        CancellingQueue queue("requests", 1);
        Outcome outcome;
        queue.addOperation(c.make(unused, outcome));
        ASSERT_TRUE(outcome.wait()) << c.name;
        queue.waitUntilAllOperationsAreFinished();
        EXPECT_EQ(outcome.calls(), 1) << c.name;
        const auto error = outcome.error();
        ASSERT_TRUE(error) << c.name;
        EXPECT_EQ(error->domain, kADBErrorDomain) << c.name;
        EXPECT_EQ(error->code, ADBErrorServiceNotStarted) << c.name;
        EXPECT_EQ(error->message, messageForCode(ADBErrorServiceNotStarted)) << c.name;
        EXPECT_EQ(error->info.at("underlyingDomain"), GCDAsyncSocketPOSIXErrorDomain) << c.name;
        EXPECT_EQ(error->info.at("underlyingCode"), std::to_string(ECONNREFUSED)) << c.name;
        EXPECT_FALSE(error->info.at("underlying").empty()) << c.name;
    }
}

TEST(ForwardOperation, NothingToTellThePhoneSucceedsWithoutConnecting)
{
    FakeCompanion service([](FakeConnection& connection) { connection.waitForPeerClose(); });
    CancellingQueue queue("requests", 1);
    for (int64_t kind : {int64_t(1), int64_t(2)}) {
        Outcome outcome;
        auto operation = OVADBForwardUpdateMediaOperation::initWithCallback(
            [&](std::optional<Error> error) { outcome.record(error); });
        operation->setOperation(kind);
        operation->setMediaIds({5});  // not used by either
        operation->setSocketPort(service.port());
        queue.addOperation(operation);
        ASSERT_TRUE(outcome.wait());
        EXPECT_FALSE(outcome.error());
        operation->waitUntilFinished();
    }
    ASSERT_TRUE(eventually([&] { return service.finishedScripts() == service.connectionCount(); }));
    for (size_t i = 0; i < service.connectionCount(); ++i)
        EXPECT_TRUE(service.connection(i)->received().empty());
}

TEST(ForwardOperation, TheKeepAliveConnectionAnswersHeartbeatsSkipsOddFramesAndAsksForWatches)
{
    std::mutex mutex;
    std::vector<Bytes> frames;  // what the bridge sent after its request
    std::atomic<bool> pushed{false};
    FakeCompanion service([&](FakeConnection& connection) {
        connection.readFrame();
        connection.send(replyFrame(0x06, 0x01));  // heartbeat
        auto answer = connection.readFrame();
        connection.send({0, 0, 0, 0});                                  // empty frame
        connection.send(replyFrame(0x42, 0x01, bytesOf("ignored")));    // unknown command
        connection.send(replyFrame(0x09, 0x07, bytesOf("{}")));         // unknown push
        connection.send(replyFrame(0x09, 0x01, bytesOf(R"({"battery_level": 9})")));
        eventually([&] { return pushed.load(); });
        auto watch = connection.readFrame();
        std::lock_guard lock(mutex);
        for (auto* frame : {&answer, &watch})
            if (*frame)
                frames.push_back(**frame);
    });
    CancellingQueue queue("keep-alive", 1);
    auto operation = OVADBForwardKeepAliveOperation::make();
    operation->setSocketPort(service.port());
    std::atomic<int> infos{0};
    operation->setDeviceInfoChangedBlock([&](const Json& info, std::optional<Error> error) {
        EXPECT_FALSE(error);
        EXPECT_EQ(info.value("battery_level", 0), 9);
        ++infos;
        pushed = true;
    });
    queue.addOperation(operation);
    operation->watchFiles({OVDeviceClient::cameraDir(), OVDeviceClient::rootDir()}, [](auto&, auto&) {});
    // The watch is sent a second later from the main queue.
    ASSERT_TRUE(waitFor([&] { return service.finishedScripts() == 1; }));
    std::lock_guard lock(mutex);
    ASSERT_EQ(frames.size(), 2u);
    // The watch may go out with the request, when the folder was registered
    // before the connection was made, so the two come in either order.
    EXPECT_THAT(frames, ::testing::UnorderedElementsAre(
                            Bytes{0, 0, 0, 3, 0x06, 0x02, 0x01},
                            Bytes{0, 0, 0, 0x17, 0x0a, 0x01, 0x01, 0, 0, 0, 1, 0, 0, 0, 12, '/', 'D', 'C', 'I', 'M',
                                  '/', 'C', 'a', 'm', 'e', 'r', 'a'}));
    EXPECT_EQ(infos.load(), 1);
    EXPECT_TRUE(operation->isExecuting());  // still reading
}

}  // namespace
}  // namespace orv::test
