// The queue-driven UDP socket's binding, connecting, multicast membership and
// broadcast permission.
#include "UdpTestSupport.h"

namespace orv::test {
namespace {

class UdpBindTest : public ::testing::Test {
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

    std::shared_ptr<UdpRecorder> recorder = std::make_shared<UdpRecorder>();
    dispatch::QueueRef delegateQueue = dispatch::Queue::makeSerial("udp-bind-test-delegate");
    std::shared_ptr<GCDAsyncUdpSocket> sock = makeSocket();
};

TEST_F(UdpBindTest, RefusedBindsNameTheirReason)
{
    struct Case {
        const char* name;
        std::function<bool(GCDAsyncUdpSocket&, Error*)> bind;
        long code;
        const char* message;
    };
    const Case cases[] = {
        {"UnknownInterface", [](GCDAsyncUdpSocket& s, Error* e) { return s.bindToPort(0, "nosuchif0", e); },
         GCDAsyncUdpSocketBadParamError,
         "Unknown interface. Specify valid interface by name (e.g. \"en1\") or IP address."},
        {"ShortAddress", [](GCDAsyncUdpSocket& s, Error* e) { return s.bindToAddress(Bytes(10, 0), e); },
         GCDAsyncUdpSocketBadParamError, "A valid IPv4 or IPv6 address was not given"},
        {"DisabledFamily",
         [](GCDAsyncUdpSocket& s, Error* e) {
             s.setIPv4Enabled(false);
             return s.bindToAddress(udpAddress4(0), e);
         },
         GCDAsyncUdpSocketBadParamError, "IPv4 has been disabled and an IPv4 address was passed."},
        {"InterfaceWithoutTheEnabledFamily",
         [](GCDAsyncUdpSocket& s, Error* e) {
             s.setIPv4Enabled(false);
             return s.bindToPort(0, "127.0.0.1", e);
         },
         GCDAsyncUdpSocketBadParamError, "IPv4 has been disabled and specified interface doesn't support IPv6."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto s = makeSocket();
        Error error;
        EXPECT_FALSE(c.bind(*s, &error));
        EXPECT_EQ(error.code, c.code);
        EXPECT_EQ(error.message, c.message);
        EXPECT_TRUE(s->isClosed());
    }
}

TEST_F(UdpBindTest, BindsOnceAndNotAfterConnecting)
{
    Error error;
    ASSERT_TRUE(sock->bindToPort(0, "127.0.0.1", &error)) << error.description();
    const uint16_t port = sock->localPort();
    EXPECT_NE(port, 0);
    EXPECT_TRUE(sock->isIPv4());
    EXPECT_FALSE(sock->isIPv6()) << "an IPv4-only interface leaves the IPv6 side out";
    EXPECT_FALSE(sock->bindToPort(0, &error));
    EXPECT_EQ(error.message, "Cannot bind a socket more than once.");
    EXPECT_EQ(sock->localPort(), port);

    // Refused as soon as the connect is accepted, before it is carried out.
    UdpPeer peer;
    auto other = makeSocket();
    ASSERT_TRUE(other->connectToAddress(peer.address(), &error));
    EXPECT_FALSE(other->bindToPort(0, &error));
    EXPECT_EQ(error.message, "Cannot bind after connecting. If needed, bind first, then connect.");
    EXPECT_FALSE(other->connectToAddress(peer.address(), &error));
    EXPECT_EQ(error.message, "Cannot connect a socket more than once.");
}

TEST_F(UdpBindTest, AFailedBindLeavesNoSocketsAndMayBeRetried)
{
    // A port held without address reuse cannot be bound again.
    const int holder = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    const Bytes any = udpAddress4(0);
    ASSERT_EQ(::bind(holder, reinterpret_cast<const sockaddr*>(any.data()), any.size()), 0);
    sockaddr_in bound{};
    socklen_t length = sizeof bound;
    ::getsockname(holder, reinterpret_cast<sockaddr*>(&bound), &length);

    Error error;
    EXPECT_FALSE(sock->bindToAddress(udpAddress4(ntohs(bound.sin_port)), &error));
    EXPECT_EQ(error.code, EADDRINUSE);
    EXPECT_EQ(error.info.at("failureReason"), "Error in bind() function");
    EXPECT_TRUE(sock->isClosed());
    ::close(holder);
    EXPECT_TRUE(sock->bindToAddress(udpAddress4(0), &error)) << error.description();
}

TEST_F(UdpBindTest, BothFamiliesBindOnOnePort)
{
    if (!hasIPv6Loopback())
        GTEST_SKIP() << "no IPv6 loopback on this machine";
    Error error;
    ASSERT_TRUE(sock->bindToPort(0, "localhost", &error)) << error.description();
    EXPECT_TRUE(sock->isIPv4());
    EXPECT_TRUE(sock->isIPv6());
    EXPECT_EQ(sock->localHost_IPv4(), "127.0.0.1");
    EXPECT_EQ(sock->localHost_IPv6(), "::1");
    EXPECT_EQ(sock->localAddress(), sock->localAddress_IPv4()) << "IPv4 answers when both exist";
}

TEST_F(UdpBindTest, ConnectedSocketTalksToItsPeerOnly)
{
    UdpPeer peer;
    UdpPeer stranger;
    Error error;
    ASSERT_TRUE(sock->connectToHost("127.0.0.1", peer.port(), &error)) << error.description();
    ASSERT_TRUE(recorder->waitFor(UdpEvent::Connect));
    EXPECT_TRUE(sock->isConnected());
    EXPECT_EQ(sock->connectedPort(), peer.port());
    EXPECT_EQ(sock->connectedHost(), "127.0.0.1");
    EXPECT_FALSE(sock->isIPv6()) << "an IPv4 peer closes the IPv6 side";

    ASSERT_TRUE(sock->receiveOnce());
    const Bytes local = udpAddress4(sock->localPort());
    ASSERT_TRUE(stranger.sendTo(udpBytes("stranger"), local));
    ASSERT_TRUE(peer.sendTo(udpBytes("peer"), local));
    const auto received = recorder->waitFor(UdpEvent::Received);
    ASSERT_TRUE(received);
    EXPECT_EQ(udpText(received->data), "peer") << "the stranger's datagram does not count as the one asked for";

    sock->sendData(udpShared("to peer"), 1);
    const auto atPeer = peer.receive();
    ASSERT_TRUE(atPeer);
    EXPECT_EQ(udpText(atPeer->first), "to peer");

    sock->sendData(udpShared("named"), "127.0.0.1", peer.port(), -1, 2);
    const auto refused = recorder->waitFor(UdpEvent::NotSent);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->tag, 2);
    EXPECT_EQ(refused->error->message, "Cannot specify destination of packet for connected socket");

    // A closed socket has no peer any more.
    sock->close();
    EXPECT_FALSE(sock->connectedAddress());
    EXPECT_EQ(sock->connectedPort(), 0);
}

TEST_F(UdpBindTest, ConnectFailuresArriveAsMessagesAndAllowAnotherTry)
{
    Error error;
    EXPECT_FALSE(sock->connectToHost("", 9, &error));
    EXPECT_EQ(error.code, GCDAsyncUdpSocketBadParamError);
    EXPECT_EQ(error.message, "The host param is nil. Should be domain name or IP address string.");

    sock->setIPv6Enabled(false);
    ASSERT_TRUE(sock->connectToHost("::1", 9, &error)) << error.description();
    const auto failed = recorder->waitFor(UdpEvent::NotConnect);
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->error->code, GCDAsyncUdpSocketOtherError);
    EXPECT_EQ(failed->error->message, "IPv6 has been disabled and DNS lookup found no IPv4 address(es).");
    EXPECT_FALSE(sock->isConnected());

