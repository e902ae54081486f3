// GCDAsyncSocket: queued reads, the read loop, end of stream and read timeouts.
#include "core/sockets/GCDAsyncSocket.h"

#include "core/sockets/TlsSession.h"

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace orv {

namespace {

dispatch::Duration seconds(double value)
{
    return std::chrono::duration_cast<dispatch::Duration>(std::chrono::duration<double>(value));
}

size_t bufferLength(const std::shared_ptr<Bytes>& buffer)
{
    return buffer ? buffer->size() : 0;
}

// How much a small read takes from the descriptor at once when more is waiting.
constexpr size_t kReadAhead = 64 * 1024;

// Moves `length` bytes from the front of the pre-buffer to the end of what the
// read holds, growing its buffer as needed.
void moveFromPreBuffer(GCDAsyncSocketPreBuffer& preBuffer, GCDAsyncReadPacket& read, size_t length)
{
    read.ensureCapacityForAdditionalDataOfLength(length);
    if (length > 0)
        std::memcpy(read.writePosition(), preBuffer.readBuffer(), length);
    preBuffer.didRead(length);
    read.bytesDone += length;
}

}  // namespace

// ---------------------------------------------------------------------------
// Requests

void GCDAsyncSocket::readDataWithTimeout(double timeout, int64_t tag)
{
    readDataWithTimeout(timeout, nullptr, 0, 0, tag);
}

void GCDAsyncSocket::readDataWithTimeout(double timeout, std::shared_ptr<Bytes> buffer, size_t offset, int64_t tag)
{
    readDataWithTimeout(timeout, std::move(buffer), offset, 0, tag);
}

void GCDAsyncSocket::readDataWithTimeout(double timeout, std::shared_ptr<Bytes> buffer, size_t offset,
                                         size_t maxLength, int64_t tag)
{
    if (offset > bufferLength(buffer))
        return;
    queueRead(std::make_shared<GCDAsyncReadPacket>(std::move(buffer), offset, maxLength, timeout, 0, std::nullopt, tag));
}

void GCDAsyncSocket::readDataToLength(size_t length, double timeout, int64_t tag)
{
    readDataToLength(length, timeout, nullptr, 0, tag);
}

void GCDAsyncSocket::readDataToLength(size_t length, double timeout, std::shared_ptr<Bytes> buffer, size_t offset,
                                      int64_t tag)
{
    if (length == 0)
        return;
    if (offset > bufferLength(buffer))
        return;
    queueRead(std::make_shared<GCDAsyncReadPacket>(std::move(buffer), offset, 0, timeout, length, std::nullopt, tag));
}

void GCDAsyncSocket::readDataToData(const Bytes& data, double timeout, int64_t tag)
{
    readDataToData(data, timeout, nullptr, 0, 0, tag);
}

void GCDAsyncSocket::readDataToData(const Bytes& data, double timeout, std::shared_ptr<Bytes> buffer, size_t offset,
                                    int64_t tag)
{
    readDataToData(data, timeout, std::move(buffer), offset, 0, tag);
}

void GCDAsyncSocket::readDataToData(const Bytes& data, double timeout, size_t maxLength, int64_t tag)
{
    readDataToData(data, timeout, nullptr, 0, maxLength, tag);
}

void GCDAsyncSocket::readDataToData(const Bytes& data, double timeout, std::shared_ptr<Bytes> buffer, size_t offset,
                                    size_t maxLength, int64_t tag)
{
    if (data.empty())
        return;
    if (offset > bufferLength(buffer))
        return;
    if (maxLength > 0 && maxLength < data.size())
        return;
    queueRead(std::make_shared<GCDAsyncReadPacket>(std::move(buffer), offset, maxLength, timeout, 0, data, tag));
}

void GCDAsyncSocket::queueRead(std::shared_ptr<GCDAsyncReadPacket> packet)
{
    socketQueue_->async([self = shared_from_this(), packet = std::move(packet)] {
        if ((self->flags_ & kSocketStarted) && !(self->flags_ & kForbidReadsWrites)) {
            self->readQueue_.emplace_back(packet);
            self->maybeDequeueRead();
        }
    });
}

float GCDAsyncSocket::progressOfReadReturningTag(int64_t* tagPtr, size_t* donePtr, size_t* totalPtr) const
{
    float result = 0.0f;
    syncOnSocketQueue([&] {
        if (!currentRead_) {
            // No read, or the TLS marker at the head.
            if (tagPtr)
                *tagPtr = 0;
            if (donePtr)
                *donePtr = 0;
            if (totalPtr)
                *totalPtr = 0;
            result = NAN;
            return;
        }
        const size_t done = currentRead_->bytesDone;
        const size_t total = currentRead_->readLength;
        if (tagPtr)
            *tagPtr = currentRead_->tag;
        if (donePtr)
            *donePtr = done;
        if (totalPtr)
            *totalPtr = total;
        result = total > 0 ? static_cast<float>(done) / static_cast<float>(total) : 1.0f;
    });
    return result;
}

// ---------------------------------------------------------------------------
// Sources

void GCDAsyncSocket::setupReadAndWriteSourcesForNewlyConnectedSocket(int socketFD)
{
    readSource_ = dispatch::Source::makeRead(socketFD, socketQueue_);
    writeSource_ = dispatch::Source::makeWrite(socketFD, socketQueue_);

    std::weak_ptr<GCDAsyncSocket> weakSelf = weak_from_this();
    std::weak_ptr<dispatch::Source> weakReadSource = readSource_;
    readSource_->setEventHandler([weakSelf, weakReadSource] {
        auto strongSelf = weakSelf.lock();
        auto source = weakReadSource.lock();
        if (!strongSelf || !source)
            return;
        strongSelf->readSourceFired(source->data());
    });
    writeSource_->setEventHandler([weakSelf] {
        auto strongSelf = weakSelf.lock();
        if (!strongSelf)
            return;
        strongSelf->flags_ |= kSocketCanAcceptBytes;
        strongSelf->doWriteData();
    });

    // The descriptor is closed once, after both sources are cancelled; both
    // cancel handlers run on the socket queue.
    auto socketFDRefCount = std::make_shared<int>(2);
    auto cancelHandler = [socketFDRefCount, socketFD] {
        if (--*socketFDRefCount == 0)
            ::close(socketFD);
    };
    readSource_->setCancelHandler(cancelHandler);
    writeSource_->setCancelHandler(cancelHandler);

    socketFDBytesAvailable_ = 0;
    flags_ &= ~kReadSourceSuspended;
    readSource_->resume();
    // Writable at once: the first write goes straight to the descriptor.
    flags_ |= kSocketCanAcceptBytes | kWriteSourceSuspended;
}

void GCDAsyncSocket::readSourceFired(size_t estimatedBytesAvailable)
{
    if (estimatedBytesAvailable == 0 && openSocketFD() != -1) {
        // The estimate is taken when the event is handled, so 0 may also mean
        // that an earlier pass already took the bytes this event was about.
        // Only the descriptor can tell that from the peer's end of stream.
        uint8_t probe;
        const ssize_t n = ::recv(openSocketFD(), &probe, 1, MSG_PEEK | MSG_DONTWAIT);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR))
            return;
        if (n > 0) {
            int available = 0;
            estimatedBytesAvailable =
                ::ioctl(openSocketFD(), FIONREAD, &available) == 0 && available > 0 ? size_t(available) : size_t(n);
        } else if (n < 0) {
            // The connection failed (a reset); peeking consumed the error.
            socketReadError_ = errno;
        }
    }
    socketFDBytesAvailable_ = estimatedBytesAvailable;
    if (socketFDBytesAvailable_ > 0)
        doReadData();
    else
        doReadEOF();
}

