#pragma once
// The Photos pane: the phone's photos in three modes - all photos, the
// camera roll, and the albums (a list of album tiles; opening one shows its
// photos with a trail leading back) - grouped into no sections, weeks or
// months. Loads the library from the phone and keeps it current from the
// phone's pushed changes. Main thread only.

#include "app/media/OVMediaViewController.h"
#include "core/bridge/companion/OVMediaLibrary.h"

namespace orv {

class OVPathView;
class OVPathViewComponentCell;
class OVSegButton;

class OVPhotoViewController : public OVMediaViewController {
    Q_OBJECT

public:
    enum Mode { ModeAll = 0, ModeCamera = 1, ModeAlbums = 2 };
    static inline const QString kAllAlbumsPath = QStringLiteral("/allalbums");
    static inline const QString kAllPhotosPath = QStringLiteral("AllPhotos");

    OVPhotoViewController();
    ~OVPhotoViewController() override;

    // --- pane operations ------------------------------------------------------------
    void setDeviceDone() override;
    void reloadCurrentViewData() override;
    QStringList allowedFileTypes() override;
    OVViewModelRef currentDirectory() override;
    void setZoomLevel(double level) override;
    void layoutSubView() override;

    // --- modes, grouping and albums ---------------------------------------------------
    // Applies the mode switch; the mode already applied does nothing.
    void folderAction();
    // Applies the grouping switch, keeping the selected photos selected.
    void timegroupAction();
    void openAlbum(const OVViewModelRef& item) override;
    void pathbarAction(OVPathViewComponentCell* cell);
    void resetTimegroupSectionLayoutManager();
    // Selects a segment of a switch and applies it, as a click does.
    void chooseMode(int mode);
    void chooseGrouping(int grouping);

    OVViewModelRef rootItem() const;
    OVViewModelRef enclosingDirectory() const;

    OVSegButton* folderButton() const { return folderButton_; }
    OVSegButton* timeButton() const { return timeButton_; }
    OVPathView* pathView() const { return pathView_; }
    OVPhotoAlbumViewModelRef pmodelAll() const { return pmodelAll_; }
    OVPhotoAlbumViewModelRef pmodelCamera() const { return pmodelCamera_; }
    OVPhotoAlbumViewModelRef pmodelAlbum() const { return pmodelAlbum_; }
    OVPhotoAlbumsViewModel* pmodelAlbums() const { return pmodelAlbums_.get(); }
    OVPhotoAlbumsViewModel* albumsModel() override { return pmodelAlbums_.get(); }
    int64_t lastFolderSelection() const { return lastFolderSelection_; }
    int64_t lastTimegroupSelection() const { return lastTimegroupSelection_; }

    QString scrollKey() const override;
    bool isMediaFile(const QString& path) const override;
    OVViewModelRef importDestination(const OVPhotoAlbumViewModelRef& dropAlbum) override;
    // A library fetch's answer: the models filled, the grid shown again.
    void libraryLoaded(const std::optional<OVMediaLibrary>& library, const std::optional<Error>& error);

protected:
    void awakeFromNib() override;
    void fetchLibrary() override;
    void applyLibraryChange(const OVLibraryChange& change) override;
    void removeDeletedFiles(const std::vector<OVFileRef>& files) override;
    void prepareReload() override;
    void leaveAlbum() override;
    bool isInsideAlbum() const override;
    QString nothingToImportMessage() const override;
    QStringList filterImport(const QStringList& localPaths) const override;
    bool libraryIsEmpty() override;

private:
    void resetPathToRoot();
    void showAlbumList();
    void layoutPathView();

    OVSegButton* folderButton_ = nullptr;
    OVSegButton* timeButton_ = nullptr;
    OVPathView* pathView_ = nullptr;
    bool built_ = false;
    int64_t lastTimegroupSelection_ = -1;
    int64_t lastFolderSelection_ = -1;
    OVPhotoAlbumViewModelRef pmodelAll_;
    OVPhotoAlbumViewModelRef pmodelCamera_;
    OVPhotoAlbumViewModelRef pmodelAlbum_;
    std::unique_ptr<OVPhotoAlbumsViewModel> pmodelAlbums_;
};

}  // namespace orv
