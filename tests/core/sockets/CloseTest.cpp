// Closing: disconnect at once and after reads or writes, destruction, the
// owner clearing its delegate first, and the companion-service request road.
#include "SocketTestSupport.h"

#include <atomic>

namespace orv::test {
namespace {

class CloseTest : public SocketTest {
protected:
    Listener listener;
};

TEST_F(CloseTest, DisconnectOfAnIdleSocketSendsNothing)
{
    sock->disconnect();
    drain();
    EXPECT_TRUE(delegate->events().empty());
}

TEST_F(CloseTest, DisconnectDropsQueuedReadsAndReportsNoError)
{
    Peer peer = connectToPeer(listener);
    sock->readDataToLength(10, -1, 1);
    sock->disconnect();
    EXPECT_TRUE(sock->isDisconnected());
    auto disconnected = delegate->waitFor(SocketEvent::Disconnect);
    ASSERT_TRUE(disconnected);
    EXPECT_FALSE(disconnected->error);
    EXPECT_EQ(disconnected->sock, sock.get());
    EXPECT_EQ(delegate->count(SocketEvent::Read), 0u);
    EXPECT_TRUE(peer.waitForEnd());
}

TEST_F(CloseTest, DestroyingAConnectedSocketClosesItAndReportsNoSocket)
{
    Peer peer = connectToPeer(listener);
    sock.reset();
    auto disconnected = delegate->waitFor(SocketEvent::Disconnect);
    ASSERT_TRUE(disconnected);
    EXPECT_EQ(disconnected->sock, nullptr);
    EXPECT_FALSE(disconnected->error);
    EXPECT_TRUE(peer.waitForEnd());
}

TEST_F(CloseTest, DisconnectAfterWritingFinishesTheWritesAndDropsLaterReads)
{
    Peer peer = connectToPeer(listener);
    sock->writeData(bytesOf("one,"), -1, 1);
    sock->writeData(bytesOf("two"), -1, 2);
    sock->disconnectAfterWriting();
    sock->readDataToLength(1, -1, 3);  // refused: no new I/O once closing
    EXPECT_EQ(textOf(peer.receive(7)), "one,two");
    EXPECT_TRUE(peer.waitForEnd());

    auto disconnected = delegate->waitFor(SocketEvent::Disconnect);
    ASSERT_TRUE(disconnected);
    EXPECT_FALSE(disconnected->error);
    EXPECT_EQ(delegate->count(SocketEvent::Write), 2u);
    EXPECT_EQ(delegate->count(SocketEvent::Read), 0u);
}

TEST_F(CloseTest, DisconnectAfterReadingWaitsForTheQueuedRead)
{
    Peer peer = connectToPeer(listener);
    sock->readDataToLength(5, -1, 1);
    sock->disconnectAfterReading();
    drain();
    EXPECT_TRUE(sock->isConnected());
    ASSERT_TRUE(peer.send("bytes"));
    auto disconnected = delegate->waitFor(SocketEvent::Disconnect);
    ASSERT_TRUE(disconnected);
    EXPECT_FALSE(disconnected->error);
    EXPECT_EQ(textOf(delegate->waitFor(SocketEvent::Read)->data), "bytes");
}

TEST_F(CloseTest, ClearingTheDelegateBeforeDisconnectSilencesTheClose)
{
    Peer peer = connectToPeer(listener);
    sock->setDelegate(std::weak_ptr<GCDAsyncSocketDelegate>());
    sock->disconnect();
    drain();
    EXPECT_EQ(delegate->count(SocketEvent::Disconnect), 0u);
    EXPECT_TRUE(peer.waitForEnd());
}

TEST_F(CloseTest, NoDescriptorOutlivesItsSocket)
{
    const size_t before = openDescriptorCount();
    for (int i = 0; i < 20; ++i) {
        auto s = GCDAsyncSocket::create(delegate, delegateQueue, socketQueue);
        ASSERT_TRUE(s->connectToAddress(address4(listener.port())));
        Peer peer = listener.accept();
        if (i % 2)
            s->disconnect();
        release(s);
    }
    drain();
    EXPECT_TRUE(eventually([&] { return openDescriptorCount() <= before; }));
}

// A socket queue that runs on the delegate queue: once the owner marks that
// queue, calls from callbacks are recognised as being on the socket queue
// (instead of waiting for it forever), down to dropping the socket there.
TEST_F(CloseTest, SocketQueueTargetingTheDelegateQueueWorksFromCallbacks)
{
    auto targetedQueue = dispatch::Queue::makeSerial("test.targeted", delegateQueue);
    auto targeted = GCDAsyncSocket::create(delegate, delegateQueue, targetedQueue);
    targeted->markSocketQueueTargetQueue(delegateQueue);
    std::atomic<bool> connectedSeenFromCallback{false};
    std::shared_ptr<GCDAsyncSocket> held = targeted;
    delegate->setOnEvent([&](const SocketEvent& e) {
        if (e.kind != SocketEvent::Connect)
            return;
        connectedSeenFromCallback = held->isConnected();
        // The last reference goes inside the callback: the close runs inline.
        held->unmarkSocketQueueTargetQueue(delegateQueue);
        held->markSocketQueueTargetQueue(delegateQueue);
        held.reset();
    });
    ASSERT_TRUE(targeted->connectToAddress(address4(listener.port())));
    targeted.reset();  // usually before the callback, which then holds the last reference
    Peer peer = listener.accept();
    EXPECT_TRUE(peer.waitForEnd());
    auto disconnected = delegate->waitFor(SocketEvent::Disconnect);
    ASSERT_TRUE(disconnected);
    EXPECT_EQ(disconnected->sock, nullptr);
    EXPECT_TRUE(connectedSeenFromCallback);
}

// The companion-service request as its operation makes it: delegate queue is
// the concurrent high-priority queue, connect to "localhost" without timeout,
// write the request and read the 4-byte length at once, then the body; at the
// end clear the delegate and disconnect. Many at a time, so callbacks overlap.
class FrameClient : public GCDAsyncSocketDelegate, public std::enable_shared_from_this<FrameClient> {
public:
    void start(uint16_t port)
    {
        std::lock_guard lock(mutex_);
        socket_ = GCDAsyncSocket::create(weak_from_this(), dispatch::Queue::global(dispatch::Priority::High));
        Error error;
        if (!socket_->connectToHost("localhost", port, -1.0, &error)) {
            failure_ = error.description();
            finish(false);
            return;
        }
        socket_->writeData(bytesOf(std::string("\0\0\0\3\3\3\1", 7)), 6, 0);
        socket_->readDataToLength(4, 6, 1);
    }

