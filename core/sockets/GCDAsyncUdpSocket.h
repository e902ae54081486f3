#pragma once
// A UDP socket driven by dispatch queues. It owns up to two system sockets
// (IPv4 and IPv6); all of its state lives on one serial queue (the socket
// queue), and everything it reports goes to a weakly held delegate,
// asynchronously, on the delegate queue. Binding, multicast and broadcast
// finish before they return; connects and sends are queued and carried out
// strictly in call order, each reported once. It never throws: methods answer
// false with an Error, later outcomes arrive as delegate messages.
//
// Create sockets with create(); they are always owned by std::shared_ptr
// because queued work holds them weakly.

#include "core/sockets/GCDAsyncUdpSendPacket.h"
#include "core/sockets/GCDAsyncUdpSocketDelegate.h"
#include "core/sockets/GCDAsyncUdpSpecialPacket.h"
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

inline constexpr const char* GCDAsyncUdpSocketErrorDomain = "GCDAsyncUdpSocketErrorDomain";
inline constexpr const char* GCDAsyncUdpSocketQueueName = "GCDAsyncUdpSocket";
inline constexpr const char* GCDAsyncUdpSocketException = "GCDAsyncUdpSocketException";
inline constexpr const char* GCDAsyncUdpSocketThreadName = "GCDAsyncUdpSocket-CFStream";

enum GCDAsyncUdpSocketError : long {
    GCDAsyncUdpSocketNoError = 0,
    GCDAsyncUdpSocketBadConfigError = 1,
    GCDAsyncUdpSocketBadParamError = 2,
    GCDAsyncUdpSocketSendTimeoutError = 3,
    GCDAsyncUdpSocketClosedError = 4,
    GCDAsyncUdpSocketOtherError = 5,
};

using GCDAsyncUdpSocketTextLookup = SocketTextLookup;

