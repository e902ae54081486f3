#pragma once
// Watches whether the internet can be reached and reports changes: the three
// blocks run on the notifier's own serial queue, then the notification
// "kReachabilityChangedNotification" (object: the notifier) is posted on the
// main queue through the default notification center.

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

#include "app/shell/ReachabilityBackend.h"
#include "platform/Dispatch.h"

namespace orv {

class Reachability : public std::enable_shared_from_this<Reachability> {
public:
    static constexpr uint32_t kTransientConnection = 1;
    static constexpr uint32_t kReachable = 2;
    static constexpr uint32_t kConnectionRequired = 4;
    static constexpr uint32_t kConnectionOnTraffic = 8;
    static constexpr uint32_t kInterventionRequired = 16;
    static constexpr uint32_t kConnectionOnDemand = 32;
    static constexpr uint32_t kIsLocalAddress = 0x10000;
    static constexpr uint32_t kIsDirect = 0x20000;

    enum NetworkStatus { NotReachable = 0, ReachableViaWWAN = 1, ReachableViaWiFi = 2 };

    static constexpr const char* kChangedNotification = "kReachabilityChangedNotification";

    // The internet in general, over the system's network information; null
    // when the platform cannot report it.
    static std::shared_ptr<Reachability> reachabilityForInternetConnection();
    // Over any backend (tests); null for a null backend.
    static std::shared_ptr<Reachability> withBackend(std::unique_ptr<ReachabilityBackend> backend);

    ~Reachability();

    // Idempotent; false when the backend cannot report changes.
    bool startNotifier();
    void stopNotifier();

    bool isReachable() const;
    bool isReachableViaWWAN() const { return false; }
    bool isReachableViaWiFi() const;
    bool connectionRequired() const;
    bool isConnectionRequired() const { return connectionRequired(); }
    bool isConnectionOnDemand() const;
    bool isInterventionRequired() const;
    NetworkStatus currentReachabilityStatus() const;
    uint32_t reachabilityFlags() const;
    QString currentReachabilityString() const;
    QString currentReachabilityFlags() const;
    QString description() const;

    static bool isReachableWithFlags(uint32_t flags);
    static QString flagsText(uint32_t flags);

    bool reachableOnWWAN() const { return reachableOnWWAN_; }
    void setReachableOnWWAN(bool value) { reachableOnWWAN_ = value; }
    std::function<void(Reachability&)> reachableBlock;
    std::function<void(Reachability&)> unreachableBlock;
    std::function<void(Reachability&, uint32_t)> reachabilityBlock;

    // What a change of the flags does (called on the notifier's queue).
    void reachabilityChanged(uint32_t flags);

private:
    explicit Reachability(std::unique_ptr<ReachabilityBackend> backend);

    std::unique_ptr<ReachabilityBackend> backend_;
    dispatch::QueueRef reachabilitySerialQueue_;
    bool notifying_ = false;
    bool reachableOnWWAN_ = true;
};

}  // namespace orv
