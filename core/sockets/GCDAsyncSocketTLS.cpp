// GCDAsyncSocket: switching to TLS, the handshake, the delegate's trust
// verdict, and the session's I/O over the socket's own descriptor.
#include "core/sockets/GCDAsyncSocket.h"

#include "core/sockets/GCDAsyncSocketTrust.h"
#include "core/sockets/TlsSession.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace orv {

namespace {

template <typename T>
const T* settingOf(const TlsSettings& settings, const char* key, bool* present)
{
    auto it = settings.find(key);
    *present = it != settings.end();
    return *present ? std::get_if<T>(&it->second) : nullptr;
}

bool boolSetting(const TlsSettings& settings, const char* key)
{
    bool present = false;
    const bool* value = settingOf<bool>(settings, key, &present);
    return value && *value;
}

}  // namespace

void GCDAsyncSocket::startTLS(TlsSettings tlsSettings)
{
    auto packet = std::make_shared<GCDAsyncSpecialPacket>(std::move(tlsSettings));
    socketQueue_->async([self = shared_from_this(), packet] {
        if ((self->flags_ & kSocketStarted) && !(self->flags_ & kQueuedTLS) &&
            !(self->flags_ & kForbidReadsWrites)) {
            self->readQueue_.emplace_back(packet);
            self->writeQueue_.emplace_back(packet);
            self->flags_ |= kQueuedTLS;
            self->maybeDequeueRead();
            self->maybeDequeueWrite();
        }
    });
}

void GCDAsyncSocket::maybeStartTLS()
{
    // Both sides must have drained to the marker.
    if ((flags_ & kStartingReadTLS) && (flags_ & kStartingWriteTLS))
        ssl_startTLS();
}

