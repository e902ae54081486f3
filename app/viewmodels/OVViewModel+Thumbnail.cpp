// Thumbnails of view models: the cache first, then one request to the phone;
// single photos and videos are decoded, rotated and cropped off the main
// thread, album and folder covers on it.

#include <QPainter>

#include "app/toolkit/NSImage+Resize.h"
#include "app/toolkit/NSImage+Transform.h"
#include "app/viewmodels/AppImages.h"
#include "app/viewmodels/OVFaceDetector.h"
#include "app/viewmodels/OVThumbnailCacheCenter.h"
#include "app/viewmodels/OVViewModel.h"
#include "app/viewmodels/ThumbnailImages.h"
#include "app/viewmodels/ViewModelSettings.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/model/OVImageAlbum.h"
#include "core/bridge/model/OVImageFile.h"
#include "core/bridge/model/OVVideoDirectory.h"
#include "core/bridge/model/OVVideoFile.h"
#include "platform/Dispatch.h"
#include "platform/OperationQueue.h"

namespace orv {

namespace {

QString qstr(const std::string& s) { return QString::fromStdString(s); }

OVThumbnailCacheCenter& cache() { return OVThumbnailCacheCenter::sharedInstance(); }

QImage decode(const QByteArray& bytes) { return thumbnail_images::decode(bytes); }

QImage decode(const OVFile::Data& data)
{
    if (!data || data->empty())
        return {};
    return decode(QByteArray::fromRawData(reinterpret_cast<const char*>(data->data()), qsizetype(data->size())));
}

QByteArray encodePng(const QImage& image) { return thumbnail_images::encodePng(image); }

// Turns a picture stored with `orientation` degrees upright.
QImage upright(const QImage& image, uint64_t orientation)
{
    if (orientation == 0 || image.isNull())
        return image;
    return imageRotatedByDegrees(image, 360.0 - double(orientation));
}

QString coverKey(const OVFileRef& record, const QString& folderPath)
{
    return QStringLiteral("%1_%2").arg(QLatin1String(record->className()), folderPath);
}

}  // namespace

void OVViewModel::takeMemoryCachedThumbnail()
{
    const QByteArray hit = cache().memCachedThumbnail(serialNumber(), path_, modifiedDate());
    const QImage image = hit.isNull() ? QImage() : decode(hit);
    if (image.isNull())
        return;
    if (auto visual = std::dynamic_pointer_cast<OVVisualFile>(ovfile_))
        visual->setThumbnail(std::make_shared<const std::vector<uint8_t>>(hit.begin(), hit.end()));
    thumbnailError_ = QString();
    setThumbnail(image);
}

QImage OVViewModel::thumbnail() const
{
    if (isAlbum_ && !tempThumbnailPath_.isNull()) {
        const auto& children = childrenViewModels();
        if (children.empty() || children.front()->path() != tempThumbnailPath_)
            return {};
    }
    return thumbnail_;
}

void OVViewModel::setThumbnail(const QImage& image)
{
    if (image.cacheKey() == thumbnail_.cacheKey() && image.isNull() == thumbnail_.isNull())
        return;
    thumbnail_ = image;
    emit thumbnailChanged();
}

uint64_t OVViewModel::thumbnailOrientation() const
{
    auto image = std::dynamic_pointer_cast<OVImageFile>(ovfile_);
    return image ? image->orientation() : 0;
}

QImage OVViewModel::iconImageWithImage(const QImage& image)
{
    if (!viewmodel_settings::useFaceDetection() || image.width() == image.height())
        return squareImage(image);
    const auto face = OVFaceDetector::chosenFace(image);
    if (!face)
        return squareImage(image);
    return squareImageWithCenterRect(image, *face);
}

QImage OVViewModel::albumCoverWithImage(const QImage& image, int count)
{
    QImage cover = app_images::albumFrame(count >= 3 ? 3 : count == 2 ? 2 : 1);
    if (image.isNull())
        return cover;
    QImage square = iconImageWithImage(image);
    if (square.isNull())
        square = squareImage(image);
    QPainter painter(&cover);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(app_images::pictureRect(), square);
    return cover;
}

void OVViewModel::loadThumbnail(OVDeviceClient& client)
{
    setSerialNumber(qstr(client.serialNumber()));
    if (std::dynamic_pointer_cast<OVImageAlbum>(ovfile_)) {
        loadAlbumCover(client);
        return;
    }
    if (std::dynamic_pointer_cast<OVVideoDirectory>(ovfile_)) {
        loadVideoFolderCover(client);
        return;
    }
    const QString serial = serialNumber();
    const QByteArray hit = cache().cachedThumbnail(serial, path_, modifiedDate());
    if (!hit.isNull()) {
        const QImage image = decode(hit);
        if (!image.isNull()) {
            thumbnailError_ = QString();
            setThumbnail(image);
            return;
        }
    }
    std::weak_ptr<OVViewModel> weak = weak_from_this();
    auto callback = [weak, serial](std::optional<Error> error) {
        auto self = weak.lock();
        if (!self)
            return;
        self->loadThumbnailOperation_.reset();
        if (error) {
            self->thumbnailError_ = QString::fromStdString(error->message);
            self->setThumbnail(QImage());
            return;
        }
        self->fetchThumbnailDone(serial);
    };
    if (auto image = std::dynamic_pointer_cast<OVImageFile>(ovfile_)) {
        loadThumbnailOperation_ = image->imageId() != 0 ? client.thumbnailsForImages({ovfile_}, callback)
                                                        : client.thumbnailsForImageFiles({ovfile_}, callback);
    } else if (auto video = std::dynamic_pointer_cast<OVVideoFile>(ovfile_)) {
        loadThumbnailOperation_ = video->videoId() != 0 ? client.thumbnailsForVideos({ovfile_}, callback)
                                                        : client.thumbnailsForVideoFiles({ovfile_}, callback);
    } else {
        thumbnailError_ = QString();
        setThumbnail(QImage());
    }
}

void OVViewModel::fetchThumbnailDone(const QString& serial)
{
    auto visual = std::dynamic_pointer_cast<OVVisualFile>(ovfile_);
    if (!visual || !(isImage_ || isVideo_))
        return;
    const OVFile::Data data = visual->thumbnail();
    if (!data || data->empty()) {
        thumbnailError_ = visual->getThumbnailError()
                              ? QStringLiteral("APK getThumbnailBitmap failed null error!")
                              : QStringLiteral("APK getThumbnailBitmap failed without null error!");
        setThumbnail(QImage());
        return;
    }
    // Everything the background work needs is copied here, on the main
    // thread: the model may get another file before the work is done.
    const QString path = path_;
    const OVFile::Date date = modifiedDate();
    const uint64_t orientation = thumbnailOrientation();
    std::weak_ptr<OVViewModel> weak = weak_from_this();
    dispatch::Queue::global(dispatch::Priority::Low)->async([weak, data, path, date, orientation, serial] {
        const QImage picture = upright(decode(data), orientation);
        if (picture.isNull()) {
            dispatch::Queue::main()->async([weak, path] {
                auto self = weak.lock();
                if (!self || self->path_ != path)
                    return;
                self->thumbnailError_ = QStringLiteral("Failed to create image from thumbnail data!");
                self->setThumbnail(QImage());
            });
            return;
        }
        const QImage square = iconImageWithImage(picture);
        cache().cacheThumbnail(encodePng(square), serial, path, date);
        dispatch::Queue::main()->async([weak, path, square] {
            auto self = weak.lock();
            if (!self || self->path_ != path)
                return;
            self->setThumbnail(square);
        });
    });
}

void OVViewModel::loadAlbumCover(OVDeviceClient& client)
{
    const auto& models = childrenViewModels();
    if (models.empty()) {
        setThumbnail(albumCoverWithImage(QImage(), 0));
        return;
    }
    const int count = int(models.size());
    const OVFileRef first = models.front()->ovfile();
    const QString key = coverKey(first, path_);
    const QString serial = serialNumber();
    QByteArray hit;
    if (!tempThumbnailPath_.isNull())
        hit = cache().cachedThumbnail(serial, key, first->modifiedDate());
    tempThumbnailPath_ = models.front()->path();
    if (!hit.isNull()) {
        thumbnailError_ = QString();
        setThumbnail(albumCoverWithImage(decode(hit), count));
        return;
    }
    std::weak_ptr<OVViewModel> weak = weak_from_this();
    auto callback = [weak, first, key, serial, count](std::optional<Error> error) {
        if (auto self = weak.lock())
            self->finishCover(first, error, key, serial, true, count);
    };
    auto image = std::dynamic_pointer_cast<OVImageFile>(first);
    if (image && image->imageId() != 0)
        client.thumbnailsForImages({first}, callback);
    else
        client.thumbnailsForImageFiles({first}, callback);
}

void OVViewModel::loadVideoFolderCover(OVDeviceClient& client)
{
    const auto records = ovfile_->children().value_or(std::vector<OVFileRef>{});
    if (records.empty()) {
        setThumbnail(albumCoverWithImage(QImage(), 1));
        return;
    }
    const OVFileRef first = records.front();
    tempThumbnailPath_ = qstr(first->path());
    const QString key = coverKey(ovfile_, path_);
    const QString serial = serialNumber();
    const QByteArray hit = cache().cachedThumbnail(serial, key, first->modifiedDate());
    if (!hit.isNull()) {
        thumbnailError_ = QString();
        setThumbnail(albumCoverWithImage(decode(hit), int(records.size())));
        return;
    }
    std::weak_ptr<OVViewModel> weak = weak_from_this();
    auto callback = [weak, first, key, serial](std::optional<Error> error) {
        if (auto self = weak.lock())
            self->finishCover(first, error, key, serial, false, -1);
    };
    auto video = std::dynamic_pointer_cast<OVVideoFile>(first);
    if (video && video->videoId() != 0)
        client.thumbnailsForVideos({first}, callback);
    else
        client.thumbnailsForVideoFiles({first}, callback);
}

void OVViewModel::finishCover(const OVFileRef& first, const std::optional<Error>& error, const QString& key,
                              const QString& serial, bool turnUpright, int count)
{
    thumbnailError_ = error ? QString::fromStdString(error->message) : QString();
    auto visual = std::dynamic_pointer_cast<OVVisualFile>(first);
    const OVFile::Data data = visual ? visual->thumbnail() : nullptr;
    if (!data || data->empty()) {
        setThumbnail(QImage());
        return;
    }
    QImage picture = decode(data);
    if (turnUpright)
        picture = upright(picture, visual->orientation());
    if (!picture.isNull())
        cache().cacheThumbnail(encodePng(picture), serial, key, first->modifiedDate());
    // A folder counts its children as they are now; an album as they were at the request.
    if (count < 0)
        count = int(ovfile_->children().value_or(std::vector<OVFileRef>{}).size());
    setThumbnail(albumCoverWithImage(picture, count));
}

void OVViewModel::cancelLoadThumbnail()
{
    if (std::dynamic_pointer_cast<OVImageAlbum>(ovfile_))
        return;
    if (loadThumbnailOperation_) {
        loadThumbnailOperation_->cancel();
        loadThumbnailOperation_.reset();
    }
}

void OVViewModel::cleanupThumbnail(OVDeviceClient& client)
{
    cache().purgeCacheThumbnail(qstr(client.serialNumber()), path_, modifiedDate());
}

}  // namespace orv
