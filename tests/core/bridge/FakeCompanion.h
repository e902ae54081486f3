#pragma once
// A companion service of the test's own making on a loopback port. Each
// accepted connection runs the test's script on a thread of its own; the
// script reads what the bridge sent (exact bytes) and answers as it likes:
// in pieces, cut short, with a reset, or not at all. The destructor closes
// every connection and joins every thread.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>
#include <vector>

namespace orv::test {

using Bytes = std::vector<uint8_t>;
using namespace std::chrono_literals;

class FakeConnection {
public:
    FakeConnection(int fd, const std::atomic<bool>& stopping) : fd_(fd), stopping_(stopping) {}
    ~FakeConnection()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }

    // Exactly `count` bytes, or nullopt at the end of the stream or the deadline.
    std::optional<Bytes> read(size_t count, std::chrono::milliseconds timeout = 10s)
    {
        Bytes out;
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (out.size() < count) {
            if (!waitReadable(deadline))
                return std::nullopt;
            uint8_t buffer[65536];
            ssize_t n = ::recv(fd_, buffer, std::min(sizeof buffer, count - out.size()), 0);
            if (n <= 0)
                return std::nullopt;
            out.insert(out.end(), buffer, buffer + n);
        }
        std::lock_guard lock(mutex_);
        received_.insert(received_.end(), out.begin(), out.end());
        return out;
    }

    // One whole frame, its 4 length bytes included.
    std::optional<Bytes> readFrame(std::chrono::milliseconds timeout = 10s)
    {
        auto header = read(4, timeout);
        if (!header)
            return std::nullopt;
        const uint32_t length = (uint32_t((*header)[0]) << 24) | (uint32_t((*header)[1]) << 16) |
                                (uint32_t((*header)[2]) << 8) | (*header)[3];
        auto body = read(length, timeout);
        if (!body)
            return std::nullopt;
        header->insert(header->end(), body->begin(), body->end());
        return header;
    }

    // True once the bridge closed its side (every byte it sent is read too).
    bool waitForPeerClose(std::chrono::milliseconds timeout = 10s)
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            if (!waitReadable(deadline))
                return false;
            uint8_t buffer[4096];
            ssize_t n = ::recv(fd_, buffer, sizeof buffer, 0);
            if (n <= 0)
                return true;
            std::lock_guard lock(mutex_);
            received_.insert(received_.end(), buffer, buffer + n);
        }
    }

    void send(const Bytes& bytes)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
            if (n <= 0)
                return;
            done += static_cast<size_t>(n);
        }
    }

    // Pieces with a pause between them, so the bridge sees several reads.
    void sendInPieces(const Bytes& bytes, size_t piece)
    {
        for (size_t at = 0; at < bytes.size(); at += piece) {
            send(Bytes(bytes.begin() + static_cast<long>(at),
                       bytes.begin() + static_cast<long>(std::min(bytes.size(), at + piece))));
            std::this_thread::sleep_for(20ms);
        }
    }

    void closeCleanly() { ::shutdown(fd_, SHUT_WR); }

    // A reset instead of an orderly end.
    void reset()
    {
        linger option{1, 0};
        ::setsockopt(fd_, SOL_SOCKET, SO_LINGER, &option, sizeof option);
        ::close(fd_.exchange(-1));
    }

    // Stops reading until the test ends (the bridge's writes then stall).
    void stall()
    {
        while (!stopping_.load())
            std::this_thread::sleep_for(10ms);
    }

    Bytes received() const
    {
        std::lock_guard lock(mutex_);
        return received_;
    }

    int descriptor() const { return fd_; }

private:
    bool waitReadable(std::chrono::steady_clock::time_point deadline)
    {
        while (!stopping_.load() && fd_ >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                    std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            pollfd pfd{fd_, POLLIN, 0};
            int ready = ::poll(&pfd, 1, static_cast<int>(std::min<long>(left.count(), 50)));
            if (ready > 0)
                return true;
        }
        return false;
    }

    std::atomic<int> fd_;
    const std::atomic<bool>& stopping_;
    mutable std::mutex mutex_;
    Bytes received_;
};

class FakeCompanion {
public:
    using Script = std::function<void(FakeConnection&)>;

    explicit FakeCompanion(Script script) : script_(std::move(script))
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 64) != 0)
            throw std::runtime_error("cannot listen on loopback");
        socklen_t length = sizeof address;
        ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        acceptor_ = std::thread([this] { acceptLoop(); });
    }

    ~FakeCompanion()
    {
        stopping_ = true;
        ::shutdown(listener_, SHUT_RDWR);
        acceptor_.join();
        std::vector<std::thread> threads;
        {
            std::lock_guard lock(mutex_);
            for (auto& connection : connections_)
                if (connection->descriptor() >= 0)
                    ::shutdown(connection->descriptor(), SHUT_RDWR);
            threads.swap(threads_);
        }
        for (auto& thread : threads)
            thread.join();
        ::close(listener_);
    }

    uint16_t port() const { return port_; }

    size_t connectionCount() const
    {
        std::lock_guard lock(mutex_);
        return connections_.size();
    }

    // The connection accepted as number `index` (from 0), once it is there.
    std::shared_ptr<FakeConnection> connection(size_t index, std::chrono::milliseconds timeout = 10s)
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, timeout, [&] { return connections_.size() > index; });
        return connections_.size() > index ? connections_[index] : nullptr;
    }

    // Scripts that have returned.
    size_t finishedScripts() const { return finished_.load(); }

private:
    void acceptLoop()
    {
        while (!stopping_) {
            pollfd pfd{listener_, POLLIN, 0};
            if (::poll(&pfd, 1, 50) <= 0)
                continue;
            int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            auto connection = std::make_shared<FakeConnection>(fd, stopping_);
            std::lock_guard lock(mutex_);
            connections_.push_back(connection);
            threads_.emplace_back([this, connection] {
                script_(*connection);
                ++finished_;
            });
            changed_.notify_all();
        }
    }

    Script script_;
    int listener_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stopping_{false};
    std::atomic<size_t> finished_{0};
    std::thread acceptor_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::shared_ptr<FakeConnection>> connections_;
    std::vector<std::thread> threads_;
};

// A reply frame: length, command, type, version 1, payload.
inline Bytes replyFrame(uint8_t command, uint8_t type, const Bytes& payload = {})
{
    const auto length = static_cast<uint32_t>(payload.size() + 3);
    Bytes frame;
    frame.reserve(7 + payload.size());
    for (uint8_t byte : {uint8_t(length >> 24), uint8_t(length >> 16), uint8_t(length >> 8), uint8_t(length), command,
                         type, uint8_t(0x01)})
        frame.push_back(byte);
    frame.insert(frame.end(), payload.begin(), payload.end());
    return frame;
}

inline Bytes bytesOf(std::string_view text)
{
    return Bytes(text.begin(), text.end());
}

}  // namespace orv::test
