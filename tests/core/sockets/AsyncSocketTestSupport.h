#pragma once
// Test support for the run-loop TCP socket: a delegate that records every
// callback, and a fixture that runs the test thread's run loop until events
// arrive (with deadlines) and makes connected pairs on loopback.

#include "SocketTestSupport.h"

#include "core/sockets/AsyncSocket.h"
#include "platform/RunLoop.h"

#include <functional>

namespace orv::test {

struct LoopSocketEvent {
    enum Kind { WillConnect, Accept, Connect, Read, ReadPartial, ReadTimeout, Write, WritePartial, WriteTimeout,
                Secure, WillDisconnect, Disconnect };
    Kind kind;
    AsyncSocket* sock = nullptr;
    long tag = 0;
    Bytes data;
    SocketData view;
    size_t length = 0;
    double elapsed = 0;
    std::string host;
    uint16_t port = 0;
    std::optional<Error> error;
    std::optional<Bytes> unread;
};

class LoopSocketRecorder : public AsyncSocketDelegate {
public:
    bool allowConnect = true;
    // Answers to timeout questions in order; the last repeats. Empty: none.
    std::vector<double> readTimeoutAnswers;
    std::vector<double> writeTimeoutAnswers;
    // Accepted sockets are kept here unless this is false.
    bool keepAccepted = true;
    std::vector<std::shared_ptr<AsyncSocket>> accepted;
    // Runs after each event is recorded.
    std::function<void(const LoopSocketEvent&)> onEvent;

    bool onSocketWillConnect(AsyncSocket& sock) override
    {
        record({LoopSocketEvent::WillConnect, &sock});
        return allowConnect;
    }
    void onSocketDidAcceptNewSocket(AsyncSocket& sock, const std::shared_ptr<AsyncSocket>& newSocket) override
    {
        if (keepAccepted)
            accepted.push_back(newSocket);
        record({LoopSocketEvent::Accept, &sock});
    }
    void onSocketDidConnectToHost(AsyncSocket& sock, const std::string& host, uint16_t port) override
    {
        LoopSocketEvent e{LoopSocketEvent::Connect, &sock};
        e.host = host;
        e.port = port;
        record(std::move(e));
    }
    void onSocketDidReadData(AsyncSocket& sock, const SocketData& data, long tag) override
    {
        LoopSocketEvent e{LoopSocketEvent::Read, &sock, tag, data.bytes(), data};
        record(std::move(e));
    }
    void onSocketDidReadPartialDataOfLength(AsyncSocket& sock, size_t length, long tag) override
    {
        LoopSocketEvent e{LoopSocketEvent::ReadPartial, &sock, tag};
        e.length = length;
        record(std::move(e));
    }
    std::optional<double> onSocketShouldTimeoutReadWithTag(AsyncSocket& sock, long tag, double elapsed,
                                                           size_t done) override
    {
        return question(LoopSocketEvent::ReadTimeout, readTimeoutAnswers, sock, tag, elapsed, done);
    }
    void onSocketDidWriteDataWithTag(AsyncSocket& sock, long tag) override
    {
        record({LoopSocketEvent::Write, &sock, tag});
    }
    void onSocketDidWritePartialDataOfLength(AsyncSocket& sock, size_t length, long tag) override
    {
        LoopSocketEvent e{LoopSocketEvent::WritePartial, &sock, tag};
        e.length = length;
        record(std::move(e));
    }
    std::optional<double> onSocketShouldTimeoutWriteWithTag(AsyncSocket& sock, long tag, double elapsed,
                                                            size_t done) override
    {
        return question(LoopSocketEvent::WriteTimeout, writeTimeoutAnswers, sock, tag, elapsed, done);
    }
    void onSocketDidSecure(AsyncSocket& sock) override { record({LoopSocketEvent::Secure, &sock}); }
    void onSocketWillDisconnectWithError(AsyncSocket& sock, const std::optional<Error>& error) override
    {
        LoopSocketEvent e{LoopSocketEvent::WillDisconnect, &sock};
        e.error = error;
        e.unread = sock.unreadData();
        record(std::move(e));
    }
    void onSocketDidDisconnect(AsyncSocket* sock) override { record({LoopSocketEvent::Disconnect, sock}); }

