#pragma once
// Test support for the socket tests: a delegate that records every callback
// and lets tests wait for them with deadlines, plain blocking peers on
// loopback (driven from the test thread, always with deadlines), and a
// fixture that tears everything down before the test ends.

#include "core/sockets/GCDAsyncSocket.h"
#include "core/sockets/GCDAsyncSocketTrust.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cmath>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <functional>
#include <mutex>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <string>
#include <thread>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace orv::test {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

inline constexpr auto kDeadline = 10s;

// ---------------------------------------------------------------------------
// Recording delegate

struct SocketEvent {
    enum Kind {
        Connect,
        Read,
        ReadPartial,
        Write,
        WritePartial,
        ReadTimeout,
        WriteTimeout,
        CloseReadStream,
        Disconnect,
        Secure,
        Accept,
        Trust,
    };
    Kind kind;
    GCDAsyncSocket* sock = nullptr;
    int64_t tag = 0;
    Bytes data;
    SocketData view;
    size_t length = 0;
    double elapsed = 0;
    std::string host;
    uint16_t port = 0;
    std::optional<Error> error;
    std::shared_ptr<GCDAsyncSocket> accepted;
    std::shared_ptr<GCDAsyncSocketTrust> trust;
};

class RecordingDelegate : public GCDAsyncSocketDelegate {
public:
    // Answers to timeout questions, in order; when they run out the last one
    // repeats. Empty: the method counts as not implemented.
    std::vector<double> readTimeoutAnswers;
    std::vector<double> writeTimeoutAnswers;
    // Manual trust: not implemented, or the answer to give.
    std::optional<bool> trustAnswer;
    std::string trustExtraRootsPem;  // when set, the answer is the trust's own evaluation
    bool evaluateTrust = false;
    // The queue handed to accepted sockets (std::nullopt: not implemented).
    std::optional<dispatch::QueueRef> acceptQueue;
    // Runs on the delegate queue after each event is recorded.
    void setOnEvent(std::function<void(const SocketEvent&)> handler)
    {
        std::lock_guard lock(mutex_);
        onEvent_ = std::move(handler);
    }

    std::optional<dispatch::QueueRef> newSocketQueueForConnectionFromAddress(const Bytes&, GCDAsyncSocket&) override
    {
        return acceptQueue;
    }
    void socketDidAcceptNewSocket(GCDAsyncSocket& sock, const std::shared_ptr<GCDAsyncSocket>& newSocket) override
    {
        SocketEvent e{SocketEvent::Accept};
        e.sock = &sock;
        e.accepted = newSocket;
        record(std::move(e));
    }
    void socketDidConnectToHost(GCDAsyncSocket& sock, const std::string& host, uint16_t port) override
    {
        SocketEvent e{SocketEvent::Connect};
        e.sock = &sock;
        e.host = host;
        e.port = port;
        record(std::move(e));
    }
    void socketDidReadData(GCDAsyncSocket& sock, const SocketData& data, int64_t tag) override
    {
        SocketEvent e{SocketEvent::Read};
        e.sock = &sock;
        e.data = data.bytes();
        e.view = data;
        e.tag = tag;
        record(std::move(e));
    }
    void socketDidReadPartialDataOfLength(GCDAsyncSocket& sock, size_t length, int64_t tag) override
    {
        recordProgress(SocketEvent::ReadPartial, sock, length, tag);
    }
    void socketDidWriteDataWithTag(GCDAsyncSocket& sock, int64_t tag) override
    {
        SocketEvent e{SocketEvent::Write};
        e.sock = &sock;
        e.tag = tag;
        record(std::move(e));
    }
    void socketDidWritePartialDataOfLength(GCDAsyncSocket& sock, size_t length, int64_t tag) override
    {
        recordProgress(SocketEvent::WritePartial, sock, length, tag);
    }
    std::optional<double> socketShouldTimeoutReadWithTag(GCDAsyncSocket& sock, int64_t tag, double elapsed,
                                                         size_t bytesDone) override
    {
        return timeoutQuestion(SocketEvent::ReadTimeout, readTimeoutAnswers, sock, tag, elapsed, bytesDone);
    }
    std::optional<double> socketShouldTimeoutWriteWithTag(GCDAsyncSocket& sock, int64_t tag, double elapsed,
                                                          size_t bytesDone) override
    {
        return timeoutQuestion(SocketEvent::WriteTimeout, writeTimeoutAnswers, sock, tag, elapsed, bytesDone);
    }
    void socketDidCloseReadStream(GCDAsyncSocket& sock) override
    {
        SocketEvent e{SocketEvent::CloseReadStream};
        e.sock = &sock;
        record(std::move(e));
    }
    void socketDidDisconnect(GCDAsyncSocket* sock, const std::optional<Error>& error) override
    {
        SocketEvent e{SocketEvent::Disconnect};
        e.sock = sock;
        e.error = error;
        record(std::move(e));
    }
    void socketDidSecure(GCDAsyncSocket& sock) override
    {
        SocketEvent e{SocketEvent::Secure};
        e.sock = &sock;
        record(std::move(e));
    }
    bool socketDidReceiveTrust(GCDAsyncSocket& sock, const std::shared_ptr<GCDAsyncSocketTrust>& trust,
                               std::function<void(bool)> completionHandler) override
    {
        SocketEvent e{SocketEvent::Trust};
        e.sock = &sock;
        e.trust = trust;
        std::optional<bool> answer;
        {
            std::lock_guard lock(mutex_);
            answer = trustAnswer;
        }
        const bool implemented = answer.has_value() || evaluateTrust;
        record(std::move(e));
        if (!implemented)
            return false;
        bool verdict = answer.value_or(false);
        if (evaluateTrust)
            verdict = trust->evaluate(nullptr, trustExtraRootsPem);
        // Answer from another thread, as a delegate may.
        dispatch::Queue::global(dispatch::Priority::Low)->async([completionHandler, verdict] {
            completionHandler(verdict);
        });
        return true;
    }

