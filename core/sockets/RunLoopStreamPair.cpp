#include "core/sockets/RunLoopStreamPair.h"

#include "core/sockets/GCDAsyncSocket.h"
#include "core/sockets/SocketAddress.h"
#include "core/sockets/TlsSession.h"
#include "platform/RunLoopSource.h"

#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orv {

namespace {

template <typename T>
bool settingOf(const TlsSettings& settings, const char* key, T* value, bool* wrongType)
{
    auto it = settings.find(key);
    if (it == settings.end())
        return false;
    if (const T* typed = std::get_if<T>(&it->second)) {
        *value = *typed;
        return true;
    }
    *wrongType = true;
    return false;
}

bool wouldBlock(int error)
{
    return error == EAGAIN || error == EWOULDBLOCK || error == EINTR;
}

}  // namespace

std::shared_ptr<RunLoopStreamPair> RunLoopStreamPair::createToHost(const std::string& host, uint16_t port)
{
    if (host.empty())
        return nullptr;
    return std::make_shared<RunLoopStreamPair>(PrivateTag{}, -1, host, port);
}

std::shared_ptr<RunLoopStreamPair> RunLoopStreamPair::createWithSocket(int fd)
{
    if (fd < 0)
        return nullptr;
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags == -1 || ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) == -1)
        return nullptr;
    return std::make_shared<RunLoopStreamPair>(PrivateTag{}, fd, std::string(), 0);
}

RunLoopStreamPair::RunLoopStreamPair(PrivateTag, int fd, std::string host, uint16_t port)
    : fd_(fd), host_(std::move(host)), port_(port)
{
}

RunLoopStreamPair::~RunLoopStreamPair()
{
    if (loop_)
        loop_->cancelPerforms(this);
    if (source_)
        source_->invalidate();
    if (session_)
        session_->close();
    if (fd_ != -1 && shouldCloseNative_)
        ::close(fd_);
}

void RunLoopStreamPair::setClient(Half half, unsigned events, Client client)
{
    (half == kReadHalf ? readMask_ : writeMask_) = client ? events : 0;
    (half == kReadHalf ? readClient_ : writeClient_) = std::move(client);
    updateEvents();
}

void RunLoopStreamPair::schedule(RunLoop& loop, const std::vector<RunLoopMode>& modes)
{
    if (loop_.get() != &loop) {
        if (loop_ && source_)
            for (const RunLoopMode& mode : modes_)
                loop_->removeSource(source_, mode);
        modes_.clear();
        loop_ = loop.shared_from_this();
    }
    for (const RunLoopMode& mode : modes) {
        if (std::find(modes_.begin(), modes_.end(), mode) == modes_.end())
            modes_.push_back(mode);
        if (source_)
            loop_->addSource(source_, mode);
    }
}

void RunLoopStreamPair::unschedule(RunLoop& loop, const std::vector<RunLoopMode>& modes)
{
    if (loop_.get() != &loop)
        return;
    for (const RunLoopMode& mode : modes) {
        modes_.erase(std::remove(modes_.begin(), modes_.end(), mode), modes_.end());
        if (source_)
            loop_->removeSource(source_, mode);
    }
}

bool RunLoopStreamPair::open(Half half)
{
    Status& status = half == kReadHalf ? readStatus_ : writeStatus_;
    if (status != kStatusNotOpen)
        return false;
    status = kStatusOpening;
    if (connectError_.domain != 0) {
        // The other half's connection attempt already failed.
        fail(connectError_);
        return true;
    }
    if (fd_ == -1 && !connecting_) {
        std::vector<Bytes> addresses;
        if (const int code = socketaddress::lookup(host_, port_, SOCK_STREAM, IPPROTO_TCP, 0, &addresses); code != 0) {
            connectError_ = {kStreamErrorDomainNetDB, code};
            fail(connectError_);
            return true;
        }
        addresses_ = std::move(addresses);
        connecting_ = true;
        connectNext();
        return true;
    }
    if (!connecting_) {
        // Already connected: the open completes on the loop's next pass.
        status = kStatusOpen;
        post(half, kEventOpenCompleted);
        updateEvents();
    }
    return true;
}