void GCDAsyncSocket::suspendReadSource()
{
    if (!(flags_ & kReadSourceSuspended) && readSource_) {
        readSource_->suspend();
        flags_ |= kReadSourceSuspended;
    }
}

void GCDAsyncSocket::resumeReadSource()
{
    if ((flags_ & kReadSourceSuspended) && readSource_) {
        readSource_->resume();
        flags_ &= ~kReadSourceSuspended;
    }
}

// ---------------------------------------------------------------------------
// The read loop

void GCDAsyncSocket::maybeDequeueRead()
{
    if (hasCurrentRead() || !(flags_ & kConnected))
        return;

    if (!readQueue_.empty()) {
        ReadEntry entry = std::move(readQueue_.front());
        readQueue_.pop_front();
        if (auto* tls = std::get_if<std::shared_ptr<GCDAsyncSpecialPacket>>(&entry)) {
            currentReadTLS_ = std::move(*tls);
            flags_ |= kStartingReadTLS;
            maybeStartTLS();
        } else {
            currentRead_ = std::move(std::get<std::shared_ptr<GCDAsyncReadPacket>>(entry));
            setupReadTimerWithTimeout(currentRead_->timeout);
            doReadData();
        }
    } else if (flags_ & kDisconnectAfterReads) {
        if (flags_ & kDisconnectAfterWrites) {
            if (writeQueue_.empty() && !hasCurrentWrite())
                closeWithError(std::nullopt);
        } else {
            closeWithError(std::nullopt);
        }
    } else if (flags_ & kSocketSecure) {
        flushSSLBuffers();
        // Bytes for the next read may already sit decrypted in the pre-buffer;
        // only when it is empty is the descriptor worth watching again.
        if (preBuffer_.availableBytes() == 0)
            resumeReadSource();
    }
}

