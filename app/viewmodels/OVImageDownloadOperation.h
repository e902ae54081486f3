#pragma once
// One image download: GET with the "User_Agent" header and a time-out, the
// body kept up to a cap. Runs on the downloader's thread; cancel() may come
// from any thread and silences the operation unless its finish already began.

#include <QByteArray>
#include <QPointer>
#include <QUrl>
#include <atomic>
#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

namespace orv {

class OVImageDownloadOperation : public std::enable_shared_from_this<OVImageDownloadOperation> {
public:
    enum State : int { Ready = 0, Executing = 1, Finished = 2, Cancelled = 5 };
    // Receives the operation and the body (when any response arrived), else nothing.
    using Completion = std::function<void(const OVImageDownloadOperation& operation, std::optional<QByteArray> body)>;

    OVImageDownloadOperation(QUrl url, QString uuid, Completion completion, qint64 maxBody, int timeoutMs);

    // On the downloader's thread. The running request keeps the operation alive.
    void start(QNetworkAccessManager& manager);
    // Marks the operation cancelled (any thread); no completion follows
    // unless finish() already began.
    void cancel();
    // Drops the connection of a cancelled operation (on the downloader's thread).
    void abortConnection();
    State state() const { return State(state_.load()); }
    bool isExecuting() const { return state() == Executing; }
    bool isFinished() const { return state() == Finished; }
    const QUrl& url() const { return url_; }
    const QString& uuid() const { return uuid_; }
    int statusCode() const { return statusCode_; }

private:
    void finish();

    QUrl url_;
    QString uuid_;
    Completion completion_;
    qint64 maxBody_;
    int timeoutMs_;
    std::atomic<int> state_{Ready};
    QPointer<QNetworkReply> reply_;
    std::optional<QByteArray> body_;
    int statusCode_ = 0;
    bool tooLarge_ = false;
};

}  // namespace orv
