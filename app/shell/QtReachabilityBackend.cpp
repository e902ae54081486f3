// ReachabilityBackend over QNetworkInformation. Online, Site and Local count
// as reachable and direct; Disconnected and Unknown as not reachable.

#include <QNetworkInformation>
#include <QObject>
#include <QPointer>

#include "app/shell/Reachability.h"
#include "app/shell/ReachabilityBackend.h"

namespace orv {

namespace {

class QtReachabilityBackend final : public ReachabilityBackend {
public:
    explicit QtReachabilityBackend(QNetworkInformation* information) : information_(information) {}
    ~QtReachabilityBackend() override { QObject::disconnect(connection_); }

    std::optional<uint32_t> flags() const override
    {
        if (!information_)
            return std::nullopt;
        switch (information_->reachability()) {
        case QNetworkInformation::Reachability::Online:
        case QNetworkInformation::Reachability::Site:
        case QNetworkInformation::Reachability::Local:
            return Reachability::kReachable | Reachability::kIsDirect;
        default:
            return 0u;
        }
    }

    bool setChangeCallback(std::function<void()> changed) override
    {
        QObject::disconnect(connection_);
        if (!information_)
            return false;
        if (changed)
            connection_ = QObject::connect(information_, &QNetworkInformation::reachabilityChanged, information_,
                                           [changed] { changed(); });
        return true;
    }

private:
    QPointer<QNetworkInformation> information_;
    QMetaObject::Connection connection_;
};

}  // namespace

std::unique_ptr<ReachabilityBackend> ReachabilityBackend::system()
{
    if (!QNetworkInformation::instance() &&
        !QNetworkInformation::loadBackendByFeatures(QNetworkInformation::Feature::Reachability))
        return nullptr;
    return std::make_unique<QtReachabilityBackend>(QNetworkInformation::instance());
}

}  // namespace orv
