#include "app/viewmodels/OVThumbnailCacheCenter.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>
#include <ctime>

namespace orv {

namespace {

bool settingsPreference(const QString& key)
{
    return QSettings().value(key, false).toBool();
}

QString memoryKey(const QString& serial, const QString& path, std::chrono::system_clock::time_point date)
{
    return serial + QLatin1Char(':') + path + QLatin1Char(':') + OVThumbnailCacheCenter::dateDescription(date);
}

}  // namespace

OVThumbnailCacheCenter& OVThumbnailCacheCenter::sharedInstance()
{
    static OVThumbnailCacheCenter center(applicationSupportFolder());
    return center;
}

OVThumbnailCacheCenter::OVThumbnailCacheCenter(const QString& appFolder, PreferenceReader preferences)
    : preferences_(preferences ? std::move(preferences) : PreferenceReader(settingsPreference))
{
    memoryCache_.setMaxCost(kMemoryCountLimit);
    if (appFolder.isEmpty() || !QDir().mkpath(appFolder))
        return;
    const QString root = QDir(appFolder).filePath(QStringLiteral("thumbnails"));
    if (QDir().mkpath(root))
        rootpath_ = root;
}

QString OVThumbnailCacheCenter::applicationSupportFolder(const QString& sub)
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (base.isEmpty())
        base = QDir::tempPath();
    const QString folder = QDir(base).filePath(QStringLiteral("Orvane"));
    return sub.isEmpty() ? folder : QDir(folder).filePath(sub);
}

QString OVThumbnailCacheCenter::MD5String(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    const qsizetype zero = bytes.indexOf('\0');
    if (zero >= 0)
        bytes.truncate(zero);
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Md5).toHex().toUpper());
}

QString OVThumbnailCacheCenter::dateDescription(std::chrono::system_clock::time_point date)
{
    const std::time_t seconds = std::chrono::system_clock::to_time_t(
        std::chrono::floor<std::chrono::seconds>(date));
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[48];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S +0000", &utc);
    return QString::fromLatin1(text);
}

QString OVThumbnailCacheCenter::folderNameForSerial(const QString& serial)
{
    // Percent-encoding everything but letters, digits, "-" and "_" leaves no
    // separator and no dot, so the name can never leave the cache root.
    const QByteArray encoded = QUrl::toPercentEncoding(serial, {}, ".~");
    return encoded.isEmpty() ? QStringLiteral("%") : QString::fromLatin1(encoded);
}

QString OVThumbnailCacheCenter::thumbnailFilePath(const QString& serial, const QString& path, Date date) const
{
    if (rootpath_.isEmpty() || !date)
        return {};
    const QString diskKey = path + dateDescription(*date);
    return QDir(rootpath_).filePath(folderNameForSerial(serial) + QLatin1Char('/') + MD5String(diskKey) +
                                    QStringLiteral(".jpg"));
}

QString OVThumbnailCacheCenter::iconFilePath(const QString& appId) const
{
    if (rootpath_.isEmpty())
        return {};
    return QDir(rootpath_).filePath(QStringLiteral("icons/") + MD5String(appId) + QStringLiteral(".png"));
}

bool OVThumbnailCacheCenter::memoryOn() const
{
    return !preferences_(QStringLiteral("DisableMemThumbnailCache"));
}

bool OVThumbnailCacheCenter::diskUsable() const
{
    return !rootpath_.isEmpty() && !preferences_(QStringLiteral("DisableDiskThumbnailCache"));
}

QByteArray OVThumbnailCacheCenter::memoryGet(const QString& key)
{
    std::lock_guard lock(memoryMutex_);
    const QByteArray* data = memoryCache_.object(key);
    return data ? *data : QByteArray();
}

bool OVThumbnailCacheCenter::memoryContains(const QString& key)
{
    std::lock_guard lock(memoryMutex_);
    return memoryCache_.contains(key);
}

void OVThumbnailCacheCenter::memoryPut(const QString& key, const QByteArray& data)
{
    std::lock_guard lock(memoryMutex_);
    memoryCache_.insert(key, new QByteArray(data), 1);
}

void OVThumbnailCacheCenter::memoryRemove(const QString& key)
{
    std::lock_guard lock(memoryMutex_);
    memoryCache_.remove(key);
}

void OVThumbnailCacheCenter::ensureFolder(const QString& folder)
{
    // Creates the folder (not its parents) when missing; a failure shows up
    // in the read or write that follows. Folders seen once are not probed again.
    if (knownFolders_.contains(folder))
        return;
    if (QFileInfo::exists(folder) || QDir().mkdir(folder))
        knownFolders_.insert(folder);
}