    UdpPeer peer;
    ASSERT_TRUE(sock->connectToAddress(peer.address(), &error)) << error.description();
    EXPECT_TRUE(recorder->waitFor(UdpEvent::Connect));
}

TEST_F(UdpBindTest, LocalhostResolvesToBothLoopbacksIPv4First)
{
    if (!hasIPv6Loopback())
        GTEST_SKIP() << "no IPv6 loopback on this machine";
    UdpPeer peer4;
    ASSERT_TRUE(sock->connectToHost("localhost", peer4.port()));
    const auto connected = recorder->waitFor(UdpEvent::Connect);
    ASSERT_TRUE(connected);
    EXPECT_EQ(GCDAsyncUdpSocket::hostFromAddress(connected->address), "127.0.0.1");

    // With IPv6 preferred, the same name gives the IPv6 loopback.
    UdpPeer peer6(AF_INET6);
    auto other = makeSocket();
    other->setPreferIPv6();
    ASSERT_TRUE(other->connectToHost("localhost", peer6.port()));
    const auto second = recorder->waitFor(UdpEvent::Connect, 2);
    ASSERT_TRUE(second);
    EXPECT_EQ(GCDAsyncUdpSocket::hostFromAddress(second->address), "::1");
}

TEST_F(UdpBindTest, MulticastJoinAndLeave)
{
    Error error;
    EXPECT_FALSE(sock->joinMulticastGroup("239.255.77.1", &error));
    EXPECT_EQ(error.message, "Must bind a socket before joining a multicast group.");

    ASSERT_TRUE(sock->bindToPort(0, &error)) << error.description();
    EXPECT_FALSE(sock->joinMulticastGroup("localhost", &error));
    EXPECT_EQ(error.message, "Unknown group. Specify valid group IP address.");
    EXPECT_FALSE(sock->joinMulticastGroup("239.255.77.1", "nosuchif0", &error));
    EXPECT_EQ(error.message, "Unknown interface. Specify valid interface by name (e.g. \"en1\") or IP address.");

    if (!sock->joinMulticastGroup("239.255.77.1", "127.0.0.1", &error))
        GTEST_SKIP() << "the kernel refuses multicast on loopback here: " << error.description();
    EXPECT_FALSE(sock->isIPv6()) << "an IPv4 group closes the IPv6 side";
    // The IPv6 side is gone for good, so an IPv6 destination fails that datagram only.
    sock->sendData(udpShared("v6"), udpAddress6(9), -1, 6);
    const auto refused = recorder->waitFor(UdpEvent::NotSent);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->error->code, GCDAsyncUdpSocketBadParamError);
    EXPECT_FALSE(sock->isClosed());

