#include "platform/NotificationCenter.h"

#include <algorithm>
#include <thread>

#include "platform/Error.h"

namespace orv {

struct NotificationCenter::Registration {
    const void* observer = nullptr;
    std::string name;
    const void* object = nullptr;
    Handler handler;
    bool removed = false;
    // Threads inside this registration's handler right now (a thread appears
    // once per nesting level).
    std::vector<std::thread::id> runningOn;
};

NotificationCenter& NotificationCenter::defaultCenter()
{
    // Never destroyed: observers may unregister from static destructors.
    static auto* const center = new NotificationCenter;
    return *center;
}

NotificationCenter::NotificationCenter() = default;
NotificationCenter::~NotificationCenter() = default;

void NotificationCenter::addObserver(const void* observer, Handler handler, std::string name, const void* object)
{
    if (!observer || !handler)
        throw Exception("NotificationCenterMisuse", "an observer needs an identity and a handler");
    auto registration = std::make_shared<Registration>();
    registration->observer = observer;
    registration->name = std::move(name);
    registration->object = object;
    registration->handler = std::move(handler);
    std::lock_guard lock(mutex_);
    registrations_.push_back(std::move(registration));
}

void NotificationCenter::removeObserver(const void* observer)
{
    remove(observer, nullptr, nullptr);
}

void NotificationCenter::removeObserver(const void* observer, const std::string& name, const void* object)
{
    remove(observer, name.empty() ? nullptr : &name, object);
}

void NotificationCenter::remove(const void* observer, const std::string* name, const void* object)
{
    if (!observer)
        return;
    // Declared before the lock so the handlers (and what they capture) are
    // released after it.
    std::vector<std::shared_ptr<Registration>> removed;
    std::unique_lock lock(mutex_);
    auto keep = [&](const std::shared_ptr<Registration>& r) {
        const bool matches = r->observer == observer && (!name || r->name == *name) && (!object || r->object == object);
        if (matches) {
            r->removed = true;
            removed.push_back(r);
        }
        return !matches;
    };
    registrations_.erase(std::stable_partition(registrations_.begin(), registrations_.end(), keep),
                         registrations_.end());
    // A handler running on another thread may still use the observer; wait
    // for it, so the caller can destroy the observer once this returns. The
    // calling thread's own handlers are left alone: they are further up this
    // very stack.
    const auto self = std::this_thread::get_id();
    handlerReturned_.wait(lock, [&] {
        return std::all_of(removed.begin(), removed.end(), [&](const auto& r) {
            return std::all_of(r->runningOn.begin(), r->runningOn.end(), [&](auto id) { return id == self; });
        });
    });
}

void NotificationCenter::postNotificationName(std::string name, const void* object, std::any userInfo)
{
    postNotification(Notification{std::move(name), object, std::move(userInfo)});
}

void NotificationCenter::postNotification(const Notification& notification)
{
    // Those registered when the post begins; each is checked again just
    // before its turn, because an earlier handler may have removed it.
    std::vector<std::shared_ptr<Registration>> matching;
    {
        std::lock_guard lock(mutex_);
        for (const auto& r : registrations_)
            if ((r->name.empty() || r->name == notification.name) && (!r->object || r->object == notification.object))
                matching.push_back(r);
    }
    const auto self = std::this_thread::get_id();
    for (const auto& r : matching) {
        {
            std::lock_guard lock(mutex_);
            if (r->removed)
                continue;
            r->runningOn.push_back(self);
        }
        struct Returned {
            NotificationCenter& center;
            Registration& registration;
            std::thread::id thread;
            ~Returned()
            {
                {
                    std::lock_guard lock(center.mutex_);
                    auto& running = registration.runningOn;
                    running.erase(std::find(running.begin(), running.end(), thread));
                }
                center.handlerReturned_.notify_all();
            }
        } returned{*this, *r, self};
        r->handler(notification);
    }
}

}  // namespace orv
