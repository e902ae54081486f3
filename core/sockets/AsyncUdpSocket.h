#pragma once
// A UDP socket served by one thread's run loop: up to two system sockets
// (IPv4 and IPv6) made with the object, a queue of datagrams to send and a
// queue of receive requests, each served one at a time with optional
// timeouts, and a weakly held delegate told of every outcome on that thread.
// Not for use from other threads. Misuse (binding twice, connecting a closed
// socket) raises orv::Exception named AsyncUdpSocketException; failures are
// Errors.
//
// Create sockets with create(); they are owned by std::shared_ptr because
// timers and scheduled steps hold them weakly.

#include "core/sockets/AsyncReceivePacket.h"
#include "core/sockets/AsyncSendPacket.h"
#include "core/sockets/AsyncUdpSocketDelegate.h"
#include "core/sockets/RunLoopSocket.h"
#include "core/sockets/SocketData.h"
#include "platform/Error.h"
#include "platform/RunLoop.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orv {

class RunLoopTimer;

inline constexpr const char* AsyncUdpSocketException = "AsyncUdpSocketException";
inline constexpr const char* AsyncUdpSocketErrorDomain = "AsyncUdpSocketErrorDomain";

enum AsyncUdpSocketError : long {
    AsyncUdpSocketCFSocketError = -1,
    AsyncUdpSocketNoError = 0,
    AsyncUdpSocketBadParameter = 1,
    AsyncUdpSocketIPv4Unavailable = 2,
    AsyncUdpSocketIPv6Unavailable = 3,
    AsyncUdpSocketSendTimeoutError = 4,
    AsyncUdpSocketReceiveTimeoutError = 5,
    // A datagram longer than the receive buffer: it is dropped, never cut.
    AsyncUdpSocketDatagramTooLongError = 6,
};

class AsyncUdpSocket : public std::enable_shared_from_this<AsyncUdpSocket> {
    struct PrivateTag {};

public:
    // Works on the calling thread's run loop, in the default mode.
    static std::shared_ptr<AsyncUdpSocket> create(std::weak_ptr<AsyncUdpSocketDelegate> delegate = {},
                                                  long userData = 0, bool enableIPv4 = true, bool enableIPv6 = true);
    static std::shared_ptr<AsyncUdpSocket> createIPv4(std::weak_ptr<AsyncUdpSocketDelegate> delegate = {});
    static std::shared_ptr<AsyncUdpSocket> createIPv6(std::weak_ptr<AsyncUdpSocketDelegate> delegate = {});
    AsyncUdpSocket(PrivateTag, std::weak_ptr<AsyncUdpSocketDelegate> delegate, long userData);
    // Closes; the delegate is not told any more.
    ~AsyncUdpSocket();
    AsyncUdpSocket(const AsyncUdpSocket&) = delete;
    AsyncUdpSocket& operator=(const AsyncUdpSocket&) = delete;

    std::shared_ptr<AsyncUdpSocketDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<AsyncUdpSocketDelegate> delegate) { delegate_ = std::move(delegate); }
    long userData() const { return userData_; }
    void setUserData(long userData) { userData_ = userData; }
    uint32_t maxReceiveBufferSize() const { return maxReceiveBufferSize_; }
    void setMaxReceiveBufferSize(uint32_t max) { maxReceiveBufferSize_ = max; }

    // --- run loop ---
    bool moveToRunLoop(RunLoop& runLoop);
    bool setRunLoopModes(const std::vector<RunLoopMode>& modes);
    std::vector<RunLoopMode> runLoopModes() const { return runLoopModes_; }

    // --- binding, connecting, options (host texts; ports in host order) ---
    bool bindToPort(uint16_t port, Error* errPtr = nullptr);
    // `localAddr`: empty for every address, "localhost"/"loopback", or an address or name.
    bool bindToAddress(const std::string& localAddr, uint16_t port, Error* errPtr = nullptr);
    bool connectToHost(const std::string& host, uint16_t port, Error* errPtr = nullptr);
    bool connectToAddress(const Bytes& remoteAddr, Error* errPtr = nullptr);
    bool joinMulticastGroup(const std::string& group, Error* errPtr = nullptr);
    bool joinMulticastGroup(const std::string& group, const std::string& interfaceAddress, Error* errPtr = nullptr);
    bool enableBroadcast(bool flag, Error* errPtr = nullptr);

    // --- sending and receiving (false: refused, nothing reported) ---
    bool sendData(const Bytes& data, double timeout, long tag);
    bool sendData(const Bytes& data, const std::string& host, uint16_t port, double timeout, long tag);
    bool sendData(const Bytes& data, const Bytes& remoteAddr, double timeout, long tag);
    void receiveWithTimeout(double timeout, long tag);

    // --- closing ---
    void close();
    void closeAfterSending();
    void closeAfterReceiving();
    void closeAfterSendingAndReceiving();

    // --- state ---
    std::optional<std::string> localHost();
    uint16_t localPort();
    std::optional<std::string> connectedHost();
    uint16_t connectedPort();
    bool isConnected() const;
    bool isConnectedToHost(const std::string& host, uint16_t port);
    bool isClosed() const;
    bool isIPv4() const { return socket4_ != nullptr; }
    bool isIPv6() const { return socket6_ != nullptr; }
    uint32_t maximumTransmissionUnit() const;

    // --- addresses ---
    // Return 0 or the resolver's code.
    static int convertForBindHost(const std::string& host, uint16_t port, std::optional<Bytes>* address4,
                                  std::optional<Bytes>* address6);
    static int convertForSendHost(const std::string& host, uint16_t port, std::optional<Bytes>* address4,
                                  std::optional<Bytes>* address6);
    static std::string addressHost(const Bytes& address);

    // --- errors ---
    static Error getErrnoError(int errorNumber);
    static Error getSocketError();
    static Error getIPv4UnavailableError();
    static Error getIPv6UnavailableError();
    static Error getSendTimeoutError();
    static Error getReceiveTimeoutError();
    static Error getDatagramTooLongError(size_t length, size_t limit);

