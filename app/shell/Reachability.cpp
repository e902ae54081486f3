#include "app/shell/Reachability.h"

#include "app/shell/L10n.h"
#include "platform/NotificationCenter.h"

namespace orv {

std::shared_ptr<Reachability> Reachability::reachabilityForInternetConnection()
{
    return withBackend(ReachabilityBackend::system());
}

std::shared_ptr<Reachability> Reachability::withBackend(std::unique_ptr<ReachabilityBackend> backend)
{
    if (!backend)
        return nullptr;
    return std::shared_ptr<Reachability>(new Reachability(std::move(backend)));
}

Reachability::Reachability(std::unique_ptr<ReachabilityBackend> backend)
    : backend_(std::move(backend)), reachabilitySerialQueue_(dispatch::Queue::makeSerial("orvane.reachability"))
{
}

Reachability::~Reachability()
{
    stopNotifier();
    // Blocks already queued hold a weak reference and skip a gone notifier.
}

bool Reachability::startNotifier()
{
    if (notifying_)
        return true;
    std::weak_ptr<Reachability> weak = weak_from_this();
    const bool registered = backend_->setChangeCallback([weak] {
        auto self = weak.lock();
        if (!self)
            return;
        const uint32_t flags = self->reachabilityFlags();
        self->reachabilitySerialQueue_->async([weak, flags] {
            if (auto notifier = weak.lock())
                notifier->reachabilityChanged(flags);
        });
    });
    notifying_ = registered;
    return registered;
}

void Reachability::stopNotifier()
{
    if (!notifying_)
        return;
    backend_->setChangeCallback({});
    notifying_ = false;
}

uint32_t Reachability::reachabilityFlags() const { return backend_->flags().value_or(0); }

bool Reachability::isReachableWithFlags(uint32_t flags)
{
    if ((flags & kReachable) == 0)
        return false;
    return (flags & (kTransientConnection | kConnectionRequired)) != (kTransientConnection | kConnectionRequired);
}

bool Reachability::isReachable() const { return isReachableWithFlags(reachabilityFlags()); }
bool Reachability::isReachableViaWiFi() const { return (reachabilityFlags() & kReachable) != 0; }
bool Reachability::connectionRequired() const { return (reachabilityFlags() & kConnectionRequired) != 0; }

bool Reachability::isConnectionOnDemand() const
{
    const uint32_t flags = reachabilityFlags();
    return (flags & kConnectionRequired) && (flags & (kConnectionOnTraffic | kConnectionOnDemand));
}

bool Reachability::isInterventionRequired() const
{
    const uint32_t flags = reachabilityFlags();
    return (flags & kConnectionRequired) && (flags & kInterventionRequired);
}

Reachability::NetworkStatus Reachability::currentReachabilityStatus() const
{
    if (!isReachable())
        return NotReachable;
    return isReachableViaWiFi() ? ReachableViaWiFi : NotReachable;
}

QString Reachability::currentReachabilityString() const
{
    switch (currentReachabilityStatus()) {
    case ReachableViaWiFi:
        return L10n::text("WiFi");
    case ReachableViaWWAN:
        return L10n::text("Cellular");
    default:
        return L10n::text("No Connection");
    }
}

QString Reachability::flagsText(uint32_t flags)
{
    auto bit = [flags](uint32_t mask, char letter) { return QChar(flags & mask ? letter : '-'); };
    return QString(QChar('X')) + bit(kReachable, 'R') + QChar(' ') + bit(kConnectionRequired, 'c') +
           bit(kTransientConnection, 't') + bit(kInterventionRequired, 'i') + bit(kConnectionOnTraffic, 'C') +
           bit(kConnectionOnDemand, 'D') + bit(kIsLocalAddress, 'l') + bit(kIsDirect, 'd');
}

QString Reachability::currentReachabilityFlags() const { return flagsText(reachabilityFlags()); }

QString Reachability::description() const
{
    return QStringLiteral("<Reachability: %1 (%2)>")
        .arg(QStringLiteral("0x") + QString::number(reinterpret_cast<quintptr>(this), 16), currentReachabilityFlags());
}

void Reachability::reachabilityChanged(uint32_t flags)
{
    if (isReachableWithFlags(flags)) {
        if (reachableBlock)
            reachableBlock(*this);
    } else if (unreachableBlock) {
        unreachableBlock(*this);
    }
    if (reachabilityBlock)
        reachabilityBlock(*this, flags);
    std::weak_ptr<Reachability> weak = weak_from_this();
    dispatch::Queue::main()->async([weak] {
        if (auto self = weak.lock())
            NotificationCenter::defaultCenter().postNotificationName(kChangedNotification, self.get());
    });
}

}  // namespace orv
