#pragma once
// Test support for the UDP socket tests: a delegate that records every
// message and lets tests wait for them with deadlines, plain datagram peers
// on loopback, and address builders.

#include "core/sockets/GCDAsyncUdpSocket.h"
#include "support/Wait.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <netinet/in.h>
#include <optional>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace orv::test {

using namespace std::chrono_literals;
using UdpClock = std::chrono::steady_clock;

inline constexpr auto kUdpDeadline = 10s;

struct UdpEvent {
    enum Kind { Connect, NotConnect, Sent, NotSent, Received, NotReceived, Close };
    Kind kind;
    GCDAsyncUdpSocket* sock = nullptr;
    int64_t tag = 0;
    Bytes data;
    Bytes address;
    std::shared_ptr<void> context;
    std::optional<Error> error;
};

class UdpRecorder : public GCDAsyncUdpSocketDelegate {
public:
    void udpSocketDidConnectToAddress(GCDAsyncUdpSocket& sock, const Bytes& address) override
    {
        record({UdpEvent::Connect, &sock, 0, {}, address});
    }
    void udpSocketDidNotConnect(GCDAsyncUdpSocket& sock, const Error& error) override
    {
        record({UdpEvent::NotConnect, &sock, 0, {}, {}, nullptr, error});
    }
    void udpSocketDidSendDataWithTag(GCDAsyncUdpSocket& sock, int64_t tag) override
    {
        record({UdpEvent::Sent, &sock, tag});
    }
    void udpSocketDidNotSendDataWithTag(GCDAsyncUdpSocket& sock, int64_t tag, const Error& error) override
    {
        record({UdpEvent::NotSent, &sock, tag, {}, {}, nullptr, error});
    }
    void udpSocketDidReceiveData(GCDAsyncUdpSocket& sock, const Bytes& data, const Bytes& address,
                                 const std::shared_ptr<void>& context) override
    {
        record({UdpEvent::Received, &sock, 0, data, address, context});
    }
    void udpSocketDidNotReceiveData(GCDAsyncUdpSocket& sock, const Error& error) override
    {
        record({UdpEvent::NotReceived, &sock, 0, {}, {}, nullptr, error});
    }
    void udpSocketDidClose(GCDAsyncUdpSocket* sock, const std::optional<Error>& error) override
    {
        record({UdpEvent::Close, sock, 0, {}, {}, nullptr, error});
    }

    // Waits until `count` events of `kind` were recorded; returns the last of them.
    std::optional<UdpEvent> waitFor(UdpEvent::Kind kind, size_t count = 1, UdpClock::duration timeout = kUdpDeadline)
    {
        std::unique_lock lock(mutex_);
        std::optional<UdpEvent> found;
        changed_.wait_until(lock, UdpClock::now() + timeout, [&] {
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

    std::vector<UdpEvent> eventsOf(UdpEvent::Kind kind) const
    {
        std::lock_guard lock(mutex_);
        std::vector<UdpEvent> result;
        for (const auto& e : events_)
            if (e.kind == kind)
                result.push_back(e);
        return result;
    }

    size_t count(UdpEvent::Kind kind) const { return eventsOf(kind).size(); }

    std::vector<UdpEvent> events() const
    {
        std::lock_guard lock(mutex_);
        return events_;
    }

private:
    void record(UdpEvent e)
    {
        {
            std::lock_guard lock(mutex_);
            events_.push_back(std::move(e));
        }
        changed_.notify_all();
    }

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<UdpEvent> events_;
};

inline Bytes udpAddress4(uint16_t port, const char* host = "127.0.0.1")
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    inet_pton(AF_INET, host, &a.sin_addr);
    const auto* p = reinterpret_cast<const uint8_t*>(&a);
    return Bytes(p, p + sizeof a);
}

inline Bytes udpAddress6(uint16_t port, const char* host = "::1")
{
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_port = htons(port);
    inet_pton(AF_INET6, host, &a.sin6_addr);
    const auto* p = reinterpret_cast<const uint8_t*>(&a);
    return Bytes(p, p + sizeof a);
}

inline Bytes udpBytes(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

inline std::shared_ptr<const Bytes> udpShared(std::string_view text)
{
    return std::make_shared<const Bytes>(udpBytes(text));
}

inline bool hasIPv6Loopback()
{
    const int fd = ::socket(AF_INET6, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd == -1)
        return false;
    const Bytes a = udpAddress6(0);
    const bool ok = ::bind(fd, reinterpret_cast<const sockaddr*>(a.data()), a.size()) == 0;
    ::close(fd);
    return ok;
}

// A plain datagram socket of the test's own, bound to a loopback port.
class UdpPeer {
public:
    explicit UdpPeer(int family = AF_INET)
        : family_(family), fd_(::socket(family, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0))
    {
        const Bytes a = family == AF_INET ? udpAddress4(0) : udpAddress6(0);
        if (family == AF_INET6) {
            const int on = 1;
            ::setsockopt(fd_, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        }
        ::bind(fd_, reinterpret_cast<const sockaddr*>(a.data()), a.size());
    }
    ~UdpPeer() { ::close(fd_); }
    UdpPeer(const UdpPeer&) = delete;
    UdpPeer& operator=(const UdpPeer&) = delete;

    int fd() const { return fd_; }
    uint16_t port() const
    {
        sockaddr_storage s{};
        socklen_t length = sizeof s;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&s), &length);
        return family_ == AF_INET ? ntohs(reinterpret_cast<sockaddr_in*>(&s)->sin_port)
                                  : ntohs(reinterpret_cast<sockaddr_in6*>(&s)->sin6_port);
    }
    Bytes address() const { return family_ == AF_INET ? udpAddress4(port()) : udpAddress6(port()); }

    bool sendTo(const Bytes& data, const Bytes& to)
    {
        return ::sendto(fd_, data.data(), data.size(), 0, reinterpret_cast<const sockaddr*>(to.data()), to.size()) ==
               static_cast<ssize_t>(data.size());
    }

    // The next datagram and its sender, or nothing before the deadline.
    std::optional<std::pair<Bytes, Bytes>> receive(UdpClock::duration timeout = kUdpDeadline)
    {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(timeout).count())) != 1)
            return std::nullopt;
        Bytes buffer(65536);
        sockaddr_storage from{};
        socklen_t length = sizeof from;
        const ssize_t n = ::recvfrom(fd_, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr*>(&from), &length);
        if (n < 0)
            return std::nullopt;
        buffer.resize(static_cast<size_t>(n));
        const auto* f = reinterpret_cast<const uint8_t*>(&from);
        return std::make_pair(buffer, Bytes(f, f + length));
    }

private:
    int family_;
    int fd_;
};

inline std::string udpText(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace orv::test