void GCDAsyncSocket::ssl_startTLS()
{
    if (!currentReadTLS_) {
        closeWithError(otherError("Logic error"));
        return;
    }
    const TlsSettings& tlsSettings = currentReadTLS_->tlsSettings;

    const bool isServer = boolSetting(tlsSettings, kCFStreamSSLIsServer);
    sslContext_ = TlsSession::create(isServer);
    if (!sslContext_) {
        closeWithError(otherError("Error in SSLCreateContext"));
        return;
    }

    // The session's I/O runs inside the socket queue's own steps, so it may
    // use the socket directly.
    if (!sslContext_->setIOFuncs([this](uint8_t* buffer, size_t* length) { return sslReadWithBuffer(buffer, length); },
                                 [this](const uint8_t* buffer, size_t* length) {
                                     return sslWriteWithBuffer(buffer, length);
                                 })) {
        closeWithError(otherError("Error in SSLSetIOFuncs"));
        return;
    }

    if (boolSetting(tlsSettings, GCDAsyncSocketManuallyEvaluateTrust)) {
        if (isServer) {
            closeWithError(otherError("Manual trust validation is not supported for server sockets"));
            return;
        }
        if (!sslContext_->setBreakOnServerAuth()) {
            closeWithError(otherError("Error in SSLSetSessionOption"));
            return;
        }
    }

    // Each setting: the right type is applied, another type is refused.
    struct Applier {
        const char* key;
        std::function<std::optional<bool>(const TlsSettingValue&)> apply;  // nullopt: wrong type
        const char* refusal;
    };
    TlsSession& session = *sslContext_;
    const Applier appliers[] = {
        {kCFStreamSSLPeerName,
         [&](const TlsSettingValue& v) -> std::optional<bool> {
             if (auto* s = std::get_if<std::string>(&v))
                 return session.setPeerDomainName(*s);
             return std::nullopt;
         },
         "Error in SSLSetPeerDomainName"},
        {kCFStreamSSLCertificates,
         [&](const TlsSettingValue& v) -> std::optional<bool> {
             if (auto* identity = std::get_if<TlsIdentity>(&v))
                 return session.setCertificate(*identity);
             return std::nullopt;
         },
         "Error in SSLSetCertificate"},
        {GCDAsyncSocketSSLPeerID,
         [&](const TlsSettingValue& v) -> std::optional<bool> {
             if (auto* id = std::get_if<Bytes>(&v))
                 return session.setPeerID(*id);
             return std::nullopt;
         },
         "Error in SSLSetPeerID"},
        {GCDAsyncSocketSSLProtocolVersionMin,
         [&](const TlsSettingValue& v) -> std::optional<bool> {
             if (auto* n = std::get_if<int64_t>(&v))
                 return session.setProtocolVersionMin(*n);
             return std::nullopt;
         },
         "Error in SSLSetProtocolVersionMin"},
        {GCDAsyncSocketSSLProtocolVersionMax,
         [&](const TlsSettingValue& v) -> std::optional<bool> {
             if (auto* n = std::get_if<int64_t>(&v))
                 return session.setProtocolVersionMax(*n);
             return std::nullopt;
         },
         "Error in SSLSetProtocolVersionMax"},
        // No counterpart in OpenSSL: accepted and ignored.
        {GCDAsyncSocketSSLSessionOptionFalseStart,
         [&](const TlsSettingValue& v) -> std::optional<bool> {
             if (std::holds_alternative<bool>(v))
                 return true;
             return std::nullopt;
         },
         "Error in SSLSetSessionOption (kSSLSessionOptionFalseStart)"},
        {GCDAsyncSocketSSLSessionOptionSendOneByteRecord,
         [&](const TlsSettingValue& v) -> std::optional<bool> {
             if (std::holds_alternative<bool>(v))
                 return true;
             return std::nullopt;
         },
         "Error in SSLSetSessionOption (kSSLSessionOptionSendOneByteRecord)"},
        {GCDAsyncSocketSSLCipherSuites,
         [&](const TlsSettingValue& v) -> std::optional<bool> {
             if (auto* suites = std::get_if<std::vector<int64_t>>(&v))
                 return session.setEnabledCiphers(*suites);
             return std::nullopt;
         },
         "Error in SSLSetEnabledCiphers"},
        {GCDAsyncSocketSSLDiffieHellmanParameters,
         [&](const TlsSettingValue& v) -> std::optional<bool> {
             if (auto* der = std::get_if<Bytes>(&v))
                 return session.setDiffieHellmanParams(*der);
             return std::nullopt;
         },
         "Error in SSLSetDiffieHellmanParams"},
    };
    for (const Applier& applier : appliers) {
        auto it = tlsSettings.find(applier.key);
        if (it == tlsSettings.end())
            continue;
        const std::optional<bool> applied = applier.apply(it->second);
        if (!applied) {
            closeWithError(otherError(std::string("Invalid value for ") + applier.key + "."));
            return;
        }
        if (!*applied) {
            closeWithError(otherError(applier.refusal));
            return;
        }
    }

    // Settings that would weaken verification are refused outright.
    for (const char* refused : {kCFStreamSSLAllowsAnyRoot, kCFStreamSSLAllowsExpiredRoots,
                                kCFStreamSSLValidatesCertificateChain, kCFStreamSSLAllowsExpiredCertificates,
                                kCFStreamSSLLevel}) {
        if (tlsSettings.count(refused)) {
            closeWithError(otherError(std::string("Security option unavailable - ") + refused));
            return;
        }
    }

    // Bytes already read ahead belong to the session now.
    sslPreBuffer_ = std::make_unique<GCDAsyncSocketPreBuffer>(4 * 1024);
    const size_t preBufferLength = preBuffer_.availableBytes();
    if (preBufferLength > 0) {
        sslPreBuffer_->ensureCapacityForWrite(preBufferLength);
        std::memcpy(sslPreBuffer_->writeBuffer(), preBuffer_.readBuffer(), preBufferLength);
        preBuffer_.didRead(preBufferLength);
        sslPreBuffer_->didWrite(preBufferLength);
    }

    lastSSLHandshakeError_ = kTLSStatusSuccess;
    sslErrCode_ = kTLSStatusSuccess;
    ssl_continueSSLHandshake();
}

