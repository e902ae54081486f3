// Connecting: success by host and by address, misuse refused synchronously,
// refusal, timeout, lookup failure, interfaces, and closing while connecting.
#include "SocketTestSupport.h"

#include <netdb.h>

namespace orv::test {
namespace {

class ConnectTest : public SocketTest {};

TEST_F(ConnectTest, LocalhostConnectsToIPv4LoopbackWithoutTheResolver)
{
    Listener listener;
    Error error;
    ASSERT_TRUE(sock->connectToHost("localhost", listener.port(), -1.0, &error)) << error.description();
    Peer peer = listener.accept();
    ASSERT_TRUE(peer);

    auto connected = delegate->waitFor(SocketEvent::Connect);
    ASSERT_TRUE(connected);
    EXPECT_EQ(connected->host, "127.0.0.1");
    EXPECT_EQ(connected->port, listener.port());
    EXPECT_TRUE(sock->isConnected());
    EXPECT_FALSE(sock->isDisconnected());
    EXPECT_TRUE(sock->isIPv4());
    EXPECT_EQ(sock->connectedHost(), "127.0.0.1");
    EXPECT_EQ(sock->connectedPort(), listener.port());
    EXPECT_EQ(sock->localHost(), "127.0.0.1");
    EXPECT_NE(sock->localPort(), 0);
    EXPECT_EQ(GCDAsyncSocket::portFromAddress(*sock->connectedAddress()), listener.port());
}

TEST_F(ConnectTest, PreferringIPv6ConnectsToIPv6Loopback)
{
    Listener listener(AF_INET6);
    sock->setIPv4PreferredOverIPv6(false);
    ASSERT_TRUE(sock->connectToHost("localhost", listener.port(), 5.0));
    Peer peer = listener.accept();
    auto connected = delegate->waitFor(SocketEvent::Connect);
    ASSERT_TRUE(connected);
    EXPECT_EQ(connected->host, "::1");
    EXPECT_TRUE(sock->isIPv6());
}

TEST_F(ConnectTest, EveryDescriptorIsCloseOnExec)
{
    Listener listener;
    Peer peer = connectToPeer(listener);
    int flags = -1;
    sock->performBlock([&] { flags = ::fcntl(sock->socketFD(), F_GETFD); });
    EXPECT_NE(flags & FD_CLOEXEC, 0);
    // Off the socket queue the raw descriptor is not handed out.
    EXPECT_EQ(sock->socketFD(), -1);
}

TEST_F(ConnectTest, MisuseIsRefusedAtOnceAndLeavesTheSocketIdle)
{
    struct Case {
        const char* name;
        std::function<bool(GCDAsyncSocket&, Error*)> attempt;
        std::function<void(GCDAsyncSocket&)> prepare;
        long code;
        std::string message;
    };
    Bytes ipv6FamilyIn16Bytes = address4(80);
    {
        sockaddr_storage s{};
        std::memcpy(&s, ipv6FamilyIn16Bytes.data(), ipv6FamilyIn16Bytes.size());
        s.ss_family = AF_INET6;
        std::memcpy(ipv6FamilyIn16Bytes.data(), &s, ipv6FamilyIn16Bytes.size());
    }
    const std::vector<Case> cases = {
        {"EmptyHost", [](GCDAsyncSocket& s, Error* e) { return s.connectToHost("", 80, -1.0, e); }, nullptr,
         GCDAsyncSocketBadParamError,
         "Invalid host parameter (nil or \"\"). Should be a domain name or IP address string."},
        {"BothFamiliesDisabled", [](GCDAsyncSocket& s, Error* e) { return s.connectToHost("localhost", 80, e); },
         [](GCDAsyncSocket& s) {
             s.setIPv4Enabled(false);
             s.setIPv6Enabled(false);
         },
         GCDAsyncSocketBadConfigError,
         "Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first."},
        {"IPv6FamilyIn16Bytes",
         [&](GCDAsyncSocket& s, Error* e) { return s.connectToAddress(ipv6FamilyIn16Bytes, e); }, nullptr,
         GCDAsyncSocketBadParamError, "A valid IPv4 or IPv6 address was not given"},
        {"TooShortAddress", [](GCDAsyncSocket& s, Error* e) { return s.connectToAddress(Bytes(10), e); }, nullptr,
         GCDAsyncSocketBadParamError, "A valid IPv4 or IPv6 address was not given"},
        {"IPv4AddressWithIPv4Disabled",
         [](GCDAsyncSocket& s, Error* e) { return s.connectToAddress(address4(80), e); },
         [](GCDAsyncSocket& s) { s.setIPv4Enabled(false); }, GCDAsyncSocketBadParamError,
         "IPv4 has been disabled and an IPv4 address was passed."},
        {"UnknownInterface",
         [](GCDAsyncSocket& s, Error* e) { return s.connectToHost("localhost", 80, "nosuchif0", -1.0, e); },
         nullptr, GCDAsyncSocketBadParamError,
         "Unknown interface. Specify valid interface by name (e.g. \"en1\") or IP address."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto d = std::make_shared<RecordingDelegate>();
        auto s = GCDAsyncSocket::create(d, delegateQueue, socketQueue);
        if (c.prepare)
            c.prepare(*s);
        Error error;
        EXPECT_FALSE(c.attempt(*s, &error));
        EXPECT_EQ(error.domain, GCDAsyncSocketErrorDomain);
        EXPECT_EQ(error.code, c.code);
        EXPECT_EQ(error.message, c.message);
        EXPECT_TRUE(s->isDisconnected());
        s->disconnect();
        s.reset();
        drain();
        EXPECT_EQ(d->count(SocketEvent::Disconnect), 0u);
    }

    // Without a delegate or a delegate queue.
    auto noDelegate = GCDAsyncSocket::create({}, delegateQueue, socketQueue);
    Error error;
    EXPECT_FALSE(noDelegate->connectToHost("localhost", 80, &error));
    EXPECT_EQ(error.message, "Attempting to connect without a delegate. Set a delegate first.");
    auto noQueue = GCDAsyncSocket::create(delegate, nullptr, socketQueue);
    EXPECT_FALSE(noQueue->connectToHost("localhost", 80, &error));
    EXPECT_EQ(error.message, "Attempting to connect without a delegate queue. Set a delegate queue first.");
}

TEST_F(ConnectTest, SecondConnectIsRefusedAndTheFirstConnectionStays)
{
    Listener listener;
    Peer peer = connectToPeer(listener);
    Error error;
    EXPECT_FALSE(sock->connectToHost("localhost", listener.port(), &error));
    EXPECT_EQ(error.code, GCDAsyncSocketBadConfigError);
    EXPECT_EQ(error.message, "Attempting to connect while connected or accepting connections. Disconnect first.");

    sock->writeData(bytesOf("still here"), -1, 1);
    EXPECT_EQ(textOf(peer.receive(10)), "still here");
    EXPECT_TRUE(sock->isConnected());
}

TEST_F(ConnectTest, RefusedConnectionReportsTheSystemError)
{
    uint16_t closedPort;
    {
        Listener listener;
        closedPort = listener.port();
    }
    ASSERT_TRUE(sock->connectToAddress(address4(closedPort)));
    auto disconnected = delegate->waitFor(SocketEvent::Disconnect);
    ASSERT_TRUE(disconnected);
    ASSERT_TRUE(disconnected->error);
    EXPECT_EQ(disconnected->error->domain, GCDAsyncSocketPOSIXErrorDomain);
    EXPECT_EQ(disconnected->error->code, ECONNREFUSED);
    EXPECT_EQ(disconnected->error->info.at(GCDAsyncSocketFailureReasonKey), "Error in connect() function");
    EXPECT_EQ(delegate->count(SocketEvent::Connect), 0u);
    EXPECT_TRUE(sock->isDisconnected());
}

// A listener whose accept queue is full drops new connection requests, so a
// connect to it stays in progress until the test lets it through.
struct StalledListener {
    Listener listener{AF_INET, 0};
    std::vector<Peer> fillers;

    StalledListener()
    {
        // Non-blocking: the second one is itself left waiting.
        const Bytes address = address4(listener.port());
        for (int i = 0; i < 2; ++i) {
            const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
            ::connect(fd, reinterpret_cast<const sockaddr*>(address.data()), static_cast<socklen_t>(address.size()));
            fillers.emplace_back(fd);
        }
    }
    // Makes room: what was waiting may now complete.
    void release()
    {
        while (listener.accept(200ms)) {
        }
    }
};

TEST_F(ConnectTest, ConnectTimeoutClosesWithCode3AndDropsTheLateResult)
{
    StalledListener stalled;
    ASSERT_TRUE(sock->connectToAddress(address4(stalled.listener.port()), 0.3));
    auto disconnected = delegate->waitFor(SocketEvent::Disconnect);
    ASSERT_TRUE(disconnected);
    ASSERT_TRUE(disconnected->error);
    EXPECT_EQ(disconnected->error->code, GCDAsyncSocketConnectTimeoutError);
    EXPECT_EQ(disconnected->error->message, "Attempt to connect to host timed out");

    stalled.release();
    drain();
    EXPECT_EQ(delegate->count(SocketEvent::Connect), 0u);
    EXPECT_EQ(delegate->count(SocketEvent::Disconnect), 1u);
}

TEST_F(ConnectTest, ClosingWhileConnectingNeverTouchesAReusedDescriptor)
{
    StalledListener stalled;
    const size_t descriptorsBefore = openDescriptorCount();
    ASSERT_TRUE(sock->connectToAddress(address4(stalled.listener.port())));
    sock->disconnect();
    drain();

    // The number is free again; a new socket may well get it.
    const int reused = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    ASSERT_GE(reused, 0);
    stalled.release();
    drain();

    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    EXPECT_NE(::getpeername(reused, reinterpret_cast<sockaddr*>(&peer), &length), 0)
        << "an abandoned connect attempt connected someone else's descriptor";
    ::close(reused);
    EXPECT_EQ(delegate->count(SocketEvent::Connect), 0u);
    EXPECT_TRUE(eventually([&] { return openDescriptorCount() <= descriptorsBefore; }));
}

TEST_F(ConnectTest, LookupFailureReportsTheResolverError)
{
    ASSERT_TRUE(sock->connectToHost("no-such-host.invalid", 80, 5.0));
    auto disconnected = delegate->waitFor(SocketEvent::Disconnect);
    ASSERT_TRUE(disconnected);
    ASSERT_TRUE(disconnected->error);
    EXPECT_EQ(disconnected->error->domain, GCDAsyncSocketLookupErrorDomain);
    EXPECT_NE(disconnected->error->code, 0);
    EXPECT_FALSE(disconnected->error->message.empty());
}

TEST_F(ConnectTest, InterfaceDescriptionChoosesTheLocalAddressAndPort)
{
    // A free port to bind the client side to.
    uint16_t localPort;
    {
        Listener scratch;
        localPort = scratch.port();
    }
    Listener listener;
    Error error;
    ASSERT_TRUE(sock->connectToHost("127.0.0.1", listener.port(), "127.0.0.1:" + std::to_string(localPort), 5.0,
                                    &error))
        << error.description();
    Peer peer = listener.accept();
    ASSERT_TRUE(delegate->waitFor(SocketEvent::Connect));
    EXPECT_EQ(sock->localPort(), localPort);
    EXPECT_EQ(sock->localHost(), "127.0.0.1");
}

TEST_F(ConnectTest, IPv6OnlyInterfaceConnectsOverIPv6Only)
{
    Listener listener(AF_INET6);
    struct Case {
        const char* name;
        std::function<bool(GCDAsyncSocket&, Error*)> connect;
    };
    const Case cases[] = {
        {"address",
         [&](GCDAsyncSocket& s, Error* e) { return s.connectToAddress(address6(listener.port()), "::1", 5.0, e); }},
        // "localhost" gives both families and IPv4 is preferred, but the
        // interface has no IPv4 side.
        {"host",
         [&](GCDAsyncSocket& s, Error* e) { return s.connectToHost("localhost", listener.port(), "::1", 5.0, e); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto recording = std::make_shared<RecordingDelegate>();
        auto client = GCDAsyncSocket::create(recording, delegateQueue);
        extraSockets.push_back(client);
        Error error;
        ASSERT_TRUE(c.connect(*client, &error)) << error.description();
        Peer peer = listener.accept();
        auto connected = recording->waitFor(SocketEvent::Connect);
        ASSERT_TRUE(connected);
        EXPECT_EQ(connected->host, "::1");
        EXPECT_TRUE(client->isIPv6());
        EXPECT_EQ(client->localHost(), "::1");
        client->disconnect();
        settle(recording);
    }

    // An IPv4 peer cannot be reached from it at all.
    Error error;
    EXPECT_FALSE(sock->connectToAddress(address4(listener.port()), "::1", 5.0, &error));
    EXPECT_EQ(error.code, GCDAsyncSocketBadParamError);
    EXPECT_TRUE(sock->isDisconnected());
}

TEST_F(ConnectTest, SameSocketConnectsAgainAfterADisconnect)
{
    Listener listener;
    {
        Peer first = connectToPeer(listener);
        sock->disconnect();
        EXPECT_TRUE(first.waitForEnd());
    }
    ASSERT_TRUE(delegate->waitFor(SocketEvent::Disconnect));
    Peer second = connectToPeer(listener);
    ASSERT_TRUE(delegate->waitFor(SocketEvent::Connect, 2));
    sock->writeData(bytesOf("again"), -1, 0);
    EXPECT_EQ(textOf(second.receive(5)), "again");
}

}  // namespace
}  // namespace orv::test
