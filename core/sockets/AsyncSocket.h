#pragma once
// A TCP socket served by one thread's run loop: it listens (IPv4 and IPv6 on
// one port) or carries one connection as a pair of streams. Reads and writes
// queue as requests served in order as the streams allow, each with an
// optional timeout; TLS starts through a marker that waits for the requests
// queued before it. A weakly held delegate hears every outcome on that
// thread. Not for use from other threads. Misuse raises orv::Exception named
// AsyncSocketException; failures are Errors.
//
// Create sockets with create(); they are owned by std::shared_ptr because
// timers, streams and posted steps hold them weakly.

#include "core/sockets/AsyncReadPacket.h"
#include "core/sockets/AsyncSocketDelegate.h"
#include "core/sockets/AsyncSpecialPacket.h"
#include "core/sockets/AsyncWritePacket.h"
#include "core/sockets/RunLoopSocket.h"
#include "core/sockets/RunLoopStreamPair.h"
#include "core/sockets/SocketData.h"
#include "platform/Error.h"
#include "platform/RunLoop.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace orv {

class RunLoopTimer;

inline constexpr const char* AsyncSocketException = "AsyncSocketException";
inline constexpr const char* AsyncSocketErrorDomain = "AsyncSocketErrorDomain";

enum AsyncSocketError : long {
    AsyncSocketCFSocketError = -1,
    AsyncSocketNoError = 0,
    AsyncSocketCanceledError = 1,
    AsyncSocketConnectTimeoutError = 2,
    AsyncSocketReadMaxedOutError = 3,
    AsyncSocketReadTimeoutError = 4,
    AsyncSocketWriteTimeoutError = 5,
};

class AsyncSocket : public std::enable_shared_from_this<AsyncSocket> {
    struct PrivateTag {};

public:
    static std::shared_ptr<AsyncSocket> create(std::weak_ptr<AsyncSocketDelegate> delegate = {}, long userData = 0);
    AsyncSocket(PrivateTag, std::weak_ptr<AsyncSocketDelegate> delegate, long userData);
    // Closes; a started socket reports onSocketDidDisconnect(nullptr).
    ~AsyncSocket();
    AsyncSocket(const AsyncSocket&) = delete;
    AsyncSocket& operator=(const AsyncSocket&) = delete;

    std::shared_ptr<AsyncSocketDelegate> delegate() const { return delegate_.lock(); }
    void setDelegate(std::weak_ptr<AsyncSocketDelegate> delegate) { delegate_ = std::move(delegate); }
    bool canSafelySetDelegate() const;
    long userData() const { return userData_; }
    void setUserData(long userData) { userData_ = userData; }
    // Raises AsyncSocketException when called off the socket's run loop.
    void checkForThreadSafety() const;
    void enablePreBuffering() { flags_ |= kPreBufferingOn; }
    // The listening socket (IPv4 first), or nullptr.
    std::shared_ptr<RunLoopSocket> getCFSocket() const { return socket4_ ? socket4_ : socket6_; }
    std::shared_ptr<RunLoopStreamPair> getCFReadStream() const { return streams_; }
    std::shared_ptr<RunLoopStreamPair> getCFWriteStream() const { return streams_; }

    // --- run loop ---
    bool moveToRunLoop(RunLoop* runLoop);
    bool setRunLoopModes(const std::vector<RunLoopMode>& modes);
    bool addRunLoopMode(const RunLoopMode& mode);
    bool removeRunLoopMode(const RunLoopMode& mode);
    std::vector<RunLoopMode> runLoopModes() const { return runLoopModes_; }

    // --- accepting and connecting (ports in host order; timeouts in seconds, negative: none) ---
    bool acceptOnPort(uint16_t port, Error* errPtr = nullptr);
    // `interface`: empty for every address, "localhost"/"loopback", or a name or address.
    bool acceptOnInterface(const std::string& interface, uint16_t port, Error* errPtr = nullptr);
    bool connectToHost(const std::string& hostname, uint16_t port, Error* errPtr = nullptr);
    bool connectToHost(const std::string& hostname, uint16_t port, double timeout, Error* errPtr = nullptr);
    bool connectToAddress(const Bytes& remoteAddr, Error* errPtr = nullptr);
    bool connectToAddress(const Bytes& remoteAddr, double timeout, Error* errPtr = nullptr);
    bool connectToAddress(const Bytes& remoteAddr, const std::optional<Bytes>& interfaceAddr, double timeout,
                          Error* errPtr = nullptr);

