#include "app/viewmodels/PreviewTempFolder.h"

#include <QDir>
#include <QStandardPaths>
#include <sys/stat.h>
#include <unistd.h>

#include "app/viewmodels/OVThumbnailCacheCenter.h"

namespace orv::preview_temp_folder {

namespace {

// Makes `path` a private folder of ours: created 0700 when missing, and
// refused when it is a link, not a folder, or someone else's.
bool makePrivate(const QString& path)
{
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != ::getuid())
        return false;
    if ((info.st_mode & 0077) != 0 && ::chmod(native.constData(), 0700) != 0)
        return false;
    return true;
}

}  // namespace

QString root()
{
    QString base = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    if (base.isEmpty())
        return {};
    const QString app = QDir(base).filePath(QStringLiteral("Orvane"));
    QDir().mkpath(app);
    const QString folder = QDir(app).filePath(QStringLiteral("tmp"));
    return makePrivate(folder) ? folder : QString();
}

QString folderFor(const QString& serial, const QString& phoneFolder)
{
    const QString top = root();
    if (top.isEmpty())
        return {};
    const QString phone = QDir(top).filePath(OVThumbnailCacheCenter::folderNameForSerial(serial));
    if (!makePrivate(phone))
        return {};
    const QString folder = QDir(phone).filePath(OVThumbnailCacheCenter::MD5String(phoneFolder));
    return makePrivate(folder) ? folder : QString();
}

}  // namespace orv::preview_temp_folder
