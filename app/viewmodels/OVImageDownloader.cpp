#include "app/viewmodels/OVImageDownloader.h"

#include <QCoreApplication>
#include <QImage>
#include <QNetworkAccessManager>
#include <QSysInfo>
#include <QThread>

#include "app/viewmodels/OVImageDownloadOperation.h"

namespace orv {

OVImageDownloader& OVImageDownloader::sharedInstance()
{
    static OVImageDownloader downloader;
    return downloader;
}

QString OVImageDownloader::userAgent()
{
    static const QString text = [] {
        const QString name = QCoreApplication::applicationName().isEmpty() ? QStringLiteral("Orvane")
                                                                            : QCoreApplication::applicationName();
        const QString version = QCoreApplication::applicationVersion().isEmpty()
                                    ? QStringLiteral("1")
                                    : QCoreApplication::applicationVersion();
        return QStringLiteral("%1/%2 (%3)").arg(name, version, QSysInfo::prettyProductName());
    }();
    return text;
}

OVImageDownloader::OVImageDownloader(int timeoutMs) : timeoutMs_(timeoutMs)
{
    thread_ = new QThread;
    thread_->setObjectName(QStringLiteral("com.kestrana.orvane.imagedownloader"));
    manager_ = new QNetworkAccessManager;
    manager_->moveToThread(thread_);
    thread_->start();
}

OVImageDownloader::~OVImageDownloader()
{
    std::unordered_map<QString, std::shared_ptr<OVImageDownloadOperation>> running;
    {
        std::lock_guard lock(mutex_);
        running.swap(operations_);
    }
    for (auto& [uuid, operation] : running)
        operation->cancel();
    // The manager and its replies belong to the thread: end them there.
    QNetworkAccessManager* manager = manager_;
    QMetaObject::invokeMethod(manager, [manager] { delete manager; }, Qt::BlockingQueuedConnection);
    thread_->quit();
    thread_->wait();
    delete thread_;
}

void OVImageDownloader::downloadImage(const QUrl& url, const QString& uuid, Callback callback)
{
    if (!url.isValid() || url.isEmpty()) {
        callback(QUrl(), QString(), QByteArray());
        return;
    }
    auto completion = [this, url, uuid, callback = std::move(callback)](const OVImageDownloadOperation& operation,
                                                                       std::optional<QByteArray> body) {
        finished(uuid, &operation);
        QByteArray data;
        if (body) {
            const QImage image = QImage::fromData(*body);
            if (!image.isNull() && image.width() > 0 && image.height() > 0)
                data = *body;
        }
        callback(url, uuid, data);
    };
    auto operation =
        std::make_shared<OVImageDownloadOperation>(url, uuid, std::move(completion), kMaxBodyBytes, timeoutMs_);
    {
        std::lock_guard lock(mutex_);
        operations_[uuid] = operation;
    }
    QNetworkAccessManager* manager = manager_;
    QMetaObject::invokeMethod(manager, [manager, operation] { operation->start(*manager); });
}

void OVImageDownloader::cancelDownloadImageWithUUID(const QString& uuid)
{
    std::shared_ptr<OVImageDownloadOperation> operation;
    {
        std::lock_guard lock(mutex_);
        const auto found = operations_.find(uuid);
        if (found == operations_.end())
            return;
        operation = found->second;
        operations_.erase(found);
    }
    operation->cancel();
    QMetaObject::invokeMethod(manager_, [operation] { operation->abortConnection(); });
}

size_t OVImageDownloader::runningCount() const
{
    std::lock_guard lock(mutex_);
    return operations_.size();
}

void OVImageDownloader::finished(const QString& uuid, const OVImageDownloadOperation* operation)
{
    std::lock_guard lock(mutex_);
    const auto found = operations_.find(uuid);
    if (found != operations_.end() && found->second.get() == operation)
        operations_.erase(found);
}

}  // namespace orv