void GCDAsyncSocket::ssl_continueSSLHandshake()
{
    if (!sslContext_)
        return;
    const int32_t status = sslContext_->handshake();
    lastSSLHandshakeError_ = status;

    if (status == kTLSStatusSuccess) {
        flags_ &= ~(kStartingReadTLS | kStartingWriteTLS);
        flags_ |= kSocketSecure;
        notifyDelegate([](GCDAsyncSocketDelegate& d, GCDAsyncSocket& sock) { d.socketDidSecure(sock); });
        endCurrentRead();
        endCurrentWrite();
        maybeDequeueRead();
        maybeDequeueWrite();
    } else if (status == kTLSStatusPeerAuthCompleted) {
        int32_t copyStatus = kTLSStatusSuccess;
        std::shared_ptr<GCDAsyncSocketTrust> trust = sslContext_->copyPeerTrust(&copyStatus);
        if (!trust) {
            closeWithError(sslError(copyStatus));
            return;
        }
        const int aStateIndex = stateIndex_;
        std::weak_ptr<GCDAsyncSocket> weakSelf = weak_from_this();
        // May be called from any thread, once; a late or repeated answer is
        // dropped by the state index.
        std::function<void(bool)> completionHandler = [weakSelf, aStateIndex](bool shouldTrustPeer) {
            auto strongSelf = weakSelf.lock();
            if (!strongSelf)
                return;
            strongSelf->socketQueue_->async([strongSelf, shouldTrustPeer, aStateIndex] {
                strongSelf->ssl_shouldTrustPeer(shouldTrustPeer, aStateIndex);
            });
        };
        auto delegate = delegate_.lock();
        if (delegate && delegateQueue_) {
            delegateQueue_->async([delegate, self = shared_from_this(), trust, completionHandler, aStateIndex] {
                if (delegate->socketDidReceiveTrust(*self, trust, completionHandler))
                    return;
                // Not implemented: nobody will ever answer.
                self->socketQueue_->async([self, aStateIndex] {
                    if (aStateIndex == self->stateIndex_)
                        self->closeWithError(otherError("GCDAsyncSocketManuallyEvaluateTrust specified in tlsSettings,"
                                                        " but delegate doesn't implement socketDidReceiveTrust"));
                });
            });
        } else {
            closeWithError(otherError("GCDAsyncSocketManuallyEvaluateTrust specified in tlsSettings,"
                                      " but delegate doesn't implement socketDidReceiveTrust"));
        }
    } else if (status != kTLSStatusWouldBlock) {
        closeWithError(sslError(status));
    }
}

void GCDAsyncSocket::ssl_shouldTrustPeer(bool shouldTrust, int aStateIndex)
{
    if (aStateIndex != stateIndex_)
        return;
    // Only the first answer counts.
    stateIndex_++;
    if (shouldTrust) {
        sslContext_->trustPeer();
        ssl_continueSSLHandshake();
    } else {
        closeWithError(sslError(kTLSStatusPeerBadCert));
    }
}

void GCDAsyncSocket::flushSSLBuffers()
{
    if (!sslContext_ || !sslPreBuffer_)
        return;
    // Only while nothing decrypted is waiting: the order of bytes must hold.
    if (preBuffer_.availableBytes() > 0)
        return;
    size_t estimatedBytesAvailable =
        socketFDBytesAvailable_ + sslPreBuffer_->availableBytes() + sslContext_->bufferedReadSize();
    while (estimatedBytesAvailable > 0) {
        preBuffer_.ensureCapacityForWrite(estimatedBytesAvailable);
        size_t bytesRead = 0;
        const int32_t result = sslContext_->read(preBuffer_.writeBuffer(), estimatedBytesAvailable, &bytesRead);
        if (bytesRead > 0)
            preBuffer_.didWrite(bytesRead);
        if (result != kTLSStatusSuccess || bytesRead == 0)
            break;
        estimatedBytesAvailable =
            socketFDBytesAvailable_ + sslPreBuffer_->availableBytes() + sslContext_->bufferedReadSize();
    }
}

