#include "app/media/OVVideoViewController.h"

#include <QIcon>
#include <QMenu>
#include <QPainter>

#include "app/panes/OVPathView.h"
#include "app/shell/L10n.h"
#include "app/shell/OVMainWindowController.h"
#include "app/shell/OVNavbarView.h"
#include "app/toolkit/ApplicationImages.h"
#include "app/toolkit/IBCollectionView.h"
#include "app/toolkit/NSString+Path.h"
#include "app/toolkit/OVButton.h"
#include "app/toolkit/OVSegButton.h"
#include "core/bridge/facade/OVDeviceClient.h"

namespace orv {

namespace {

// The sort button's picture: the named image, the theme's, or three bars.
QPixmap sortImage()
{
    const QImage named = namedImage(QStringLiteral("sortIcon"));
    if (!named.isNull())
        return QPixmap::fromImage(named);
    const QIcon themed = QIcon::fromTheme(QStringLiteral("view-sort-descending"));
    if (!themed.isNull())
        return themed.pixmap(16, 16);
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(80, 80, 80));
    painter.drawRect(1, 3, 14, 2);
    painter.drawRect(1, 7, 10, 2);
    painter.drawRect(1, 11, 6, 2);
    return pixmap;
}

}  // namespace

OVVideoViewController::OVVideoViewController() = default;

OVVideoViewController::~OVVideoViewController()
{
    // The trail is parentless outside its mode; nothing else takes it down.
    if (pathView_ && !pathView_->parentWidget())
        delete pathView_;
}

void OVVideoViewController::awakeFromNib()
{
    if (built_)
        return;
    built_ = true;
    OVMediaViewController::awakeFromNib();
    pmodelCamera_ = OVPhotoAlbumViewModel::make(OVDeviceClient::cameraDir(), serial());
    pmodelOthers_ = std::make_unique<OVPhotoAlbumsViewModel>(serial());

    folderButton_ = new OVSegButton(navbarView());
    folderButton_->setSegmentCount(2);
    folderButton_->setLabel(L10n::text("VideoTabCamera"), ModeCamera);
    folderButton_->setLabel(L10n::text("VideoTabOther"), ModeOthers);
    connect(folderButton_, &OVSegButton::activated, this, [this] { folderAction(); });

    sortButton_ = new OVButton(QString(), navbarView());
    sortButton_->setImage(sortImage());
    sortButton_->setImagePosition(OVButton::ImageOnly);
    sortButton_->setToolTip(L10n::text("Sort"));
    connect(sortButton_, &OVButton::clicked, this, [this] { sortButtonAction(); });

    pathView_ = new OVPathView;
    connect(pathView_, &OVPathView::pathbarAction, this, [this](OVPathViewComponentCell* cell) { pathbarAction(cell); });

    setZoomLevel(35.0);
    reloadGrid();
    layoutSubView();
}

OVViewModelRef OVVideoViewController::rootItem() const { return pseudoFolder(kAllVideosPath, serial()); }

OVViewModelRef OVVideoViewController::currentDirectory()
{
    return OVViewModel::make(OVDeviceClient::videoDir(), serial());
}

QStringList OVVideoViewController::allowedFileTypes()
{
    return {QStringLiteral("mp4"), QStringLiteral("mkv"),  QStringLiteral("avi"), QStringLiteral("3gp"),
            QStringLiteral("3gpp"), QStringLiteral("3g2"), QStringLiteral("mpg"), QStringLiteral("3gpp2")};
}

bool OVVideoViewController::isMediaFile(const QString& path) const
{
    return hasMimePrefix(path, QStringLiteral("video/"));
}

QString OVVideoViewController::nothingToImportMessage() const { return L10n::text("NotVideoFileFound"); }

bool OVVideoViewController::libraryIsEmpty()
{
    return (!pmodelOthers_ || pmodelOthers_->totalItemNumber() == 0) &&
           (!pmodelCamera_ || pmodelCamera_->totalItemNumber() == 0);
}

