// The run-loop TCP socket on the test thread's run loop: the object and its
// modes, listening and connecting, reads of every kind, queued writes,
// closing while requests are pending, and a connection to the queue-driven
// socket.
#include "AsyncSocketTestSupport.h"

#include <cmath>
#include <fcntl.h>
#include <netdb.h>
#include <sys/resource.h>

namespace orv::test {
namespace {

using E = LoopSocketEvent;

// ---------------------------------------------------------------------------
// The object

TEST_F(AsyncSocketTest, FreshSocketIsIdleWithDefaultModeAndDescribesItself)
{
    auto sock = AsyncSocket::create(clientDelegate, 42);
    EXPECT_EQ(sock->userData(), 42);
    EXPECT_TRUE(sock->isDisconnected());
    EXPECT_FALSE(sock->isConnected());
    EXPECT_EQ(sock->runLoopModes(), std::vector<RunLoopMode>{kDefaultRunLoopMode});
    const std::string text = sock->description();
    EXPECT_EQ(text.rfind("<AsyncSocket 0x", 0), 0u) << text;
    EXPECT_NE(text.find(" local nowhere remote nowhere has queued 0 reads 0 writes, no current read, "
                        "no current write, read stream (nil) not open, write stream (nil) not open, not connected>"),
              std::string::npos)
        << text;
    EXPECT_TRUE(std::isnan(sock->progressOfReadReturningTag(nullptr, nullptr, nullptr)));
    EXPECT_TRUE(std::isnan(sock->progressOfWriteReturningTag(nullptr, nullptr, nullptr)));
}

TEST_F(AsyncSocketTest, ModeChangesRefuseEmptyAndLastMode)
{
    auto sock = AsyncSocket::create(clientDelegate);
    EXPECT_FALSE(sock->setRunLoopModes({}));
    EXPECT_TRUE(sock->setRunLoopModes({kDefaultRunLoopMode}));
    EXPECT_FALSE(sock->removeRunLoopMode(kDefaultRunLoopMode));
    EXPECT_TRUE(sock->removeRunLoopMode("OtherMode"));
    EXPECT_TRUE(sock->addRunLoopMode("OtherMode"));
    EXPECT_TRUE(sock->addRunLoopMode("OtherMode"));
    EXPECT_EQ(sock->runLoopModes(), (std::vector<RunLoopMode>{kDefaultRunLoopMode, "OtherMode"}));
    EXPECT_TRUE(sock->removeRunLoopMode(kDefaultRunLoopMode));
    EXPECT_EQ(sock->runLoopModes(), std::vector<RunLoopMode>{"OtherMode"});
}

TEST_F(AsyncSocketTest, StreamErrorsMapToDomains)
{
    EXPECT_FALSE(AsyncSocket::errorFromCFStreamError({0, 0}));
    const struct {
        StreamError in;
        const char* domain;
    } cases[] = {
        {{0, 5}, "CFStreamError (unlisted domain)"},
        {{kStreamErrorDomainPOSIX, ECONNRESET}, "NSPOSIXErrorDomain"},
        {{kStreamErrorDomainMacOSStatus, -1}, "NSOSStatusErrorDomain"},
        {{kStreamErrorDomainSSL, -9807}, "kCFStreamErrorDomainSSL"},
        {{kStreamErrorDomainNetDB, EAI_NONAME}, "kCFStreamErrorDomainNetDB"},
    };
    for (const auto& c : cases) {
        auto error = AsyncSocket::errorFromCFStreamError(c.in);
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain, c.domain);
        EXPECT_EQ(error->code, c.in.error);
    }
    EXPECT_FALSE(AsyncSocket::errorFromCFStreamError({kStreamErrorDomainNetDB, EAI_NONAME})->message.empty());
    EXPECT_EQ(AsyncSocket::getReadTimeoutError().message, "Read operation timed out");
}

TEST_F(AsyncSocketTest, MisuseRaises)
{
    auto orphan = AsyncSocket::create();
    EXPECT_THROW(orphan->acceptOnPort(0), Exception);
    EXPECT_THROW(orphan->connectToHost("127.0.0.1", 1), Exception);
    connectPair();
    try {
        client->connectToHost("127.0.0.1", listener->localPort());
        FAIL() << "a second connect must raise";
    } catch (const Exception& e) {
        EXPECT_EQ(e.name(), AsyncSocketException);
    }
    EXPECT_THROW(listener->acceptOnPort(0), Exception);
}

// ---------------------------------------------------------------------------
// Listening and connecting

TEST_F(AsyncSocketTest, ListensOnBothFamiliesAtOnePortAndConnectsByHostAndAddress)
{
    listener = AsyncSocket::create(serverDelegate);
    Error error;
    ASSERT_TRUE(listener->acceptOnPort(0, &error)) << error.description();
    const uint16_t port = listener->localPort();
    ASSERT_NE(port, 0);
    EXPECT_EQ(listener->localPort4(), port);
    EXPECT_EQ(listener->localPort6(), port);

    struct Case {
        const char* name;
        std::function<bool(AsyncSocket&, Error*)> connect;
        const char* host;
    };
    const Case cases[] = {
        {"host 127.0.0.1", [&](AsyncSocket& s, Error* e) { return s.connectToHost("127.0.0.1", port, e); }, "127.0.0.1"},
        {"host ::1", [&](AsyncSocket& s, Error* e) { return s.connectToHost("::1", port, e); }, "::1"},
        {"address IPv4", [&](AsyncSocket& s, Error* e) { return s.connectToAddress(address4(port), 5.0, e); },
         "127.0.0.1"},
        {"address IPv6 via interface",
         [&](AsyncSocket& s, Error* e) { return s.connectToAddress(address6(port), address6(0), 5.0, e); }, "::1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto recorder = std::make_shared<LoopSocketRecorder>();
        auto sock = AsyncSocket::create(recorder);
        ASSERT_TRUE(c.connect(*sock, &error)) << error.description();
        ASSERT_TRUE(runUntil(*recorder, E::Connect));
        EXPECT_EQ(recorder->of(E::Connect)[0].host, c.host);
        EXPECT_EQ(recorder->of(E::Connect)[0].port, port);
        EXPECT_TRUE(sock->isConnected());
        EXPECT_EQ(sock->connectedHost(), c.host);
        const bool v4 = std::string(c.host) == "127.0.0.1";
        EXPECT_EQ(sock->isIPv4(), v4);
        EXPECT_EQ(v4 ? sock->connectedHost6() : sock->connectedHost4(), std::nullopt);
        EXPECT_EQ(v4 ? sock->connectedPort6() : sock->connectedPort4(), 0);
        EXPECT_EQ(recorder->count(E::WillConnect), 1u);
    }
    ASSERT_TRUE(runUntil(*serverDelegate, E::Connect, 4));
    EXPECT_EQ(serverDelegate->count(E::Accept), 4u);
}

TEST_F(AsyncSocketTest, ConnectFailuresReportThroughTheRightPath)
{
    // Refused by the delegate: no start, nothing more reported.
    clientDelegate->allowConnect = false;
    client = AsyncSocket::create(clientDelegate);
    Error error;
    EXPECT_FALSE(client->connectToHost("127.0.0.1", 9, &error));
    EXPECT_EQ(error.domain, AsyncSocketErrorDomain);
    EXPECT_EQ(error.code, AsyncSocketCanceledError);
    EXPECT_TRUE(client->isDisconnected());
    runBriefly();
    EXPECT_EQ(clientDelegate->count(E::Disconnect), 0u);

    // Refused by the peer: after the start, both closing callbacks.
    clientDelegate->allowConnect = true;
    uint16_t closedPort;
    {
        Listener probe;
        closedPort = probe.port();
    }
    for (const bool byAddress : {false, true}) {
        SCOPED_TRACE(byAddress ? "by address" : "by host");
        clientDelegate->events.clear();
        ASSERT_TRUE(byAddress ? client->connectToAddress(address4(closedPort), &error)
                              : client->connectToHost("127.0.0.1", closedPort, &error));
        ASSERT_TRUE(runUntil(*clientDelegate, E::Disconnect));
        ASSERT_EQ(clientDelegate->count(E::WillDisconnect), 1u);
        EXPECT_TRUE(clientDelegate->of(E::WillDisconnect)[0].error.has_value());
        EXPECT_TRUE(client->isDisconnected());
    }

    // A time-out that runs out before the connection is up.
    clientDelegate->events.clear();
    listener = AsyncSocket::create(serverDelegate);
    ASSERT_TRUE(listener->acceptOnInterface("loopback", 0, &error));
    ASSERT_TRUE(client->connectToHost("127.0.0.1", listener->localPort(), 0.0, &error));
    ASSERT_TRUE(runUntil(*clientDelegate, E::Disconnect));
    ASSERT_EQ(clientDelegate->count(E::Connect), 0u);
    EXPECT_EQ(clientDelegate->of(E::WillDisconnect).at(0).error->code, AsyncSocketConnectTimeoutError);
}

TEST_F(AsyncSocketTest, UnresolvableInterfaceFailsWithResolverError)
{
    listener = AsyncSocket::create(serverDelegate);
    Error error;
    EXPECT_FALSE(listener->acceptOnInterface("no-such-host.invalid", 0, &error));
    EXPECT_EQ(error.domain, "kCFStreamErrorDomainNetDB");
    EXPECT_TRUE(listener->isDisconnected());
}

TEST_F(AsyncSocketTest, AcceptedSocketNobodyKeepsClosesAtOnce)
{
    serverDelegate->keepAccepted = false;
    listener = AsyncSocket::create(serverDelegate);
    Error error;
    ASSERT_TRUE(listener->acceptOnInterface("localhost", 0, &error));
    client = AsyncSocket::create(clientDelegate);
    ASSERT_TRUE(client->connectToHost("127.0.0.1", listener->localPort(), &error));
    ASSERT_TRUE(runUntil(*serverDelegate, E::Disconnect));
    // Closed as it went away: no live pointer is handed out.
    EXPECT_EQ(serverDelegate->of(E::Disconnect)[0].sock, nullptr);
    ASSERT_TRUE(runUntil(*clientDelegate, E::Disconnect));
}

// ---------------------------------------------------------------------------
// Reading

TEST_F(AsyncSocketTest, ReadsToLengthTerminatorAndAvailable)
{
    connectPair();
    // Requests made before the data arrives, served in order.
    server->readDataToLength(5, -1, 1);
    server->readDataToData(AsyncSocket::CRLFData(), -1, 2);
    server->readDataToData(AsyncSocket::CRLFData(), -1, 3);
    client->writeData(bytesOf("helloline one\r\nline two\r\n"), -1, 0);
    ASSERT_TRUE(runUntil(*serverDelegate, E::Read, 3));
    auto reads = serverDelegate->of(E::Read);
    EXPECT_EQ(textOf(reads[0].data), "hello");
    EXPECT_EQ(textOf(reads[1].data), "line one\r\n");
    EXPECT_EQ(textOf(reads[2].data), "line two\r\n");
    EXPECT_EQ(reads[2].tag, 3);

    // A terminator split across two arrivals, and an available-data read.
    server->readDataToData(bytesOf("<END>"), -1, 4);
    client->writeData(bytesOf("abc<E"), -1, 0);
    ASSERT_TRUE(runUntil(*serverDelegate, E::ReadPartial));
    client->writeData(bytesOf("ND>rest"), -1, 0);
    ASSERT_TRUE(runUntil(*serverDelegate, E::Read, 4));
    EXPECT_EQ(textOf(serverDelegate->of(E::Read)[3].data), "abc<END>");
    server->readDataWithTimeout(-1, 5);
    ASSERT_TRUE(runUntil(*serverDelegate, E::Read, 5));
    EXPECT_EQ(textOf(serverDelegate->of(E::Read)[4].data), "rest");
}

TEST_F(AsyncSocketTest, MalformedAndRefusedReadsAreDropped)
{
    connectPair();
    auto buffer = std::make_shared<Bytes>(4);
    server->readDataToLength(0, -1, 1);
    server->readDataToData(Bytes{}, -1, 2);
    server->readDataToData(bytesOf("\r\n"), -1, 1, 3);
    server->readDataToLength(3, -1, buffer, 5, 4);
    EXPECT_TRUE(server->canSafelySetDelegate());
    server->readDataToLength(3, -1, 5);
    EXPECT_FALSE(server->canSafelySetDelegate());
    client->writeData(bytesOf("abc"), -1, 0);
    ASSERT_TRUE(runUntil(*serverDelegate, E::Read));
    EXPECT_EQ(serverDelegate->of(E::Read)[0].tag, 5);
}

TEST_F(AsyncSocketTest, ReadIntoCallerBufferKeepsBytesBeforeOffsetAndTrimsGrowth)
{
    connectPair();
    auto buffer = std::make_shared<Bytes>(bytesOf("XYZ"));
    server->readDataToLength(6, -1, buffer, 2, 1);
    client->writeData(bytesOf("abcdef"), -1, 0);
    ASSERT_TRUE(runUntil(*serverDelegate, E::Read));
    EXPECT_EQ(textOf(*buffer), "XYabcdef");
    const auto read = serverDelegate->of(E::Read)[0];
    EXPECT_EQ(read.view.buffer.get(), buffer.get());  // handed over without a copy
    EXPECT_EQ(textOf(read.data), "abcdef");
}

TEST_F(AsyncSocketTest, TerminatorReadReachingItsBoundClosesWithMaxedOut)
{
    connectPair();
    server->readDataToData(bytesOf("\n"), -1, 4, 1);
    client->writeData(bytesOf("abcdefgh"), -1, 0);
    ASSERT_TRUE(runUntil(*serverDelegate, E::Disconnect));
    const auto will = serverDelegate->of(E::WillDisconnect).at(0);
    EXPECT_EQ(will.error->code, AsyncSocketReadMaxedOutError);
    // The interrupted read's bytes come first in what was left unread.
    ASSERT_TRUE(will.unread);
    EXPECT_EQ(textOf(*will.unread).substr(0, 4), "abcd");
}

TEST_F(AsyncSocketTest, ReadTimeoutAsksDelegateAndExtends)
{
    connectPair();
    serverDelegate->readTimeoutAnswers = {0.05, 0};
    server->readDataToLength(10, 0.05, 7);
    ASSERT_TRUE(runUntil(*serverDelegate, E::Disconnect));
    const auto asked = serverDelegate->of(E::ReadTimeout);
    ASSERT_EQ(asked.size(), 2u);
    EXPECT_DOUBLE_EQ(asked[0].elapsed, 0.05);
    EXPECT_DOUBLE_EQ(asked[1].elapsed, 0.10);
    EXPECT_EQ(serverDelegate->of(E::WillDisconnect).at(0).error->code, AsyncSocketReadTimeoutError);
    EXPECT_EQ(serverDelegate->count(E::Read), 0u);
}

// ---------------------------------------------------------------------------
// Writing

TEST_F(AsyncSocketTest, QueuedWritesCompleteOnceEachInOrder)
{
    connectPair();
    // Written before the connection is up: they start once it is.
    auto early = AsyncSocket::create(clientDelegate);
    Error error;
    ASSERT_TRUE(early->connectToHost("127.0.0.1", listener->localPort(), &error));
    early->writeData(bytesOf("early"), -1, 100);
    ASSERT_TRUE(runUntil(*clientDelegate, E::Write, 1, early.get()));

    const Bytes big = patternBytes(1 << 20);
    client->writeData(bytesOf("one"), -1, 1);
    client->writeData(big, -1, 2);
    client->writeData(Bytes{}, -1, 99);
    client->writeData(bytesOf("three"), -1, 3);
    server->readDataToLength(3 + big.size() + 5, -1, 0);
    ASSERT_TRUE(runUntil(*serverDelegate, E::Read));
    ASSERT_TRUE(runUntil(*clientDelegate, E::Write, 3, client.get()));
    runBriefly();
    const auto writes = clientDelegate->of(E::Write, client.get());
    ASSERT_EQ(writes.size(), 3u);
    EXPECT_EQ(writes[0].tag, 1);
    EXPECT_EQ(writes[1].tag, 2);
    EXPECT_EQ(writes[2].tag, 3);
    Bytes expected = bytesOf("one");
    expected.insert(expected.end(), big.begin(), big.end());
    const Bytes three = bytesOf("three");
    expected.insert(expected.end(), three.begin(), three.end());
    EXPECT_TRUE(serverDelegate->of(E::Read)[0].data == expected);
    // The big write went out in passes, each reported as progress.
    size_t partial = 0;
    for (const auto& e : clientDelegate->of(E::WritePartial, client.get()))
        partial += e.length;
    EXPECT_LT(partial, big.size());
}

// ---------------------------------------------------------------------------
// Closing

TEST_F(AsyncSocketTest, CloseWithPendingRequestsEndsThemWithoutCallbacks)
{
    connectPair();
    server->readDataToLength(100, -1, 1);
    server->readDataToLength(100, -1, 2);
    server->writeData(bytesOf("x"), -1, 3);
    server->disconnect();
    EXPECT_TRUE(server->isDisconnected());
    runBriefly();
    EXPECT_EQ(serverDelegate->count(E::Read), 0u);
    EXPECT_EQ(serverDelegate->count(E::Write), 0u);
    EXPECT_EQ(serverDelegate->count(E::WillDisconnect), 0u);
    EXPECT_EQ(serverDelegate->count(E::Disconnect), 1u);
    // The peer sees the end, with the bytes of the interrupted read unread.
    ASSERT_TRUE(runUntil(*clientDelegate, E::Disconnect));
    EXPECT_FALSE(clientDelegate->of(E::WillDisconnect).at(0).error.has_value());
}

TEST_F(AsyncSocketTest, PeerClosingMidReadHandsBackUnreadBytes)
{
    connectPair();
    server->readDataToLength(100, -1, 1);
    client->writeData(bytesOf("partial"), -1, 0);
    ASSERT_TRUE(runUntil(*serverDelegate, E::ReadPartial));
    client->disconnectAfterWriting();
    ASSERT_TRUE(runUntil(*serverDelegate, E::Disconnect));
    const auto will = serverDelegate->of(E::WillDisconnect).at(0);
    EXPECT_FALSE(will.error.has_value());
    ASSERT_TRUE(will.unread);
    EXPECT_EQ(textOf(*will.unread), "partial");
    EXPECT_EQ(serverDelegate->count(E::Read), 0u);
    // Outside the closing callback there is nothing to hand back.
    EXPECT_FALSE(server->unreadData());
}

TEST_F(AsyncSocketTest, DestroyingWithPendingRequestsCallsNothingBackLater)
{
    connectPair();
    server->readDataToLength(100, -1, 1);
    server->writeData(patternBytes(8 << 20), -1, 2);
    client->writeData(bytesOf("some"), -1, 0);
    runBriefly();
    const size_t before = serverDelegate->events.size();
    server.reset();
    serverDelegate->accepted.clear();
    ASSERT_EQ(serverDelegate->events.size(), before + 1);
    EXPECT_EQ(serverDelegate->events.back().kind, E::Disconnect);
    EXPECT_EQ(serverDelegate->events.back().sock, nullptr);
    // The peer, reading what was sent, meets the end; the destroyed side
    // says nothing more.
    client->readDataToLength(64 << 20, -1, 1);
    ASSERT_TRUE(runUntil(*clientDelegate, E::Disconnect));
    EXPECT_EQ(serverDelegate->events.size(), before + 1);
}

TEST_F(AsyncSocketTest, DisconnectAfterWritingWaitsForTheQueue)
{
    connectPair();
    // Nothing queued: it closes on a later pass, not within the call.
    auto idle = AsyncSocket::create(clientDelegate);
    Error error;
    ASSERT_TRUE(idle->connectToHost("127.0.0.1", listener->localPort(), &error));
    ASSERT_TRUE(runUntil(*clientDelegate, E::Connect, 1, idle.get()));
    idle->disconnectAfterWriting();
    EXPECT_FALSE(idle->isDisconnected());
    ASSERT_TRUE(runUntil(*clientDelegate, E::Disconnect, 1, idle.get()));

    client->writeData(patternBytes(256 * 1024), -1, 1);
    client->disconnectAfterWriting();
    client->writeData(bytesOf("refused"), -1, 2);
    server->readDataToLength(256 * 1024, -1, 0);
    ASSERT_TRUE(runUntil(*clientDelegate, E::Disconnect, 1, client.get()));
    const auto& events = clientDelegate->events;
    auto write = std::find_if(events.begin(), events.end(),
                              [&](const E& e) { return e.kind == E::Write && e.sock == client.get(); });
    auto gone = std::find_if(events.begin(), events.end(),
                             [&](const E& e) { return e.kind == E::Disconnect && e.sock == client.get(); });
    ASSERT_NE(write, events.end());
    EXPECT_LT(write, gone);
    EXPECT_EQ(clientDelegate->count(E::Write, client.get()), 1u);
    ASSERT_TRUE(runUntil(*serverDelegate, E::Read));
}

TEST_F(AsyncSocketTest, ClosedSocketConnectsAgain)
{
    connectPair();
    client->disconnect();
    ASSERT_TRUE(client->isDisconnected());
    Error error;
    ASSERT_TRUE(client->connectToHost("127.0.0.1", listener->localPort(), &error));
    ASSERT_TRUE(runUntil(*clientDelegate, E::Connect, 2));
    EXPECT_TRUE(client->isConnected());
}

TEST_F(AsyncSocketTest, DescriptorsAbove1024Work)
{
    rlimit limit{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &limit), 0);
    if (limit.rlim_max < 1200)
        GTEST_SKIP() << "the descriptor limit cannot reach 1200";
    rlimit raised = limit;
    raised.rlim_cur = std::max<rlim_t>(limit.rlim_cur, 1200);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &raised), 0);
    std::vector<int> filler;
    while (filler.empty() || filler.back() < 1030) {
        const int fd = ::dup(0 <= ::fcntl(0, F_GETFD) ? 0 : 2);
        ASSERT_GE(fd, 0);
        filler.push_back(fd);
    }
    connectPair();
    server->readDataToLength(4, -1, 1);
    client->writeData(bytesOf("high"), -1, 0);
    EXPECT_TRUE(runUntil(*serverDelegate, E::Read));
    client.reset();
    server.reset();
    listener.reset();
    serverDelegate->accepted.clear();
    for (int fd : filler)
        ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