    // Waits until `count` events of `kind` were recorded; returns the last of them.
    std::optional<SocketEvent> waitFor(SocketEvent::Kind kind, size_t count = 1,
                                       Clock::duration timeout = kDeadline)
    {
        std::unique_lock lock(mutex_);
        std::optional<SocketEvent> found;
        changed_.wait_until(lock, Clock::now() + timeout, [&] {
            size_t seen = 0;
            for (const auto& e : events_) {
                if (e.kind == kind && ++seen == count) {
                    found = e;
                    return true;
                }
            }
            return false;
        });
        return found;
    }

    std::vector<SocketEvent> events() const
    {
        std::lock_guard lock(mutex_);
        return events_;
    }

    size_t count(SocketEvent::Kind kind) const
    {
        std::lock_guard lock(mutex_);
        size_t n = 0;
        for (const auto& e : events_)
            n += e.kind == kind;
        return n;
    }

    std::vector<SocketEvent> eventsOf(SocketEvent::Kind kind) const
    {
        std::lock_guard lock(mutex_);
        std::vector<SocketEvent> result;
        for (const auto& e : events_)
            if (e.kind == kind)
                result.push_back(e);
        return result;
    }

    // Drops the recorded events, and with them the sockets they hold; returns
    // those sockets, weakly, so the caller can wait until they are gone.
    std::vector<std::weak_ptr<GCDAsyncSocket>> clearEvents()
    {
        std::vector<SocketEvent> events;
        {
            std::lock_guard lock(mutex_);
            events.swap(events_);
            onEvent_ = nullptr;
        }
        std::vector<std::weak_ptr<GCDAsyncSocket>> sockets;
        for (const auto& e : events)
            if (e.accepted)
                sockets.push_back(e.accepted);
        return sockets;
    }

    void setTrustAnswer(std::optional<bool> answer)
    {
        std::lock_guard lock(mutex_);
        trustAnswer = answer;
    }

private:
    void recordProgress(SocketEvent::Kind kind, GCDAsyncSocket& sock, size_t length, int64_t tag)
    {
        SocketEvent e{kind};
        e.sock = &sock;
        e.length = length;
        e.tag = tag;
        record(std::move(e));
    }

    std::optional<double> timeoutQuestion(SocketEvent::Kind kind, const std::vector<double>& answers,
                                          GCDAsyncSocket& sock, int64_t tag, double elapsed, size_t bytesDone)
    {
        SocketEvent e{kind};
        e.sock = &sock;
        e.tag = tag;
        e.elapsed = elapsed;
        e.length = bytesDone;
        size_t asked;
        {
            std::lock_guard lock(mutex_);
            asked = 0;
            for (const auto& ev : events_)
                asked += ev.kind == kind;
        }
        record(std::move(e));
        if (answers.empty())
            return std::nullopt;
        return answers[std::min(asked, answers.size() - 1)];
    }

