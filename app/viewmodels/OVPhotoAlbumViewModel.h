#pragma once
// One collection of media files for the photo and video panes (a photo album,
// a video folder, or all photos): one view model per file, sorted newest or
// largest first, optionally arranged into week or month sections, and kept
// up to date with the phone's library changes. Called on the main thread; its
// own lock guards the lists (an album list that holds it locks first).

#include <QString>
#include <mutex>
#include <optional>
#include <vector>

#include "app/viewmodels/OVIndexPath.h"
#include "app/viewmodels/OVPhotoTimeGroupModel.h"
#include "app/viewmodels/OVViewModel.h"

namespace orv {

enum OVPhotoGroupType : int64_t { OVPhotoGroupTypeNone = 0, OVPhotoGroupTypeWeek = 1, OVPhotoGroupTypeMonth = 2 };
enum OVPhotoSortType : int64_t { OVPhotoSortTypeTime = 0, OVPhotoSortTypeSize = 1 };

class OVPhotoAlbumViewModel;
using OVPhotoAlbumViewModelRef = std::shared_ptr<OVPhotoAlbumViewModel>;

class OVPhotoAlbumViewModel : public OVViewModel {
    Q_OBJECT
public:
    static OVPhotoAlbumViewModelRef make(OVFileRef file, const QString& serialNumber);
    OVPhotoAlbumViewModel(OVFileRef file, const QString& serialNumber);

    void setOvfile(OVFileRef file) override;
    // Makes an empty album the wrapped file when there is none, then takes the files as its children.
    void setContentToOVFileChildren(const std::vector<OVFileRef>& files);
    // Applies a library change: the all-photos collection takes every added
    // file, an album only those directly inside its folder.
    void addedOVFiles(const std::vector<OVFileRef>& added, const std::vector<OVFileRef>& deleted);
    // Removes the file and its item, and the item from its section; an
    // emptied section goes too.
    void deleteOVFile(const OVFileRef& file);
    void addOVFile(const OVFileRef& file);
    void addViewModelWithOutResort(OVViewModelRef item);

    void sortByTime();
    void sortBySize();
    void setGroupType(int64_t type);
    int64_t groupType() const { return groupType_; }
    int64_t sortType() const { return sortType_; }
    void setSortType(int64_t type) { sortType_ = type; }
    int64_t groupSegmentIndex() const;
    void removeAllObjects();

    int64_t totalItemNumber() const;
    int64_t sectionNumber() const;
    int64_t itemNumberForSection(int64_t section) const;
    OVViewModelRef itemForSection(int64_t section, int64_t index) const;
    std::vector<OVViewModelRef> itemsForIndexSets(const std::vector<OVIndexPath>& positions) const;
    QString titleLabelForSection(int64_t section) const;
    std::optional<OVIndexPath> indexSetForItem(const OVViewModel& item) const;

    const std::vector<OVViewModelRef>& childrenViewModels() const override { return itemlist_; }
    // Range-for over the items, in display order.
    auto begin() const { return itemlist_.begin(); }
    auto end() const { return itemlist_.end(); }
    bool isDir() const override { return true; }
    int64_t albumId() const override;
    QString filename() const;
    // A plain folder model of this collection's path, the panes' import destination.
    OVViewModelRef dir() const;
    // The paths of all items.
    QSet<QString> pathDirectory() const;
    QString descriptionText() const;

    std::optional<std::vector<OVPhotoTimeGroupRef>> grouplist() const;
    std::vector<OVViewModelRef> itemlist() const;
    QString title() const { return title_; }
    void setTitle(const QString& title) { title_ = title; }

private:
    std::vector<OVFileRef> childFiles() const;
    void ensureChildren();
    void rebuildItems();
    void sortLocked(bool bySize);
    void calculateGroup();

    mutable std::mutex lock_;
    std::optional<std::vector<OVPhotoTimeGroupRef>> grouplist_;
    std::vector<OVViewModelRef> itemlist_;
    int64_t groupType_ = OVPhotoGroupTypeNone;
    int64_t sortType_ = OVPhotoSortTypeTime;
    QString title_;
};

}  // namespace orv
