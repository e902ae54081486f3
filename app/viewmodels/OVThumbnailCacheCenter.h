#pragma once
// The process-wide cache of thumbnails, album covers and app icons as encoded
// bytes: a count-limited memory side and files below a cache folder, with a
// table of disk look-ups that found nothing. It never decodes what it holds.
// Safe to call from any thread: the memory side has its own lock, and the
// miss table and every disk step share one.

#include <QByteArray>
#include <QCache>
#include <QHash>
#include <QSet>
#include <QString>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>

namespace orv {

class OVThumbnailCacheCenter {
public:
    using Date = std::optional<std::chrono::system_clock::time_point>;
    // Reads one boolean preference ("DisableMemThumbnailCache",
    // "DisableDiskThumbnailCache") at every call.
    using PreferenceReader = std::function<bool(const QString& key)>;

    static constexpr int kMemoryCountLimit = 1000;

    // The one cache of the process, under the user's cache folder
    // (~/.cache/Orvane/thumbnails), with the preferences from QSettings.
    static OVThumbnailCacheCenter& sharedInstance();

    // A cache whose files live in `appFolder`/thumbnails. An empty folder, or
    // one that cannot be created, leaves only the memory side working.
    explicit OVThumbnailCacheCenter(const QString& appFolder, PreferenceReader preferences = {});
    OVThumbnailCacheCenter(const OVThumbnailCacheCenter&) = delete;
    OVThumbnailCacheCenter& operator=(const OVThumbnailCacheCenter&) = delete;

    // {cache base}/Orvane/{sub}: the application's own cache folder.
    static QString applicationSupportFolder(const QString& sub = {});
    // MD5 of the UTF-8 bytes up to the first zero byte, as 32 upper-case hex digits.
    static QString MD5String(const QString& text);
    // UTC "yyyy-MM-dd HH:mm:ss +0000".
    static QString dateDescription(std::chrono::system_clock::time_point date);
    // The serial as a single safe folder name (no "/", never "." or "..").
    static QString folderNameForSerial(const QString& serial);

    QString rootpath() const { return rootpath_; }

    QByteArray memCachedThumbnail(const QString& serial, const QString& path, Date date);
    QByteArray cachedThumbnail(const QString& serial, const QString& path, Date date);
    // The file's path when it exists on disk, else empty; ignores memory.
    QString cachedThumbnailURL(const QString& serial, const QString& path, Date date);
    // A null `data` is "not data" and stores nothing.
    bool cacheThumbnail(const QByteArray& data, const QString& serial, const QString& path, Date date);
    bool purgeCacheThumbnail(const QString& serial, const QString& path, Date date);

    QByteArray cachedIconWithAppId(const QString& appId);
    bool cacheIcon(const QByteArray& data, const QString& appId);
    bool purgeCacheIcon(const QString& folder, const QString& appId);

    // The file a thumbnail is kept in (also its key in the miss table).
    QString thumbnailFilePath(const QString& serial, const QString& path, Date date) const;
    QString iconFilePath(const QString& appId) const;

private:
    bool memoryOn() const;
    bool diskUsable() const;
    QByteArray memoryGet(const QString& key);
    bool memoryContains(const QString& key);
    void memoryPut(const QString& key, const QByteArray& data);
    void memoryRemove(const QString& key);
    // Disk steps, each under diskMutex_.
    QByteArray readThrough(const QString& file, const QString& memoryKey);
    bool write(const QString& file, const QByteArray& data);
    bool remove(const QString& file);
    void ensureFolder(const QString& folder);

    PreferenceReader preferences_;
    QString rootpath_;

    std::mutex memoryMutex_;
    QCache<QString, QByteArray> memoryCache_;

    std::mutex diskMutex_;
    QHash<QString, bool> fileNotExistDict_;
    QSet<QString> knownFolders_;
};

}  // namespace orv
