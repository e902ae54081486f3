// The queue-driven UDP socket's send queue and receive engine, with their
// filters, against plain loopback peers and against itself.
#include "UdpTestSupport.h"

#include <latch>
#include <sys/ioctl.h>

namespace orv::test {
namespace {

class UdpSendReceiveTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        sock.reset();
        delegateQueue->sync([] {});
    }

    std::shared_ptr<GCDAsyncUdpSocket> makeSocket()
    {
        return GCDAsyncUdpSocket::create(recorder, delegateQueue);
    }

    // Waits until the socket's IPv4 descriptor holds a datagram.
    bool waitUntilQueued(GCDAsyncUdpSocket& s)
    {
        return eventually(
            [&] {
                bool queued = false;
                s.performBlock([&] {
                    pollfd p{s.socket4FD(), POLLIN, 0};
                    queued = ::poll(&p, 1, 0) == 1;
                });
                return queued;
            },
            kUdpDeadline);
    }

    std::vector<std::string> receivedTexts() const
    {
        std::vector<std::string> texts;
        for (const auto& e : recorder->eventsOf(UdpEvent::Received))
            texts.push_back(udpText(e.data));
        return texts;
    }

    std::shared_ptr<UdpRecorder> recorder = std::make_shared<UdpRecorder>();
    dispatch::QueueRef delegateQueue = dispatch::Queue::makeSerial("udp-send-test-delegate");
    std::shared_ptr<GCDAsyncUdpSocket> sock = makeSocket();
};

TEST_F(UdpSendReceiveTest, DatagramsGoOutInOrderEachReportedOnce)
{
    UdpPeer peer;
    // An empty datagram is no request at all.
    sock->sendData(std::make_shared<const Bytes>(), peer.address(), -1, 99);
    constexpr int kCount = 50;
    for (int i = 0; i < kCount; ++i)
        sock->sendData(udpShared("d" + std::to_string(i)), peer.address(), -1, i);
    ASSERT_TRUE(recorder->waitFor(UdpEvent::Sent, kCount));
    delegateQueue->sync([] {});
    const auto sent = recorder->eventsOf(UdpEvent::Sent);
    ASSERT_EQ(sent.size(), static_cast<size_t>(kCount));
    for (int i = 0; i < kCount; ++i) {
        EXPECT_EQ(sent[i].tag, i);
        const auto datagram = peer.receive();
        ASSERT_TRUE(datagram);
        EXPECT_EQ(udpText(datagram->first), "d" + std::to_string(i));
    }
    // The first datagram bound the socket implicitly, on a port the system chose.
    EXPECT_NE(sock->localPort_IPv4(), 0);
}

TEST_F(UdpSendReceiveTest, AFailedDatagramDoesNotStopTheOnesBehindIt)
{
    UdpPeer peer;
    struct Case {
        const char* name;
        std::function<void(GCDAsyncUdpSocket&, int64_t)> send;
        long code;
        std::string message;
    };
    const Case cases[] = {
        {"NoDestination", [](GCDAsyncUdpSocket& s, int64_t tag) { s.sendData(udpShared("x"), -1.0, tag); },
         GCDAsyncUdpSocketBadConfigError, "You must specify destination of packet for a non-connected socket"},
        {"NoHost", [](GCDAsyncUdpSocket& s, int64_t tag) { s.sendData(udpShared("x"), "", 9, -1, tag); },
         GCDAsyncUdpSocketBadParamError, "The host param is nil. Should be domain name or IP address string."},
        {"NotAnAddress", [](GCDAsyncUdpSocket& s, int64_t tag) { s.sendData(udpShared("x"), Bytes(8, 1), -1, tag); },
         GCDAsyncUdpSocketBadParamError, "The destination is not a valid IPv4 or IPv6 address."},
        // Longer than any datagram: the system refuses it.
        {"TooLong",
         [&](GCDAsyncUdpSocket& s, int64_t tag) { s.sendData(Bytes(70000, 'x'), peer.address(), -1, tag); },
         EMSGSIZE, ""},
    };
    int64_t tag = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.send(*sock, ++tag);
        sock->sendData(udpShared(c.name), peer.address(), -1, 100 + tag);
        const auto failed = recorder->waitFor(UdpEvent::NotSent, static_cast<size_t>(tag));
        ASSERT_TRUE(failed);
        EXPECT_EQ(failed->tag, tag);
        EXPECT_EQ(failed->error->code, c.code);
        if (!c.message.empty()) {
            EXPECT_EQ(failed->error->message, c.message);
        }
        const auto next = peer.receive();
        ASSERT_TRUE(next);
        EXPECT_EQ(udpText(next->first), c.name);
    }
    EXPECT_EQ(recorder->count(UdpEvent::Close), 0u);
    EXPECT_FALSE(sock->isClosed());
}