    // --- reading (requests that break their conditions are dropped) ---
    void readDataWithTimeout(double timeout, long tag);
    void readDataWithTimeout(double timeout, std::shared_ptr<Bytes> buffer, size_t offset, long tag);
    void readDataWithTimeout(double timeout, std::shared_ptr<Bytes> buffer, size_t offset, size_t maxLength, long tag);
    void readDataToLength(size_t length, double timeout, long tag);
    void readDataToLength(size_t length, double timeout, std::shared_ptr<Bytes> buffer, size_t offset, long tag);
    void readDataToData(const Bytes& data, double timeout, long tag);
    void readDataToData(const Bytes& data, double timeout, std::shared_ptr<Bytes> buffer, size_t offset, long tag);
    void readDataToData(const Bytes& data, double timeout, size_t maxLength, long tag);
    void readDataToData(const Bytes& data, double timeout, std::shared_ptr<Bytes> buffer, size_t offset,
                        size_t maxLength, long tag);
    // NaN when no read (or the TLS marker) is current.
    float progressOfReadReturningTag(long* tag, size_t* done, size_t* total) const;
    static Bytes CRLFData() { return {0x0D, 0x0A}; }
    static Bytes CRData() { return {0x0D}; }
    static Bytes LFData() { return {0x0A}; }
    static Bytes ZeroData() { return {0x00}; }

    // --- writing and TLS ---
    void writeData(const Bytes& data, double timeout, long tag);
    // The data is sent as it is when its turn comes, not copied.
    void writeData(std::shared_ptr<const Bytes> data, double timeout, long tag);
    float progressOfWriteReturningTag(long* tag, size_t* done, size_t* total) const;
    void startTLS(const TlsSettings& tlsSettings = {});

    // --- closing ---
    void disconnect() { close(); }
    void disconnectAfterReading();
    void disconnectAfterWriting();
    void disconnectAfterReadingAndWriting();
    // A copy of the bytes that were read and not delivered; only from
    // onSocketWillDisconnectWithError.
    std::optional<Bytes> unreadData();

    // --- state and addresses ---
    bool isDisconnected() const;
    bool isConnected() const { return areStreamsConnected(); }
    bool areStreamsConnected() const;
    bool isIPv4() const { return nativeSocket4_ != -1 || socket4_; }
    bool isIPv6() const { return nativeSocket6_ != -1 || socket6_; }
    std::optional<std::string> connectedHost() const;
    uint16_t connectedPort() const;
    std::optional<std::string> localHost() const;
    uint16_t localPort() const;
    std::optional<std::string> connectedHost4() const;
    std::optional<std::string> connectedHost6() const;
    uint16_t connectedPort4() const;
    uint16_t connectedPort6() const;
    std::optional<std::string> localHost4() const;
    std::optional<std::string> localHost6() const;
    uint16_t localPort4() const;
    uint16_t localPort6() const;
    std::optional<Bytes> connectedAddress() const;
    std::optional<Bytes> localAddress() const;
    std::string description() const;

    // --- errors ---
    static Error getSocketError();
    static Error getAbortError();
    static Error getConnectTimeoutError();
    static Error getReadMaxedOutError();
    static Error getReadTimeoutError();
    static Error getWriteTimeoutError();
    static Error getErrnoError(int errorNumber);
    static std::optional<Error> errorFromCFStreamError(StreamError streamError);
    std::optional<Error> getStreamError() const;

private:
    enum Flag : uint16_t {
        kPreBufferingOn = 0x0001,
        kStarted = 0x0002,
        kReadOpenDone = 0x0004,
        kWriteOpenDone = 0x0008,
        kReadTLSReached = 0x0010,
        kWriteTLSReached = 0x0020,
        kRequestsRefused = 0x0040,
        kCloseAfterReads = 0x0080,
        kCloseAfterWrites = 0x0100,
        kReportingClose = 0x0200,
        kReadDequeuePosted = 0x0400,
        kWriteDequeuePosted = 0x0800,
        kWriteSpaceSignalled = 0x1000,
        kReadDataSignalled = 0x2000,
    };
    using ReadRequest = std::variant<std::shared_ptr<AsyncReadPacket>, std::shared_ptr<AsyncSpecialPacket>>;
    using WriteRequest = std::variant<std::shared_ptr<AsyncWritePacket>, std::shared_ptr<AsyncSpecialPacket>>;

