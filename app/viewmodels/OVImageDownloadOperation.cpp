#include "app/viewmodels/OVImageDownloadOperation.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>

#include "app/viewmodels/OVImageDownloader.h"

namespace orv {

OVImageDownloadOperation::OVImageDownloadOperation(QUrl url, QString uuid, Completion completion, qint64 maxBody,
                                                   int timeoutMs)
    : url_(std::move(url)), uuid_(std::move(uuid)), completion_(std::move(completion)), maxBody_(maxBody),
      timeoutMs_(timeoutMs)
{
}

void OVImageDownloadOperation::start(QNetworkAccessManager& manager)
{
    int ready = Ready;
    if (!state_.compare_exchange_strong(ready, Executing))
        return;  // cancelled before it started
    QNetworkRequest request(url_);
    request.setTransferTimeout(timeoutMs_);
    request.setRawHeader("User_Agent", OVImageDownloader::userAgent().toUtf8());
    QNetworkReply* reply = manager.get(request);
    reply_ = reply;
    QObject::connect(reply, &QNetworkReply::metaDataChanged, reply, [this, reply] {
        // Each response starts the body anew.
        body_ = QByteArray();
        statusCode_ = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    });
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [this, reply] {
        if (!body_)
            body_ = QByteArray();
        if (body_->size() + reply->bytesAvailable() > maxBody_) {
            // Far more than any icon: stop reading rather than fill memory.
            tooLarge_ = true;
            reply->abort();
            return;
        }
        body_->append(reply->readAll());
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [self = shared_from_this(), reply] {
        reply->deleteLater();
        self->finish();
    });
}

void OVImageDownloadOperation::cancel() { state_.store(Cancelled); }

void OVImageDownloadOperation::abortConnection()
{
    if (reply_)
        reply_->abort();
}

void OVImageDownloadOperation::finish()
{
    const int before = state_.load();
    reply_ = nullptr;
    if (before == Cancelled)
        return;
    state_.store(Finished);
    if (tooLarge_)
        body_.reset();
    Completion completion = std::move(completion_);
    if (completion)
        completion(*this, body_);
}

}  // namespace orv
