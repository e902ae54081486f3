// The queue-driven UDP socket as an object: the checks before operations,
// configuration, queue discipline, address helpers, closing and destruction.
#include "UdpTestSupport.h"

#include <sys/resource.h>

namespace orv::test {
namespace {

class UdpObjectTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        sock.reset();
        // Nothing the socket queued for the delegate outlives the test.
        delegateQueue->sync([] {});
    }

    std::shared_ptr<UdpRecorder> recorder = std::make_shared<UdpRecorder>();
    dispatch::QueueRef delegateQueue = dispatch::Queue::makeSerial("udp-object-test-delegate");
    std::shared_ptr<GCDAsyncUdpSocket> sock;
};

TEST_F(UdpObjectTest, OperationsNeedADelegateAndItsQueue)
{
    sock = GCDAsyncUdpSocket::create();
    Error error;
    EXPECT_FALSE(sock->bindToPort(0, &error));
    EXPECT_EQ(error.domain, GCDAsyncUdpSocketErrorDomain);
    EXPECT_EQ(error.code, GCDAsyncUdpSocketBadConfigError);
    EXPECT_EQ(error.message, "Attempting to use socket without a delegate. Set a delegate first.");

    sock->setDelegate(recorder);
    EXPECT_FALSE(sock->enableBroadcast(true, &error));
    EXPECT_EQ(error.message, "Attempting to use socket without a delegate queue. Set a delegate queue first.");
    EXPECT_TRUE(sock->isClosed()) << "a refused operation creates nothing";

    // The asynchronous setter takes effect before the next call from this thread.
    sock->setDelegateQueue(delegateQueue);
    EXPECT_TRUE(sock->bindToPort(0, "127.0.0.1", &error)) << error.description();

    // A delegate that went away counts as missing.
    auto gone = std::make_shared<UdpRecorder>();
    auto other = GCDAsyncUdpSocket::create(gone, delegateQueue);
    gone.reset();
    EXPECT_FALSE(other->bindToPort(0, &error));
    EXPECT_EQ(error.message, "Attempting to use socket without a delegate. Set a delegate first.");
}

TEST_F(UdpObjectTest, ConfigurationReadsBackAsSet)
{
    sock = GCDAsyncUdpSocket::create(recorder, delegateQueue);
    EXPECT_TRUE(sock->isIPVersionNeutral());
    EXPECT_EQ(sock->maxReceiveIPv4BufferSize(), 9216);
    EXPECT_EQ(sock->maxReceiveIPv6BufferSize(), 9216u);

    sock->setPreferIPv4();
    sock->setPreferIPv6();
    EXPECT_FALSE(sock->isIPv4Preferred());
    EXPECT_TRUE(sock->isIPv6Preferred());
    EXPECT_FALSE(sock->isIPVersionNeutral());
    sock->setIPVersionNeutral();
    EXPECT_TRUE(sock->isIPVersionNeutral());

    // Before any socket exists, the families report the configuration.
    sock->setIPv6Enabled(false);
    EXPECT_TRUE(sock->isIPv4());
    EXPECT_FALSE(sock->isIPv6());
    sock->setIPv4Enabled(false);
    Error error;
    EXPECT_FALSE(sock->bindToPort(0, &error));
    EXPECT_EQ(error.message, "Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first.");
    EXPECT_FALSE(sock->connectToHost("localhost", 9, &error));
    EXPECT_EQ(error.message, "Both IPv4 and IPv6 have been disabled. Must enable at least one protocol first.");
}

TEST_F(UdpObjectTest, CallsFromTheSocketQueueRunInline)
{
    // The delegate queue is the socket queue itself: a delegate method that
    // asks the socket something must not wait on itself.
    auto queue = dispatch::Queue::makeSerial("udp-shared-queue");
    sock = GCDAsyncUdpSocket::create(recorder, queue, queue);
    ASSERT_TRUE(sock->bindToPort(0, "127.0.0.1"));
    bool closedInside = false;
    queue->sync([&] {
        EXPECT_NE(sock->localPort(), 0);
        EXPECT_NE(sock->socketFD(), -1) << "descriptors are given out on the socket queue";
        sock->close();
        closedInside = sock->isClosed();
    });
    EXPECT_TRUE(closedInside);
    EXPECT_EQ(sock->socketFD(), -1);
    queue->sync([] {});
}

TEST_F(UdpObjectTest, DescriptorsAreRefusedOffTheSocketQueue)
{
    sock = GCDAsyncUdpSocket::create(recorder, delegateQueue);
    ASSERT_TRUE(sock->bindToPort(0, "127.0.0.1"));
    EXPECT_EQ(sock->socketFD(), -1);
    int fd = -1;
    sock->performBlock([&] { fd = sock->socket4FD(); });
    EXPECT_NE(fd, -1);
}