    void record(SocketEvent e)
    {
        std::function<void(const SocketEvent&)> handler;
        {
            std::lock_guard lock(mutex_);
            events_.push_back(e);
            handler = onEvent_;
        }
        changed_.notify_all();
        if (handler)
            handler(e);
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<SocketEvent> events_;
    std::function<void(const SocketEvent&)> onEvent_;
};

// ---------------------------------------------------------------------------
// Plain loopback peers

inline Bytes bytesOf(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

inline std::string textOf(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

inline Bytes patternBytes(size_t length, uint32_t seed = 1)
{
    Bytes bytes(length);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : bytes) {
        x = x * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(x >> 24);
    }
    return bytes;
}

// A connected descriptor of the test's own, closed when it goes away.
class Peer {
public:
    explicit Peer(int fd = -1) : fd_(fd) {}
    Peer(Peer&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    Peer& operator=(Peer&& other) noexcept
    {
        close();
        fd_ = std::exchange(other.fd_, -1);
        return *this;
    }
    ~Peer() { close(); }

    int fd() const { return fd_; }
    explicit operator bool() const { return fd_ != -1; }

    void close()
    {
        if (fd_ != -1)
            ::close(fd_);
        fd_ = -1;
    }

    // Closes with a reset instead of an orderly end of stream.
    void reset()
    {
        linger l{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        close();
    }

    void shutdownWrite() { ::shutdown(fd_, SHUT_WR); }

    bool send(const Bytes& data, Clock::duration timeout = kDeadline)
    {
        size_t done = 0;
        const auto deadline = Clock::now() + timeout;
        while (done < data.size()) {
            if (!waitReady(POLLOUT, deadline))
                return false;
            const ssize_t n = ::send(fd_, data.data() + done, data.size() - done, MSG_NOSIGNAL);
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (n <= 0)
                return false;
            done += static_cast<size_t>(n);
        }
        return true;
    }
    bool send(std::string_view text) { return send(bytesOf(text)); }

    // Exactly `length` bytes, or what came before the deadline or the end.
    Bytes receive(size_t length, Clock::duration timeout = kDeadline)
    {
        Bytes result;
        const auto deadline = Clock::now() + timeout;
        while (result.size() < length) {
            if (!waitReady(POLLIN, deadline))
                break;
            uint8_t buffer[65536];
            const ssize_t n = ::recv(fd_, buffer, std::min(sizeof buffer, length - result.size()), 0);
            if (n < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            if (n <= 0)
                break;
            result.insert(result.end(), buffer, buffer + n);
        }
        return result;
    }

    // True when the peer ended the stream (or reset) before the deadline.
    bool waitForEnd(Clock::duration timeout = kDeadline)
    {
        const auto deadline = Clock::now() + timeout;
        while (waitReady(POLLIN, deadline)) {
            uint8_t buffer[4096];
            const ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR))
                return true;
        }
        return false;
    }

    static Peer connectTo(const Bytes& address)
    {
        sockaddr_storage storage{};
        std::memcpy(&storage, address.data(), std::min(address.size(), sizeof storage));
        const int fd = ::socket(storage.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (fd < 0)
            return Peer();
        if (::connect(fd, reinterpret_cast<const sockaddr*>(address.data()), static_cast<socklen_t>(address.size())) !=
            0) {
            ::close(fd);
            return Peer();
        }
        return Peer(fd);
    }

private:
    bool waitReady(short events, Clock::time_point deadline)
    {
        for (;;) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0)
                return false;
            pollfd pfd{fd_, events, 0};
            const int n = ::poll(&pfd, 1, static_cast<int>(left.count()));
            if (n > 0)
                return true;
            if (n < 0 && errno != EINTR)
                return false;
        }
    }

    int fd_;
};

inline Bytes address4(uint16_t port, const char* host = "127.0.0.1")
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, host, &a.sin_addr);
    const auto* p = reinterpret_cast<const uint8_t*>(&a);
    return Bytes(p, p + sizeof a);
}

inline Bytes address6(uint16_t port, const char* host = "::1")
{
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_port = htons(port);
    inet_pton(AF_INET6, host, &a.sin6_addr);
    const auto* p = reinterpret_cast<const uint8_t*>(&a);
    return Bytes(p, p + sizeof a);
}

