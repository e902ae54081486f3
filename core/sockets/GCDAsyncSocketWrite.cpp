// GCDAsyncSocket: queued writes, the write loop and write timeouts.
#include "core/sockets/GCDAsyncSocket.h"

#include "core/sockets/TlsSession.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <sys/socket.h>

namespace orv {

namespace {

dispatch::Duration seconds(double value)
{
    return std::chrono::duration_cast<dispatch::Duration>(std::chrono::duration<double>(value));
}

// TLS writes go to the session in pieces of at most this size.
constexpr size_t kTLSWriteChunk = 32 * 1024;

}  // namespace

void GCDAsyncSocket::writeData(Bytes data, double timeout, int64_t tag)
{
    if (data.empty())
        return;
    writeData(std::make_shared<const Bytes>(std::move(data)), timeout, tag);
}

void GCDAsyncSocket::writeData(std::shared_ptr<const Bytes> data, double timeout, int64_t tag)
{
    if (!data || data->empty())
        return;
    auto packet = std::make_shared<GCDAsyncWritePacket>(std::move(data), timeout, tag);
    socketQueue_->async([self = shared_from_this(), packet = std::move(packet)] {
        if ((self->flags_ & kSocketStarted) && !(self->flags_ & kForbidReadsWrites)) {
            self->writeQueue_.emplace_back(packet);
            self->maybeDequeueWrite();
        }
    });
}

float GCDAsyncSocket::progressOfWriteReturningTag(int64_t* tagPtr, size_t* donePtr, size_t* totalPtr) const
{
    float result = 0.0f;
    syncOnSocketQueue([&] {
        if (!currentWrite_) {
            if (tagPtr)
                *tagPtr = 0;
            if (donePtr)
                *donePtr = 0;
            if (totalPtr)
                *totalPtr = 0;
            result = NAN;
            return;
        }
        const size_t done = currentWrite_->bytesDone;
        const size_t total = currentWrite_->length();
        if (tagPtr)
            *tagPtr = currentWrite_->tag;
        if (donePtr)
            *donePtr = done;
        if (totalPtr)
            *totalPtr = total;
        result = static_cast<float>(done) / static_cast<float>(total);
    });
    return result;
}

void GCDAsyncSocket::suspendWriteSource()
{
    if (!(flags_ & kWriteSourceSuspended) && writeSource_) {
        writeSource_->suspend();
        flags_ |= kWriteSourceSuspended;
    }
}

void GCDAsyncSocket::resumeWriteSource()
{
    if ((flags_ & kWriteSourceSuspended) && writeSource_) {
        writeSource_->resume();
        flags_ &= ~kWriteSourceSuspended;
    }
}

void GCDAsyncSocket::maybeDequeueWrite()
{
    if (hasCurrentWrite() || !(flags_ & kConnected))
        return;

    if (!writeQueue_.empty()) {
        WriteEntry entry = std::move(writeQueue_.front());
        writeQueue_.pop_front();
        if (auto* tls = std::get_if<std::shared_ptr<GCDAsyncSpecialPacket>>(&entry)) {
            currentWriteTLS_ = std::move(*tls);
            flags_ |= kStartingWriteTLS;
            maybeStartTLS();
        } else {
            currentWrite_ = std::move(std::get<std::shared_ptr<GCDAsyncWritePacket>>(entry));
            setupWriteTimerWithTimeout(currentWrite_->timeout);
            doWriteData();
        }
    } else if (flags_ & kDisconnectAfterWrites) {
        if (flags_ & kDisconnectAfterReads) {
            if (readQueue_.empty() && !hasCurrentRead())
                closeWithError(std::nullopt);
        } else {
            closeWithError(std::nullopt);
        }
    }
}

void GCDAsyncSocket::doWriteData()
{
    if (!hasCurrentWrite() || (flags_ & kWritesPaused)) {
        // Writable but nothing to send: stop the source, or it would keep firing.
        if (flags_ & kSocketCanAcceptBytes)
            suspendWriteSource();
        return;
    }

    if (!(flags_ & kSocketCanAcceptBytes)) {
        // Wait until the descriptor can take bytes.
        resumeWriteSource();
        return;
    }

    if (flags_ & kStartingWriteTLS) {
        // The TLS marker heads the write queue: the handshake owns the descriptor.
        if ((flags_ & kStartingReadTLS) && lastSSLHandshakeError_ == kTLSStatusWouldBlock)
            ssl_continueSSLHandshake();
        else
            suspendWriteSource();
        return;
    }

    std::shared_ptr<GCDAsyncWritePacket> write = currentWrite_;
    bool waiting = false;
    std::optional<Error> error;
    size_t bytesWritten = 0;

    if (flags_ & kSocketSecure) {
        bool hasNewDataToWrite = true;
        if (sslWriteCachedLength_ > 0) {
            // The session took these bytes in an earlier pass but could not
            // send them all; it must be offered exactly the same bytes again.
            size_t processed = 0;
            const int32_t result =
                sslContext_->write(write->buffer->data() + write->bytesDone, sslWriteCachedLength_, &processed);
            if (result == kTLSStatusSuccess) {
                bytesWritten = sslWriteCachedLength_;
                sslWriteCachedLength_ = 0;
                if (write->length() == write->bytesDone + bytesWritten)
                    hasNewDataToWrite = false;
            } else {
                if (result == kTLSStatusWouldBlock)
                    waiting = true;
                else
                    error = sslError(result);
                hasNewDataToWrite = false;
            }
        }

        if (hasNewDataToWrite) {
            const uint8_t* buffer = write->buffer->data() + write->bytesDone + bytesWritten;
            size_t bytesRemaining = write->length() - write->bytesDone - bytesWritten;
            while (bytesRemaining > 0) {
                const size_t sslBytesToWrite = std::min(bytesRemaining, kTLSWriteChunk);
                size_t processed = 0;
                const int32_t result = sslContext_->write(buffer, sslBytesToWrite, &processed);
                if (result == kTLSStatusSuccess) {
                    buffer += processed;
                    bytesWritten += processed;
                    bytesRemaining -= processed;
                } else {
                    if (result == kTLSStatusWouldBlock) {
                        waiting = true;
                        sslWriteCachedLength_ = sslBytesToWrite;
                    } else {
                        error = sslError(result);
                    }
                    break;
                }
            }
        }
    } else {
        const int socketFD = openSocketFD();
        const uint8_t* buffer = write->buffer->data() + write->bytesDone;
        const size_t bytesToWrite = write->length() - write->bytesDone;
        // MSG_NOSIGNAL: a peer that went away must give EPIPE, not kill the
        // process with SIGPIPE.
        const ssize_t result = ::send(socketFD, buffer, bytesToWrite, MSG_NOSIGNAL);
        if (result < 0) {
            if (errno == EWOULDBLOCK || errno == EAGAIN || errno == EINTR)
                waiting = true;
            else
                error = errnoErrorWithReason("Error in write() function", errno);
        } else {
            bytesWritten = static_cast<size_t>(result);
        }
    }

    if (waiting) {
        flags_ &= ~kSocketCanAcceptBytes;
        resumeWriteSource();
    }

    bool done = false;
    if (bytesWritten > 0) {
        write->bytesDone += bytesWritten;
        done = write->bytesDone == write->length();
    }

    if (done) {
        completeCurrentWrite();
        if (!error) {
            // Not inline: let other work on the socket queue run between writes.
            socketQueue_->async([self = shared_from_this()] { self->maybeDequeueWrite(); });
        }
    } else {
        if (!waiting && !error) {
            flags_ &= ~kSocketCanAcceptBytes;
            resumeWriteSource();
        }
        if (bytesWritten > 0) {
            notifyDelegate([length = bytesWritten, tag = write->tag](GCDAsyncSocketDelegate& d, GCDAsyncSocket& sock) {
                d.socketDidWritePartialDataOfLength(sock, length, tag);
            });
        }
    }

    if (error)
        closeWithError(error);
}

void GCDAsyncSocket::completeCurrentWrite()
{
    notifyDelegate([tag = currentWrite_->tag](GCDAsyncSocketDelegate& d, GCDAsyncSocket& sock) {
        d.socketDidWriteDataWithTag(sock, tag);
    });
    endCurrentWrite();
}

void GCDAsyncSocket::endCurrentWrite()
{
    if (writeTimer_) {
        writeTimer_->cancel();
        writeTimer_.reset();
    }
    currentWrite_.reset();
    currentWriteTLS_.reset();
}

void GCDAsyncSocket::setupWriteTimerWithTimeout(double timeout)
{
    if (timeout < 0.0)
        return;
    writeTimer_ = dispatch::Source::makeTimer(socketQueue_);
    std::weak_ptr<GCDAsyncSocket> weakSelf = weak_from_this();
    writeTimer_->setEventHandler([weakSelf] {
        if (auto strongSelf = weakSelf.lock())
            strongSelf->doWriteTimeout();
    });
    writeTimer_->setTimer(seconds(timeout));
    writeTimer_->resume();
}

void GCDAsyncSocket::doWriteTimeout()
{
    if (!currentWrite_)
        return;
    flags_ |= kWritesPaused;

    auto delegate = delegate_.lock();
    if (delegate && delegateQueue_) {
        const int64_t tag = currentWrite_->tag;
        const double elapsed = currentWrite_->timeout;
        const size_t bytesDone = currentWrite_->bytesDone;
        delegateQueue_->async([delegate, self = shared_from_this(), tag, elapsed, bytesDone] {
            const double extension =
                delegate->socketShouldTimeoutWriteWithTag(*self, tag, elapsed, bytesDone).value_or(0.0);
            self->socketQueue_->async([self, extension] { self->doWriteTimeoutWithExtension(extension); });
        });
    } else {
        doWriteTimeoutWithExtension(0.0);
    }
}

void GCDAsyncSocket::doWriteTimeoutWithExtension(double timeoutExtension)
{
    if (!currentWrite_)
        return;
    if (timeoutExtension > 0.0) {
        currentWrite_->timeout += timeoutExtension;
        if (writeTimer_)
            writeTimer_->setTimer(seconds(timeoutExtension));
        flags_ &= ~kWritesPaused;
        doWriteData();
    } else {
        closeWithError(writeTimeoutError());
    }
}

}  // namespace orv