TEST_F(UdpSendReceiveTest, ADestinationOfAClosedFamilyFailsThatDatagramOnly)
{
    if (!hasIPv6Loopback())
        GTEST_SKIP() << "no IPv6 loopback on this machine";
    ASSERT_TRUE(sock->bindToPort(0, "127.0.0.1"));
    UdpPeer peer;
    sock->sendData(udpShared("v6"), udpAddress6(9), -1, 1);
    sock->sendData(udpShared("v4"), peer.address(), -1, 2);
    const auto refused = recorder->waitFor(UdpEvent::NotSent);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->tag, 1);
    EXPECT_EQ(refused->error->code, GCDAsyncUdpSocketBadParamError);
    ASSERT_TRUE(peer.receive());
}

TEST_F(UdpSendReceiveTest, SendFiltersDropDatagramsButReportThemSent)
{
    UdpPeer peer;
    auto filterQueue = dispatch::Queue::makeSerial("udp-send-filter");
    for (bool async : {true, false}) {
        SCOPED_TRACE(async ? "asynchronous" : "synchronous");
        auto s = makeSocket();
        s->setSendFilter([](const Bytes& data, const Bytes&, int64_t) { return udpText(data) != "drop"; }, filterQueue,
                         async);
        s->sendData(udpShared("drop"), peer.address(), -1, 1);
        s->sendData(udpShared("keep"), peer.address(), -1, 2);
        const auto datagram = peer.receive();
        ASSERT_TRUE(datagram);
        EXPECT_EQ(udpText(datagram->first), "keep");
        s.reset();
    }
    ASSERT_TRUE(recorder->waitFor(UdpEvent::Sent, 4));
    delegateQueue->sync([] {});
    EXPECT_EQ(recorder->count(UdpEvent::NotSent), 0u);
}

TEST_F(UdpSendReceiveTest, ADatagramBehindAConnectGoesToThePeer)
{
    UdpPeer peer;
    ASSERT_TRUE(sock->connectToHost("127.0.0.1", peer.port()));
    sock->sendData(udpShared("after connect"), 7);
    const auto datagram = peer.receive();
    ASSERT_TRUE(datagram);
    EXPECT_EQ(udpText(datagram->first), "after connect");
    delegateQueue->sync([] {});
    ASSERT_TRUE(recorder->waitFor(UdpEvent::Sent));
    const auto events = recorder->events();
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ(events[0].kind, UdpEvent::Connect) << "the connect is reported before the datagram behind it";
}

TEST_F(UdpSendReceiveTest, CloseAfterSendingWaitsForTheQueue)
{
    UdpPeer peer;
    sock->sendData(udpShared("one"), peer.address(), -1, 1);
    sock->sendData(udpShared("two"), peer.address(), -1, 2);
    sock->closeAfterSending();
    const auto closed = recorder->waitFor(UdpEvent::Close);
    ASSERT_TRUE(closed);
    const auto events = recorder->events();
    ASSERT_EQ(events.size(), 3u);
    EXPECT_EQ(events[0].tag, 1);
    EXPECT_EQ(events[1].tag, 2);
    EXPECT_EQ(events[2].kind, UdpEvent::Close);

    // With nothing queued it closes at once.
    auto idle = makeSocket();
    ASSERT_TRUE(idle->bindToPort(0, "127.0.0.1"));
    idle->closeAfterSending();
    EXPECT_TRUE(recorder->waitFor(UdpEvent::Close, 2));
}

TEST_F(UdpSendReceiveTest, ReceivingNeedsSockets)
{
    Error error;
    EXPECT_FALSE(sock->receiveOnce(&error));
    EXPECT_EQ(error.code, GCDAsyncUdpSocketBadConfigError);
    EXPECT_EQ(error.message, "Must bind socket before you can receive data. You can do this explicitly via bind, "
                             "or implicitly via connect or by sending data.");
    EXPECT_FALSE(sock->beginReceiving(&error));
    ASSERT_TRUE(sock->bindToPort(0, "127.0.0.1"));
    EXPECT_TRUE(sock->receiveOnce(&error));
}