QByteArray OVThumbnailCacheCenter::readThrough(const QString& file, const QString& memoryKey)
{
    QByteArray data;
    {
        std::lock_guard lock(diskMutex_);
        if (fileNotExistDict_.contains(file))
            return {};
        ensureFolder(QFileInfo(file).path());
        QFile reader(file);
        if (reader.open(QIODevice::ReadOnly))
            data = reader.readAll();
        if (data.isNull() || reader.error() != QFileDevice::NoError) {
            fileNotExistDict_.insert(file, true);
            return {};
        }
    }
    if (memoryOn())
        memoryPut(memoryKey, data);
    return data;
}

bool OVThumbnailCacheCenter::write(const QString& file, const QByteArray& data)
{
    std::lock_guard lock(diskMutex_);
    ensureFolder(QFileInfo(file).path());
    QSaveFile writer(file);
    if (!writer.open(QIODevice::WriteOnly) || writer.write(data) != data.size() || !writer.commit()) {
        // The folder may have been removed behind our back: probe it next time.
        knownFolders_.remove(QFileInfo(file).path());
        return false;
    }
    fileNotExistDict_.remove(file);
    return true;
}

bool OVThumbnailCacheCenter::remove(const QString& file)
{
    std::lock_guard lock(diskMutex_);
    if (!QFileInfo::exists(file) || !QFile::remove(file))
        return false;
    fileNotExistDict_.remove(file);
    return true;
}

QByteArray OVThumbnailCacheCenter::memCachedThumbnail(const QString& serial, const QString& path, Date date)
{
    if (!date || !memoryOn())
        return {};
    return memoryGet(memoryKey(serial, path, *date));
}

QByteArray OVThumbnailCacheCenter::cachedThumbnail(const QString& serial, const QString& path, Date date)
{
    if (!date)
        return {};
    const QString key = memoryKey(serial, path, *date);
    if (memoryOn()) {
        QByteArray hit = memoryGet(key);
        if (!hit.isNull())
            return hit;
    }
    if (!diskUsable())
        return {};
    return readThrough(thumbnailFilePath(serial, path, date), key);
}

QString OVThumbnailCacheCenter::cachedThumbnailURL(const QString& serial, const QString& path, Date date)
{
    if (!date || !diskUsable())
        return {};
    const QString file = thumbnailFilePath(serial, path, date);
    std::lock_guard lock(diskMutex_);
    if (fileNotExistDict_.contains(file))
        return {};
    if (QFileInfo::exists(file))
        return file;
    fileNotExistDict_.insert(file, true);
    return {};
}

bool OVThumbnailCacheCenter::cacheThumbnail(const QByteArray& data, const QString& serial, const QString& path,
                                            Date date)
{
    if (!date || data.isNull())
        return false;
    const QString key = memoryKey(serial, path, *date);
    if (memoryOn()) {
        if (memoryContains(key))
            return true;
        memoryPut(key, data);
    }
    if (!diskUsable())
        return false;
    return write(thumbnailFilePath(serial, path, date), data);
}

bool OVThumbnailCacheCenter::purgeCacheThumbnail(const QString& serial, const QString& path, Date date)
{
    if (!date)
        return false;
    if (memoryOn())
        memoryRemove(memoryKey(serial, path, *date));
    if (!diskUsable())
        return false;
    return remove(thumbnailFilePath(serial, path, date));
}

QByteArray OVThumbnailCacheCenter::cachedIconWithAppId(const QString& appId)
{
    if (appId.isNull())
        return {};
    if (memoryOn()) {
        QByteArray hit = memoryGet(appId);
        if (!hit.isNull())
            return hit;
    }
    if (!diskUsable())
        return {};
    return readThrough(iconFilePath(appId), appId);
}

bool OVThumbnailCacheCenter::cacheIcon(const QByteArray& data, const QString& appId)
{
    if (data.isNull() || appId.isNull())
        return false;
    if (memoryOn()) {
        if (memoryContains(appId))
            return true;
        memoryPut(appId, data);
    }
    if (!diskUsable())
        return false;
    return write(iconFilePath(appId), data);
}

bool OVThumbnailCacheCenter::purgeCacheIcon(const QString& folder, const QString& appId)
{
    if (memoryOn())
        memoryRemove(appId);
    if (!diskUsable() || appId.isNull())
        return false;
    // The folder is one of ours ("icons"); anything that would climb out of
    // the cache root is refused.
    if (folder.isEmpty() || folder.contains(QLatin1Char('/')) || folder == QLatin1String(".") ||
        folder == QLatin1String(".."))
        return false;
    return remove(QDir(rootpath_).filePath(folder + QLatin1Char('/') + MD5String(appId) + QStringLiteral(".png")));
}

}  // namespace orv