void RunLoopStreamPair::connectNext()
{
    while (nextAddress_ < addresses_.size()) {
        const Bytes& address = addresses_[nextAddress_++];
        const int fd = ::socket(socketaddress::familyOf(address), SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK,
                                IPPROTO_TCP);
        if (fd == -1)
            continue;
        if (::connect(fd, reinterpret_cast<const sockaddr*>(address.data()), static_cast<socklen_t>(address.size())) ==
                0 ||
            errno == EINPROGRESS) {
            fd_ = fd;
            updateEvents();
            return;
        }
        ::close(fd);
    }
    connecting_ = false;
    connectError_ = {kStreamErrorDomainPOSIX, errno ? errno : ECONNREFUSED};
    fail(connectError_);
}

void RunLoopStreamPair::connectFinished()
{
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd_, SOL_SOCKET, SO_ERROR, &error, &length) != 0)
        error = errno;
    if (error != 0) {
        if (source_) {
            source_->invalidate();
            source_.reset();
        }
        ::close(fd_);
        fd_ = -1;
        errno = error;
        connectNext();
        return;
    }
    connecting_ = false;
    addresses_.clear();
    auto self = shared_from_this();
    for (const Half half : {kReadHalf, kWriteHalf}) {
        Status& status = half == kReadHalf ? readStatus_ : writeStatus_;
        if (status == kStatusOpening) {
            status = kStatusOpen;
            emit(half, kEventOpenCompleted);
        }
    }
    updateEvents();
}

void RunLoopStreamPair::close(Half half)
{
    (half == kReadHalf ? readStatus_ : writeStatus_) = kStatusClosed;
    setClient(half, 0, nullptr);
    if (readStatus_ != kStatusClosed || writeStatus_ != kStatusClosed)
        return;
    // Both halves closed: the connection ends now, whoever still holds the streams.
    if (loop_)
        loop_->cancelPerforms(this);
    if (source_) {
        source_->invalidate();
        source_.reset();
    }
    if (session_)
        session_->close();
    if (fd_ != -1 && shouldCloseNative_) {
        ::close(fd_);
        fd_ = -1;
    }
}

long RunLoopStreamPair::read(uint8_t* buffer, size_t length)
{
    if (readStatus_ != kStatusOpen || tls_ == kTlsHandshaking || fd_ == -1)
        return readStatus_ == kStatusAtEnd ? 0 : -1;
    readSignalled_ = false;
    if (tls_ == kTlsSecure) {
        size_t processed = 0;
        const int32_t status = session_->read(buffer, length, &processed);
        if (status == kTLSStatusSuccess) {
            readable_ = true;
        } else if (status == kTLSStatusWouldBlock) {
            readable_ = false;
        } else if (status == kTLSStatusClosedGraceful) {
            reachEnd();
        } else {
            fail({kStreamErrorDomainSSL, status});
            return -1;
        }
        updateEvents();
        return static_cast<long>(processed);
    }
    const ssize_t n = ::recv(fd_, buffer, length, 0);
    if (n > 0) {
        readable_ = static_cast<size_t>(n) == length;
    } else if (n == 0) {
        reachEnd();
    } else if (wouldBlock(errno)) {
        readable_ = false;
    } else {
        fail({kStreamErrorDomainPOSIX, errno});
        return -1;
    }
    updateEvents();
    return n > 0 ? static_cast<long>(n) : 0;
}

long RunLoopStreamPair::write(const uint8_t* buffer, size_t length)
{
    if (writeStatus_ != kStatusOpen || tls_ == kTlsHandshaking || fd_ == -1)
        return -1;
    writeSignalled_ = false;
    if (tls_ == kTlsSecure) {
        size_t processed = 0;
        const int32_t status = session_->write(buffer, length, &processed);
        if (status != kTLSStatusSuccess && status != kTLSStatusWouldBlock) {
            fail({kStreamErrorDomainSSL, status});
            return -1;
        }
        writable_ = status == kTLSStatusSuccess;
        updateEvents();
        return static_cast<long>(processed);
    }
    const ssize_t n = ::send(fd_, buffer, length, MSG_NOSIGNAL);
    if (n < 0 && !wouldBlock(errno)) {
        fail({kStreamErrorDomainPOSIX, errno});
        return -1;
    }
    writable_ = n > 0 && static_cast<size_t>(n) == length;
    updateEvents();
    return n > 0 ? static_cast<long>(n) : 0;
}

