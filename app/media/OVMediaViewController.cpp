// The shared media pane: building the grid, what it shows, the status line,
// the throttled library fetch and pushed changes, scroll positions, menus
// and the preview. The grid's data source and the transfers live in their
// own files.

#include "app/media/OVMediaViewController.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QKeyEvent>
#include <QMimeDatabase>

#include "app/media/OVPhotoItemView.h"
#include "app/panes/OVFileViewController.h"
#include "app/panes/OVPathView.h"
#include "app/panes/OVPreviewWindow.h"
#include "app/shell/OVMainWindowController.h"
#include "app/shell/OVNavbarView.h"
#include "app/shell/Prefs.h"
#include "app/toolkit/IBCollectionSectionView.h"
#include "app/toolkit/IBCollectionView.h"
#include "app/toolkit/OVButton.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/model/OVDirectoryFile.h"

namespace orv {

namespace {

double nowSeconds() { return static_cast<double>(QDateTime::currentMSecsSinceEpoch()) / 1000.0; }

}  // namespace

OVMediaViewController::OVMediaViewController()
{
    trailingTimer_.setSingleShot(true);
    connect(&trailingTimer_, &QTimer::timeout, this, [this] { runTrailingFetch(); });
}

OVMediaViewController::~OVMediaViewController()
{
    cleanThumbnailObservers();
    if (gridView_) {
        gridView_->setDataSource(nullptr);
        gridView_->setDelegate(nullptr);
    }
}

void OVMediaViewController::awakeFromNib()
{
    OVRightViewController::awakeFromNib();
    // Delete goes through this pane's own confirmation, which counts the
    // files an album stands for.
    disconnect(deleteButton(), &OVButton::clicked, this, nullptr);
    connect(deleteButton(), &OVButton::clicked, this, [this] { mediaDeleteAction(); });

    gridView_ = new IBCollectionView;
    gridView_->setDataSource(this);
    gridView_->setDelegate(this);
    gridView_->setDistinctSingleDoubleClick(false);
    gridView_->registerForDraggedTypes({QStringLiteral("text/uri-list")});
    gridView_->registerClass(&IBCollectionSectionView::staticMetaObject, kSectionViewIdentifier);
    gridView_->registerClass(&IBCollectionItemView::staticMetaObject, kItemViewIdentifier);
    addContentView(gridView_);
}

QString OVMediaViewController::serial() const
{
    const auto device = const_cast<OVMediaViewController*>(this)->client();
    return device ? QString::fromStdString(device->serialNumber()) : QString();
}

OVViewModelRef OVMediaViewController::pseudoFolder(const QString& path, const QString& serial)
{
    auto folder = std::make_shared<OVDirectoryFile>();
    folder->setName(path.toStdString());
    folder->setPath(path.toStdString());
    return OVViewModel::make(folder, serial);
}

void OVMediaViewController::setPathBarShown(OVPathView* pathView, bool shown)
{
    if (!navbarView() || !pathView)
        return;
    navbarView()->resize(navbarView()->width(), shown ? kPathNavbarHeight : kPlainNavbarHeight);
    navbarView()->setHasPathView(shown);
    if (shown) {
        if (pathView->parentWidget() != navbarView()) {
            pathView->setParent(navbarView());
            pathView->show();
        }
    } else if (pathView->parentWidget()) {
        pathView->hide();
        pathView->setParent(nullptr);
    }
}

void OVMediaViewController::resetTrail(OVPathView* pathView, const QString& title, const QString& rootPath)
{
    if (!pathView)
        return;
    if (pathView->pathComponentCells().size() == 1 && pathView->currentDirectory() &&
        pathView->currentDirectory()->path() == rootPath)
        return;
    pathView->removeAllItems();
    pathView->addItemWithTitle(title, pseudoFolder(rootPath, serial()));
}

void OVMediaViewController::placePathView(OVPathView* pathView)
{
    if (pathView && navbarView() && pathView->parentWidget() == navbarView())
        pathView->setGeometry(7, kPathNavbarHeight - 5 - 30, navbarView()->width() - 14, 30);
}

OVViewModelRef OVMediaViewController::fromMacDirectory() const
{
    return OVViewModel::make(OVPhotoAlbumsViewModel::fromMacDirectory(), serial());
}

OVViewModelRef OVMediaViewController::cameraRollDirectory() const
{
    return OVViewModel::make(OVPhotoAlbumsViewModel::cameraRollDirectory(), serial());
}

void OVMediaViewController::doubleClickItem(const OVViewModelRef& item)
{
    if (std::dynamic_pointer_cast<OVPhotoAlbumViewModel>(item))
        openAlbum(item);
    else if (item)
        downloadAndOpenItem(item);
}

// --- what the grid shows ---------------------------------------------------------------

void OVMediaViewController::setCurrentList(OVPhotoAlbumViewModelRef list)
{
    currentList_ = std::move(list);
    showingAlbums_ = false;
}

void OVMediaViewController::setShowingAlbumList()
{
    currentList_ = nullptr;
    showingAlbums_ = true;
}

void OVMediaViewController::clearCurrentModel()
{
    currentList_ = nullptr;
    showingAlbums_ = false;
}

OVViewModelRef OVMediaViewController::itemAt(const IBSectionIndexSet& pair)
{
    if (showingAlbums_) {
        OVPhotoAlbumsViewModel* albums = albumsModel();
        return albums ? albums->itemForIndex(pair.itemIndex()) : nullptr;
    }
    return currentList_ ? currentList_->itemForSection(pair.sectionIndex(), pair.itemIndex()) : nullptr;
}

std::optional<IBSectionIndexSet> OVMediaViewController::indexSetForItem(const OVViewModel& item)
{
    std::optional<OVIndexPath> found;
    if (showingAlbums_) {
        if (OVPhotoAlbumsViewModel* albums = albumsModel())
            found = albums->indexSetForItem(item);
    } else if (currentList_) {
        found = currentList_->indexSetForItem(item);
    }
    if (!found)
        return std::nullopt;
    return IBSectionIndexSet(found->section, found->item);
}

int64_t OVMediaViewController::totalItemNumber()
{
    if (showingAlbums_) {
        OVPhotoAlbumsViewModel* albums = albumsModel();
        return albums ? albums->totalItemNumber() : 0;
    }
    return currentList_ ? currentList_->totalItemNumber() : 0;
}

std::vector<OVViewModelRef> OVMediaViewController::selectedItems()
{
    if (!exportOverride_.empty())
        return exportOverride_;
    std::vector<OVViewModelRef> selection;
    if (!gridView_)
        return selection;
    // Positions the models no longer hold give no item, never a null one.
    for (const IBSectionIndexSet& pair : gridView_->selectedItemIndexSets())
        if (OVViewModelRef item = itemAt(pair))
            selection.push_back(std::move(item));
    return selection;
}

OVViewModelRef OVMediaViewController::selectedItemAtIndex(int64_t index)
{
    const std::vector<OVViewModelRef> selection = selectedItems();
    if (index < 0 || index >= static_cast<int64_t>(selection.size()))
        return nullptr;
    return selection[static_cast<size_t>(index)];
}

QWidget* OVMediaViewController::firstResponder() { return gridView_; }

void OVMediaViewController::updateStatusLabel()
{
    auto* window = mainWindowController();
    if (!window || !view() || !view()->window() || view()->window() == view())
        return;
    const uint64_t total = hasCurrentModel() ? static_cast<uint64_t>(std::max<int64_t>(0, totalItemNumber())) : 0;
    window->setStatusText(OVFileViewController::statusText(selectedItems().size(), total));
}

void OVMediaViewController::cleanUp()
{
    cleanThumbnailObservers();
    trailingTimer_.stop();
    throttle_.reset();
    OVRightViewController::cleanUp();
}

void OVMediaViewController::reloadGrid()
{
    if (!gridView_)
        return;
    prepareReload();
    cleanThumbnailObservers();
    gridView_->reloadData();
}

void OVMediaViewController::selectItems(const std::vector<OVViewModelRef>& items)
{
    if (!gridView_)
        return;
    QList<IBSectionIndexSet> pairs;
    for (const OVViewModelRef& item : items)
        if (item)
            if (const auto pair = indexSetForItem(*item))
                pairs << *pair;
    if (!pairs.isEmpty())
        gridView_->selectItemWithIndexSets(pairs);
}

// --- library ------------------------------------------------------------------------------

void OVMediaViewController::reloadLibraryDataFromDevice()
{
    if (!client())
        return;
    const OVMediaReloadThrottle::Answer answer = throttle_.request(nowSeconds());
    switch (answer.decision) {
    case OVMediaReloadThrottle::Decision::FetchNow:
        libraryFetchStarted();
        fetchLibrary();
        break;
    case OVMediaReloadThrottle::Decision::Deferred:
        trailingTimer_.start(static_cast<int>(answer.delaySeconds * 1000.0) + 1);
        break;
    case OVMediaReloadThrottle::Decision::AlreadyDeferred:
        break;
    }
}

void OVMediaViewController::runTrailingFetch()
{
    if (!client())
        return;
    throttle_.trailingFired(nowSeconds());
    libraryFetchStarted();
    fetchLibrary();
}

void OVMediaViewController::libraryFetchStarted()
{
    ++libraryFetchCount_;
    startSpinning();
}

void OVMediaViewController::libraryFetchDone(bool gotResult)
{
    stopSpinning();
    didLoadData_ = didLoadData_ || gotResult;
}

void OVMediaViewController::deviceLibraryCallback(const std::optional<OVLibraryChange>& change)
{
    // A change the phone could not itemise: fetch everything again.
    if (!change) {
        reloadLibraryDataFromDevice();
        return;
    }
    const std::vector<OVViewModelRef> before = selectedItems();
    saveScrollViewOffset();
    applyLibraryChange(*change);
    reloadGrid();
    restoreScrollViewOffset();
    std::vector<OVViewModelRef> added;
    if (!showingAlbums_) {
        const auto device = client();
        const QString serial = device ? QString::fromStdString(device->serialNumber()) : QString();
        for (const OVFileRef& file : change->added)
            if (file)
                added.push_back(OVViewModel::make(file, serial));
    }
    bool anyAddedShown = false;
    for (const OVViewModelRef& item : added)
        anyAddedShown = anyAddedShown || indexSetForItem(*item).has_value();
    selectItems(anyAddedShown ? added : before);
    updateStatusLabel();
}

bool OVMediaViewController::hasMimePrefix(const QString& path, const QString& prefix)
{
    static const QMimeDatabase database;
    const QMimeType type = database.mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    if (type.name().startsWith(prefix))
        return true;
    for (const QString& parent : type.allAncestors())
        if (parent.startsWith(prefix))
            return true;
    return false;
}

// --- scroll positions ---------------------------------------------------------------------

void OVMediaViewController::saveScrollViewOffset()
{
    const QString key = scrollKey();
    if (!key.isEmpty() && gridView_)
        scrollViewOffsetCache_[key] = gridView_->scrollOffsetPoint();
}

void OVMediaViewController::restoreScrollViewOffset()
{
    const QString key = scrollKey();
    if (key.isEmpty() || !gridView_)
        return;
    const auto found = scrollViewOffsetCache_.find(key);
    if (found != scrollViewOffsetCache_.end())
        gridView_->scrollToOffsetPoint(found->second);
    else
        gridView_->scrollToTop();
}

// --- menus and preview ----------------------------------------------------------------------

void OVMediaViewController::openMenuAction()
{
    const std::vector<OVViewModelRef> selection = selectedItems();
    if (!selection.empty())
        doubleClickItem(selection.front());
}

void OVMediaViewController::openwithMenuAction(const QString& applicationId)
{
    for (const OVViewModelRef& item : selectedItems()) {
        if (item && !item->isDir()) {
            downloadAndOpenItem(item, applicationId);
            return;
        }
    }
}

QuickLookDownloadItemView* OVMediaViewController::quickLookDownloadItemViewForItem(const OVViewModelRef&)
{
    if (!gridView_ || gridView_->selectedItemIndexSets().isEmpty())
        return nullptr;
    return qobject_cast<OVPhotoItemView*>(gridView_->itemViewWithIndexSet(gridView_->selectedItemIndexSets().front()));
}

QRect OVMediaViewController::screenRectForItem(const OVViewModelRef& item)
{
    if (isVideoPane())
        return {};
    auto* cell = dynamic_cast<OVPhotoItemView*>(quickLookDownloadItemViewForItem(item));
    if (!cell)
        return {};
    const QRect image = cell->imageRect().toAlignedRect().adjusted(3, 3, -3, -3);
    return QRect(cell->mapToGlobal(image.topLeft()), image.size());
}

void OVMediaViewController::reloadQuicklook()
{
    const std::vector<OVViewModelRef> selection = selectedItems();
    if (!selection.empty())
        quickLookPreviewItem(selection.front(), true);
}

bool OVMediaViewController::previewPanelHandleEvent(QKeyEvent* event)
{
    if (!event || event->type() != QEvent::KeyPress || !gridView_ || !previewMovesSelection())
        return false;
    QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->text());
    QCoreApplication::sendEvent(gridView_, &copy);
    reloadQuicklook();
    return true;
}

}  // namespace orv
