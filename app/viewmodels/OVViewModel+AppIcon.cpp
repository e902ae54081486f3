// App-data folders shown with their application's icon on the folder: from
// the application's own images, the cache, or the icon server.

#include <QPainter>
#include <QUrl>
#include <QUuid>
#include <cmath>

#include "app/viewmodels/AppImages.h"
#include "app/viewmodels/OVAppFolderTable.h"
#include "app/viewmodels/OVImageDownloader.h"
#include "app/viewmodels/OVThumbnailCacheCenter.h"
#include "app/viewmodels/OVViewModel.h"
#include "platform/Dispatch.h"

namespace orv {

namespace {

OVImageDownloader* injectedDownloader = nullptr;

OVImageDownloader& downloader() { return injectedDownloader ? *injectedDownloader : OVImageDownloader::sharedInstance(); }

// Draws `icon` into `rect` of `canvas` with a soft shadow one point below it.
void drawWithShadow(QPainter& painter, const QImage& icon, const QRect& rect)
{
    QImage shadow = icon.scaled(rect.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                        .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    {
        QPainter tint(&shadow);
        tint.setCompositionMode(QPainter::CompositionMode_SourceIn);
        tint.fillRect(shadow.rect(), QColor(0, 0, 0, int(0.28 * 255)));
    }
    painter.drawImage(rect.translated(0, 1), shadow);
    painter.drawImage(rect, icon);
}

QImage composeOnFolder(const QImage& icon, int width, int height, const QString& name)
{
    const QImage folder = app_images::iconFolder();
    QImage result(folder.size(), QImage::Format_ARGB32_Premultiplied);
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(0, 0, folder);
    // Centred across, 8 points below the centre (y measured from the bottom).
    const int x = int(std::floor((folder.width() - width) / 2.0));
    const int yUp = int(std::floor((folder.height() - height) / 2.0)) - 8;
    drawWithShadow(painter, icon, QRect(x, folder.height() - yUp - height, width, height));
    painter.end();
    result.setText(QStringLiteral("name"), name);
    return result;
}

}  // namespace

void OVViewModel::setIconDownloader(OVImageDownloader* downloader) { injectedDownloader = downloader; }

bool OVViewModel::hasAppIcon() const
{
    const auto entry = OVAppFolderTable::entry(rootRelativePath_);
    return entry.contains(QStringLiteral("id")) || entry.contains(QStringLiteral("imagename"));
}

void OVViewModel::setGotAppIcon(bool got)
{
    gotAppIcon_ = got;
    emit gotAppIconChanged();
}

QString OVViewModel::iconDownloadUUID() const
{
    std::lock_guard lock(atomicMutex_);
    return iconDownloadUUID_;
}

void OVViewModel::setIconDownloadUUID(const QString& uuid)
{
    std::lock_guard lock(atomicMutex_);
    iconDownloadUUID_ = uuid;
}

QImage OVViewModel::specialFolderIconWithName(const QString& name)
{
    const QImage icon = app_images::namedImage(name);
    if (icon.isNull())
        return app_images::iconFolder();
    return composeOnFolder(icon, icon.width(), icon.height(), name);
}

void OVViewModel::renderAppIcon(const QByteArray& bytes, const QString& name)
{
    const QImage icon = QImage::fromData(bytes);
    if (icon.isNull())
        return;
    appicon_ = composeOnFolder(icon, 48, 48, name);
}

void OVViewModel::loadIcon(OVDeviceClient*)
{
    const auto entry = OVAppFolderTable::entry(rootRelativePath_);
    if (entry.contains(QStringLiteral("imagename"))) {
        appicon_ = specialFolderIconWithName(entry.value(QStringLiteral("imagename")).toString());
        setGotAppIcon(!appicon_.isNull());
        return;
    }
    if (!entry.contains(QStringLiteral("id"))) {
        setGotAppIcon(false);
        return;
    }
    const QString packageId = entry.value(QStringLiteral("id")).toString();
    const QString name = QStringLiteral("appicon_%1").arg(packageId);
    const QByteArray cached = OVThumbnailCacheCenter::sharedInstance().cachedIconWithAppId(packageId);
    if (!cached.isNull()) {
        renderAppIcon(cached, name);
        setGotAppIcon(!appicon_.isNull());
        return;
    }
    if (!OVAppFolderTable::connectionOK()) {
        setGotAppIcon(false);
        return;
    }
    cancelLoadIcon();
    const QString uuid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    setIconDownloadUUID(uuid);
    const QUrl url(OVAppFolderTable::iconServer() +
                   QStringLiteral("/drawable/%1/icon_provided_by_kestrana.png")
                       .arg(QString::fromLatin1(QUrl::toPercentEncoding(packageId))));
    std::weak_ptr<OVViewModel> weak = weak_from_this();
    downloader().downloadImage(url, uuid, [weak, packageId, name](const QUrl&, const QString& uuid, const QByteArray& data) {
        // Called on the downloader's thread; the model lives on the main one.
        dispatch::Queue::main()->async([weak, packageId, name, uuid, data] {
            auto self = weak.lock();
            // A download that was replaced or cancelled meanwhile must not
            // clear the newer one's id or flip the flag.
            if (!self || self->iconDownloadUUID() != uuid)
                return;
            self->setIconDownloadUUID(QString());
            if (data.isNull()) {
                self->setGotAppIcon(false);
                return;
            }
            OVThumbnailCacheCenter::sharedInstance().cacheIcon(data, packageId);
            self->renderAppIcon(data, name);
            self->setGotAppIcon(!self->appicon_.isNull());
        });
    });
}

void OVViewModel::cancelLoadIcon()
{
    const QString uuid = iconDownloadUUID();
    if (uuid.isEmpty())
        return;
    downloader().cancelDownloadImageWithUUID(uuid);
    setIconDownloadUUID(QString());
}

}  // namespace orv