void GCDAsyncSocket::doReadData()
{
    if (!hasCurrentRead() || (flags_ & kReadsPaused)) {
        if (flags_ & kSocketSecure)
            flushSSLBuffers();
        // Bytes are waiting that no read can take: stop the source, or it
        // would fire again and again.
        if (socketFDBytesAvailable_ > 0)
            suspendReadSource();
        return;
    }

    const bool secure = (flags_ & kSocketSecure) != 0;
    size_t estimatedBytesAvailable = socketFDBytesAvailable_;
    if (secure && sslContext_) {
        estimatedBytesAvailable += sslPreBuffer_ ? sslPreBuffer_->availableBytes() : 0;
        estimatedBytesAvailable += sslContext_->bufferedReadSize();
    }
    const bool hasBytesAvailable = estimatedBytesAvailable > 0;

    if (!hasBytesAvailable && preBuffer_.availableBytes() == 0) {
        resumeReadSource();
        return;
    }

    if (flags_ & kStartingReadTLS) {
        // The TLS marker heads the read queue: the handshake owns the bytes.
        if ((flags_ & kStartingWriteTLS) && lastSSLHandshakeError_ == kTLSStatusWouldBlock)
            ssl_continueSSLHandshake();
        else
            suspendReadSource();
        return;
    }

    std::shared_ptr<GCDAsyncReadPacket> read = currentRead_;
    bool done = false;
    std::optional<Error> error;
    size_t totalBytesReadForCurrentRead = 0;

    // STEP 1: serve from the pre-buffer first.
    if (preBuffer_.availableBytes() > 0) {
        size_t bytesToCopy;
        if (read->isTermRead())
            bytesToCopy = read->readLengthForTermWithPreBuffer(preBuffer_, &done);
        else
            bytesToCopy = read->readLengthForNonTermWithHint(preBuffer_.availableBytes());

        moveFromPreBuffer(preBuffer_, *read, bytesToCopy);
        totalBytesReadForCurrentRead += bytesToCopy;

        if (read->isLengthRead()) {
            done = read->bytesDone == read->readLength;
        } else if (read->isTermRead()) {
            if (!done && read->maxLength > 0 && read->bytesDone >= read->maxLength)
                error = readMaxedOutError();
        } else {
            done = read->maxLength > 0 && read->bytesDone == read->maxLength;
        }
    }

    // STEP 2: read from the descriptor (or the session).
    bool socketEOF = (flags_ & kSocketHasReadEOF) != 0;
    bool waiting = !done && !error && !socketEOF && !hasBytesAvailable;

    if (!done && !error && !socketEOF && hasBytesAvailable) {
        bool readIntoPreBuffer = false;
        size_t bytesToRead;
        if (secure) {
            size_t defaultReadLength = 32 * 1024;
            if (defaultReadLength < estimatedBytesAvailable)
                defaultReadLength = estimatedBytesAvailable + 16 * 1024;
            bytesToRead = read->optimalReadLengthWithDefault(defaultReadLength, &readIntoPreBuffer);
        } else if (read->isTermRead()) {
            bytesToRead = read->readLengthForTermWithHint(estimatedBytesAvailable, &readIntoPreBuffer);
        } else {
            bytesToRead = read->readLengthForNonTermWithHint(estimatedBytesAvailable);
            if (bytesToRead < estimatedBytesAvailable && bytesToRead < kReadAhead) {
                // A small read with more waiting (a frame's header, say): take
                // what is waiting in one call and keep the rest for the next
                // read, rather than leave it for another event of its own.
                bytesToRead = std::min(estimatedBytesAvailable, kReadAhead);
                readIntoPreBuffer = true;
            }
        }

        uint8_t* buffer = nullptr;
        if (bytesToRead > 0) {
            if (readIntoPreBuffer) {
                preBuffer_.ensureCapacityForWrite(bytesToRead);
                buffer = preBuffer_.writeBuffer();
            } else {
                read->ensureCapacityForAdditionalDataOfLength(bytesToRead);
                buffer = read->writePosition();
            }
        }

        size_t bytesRead = 0;
        if (bytesToRead == 0) {
            waiting = true;
        } else if (secure) {
            int32_t result;
            do {
                size_t loopBytesRead = 0;
                result = sslContext_->read(buffer + bytesRead, bytesToRead - bytesRead, &loopBytesRead);
                bytesRead += loopBytesRead;
            } while (result == kTLSStatusSuccess && bytesRead < bytesToRead);

            if (result != kTLSStatusSuccess) {
                if (result == kTLSStatusWouldBlock) {
                    waiting = true;
                } else if (result == kTLSStatusClosedGraceful || result == kTLSStatusClosedAbort) {
                    socketEOF = true;
                    sslErrCode_ = result;
                } else {
                    error = sslError(result);
                }
            }
        } else {
            const int socketFD = openSocketFD();
            const ssize_t result = ::read(socketFD, buffer, bytesToRead);
            if (result < 0) {
                if (errno == EWOULDBLOCK || errno == EAGAIN || errno == EINTR)
                    waiting = true;
                else
                    error = errnoErrorWithReason("Error in read() function", errno);
                socketFDBytesAvailable_ = 0;
            } else if (result == 0) {
                socketEOF = true;
                socketFDBytesAvailable_ = 0;
            } else {
                bytesRead = static_cast<size_t>(result);
                if (bytesRead < bytesToRead || socketFDBytesAvailable_ <= bytesRead)
                    socketFDBytesAvailable_ = 0;
                else
                    socketFDBytesAvailable_ -= bytesRead;
                if (socketFDBytesAvailable_ == 0)
                    waiting = true;
            }
        }

        if (bytesRead > 0) {
            if (read->isTermRead()) {
                if (readIntoPreBuffer) {
                    preBuffer_.didWrite(bytesRead);
                    bool found = false;
                    const size_t bytesToCopy = read->readLengthForTermWithPreBuffer(preBuffer_, &found);
                    moveFromPreBuffer(preBuffer_, *read, bytesToCopy);
                    totalBytesReadForCurrentRead += bytesToCopy;
                    done = found;
                } else {
                    const ssize_t overflow = read->searchForTermAfterPreBuffering(bytesRead);
                    if (overflow == 0) {
                        read->bytesDone += bytesRead;
                        totalBytesReadForCurrentRead += bytesRead;
                        done = true;
                    } else if (overflow > 0) {
                        // Keep what follows the terminator for the next read.
                        const size_t underflow = bytesRead - static_cast<size_t>(overflow);
                        preBuffer_.ensureCapacityForWrite(static_cast<size_t>(overflow));
                        std::memcpy(preBuffer_.writeBuffer(), read->writePosition() + underflow,
                                    static_cast<size_t>(overflow));
                        preBuffer_.didWrite(static_cast<size_t>(overflow));
                        read->bytesDone += underflow;
                        totalBytesReadForCurrentRead += underflow;
                        done = true;
                    } else {
                        read->bytesDone += bytesRead;
                        totalBytesReadForCurrentRead += bytesRead;
                    }
                }
                if (!done && read->maxLength > 0 && read->bytesDone >= read->maxLength)
                    error = readMaxedOutError();
            } else {
                if (readIntoPreBuffer) {
                    preBuffer_.didWrite(bytesRead);
                    const size_t bytesToCopy = read->readLengthForNonTermWithHint(bytesRead);
                    moveFromPreBuffer(preBuffer_, *read, bytesToCopy);
                    totalBytesReadForCurrentRead += bytesToCopy;
                } else {
                    read->bytesDone += bytesRead;
                    totalBytesReadForCurrentRead += bytesRead;
                }
                // A length read may need more; any other read ends here.
                done = !read->isLengthRead() || read->bytesDone == read->readLength;
            }
        }
    }

    // An available-data read ends with whatever this pass delivered.
    if (!done && !read->isLengthRead() && !read->isTermRead() && totalBytesReadForCurrentRead > 0)
        done = true;

    if (done) {
        completeCurrentRead();
        if (!error && (!socketEOF || preBuffer_.availableBytes() > 0))
            maybeDequeueRead();
        // Bytes are left that no read wants yet: stop the source now rather
        // than let it report them again before the owner queues the next read.
        if (!hasCurrentRead() && socketFDBytesAvailable_ > 0)
            suspendReadSource();
    } else if (totalBytesReadForCurrentRead > 0) {
        notifyDelegate([length = totalBytesReadForCurrentRead, tag = read->tag](GCDAsyncSocketDelegate& d,
                                                                                GCDAsyncSocket& sock) {
            d.socketDidReadPartialDataOfLength(sock, length, tag);
        });
    }

    if (error)
        closeWithError(error);
    else if (socketEOF)
        doReadEOF();
    else if (waiting)
        resumeReadSource();
}