void OVVideoViewController::setZoomLevel(double level)
{
    OVMediaViewController::setZoomLevel(level);
    IBSectionViewLayoutManager* videos = sectionLayoutManager();
    videos->setItemSize(QSizeF(155, 155));
    videos->setItemViewWSpacing(3);
    videos->setItemViewHSpacing(4);
    videos->setItemViewMarginMinX(18);
    videos->setItemViewMarginMaxX(18);
    videos->setItemViewMarginMinY(0);
    videos->setItemViewMarginMaxY(0);
    videos->setSectionHeaderViewHeight(19);
    videos->setSectionBottomViewHeight(19);
    IBSectionViewLayoutManager* folders = albumsectionLayoutManager();
    folders->setItemSize(QSizeF(180, 207));
    folders->setItemViewWSpacing(16);
    folders->setItemViewHSpacing(5);
    folders->setItemViewMarginMinX(13);
    folders->setItemViewMarginMaxX(10);
    folders->setItemViewMarginMinY(10);
    folders->setItemViewMarginMaxY(0);
}

// --- pane operations ------------------------------------------------------------------------

void OVVideoViewController::setDeviceDone()
{
    if (!client())
        return;
    cleanThumbnailObservers();
    pmodelCamera_ = OVPhotoAlbumViewModel::make(OVDeviceClient::cameraDir(), serial());
    pmodelOthers_ = std::make_unique<OVPhotoAlbumsViewModel>(serial());
    pmodelAlbum_ = nullptr;
    clearCurrentModel();
    resetPathToRoot();
    if (folderButton_)
        folderButton_->setSelectedSegment(ModeCamera);
    lastFolderSelection_ = -1;
    folderAction();
    reloadLibraryDataFromDevice();
}

void OVVideoViewController::reloadCurrentViewData()
{
    lastFolderSelection_ = -1;
    folderAction();
}

void OVVideoViewController::chooseMode(int mode)
{
    if (!folderButton_)
        return;
    folderButton_->setSelectedSegment(mode);
    folderAction();
}

void OVVideoViewController::folderAction()
{
    if (!folderButton_ || lastFolderSelection_ == folderButton_->selectedSegment())
        return;
    saveScrollViewOffset();
    lastFolderSelection_ = folderButton_->selectedSegment();
    if (lastFolderSelection_ == ModeCamera || lastFolderSelection_ == ModeOthers) {
        const bool folders = lastFolderSelection_ == ModeOthers && !pmodelAlbum_;
        const OVPhotoAlbumViewModelRef target = lastFolderSelection_ == ModeCamera ? pmodelCamera_ : pmodelAlbum_;
        const bool same = folders ? isShowingAlbumList() : (!isShowingAlbumList() && target && currentList() == target);
        if (same)
            reloadLibraryDataFromDevice();
        else if (folders)
            setShowingAlbumList();
        else
            setCurrentList(target);
        sortButton_->setVisible(!folders);
        if (lastFolderSelection_ == ModeOthers && pathView_->pathComponentCells().empty())
            resetPathToRoot();
    }
    if (gridView())
        gridView()->setFocus();
    setPathBarShown(pathView_, lastFolderSelection_ == ModeOthers);
    updateStatusLabel();
    reloadGrid();
    layoutSubView();
    restoreScrollViewOffset();
}

void OVVideoViewController::prepareReload()
{
    if (isShowingAlbumList())
        resetPathToRoot();
}

void OVVideoViewController::resetPathToRoot() { resetTrail(pathView_, L10n::text("AllVideoAlbums"), kAllVideosPath); }

void OVVideoViewController::sortList(const OVPhotoAlbumViewModelRef& list) const
{
    if (!list)
        return;
    if (currentSortTag_ == SortByTime)
        list->sortByTime();
    else if (currentSortTag_ == SortBySize)
        list->sortBySize();
}

