// GCDAsyncSocket: disconnecting and the one close step every ending goes through.
#include "core/sockets/GCDAsyncSocket.h"

#include "core/sockets/TlsSession.h"

#include <unistd.h>

namespace orv {

void GCDAsyncSocket::disconnect()
{
    syncOnSocketQueue([this] {
        if (flags_ & kSocketStarted)
            closeWithError(std::nullopt);
    });
}

void GCDAsyncSocket::disconnectAfterReading()
{
    socketQueue_->async([self = shared_from_this()] {
        if (self->flags_ & kSocketStarted) {
            self->flags_ |= kForbidReadsWrites | kDisconnectAfterReads;
            self->maybeClose();
        }
    });
}

void GCDAsyncSocket::disconnectAfterWriting()
{
    socketQueue_->async([self = shared_from_this()] {
        if (self->flags_ & kSocketStarted) {
            self->flags_ |= kForbidReadsWrites | kDisconnectAfterWrites;
            self->maybeClose();
        }
    });
}

void GCDAsyncSocket::disconnectAfterReadingAndWriting()
{
    socketQueue_->async([self = shared_from_this()] {
        if (self->flags_ & kSocketStarted) {
            self->flags_ |= kForbidReadsWrites | kDisconnectAfterReads | kDisconnectAfterWrites;
            self->maybeClose();
        }
    });
}

void GCDAsyncSocket::maybeClose()
{
    bool shouldClose = false;
    if (flags_ & kDisconnectAfterReads) {
        if (readQueue_.empty() && !hasCurrentRead()) {
            if (flags_ & kDisconnectAfterWrites) {
                if (writeQueue_.empty() && !hasCurrentWrite())
                    shouldClose = true;
            } else {
                shouldClose = true;
            }
        }
    } else if (flags_ & kDisconnectAfterWrites) {
        if (writeQueue_.empty() && !hasCurrentWrite())
            shouldClose = true;
    }
    if (shouldClose)
        closeWithError(std::nullopt);
}

void GCDAsyncSocket::closeWithError(std::optional<Error> error)
{
    endConnectTimeout();

    if (hasCurrentRead())
        endCurrentRead();
    if (hasCurrentWrite())
        endCurrentWrite();

    readQueue_.clear();
    writeQueue_.clear();

    preBuffer_.reset();
    if (sslPreBuffer_)
        sslPreBuffer_->reset();
    lastSSLHandshakeError_ = 0;
    sslErrCode_ = 0;
    if (sslContext_) {
        sslContext_->close();
        sslContext_.reset();
    }

    if (acceptRetryTimer_) {
        acceptRetryTimer_->cancel();
        acceptRetryTimer_.reset();
    }
    acceptBackoff_ = dispatch::Duration::zero();
    // Paused accept sources would never run the cancel handlers that close
    // the listening descriptors.
    resumeAccepting();

    // Sources own their descriptors: each one watched by a source is closed by
    // that source's cancel handler, after the source has stopped watching it.
    if (!accept4Source_ && !accept6Source_ && !readSource_ && !writeSource_ && !connectSource_) {
        if (socket4FD_ != -1)
            ::close(socket4FD_);
        if (socket6FD_ != -1)
            ::close(socket6FD_);
    } else {
        if (connectSource_) {
            connectSource_->cancel();
            connectSource_.reset();
            connectSourceOwnsFD_.reset();
        }
        if (accept4Source_) {
            accept4Source_->cancel();
            accept4Source_.reset();
        }
        if (accept6Source_) {
            accept6Source_->cancel();
            accept6Source_.reset();
        }
        if (readSource_) {
            readSource_->cancel();
            // A suspended source never runs its cancel handler.
            resumeReadSource();
            readSource_.reset();
        }
        if (writeSource_) {
            writeSource_->cancel();
            resumeWriteSource();
            writeSource_.reset();
        }
    }
    socket4FD_ = -1;
    socket6FD_ = -1;

    const uint32_t oldFlags = flags_;
    socketFDBytesAvailable_ = 0;
    socketReadError_ = 0;
    flags_ = 0;
    sslWriteCachedLength_ = 0;

    if (oldFlags & kSocketStarted) {
        auto delegate = delegate_.lock();
        if (delegate && delegateQueue_) {
            if (oldFlags & kDealloc) {
                // The socket is being destroyed: the callback must not hand
                // out a reference to it.
                delegateQueue_->async([delegate, error] { delegate->socketDidDisconnect(nullptr, error); });
            } else {
                delegateQueue_->async([delegate, self = shared_from_this(), error] {
                    delegate->socketDidDisconnect(self.get(), error);
                });
            }
        }
    }
}

}  // namespace orv