    // A datagram to the group reaches the member.
    ASSERT_TRUE(sock->beginReceiving());
    UdpPeer sender;
    in_addr loopback{};
    loopback.s_addr = htonl(INADDR_LOOPBACK);
    ::setsockopt(sender.fd(), IPPROTO_IP, IP_MULTICAST_IF, &loopback, sizeof loopback);
    ASSERT_TRUE(sender.sendTo(udpBytes("group"), udpAddress4(sock->localPort(), "239.255.77.1")));
    const auto received = recorder->waitFor(UdpEvent::Received);
    ASSERT_TRUE(received);
    EXPECT_EQ(udpText(received->data), "group");

    EXPECT_TRUE(sock->leaveMulticastGroup("239.255.77.1", "127.0.0.1", &error)) << error.description();
    EXPECT_FALSE(sock->leaveMulticastGroup("239.255.77.1", "127.0.0.1", &error)) << "not a member any more";
    EXPECT_EQ(error.info.at("failureReason"), "Error in setsockopt() function");
}

TEST_F(UdpBindTest, BroadcastNeedsThePermission)
{
    Error error;
    // Before any bind it creates the sockets.
    ASSERT_TRUE(sock->enableBroadcast(false, &error)) << error.description();
    EXPECT_FALSE(sock->isClosed());

    sock->sendData(udpShared("all"), udpAddress4(9, "127.255.255.255"), -1, 1);
    sock->sendData(udpShared("one"), udpAddress4(9), -1, 2);
    const auto refused = recorder->waitFor(UdpEvent::NotSent);
    ASSERT_TRUE(refused);
    EXPECT_EQ(refused->tag, 1);
    EXPECT_EQ(refused->error->code, EACCES);
    // One refused datagram does not end the socket or the datagrams behind it.
    const auto sent = recorder->waitFor(UdpEvent::Sent);
    ASSERT_TRUE(sent);
    EXPECT_EQ(sent->tag, 2);
    EXPECT_EQ(recorder->count(UdpEvent::Close), 0u);

    ASSERT_TRUE(sock->enableBroadcast(true, &error)) << error.description();
    sock->sendData(udpShared("all"), udpAddress4(9, "127.255.255.255"), -1, 3);
    const auto allowed = recorder->waitFor(UdpEvent::Sent, 2);
    ASSERT_TRUE(allowed);
    EXPECT_EQ(allowed->tag, 3);

    // A socket without an IPv4 side cannot broadcast, and says so.
    if (hasIPv6Loopback()) {
        auto v6 = makeSocket();
        ASSERT_TRUE(v6->bindToAddress(udpAddress6(0), &error)) << error.description();
        error = {};
        EXPECT_FALSE(v6->enableBroadcast(true, &error));
        EXPECT_EQ(error.code, GCDAsyncUdpSocketBadParamError);
    }
}

}  // namespace
}  // namespace orv::test
