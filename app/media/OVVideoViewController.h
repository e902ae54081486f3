#pragma once
// The Videos pane: the phone's videos in two modes - the camera folder's
// videos, and the other folders that hold videos (a list of folder tiles;
// opening one shows its videos with a trail leading back) - sorted by time
// or by size from a menu. Loads the library from the phone and keeps it
// current from the phone's pushed changes. Main thread only.

#include "app/media/OVMediaViewController.h"
#include "core/bridge/companion/OVMediaLibrary.h"

class QMenu;

namespace orv {

class OVButton;
class OVPathView;
class OVPathViewComponentCell;
class OVSegButton;

class OVVideoViewController : public OVMediaViewController {
    Q_OBJECT

public:
    enum Mode { ModeCamera = 0, ModeOthers = 1 };
    enum SortTag { SortByTime = 1, SortBySize = 2 };
    static inline const QString kAllVideosPath = QStringLiteral("/allvideos");

    OVVideoViewController();
    ~OVVideoViewController() override;

    // --- pane operations ------------------------------------------------------------
    void setDeviceDone() override;
    void reloadCurrentViewData() override;
    QStringList allowedFileTypes() override;
    OVViewModelRef currentDirectory() override;
    void setZoomLevel(double level) override;
    void layoutSubView() override;

    // --- modes, folders and sorting ------------------------------------------------------
    void folderAction();
    void chooseMode(int mode);
    void openAlbum(const OVViewModelRef& item) override;
    void pathbarAction(OVPathViewComponentCell* cell);
    // The sort menu under the sort button, the current order checked.
    QMenu* makeSortMenu();
    void sortButtonAction();
    void sortBurronDropdownItemAction(int tag);
    // Sorts the shown video list by the current order and reloads.
    void doSorting();
    int64_t currentSortTag() const { return currentSortTag_; }

    OVViewModelRef rootItem() const;
    OVSegButton* folderButton() const { return folderButton_; }
    OVButton* sortButton() const { return sortButton_; }
    OVPathView* pathView() const { return pathView_; }
    OVPhotoAlbumViewModelRef pmodelCamera() const { return pmodelCamera_; }
    OVPhotoAlbumViewModelRef pmodelAlbum() const { return pmodelAlbum_; }
    OVPhotoAlbumsViewModel* pmodelOthers() const { return pmodelOthers_.get(); }
    OVPhotoAlbumsViewModel* albumsModel() override { return pmodelOthers_.get(); }
    int64_t lastFolderSelection() const { return lastFolderSelection_; }

    QString scrollKey() const override;
    bool isMediaFile(const QString& path) const override;
    OVViewModelRef importDestination(const OVPhotoAlbumViewModelRef& dropAlbum) override;

protected:
    void awakeFromNib() override;
    void fetchLibrary() override;
    void applyLibraryChange(const OVLibraryChange& change) override;
    void removeDeletedFiles(const std::vector<OVFileRef>& files) override;
    void prepareReload() override;
    bool isVideoPane() const override { return true; }
    void leaveAlbum() override;
    bool isInsideAlbum() const override;
    QString nothingToImportMessage() const override;
    bool libraryIsEmpty() override;
    // The preview keeps the keys of a video to itself.
    bool previewMovesSelection() const override { return isShowingAlbumList(); }

private:
    void libraryLoaded(const std::optional<OVMediaLibrary>& library);
    void sortList(const OVPhotoAlbumViewModelRef& list) const;
    // The camera folder never appears among the other folders.
    void dropCameraFolder();
    void showFolderList();
    void resetPathToRoot();

    OVSegButton* folderButton_ = nullptr;
    OVButton* sortButton_ = nullptr;
    OVPathView* pathView_ = nullptr;
    bool built_ = false;
    int64_t lastFolderSelection_ = -1;
    int64_t currentSortTag_ = SortByTime;
    OVPhotoAlbumViewModelRef pmodelCamera_;
    OVPhotoAlbumViewModelRef pmodelAlbum_;
    std::unique_ptr<OVPhotoAlbumsViewModel> pmodelOthers_;
};

}  // namespace orv