private:
    enum Flag : uint16_t {
        kFlagBound = 1u << 0,
        kFlagConnected = 1u << 1,
        kFlagSocket4CanAcceptBytes = 1u << 2,
        kFlagSocket6CanAcceptBytes = 1u << 3,
        kFlagSocket4HasBytesAvailable = 1u << 4,
        kFlagSocket6HasBytesAvailable = 1u << 5,
        kFlagForbidSendReceive = 1u << 6,
        kFlagCloseAfterSends = 1u << 7,
        kFlagCloseAfterReceives = 1u << 8,
        kFlagClosed = 1u << 9,
        kFlagDequeueSendScheduled = 1u << 10,
        kFlagDequeueReceiveScheduled = 1u << 11,
        kFlagReceive4First = 1u << 12,
    };

    std::shared_ptr<RunLoopSocket> makeSocket(int domain);
    void socketCallback(RunLoopSocket& socket, RunLoopSocket::CallBackType type);
    void schedule(const char* action, void (AsyncUdpSocket::*step)());
    void addToRunLoop();
    void removeFromRunLoop();
    void closeSocket(std::shared_ptr<RunLoopSocket>& socket);
    std::shared_ptr<RunLoopTimer> makeTimer(double timeout, void (AsyncUdpSocket::*handler)(RunLoopTimer&));
    void checkOpen(const char* action) const;
    [[noreturn]] static void raise(const std::string& reason);

    // Sending.
    void scheduleDequeueSend();
    void maybeDequeueSend();
    RunLoopSocket* socketForPacket(const AsyncSendPacket& packet) const;
    bool canAcceptBytes(RunLoopSocket& socket) const;
    void doSend(RunLoopSocket& socket);
    void completeCurrentSend();
    void failCurrentSend(const Error& error);
    void endCurrentSend();
    void doSendTimeout(RunLoopTimer& timer);

    // Receiving.
    void scheduleDequeueReceive();
    void maybeDequeueReceive();
    bool hasBytesAvailable(RunLoopSocket& socket) const;
    void doReceive(RunLoopSocket& socket);
    bool maybeCompleteCurrentReceive();
    void failCurrentReceive(const Error& error);
    void endCurrentReceive();
    void doReceiveTimeout(RunLoopTimer& timer);

    void emptyQueues();
    void maybeScheduleClose();
    std::optional<Bytes> socketAddress(bool peer);

    std::shared_ptr<RunLoopSocket> socket4_;
    std::shared_ptr<RunLoopSocket> socket6_;
    std::shared_ptr<RunLoop> runLoop_;
    std::vector<RunLoopMode> runLoopModes_{kDefaultRunLoopMode};
    std::deque<AsyncSendPacket> sendQueue_;
    std::optional<AsyncSendPacket> currentSend_;
    std::shared_ptr<RunLoopTimer> sendTimer_;
    std::deque<AsyncReceivePacket> receiveQueue_;
    std::optional<AsyncReceivePacket> currentReceive_;
    std::shared_ptr<RunLoopTimer> receiveTimer_;
    std::weak_ptr<AsyncUdpSocketDelegate> delegate_;
    uint16_t flags_ = 0;
    long userData_ = 0;
    std::optional<std::string> cachedLocalHost_;
    uint16_t cachedLocalPort_ = 0;
    std::optional<std::string> cachedConnectedHost_;
    uint16_t cachedConnectedPort_ = 0;
    uint32_t maxReceiveBufferSize_ = 9216;
};

}  // namespace orv
