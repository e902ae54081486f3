#pragma once
// What the queue-driven sockets share about their queues: the serial socket
// queue every step runs on (recognised through a queue-specific key, also on
// target queues the owner marks), and the delegate with its delegate queue.
// Getters wait for the socket queue; setters run on it, asynchronously
// unless named "synchronously".

#include "platform/Dispatch.h"
#include "platform/Error.h"

#include <exception>
#include <functional>
#include <memory>

namespace orv {

template <class Socket, class Delegate>
class SocketQueueBinding {
public:
    std::shared_ptr<Delegate> delegate() const
    {
        std::shared_ptr<Delegate> result;
        syncOnSocketQueue([&] { result = delegate_.lock(); });
        return result;
    }
    void setDelegate(std::weak_ptr<Delegate> newDelegate)
    {
        inlineOrAsyncOnSocketQueue([this, newDelegate = std::move(newDelegate)] { delegate_ = newDelegate; });
    }
    void synchronouslySetDelegate(std::weak_ptr<Delegate> newDelegate)
    {
        syncOnSocketQueue([&] { delegate_ = std::move(newDelegate); });
    }
    dispatch::QueueRef delegateQueue() const
    {
        dispatch::QueueRef result;
        syncOnSocketQueue([&] { result = delegateQueue_; });
        return result;
    }
    void setDelegateQueue(dispatch::QueueRef newDelegateQueue)
    {
        inlineOrAsyncOnSocketQueue([this, q = std::move(newDelegateQueue)] { delegateQueue_ = q; });
    }
    void synchronouslySetDelegateQueue(dispatch::QueueRef newDelegateQueue)
    {
        syncOnSocketQueue([&] { delegateQueue_ = std::move(newDelegateQueue); });
    }
    void getDelegate(std::shared_ptr<Delegate>* delegatePtr, dispatch::QueueRef* delegateQueuePtr) const
    {
        syncOnSocketQueue([&] {
            if (delegatePtr)
                *delegatePtr = delegate_.lock();
            if (delegateQueuePtr)
                *delegateQueuePtr = delegateQueue_;
        });
    }
    void setDelegate(std::weak_ptr<Delegate> newDelegate, dispatch::QueueRef newDelegateQueue)
    {
        inlineOrAsyncOnSocketQueue([this, d = std::move(newDelegate), q = std::move(newDelegateQueue)] {
            delegate_ = d;
            delegateQueue_ = q;
        });
    }
    void synchronouslySetDelegate(std::weak_ptr<Delegate> newDelegate, dispatch::QueueRef newDelegateQueue)
    {
        syncOnSocketQueue([&] {
            delegate_ = std::move(newDelegate);
            delegateQueue_ = std::move(newDelegateQueue);
        });
    }

    // Lets calls made on `socketQueuesPreConfiguredTargetQueue` (which the
    // socket queue targets) be recognised as being on the socket queue.
    void markSocketQueueTargetQueue(const dispatch::QueueRef& socketQueuesPreConfiguredTargetQueue)
    {
        if (socketQueuesPreConfiguredTargetQueue)
            socketQueuesPreConfiguredTargetQueue->setSpecific(&IsOnSocketQueueOrTargetQueueKey_, this);
    }
    void unmarkSocketQueueTargetQueue(const dispatch::QueueRef& socketQueuesPreviouslyConfiguredTargetQueue)
    {
        if (socketQueuesPreviouslyConfiguredTargetQueue)
            socketQueuesPreviouslyConfiguredTargetQueue->setSpecific(&IsOnSocketQueueOrTargetQueueKey_, nullptr);
    }
    void performBlock(const std::function<void()>& block) { syncOnSocketQueue(block); }

protected:
    // `socketQueue` must be a serial queue.
    SocketQueueBinding(std::weak_ptr<Delegate> delegate, dispatch::QueueRef delegateQueue,
                       dispatch::QueueRef socketQueue)
        : delegate_(std::move(delegate)), delegateQueue_(std::move(delegateQueue)), socketQueue_(std::move(socketQueue))
    {
        IsOnSocketQueueOrTargetQueueKey_ = &IsOnSocketQueueOrTargetQueueKey_;
        socketQueue_->setSpecific(&IsOnSocketQueueOrTargetQueueKey_, this);
    }
    ~SocketQueueBinding() = default;
    SocketQueueBinding(const SocketQueueBinding&) = delete;
    SocketQueueBinding& operator=(const SocketQueueBinding&) = delete;

    bool isOnSocketQueue() const
    {
        return dispatch::Queue::getSpecific(&IsOnSocketQueueOrTargetQueueKey_) == this;
    }
    void syncOnSocketQueue(const std::function<void()>& block) const
    {
        if (isOnSocketQueue())
            block();
        else
            socketQueue_->sync(block);
    }
    void inlineOrAsyncOnSocketQueue(std::function<void()> block)
    {
        if (isOnSocketQueue()) {
            block();
        } else {
            // Held strongly, so that a setter followed by the owner letting go
            // still takes effect in order.
            socketQueue_->async([self = static_cast<Socket*>(this)->shared_from_this(), block = std::move(block)] {
                block();
            });
        }
    }
    // For the owner's destructor: runs `closing` on the socket queue, then
    // unmarks the queue. Queued work holds the socket weakly, so nothing else
    // can touch it now; the last reference may be dropped on the socket queue
    // itself.
    void closeFromDestructor(const std::function<void()>& closing)
    {
        if (isOnSocketQueue()) {
            closing();
        } else {
            try {
                socketQueue_->sync(closing);
            } catch (const Exception& e) {
                // This thread runs a queue that the socket queue targets, so the
                // socket queue cannot be running now: closing here is safe.
                if (e.name() != "DispatchDeadlock")
                    std::terminate();
                closing();
            }
        }
        socketQueue_->setSpecific(&IsOnSocketQueueOrTargetQueueKey_, nullptr);
    }

    std::weak_ptr<Delegate> delegate_;
    dispatch::QueueRef delegateQueue_;
    dispatch::QueueRef socketQueue_;
    // The queue-specific key is this field's address; its value is the binding.
    void* IsOnSocketQueueOrTargetQueueKey_ = nullptr;
};

}  // namespace orv