void GCDAsyncSocket::doReadEOF()
{
    if (!(flags_ & kSocketStarted))
        return;  // closed meanwhile (a nested pass already finished the socket)

    flags_ |= kSocketHasReadEOF;

    if (flags_ & kSocketSecure)
        flushSSLBuffers();

    bool shouldDisconnect = false;
    std::optional<Error> error;

    if ((flags_ & kStartingReadTLS) || (flags_ & kStartingWriteTLS)) {
        // The connection ended in the middle of the handshake.
        shouldDisconnect = true;
        error = sslError(kTLSStatusClosedAbort);
    } else if (flags_ & kReadStreamClosed) {
        // Already reported; queued reads go on draining the pre-buffer.
        shouldDisconnect = false;
    } else if (preBuffer_.availableBytes() > 0) {
        // The queued reads still have bytes to take; this step runs again
        // once they have emptied the pre-buffer.
        shouldDisconnect = false;
    } else if (config_ & kAllowHalfDuplexConnection) {
        // Keep the connection open for writing while the peer still reads.
        pollfd pfd{};
        pfd.fd = openSocketFD();
        pfd.events = POLLOUT;
        ::poll(&pfd, 1, 0);
        if (pfd.revents & POLLOUT) {
            shouldDisconnect = false;
            flags_ |= kReadStreamClosed;
            notifyDelegate([](GCDAsyncSocketDelegate& d, GCDAsyncSocket& sock) { d.socketDidCloseReadStream(sock); });
        } else {
            shouldDisconnect = true;
        }
    } else {
        shouldDisconnect = true;
    }

    if (shouldDisconnect) {
        if (!error) {
            int socketError = socketReadError_;
            socklen_t length = sizeof socketError;
            if (socketError == 0 && openSocketFD() != -1)
                ::getsockopt(openSocketFD(), SOL_SOCKET, SO_ERROR, &socketError, &length);
            if (sslErrCode_ != kTLSStatusSuccess && sslErrCode_ != kTLSStatusClosedGraceful) {
                error = sslError(sslErrCode_);
            } else if (!(flags_ & kSocketSecure) && socketError != 0) {
                // Not an orderly end of stream but a failed connection (a
                // reset): report the system's error, not a clean close.
                error = errnoErrorWithReason("Error in read() function", socketError);
            } else {
                error = connectionClosedError();
            }
        }
        closeWithError(error);
    } else {
        suspendReadSource();
    }
}

