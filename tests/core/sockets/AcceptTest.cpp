// Accepting: both families on one port, bursts, misuse, socket against
// socket, and connections that nobody can take.
#include "SocketTestSupport.h"

namespace orv::test {
namespace {

class AcceptTest : public SocketTest {
protected:
    uint16_t listen(const std::string& interface = std::string())
    {
        Error error;
        EXPECT_TRUE(sock->acceptOnInterface(interface, 0, &error)) << error.description();
        uint16_t port = 0;
        sock->performBlock([&] {
            const int fd = sock->socket4FD() != -1 ? sock->socket4FD() : sock->socket6FD();
            sockaddr_storage a{};
            socklen_t length = sizeof a;
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
            const auto* p = reinterpret_cast<const uint8_t*>(&a);
            port = GCDAsyncSocket::portFromAddress(Bytes(p, p + length));
        });
        return port;
    }

    // Connects a plain client and waits for the socket the listener makes of
    // it (kept until the test ends); nullptr when none came.
    std::shared_ptr<GCDAsyncSocket> acceptClient(const Bytes& address, Peer& client)
    {
        const size_t acceptedBefore = delegate->count(SocketEvent::Accept);
        client = Peer::connectTo(address);
        EXPECT_TRUE(client);
        auto accepted = delegate->waitFor(SocketEvent::Accept, acceptedBefore + 1);
        if (!accepted)
            return nullptr;
        extraSockets.push_back(accepted->accepted);
        return accepted->accepted;
    }
};

TEST_F(AcceptTest, IPv4AndIPv6ShareOnePortChosenBySystem)
{
    const uint16_t port = listen();
    ASSERT_NE(port, 0);
    Peer client4 = Peer::connectTo(address4(port));
    Peer client6 = Peer::connectTo(address6(port));
    ASSERT_TRUE(client4);
    ASSERT_TRUE(client6);

    ASSERT_TRUE(delegate->waitFor(SocketEvent::Accept, 2));
    auto accepts = delegate->eventsOf(SocketEvent::Accept);
    int ipv4 = 0, ipv6 = 0;
    for (auto& a : accepts) {
        ipv4 += a.accepted->isIPv4();
        ipv6 += a.accepted->isIPv6();
        EXPECT_TRUE(a.accepted->isConnected());
        EXPECT_EQ(a.sock, sock.get());
        extraSockets.push_back(a.accepted);
    }
    EXPECT_EQ(ipv4, 1);
    EXPECT_EQ(ipv6, 1);
    for (auto& a : accepts) {
        auto& s = *a.accepted;
        s.performBlock([&] {
            if (s.isIPv4()) {
                EXPECT_EQ(s.connectedHost4(), "127.0.0.1");
                EXPECT_EQ(s.localPort4(), port);
                EXPECT_FALSE(s.connectedHost6());
            } else {
                EXPECT_EQ(s.connectedHost6(), "::1");
                EXPECT_EQ(s.localPort6(), port);
                EXPECT_EQ(s.connectedPort4(), 0);
            }
        });
    }

    // The accepted sockets carry data both ways.
    for (auto& a : accepts)
        a.accepted->writeData(bytesOf(a.accepted->isIPv4() ? "four" : "six!"), -1, 0);
    EXPECT_EQ(textOf(client4.receive(4)), "four");
    EXPECT_EQ(textOf(client6.receive(4)), "six!");
}

TEST_F(AcceptTest, AcceptedDescriptorsAreCloseOnExec)
{
    const uint16_t port = listen("localhost");
    Peer client;
    auto accepted = acceptClient(address4(port), client);
    ASSERT_TRUE(accepted);
    int flags = 0, listenerFlags = 0;
    accepted->performBlock([&] { flags = ::fcntl(accepted->socketFD(), F_GETFD); });
    sock->performBlock([&] { listenerFlags = ::fcntl(sock->socketFD(), F_GETFD); });
    EXPECT_NE(flags & FD_CLOEXEC, 0);
    EXPECT_NE(listenerFlags & FD_CLOEXEC, 0);
}

TEST_F(AcceptTest, BurstOfConnectionsIsAcceptedInOrder)
{
    sock->setIPv6Enabled(false);
    const uint16_t port = listen();
    std::vector<Peer> clients;
    for (int i = 0; i < 3; ++i)
        clients.push_back(Peer::connectTo(address4(port)));
    ASSERT_TRUE(delegate->waitFor(SocketEvent::Accept, 3));
    auto accepts = delegate->eventsOf(SocketEvent::Accept);
    for (size_t i = 0; i < accepts.size(); ++i) {
        extraSockets.push_back(accepts[i].accepted);
        sockaddr_in local{};
        socklen_t length = sizeof local;
        ::getsockname(clients[i].fd(), reinterpret_cast<sockaddr*>(&local), &length);
        EXPECT_EQ(accepts[i].accepted->connectedPort(), ntohs(local.sin_port)) << "accept " << i;
    }
}

TEST_F(AcceptTest, MisuseIsRefused)
{
    listen();
    Error error;
    EXPECT_FALSE(sock->acceptOnPort(0, &error));
    EXPECT_EQ(error.code, GCDAsyncSocketBadConfigError);
    EXPECT_EQ(error.message, "Attempting to accept while connected or accepting connections. Disconnect first.");
    EXPECT_FALSE(sock->connectToHost("localhost", 1, &error));
    EXPECT_EQ(error.code, GCDAsyncSocketBadConfigError);

    auto other = GCDAsyncSocket::create(delegate, delegateQueue);
    other->setIPv4Enabled(false);
    other->setIPv6Enabled(false);
    EXPECT_FALSE(other->acceptOnPort(0, &error));
    EXPECT_EQ(error.message, "Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first.");
    other->setIPv4Enabled(true);
    EXPECT_FALSE(other->acceptOnInterface("nosuchif0", 0, &error));
    EXPECT_EQ(error.code, GCDAsyncSocketBadParamError);

    // The port is taken (by the listener above): the bind error, and nothing left open.
    const size_t before = openDescriptorCount();
    const uint16_t taken = sock->localPort();
    auto third = GCDAsyncSocket::create(delegate, delegateQueue);
    EXPECT_FALSE(third->acceptOnInterface("127.0.0.1", taken, &error));
    EXPECT_EQ(error.domain, GCDAsyncSocketPOSIXErrorDomain);
    EXPECT_EQ(error.info.at(GCDAsyncSocketFailureReasonKey), "Error in bind() function");
    EXPECT_TRUE(third->isDisconnected());
    EXPECT_EQ(openDescriptorCount(), before);
}

TEST_F(AcceptTest, IPv6AddressListensOnThatAddressOnly)
{
    const uint16_t port = listen("::1");
    ASSERT_NE(port, 0);
    sock->performBlock([&] {
        EXPECT_EQ(sock->socket4FD(), -1);
        EXPECT_NE(sock->socket6FD(), -1);
        EXPECT_EQ(sock->localHost6(), "::1");
    });
    EXPECT_FALSE(Peer::connectTo(address4(port)));
    Peer client;
    auto accepted = acceptClient(address6(port), client);
    ASSERT_TRUE(accepted);
    EXPECT_TRUE(accepted->isIPv6());

    // Without IPv6 such an interface offers nothing.
    auto other = GCDAsyncSocket::create(delegate, delegateQueue);
    other->setIPv6Enabled(false);
    Error error;
    EXPECT_FALSE(other->acceptOnInterface("::1", 0, &error));
    EXPECT_EQ(error.code, GCDAsyncSocketBadParamError);
    EXPECT_EQ(error.message, "IPv6 has been disabled and specified interface doesn't support IPv4.");
}

TEST_F(AcceptTest, SocketTalksToSocket)
{
    const uint16_t port = listen("loopback");
    auto clientDelegate = std::make_shared<RecordingDelegate>();
    auto client = GCDAsyncSocket::create(clientDelegate, delegateQueue);
    extraSockets.push_back(client);
    ASSERT_TRUE(client->connectToHost("localhost", port, 5.0));
    auto accepted = delegate->waitFor(SocketEvent::Accept);
    ASSERT_TRUE(accepted);
    auto server = accepted->accepted;
    extraSockets.push_back(server);

    client->writeData(bytesOf("ping\n"), 5, 1);
    server->readDataToData(GCDAsyncSocket::LFData(), 5, 2);
    auto request = delegate->waitFor(SocketEvent::Read);
    ASSERT_TRUE(request);
    EXPECT_EQ(textOf(request->data), "ping\n");
    EXPECT_EQ(request->sock, server.get());

    server->writeData(bytesOf("pong"), 5, 3);
    client->readDataToLength(4, 5, 4);
    auto reply = clientDelegate->waitFor(SocketEvent::Read);
    ASSERT_TRUE(reply);
    EXPECT_EQ(textOf(reply->data), "pong");

    server->disconnect();
    auto ended = clientDelegate->waitFor(SocketEvent::Disconnect);
    ASSERT_TRUE(ended);
    EXPECT_EQ(ended->error->code, GCDAsyncSocketClosedError);
}

TEST_F(AcceptTest, AcceptedSocketUsesTheQueueTheDelegateGives)
{
    auto chosen = dispatch::Queue::makeSerial("test.accepted");
    delegate->acceptQueue = chosen;
    const uint16_t port = listen("localhost");
    Peer client;
    auto accepted = acceptClient(address4(port), client);
    ASSERT_TRUE(accepted);
    bool onChosenQueue = false;
    accepted->performBlock([&] { onChosenQueue = chosen->isCurrent(); });
    EXPECT_TRUE(onChosenQueue);
}

TEST_F(AcceptTest, ConnectionsNobodyCanTakeAreClosed)
{
    const uint16_t port = listen("localhost");
    // The delegate goes away while the listener keeps listening.
    delegate.reset();
    const size_t before = openDescriptorCount();
    Peer client = Peer::connectTo(address4(port));
    ASSERT_TRUE(client);
    EXPECT_TRUE(client.waitForEnd()) << "the accepted connection was left open";
    drain();
    EXPECT_TRUE(eventually([&] { return openDescriptorCount() <= before + 1; }));  // only the client's own
}

TEST_F(AcceptTest, ClosingTheListenerStopsAccepting)
{
    const uint16_t port = listen("localhost");
    Peer first;
    auto accepted = acceptClient(address4(port), first);
    ASSERT_TRUE(accepted);

    sock->disconnect();
    auto disconnected = delegate->waitFor(SocketEvent::Disconnect);
    ASSERT_TRUE(disconnected);
    EXPECT_FALSE(disconnected->error);
    drain();
    EXPECT_FALSE(Peer::connectTo(address4(port)));
    // Accepted sockets live on their own.
    EXPECT_TRUE(accepted->isConnected());
}

}  // namespace
}  // namespace orv::test
