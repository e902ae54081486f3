// The Quick Look side of a view model: a placeholder of the phone file's
// name, size and dates while the real file is fetched, then the local copy.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>

#include "app/viewmodels/OVViewModel.h"
#include "app/toolkit/NSString+Path.h"
#include "app/viewmodels/PreviewTempFolder.h"

namespace orv {

void OVViewModel::createQLPreviewItem()
{
    const QString folder =
        preview_temp_folder::folderFor(serialNumber(), deletingLastPathComponent(path_));
    if (folder.isEmpty())
        return;
    // The name is used literally: a "/" inside it cannot come from a phone
    // path component, but stays harmless if it ever did.
    const QString name = QString(rawfilename()).replace(QLatin1Char('/'), QLatin1Char('_')) + QStringLiteral(".tmp");
    const QString placeholder = QDir(folder).filePath(name);
    QFile::remove(placeholder);
    QFile file(placeholder);
    // Created new (never through an existing link), then sized without
    // writing: a video of many gigabytes takes no memory and no disk.
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        file.resize(qint64(filesize()));
        const QDateTime modified = qDateTimeFromFileDate(modifiedDate());
        if (modified.isValid())
            file.setFileTime(modified, QFileDevice::FileModificationTime);
        file.close();
    }
    previewItemURL_ = placeholder;
}

void OVViewModel::cleanQLPreviewItem()
{
    const QString cached = cachedURL();
    if (!cached.isEmpty())
        QFile::remove(cached);
    if (!previewItemURL_.isEmpty())
        QFile::remove(previewItemURL_);
}

QString OVViewModel::previewItemURL() const
{
    const QString cached = cachedURL();
    return cached.isEmpty() ? previewItemURL_ : cached;
}

QString OVViewModel::cachedURL() const
{
    std::lock_guard lock(atomicMutex_);
    return cachedURL_;
}

void OVViewModel::setCachedURL(const QString& url)
{
    std::lock_guard lock(atomicMutex_);
    cachedURL_ = url;
}

bool OVViewModel::canDownloadPreview() const
{
    if (isImage_ || isVideo_)
        return true;
    static const QStringList extensions = {QStringLiteral("txt"), QStringLiteral("rtf"),   QStringLiteral("log"),
                                           QStringLiteral("xml"), QStringLiteral("plist"), QStringLiteral("eml"),
                                           QStringLiteral("mp3")};
    if (isDir_)
        return false;
    return extensions.contains(QFileInfo(rawfilename()).suffix().toLower());
}

QImage OVViewModel::previewCard() const
{
    QImage card(270, 270, QImage::Format_ARGB32_Premultiplied);
    card.fill(Qt::transparent);
    if (thumbnail_.isNull())
        return card;
    QPainter painter(&card);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    // A soft shadow under the white card, 3 points down.
    for (int spread = 3; spread >= 1; --spread)
        painter.fillRect(QRect(8, 8 + 3, 254, 254).adjusted(-spread, -spread, spread, spread),
                         QColor(0, 0, 0, int(0.44 * 255 / (spread * 3))));
    painter.fillRect(QRect(8, 8, 254, 254), Qt::white);
    painter.drawImage(QRect(16, 16, 238, 238), thumbnail_);
    return card;
}

}  // namespace orv