// ---------------------------------------------------------------------------
// With the queue-driven socket

TEST_F(AsyncSocketTest, TalksToTheQueueDrivenSocket)
{
    auto gcdDelegate = std::make_shared<RecordingDelegate>();
    auto queue = dispatch::Queue::makeSerial("AsyncSocketTest.delegate");
    auto gcdListener = GCDAsyncSocket::create(gcdDelegate, queue);
    Error error;
    ASSERT_TRUE(gcdListener->acceptOnInterface("localhost", 0, &error)) << error.description();
    client = AsyncSocket::create(clientDelegate);
    ASSERT_TRUE(client->connectToHost("::1", gcdListener->localPort(), 5.0, &error));
    ASSERT_TRUE(runUntil(*clientDelegate, E::Connect));
    auto accepted = gcdDelegate->waitFor(SocketEvent::Accept);
    ASSERT_TRUE(accepted);
    auto gcdServer = accepted->accepted;

    gcdServer->readDataToData(bytesOf("\n"), -1, 1);
    client->writeData(bytesOf("ping\n"), -1, 1);
    client->readDataToData(bytesOf("\n"), -1, 2);
    ASSERT_TRUE(runUntil([&] { return gcdDelegate->count(SocketEvent::Read) == 1; }));
    EXPECT_EQ(textOf(gcdDelegate->eventsOf(SocketEvent::Read)[0].data), "ping\n");
    gcdServer->writeData(bytesOf("pong\n"), -1, 2);
    ASSERT_TRUE(runUntil(*clientDelegate, E::Read));
    EXPECT_EQ(textOf(clientDelegate->of(E::Read)[0].data), "pong\n");

    gcdServer->disconnect();
    ASSERT_TRUE(runUntil(*clientDelegate, E::Disconnect));
    // Nothing of the queue-driven side outlives the test.
    std::vector<std::weak_ptr<GCDAsyncSocket>> gone{gcdServer, gcdListener};
    gcdServer->disconnect();
    gcdListener->disconnect();
    gcdServer.reset();
    accepted.reset();
    gcdListener.reset();
    letGo(std::move(gone), *gcdDelegate, queue);
}

}  // namespace
}  // namespace orv::test
