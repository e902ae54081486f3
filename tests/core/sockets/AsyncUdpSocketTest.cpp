// The run-loop UDP socket on the test thread's run loop: binding, connecting,
// options, closing, and datagrams between two of them and with the
// queue-driven UDP socket.
#include "UdpTestSupport.h"

#include "core/sockets/AsyncUdpSocket.h"
#include "platform/RunLoop.h"

#include <sys/resource.h>

namespace orv::test {
namespace {

struct LoopEvent {
    enum Kind { Sent, NotSent, Received, NotReceived, Closed };
    Kind kind;
    AsyncUdpSocket* sock;
    long tag = 0;
    Bytes data;
    std::string host;
    uint16_t port = 0;
    std::optional<Error> error;
};

class LoopRecorder : public AsyncUdpSocketDelegate {
public:
    // Answers to received datagrams, in order; when they run out, true.
    std::vector<bool> answers;

    void onUdpSocketDidSendDataWithTag(AsyncUdpSocket& sock, long tag) override
    {
        events.push_back({LoopEvent::Sent, &sock, tag});
    }
    void onUdpSocketDidNotSendDataWithTag(AsyncUdpSocket& sock, long tag, const Error& error) override
    {
        events.push_back({LoopEvent::NotSent, &sock, tag, {}, {}, 0, error});
    }
    std::optional<bool> onUdpSocketDidReceiveData(AsyncUdpSocket& sock, const Bytes& data, long tag,
                                                  const std::string& host, uint16_t port) override
    {
        events.push_back({LoopEvent::Received, &sock, tag, data, host, port});
        const size_t index = count(LoopEvent::Received) - 1;
        return index < answers.size() ? answers[index] : true;
    }
    void onUdpSocketDidNotReceiveDataWithTag(AsyncUdpSocket& sock, long tag, const Error& error) override
    {
        events.push_back({LoopEvent::NotReceived, &sock, tag, {}, {}, 0, error});
    }
    void onUdpSocketDidClose(AsyncUdpSocket& sock) override { events.push_back({LoopEvent::Closed, &sock}); }

    size_t count(LoopEvent::Kind kind) const
    {
        size_t n = 0;
        for (const auto& e : events)
            n += e.kind == kind;
        return n;
    }
    std::vector<LoopEvent> of(LoopEvent::Kind kind) const
    {
        std::vector<LoopEvent> result;
        for (const auto& e : events)
            if (e.kind == kind)
                result.push_back(e);
        return result;
    }

    std::vector<LoopEvent> events;
};

class AsyncUdpSocketTest : public ::testing::Test {
protected:
    // Runs this thread's loop until `count` events of `kind` came.
    bool runUntil(LoopEvent::Kind kind, size_t count = 1)
    {
        return RunLoop::current().runUntil([&] { return recorder->count(kind) >= count; },
                                           RunLoop::Clock::now() + kUdpDeadline);
    }
    // A few passes, for what must not happen.
    void runBriefly()
    {
        for (int i = 0; i < 5; ++i)
            RunLoop::current().runOnce();
    }

