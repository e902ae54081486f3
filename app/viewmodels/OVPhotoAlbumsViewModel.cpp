#include "app/viewmodels/OVPhotoAlbumsViewModel.h"

#include <QHash>
#include <QSet>
#include <algorithm>

#include "app/toolkit/NSString+Path.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/model/OVImageFile.h"
#include "core/bridge/model/OVVideoDirectory.h"
#include "core/bridge/model/OVVideoFile.h"

namespace orv {

namespace {

QString qstr(const std::string& s) { return QString::fromStdString(s); }

std::shared_ptr<OVImageAlbum> albumFor(const std::shared_ptr<OVDirectoryFile>& folder, int64_t id)
{
    auto album = std::make_shared<OVImageAlbum>();
    album->setPath(folder->path());
    album->setAlbumId(id);
    album->setName(lastPathComponent(qstr(folder->path())).toStdString());
    return album;
}

QString withoutTrailingSlash(QString path)
{
    if (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

}  // namespace

OVPhotoAlbumsViewModel::OVPhotoAlbumsViewModel(const QString& serialNumber) : serialNumber_(serialNumber) {}

QString OVPhotoAlbumsViewModel::serialNumber() const
{
    std::lock_guard lock(lock_);
    return serialNumber_;
}

void OVPhotoAlbumsViewModel::setSerialNumber(const QString& serial)
{
    std::lock_guard lock(lock_);
    serialNumber_ = serial;
}

std::shared_ptr<OVImageAlbum> OVPhotoAlbumsViewModel::fromMacDirectory() { return albumFor(OVDeviceClient::fromMacDir(), -2); }

std::shared_ptr<OVImageAlbum> OVPhotoAlbumsViewModel::cameraRollDirectory() { return albumFor(OVDeviceClient::cameraDir(), -1); }

bool OVPhotoAlbumsViewModel::containsLocked(const OVViewModel& album) const
{
    return std::any_of(itemlist_.begin(), itemlist_.end(), [&](const auto& a) { return a->isEqual(album); });
}

void OVPhotoAlbumsViewModel::setAlbums(const std::vector<OVFileRef>& files)
{
    std::lock_guard lock(lock_);
    struct Cover {
        QImage thumbnail;
        QString path;
    };
    QHash<QString, Cover> covers;
    for (const auto& album : itemlist_) {
        const QImage thumbnail = album->thumbnail();
        if (!thumbnail.isNull() && !album->thumbnailPath().isNull())
            covers.insert(album->path(), Cover{thumbnail, album->thumbnailPath()});
    }
    itemlist_.clear();
    const QString camera = qstr(OVDeviceClient::cameraDir()->path());
    const QString fromMac = qstr(OVDeviceClient::fromMacDir()->path());
    for (const auto& file : files) {
        if (!std::dynamic_pointer_cast<OVAlbum>(file) && !std::dynamic_pointer_cast<OVVideoDirectory>(file))
            continue;
        auto album = OVPhotoAlbumViewModel::make(file, serialNumber_);
        if (album->totalItemNumber() == 0)
            continue;
        if (isSamePath(camera, album->path()))
            cameraAlbum_ = album;
        else if (isSamePath(fromMac, album->path()))
            fromMacAlbum_ = album;
        album->sortByTime();
        const auto cover = covers.constFind(album->path());
        if (cover != covers.cend() && album->childrenViewModels().front()->path() == cover->path) {
            album->setThumbnailPath(cover->path);
            album->setThumbnail(cover->thumbnail);
        }
        itemlist_.push_back(std::move(album));
    }
    // A camera or from-computer album that this fetch no longer lists comes
    // back only as an empty album: its earlier items may be gone from the
    // phone, and the next count drops it.
    for (auto* kept : {&cameraAlbum_, &fromMacAlbum_}) {
        if (!*kept || containsLocked(**kept))
            continue;
        const OVFileRef old = (*kept)->ovfile();
        auto shell = std::make_shared<OVImageAlbum>();
        shell->setPath(old->path());
        shell->setName(old->name());
        if (auto album = std::dynamic_pointer_cast<OVAlbum>(old))
            shell->setAlbumId(album->albumId());
        *kept = OVPhotoAlbumViewModel::make(shell, serialNumber_);
        itemlist_.push_back(*kept);
    }
}

void OVPhotoAlbumsViewModel::addedOVFiles(const std::vector<OVFileRef>& added, const std::vector<OVFileRef>& deleted)
{
    std::lock_guard lock(lock_);
    QSet<QString> folders;
    for (const auto& album : itemlist_)
        folders.insert(lowercaseStringWithSlash(album->path()));
    for (const auto& file : added) {
        if (!file)
            continue;
        const QString path = qstr(file->path());
        const QString parent = lowercaseStringByDeletingLastPathComponentWithSlash(path);
        if (deletingLastPathComponent(path).isEmpty() || folders.contains(parent))
            continue;
        const QString folderPath = deletingLastPathComponent(path);
        const std::string name = lastPathComponent(folderPath).toStdString();
        if (auto image = std::dynamic_pointer_cast<OVImageFile>(file)) {
            auto album = std::make_shared<OVImageAlbum>();
            album->setPath(folderPath.toStdString());
            album->setAlbumId(image->albumId());
            album->setName(name);
            itemlist_.push_back(OVPhotoAlbumViewModel::make(album, serialNumber_));
        } else if (auto video = std::dynamic_pointer_cast<OVVideoFile>(file)) {
            auto folder = std::make_shared<OVVideoDirectory>();
            folder->setPath(folderPath.toStdString());
            folder->setVideoDirectoryId(video->albumId());
            folder->setName(name);
            itemlist_.push_back(OVPhotoAlbumViewModel::make(folder, serialNumber_));
        }
        folders.insert(parent);
    }
    for (const auto& album : itemlist_)
        album->addedOVFiles(added, deleted);
    dropEmptyLocked();
}

void OVPhotoAlbumsViewModel::deleteOVFile(const OVFileRef& file)
{
    std::lock_guard lock(lock_);
    for (const auto& album : itemlist_)
        album->deleteOVFile(file);
    dropEmptyLocked();
}

void OVPhotoAlbumsViewModel::addAlbum(const OVPhotoAlbumViewModelRef& album)
{
    std::lock_guard lock(lock_);
    if (album && !containsLocked(*album))
        itemlist_.push_back(album);
}

void OVPhotoAlbumsViewModel::deleteAlbum(const OVPhotoAlbumViewModelRef& album)
{
    if (!album)
        return;
    std::lock_guard lock(lock_);
    std::erase_if(itemlist_, [&](const auto& a) { return a->isEqual(*album); });
}

void OVPhotoAlbumsViewModel::removeAllObjects()
{
    std::lock_guard lock(lock_);
    itemlist_.clear();
}

void OVPhotoAlbumsViewModel::dropEmptyLocked()
{
    std::erase_if(itemlist_, [](const auto& a) { return a->totalItemNumber() == 0; });
}

int64_t OVPhotoAlbumsViewModel::itemNumberForSection(int64_t section)
{
    std::lock_guard lock(lock_);
    dropEmptyLocked();
    return section == 0 ? int64_t(itemlist_.size()) : 0;
}

OVPhotoAlbumViewModelRef OVPhotoAlbumsViewModel::itemForIndex(int64_t index) const
{
    if (index < 0 || index >= int64_t(itemlist_.size()))
        return nullptr;
    return itemlist_[size_t(index)];
}

int64_t OVPhotoAlbumsViewModel::indexForItem(const OVViewModel& album) const
{
    for (size_t i = 0; i < itemlist_.size(); ++i) {
        if (itemlist_[i]->isEqual(album))
            return int64_t(i);
    }
    return -1;
}

std::optional<OVIndexPath> OVPhotoAlbumsViewModel::indexSetForItem(const OVViewModel& album) const
{
    const int64_t index = indexForItem(album);
    if (index < 0)
        return std::nullopt;
    return OVIndexPath{0, index};
}

std::vector<OVPhotoAlbumViewModelRef> OVPhotoAlbumsViewModel::itemsForIndexSets(
    const std::vector<OVIndexPath>& positions) const
{
    std::vector<OVPhotoAlbumViewModelRef> albums;
    for (const auto& position : positions) {
        if (auto album = itemForIndex(position.item))
            albums.push_back(std::move(album));
    }
    return albums;
}

OVPhotoAlbumViewModelRef OVPhotoAlbumsViewModel::albumByPath(const QString& path) const
{
    const QString wanted = withoutTrailingSlash(path);
    std::lock_guard lock(lock_);
    for (const auto& album : itemlist_) {
        if (withoutTrailingSlash(album->path()).compare(wanted, Qt::CaseInsensitive) == 0)
            return album;
    }
    return nullptr;
}

OVPhotoAlbumViewModelRef OVPhotoAlbumsViewModel::fromMacAlbumOrCreateOne()
{
    if (!fromMacAlbum_) {
        fromMacAlbum_ = OVPhotoAlbumViewModel::make(fromMacDirectory(), serialNumber());
        std::lock_guard lock(lock_);
        itemlist_.push_back(fromMacAlbum_);
    }
    return fromMacAlbum_;
}

OVPhotoAlbumViewModelRef OVPhotoAlbumsViewModel::cameraAlbumOrCreateOne()
{
    if (!cameraAlbum_) {
        cameraAlbum_ = OVPhotoAlbumViewModel::make(cameraRollDirectory(), serialNumber());
        std::lock_guard lock(lock_);
        itemlist_.push_back(cameraAlbum_);
    }
    return cameraAlbum_;
}

std::vector<OVPhotoAlbumViewModelRef> OVPhotoAlbumsViewModel::itemlist() const
{
    std::lock_guard lock(lock_);
    return itemlist_;
}

void OVPhotoAlbumsViewModel::setItemlist(std::vector<OVPhotoAlbumViewModelRef> list)
{
    std::lock_guard lock(lock_);
    itemlist_ = std::move(list);
}

}  // namespace orv