    void socketDidReadData(GCDAsyncSocket& sock, const SocketData& data, int64_t tag) override
    {
        std::lock_guard lock(mutex_);
        if (tag == 1) {
            const uint8_t* p = data.data();
            const size_t length = (size_t(p[0]) << 24) | (size_t(p[1]) << 16) | (size_t(p[2]) << 8) | p[3];
            sock.readDataToLength(length, 6, 2);
            return;
        }
        body_ = data.bytes();
        finish(true);
    }

    void socketDidDisconnect(GCDAsyncSocket*, const std::optional<Error>& error) override
    {
        std::lock_guard lock(mutex_);
        failure_ = error ? error->description() : "closed before the reply";
        finish(false);
    }

    std::string failure()
    {
        std::lock_guard lock(mutex_);
        return failure_;
    }

    bool wait()
    {
        std::unique_lock lock(mutex_);
        return done_.wait_for(lock, kDeadline, [&] { return finished_; }) && succeeded_;
    }

    Bytes body()
    {
        std::lock_guard lock(mutex_);
        return body_;
    }

private:
    void finish(bool succeeded)
    {
        if (finished_)
            return;
        finished_ = true;
        succeeded_ = succeeded;
        // Silence the socket at once; the owner's thread disconnects it. (A
        // synchronous disconnect from here would hold a pool worker while it
        // waits for the socket queue, which needs a worker too.)
        if (socket_)
            socket_->setDelegate(std::weak_ptr<GCDAsyncSocketDelegate>());
        done_.notify_all();
    }

    std::recursive_mutex mutex_;
    std::condition_variable_any done_;
    std::shared_ptr<GCDAsyncSocket> socket_;
    bool finished_ = false;
    bool succeeded_ = false;
    Bytes body_;
    std::string failure_;

public:
    // Lets go of the socket and waits until callbacks still on their way
    // have let go of it too.
    bool release()
    {
        std::shared_ptr<GCDAsyncSocket> socket;
        {
            std::lock_guard lock(mutex_);
            socket = std::move(socket_);
        }
        if (!socket)
            return true;
        socket->disconnect();
        std::weak_ptr<GCDAsyncSocket> weak = socket;
        socket.reset();
        return eventually([&] { return weak.expired(); });
    }
};

// Answers every request frame with a length header and a body, from a thread
// of its own that the test joins.
class FrameServer {
public:
    explicit FrameServer(int connections) : expected_(connections)
    {
        thread_ = std::thread([this] { run(); });
    }
    ~FrameServer() { thread_.join(); }
    uint16_t port() const { return listener_.port(); }

    static Bytes reply(int i)
    {
        std::string body = "reply-" + std::to_string(i) + std::string(100 + i, 'r');
        std::string frame(4, '\0');
        frame[0] = char(body.size() >> 24);
        frame[1] = char(body.size() >> 16);
        frame[2] = char(body.size() >> 8);
        frame[3] = char(body.size());
        return bytesOf(frame + body);
    }

private:
    void run()
    {
        std::vector<Peer> peers;
        for (int i = 0; i < expected_; ++i) {
            Peer peer = listener_.accept();
            if (!peer)
                return;
            if (peer.receive(7).size() != 7)
                return;
            // Headers and bodies in separate segments, like a slow phone.
            const Bytes frame = reply(0);
            peer.send(Bytes(frame.begin(), frame.begin() + 2));
            peer.send(Bytes(frame.begin() + 2, frame.end()));
            peers.push_back(std::move(peer));
        }
        for (auto& peer : peers)
            peer.waitForEnd();
    }

    Listener listener_{AF_INET, 128};
    int expected_;
    std::thread thread_;
};

TEST(CompanionRoadTest, ManyConcurrentRequestsOnTheConcurrentCallbackQueue)
{
    constexpr int kRequests = 40;
    FrameServer server(kRequests);
    std::vector<std::shared_ptr<FrameClient>> clients;
    for (int i = 0; i < kRequests; ++i) {
        clients.push_back(std::make_shared<FrameClient>());
        clients.back()->start(server.port());
    }
    const Bytes expected = FrameServer::reply(0);
    for (auto& client : clients) {
        ASSERT_TRUE(client->wait()) << client->failure();
        EXPECT_TRUE(client->body() == Bytes(expected.begin() + 4, expected.end()));
        EXPECT_TRUE(client->release());
    }
}

}  // namespace
}  // namespace orv::test