int32_t GCDAsyncSocket::sslReadWithBuffer(uint8_t* buffer, size_t* bufferLength)
{
    if (socketFDBytesAvailable_ == 0 && sslPreBuffer_->availableBytes() == 0) {
        resumeReadSource();
        *bufferLength = 0;
        return kTLSStatusWouldBlock;
    }

    size_t totalBytesRead = 0;
    size_t totalBytesLeftToBeRead = *bufferLength;
    bool done = false;
    bool socketError = false;

    // Bytes read ahead for the session come first.
    const size_t sslPreBufferLength = sslPreBuffer_->availableBytes();
    if (sslPreBufferLength > 0) {
        const size_t bytesToCopy = std::min(sslPreBufferLength, totalBytesLeftToBeRead);
        std::memcpy(buffer, sslPreBuffer_->readBuffer(), bytesToCopy);
        sslPreBuffer_->didRead(bytesToCopy);
        totalBytesRead += bytesToCopy;
        totalBytesLeftToBeRead -= bytesToCopy;
        done = totalBytesLeftToBeRead == 0;
    }

    if (!done && socketFDBytesAvailable_ > 0) {
        const int socketFD = openSocketFD();
        // Read everything the descriptor reported in one call; what the
        // session did not ask for waits in the TLS pre-buffer.
        const bool readIntoPreBuffer = socketFDBytesAvailable_ > totalBytesLeftToBeRead;
        size_t bytesToRead;
        uint8_t* destination;
        if (readIntoPreBuffer) {
            sslPreBuffer_->ensureCapacityForWrite(socketFDBytesAvailable_);
            bytesToRead = socketFDBytesAvailable_;
            destination = sslPreBuffer_->writeBuffer();
        } else {
            bytesToRead = totalBytesLeftToBeRead;
            destination = buffer + totalBytesRead;
        }

        const ssize_t result = ::read(socketFD, destination, bytesToRead);
        if (result < 0) {
            if (errno != EWOULDBLOCK && errno != EAGAIN && errno != EINTR)
                socketError = true;
            socketFDBytesAvailable_ = 0;
        } else if (result == 0) {
            socketError = true;
            socketFDBytesAvailable_ = 0;
        } else {
            const size_t bytesReadFromSocket = static_cast<size_t>(result);
            socketFDBytesAvailable_ =
                socketFDBytesAvailable_ > bytesReadFromSocket ? socketFDBytesAvailable_ - bytesReadFromSocket : 0;
            if (readIntoPreBuffer) {
                sslPreBuffer_->didWrite(bytesReadFromSocket);
                const size_t bytesToCopy = std::min(totalBytesLeftToBeRead, bytesReadFromSocket);
                std::memcpy(buffer + totalBytesRead, sslPreBuffer_->readBuffer(), bytesToCopy);
                sslPreBuffer_->didRead(bytesToCopy);
                totalBytesRead += bytesToCopy;
                totalBytesLeftToBeRead -= bytesToCopy;
            } else {
                totalBytesRead += bytesReadFromSocket;
                totalBytesLeftToBeRead -= bytesReadFromSocket;
            }
            done = totalBytesLeftToBeRead == 0;
        }
    }

    *bufferLength = totalBytesRead;
    if (done)
        return kTLSStatusSuccess;
    if (socketError)
        return kTLSStatusClosedAbort;
    // Whoever waits for these bytes (a read or the handshake) needs the source.
    if (totalBytesRead == 0)
        resumeReadSource();
    return kTLSStatusWouldBlock;
}

int32_t GCDAsyncSocket::sslWriteWithBuffer(const uint8_t* buffer, size_t* bufferLength)
{
    if (!(flags_ & kSocketCanAcceptBytes)) {
        resumeWriteSource();
        *bufferLength = 0;
        return kTLSStatusWouldBlock;
    }

    const size_t bytesToWrite = *bufferLength;
    const int socketFD = openSocketFD();
    const ssize_t result = ::send(socketFD, buffer, bytesToWrite, MSG_NOSIGNAL);
    if (result < 0 || result == 0) {
        const bool wouldBlock = result == 0 || errno == EWOULDBLOCK || errno == EAGAIN || errno == EINTR;
        flags_ &= ~kSocketCanAcceptBytes;
        *bufferLength = 0;
        if (!wouldBlock)
            return kTLSStatusClosedAbort;
        // The handshake may be what waits: make sure the source wakes it.
        resumeWriteSource();
        return kTLSStatusWouldBlock;
    }
    *bufferLength = static_cast<size_t>(result);
    return static_cast<size_t>(result) == bytesToWrite ? kTLSStatusSuccess : kTLSStatusWouldBlock;
}

}  // namespace orv