bool RunLoopStreamPair::hasBytesAvailable() const
{
    if (readStatus_ != kStatusOpen || tls_ == kTlsHandshaking)
        return false;
    return readable_ || (session_ && session_->bufferedReadSize() > 0);
}

bool RunLoopStreamPair::canAcceptBytes() const
{
    return writeStatus_ == kStatusOpen && tls_ != kTlsHandshaking && writable_;
}

bool RunLoopStreamPair::setTLSSettings(const TlsSettings& settings)
{
    if (session_ || fd_ == -1 || connecting_)
        return false;
    bool wrongType = false;
    bool isServer = false;
    settingOf(settings, kCFStreamSSLIsServer, &isServer, &wrongType);
    auto session = TlsSession::create(isServer);
    if (!session)
        return false;

    std::string peerName = host_;
    settingOf(settings, kCFStreamSSLPeerName, &peerName, &wrongType);
    TlsSession::Leniency leniency;
    settingOf(settings, kCFStreamSSLValidatesCertificateChain, &leniency.validateChain, &wrongType);
    settingOf(settings, kCFStreamSSLAllowsAnyRoot, &leniency.allowAnyRoot, &wrongType);
    settingOf(settings, kCFStreamSSLAllowsExpiredCertificates, &leniency.allowExpiredCertificates, &wrongType);
    settingOf(settings, kCFStreamSSLAllowsExpiredRoots, &leniency.allowExpiredRoots, &wrongType);
    std::string level = kStreamSocketSecurityLevelNegotiatedSSL;
    settingOf(settings, kCFStreamSSLLevel, &level, &wrongType);
    TlsIdentity identity;
    const bool hasIdentity = settingOf(settings, kCFStreamSSLCertificates, &identity, &wrongType);
    if (wrongType)
        return false;

    bool ok = session->setLeniency(leniency);
    if (!peerName.empty())
        ok = ok && session->setPeerDomainName(peerName);
    if (hasIdentity)
        ok = ok && session->setCertificate(identity);
    // This library speaks no SSL 2 or 3: those levels negotiate the best
    // protocol both ends have, as the negotiated level does.
    if (level == kStreamSocketSecurityLevelTLSv1)
        ok = ok && session->setProtocolVersionMin(kTLSProtocol1);
    else if (level != kStreamSocketSecurityLevelNegotiatedSSL && level != kStreamSocketSecurityLevelSSLv3 &&
             level != kStreamSocketSecurityLevelSSLv2)
        return false;
    ok = ok && session->setIOFuncs([this](uint8_t* b, size_t* n) { return tlsRead(b, n); },
                                   [this](const uint8_t* b, size_t* n) { return tlsWrite(b, n); });
    if (!ok)
        return false;
    session_ = std::move(session);
    tls_ = kTlsHandshaking;
    readSignalled_ = writeSignalled_ = false;
    // The handshake starts on the loop, as the stream's own work.
    tlsWantsWrite_ = true;
    updateEvents();
    return true;
}

int32_t RunLoopStreamPair::tlsRead(uint8_t* buffer, size_t* length)
{
    const ssize_t n = ::recv(fd_, buffer, *length, 0);
    if (n > 0) {
        *length = static_cast<size_t>(n);
        return kTLSStatusSuccess;
    }
    *length = 0;
    if (n < 0 && wouldBlock(errno))
        return kTLSStatusWouldBlock;
    return kTLSStatusClosedAbort;
}

int32_t RunLoopStreamPair::tlsWrite(const uint8_t* buffer, size_t* length)
{
    const ssize_t n = ::send(fd_, buffer, *length, MSG_NOSIGNAL);
    if (n > 0) {
        const bool whole = static_cast<size_t>(n) == *length;
        *length = static_cast<size_t>(n);
        tlsWantsWrite_ = !whole;
        return whole ? kTLSStatusSuccess : kTLSStatusWouldBlock;
    }
    *length = 0;
    if (n < 0 && wouldBlock(errno)) {
        tlsWantsWrite_ = true;
        return kTLSStatusWouldBlock;
    }
    return kTLSStatusClosedAbort;
}

