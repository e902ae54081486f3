#pragma once
// A TCP client and server socket driven by dispatch queues. All of its state
// lives on one serial queue (the socket queue); everything it reports goes to
// a weakly held delegate, asynchronously, on the delegate queue. Reads and
// writes are queued and served one at a time, in order, each with a timeout
// the delegate may extend. Every ending goes through one close step that tells
// the delegate once, with one error or none. It never throws on misuse:
// methods answer false with an Error, later failures arrive as
// socketDidDisconnect.
//
// Create sockets with create(); they are always owned by std::shared_ptr
// because queued work holds them weakly.

#include "core/sockets/GCDAsyncReadPacket.h"
#include "core/sockets/GCDAsyncSocketDelegate.h"
#include "core/sockets/GCDAsyncSocketPreBuffer.h"
#include "core/sockets/GCDAsyncSocketTLSSettings.h"
#include "core/sockets/GCDAsyncSpecialPacket.h"
#include "core/sockets/GCDAsyncWritePacket.h"
#include "core/sockets/SocketData.h"
#include "core/sockets/SocketQueueBinding.h"
#include "core/sockets/SocketTexts.h"
#include "platform/Dispatch.h"
#include "platform/Error.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace orv {

class TlsSession;

inline constexpr const char* GCDAsyncSocketException = "GCDAsyncSocketException";
inline constexpr const char* GCDAsyncSocketErrorDomain = "GCDAsyncSocketErrorDomain";
inline constexpr const char* GCDAsyncSocketQueueName = "GCDAsyncSocket";
inline constexpr const char* GCDAsyncSocketThreadName = "GCDAsyncSocket-CFStream";

// Domains of the errors that do not come from the socket itself.
inline constexpr const char* GCDAsyncSocketLookupErrorDomain = "kCFStreamErrorDomainNetDB";
inline constexpr const char* GCDAsyncSocketPOSIXErrorDomain = "NSPOSIXErrorDomain";
inline constexpr const char* GCDAsyncSocketTLSErrorDomain = "kCFStreamErrorDomainSSL";
// Error info key holding the reason given with an errno error.
inline constexpr const char* GCDAsyncSocketFailureReasonKey = "failureReason";

enum GCDAsyncSocketError : long {
    GCDAsyncSocketNoError = 0,
    GCDAsyncSocketBadConfigError = 1,
    GCDAsyncSocketBadParamError = 2,
    GCDAsyncSocketConnectTimeoutError = 3,
    GCDAsyncSocketReadTimeoutError = 4,
    GCDAsyncSocketWriteTimeoutError = 5,
    GCDAsyncSocketReadMaxedOutError = 6,
    GCDAsyncSocketClosedError = 7,
    GCDAsyncSocketOtherError = 8,
};

// TLS status codes, the codes of errors in GCDAsyncSocketTLSErrorDomain.
enum GCDAsyncSocketTLSStatus : int32_t {
    kTLSStatusSuccess = 0,
    kTLSStatusProtocol = -9800,             // the handshake or a record failed
    kTLSStatusWouldBlock = -9803,           // waiting for the descriptor
    kTLSStatusClosedGraceful = -9805,       // the peer ended the session
    kTLSStatusClosedAbort = -9806,          // the connection ended without ending the session
    kTLSStatusCertChainInvalid = -9807,     // the server's certificate chain did not verify
    kTLSStatusPeerBadCert = -9825,          // the delegate did not trust the server
    kTLSStatusPeerAuthCompleted = -9841,    // the server's certificates await the delegate's verdict
    kTLSStatusHostNameMismatch = -9843,     // the server's certificate is for another name
};

using GCDAsyncSocketTextLookup = SocketTextLookup;