TEST_F(UdpSendReceiveTest, ReceiveOnceTakesOneDatagramAtATime)
{
    ASSERT_TRUE(sock->bindToPort(0, "127.0.0.1"));
    UdpPeer peer;
    const Bytes to = udpAddress4(sock->localPort());
    ASSERT_TRUE(sock->receiveOnce());
    ASSERT_TRUE(sock->receiveOnce());
    for (const char* text : {"first", "second", "third"})
        ASSERT_TRUE(peer.sendTo(udpBytes(text), to));
    ASSERT_TRUE(recorder->waitFor(UdpEvent::Received));
    // The second datagram waits for the next request.
    ASSERT_TRUE(sock->receiveOnce());
    ASSERT_TRUE(recorder->waitFor(UdpEvent::Received, 2));
    delegateQueue->sync([] {});
    EXPECT_EQ(receivedTexts(), (std::vector<std::string>{"first", "second"}));
    const auto first = recorder->eventsOf(UdpEvent::Received)[0];
    EXPECT_EQ(GCDAsyncUdpSocket::portFromAddress(first.address), peer.port());
}

TEST_F(UdpSendReceiveTest, PausedDatagramsWaitAndArriveInOrder)
{
    ASSERT_TRUE(sock->bindToPort(0, "127.0.0.1"));
    UdpPeer peer;
    const Bytes to = udpAddress4(sock->localPort());
    ASSERT_TRUE(sock->beginReceiving());
    sock->pauseReceiving();
    for (const char* text : {"a", "b", "c"})
        ASSERT_TRUE(peer.sendTo(udpBytes(text), to));
    ASSERT_TRUE(waitUntilQueued(*sock));
    sock->performBlock([] {});
    delegateQueue->sync([] {});
    EXPECT_TRUE(receivedTexts().empty());

    ASSERT_TRUE(sock->beginReceiving());
    ASSERT_TRUE(recorder->waitFor(UdpEvent::Received, 3));
    EXPECT_EQ(receivedTexts(), (std::vector<std::string>{"a", "b", "c"}));

    // Continuous, then once: one more datagram, then nothing.
    ASSERT_TRUE(sock->receiveOnce());
    for (const char* text : {"d", "e"})
        ASSERT_TRUE(peer.sendTo(udpBytes(text), to));
    ASSERT_TRUE(recorder->waitFor(UdpEvent::Received, 4));
    ASSERT_TRUE(waitUntilQueued(*sock));
    sock->performBlock([] {});
    delegateQueue->sync([] {});
    EXPECT_EQ(recorder->count(UdpEvent::Received), 4u);
}

TEST_F(UdpSendReceiveTest, EmptyAndOversizedDatagramsAreNeverDeliveredAsData)
{
    ASSERT_TRUE(sock->bindToPort(0, "127.0.0.1"));
    sock->setMaxReceiveIPv4BufferSize(16);
    UdpPeer peer;
    const Bytes to = udpAddress4(sock->localPort());
    ASSERT_TRUE(sock->beginReceiving());
    ASSERT_TRUE(peer.sendTo(Bytes(), to));
    ASSERT_TRUE(peer.sendTo(Bytes(40, 'L'), to));
    ASSERT_TRUE(peer.sendTo(udpBytes("fits"), to));
    ASSERT_TRUE(recorder->waitFor(UdpEvent::Received));
    delegateQueue->sync([] {});
    EXPECT_EQ(receivedTexts(), (std::vector<std::string>{"fits"}));
    const auto dropped = recorder->eventsOf(UdpEvent::NotReceived);
    ASSERT_EQ(dropped.size(), 1u);
    EXPECT_EQ(dropped[0].error->code, GCDAsyncUdpSocketOtherError);
    EXPECT_NE(dropped[0].error->message.find("40 bytes"), std::string::npos) << dropped[0].error->message;
    // An empty datagram is no end of stream: the socket stays open.
    EXPECT_EQ(recorder->count(UdpEvent::Close), 0u);
    EXPECT_FALSE(sock->isClosed());
}