    // Run loop.
    RunLoop& loop() const;
    void post(const char* action, void (AsyncSocket::*step)(), const std::vector<RunLoopMode>& modes);
    void postSteps(const std::vector<RunLoopMode>& modes);
    void cancelPosted();
    void detachFromLoop();
    void attachTimersAndSources(const std::vector<RunLoopMode>& modes);
    std::shared_ptr<RunLoopTimer> makeTimer(double seconds, void (AsyncSocket::*handler)());

    // Accepting and connecting.
    void checkIdle(const char* action) const;
    std::shared_ptr<RunLoopSocket> newSocket(int family, bool listening);
    void socketCallback(RunLoopSocket& socket, RunLoopSocket::CallBackType type);
    bool listenOn(std::shared_ptr<RunLoopSocket>& socket, const Bytes& address);
    void attachSocketsToRunLoop();
    bool configureStreams(Error* errPtr);
    bool attachStreamsToRunLoop(RunLoop* runLoop, Error* errPtr);
    bool openStreams(Error* errPtr);
    bool createStreamsFromNative(int fd, Error* errPtr);
    void startConnectTimeout(double timeout);
    void endConnectTimeout();
    void doConnectTimeout();
    void doAcceptFromSocket(RunLoopSocket& socket);
    void doSocketOpen(RunLoopSocket& socket);
    void doStreamEvent(RunLoopStreamPair::Half half, RunLoopStreamPair::Event event);
    void doStreamOpen();

    // Reading.
    void queueRead(std::shared_ptr<AsyncReadPacket> packet);
    void scheduleDequeueRead();
    void maybeDequeueRead();
    bool hasBytesAvailable() const;
    long readIntoBuffer(uint8_t* buffer, size_t length);
    void doBytesAvailable();
    void completeCurrentRead();
    void endCurrentRead();
    void doReadTimeout();

    // Writing and TLS.
    void scheduleDequeueWrite();
    void maybeDequeueWrite();
    bool canAcceptBytes() const;
    void doSendBytes();
    void completeCurrentWrite();
    void endCurrentWrite();
    void doWriteTimeout();
    void maybeStartTLS();
    void onTLSHandshakeSuccessful();

    // Closing.
    void closeWithError(const std::optional<Error>& error);
    void recoverUnreadData();
    void emptyQueues();
    void close();
    void maybeScheduleDisconnect();

    std::optional<Bytes> addressOf(bool peer, int family) const;

    int nativeSocket4_ = -1;
    int nativeSocket6_ = -1;
    std::shared_ptr<RunLoopSocket> socket4_;
    std::shared_ptr<RunLoopSocket> socket6_;
    std::shared_ptr<RunLoopStreamPair> streams_;
    std::shared_ptr<RunLoop> runLoop_;
    std::vector<RunLoopMode> runLoopModes_{kDefaultRunLoopMode};
    std::shared_ptr<RunLoopTimer> connectTimer_;
    std::deque<ReadRequest> readQueue_;
    std::optional<ReadRequest> currentRead_;
    std::shared_ptr<RunLoopTimer> readTimer_;
    Bytes partialReadBuffer_;
    std::deque<WriteRequest> writeQueue_;
    std::optional<WriteRequest> currentWrite_;
    std::shared_ptr<RunLoopTimer> writeTimer_;
    std::weak_ptr<AsyncSocketDelegate> delegate_;
    uint16_t flags_ = kPreBufferingOn;
    long userData_ = 0;
    bool destroying_ = false;
};

}  // namespace orv
