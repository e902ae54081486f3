#include "app/viewmodels/OVAudioAlbumViewModel.h"

#include "app/viewmodels/AppImages.h"
#include "app/viewmodels/OVThumbnailCacheCenter.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "platform/OperationQueue.h"

namespace orv {

namespace {

QByteArray bytesOf(const OVFile::Data& data)
{
    if (!data || data->empty())
        return {};
    return QByteArray(reinterpret_cast<const char*>(data->data()), qsizetype(data->size()));
}

OVFile::Data dataOf(const QByteArray& bytes) { return std::make_shared<const std::vector<uint8_t>>(bytes.begin(), bytes.end()); }

}  // namespace

std::shared_ptr<OVAudioAlbumViewModel> OVAudioAlbumViewModel::make(std::shared_ptr<OVAudioAlbum> album,
                                                                   const QString& serialNumber)
{
    return std::make_shared<OVAudioAlbumViewModel>(std::move(album), serialNumber);
}

OVAudioAlbumViewModel::OVAudioAlbumViewModel(std::shared_ptr<OVAudioAlbum> album, const QString& serialNumber)
    : OVViewModel(album, serialNumber), ovAlbum_(album)
{
    if (!album)
        return;
    songs_ = album->children().value_or(std::vector<OVFileRef>{});
    const QByteArray hit =
        OVThumbnailCacheCenter::sharedInstance().memCachedThumbnail(serialNumber, coverKey(), album->modifiedDate());
    const QImage image = hit.isNull() ? QImage() : QImage::fromData(hit);
    if (!image.isNull()) {
        setThumbnailError(QString());
        setThumbnail(image);
        album->setThumbnail(dataOf(hit));
    }
}

std::shared_ptr<OVAudioAlbum> OVAudioAlbumViewModel::ovAlbum() const
{
    std::lock_guard lock(albumMutex_);
    return ovAlbum_;
}

void OVAudioAlbumViewModel::setOvAlbum(std::shared_ptr<OVAudioAlbum> album)
{
    std::lock_guard lock(albumMutex_);
    ovAlbum_ = std::move(album);
}

QString OVAudioAlbumViewModel::albumName() const
{
    auto album = ovAlbum();
    return album ? QString::fromStdString(album->name()) : QString();
}

QString OVAudioAlbumViewModel::artist() const
{
    auto album = ovAlbum();
    return album ? QString::fromStdString(album->artist()) : QString();
}

bool OVAudioAlbumViewModel::hasCoverImage() const
{
    auto album = ovAlbum();
    return album && album->thumbnail() && !album->thumbnail()->empty();
}

QImage OVAudioAlbumViewModel::coverImage() const
{
    auto album = ovAlbum();
    const QImage cover = album ? QImage::fromData(bytesOf(album->thumbnail())) : QImage();
    return cover.isNull() ? app_images::audioAlbum() : cover;
}

QString OVAudioAlbumViewModel::coverKey() const
{
    auto album = ovAlbum();
    return album ? QStringLiteral("%1_%2").arg(QLatin1String(album->className())).arg(album->albumId()) : QString();
}

void OVAudioAlbumViewModel::showCover(const QByteArray& bytes)
{
    setThumbnail(QImage::fromData(bytes));
}

void OVAudioAlbumViewModel::loadThumbnail(OVDeviceClient& client)
{
    auto album = ovAlbum();
    if (!album)
        return;
    const QString serial = QString::fromStdString(client.serialNumber());
    setSerialNumber(serial);
    auto& cache = OVThumbnailCacheCenter::sharedInstance();
    const QString key = coverKey();
    const QByteArray hit = cache.cachedThumbnail(serial, key, album->modifiedDate());
    if (!hit.isNull()) {
        album->setThumbnail(dataOf(hit));
        showCover(hit);
        return;
    }
    std::weak_ptr<OVAudioAlbumViewModel> weak = std::static_pointer_cast<OVAudioAlbumViewModel>(shared_from_this());
    coverOperation_ = client.thumbnailsAudioAlbums({album}, [weak, album, serial, key](std::optional<Error> error) {
        auto self = weak.lock();
        if (!self)
            return;
        self->coverOperation_.reset();
        if (error) {
            self->setThumbnailError(QString::fromStdString(error->message));
            self->setThumbnail(QImage());
            return;
        }
        const QByteArray bytes = bytesOf(album->thumbnail());
        if (bytes.isEmpty())
            return;
        OVThumbnailCacheCenter::sharedInstance().cacheThumbnail(bytes, serial, key, album->modifiedDate());
        self->showCover(bytes);
    });
}

void OVAudioAlbumViewModel::cancelLoadThumbnail()
{
    if (coverOperation_) {
        coverOperation_->cancel();
        coverOperation_.reset();
    }
}

}  // namespace orv