void GCDAsyncSocket::completeCurrentRead()
{
    std::shared_ptr<GCDAsyncReadPacket> read = currentRead_;
    SocketData result;
    if (read->bufferOwner) {
        // The read's own buffer, cut to what was read, is the result itself.
        read->buffer->resize(read->bytesDone);
        result.buffer = read->buffer;
        result.offset = 0;
        result.length = read->bytesDone;
    } else {
        // The caller's buffer: a view of the bytes read, not a copy.
        const size_t buffSize = read->buffer->size();
        const size_t buffUsed = read->startOffset + read->bytesDone;
        if (buffSize > read->originalBufferLength && buffSize > buffUsed)
            read->buffer->resize(std::max(buffUsed, read->originalBufferLength));
        result.buffer = read->buffer;
        result.offset = read->startOffset;
        result.length = read->bytesDone;
    }

    notifyDelegate([result = std::move(result), tag = read->tag](GCDAsyncSocketDelegate& d, GCDAsyncSocket& sock) {
        d.socketDidReadData(sock, result, tag);
    });

    endCurrentRead();
}

void GCDAsyncSocket::endCurrentRead()
{
    if (readTimer_) {
        readTimer_->cancel();
        readTimer_.reset();
    }
    currentRead_.reset();
    currentReadTLS_.reset();
}

