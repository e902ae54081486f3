#pragma once
// The list of photo albums (or video folders) of one phone: one album model
// per album with items, the camera and from-computer albums picked out,
// covers kept across reloads, library changes applied (new folders make new
// albums, emptied albums leave). Called on the main thread; its lock is
// always taken before an album's own.

#include <QString>
#include <mutex>
#include <optional>
#include <vector>

#include "app/viewmodels/OVIndexPath.h"
#include "app/viewmodels/OVPhotoAlbumViewModel.h"
#include "core/bridge/model/OVImageAlbum.h"

namespace orv {

class OVPhotoAlbumsViewModel {
public:
    explicit OVPhotoAlbumsViewModel(const QString& serialNumber);

    QString serialNumber() const;
    void setSerialNumber(const QString& serial);
    OVPhotoAlbumViewModelRef fromMacAlbum() const { return fromMacAlbum_; }
    OVPhotoAlbumViewModelRef cameraAlbum() const { return cameraAlbum_; }

    // Replaces the list with the fetched albums and folders that hold items.
    void setAlbums(const std::vector<OVFileRef>& files);
    void addedOVFiles(const std::vector<OVFileRef>& added, const std::vector<OVFileRef>& deleted);
    void deleteOVFile(const OVFileRef& file);
    void addAlbum(const OVPhotoAlbumViewModelRef& album);
    void deleteAlbum(const OVPhotoAlbumViewModelRef& album);
    void removeAllObjects();

    // Drops albums left without items, then counts (section 0 only).
    int64_t itemNumberForSection(int64_t section);
    int64_t totalItemNumber() { return itemNumberForSection(0); }
    int64_t sectionNumber() const { return 0; }
    // Null for an index out of range.
    OVPhotoAlbumViewModelRef itemForIndex(int64_t index) const;
    // -1 when absent.
    int64_t indexForItem(const OVViewModel& album) const;
    std::optional<OVIndexPath> indexSetForItem(const OVViewModel& album) const;
    std::vector<OVPhotoAlbumViewModelRef> itemsForIndexSets(const std::vector<OVIndexPath>& positions) const;
    OVPhotoAlbumViewModelRef albumByPath(const QString& path) const;
    OVPhotoAlbumViewModelRef fromMacAlbumOrCreateOne();
    OVPhotoAlbumViewModelRef cameraAlbumOrCreateOne();
    static std::shared_ptr<OVImageAlbum> fromMacDirectory();
    static std::shared_ptr<OVImageAlbum> cameraRollDirectory();

    std::vector<OVPhotoAlbumViewModelRef> itemlist() const;
    // Range-for over the albums, in display order.
    auto begin() const { return itemlist_.begin(); }
    auto end() const { return itemlist_.end(); }
    void setItemlist(std::vector<OVPhotoAlbumViewModelRef> list);

private:
    void dropEmptyLocked();
    bool containsLocked(const OVViewModel& album) const;

    mutable std::mutex lock_;
    QString serialNumber_;
    OVPhotoAlbumViewModelRef fromMacAlbum_;
    OVPhotoAlbumViewModelRef cameraAlbum_;
    std::vector<OVPhotoAlbumViewModelRef> itemlist_;
};

}  // namespace orv