class GCDAsyncSocket : public std::enable_shared_from_this<GCDAsyncSocket>,
                       public SocketQueueBinding<GCDAsyncSocket, GCDAsyncSocketDelegate> {
    using Binding = SocketQueueBinding<GCDAsyncSocket, GCDAsyncSocketDelegate>;
    friend Binding;
    struct PrivateTag {};

public:
    // The socket queue is the one given, or a new serial queue of its own. It
    // must not be a concurrent queue.
    static std::shared_ptr<GCDAsyncSocket> create(std::weak_ptr<GCDAsyncSocketDelegate> delegate = {},
                                                  dispatch::QueueRef delegateQueue = nullptr,
                                                  dispatch::QueueRef socketQueue = nullptr);
    GCDAsyncSocket(PrivateTag, std::weak_ptr<GCDAsyncSocketDelegate> delegate, dispatch::QueueRef delegateQueue,
                   dispatch::QueueRef socketQueue);
    // Closes the socket; a disconnect callback that is due carries nullptr.
    ~GCDAsyncSocket();
    GCDAsyncSocket(const GCDAsyncSocket&) = delete;
    GCDAsyncSocket& operator=(const GCDAsyncSocket&) = delete;

    // --- delegate and configuration (setters are asynchronous unless named
    // "synchronously"; getters wait for the socket queue) ---
    // The delegate's getters and setters come from SocketQueueBinding.

    bool isIPv4Enabled() const;
    void setIPv4Enabled(bool flag);
    bool isIPv6Enabled() const;
    void setIPv6Enabled(bool flag);
    bool isIPv4PreferredOverIPv6() const;
    void setIPv4PreferredOverIPv6(bool flag);
    // When false, the peer closing its side leaves the socket open for writing
    // (socketDidCloseReadStream is sent instead of a disconnect).
    bool autoDisconnectOnClosedReadStream() const;
    void setAutoDisconnectOnClosedReadStream(bool flag);

    std::shared_ptr<void> userData() const;
    void setUserData(std::shared_ptr<void> userData);

    // --- accepting ---
    bool acceptOnPort(uint16_t port, Error* errPtr = nullptr);
    // `interface`: "" for all, "localhost"/"loopback", an interface name or
    // printed address, optionally followed by ":port" (used when `port` is 0).
    bool acceptOnInterface(const std::string& interface, uint16_t port, Error* errPtr = nullptr);

    // --- connecting (timeouts in seconds; negative: none) ---
    bool connectToHost(const std::string& host, uint16_t port, Error* errPtr = nullptr);
    bool connectToHost(const std::string& host, uint16_t port, double timeout, Error* errPtr = nullptr);
    bool connectToHost(const std::string& host, uint16_t port, const std::string& interface, double timeout,
                       Error* errPtr = nullptr);
    bool connectToAddress(const Bytes& remoteAddr, Error* errPtr = nullptr);
    bool connectToAddress(const Bytes& remoteAddr, double timeout, Error* errPtr = nullptr);
    bool connectToAddress(const Bytes& remoteAddr, const std::string& interface, double timeout,
                          Error* errPtr = nullptr);

    // --- disconnecting ---
    // Synchronous: when it returns the socket is idle.
    void disconnect();
    void disconnectAfterReading();
    void disconnectAfterWriting();
    void disconnectAfterReadingAndWriting();

    // --- state ---
    bool isDisconnected() const;
    bool isConnected() const;
    bool isSecure() const;

    std::optional<std::string> connectedHost() const;
    uint16_t connectedPort() const;
    std::optional<std::string> localHost() const;
    uint16_t localPort() const;
    std::optional<Bytes> connectedAddress() const;
    std::optional<Bytes> localAddress() const;
    bool isIPv4() const;
    bool isIPv6() const;
    // The same for one family's descriptor (nothing when it is not open);
    // only on the socket queue.
    std::optional<std::string> connectedHost4() const;
    std::optional<std::string> connectedHost6() const;
    uint16_t connectedPort4() const;
    uint16_t connectedPort6() const;
    std::optional<std::string> localHost4() const;
    std::optional<std::string> localHost6() const;
    uint16_t localPort4() const;
    uint16_t localPort6() const;
    // The queries themselves, for any descriptor of that family.
    static std::optional<std::string> connectedHostFromSocket4(int socketFD);
    static std::optional<std::string> connectedHostFromSocket6(int socketFD);
    static uint16_t connectedPortFromSocket4(int socketFD);
    static uint16_t connectedPortFromSocket6(int socketFD);
    static std::optional<std::string> localHostFromSocket4(int socketFD);
    static std::optional<std::string> localHostFromSocket6(int socketFD);
    static uint16_t localPortFromSocket4(int socketFD);
    static uint16_t localPortFromSocket6(int socketFD);

    // --- reading (all asynchronous; invalid requests are dropped silently) ---
    void readDataWithTimeout(double timeout, int64_t tag);
    void readDataWithTimeout(double timeout, std::shared_ptr<Bytes> buffer, size_t offset, int64_t tag);
    void readDataWithTimeout(double timeout, std::shared_ptr<Bytes> buffer, size_t offset, size_t maxLength,
                             int64_t tag);
    void readDataToLength(size_t length, double timeout, int64_t tag);
    void readDataToLength(size_t length, double timeout, std::shared_ptr<Bytes> buffer, size_t offset, int64_t tag);
    void readDataToData(const Bytes& data, double timeout, int64_t tag);
    void readDataToData(const Bytes& data, double timeout, std::shared_ptr<Bytes> buffer, size_t offset,
                        int64_t tag);
    void readDataToData(const Bytes& data, double timeout, size_t maxLength, int64_t tag);
    void readDataToData(const Bytes& data, double timeout, std::shared_ptr<Bytes> buffer, size_t offset,
                        size_t maxLength, int64_t tag);
    // Progress of the current read; NaN (and zeros) when there is none.
    float progressOfReadReturningTag(int64_t* tagPtr, size_t* donePtr, size_t* totalPtr) const;

    // --- writing ---
    void writeData(std::shared_ptr<const Bytes> data, double timeout, int64_t tag);
    void writeData(Bytes data, double timeout, int64_t tag);
    float progressOfWriteReturningTag(int64_t* tagPtr, size_t* donePtr, size_t* totalPtr) const;

    // --- TLS ---
    // Queues the switch to TLS behind the reads and writes already queued.
    void startTLS(TlsSettings tlsSettings = {});
    // Fixed: TLS runs only through the socket's own session over its descriptor.
    bool usingCFStreamForTLS() const { return false; }
    bool usingSecureTransportForTLS() const { return true; }

    // --- queues ---
    // Lets calls made on `socketQueuesPreConfiguredTargetQueue` (which the
    // socket queue targets) be recognised as being on the socket queue.
    // Raw values, only on the socket queue (-1 or nullptr elsewhere).
    int socketFD() const;
    int socket4FD() const;
    int socket6FD() const;
    void* sslContext() const;  // the OpenSSL SSL* of a secure socket

    // --- address helpers ---
    // Resolves a host ("localhost"/"loopback" without asking the resolver) to
    // IPv4 and IPv6 socket addresses in the resolver's order.
    static std::optional<std::vector<Bytes>> lookupHost(const std::string& host, uint16_t port, Error* errPtr);
    static std::string hostFromSockaddr4(const void* sockaddr4);
    static std::string hostFromSockaddr6(const void* sockaddr6);
    static uint16_t portFromSockaddr4(const void* sockaddr4);
    static uint16_t portFromSockaddr6(const void* sockaddr6);
    static std::optional<std::string> hostFromAddress(const Bytes& address);
    static uint16_t portFromAddress(const Bytes& address);
    static bool isIPv4Address(const Bytes& address);
    static bool isIPv6Address(const Bytes& address);
    static bool getHost(std::string* hostPtr, uint16_t* portPtr, int* familyPtr, const Bytes& address);
    static bool getHost(std::string* hostPtr, uint16_t* portPtr, const Bytes& address);
    // Resolves an interface description (see acceptOnInterface) to local
    // IPv4 and IPv6 addresses; either may be missing.
    static void getInterfaceAddress4(std::optional<Bytes>* interfaceAddr4Ptr, std::optional<Bytes>* interfaceAddr6Ptr,
                                     const std::string& interfaceDescription, uint16_t port);
    static Bytes CRLFData();
    static Bytes CRData();
    static Bytes LFData();
    static Bytes ZeroData();

    // --- errors ---
    static void setTextLookup(GCDAsyncSocketTextLookup lookup);
    static Error badConfigError(const std::string& errMsg);
    static Error badParamError(const std::string& errMsg);
    static Error gaiError(int gaiCode);
    static Error errnoErrorWithReason(const std::string& reason, int errorNumber);
    static Error errnoError(int errorNumber);
    static Error sslError(int32_t status);
    static Error connectTimeoutError();
    static Error readMaxedOutError();
    static Error readTimeoutError();
    static Error writeTimeoutError();
    static Error connectionClosedError();
    static Error otherError(const std::string& errMsg);

private:
    enum Flag : uint32_t {
        kSocketStarted = 1u << 0,
        kConnected = 1u << 1,
        kForbidReadsWrites = 1u << 2,
        kReadsPaused = 1u << 3,
        kWritesPaused = 1u << 4,
        kDisconnectAfterReads = 1u << 5,
        kDisconnectAfterWrites = 1u << 6,
        kSocketCanAcceptBytes = 1u << 7,
        kReadSourceSuspended = 1u << 8,
        kWriteSourceSuspended = 1u << 9,
        kQueuedTLS = 1u << 10,
        kStartingReadTLS = 1u << 11,
        kStartingWriteTLS = 1u << 12,
        kSocketSecure = 1u << 13,
        kSocketHasReadEOF = 1u << 14,
        kReadStreamClosed = 1u << 15,
        kDealloc = 1u << 16,
        kAcceptPaused = 1u << 17,
    };
    enum Config : uint16_t {
        kIPv4Disabled = 1u << 0,
        kIPv6Disabled = 1u << 1,
        kPreferIPv6 = 1u << 2,
        kAllowHalfDuplexConnection = 1u << 3,
    };

    using ReadEntry = std::variant<std::shared_ptr<GCDAsyncReadPacket>, std::shared_ptr<GCDAsyncSpecialPacket>>;
    using WriteEntry = std::variant<std::shared_ptr<GCDAsyncWritePacket>, std::shared_ptr<GCDAsyncSpecialPacket>>;

    // Queue discipline.
    // Sends a callback to the delegate if there is one (read now, held strongly
    // until the callback runs).
    void notifyDelegate(std::function<void(GCDAsyncSocketDelegate&, GCDAsyncSocket&)> callback);

    // Connecting.
    bool preConnectWithInterface(const std::string& interface, Error* errPtr);
    void lookupDidSucceed(int aStateIndex, std::optional<Bytes> address4, std::optional<Bytes> address6);
    void lookupDidFail(int aStateIndex, const Error& error);
    bool connectWithAddress4(std::optional<Bytes> address4, std::optional<Bytes> address6, Error* errPtr);
    void connectSourceFired(int aStateIndex);
    void didConnect(int aStateIndex);
    void didNotConnect(int aStateIndex, const Error& error);
    void startConnectTimeout(double timeout);
    void endConnectTimeout();
    void doConnectTimeout();

    // Reading.
    void setupReadAndWriteSourcesForNewlyConnectedSocket(int socketFD);
    void readSourceFired(size_t estimatedBytesAvailable);
    void suspendReadSource();
    void resumeReadSource();
    void queueRead(std::shared_ptr<GCDAsyncReadPacket> packet);
    void maybeDequeueRead();
    void doReadData();
    void doReadEOF();
    void completeCurrentRead();
    void endCurrentRead();
    void setupReadTimerWithTimeout(double timeout);
    void doReadTimeout();
    void doReadTimeoutWithExtension(double timeoutExtension);
    bool hasCurrentRead() const { return currentRead_ || currentReadTLS_; }

    // Writing.
    void suspendWriteSource();
    void resumeWriteSource();
    void maybeDequeueWrite();
    void doWriteData();
    void completeCurrentWrite();
    void endCurrentWrite();
    void setupWriteTimerWithTimeout(double timeout);
    void doWriteTimeout();
    void doWriteTimeoutWithExtension(double timeoutExtension);
    bool hasCurrentWrite() const { return currentWrite_ || currentWriteTLS_; }

    // Closing.
    void closeWithError(std::optional<Error> error);
    void maybeClose();

    // Accepting.
    int createListenSocket(int domain, const Bytes& interfaceAddr, Error* errPtr);
    void acceptSourceFired(int listenFD);
    // Takes one pending connection; false (with the errno) when accept failed.
    bool doAccept(int parentSocketFD, int* acceptErrno);
    void pauseAccepting();
    void resumeAccepting();

    // TLS.
    void maybeStartTLS();
    void ssl_startTLS();
    void ssl_continueSSLHandshake();
    void ssl_shouldTrustPeer(bool shouldTrust, int aStateIndex);
    void flushSSLBuffers();
    int32_t sslReadWithBuffer(uint8_t* buffer, size_t* bufferLength);
    int32_t sslWriteWithBuffer(const uint8_t* buffer, size_t* bufferLength);

    // Addresses of an open descriptor of either family.
    static std::optional<std::string> connectedHostFromSocket(int socketFD);
    static uint16_t connectedPortFromSocket(int socketFD);
    static std::optional<std::string> localHostFromSocket(int socketFD);
    static uint16_t localPortFromSocket(int socketFD);
    int openSocketFD() const { return socket4FD_ != -1 ? socket4FD_ : socket6FD_; }
    // The peer's (or own) address of the open descriptor, from any queue.
    std::optional<Bytes> openSocketAddress(bool peer) const;

    uint32_t flags_ = 0;
    uint16_t config_ = 0;
    int socket4FD_ = -1;
    int socket6FD_ = -1;
    int stateIndex_ = 0;
    std::optional<Bytes> connectInterface4_;
    std::optional<Bytes> connectInterface6_;
    dispatch::SourceRef accept4Source_;
    dispatch::SourceRef accept6Source_;
    // Resumes the paused accept sources after acceptBackoff_.
    dispatch::SourceRef acceptRetryTimer_;
    dispatch::Duration acceptBackoff_{};
    dispatch::SourceRef connectTimer_;
    // Watches a non-blocking connect; while it owns the descriptor its cancel
    // handler closes it.
    dispatch::SourceRef connectSource_;
    std::shared_ptr<bool> connectSourceOwnsFD_;
    dispatch::SourceRef readSource_;
    dispatch::SourceRef writeSource_;
    dispatch::SourceRef readTimer_;
    dispatch::SourceRef writeTimer_;
    std::deque<ReadEntry> readQueue_;
    std::deque<WriteEntry> writeQueue_;
    std::shared_ptr<GCDAsyncReadPacket> currentRead_;
    std::shared_ptr<GCDAsyncSpecialPacket> currentReadTLS_;
    std::shared_ptr<GCDAsyncWritePacket> currentWrite_;
    std::shared_ptr<GCDAsyncSpecialPacket> currentWriteTLS_;
    size_t socketFDBytesAvailable_ = 0;
    // A failure seen while telling an end of stream from a stale read event.
    int socketReadError_ = 0;
    GCDAsyncSocketPreBuffer preBuffer_;
    std::unique_ptr<TlsSession> sslContext_;
    std::unique_ptr<GCDAsyncSocketPreBuffer> sslPreBuffer_;
    size_t sslWriteCachedLength_ = 0;
    int32_t sslErrCode_ = 0;
    int32_t lastSSLHandshakeError_ = 0;
    std::shared_ptr<void> userData_;
};

}  // namespace orv