// A listening descriptor on loopback.
class Listener {
public:
    explicit Listener(int family = AF_INET, int backlog = 16, int receiveBuffer = 0)
    {
        fd_ = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int on = 1;
        ::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        if (family == AF_INET6)
            ::setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        if (receiveBuffer > 0)
            ::setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
        const Bytes address = family == AF_INET ? address4(0) : address6(0);
        ::bind(fd_, reinterpret_cast<const sockaddr*>(address.data()), static_cast<socklen_t>(address.size()));
        ::listen(fd_, backlog);
        sockaddr_storage bound{};
        socklen_t length = sizeof bound;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&bound), &length);
        port_ = family == AF_INET ? ntohs(reinterpret_cast<sockaddr_in*>(&bound)->sin_port)
                                  : ntohs(reinterpret_cast<sockaddr_in6*>(&bound)->sin6_port);
    }
    ~Listener()
    {
        if (fd_ != -1)
            ::close(fd_);
    }
    Listener(const Listener&) = delete;
    Listener& operator=(const Listener&) = delete;

    uint16_t port() const { return port_; }
    int fd() const { return fd_; }

    Peer accept(Clock::duration timeout = kDeadline)
    {
        pollfd pfd{fd_, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(timeout).count())) <= 0)
            return Peer();
        return Peer(::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC));
    }

private:
    int fd_ = -1;
    uint16_t port_ = 0;
};

inline size_t openDescriptorCount()
{
    size_t count = 0;
    if (DIR* dir = ::opendir("/proc/self/fd")) {
        while (::readdir(dir))
            ++count;
        ::closedir(dir);
    }
    return count;
}

// ---------------------------------------------------------------------------
// Fixture

// Starts the dispatch layer's threads and descriptors (they live for the
// whole process), so that counting descriptors in a test sees only its own.
inline void warmUpDispatch()
{
    auto queue = dispatch::Queue::makeSerial("test.warmup");
    auto timer = dispatch::Source::makeTimer(queue);
    std::mutex mutex;
    std::condition_variable fired;
    bool done = false;
    timer->setEventHandler([&] {
        std::lock_guard lock(mutex);
        done = true;
        fired.notify_all();
    });
    timer->setTimer(std::chrono::milliseconds(1));
    timer->resume();
    {
        std::unique_lock lock(mutex);
        fired.wait_for(lock, kDeadline, [&] { return done; });
    }
    timer->cancel();
    queue->sync([] {});
}

class SocketTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        warmUpDispatch();
        delegateQueue = dispatch::Queue::makeSerial("test.delegate");
        socketQueue = dispatch::Queue::makeSerial("test.socket");
        delegate = std::make_shared<RecordingDelegate>();
        sock = GCDAsyncSocket::create(delegate, delegateQueue, socketQueue);
    }

    void TearDown() override
    {
        release(sock);
        for (auto& s : extraSockets)
            release(s);
        extraSockets.clear();
        settle(delegate);
        // Handlers still under way hold sockets for a moment; none may
        // outlive the test.
        EXPECT_TRUE(eventually([&] {
            for (const auto& s : released_)
                if (!s.expired())
                    return false;
            return true;
        }));
        released_.clear();
    }

    void release(std::shared_ptr<GCDAsyncSocket>& s)
    {
        if (s)
            released_.push_back(s);
        s.reset();
    }

    // Ends everything a delegate's events still hold and waits until queued
    // callbacks have let go of the delegate, so nothing runs after the test.
    void settle(std::shared_ptr<RecordingDelegate>& recording)
    {
        drain();
        if (!recording)
            return;
        for (auto& s : recording->clearEvents())
            released_.push_back(std::move(s));
        drain();
        EXPECT_TRUE(eventually([&] { return recording.use_count() == 1; }));
    }

    std::vector<std::weak_ptr<GCDAsyncSocket>> released_;

    // Lets everything already queued (callbacks, cancel handlers) run.
    void drain()
    {
        for (int i = 0; i < 3; ++i) {
            socketQueue->sync([] {});
            delegateQueue->sync([] {});
        }
    }

    // Connects `sock` to a plain listener and returns the accepted peer.
    Peer connectToPeer(Listener& listener, double timeout = -1)
    {
        Error error;
        EXPECT_TRUE(sock->connectToAddress(address4(listener.port()), timeout, &error)) << error.description();
        Peer peer = listener.accept();
        EXPECT_TRUE(delegate->waitFor(SocketEvent::Connect).has_value());
        return peer;
    }

    dispatch::QueueRef delegateQueue;
    dispatch::QueueRef socketQueue;
    std::shared_ptr<RecordingDelegate> delegate;
    std::shared_ptr<GCDAsyncSocket> sock;
    std::vector<std::shared_ptr<GCDAsyncSocket>> extraSockets;
};

}  // namespace orv::test