void OVVideoViewController::openAlbum(const OVViewModelRef& item)
{
    const auto folder = std::dynamic_pointer_cast<OVPhotoAlbumViewModel>(item);
    if (!folder)
        return;
    saveScrollViewOffset();
    pmodelAlbum_ = folder;
    setCurrentList(folder);
    sortButton_->setVisible(true);
    sortList(folder);
    updateStatusLabel();
    reloadGrid();
    pathView_->removeAllItems();
    pathView_->addItemWithTitle(L10n::text("AllVideoAlbums"), rootItem());
    pathView_->addItemWithTitle(folder->displayname(), folder);
    restoreScrollViewOffset();
}

void OVVideoViewController::showFolderList()
{
    saveScrollViewOffset();
    setShowingAlbumList();
    pmodelAlbum_ = nullptr;
    sortButton_->setVisible(false);
    resetPathToRoot();
    reloadGrid();
    restoreScrollViewOffset();
    updateStatusLabel();
}

void OVVideoViewController::pathbarAction(OVPathViewComponentCell* cell)
{
    if (cell && cell->object() && cell->object()->path() == kAllVideosPath)
        showFolderList();
}

bool OVVideoViewController::isInsideAlbum() const
{
    return lastFolderSelection_ == ModeOthers && pmodelAlbum_ && !isShowingAlbumList();
}

void OVVideoViewController::leaveAlbum()
{
    if (isInsideAlbum())
        showFolderList();
}

QString OVVideoViewController::scrollKey() const
{
    if (isShowingAlbumList())
        return QStringLiteral("folders");
    const OVPhotoAlbumViewModelRef list = currentList();
    if (!list)
        return {};
    if (list == pmodelCamera_)
        return QStringLiteral("camera");
    return QStringLiteral("folder:") + list->path();
}

// --- sorting -----------------------------------------------------------------------------------

QMenu* OVVideoViewController::makeSortMenu()
{
    auto* menu = new QMenu;
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const std::pair<int, const char*> orders[] = {{SortByTime, "Sort By Time"}, {SortBySize, "Sort By Size"}};
    for (const auto& [tag, key] : orders) {
        QAction* action = menu->addAction(L10n::text(key));
        action->setCheckable(true);
        action->setChecked(tag == currentSortTag_);
        action->setData(tag);
        connect(action, &QAction::triggered, this, [this, tag = tag] { sortBurronDropdownItemAction(tag); });
    }
    return menu;
}

void OVVideoViewController::sortButtonAction()
{
    if (!sortButton_)
        return;
    QMenu* menu = makeSortMenu();
    menu->popup(sortButton_->mapToGlobal(QPoint(0, sortButton_->height())));
}

void OVVideoViewController::sortBurronDropdownItemAction(int tag)
{
    currentSortTag_ = tag;
    doSorting();
}

void OVVideoViewController::doSorting()
{
    const OVPhotoAlbumViewModelRef list = currentList();
    if (isShowingAlbumList() || !list || (currentSortTag_ != SortByTime && currentSortTag_ != SortBySize))
        return;
    const std::vector<OVViewModelRef> selection = selectedItems();
    sortList(list);
    reloadGrid();
    selectItems(selection);
}

// --- layout ---------------------------------------------------------------------------------

void OVVideoViewController::layoutSubView()
{
    if (folderButton_)
        setPathBarShown(pathView_, folderButton_->selectedSegment() == ModeOthers);
    OVMediaViewController::layoutSubView();
    if (!folderButton_ || !navbarView() || !deleteButton())
        return;
    const QRect remove = deleteButton()->geometry();
    const int y = remove.y() + remove.height() / 2 - 31 / 2;
    // Never narrower than its labels need.
    const int width = std::max(L10n::text("Import") == QLatin1String("Import") ? 150 : 170,
                               folderButton_->sizeHint().width());
    folderButton_->setGeometry((navbarView()->width() - width + 1) / 2, y, width, 31);
    sortButton_->setGeometry(7, y, 47, 31);
    placePathView(pathView_);
}

