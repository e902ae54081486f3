#pragma once
// Fetches images over HTTP for the app-data folders: one download per request,
// each under a caller-chosen id so that it can be cancelled. The caller hears
// back exactly once (unless it cancelled first) on the downloader's own
// thread, never the main thread, with the body only when it decodes to an
// image of non-zero size. Bodies are capped; a finished download leaves the
// table of running ones.

#include <QByteArray>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>

class QThread;
class QNetworkAccessManager;

namespace orv {

class OVImageDownloadOperation;

class OVImageDownloader {
public:
    using Callback = std::function<void(const QUrl& url, const QString& uuid, const QByteArray& data)>;

    static constexpr qint64 kMaxBodyBytes = 1 << 20;
    static constexpr int kTimeoutMs = 30000;

    // The downloader of the application, living until the process ends.
    static OVImageDownloader& sharedInstance();

    explicit OVImageDownloader(int timeoutMs = kTimeoutMs);
    // Cancels every running download and stops the thread.
    ~OVImageDownloader();
    OVImageDownloader(const OVImageDownloader&) = delete;
    OVImageDownloader& operator=(const OVImageDownloader&) = delete;

    // An invalid URL calls back at once, on the caller's thread, with nothing.
    // A second download under a running id replaces the table entry without cancelling it.
    void downloadImage(const QUrl& url, const QString& uuid, Callback callback);
    // A running download under the id never calls back; an unknown id does nothing.
    void cancelDownloadImageWithUUID(const QString& uuid);
    // Downloads in the table (started and neither finished nor cancelled).
    size_t runningCount() const;

    // The "User_Agent" text every request carries: name/version (OS).
    static QString userAgent();

private:
    void finished(const QString& uuid, const OVImageDownloadOperation* operation);

    int timeoutMs_;
    QThread* thread_ = nullptr;
    QNetworkAccessManager* manager_ = nullptr;  // lives in thread_
    mutable std::mutex mutex_;
    std::unordered_map<QString, std::shared_ptr<OVImageDownloadOperation>> operations_;
};

}  // namespace orv