// ---------------------------------------------------------------------------
// Read timeout

void GCDAsyncSocket::setupReadTimerWithTimeout(double timeout)
{
    if (timeout < 0.0)
        return;
    readTimer_ = dispatch::Source::makeTimer(socketQueue_);
    std::weak_ptr<GCDAsyncSocket> weakSelf = weak_from_this();
    readTimer_->setEventHandler([weakSelf] {
        if (auto strongSelf = weakSelf.lock())
            strongSelf->doReadTimeout();
    });
    readTimer_->setTimer(seconds(timeout));
    readTimer_->resume();
}

void GCDAsyncSocket::doReadTimeout()
{
    if (!currentRead_)
        return;
    // Reading stops while the delegate is asked.
    flags_ |= kReadsPaused;

    auto delegate = delegate_.lock();
    if (delegate && delegateQueue_) {
        const int64_t tag = currentRead_->tag;
        const double elapsed = currentRead_->timeout;
        const size_t bytesDone = currentRead_->bytesDone;
        delegateQueue_->async([delegate, self = shared_from_this(), tag, elapsed, bytesDone] {
            const double extension =
                delegate->socketShouldTimeoutReadWithTag(*self, tag, elapsed, bytesDone).value_or(0.0);
            self->socketQueue_->async([self, extension] { self->doReadTimeoutWithExtension(extension); });
        });
    } else {
        doReadTimeoutWithExtension(0.0);
    }
}

void GCDAsyncSocket::doReadTimeoutWithExtension(double timeoutExtension)
{
    if (!currentRead_)
        return;
    if (timeoutExtension > 0.0) {
        currentRead_->timeout += timeoutExtension;
        if (readTimer_)
            readTimer_->setTimer(seconds(timeoutExtension));
        flags_ &= ~kReadsPaused;
        doReadData();
    } else {
        closeWithError(readTimeoutError());
    }
}

}  // namespace orv