void RunLoopStreamPair::continueHandshake()
{
    tlsWantsWrite_ = false;
    const int32_t status = session_->handshake();
    if (status == kTLSStatusWouldBlock) {
        updateEvents();
        return;
    }
    if (status != kTLSStatusSuccess) {
        fail({kStreamErrorDomainSSL, status});
        return;
    }
    tls_ = kTlsSecure;
    // Both halves can go on now: the writer at once, the reader as soon as
    // the peer's first record arrives.
    writable_ = true;
    readable_ = false;
    readSignalled_ = false;
    auto self = shared_from_this();
    writeSignalled_ = true;
    emit(kWriteHalf, kEventCanAcceptBytes);
    updateEvents();
}

void RunLoopStreamPair::reachEnd()
{
    readable_ = false;
    if (readStatus_ == kStatusOpen) {
        readStatus_ = kStatusAtEnd;
        post(kReadHalf, kEventEndEncountered);
    }
}

void RunLoopStreamPair::fail(StreamError error)
{
    for (const Half half : {kReadHalf, kWriteHalf}) {
        Status& status = half == kReadHalf ? readStatus_ : writeStatus_;
        if (status == kStatusNotOpen || status == kStatusClosed || status == kStatusError)
            continue;
        status = kStatusError;
        (half == kReadHalf ? readError_ : writeError_) = error;
        post(half, kEventErrorOccurred);
    }
    updateEvents();
}

void RunLoopStreamPair::post(Half half, Event event)
{
    if (!loop_)
        return;
    std::weak_ptr<RunLoopStreamPair> weakSelf = weak_from_this();
    loop_->perform(this, "streamEvent", std::chrono::nanoseconds(0), [weakSelf, half, event] {
        if (auto self = weakSelf.lock())
            self->emit(half, event);
    }, modes_);
}

void RunLoopStreamPair::emit(Half half, Event event)
{
    if (!((half == kReadHalf ? readMask_ : writeMask_) & event))
        return;
    Client client = half == kReadHalf ? readClient_ : writeClient_;
    if (client)
        client(*this, half, event);
}

void RunLoopStreamPair::updateEvents()
{
    if (fd_ == -1)
        return;
    if (!source_) {
        std::weak_ptr<RunLoopStreamPair> weakSelf = weak_from_this();
        source_ = RunLoopSource::make(fd_, 0, [weakSelf](RunLoopSource&, unsigned ready) {
            if (auto self = weakSelf.lock())
                self->fired(ready);
        });
        if (loop_)
            for (const RunLoopMode& mode : modes_)
                loop_->addSource(source_, mode);
    }
    unsigned events = 0;
    if (connecting_) {
        events = RunLoopSource::Writable;
    } else if (tls_ == kTlsHandshaking) {
        events = RunLoopSource::Readable | (tlsWantsWrite_ ? RunLoopSource::Writable : 0u);
    } else {
        if (readStatus_ == kStatusOpen && (readMask_ & kEventHasBytesAvailable) && !readSignalled_)
            events |= RunLoopSource::Readable;
        // Room to write is watched only once a write came back short: until
        // then the writer goes on without asking, and an idle connection
        // (almost always writable) does not wake the loop.
        if (writeStatus_ == kStatusOpen && (writeMask_ & kEventCanAcceptBytes) && !writeSignalled_ && !writable_)
            events |= RunLoopSource::Writable;
    }
    source_->setEvents(events);
}

void RunLoopStreamPair::fired(unsigned ready)
{
    auto self = shared_from_this();
    if (connecting_) {
        connectFinished();
        return;
    }
    if (tls_ == kTlsHandshaking) {
        continueHandshake();
        return;
    }
    if ((ready & RunLoopSource::Writable) && writeStatus_ == kStatusOpen && !writeSignalled_) {
        writable_ = true;
        writeSignalled_ = true;
        emit(kWriteHalf, kEventCanAcceptBytes);
    }
    if ((ready & RunLoopSource::Readable) && readStatus_ == kStatusOpen && !readSignalled_) {
        // A plain connection tells its end (or failure) apart from bytes at
        // once, so that the end is reported even while nobody reads.
        uint8_t probe;
        const ssize_t n = tls_ == kTlsNone ? ::recv(fd_, &probe, 1, MSG_PEEK) : 1;
        if (n == 0) {
            reachEnd();
        } else if (n < 0 && !wouldBlock(errno)) {
            fail({kStreamErrorDomainPOSIX, errno});
        } else if (n > 0) {
            readable_ = true;
            readSignalled_ = true;
            emit(kReadHalf, kEventHasBytesAvailable);
        }
    }
    updateEvents();
}

}  // namespace orv