TEST_F(UdpSendReceiveTest, ARefusedPeerFailsOneDatagramAndTheSocketGoesOn)
{
    // A connected socket whose peer is gone learns it from an ICMP answer.
    int port = 0;
    {
        UdpPeer gone;
        port = gone.port();
    }
    ASSERT_TRUE(sock->connectToAddress(udpAddress4(static_cast<uint16_t>(port))));
    ASSERT_TRUE(recorder->waitFor(UdpEvent::Connect));
    ASSERT_TRUE(sock->beginReceiving());
    sock->sendData(udpShared("ping"), 1);
    ASSERT_TRUE(recorder->waitFor(UdpEvent::Sent));
    const auto refused = recorder->waitFor(UdpEvent::NotReceived);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->error->code, ECONNREFUSED);
    EXPECT_EQ(recorder->count(UdpEvent::Close), 0u);
    EXPECT_TRUE(sock->isConnected());
}

TEST_F(UdpSendReceiveTest, ReceiveFiltersChooseAndCarryAContext)
{
    ASSERT_TRUE(sock->bindToPort(0, "127.0.0.1"));
    UdpPeer peer;
    const Bytes to = udpAddress4(sock->localPort());
    auto filterQueue = dispatch::Queue::makeSerial("udp-receive-filter");
    // Synchronous: refused datagrams do not count as the one asked for.
    sock->setReceiveFilter(
        [](const Bytes& data, const Bytes&, std::shared_ptr<void>* context) {
            *context = std::make_shared<std::string>("seen " + udpText(data));
            return udpText(data).starts_with("ok");
        },
        filterQueue, false);
    ASSERT_TRUE(sock->receiveOnce());
    for (const char* text : {"no1", "no2", "ok3"})
        ASSERT_TRUE(peer.sendTo(udpBytes(text), to));
    const auto received = recorder->waitFor(UdpEvent::Received);
    ASSERT_TRUE(received);
    EXPECT_EQ(udpText(received->data), "ok3");
    ASSERT_TRUE(received->context);
    EXPECT_EQ(*std::static_pointer_cast<std::string>(received->context), "seen ok3");

    // Asynchronous, continuous.
    sock->setReceiveFilter([](const Bytes& data, const Bytes&, std::shared_ptr<void>*) { return udpText(data) != "no"; },
                           filterQueue, true);
    ASSERT_TRUE(sock->beginReceiving());
    for (const char* text : {"ok4", "no", "ok5"})
        ASSERT_TRUE(peer.sendTo(udpBytes(text), to));
    ASSERT_TRUE(recorder->waitFor(UdpEvent::Received, 3));
    EXPECT_EQ(receivedTexts(), (std::vector<std::string>{"ok3", "ok4", "ok5"}));
}

TEST_F(UdpSendReceiveTest, AFilterAnswerFromBeforeACloseIsDropped)
{
    ASSERT_TRUE(sock->bindToPort(0, "127.0.0.1"));
    UdpPeer peer;
    auto filterQueue = dispatch::Queue::makeSerial("udp-slow-filter");
    std::latch entered(1);
    std::latch release(1);
    sock->setReceiveFilter(
        [&](const Bytes&, const Bytes&, std::shared_ptr<void>*) {
            entered.count_down();
            release.wait();
            return true;
        },
        filterQueue, true);
    ASSERT_TRUE(sock->beginReceiving());
    ASSERT_TRUE(peer.sendTo(udpBytes("late"), udpAddress4(sock->localPort())));
    entered.wait();
    sock->close();
    release.count_down();
    filterQueue->sync([] {});
    sock->performBlock([] {});
    delegateQueue->sync([] {});
    EXPECT_EQ(recorder->count(UdpEvent::Received), 0u);
    EXPECT_EQ(recorder->count(UdpEvent::Close), 1u);
}

TEST_F(UdpSendReceiveTest, TwoSocketsTalkOverIPv6)
{
    if (!hasIPv6Loopback())
        GTEST_SKIP() << "no IPv6 loopback on this machine";
    auto other = makeSocket();
    ASSERT_TRUE(other->bindToAddress(udpAddress6(0)));
    ASSERT_TRUE(other->beginReceiving());
    sock->sendData(udpShared("over v6"), "::1", other->localPort(), -1, 1);
    const auto received = recorder->waitFor(UdpEvent::Received);
    ASSERT_TRUE(received);
    EXPECT_EQ(received->sock, other.get());
    EXPECT_EQ(udpText(received->data), "over v6");
    EXPECT_TRUE(GCDAsyncUdpSocket::isIPv6Address(received->address));
    other.reset();
}

}  // namespace
}  // namespace orv::test