    std::shared_ptr<LoopRecorder> recorder = std::make_shared<LoopRecorder>();
};

TEST_F(AsyncUdpSocketTest, MisuseRaisesAndFailuresAreErrors)
{
    struct Case {
        const char* name;
        std::function<void(AsyncUdpSocket&)> misuse;
        const char* reason;
    };
    const Case cases[] = {
        {"BindTwice", [](AsyncUdpSocket& s) { s.bindToPort(0); s.bindToPort(0); }, "Cannot bind a socket more than once."},
        {"BindAfterConnect",
         [](AsyncUdpSocket& s) { s.connectToAddress(udpAddress4(9)); s.bindToPort(0); },
         "Cannot bind after connecting. If needed, bind first, then connect."},
        {"ConnectTwice",
         [](AsyncUdpSocket& s) { s.connectToAddress(udpAddress4(9)); s.connectToHost("127.0.0.1", 9); },
         "Cannot connect a socket more than once."},
        {"JoinUnbound", [](AsyncUdpSocket& s) { s.joinMulticastGroup("239.255.77.2"); },
         "Must bind a socket before joining a multicast group."},
        {"BindClosed", [](AsyncUdpSocket& s) { s.close(); s.bindToPort(0); }, "The socket is closed."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = AsyncUdpSocket::create(recorder);
        try {
            c.misuse(*s);
            ADD_FAILURE() << "no exception";
        } catch (const Exception& e) {
            EXPECT_EQ(e.name(), AsyncUdpSocketException);
            EXPECT_EQ(e.reason(), c.reason);
        }
    }

    auto v6only = AsyncUdpSocket::createIPv6(recorder);
    EXPECT_FALSE(v6only->isIPv4());
    Error error;
    EXPECT_FALSE(v6only->bindToAddress("127.0.0.1", 0, &error));
    EXPECT_EQ(error.code, AsyncUdpSocketIPv4Unavailable);

    auto s = AsyncUdpSocket::create(recorder);
    EXPECT_FALSE(s->connectToAddress(Bytes(20, 0), &error));
    EXPECT_EQ(error.code, AsyncUdpSocketBadParameter);
    EXPECT_EQ(error.message, "remoteAddr parameter is not a valid address");
}

TEST_F(AsyncUdpSocketTest, BindingAndConnectingKeepTheFamiliesTheyUse)
{
    auto any = AsyncUdpSocket::create(recorder);
    ASSERT_TRUE(any->bindToPort(0));
    EXPECT_TRUE(any->isIPv4());
    EXPECT_EQ(any->isIPv6(), hasIPv6Loopback());
    EXPECT_NE(any->localPort(), 0);

    auto v4 = AsyncUdpSocket::create(recorder);
    ASSERT_TRUE(v4->bindToAddress("127.0.0.1", 0));
    EXPECT_FALSE(v4->isIPv6()) << "an IPv4 address drops the IPv6 socket";
    EXPECT_EQ(v4->localHost(), "127.0.0.1");

    UdpPeer peer;
    auto connected = AsyncUdpSocket::create(recorder);
    Error error;
    ASSERT_TRUE(connected->connectToHost("localhost", peer.port(), &error)) << error.description();
    EXPECT_TRUE(connected->isConnected());
    EXPECT_FALSE(connected->isIPv6()) << "IPv4 wins when both resolve";
    EXPECT_EQ(connected->connectedPort(), peer.port());
    EXPECT_TRUE(connected->isConnectedToHost("127.0.0.1", peer.port()));
    connected->close();
    EXPECT_FALSE(connected->isConnected());
    EXPECT_TRUE(connected->isClosed());

    EXPECT_FALSE(v4->setRunLoopModes({}));
    EXPECT_TRUE(v4->setRunLoopModes({kDefaultRunLoopMode}));
    EXPECT_EQ(v4->runLoopModes(), std::vector<RunLoopMode>{kDefaultRunLoopMode});
}

TEST_F(AsyncUdpSocketTest, DatagramsBetweenTwoSocketsInOrder)
{
    auto receiver = AsyncUdpSocket::createIPv4(recorder);
    ASSERT_TRUE(receiver->bindToAddress("127.0.0.1", 0));
    auto sender = AsyncUdpSocket::createIPv4(recorder);
    ASSERT_TRUE(sender->bindToAddress("127.0.0.1", 0));

    // Refused at the call.
    EXPECT_FALSE(sender->sendData(Bytes(), "127.0.0.1", receiver->localPort(), -1, 0));
    EXPECT_FALSE(sender->sendData(udpBytes("x"), -1, 0)) << "not connected";
    EXPECT_FALSE(sender->sendData(udpBytes("x"), Bytes(12, 1), -1, 0));

    ASSERT_TRUE(sender->sendData(udpBytes("one"), "127.0.0.1", receiver->localPort(), -1, 1));
    ASSERT_TRUE(sender->sendData(udpBytes("two"), udpAddress4(receiver->localPort()), -1, 2));
    receiver->receiveWithTimeout(-1, 10);
    receiver->receiveWithTimeout(-1, 11);
    ASSERT_TRUE(runUntil(LoopEvent::Received, 2));
    ASSERT_TRUE(runUntil(LoopEvent::Sent, 2));
    const auto sent = recorder->of(LoopEvent::Sent);
    EXPECT_EQ(sent[0].tag, 1);
    EXPECT_EQ(sent[1].tag, 2);
    const auto received = recorder->of(LoopEvent::Received);
    EXPECT_EQ(udpText(received[0].data), "one");
    EXPECT_EQ(received[0].tag, 10);
    EXPECT_EQ(udpText(received[1].data), "two");
    EXPECT_EQ(received[1].tag, 11);
    EXPECT_EQ(received[0].host, "127.0.0.1");
    EXPECT_EQ(received[0].port, sender->localPort());
}

TEST_F(AsyncUdpSocketTest, ARefusedDatagramLeavesTheRequestWaiting)
{
    auto receiver = AsyncUdpSocket::createIPv4(recorder);
    ASSERT_TRUE(receiver->bindToAddress("127.0.0.1", 0));
    recorder->answers = {false, true};
    receiver->receiveWithTimeout(-1, 7);
    UdpPeer peer;
    ASSERT_TRUE(peer.sendTo(udpBytes("skip"), udpAddress4(receiver->localPort())));
    ASSERT_TRUE(peer.sendTo(udpBytes("take"), udpAddress4(receiver->localPort())));
    ASSERT_TRUE(runUntil(LoopEvent::Received, 2));
    const auto received = recorder->of(LoopEvent::Received);
    EXPECT_EQ(received[1].tag, 7);
    EXPECT_EQ(udpText(received[1].data), "take");
}

TEST_F(AsyncUdpSocketTest, ReceiveFailuresEndTheRequestNotTheSocket)
{
    auto receiver = AsyncUdpSocket::createIPv4(recorder);
    ASSERT_TRUE(receiver->bindToAddress("127.0.0.1", 0));
    receiver->setMaxReceiveBufferSize(8);
    UdpPeer peer;
    const Bytes to = udpAddress4(receiver->localPort());

    // Too long: dropped with an error, never handed out cut.
    receiver->receiveWithTimeout(-1, 1);
    ASSERT_TRUE(peer.sendTo(Bytes(20, 'L'), to));
    ASSERT_TRUE(runUntil(LoopEvent::NotReceived));
    EXPECT_EQ(recorder->of(LoopEvent::NotReceived)[0].error->code, AsyncUdpSocketDatagramTooLongError);

    // Nothing comes: the timeout ends the request.
    receiver->receiveWithTimeout(0.05, 2);
    ASSERT_TRUE(runUntil(LoopEvent::NotReceived, 2));
    const auto timedOut = recorder->of(LoopEvent::NotReceived)[1];
    EXPECT_EQ(timedOut.tag, 2);
    EXPECT_EQ(timedOut.error->code, AsyncUdpSocketReceiveTimeoutError);

    receiver->receiveWithTimeout(-1, 3);
    ASSERT_TRUE(peer.sendTo(udpBytes("fits"), to));
    ASSERT_TRUE(runUntil(LoopEvent::Received));
    EXPECT_EQ(recorder->count(LoopEvent::Received), 1u);
}

TEST_F(AsyncUdpSocketTest, ConnectedSocketHearsOnlyItsPeer)
{
    UdpPeer peer;
    UdpPeer stranger;
    auto sock = AsyncUdpSocket::createIPv4(recorder);
    ASSERT_TRUE(sock->connectToAddress(peer.address()));
    EXPECT_FALSE(sock->sendData(udpBytes("x"), "127.0.0.1", peer.port(), -1, 0)) << "connected: no destination";
    ASSERT_TRUE(sock->sendData(udpBytes("hello"), -1, 1));
    ASSERT_TRUE(runUntil(LoopEvent::Sent));
    ASSERT_TRUE(peer.receive());

    sock->receiveWithTimeout(-1, 2);
    ASSERT_TRUE(stranger.sendTo(udpBytes("stranger"), udpAddress4(sock->localPort())));
    ASSERT_TRUE(peer.sendTo(udpBytes("peer"), udpAddress4(sock->localPort())));
    ASSERT_TRUE(runUntil(LoopEvent::Received));
    EXPECT_EQ(udpText(recorder->of(LoopEvent::Received)[0].data), "peer");
}

TEST_F(AsyncUdpSocketTest, CloseAfterSendingLetsQueuedDatagramsGoFirst)
{
    UdpPeer peer;
    auto sock = AsyncUdpSocket::createIPv4(recorder);
    ASSERT_TRUE(sock->sendData(udpBytes("a"), peer.address(), -1, 1));
    ASSERT_TRUE(sock->sendData(udpBytes("b"), peer.address(), -1, 2));
    sock->closeAfterSending();
    EXPECT_FALSE(sock->sendData(udpBytes("c"), peer.address(), -1, 3)) << "closing: no new sends";
    ASSERT_TRUE(runUntil(LoopEvent::Closed));
    EXPECT_EQ(recorder->count(LoopEvent::Sent), 2u);
    EXPECT_EQ(recorder->events.back().kind, LoopEvent::Closed);
    EXPECT_TRUE(sock->isClosed());
    sock->closeAfterSending();  // closed: nothing more
    runBriefly();
    EXPECT_EQ(recorder->count(LoopEvent::Closed), 1u);

    // Destroyed right after closing: the close is not reported.
    auto other = AsyncUdpSocket::createIPv4(recorder);
    other->close();
    other.reset();
    runBriefly();
    EXPECT_EQ(recorder->count(LoopEvent::Closed), 1u);
}

TEST_F(AsyncUdpSocketTest, TalksWithTheQueueDrivenSocket)
{
    auto loopSock = AsyncUdpSocket::createIPv4(recorder);
    ASSERT_TRUE(loopSock->bindToAddress("127.0.0.1", 0));

    auto queueRecorder = std::make_shared<UdpRecorder>();
    auto delegateQueue = dispatch::Queue::makeSerial("async-udp-peer-delegate");
    auto queueSock = GCDAsyncUdpSocket::create(queueRecorder, delegateQueue);
    ASSERT_TRUE(queueSock->bindToPort(0, "127.0.0.1"));
    ASSERT_TRUE(queueSock->beginReceiving());

    loopSock->receiveWithTimeout(-1, 1);
    queueSock->sendData(udpShared("to loop"), udpAddress4(loopSock->localPort()), -1, 1);
    ASSERT_TRUE(runUntil(LoopEvent::Received));
    EXPECT_EQ(udpText(recorder->of(LoopEvent::Received)[0].data), "to loop");
    EXPECT_EQ(recorder->of(LoopEvent::Received)[0].port, queueSock->localPort());

    ASSERT_TRUE(loopSock->sendData(udpBytes("to queue"), udpAddress4(queueSock->localPort()), -1, 2));
    ASSERT_TRUE(runUntil(LoopEvent::Sent));
    const auto received = queueRecorder->waitFor(UdpEvent::Received);
    ASSERT_TRUE(received);
    EXPECT_EQ(udpText(received->data), "to queue");
    queueSock.reset();
    delegateQueue->sync([] {});
}

TEST_F(AsyncUdpSocketTest, DescriptorsAbove1024Work)
{
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlimit saved = limit;
    if (limit.rlim_max < 2048)
        GTEST_SKIP() << "the hard descriptor limit is " << limit.rlim_max << ", below what the test needs";
    limit.rlim_cur = std::max<rlim_t>(limit.rlim_cur, 2048);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);
    std::vector<int> fillers;
    for (int fd = ::dup(0); fd != -1 && fd < 1100; fd = ::dup(0))
        fillers.push_back(fd);
    auto sock = AsyncUdpSocket::createIPv4(recorder);
    for (int fd : fillers)
        ::close(fd);
    ASSERT_TRUE(sock->bindToAddress("127.0.0.1", 0));

    UdpPeer peer;
    sock->receiveWithTimeout(-1, 1);
    ASSERT_TRUE(peer.sendTo(udpBytes("high"), udpAddress4(sock->localPort())));
    ASSERT_TRUE(runUntil(LoopEvent::Received));
    ASSERT_TRUE(sock->sendData(udpBytes("back"), peer.address(), -1, 2));
    ASSERT_TRUE(runUntil(LoopEvent::Sent));
    EXPECT_TRUE(peer.receive());
    sock.reset();
    setrlimit(RLIMIT_NOFILE, &saved);
}

}  // namespace
}  // namespace orv::test
