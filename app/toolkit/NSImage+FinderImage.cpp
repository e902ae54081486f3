#include "app/toolkit/NSImage+FinderImage.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QHash>
#include <QIcon>
#include <QMimeDatabase>
#include <QPainter>
#include <QThread>
#include <mutex>

#include "app/toolkit/ApplicationImages.h"

namespace orv {

namespace {

QString normalised(const QString& extension) { return extension.trimmed().toLower(); }

struct LetteredIcons {
    std::mutex mutex;
    QHash<QString, QImage> byExtension;
};

LetteredIcons& letteredIcons()
{
    static LetteredIcons cache;
    return cache;
}

QImage lettered(const QImage& base, const QString& extension)
{
    QImage icon(base.size(), QImage::Format_ARGB32_Premultiplied);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.drawImage(icon.rect(), base);
    QFont font;
    font.setPixelSize(12);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::gray);
    const QFontMetrics metrics(font);
    const int width = base.width() - 18;
    // 13 above the bottom edge, the way the base images leave room for it.
    const QRect box(9, base.height() - 13 - metrics.height(), width, metrics.height());
    painter.drawText(box, Qt::AlignHCenter | Qt::AlignVCenter,
                     metrics.elidedText(extension.toUpper(), Qt::ElideMiddle, width));
    return icon;
}

}  // namespace

QImage iconForFileType(const QString& extension)
{
    const QString ext = normalised(extension);
    const QImage own = namedImage(QStringLiteral("icon_") + ext);
    if (!own.isNull())
        return own;
    LetteredIcons& cache = letteredIcons();
    {
        std::lock_guard lock(cache.mutex);
        if (const auto hit = cache.byExtension.constFind(ext); hit != cache.byExtension.cend())
            return *hit;
    }
    const QImage base = namedImage(QStringLiteral("icon_other"));
    if (base.isNull())
        return finderIconForFileType(ext);
    const QImage icon = lettered(base, ext);
    std::lock_guard lock(cache.mutex);
    return *cache.byExtension.insert(ext, icon);
}

QImage finderIconForSmallFolder() { return namedImage(QStringLiteral("icon_smallfolder")); }
QImage finderIconForLargeFolder() { return namedImage(QStringLiteral("icon_folder")); }

QImage finderIconForFileType(const QString& extension)
{
    // Theme icons render through pixmaps, which belong to the GUI thread.
    const QCoreApplication* app = QCoreApplication::instance();
    if (app && QThread::currentThread() == app->thread()) {
        const QMimeType type =
            QMimeDatabase().mimeTypeForFile(QStringLiteral("file.") + normalised(extension), QMimeDatabase::MatchExtension);
        QIcon icon = QIcon::fromTheme(type.iconName());
        if (icon.isNull())
            icon = QIcon::fromTheme(type.genericIconName());
        if (!icon.isNull())
            return icon.pixmap(QSize(128, 128)).toImage();
    }
    return namedImage(QStringLiteral("finderFileIcon"));
}

QImage swatchWithColor(const QColor& color, const QSize& size)
{
    QImage swatch(size, QImage::Format_ARGB32_Premultiplied);
    swatch.fill(color);
    return swatch;
}

}  // namespace orv