    size_t count(LoopSocketEvent::Kind kind, const AsyncSocket* sock = nullptr) const
    {
        size_t n = 0;
        for (const auto& e : events)
            n += e.kind == kind && (!sock || e.sock == sock);
        return n;
    }
    std::vector<LoopSocketEvent> of(LoopSocketEvent::Kind kind, const AsyncSocket* sock = nullptr) const
    {
        std::vector<LoopSocketEvent> result;
        for (const auto& e : events)
            if (e.kind == kind && (!sock || e.sock == sock))
                result.push_back(e);
        return result;
    }

    std::vector<LoopSocketEvent> events;

private:
    std::optional<double> question(LoopSocketEvent::Kind kind, const std::vector<double>& answers, AsyncSocket& sock,
                                   long tag, double elapsed, size_t done)
    {
        const size_t asked = count(kind);
        LoopSocketEvent e{kind, &sock, tag};
        e.elapsed = elapsed;
        e.length = done;
        record(std::move(e));
        if (answers.empty())
            return std::nullopt;
        return answers[std::min(asked, answers.size() - 1)];
    }
    void record(LoopSocketEvent e)
    {
        events.push_back(std::move(e));
        if (onEvent)
            onEvent(events.back());
    }
};

class AsyncSocketTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        serverDelegate = std::make_shared<LoopSocketRecorder>();
        clientDelegate = std::make_shared<LoopSocketRecorder>();
    }
    void TearDown() override
    {
        // Everything closes on this thread before the test ends.
        client.reset();
        server.reset();
        listener.reset();
        serverDelegate->accepted.clear();
        runBriefly();
    }

    // Runs the loop in short slices, so that a predicate that other threads
    // make true is seen without waiting for this loop's own next event.
    bool runUntil(const std::function<bool()>& predicate)
    {
        return waitUntil(predicate, kDeadline, [&](RunLoop::Clock::time_point deadline) {
            RunLoop::current().runUntil(predicate, std::min(deadline, RunLoop::Clock::now() + 5ms));
        });
    }
    bool runUntil(LoopSocketRecorder& recorder, LoopSocketEvent::Kind kind, size_t count = 1,
                  const AsyncSocket* sock = nullptr)
    {
        return runUntil([&] { return recorder.count(kind, sock) >= count; });
    }
    // A few passes, for what must not happen.
    void runBriefly() { RunLoop::current().runUntil(RunLoop::Clock::now() + std::chrono::milliseconds(50)); }

    // Waits until the queue-driven sockets a test made, and the callbacks
    // queued for their delegate, are gone.
    void letGo(std::vector<std::weak_ptr<GCDAsyncSocket>> gone, RecordingDelegate& gcdDelegate,
               const dispatch::QueueRef& delegateQueue)
    {
        for (auto& s : gcdDelegate.clearEvents())
            gone.push_back(s);
        delegateQueue->sync([] {});
        EXPECT_TRUE(runUntil([&] {
            for (const auto& s : gone)
                if (!s.expired())
                    return false;
            return true;
        }));
    }

    // A listener on the loopback interfaces, a client connected to it and
    // the accepted server side.
    void connectPair(const std::string& host = "127.0.0.1")
    {
        listener = AsyncSocket::create(serverDelegate);
        Error error;
        ASSERT_TRUE(listener->acceptOnInterface("localhost", 0, &error)) << error.description();
        client = AsyncSocket::create(clientDelegate);
        ASSERT_TRUE(client->connectToHost(host, listener->localPort(), 5.0, &error)) << error.description();
        ASSERT_TRUE(runUntil([&] {
            return clientDelegate->count(LoopSocketEvent::Connect) == 1 &&
                   serverDelegate->count(LoopSocketEvent::Connect) == 1;
        }));
        server = serverDelegate->accepted.at(0);
    }

    std::shared_ptr<LoopSocketRecorder> serverDelegate;
    std::shared_ptr<LoopSocketRecorder> clientDelegate;
    std::shared_ptr<AsyncSocket> listener;
    std::shared_ptr<AsyncSocket> client;
    std::shared_ptr<AsyncSocket> server;
};

}  // namespace orv::test