class GCDAsyncUdpSocket : public std::enable_shared_from_this<GCDAsyncUdpSocket>,
                       public SocketQueueBinding<GCDAsyncUdpSocket, GCDAsyncUdpSocketDelegate> {
    using Binding = SocketQueueBinding<GCDAsyncUdpSocket, GCDAsyncUdpSocketDelegate>;
    friend Binding;
    struct PrivateTag {};

public:
    // Answers whether a received datagram is delivered; may store a context
    // object that travels with it to the delegate.
    using ReceiveFilter =
        std::function<bool(const Bytes& data, const Bytes& address, std::shared_ptr<void>* context)>;
    // Answers whether a datagram is sent; a refused one is reported as sent.
    using SendFilter = std::function<bool(const Bytes& data, const Bytes& address, int64_t tag)>;

    // The socket queue is the one given, or a new serial queue of its own.
    static std::shared_ptr<GCDAsyncUdpSocket> create(std::weak_ptr<GCDAsyncUdpSocketDelegate> delegate = {},
                                                     dispatch::QueueRef delegateQueue = nullptr,
                                                     dispatch::QueueRef socketQueue = nullptr);
    GCDAsyncUdpSocket(PrivateTag, std::weak_ptr<GCDAsyncUdpSocketDelegate> delegate, dispatch::QueueRef delegateQueue,
                      dispatch::QueueRef socketQueue);
    // Closes the socket; a close message that is due carries nullptr.
    ~GCDAsyncUdpSocket();
    GCDAsyncUdpSocket(const GCDAsyncUdpSocket&) = delete;
    GCDAsyncUdpSocket& operator=(const GCDAsyncUdpSocket&) = delete;

    // --- delegate (setters asynchronous unless named "synchronously") ---
    // The delegate's getters and setters come from SocketQueueBinding.

    // --- configuration (takes effect for the operations that follow) ---
    bool isIPv4Enabled() const;
    void setIPv4Enabled(bool flag);
    bool isIPv6Enabled() const;
    void setIPv6Enabled(bool flag);
    bool isIPv4Preferred() const;
    bool isIPv6Preferred() const;
    bool isIPVersionNeutral() const;
    void setPreferIPv4();
    void setPreferIPv6();
    void setIPVersionNeutral();
    uint16_t maxReceiveIPv4BufferSize() const;
    void setMaxReceiveIPv4BufferSize(uint16_t max);
    uint32_t maxReceiveIPv6BufferSize() const;
    void setMaxReceiveIPv6BufferSize(uint32_t max);
    std::shared_ptr<void> userData() const;
    void setUserData(std::shared_ptr<void> userData);

    // --- local and peer addresses ---
    std::optional<Bytes> localAddress() const;
    std::optional<std::string> localHost() const;
    uint16_t localPort() const;
    std::optional<Bytes> localAddress_IPv4() const;
    std::optional<std::string> localHost_IPv4() const;
    uint16_t localPort_IPv4() const;
    std::optional<Bytes> localAddress_IPv6() const;
    std::optional<std::string> localHost_IPv6() const;
    uint16_t localPort_IPv6() const;
    std::optional<Bytes> connectedAddress() const;
    std::optional<std::string> connectedHost() const;
    uint16_t connectedPort() const;
    bool isConnected() const;
    bool isClosed() const;
    bool isIPv4() const;
    bool isIPv6() const;

    // --- binding, connecting, multicast, broadcast (ports in host order) ---
    bool bindToPort(uint16_t port, Error* errPtr = nullptr);
    // `interface`: "" for all, "localhost"/"loopback", an interface name or
    // one of its addresses as text.
    bool bindToPort(uint16_t port, const std::string& interface, Error* errPtr = nullptr);
    bool bindToAddress(const Bytes& localAddr, Error* errPtr = nullptr);
    // Queues the connect; the outcome arrives as udpSocketDidConnectToAddress
    // or udpSocketDidNotConnect.
    bool connectToHost(const std::string& host, uint16_t port, Error* errPtr = nullptr);
    bool connectToAddress(const Bytes& remoteAddr, Error* errPtr = nullptr);
    bool joinMulticastGroup(const std::string& group, Error* errPtr = nullptr);
    bool joinMulticastGroup(const std::string& group, const std::string& interface, Error* errPtr = nullptr);
    bool leaveMulticastGroup(const std::string& group, Error* errPtr = nullptr);
    bool leaveMulticastGroup(const std::string& group, const std::string& interface, Error* errPtr = nullptr);
    bool enableBroadcast(bool flag, Error* errPtr = nullptr);

    // --- sending (never fails here; each datagram is reported once; empty
    // data is ignored; timeouts in seconds, negative: none) ---
    void sendData(std::shared_ptr<const Bytes> data, int64_t tag);
    void sendData(std::shared_ptr<const Bytes> data, double timeout, int64_t tag);
    void sendData(std::shared_ptr<const Bytes> data, const std::string& host, uint16_t port, double timeout,
                  int64_t tag);
    void sendData(std::shared_ptr<const Bytes> data, const Bytes& remoteAddr, double timeout, int64_t tag);
    void sendData(Bytes data, const Bytes& remoteAddr, double timeout, int64_t tag);
    void setSendFilter(SendFilter filter, dispatch::QueueRef filterQueue, bool isAsynchronous = true);

    // --- receiving ---
    bool receiveOnce(Error* errPtr = nullptr);
    bool beginReceiving(Error* errPtr = nullptr);
    void pauseReceiving();
    void setReceiveFilter(ReceiveFilter filter, dispatch::QueueRef filterQueue, bool isAsynchronous = true);

    // --- closing ---
    // Synchronous: when it returns the socket is closed.
    void close();
    void closeAfterSending();
    // Wakes the read sources again (after the process was suspended).
    void applicationWillEnterForeground();

    // --- queues ---
    // Raw descriptors, only on the socket queue (-1 elsewhere).
    int socketFD() const;
    int socket4FD() const;
    int socket6FD() const;

    // --- address helpers ---
    static std::string hostFromSockaddr4(const void* sockaddr4);
    static std::string hostFromSockaddr6(const void* sockaddr6);
    static uint16_t portFromSockaddr4(const void* sockaddr4);
    static uint16_t portFromSockaddr6(const void* sockaddr6);
    static bool getHost(std::string* hostPtr, uint16_t* portPtr, int* familyPtr, const Bytes& address);
    static bool getHost(std::string* hostPtr, uint16_t* portPtr, const Bytes& address);
    static std::optional<std::string> hostFromAddress(const Bytes& address);
    static uint16_t portFromAddress(const Bytes& address);
    // AF_INET, AF_INET6, or 0 for anything else.
    static int familyFromAddress(const Bytes& address);
    static bool isIPv4Address(const Bytes& address);
    static bool isIPv6Address(const Bytes& address);

    // --- errors ---
    static void setTextLookup(GCDAsyncUdpSocketTextLookup lookup);
    static Error badConfigError(const std::string& errMsg);
    static Error badParamError(const std::string& errMsg);
    static Error gaiError(int gaiCode);
    static Error errnoErrorWithReason(const std::string& reason, int errorNumber);
    static Error errnoError(int errorNumber);
    static Error sendTimeoutError();
    static Error socketClosedError();
    static Error otherError(const std::string& errMsg);

private:
    enum Flag : uint32_t {
        kDidCreateSockets = 1u << 0,
        kDidBind = 1u << 1,
        kConnecting = 1u << 2,
        kDidConnect = 1u << 3,
        kReceiveOnce = 1u << 4,
        kReceiveContinuous = 1u << 5,
        kIPv4Deactivated = 1u << 6,
        kIPv6Deactivated = 1u << 7,
        kSend4SourceSuspended = 1u << 8,
        kSend6SourceSuspended = 1u << 9,
        kReceive4SourceSuspended = 1u << 10,
        kReceive6SourceSuspended = 1u << 11,
        kSock4CanAcceptBytes = 1u << 12,
        kSock6CanAcceptBytes = 1u << 13,
        kCloseAfterSends = 1u << 15,
        kFlipFlop = 1u << 16,
    };
    enum Config : uint16_t {
        kIPv4Disabled = 1u << 0,
        kIPv6Disabled = 1u << 1,
        kPreferIPv4 = 1u << 2,
        kPreferIPv6 = 1u << 3,
    };
    using SendEntry = std::variant<std::shared_ptr<GCDAsyncUdpSendPacket>, std::shared_ptr<GCDAsyncUdpSpecialPacket>>;
    using ResolveCompletion = std::function<void(std::vector<Bytes> addresses, std::optional<Error> error)>;
    // One family's descriptor, its sources and its local-address cache.
    struct Family {
        int fd = -1;
        dispatch::SourceRef sendSource;
        dispatch::SourceRef receiveSource;
        uint64_t bytesAvailable = 0;
        std::optional<Bytes> cachedLocalAddress;
        std::optional<std::string> cachedLocalHost;
        uint16_t cachedLocalPort = 0;
    };

    // Queue discipline.
    void notifyDelegate(std::function<void(GCDAsyncUdpSocketDelegate&, GCDAsyncUdpSocket&)> callback);
    bool preOp(Error* errPtr) const;
    // Runs `work` on the socket queue; the error it fills is handed out after the hop.
    bool syncWithError(Error* errPtr, const std::function<bool(Error*)>& work);

    // Delegate messages.
    void notifyDidConnectToAddress(const Bytes& address);
    void notifyDidNotConnect(const Error& error);
    void notifyDidSendDataWithTag(int64_t tag);
    void notifyDidNotSendDataWithTag(int64_t tag, const Error& error);
    void notifyDidReceiveData(std::shared_ptr<const Bytes> data, Bytes address, std::shared_ptr<void> context);
    void notifyDidNotReceiveData(const Error& error);
    void notifyDidCloseWithError(const std::optional<Error>& error);

    // Resolution and address choice.
    void asyncResolveHost(const std::optional<std::string>& host, uint16_t port, ResolveCompletion completion);
    int getAddress(std::optional<Bytes>* addressPtr, Error* errorPtr, const std::vector<Bytes>& addresses) const;
    static void convertIntefaceDescription(const std::optional<std::string>& interfaceDescription, uint16_t port,
                                           std::optional<Bytes>* interfaceAddr4Ptr,
                                           std::optional<Bytes>* interfaceAddr6Ptr);
    static void convertNumericHost(const std::string& numericHost, uint16_t port, std::optional<Bytes>* addr4Ptr,
                                   std::optional<Bytes>* addr6Ptr);
    bool isConnectedToAddress4(const Bytes& someAddr4) const;
    bool isConnectedToAddress6(const Bytes& someAddr6) const;
    static unsigned indexOfInterfaceAddr4(const Bytes& interfaceAddr4);
    static unsigned indexOfInterfaceAddr6(const Bytes& interfaceAddr6);

    // Sockets and sources.
    struct FamilyBits {
        uint32_t sendSuspended;
        uint32_t receiveSuspended;
        uint32_t canAcceptBytes;
    };
    static constexpr FamilyBits bitsOf(int af)
    {
        return af == kFamily4 ? FamilyBits{kSend4SourceSuspended, kReceive4SourceSuspended, kSock4CanAcceptBytes}
                              : FamilyBits{kSend6SourceSuspended, kReceive6SourceSuspended, kSock6CanAcceptBytes};
    }
    Family& family(int af) { return af == kFamily4 ? f4_ : f6_; }
    int createSocket(int domain, Error* errPtr);
    bool createSockets(bool useIPv4, bool useIPv6, Error* errPtr);
    bool createSockets(Error* errPtr);
    void setupSendAndReceiveSources(int af);
    void suspendSendSource(int af);
    void resumeSendSource(int af);
    void suspendReceiveSource(int af);
    void resumeReceiveSource(int af);
    void closeSocket(int af);
    void closeSockets();
    void maybeUpdateCachedLocalAddressInfo(int af);
    void maybeUpdateCachedConnectedAddressInfo();
    std::optional<Bytes> cachedLocalAddress(int af) const;
    template <typename T, typename Getter>
    T syncGet(Getter getter) const
    {
        T result{};
        syncOnSocketQueue([&] { result = getter(); });
        return result;
    }

    // Binding and connecting.
    bool preBind(Error* errPtr) const;
    bool preConnect(Error* errPtr) const;
    bool preJoin(Error* errPtr) const;
    void maybeConnect();
    bool connectWithAddress(int af, const Bytes& address, Error* errPtr);
    bool performMulticastRequest(bool join, const std::string& group, const std::string& interface, Error* errPtr);

    // Sending.
    void queueSend(std::shared_ptr<GCDAsyncUdpSendPacket> packet);
    void maybeDequeueSend();
    void doPreSend();
    void doSend();
    void endCurrentSend();
    void failCurrentSend(const Error& error);
    void setupSendTimerWithTimeout(double timeout);
    void doSendTimeout();
    std::shared_ptr<GCDAsyncUdpSendPacket> currentSendPacket() const;

    // Receiving and closing.
    void receiveSourceFired(int af, uint64_t estimate);
    void doReceive();
    // Reads and handles one datagram; false when there is nothing more to do now.
    bool receiveNext();
    void closeWithError(std::optional<Error> error);

    static constexpr int kFamily4 = 2;   // the system's AF_INET
    static constexpr int kFamily6 = 10;  // the system's AF_INET6

    ReceiveFilter receiveFilterBlock_;
    dispatch::QueueRef receiveFilterQueue_;
    bool receiveFilterAsync_ = false;
    SendFilter sendFilterBlock_;
    dispatch::QueueRef sendFilterQueue_;
    bool sendFilterAsync_ = false;
    uint32_t flags_ = 0;
    uint16_t config_ = 0;
    uint16_t max4ReceiveSize_ = 9216;
    uint32_t max6ReceiveSize_ = 9216;
    Family f4_;
    Family f6_;
    dispatch::SourceRef sendTimer_;
    std::optional<SendEntry> currentSend_;
    std::deque<SendEntry> sendQueue_;
    uint32_t pendingFilterOperations_ = 0;
    // Bumped by every close, so that receive-filter answers from before it are dropped.
    uint64_t receiveGeneration_ = 0;
    std::optional<Bytes> cachedConnectedAddress_;
    std::optional<std::string> cachedConnectedHost_;
    uint16_t cachedConnectedPort_ = 0;
    int cachedConnectedFamily_ = 0;
    bool dealloc_ = false;
    std::shared_ptr<void> userData_;
};

}  // namespace orv
