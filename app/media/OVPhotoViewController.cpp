#include "app/media/OVPhotoViewController.h"

#include "app/panes/OVPathView.h"
#include "app/shell/L10n.h"
#include "app/shell/OVMainWindowController.h"
#include "app/shell/OVNavbarView.h"
#include "app/toolkit/IBCollectionView.h"
#include "app/toolkit/OVButton.h"
#include "app/toolkit/OVSegButton.h"
#include "core/bridge/facade/OVDeviceClient.h"

namespace orv {

OVPhotoViewController::OVPhotoViewController() = default;

OVPhotoViewController::~OVPhotoViewController()
{
    // The trail is parentless outside its mode; nothing else takes it down.
    if (pathView_ && !pathView_->parentWidget())
        delete pathView_;
}

void OVPhotoViewController::awakeFromNib()
{
    if (built_)
        return;
    built_ = true;
    OVMediaViewController::awakeFromNib();
    pmodelAlbums_ = std::make_unique<OVPhotoAlbumsViewModel>(serial());

    folderButton_ = new OVSegButton(navbarView());
    folderButton_->setSegmentCount(3);
    folderButton_->setLabel(L10n::text("PhotoTabAll"), ModeAll);
    folderButton_->setLabel(L10n::text("PhotoTabCamera"), ModeCamera);
    folderButton_->setLabel(L10n::text("PhotoTabAlbum"), ModeAlbums);
    connect(folderButton_, &OVSegButton::activated, this, [this] { folderAction(); });

    timeButton_ = new OVSegButton(navbarView());
    timeButton_->setSegmentCount(3);
    timeButton_->setLabel(L10n::text("PhotoTabTimeNone"), OVPhotoGroupTypeNone);
    timeButton_->setLabel(L10n::text("PhotoTabTimeWeek"), OVPhotoGroupTypeWeek);
    timeButton_->setLabel(L10n::text("PhotoTabTimeMonth"), OVPhotoGroupTypeMonth);
    timeButton_->setSelectedSegment(OVPhotoGroupTypeNone);
    connect(timeButton_, &OVSegButton::activated, this, [this] { timegroupAction(); });

    pathView_ = new OVPathView;
    connect(pathView_, &OVPathView::pathbarAction, this, [this](OVPathViewComponentCell* cell) { pathbarAction(cell); });
    resetPathToRoot();

    setZoomLevel(35.0);
    reloadGrid();
    layoutSubView();
}

// --- standard directories ----------------------------------------------------------------------

OVViewModelRef OVPhotoViewController::rootItem() const { return pseudoFolder(kAllAlbumsPath, serial()); }

OVViewModelRef OVPhotoViewController::currentDirectory()
{
    if (lastFolderSelection_ == ModeCamera)
        return OVViewModel::make(OVDeviceClient::cameraDir(), serial());
    return nullptr;
}

OVViewModelRef OVPhotoViewController::enclosingDirectory() const
{
    if (lastFolderSelection_ != ModeAlbums || !pathView_)
        return nullptr;
    return pathView_->enclosingDirectory();
}

QStringList OVPhotoViewController::allowedFileTypes()
{
    return {QStringLiteral("jpg"), QStringLiteral("jpeg"), QStringLiteral("png"), QStringLiteral("bmp"),
            QStringLiteral("gif")};
}

bool OVPhotoViewController::isMediaFile(const QString& path) const
{
    return hasMimePrefix(path, QStringLiteral("image/"));
}

QString OVPhotoViewController::nothingToImportMessage() const { return L10n::text("NotPictureFileFound"); }

QStringList OVPhotoViewController::filterImport(const QStringList& localPaths) const
{
    return findAllMedia(localPaths);
}

bool OVPhotoViewController::libraryIsEmpty() { return !pmodelAlbums_ || pmodelAlbums_->totalItemNumber() == 0; }

// --- pane operations ------------------------------------------------------------------------

void OVPhotoViewController::setDeviceDone()
{
    if (!client())
        return;
    cleanThumbnailObservers();
    pmodelAll_ = OVPhotoAlbumViewModel::make(pseudoFolder(kAllPhotosPath, serial())->ovfile(), serial());
    pmodelAlbums_ = std::make_unique<OVPhotoAlbumsViewModel>(serial());
    pmodelCamera_ = nullptr;
    pmodelAlbum_ = nullptr;
    clearCurrentModel();
    lastTimegroupSelection_ = OVPhotoGroupTypeNone;
    if (timeButton_)
        timeButton_->setSelectedSegment(OVPhotoGroupTypeNone);
    if (folderButton_)
        folderButton_->setSelectedSegment(ModeCamera);
    lastFolderSelection_ = -1;
    folderAction();
    reloadLibraryDataFromDevice();
}

void OVPhotoViewController::reloadCurrentViewData()
{
    lastFolderSelection_ = -1;
    folderAction();
}

void OVPhotoViewController::chooseMode(int mode)
{
    if (!folderButton_)
        return;
    folderButton_->setSelectedSegment(mode);
    folderAction();
}

void OVPhotoViewController::chooseGrouping(int grouping)
{
    if (!timeButton_)
        return;
    timeButton_->setSelectedSegment(grouping);
    timegroupAction();
}

void OVPhotoViewController::folderAction()
{
    if (!folderButton_ || lastFolderSelection_ == folderButton_->selectedSegment())
        return;
    saveScrollViewOffset();
    lastFolderSelection_ = folderButton_->selectedSegment();
    const bool albums = lastFolderSelection_ == ModeAlbums && !pmodelAlbum_;
    OVPhotoAlbumViewModelRef target;
    if (lastFolderSelection_ == ModeAll)
        target = pmodelAll_;
    else if (lastFolderSelection_ == ModeCamera)
        target = pmodelCamera_;
    else if (lastFolderSelection_ == ModeAlbums)
        target = pmodelAlbum_;
    if (lastFolderSelection_ >= ModeAll && lastFolderSelection_ <= ModeAlbums) {
        const bool same = albums ? isShowingAlbumList() : (!isShowingAlbumList() && currentList() == target && target);
        if (same) {
            reloadLibraryDataFromDevice();
        } else if (albums) {
            setShowingAlbumList();
        } else {
            setCurrentList(target);
        }
        timeButton_->setVisible(!albums);
        if (!albums && target)
            target->setGroupType(timeButton_->selectedSegment());
        lastTimegroupSelection_ = timeButton_->selectedSegment();
    }
    if (gridView())
        gridView()->setFocus();
    layoutPathView();
    updateStatusLabel();
    reloadGrid();
    layoutSubView();
    restoreScrollViewOffset();
}

void OVPhotoViewController::timegroupAction()
{
    const OVPhotoAlbumViewModelRef list = currentList();
    if (!list || !timeButton_ || lastTimegroupSelection_ == timeButton_->selectedSegment())
        return;
    lastTimegroupSelection_ = timeButton_->selectedSegment();
    const std::vector<OVViewModelRef> selection = selectedItems();
    list->setGroupType(lastTimegroupSelection_);
    reloadGrid();
    selectItems(selection);
    if (gridView())
        gridView()->setFocus();
}

void OVPhotoViewController::prepareReload()
{
    if (isShowingAlbumList())
        resetPathToRoot();
    resetTimegroupSectionLayoutManager();
}

void OVPhotoViewController::resetTimegroupSectionLayoutManager()
{
    IBSectionViewLayoutManager* layout = sectionLayoutManager();
    switch (lastTimegroupSelection_) {
    case OVPhotoGroupTypeNone:
        layout->setItemSize(QSizeF(154, 154));
        layout->setItemViewWSpacing(4);
        layout->setItemViewHSpacing(4);
        layout->setItemViewMarginMinY(0);
        layout->setItemViewMarginMaxY(0);
        layout->setSectionHeaderViewHeight(19);
        layout->setSectionBottomViewHeight(19);
        break;
    case OVPhotoGroupTypeWeek:
    case OVPhotoGroupTypeMonth:
        layout->setItemSize(lastTimegroupSelection_ == OVPhotoGroupTypeWeek ? QSizeF(111, 111) : QSizeF(64, 64));
        layout->setItemViewWSpacing(1);
        layout->setItemViewHSpacing(1);
        layout->setItemViewMarginMinY(4);
        layout->setItemViewMarginMaxY(0);
        layout->setSectionHeaderViewHeight(40);
        layout->setSectionBottomViewHeight(0);
        break;
    default:
        return;
    }
    layout->setItemViewMarginMinX(18);
    layout->setItemViewMarginMaxX(18);
}

void OVPhotoViewController::setZoomLevel(double level)
{
    OVMediaViewController::setZoomLevel(level);
    IBSectionViewLayoutManager* albums = albumsectionLayoutManager();
    albums->setItemSize(QSizeF(180, 207));
    albums->setItemViewWSpacing(16);
    albums->setItemViewHSpacing(5);
    albums->setItemViewMarginMinX(13);
    albums->setItemViewMarginMaxX(10);
    albums->setItemViewMarginMinY(10);
    albums->setItemViewMarginMaxY(0);
    sectionLayoutManager()->setItemSize(QSizeF(148, 148));
    timegroupAction();
}

// --- albums and the trail --------------------------------------------------------------------

void OVPhotoViewController::resetPathToRoot() { resetTrail(pathView_, L10n::text("AllPhotoAlbums"), kAllAlbumsPath); }

void OVPhotoViewController::openAlbum(const OVViewModelRef& item)
{
    const auto album = std::dynamic_pointer_cast<OVPhotoAlbumViewModel>(item);
    if (!album)
        return;
    saveScrollViewOffset();
    pmodelAlbum_ = album;
    album->setGroupType(timeButton_->selectedSegment());
    lastTimegroupSelection_ = timeButton_->selectedSegment();
    setCurrentList(album);
    timeButton_->setVisible(true);
    updateStatusLabel();
    reloadGrid();
    pathView_->removeAllItems();
    pathView_->addItemWithTitle(L10n::text("AllPhotoAlbums"), rootItem());
    pathView_->addItemWithTitle(album->displayname(), album);
    restoreScrollViewOffset();
}

void OVPhotoViewController::showAlbumList()
{
    saveScrollViewOffset();
    setShowingAlbumList();
    pmodelAlbum_ = nullptr;
    timeButton_->setVisible(false);
    resetPathToRoot();
    reloadGrid();
    restoreScrollViewOffset();
    updateStatusLabel();
}

void OVPhotoViewController::pathbarAction(OVPathViewComponentCell* cell)
{
    if (!cell || !cell->object())
        return;
    if (cell->object()->path() == kAllAlbumsPath && !isShowingAlbumList())
        showAlbumList();
}

bool OVPhotoViewController::isInsideAlbum() const { return enclosingDirectory() != nullptr && pmodelAlbum_; }

void OVPhotoViewController::leaveAlbum()
{
    if (isInsideAlbum())
        showAlbumList();
}

QString OVPhotoViewController::scrollKey() const
{
    // Keys by kind, so no album can share the entry of a mode.
    if (isShowingAlbumList())
        return QStringLiteral("albums");
    const OVPhotoAlbumViewModelRef list = currentList();
    if (!list)
        return {};
    if (list == pmodelAll_)
        return QStringLiteral("all");
    if (list == pmodelCamera_)
        return QStringLiteral("camera");
    if (list == pmodelAlbum_)
        return QStringLiteral("album:") + list->path();
    return {};
}

// --- layout ---------------------------------------------------------------------------------

void OVPhotoViewController::layoutPathView()
{
    if (folderButton_)
        setPathBarShown(pathView_, folderButton_->selectedSegment() == ModeAlbums);
}

void OVPhotoViewController::layoutSubView()
{
    layoutPathView();
    OVMediaViewController::layoutSubView();
    if (!folderButton_ || !navbarView() || !view())
        return;
    const int y = deleteButton() ? deleteButton()->geometry().y() : 0;
    const int width = navbarView()->width();
    // Never narrower than their labels need.
    const int modeWidth = std::max(250, folderButton_->sizeHint().width());
    folderButton_->setGeometry((width - modeWidth + 1) / 2, y, modeWidth, 31);
    timeButton_->setGeometry(
        7, y, std::max(L10n::text("Import") == QLatin1String("Import") ? 260 : 241, timeButton_->sizeHint().width()), 31);
    placePathView(pathView_);
}

// --- library --------------------------------------------------------------------------------

void OVPhotoViewController::fetchLibrary()
{
    const auto device = client();
    if (!device)
        return;
    QPointer<OVPhotoViewController> self(this);
    device->fetchPhotoLibraryWithCallback([self](std::optional<OVMediaLibrary> library, std::optional<Error> error) {
        if (self)
            self->libraryLoaded(library, error);
    });
}

void OVPhotoViewController::libraryLoaded(const std::optional<OVMediaLibrary>& library, const std::optional<Error>& error)
{
    libraryFetchDone(library.has_value() && !error);
    // A failed fetch leaves what is shown as it was.
    if (error || !library || !pmodelAll_ || !pmodelAlbums_)
        return;
    const std::vector<OVViewModelRef> selection = selectedItems();
    saveScrollViewOffset();
    const bool wasAlbumList = isShowingAlbumList();
    const OVPhotoAlbumViewModelRef shownAlbum = lastFolderSelection_ == ModeAlbums ? currentList() : nullptr;

    if (const auto photos = library->find("photos"); photos != library->end())
        pmodelAll_->setContentToOVFileChildren(photos->second);
    if (const auto albums = library->find("albums"); albums != library->end()) {
        pmodelAlbums_->setAlbums(albums->second);
        pmodelCamera_ = pmodelAlbums_->cameraAlbum() ? pmodelAlbums_->cameraAlbum()
                                                     : pmodelAlbums_->cameraAlbumOrCreateOne();
    } else {
        if (!pmodelCamera_)
            pmodelCamera_ = pmodelAlbums_->cameraAlbumOrCreateOne();
        if (const auto camera = library->find("camera"); camera != library->end())
            pmodelCamera_->setContentToOVFileChildren(camera->second);
    }
    if (pmodelAlbum_)
        if (auto again = pmodelAlbums_->albumByPath(pmodelAlbum_->path()))
            pmodelAlbum_ = again;

    switch (lastFolderSelection_) {
    case ModeAll:
        setCurrentList(pmodelAll_);
        break;
    case ModeCamera:
        setCurrentList(pmodelCamera_);
        break;
    case ModeAlbums:
        if (wasAlbumList || !shownAlbum) {
            setShowingAlbumList();
        } else if (auto again = pmodelAlbums_->albumByPath(shownAlbum->path())) {
            setCurrentList(again);
        } else {
            // The open album is gone: back to the list, switch and trail included.
            pmodelAlbum_ = nullptr;
            setShowingAlbumList();
            timeButton_->setVisible(false);
        }
        break;
    default:
        break;
    }
    if (const OVPhotoAlbumViewModelRef list = currentList())
        list->setGroupType(timeButton_->selectedSegment());
    reloadGrid();
    updateStatusLabel();
    restoreScrollViewOffset();
    selectItems(selection);
    if (auto* window = mainWindowController())
        window->reloadBadge(0, false, false, false);
}

void OVPhotoViewController::applyLibraryChange(const OVLibraryChange& change)
{
    if (pmodelAll_)
        pmodelAll_->addedOVFiles(change.added, change.deleted);
    if (pmodelAlbums_)
        pmodelAlbums_->addedOVFiles(change.added, change.deleted);
}

void OVPhotoViewController::removeDeletedFiles(const std::vector<OVFileRef>& files)
{
    for (const OVFileRef& file : files) {
        if (pmodelAll_)
            pmodelAll_->deleteOVFile(file);
        if (pmodelAlbums_)
            pmodelAlbums_->deleteOVFile(file);
    }
}

OVViewModelRef OVPhotoViewController::importDestination(const OVPhotoAlbumViewModelRef& dropAlbum)
{
    if (dropAlbum)
        return dropAlbum->dir();
    switch (lastFolderSelection_) {
    case ModeAll:
        pmodelAlbums_->fromMacAlbumOrCreateOne();
        return fromMacDirectory();
    case ModeCamera:
        pmodelAlbums_->cameraAlbumOrCreateOne();
        return cameraRollDirectory();
    case ModeAlbums:
        if (isShowingAlbumList() || !pmodelAlbum_) {
            pmodelAlbums_->fromMacAlbumOrCreateOne();
            return fromMacDirectory();
        }
        return pmodelAlbum_->dir();
    default:
        return nullptr;
    }
}

}  // namespace orv