// --- library --------------------------------------------------------------------------------

void OVVideoViewController::fetchLibrary()
{
    const auto device = client();
    if (!device)
        return;
    QPointer<OVVideoViewController> self(this);
    device->fetchVideoLibraryWithCallback([self](std::optional<OVMediaLibrary> library, std::optional<Error>) {
        if (self)
            self->libraryLoaded(library);
    });
}

void OVVideoViewController::dropCameraFolder()
{
    if (!pmodelOthers_)
        return;
    const QString camera = QString::fromStdString(OVDeviceClient::cameraDir()->path());
    for (int64_t i = 0; i < pmodelOthers_->totalItemNumber(); ++i) {
        const OVPhotoAlbumViewModelRef folder = pmodelOthers_->itemForIndex(i);
        if (folder && isSamePath(folder->path(), camera)) {
            pmodelOthers_->deleteAlbum(folder);
            return;
        }
    }
}

void OVVideoViewController::libraryLoaded(const std::optional<OVMediaLibrary>& library)
{
    libraryFetchDone(library.has_value());
    if (!library || !pmodelCamera_ || !pmodelOthers_)
        return;
    const std::vector<OVViewModelRef> selection = selectedItems();
    saveScrollViewOffset();
    const bool wasFolderList = isShowingAlbumList();
    const OVPhotoAlbumViewModelRef shownFolder = lastFolderSelection_ == ModeOthers ? currentList() : nullptr;
    if (const auto others = library->find("otherDirs"); others != library->end()) {
        pmodelOthers_->setAlbums(others->second);
        dropCameraFolder();
    }
    if (const auto videos = library->find("videos"); videos != library->end())
        pmodelCamera_->setContentToOVFileChildren(videos->second);
    if (pmodelAlbum_)
        if (auto again = pmodelOthers_->albumByPath(pmodelAlbum_->path()))
            pmodelAlbum_ = again;
    switch (lastFolderSelection_) {
    case ModeCamera:
        setCurrentList(pmodelCamera_);
        break;
    case ModeOthers:
        if (wasFolderList || !shownFolder) {
            setShowingAlbumList();
        } else if (auto again = pmodelOthers_->albumByPath(shownFolder->path())) {
            setCurrentList(again);
        } else {
            // The open folder is gone: back to the list, sort button and trail included.
            pmodelAlbum_ = nullptr;
            setShowingAlbumList();
            sortButton_->setVisible(false);
        }
        break;
    default:
        break;
    }
    sortList(currentList());
    reloadGrid();
    updateStatusLabel();
    restoreScrollViewOffset();
    selectItems(selection);
    if (auto* window = mainWindowController())
        window->reloadBadge(1, false, false, false);
}

void OVVideoViewController::applyLibraryChange(const OVLibraryChange& change)
{
    if (pmodelCamera_)
        pmodelCamera_->addedOVFiles(change.added, change.deleted);
    if (pmodelOthers_)
        pmodelOthers_->addedOVFiles(change.added, change.deleted);
    dropCameraFolder();
}

void OVVideoViewController::removeDeletedFiles(const std::vector<OVFileRef>& files)
{
    for (const OVFileRef& file : files) {
        if (pmodelCamera_)
            pmodelCamera_->deleteOVFile(file);
        if (pmodelOthers_)
            pmodelOthers_->deleteOVFile(file);
    }
}

OVViewModelRef OVVideoViewController::importDestination(const OVPhotoAlbumViewModelRef& dropAlbum)
{
    if (dropAlbum)
        return dropAlbum->dir();
    if (lastFolderSelection_ == ModeCamera)
        return cameraRollDirectory();
    if (isShowingAlbumList() || !pmodelAlbum_) {
        pmodelOthers_->fromMacAlbumOrCreateOne();
        return fromMacDirectory();
    }
    return pmodelAlbum_->dir();
}

}  // namespace orv
