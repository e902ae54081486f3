#pragma once
// Named notifications delivered synchronously, on the posting thread, to every
// observer registered for that name (or any name) and that sender (or any
// sender), in registration order.
//
// Safe removal: an observer removed before its turn in a post is not called;
// one added during a post is called from the next post on. When
// removeObserver returns, no handler of the removed registrations is running
// on another thread, so the observer may be destroyed right after; a handler
// may remove itself or others. (Two threads that each remove, from inside a
// handler, an observer the other is running would wait for each other.)

#include <any>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace orv {

struct Notification {
    std::string name;
    const void* object = nullptr;  // the sender; compared by address only
    std::any userInfo;
};

class NotificationCenter {
public:
    using Handler = std::function<void(const Notification&)>;

    // The process-wide center.
    static NotificationCenter& defaultCenter();

    NotificationCenter();
    ~NotificationCenter();
    NotificationCenter(const NotificationCenter&) = delete;
    NotificationCenter& operator=(const NotificationCenter&) = delete;

    // `observer` identifies the registration for removal. An empty name
    // matches every name; a null object matches every sender. A null observer
    // or an empty handler throws orv::Exception "NotificationCenterMisuse".
    void addObserver(const void* observer, Handler handler, std::string name, const void* object = nullptr);
    // Every registration of `observer`.
    void removeObserver(const void* observer);
    // The registrations of `observer` for `name` (empty: any) and `object`
    // (null: any).
    void removeObserver(const void* observer, const std::string& name, const void* object = nullptr);

    void postNotification(const Notification& notification);
    void postNotificationName(std::string name, const void* object = nullptr, std::any userInfo = {});

private:
    struct Registration;
    void remove(const void* observer, const std::string* name, const void* object);

    std::mutex mutex_;
    std::condition_variable handlerReturned_;
    std::vector<std::shared_ptr<Registration>> registrations_;
};

}  // namespace orv