TEST_F(UdpObjectTest, AddressHelpersReadTheSystemRecords)
{
    Bytes ipv6FamilyIn16Bytes = udpAddress4(80);
    {
        sockaddr_storage s{};
        std::memcpy(&s, ipv6FamilyIn16Bytes.data(), ipv6FamilyIn16Bytes.size());
        s.ss_family = AF_INET6;
        std::memcpy(ipv6FamilyIn16Bytes.data(), &s, ipv6FamilyIn16Bytes.size());
    }
    struct Case {
        const char* name;
        Bytes address;
        int family;
        std::optional<std::string> host;
        uint16_t port;
    };
    const Case cases[] = {
        {"IPv4", udpAddress4(53), AF_INET, "127.0.0.1", 53},
        {"IPv6", udpAddress6(443, "fd00::2"), AF_INET6, "fd00::2", 443},
        {"IPv6FamilyIn16Bytes", ipv6FamilyIn16Bytes, 0, std::nullopt, 0},
        {"TooShort", Bytes(10, 0), 0, std::nullopt, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(GCDAsyncUdpSocket::familyFromAddress(c.address), c.family);
        EXPECT_EQ(GCDAsyncUdpSocket::isIPv4Address(c.address), c.family == AF_INET);
        EXPECT_EQ(GCDAsyncUdpSocket::isIPv6Address(c.address), c.family == AF_INET6);
        EXPECT_EQ(GCDAsyncUdpSocket::hostFromAddress(c.address), c.host);
        EXPECT_EQ(GCDAsyncUdpSocket::portFromAddress(c.address), c.port);
        std::string host = "untouched";
        uint16_t port = 1;
        int family = -1;
        EXPECT_EQ(GCDAsyncUdpSocket::getHost(&host, &port, &family, c.address), c.host.has_value());
        EXPECT_EQ(family, c.family) << "cleared when not recognised";
        EXPECT_EQ(host, c.host.value_or(""));
    }
}

TEST_F(UdpObjectTest, CloseTellsTheDelegateOnlyWhenSocketsExisted)
{
    sock = GCDAsyncUdpSocket::create(recorder, delegateQueue);
    sock->close();
    sock->close();
    delegateQueue->sync([] {});
    EXPECT_EQ(recorder->count(UdpEvent::Close), 0u);

    ASSERT_TRUE(sock->bindToPort(0, "127.0.0.1"));
    EXPECT_FALSE(sock->isClosed());
    sock->close();
    sock->close();
    ASSERT_TRUE(recorder->waitFor(UdpEvent::Close));
    delegateQueue->sync([] {});
    const auto closes = recorder->eventsOf(UdpEvent::Close);
    ASSERT_EQ(closes.size(), 1u);
    EXPECT_EQ(closes[0].sock, sock.get());
    EXPECT_FALSE(closes[0].error);

    // Closed is a fresh start.
    EXPECT_TRUE(sock->isClosed());
    EXPECT_FALSE(sock->isConnected());
    EXPECT_EQ(sock->localPort(), 0);
    Error error;
    EXPECT_TRUE(sock->bindToPort(0, "127.0.0.1", &error)) << error.description();
}

TEST_F(UdpObjectTest, DestructionClosesWithoutHandingOutTheDyingSocket)
{
    sock = GCDAsyncUdpSocket::create(recorder, delegateQueue);
    ASSERT_TRUE(sock->bindToPort(0, "127.0.0.1"));
    sock.reset();
    const auto close = recorder->waitFor(UdpEvent::Close);
    ASSERT_TRUE(close);
    EXPECT_EQ(close->sock, nullptr);
}

TEST_F(UdpObjectTest, DestroyedOnItsOwnQueueClosesInline)
{
    auto queue = dispatch::Queue::makeSerial("udp-own-queue");
    sock = GCDAsyncUdpSocket::create(recorder, delegateQueue, queue);
    ASSERT_TRUE(sock->bindToPort(0, "127.0.0.1"));
    // The last reference goes on the socket's own queue.
    queue->sync([&] { sock.reset(); });
    EXPECT_TRUE(recorder->waitFor(UdpEvent::Close));
}

TEST_F(UdpObjectTest, DescriptorsAbove1024Work)
{
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &limit), 0);
    const rlimit saved = limit;
    if (limit.rlim_max < 2048)
        GTEST_SKIP() << "the hard descriptor limit is " << limit.rlim_max << ", below what the test needs";
    limit.rlim_cur = std::max<rlim_t>(limit.rlim_cur, 2048);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &limit), 0);

    // Fill every descriptor below 1100, so the socket's come above it.
    std::vector<int> fillers;
    for (int fd = ::dup(0); fd != -1 && fd < 1100; fd = ::dup(0))
        fillers.push_back(fd);
    if (!fillers.empty() && fillers.back() < 1099) {
        for (int fd : fillers)
            ::close(fd);
        setrlimit(RLIMIT_NOFILE, &saved);
        GTEST_FAIL() << "could not fill the low descriptors";
    }

    UdpPeer peer;
    sock = GCDAsyncUdpSocket::create(recorder, delegateQueue);
    const bool bound = sock->bindToPort(0, "127.0.0.1");
    for (int fd : fillers)
        ::close(fd);
    ASSERT_TRUE(bound);
    int fd = -1;
    sock->performBlock([&] { fd = sock->socket4FD(); });
    EXPECT_GE(fd, 1024);

    ASSERT_TRUE(sock->beginReceiving());
    ASSERT_TRUE(peer.sendTo(udpBytes("high"), udpAddress4(sock->localPort())));
    const auto received = recorder->waitFor(UdpEvent::Received);
    ASSERT_TRUE(received);
    EXPECT_EQ(udpText(received->data), "high");
    sock->sendData(udpShared("back"), peer.address(), -1, 1);
    const auto reply = peer.receive();
    ASSERT_TRUE(reply);
    EXPECT_EQ(udpText(reply->first), "back");
    sock.reset();
    setrlimit(RLIMIT_NOFILE, &saved);
}

}  // namespace
}  // namespace orv::test
