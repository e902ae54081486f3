// The file browser's set-up, listing, navigation along the trail and the
// status line. The grid, the list and the folder watch live in their own files.

#include "app/panes/OVFileViewController.h"

#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QMenu>
#include <QPainter>
#include <QTimer>

#include "app/panes/FileEntryOrder.h"
#include "app/panes/OVFileItemView.h"
#include "app/panes/OVFileOutlineModel.h"
#include "app/panes/OVOutlineView.h"
#include "app/panes/OVPathView.h"
#include "app/panes/PaneDialogs.h"
#include "app/shell/L10n.h"
#include "app/shell/OVMainWindowController.h"
#include "app/shell/OVNavbarView.h"
#include "app/shell/Prefs.h"
#include "app/toolkit/IBCollectionView.h"
#include "app/toolkit/NSString+Path.h"
#include "app/toolkit/OVButton.h"
#include "app/toolkit/OVSegButton.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/model/OVDirectoryFile.h"

namespace orv {

namespace {

constexpr int kFileNavbarHeight = 77;
constexpr int kSegmentWidth = 47;

// The view-style control's pictures: four squares, or three lines.
QPixmap styleImage(bool grid)
{
    const QIcon themed = QIcon::fromTheme(grid ? QStringLiteral("view-grid") : QStringLiteral("view-list"));
    if (!themed.isNull())
        return themed.pixmap(16, 16);
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(80, 80, 80));
    if (grid) {
        for (int x : {1, 9})
            for (int y : {1, 9})
                painter.drawRect(x, y, 6, 6);
    } else {
        for (int y : {2, 7, 12})
            painter.drawRect(1, y, 14, 2);
    }
    return pixmap;
}

QString pluralItems(uint64_t count) { return L10n::text(count < 2 ? "item" : "items"); }

// Folder paths come with and without their trailing "/"; letter case counts.
bool samePhonePath(QString a, QString b)
{
    while (a.size() > 1 && a.endsWith(QLatin1Char('/')))
        a.chop(1);
    while (b.size() > 1 && b.endsWith(QLatin1Char('/')))
        b.chop(1);
    return a == b;
}

}  // namespace

OVFileViewController::OVFileViewController()
{
    watchTimer_.setSingleShot(true);
    watchTimer_.setInterval(kWatchSettleMs);
    connect(&watchTimer_, &QTimer::timeout, this, [this] { reloadCurrentViewData(); });
}

OVFileViewController::~OVFileViewController()
{
    cleanThumbnailObservers();
    if (gridView_) {
        gridView_->setDataSource(nullptr);
        gridView_->setDelegate(nullptr);
    }
    if (listView_)
        listView_->setOutlineDelegate(nullptr);
    // The view not shown has no parent to take it down with the pane's view.
    if (gridView_ && !gridView_->parentWidget())
        delete gridView_;
    if (listView_ && !listView_->parentWidget())
        delete listView_;
}

OVViewModelRef OVFileViewController::makeRoot()
{
    const auto device = client();
    return OVViewModel::make(OVDeviceClient::rootDir(),
                             device ? QString::fromStdString(device->serialNumber()) : QString());
}

OVViewModelRef OVFileViewController::root()
{
    if (!root_)
        root_ = makeRoot();
    return root_;
}

// --- building the views ----------------------------------------------------------------

void OVFileViewController::awakeFromNib()
{
    if (built_)
        return;
    built_ = true;
    OVRightViewController::awakeFromNib();

    viewStyleButton_ = new OVSegButton(navbarView());
    viewStyleButton_->setSegmentCount(2);
    viewStyleButton_->setImage(styleImage(true), IconView);
    viewStyleButton_->setImage(styleImage(false), ListView);
    viewStyleButton_->setToolTip(QString());
    viewStyleButton_->setSelectedSegment(IconView);
    connect(viewStyleButton_, &OVSegButton::activated, this, [this] { switchViewAction(); });

    navbarView()->resize(navbarView()->width(), kFileNavbarHeight);
    navbarView()->setHasPathView(true);

    pathView_ = new OVPathView(navbarView());
    connect(pathView_, &OVPathView::pathbarAction, this, [this](OVPathViewComponentCell* cell) { pathbarAction(cell); });

    setupListView();

    // Renaming one entry, after the base's items; shown for a single entry a user may rename.
    renameAction_ = rightClickMenu()->addAction(L10n::text("Rename..."), this, [this] { renameMenuAction(); });
    connect(rightClickMenu(), &QMenu::aboutToShow, this, [this] {
        const std::vector<OVViewModelRef> selection = selectedItems();
        renameAction_->setVisible(selection.size() == 1 && !selection.front()->isSystemFile());
    });

    setMaxIconWidth(250);
    setZoomLevel(40);

    gridView_ = new IBCollectionView;
    gridView_->setDataSource(this);
    gridView_->setDelegate(this);
    gridView_->setDistinctSingleDoubleClick(false);
    gridView_->registerForDraggedTypes({QStringLiteral("text/uri-list")});
    gridView_->registerClass(&IBCollectionItemView::staticMetaObject, kItemViewIdentifier);

    addContentView(gridView_);
    setZoomLevel(zoomLevel());
    reloadGrid();
    layoutSubView();
}

void OVFileViewController::layoutSubView()
{
    OVRightViewController::layoutSubView();
    if (!viewStyleButton_ || !view())
        return;
    const QRect deleteFrame = deleteButton()->geometry();
    viewStyleButton_->setGeometry(7, deleteFrame.y(), kSegmentWidth * viewStyleButton_->segmentCount(), 31);
    if (pathView_ && pathView_->parentWidget())
        pathView_->setGeometry(7, kFileNavbarHeight - 5 - 30, view()->width() - 14, 30);
}

void OVFileViewController::setZoomLevel(double level)
{
    OVRightViewController::setZoomLevel(level);
    sectionLayoutManager_.setItemSize(QSizeF(140, 165));
    sectionLayoutManager_.setItemViewHSpacing(6);
    sectionLayoutManager_.setItemViewWSpacing(12);
    sectionLayoutManager_.setItemViewMarginMinX(22);
    sectionLayoutManager_.setItemViewMarginMaxX(29);
    sectionLayoutManager_.setItemViewMarginMinY(25);
    sectionLayoutManager_.setItemViewMarginMaxY(25);
    sectionLayoutManager_.setSectionHeaderViewHeight(5);
    sectionLayoutManager_.setSectionBottomViewHeight(5);
    if (gridView_)
        reloadGrid();
}

// --- pane operations --------------------------------------------------------------------

void OVFileViewController::setDeviceDone()
{
    if (!client())
        return;
    layoutSubView();
    pathView_->removeAllItems();
    const OVViewModelRef top = root();
    pathView_->addItemWithTitle(L10n::text("AllFiles"), top);
    startSpinning();
    QPointer<OVFileViewController> self(this);
    loadFilesInDirectory(top, [self, top](std::vector<OVFileRef> files, std::optional<Error> error) {
        if (!self)
            return;
        self->showListed(top, std::move(files), error);
        self->stopSpinning();
        QTimer::singleShot(0, self, [self] {
            if (self && self->view())
                self->view()->update();
        });
    });
}

void OVFileViewController::cleanUp()
{
    cleanThumbnailObservers();
    watchTimer_.stop();
    OVRightViewController::cleanUp();
}

void OVFileViewController::reloadCurrentViewData()
{
    const OVViewModelRef folder = currentDirectory();
    if (!folder || !client())
        return;
    saveExpandedItems();
    saveScrollViewOffset();
    cleanThumbnailObservers();
    startSpinning();
    QPointer<OVFileViewController> self(this);
    loadFilesInDirectory(folder, [self, folder](std::vector<OVFileRef> files, std::optional<Error> error) {
        if (!self)
            return;
        self->showListed(folder, std::move(files), error);
        if (auto* window = self->mainWindowController())
            window->reloadBadge(3, false, false, false);
        self->stopSpinning();
        if (folder == self->currentDirectory())
            self->restoreScrollViewOffset();
    });
}

QWidget* OVFileViewController::firstResponder()
{
    if (inListView())
        return listView_;
    return gridView_;
}

bool OVFileViewController::inListView() const
{
    return viewStyleButton_ && viewStyleButton_->selectedSegment() != IconView;
}

void OVFileViewController::updateStatusLabel()
{
    auto* window = mainWindowController();
    if (!window || !view() || !view()->window() || view()->window() == view())
        return;
    if (!listingError_.isEmpty()) {
        window->setStatusText(listingError_);
        return;
    }
    window->setStatusText(statusText(selectedItems().size(), items_.size()));
}

QString OVFileViewController::statusText(uint64_t selected, uint64_t total)
{
    if (selected == 0)
        return QStringLiteral("%1 %2").arg(total).arg(pluralItems(total));
    return QStringLiteral("%1 %2 %3 (%4 %5 %6)")
        .arg(L10n::text("Selected"))
        .arg(selected)
        .arg(pluralItems(selected))
        .arg(L10n::text("Total"))
        .arg(total)
        .arg(pluralItems(total));
}

std::vector<OVViewModelRef> OVFileViewController::selectedItems()
{
    return inListView() ? selectedItemsFromListview() : selectedItemsFromGridview();
}

OVViewModelRef OVFileViewController::selectedItemAtIndex(int64_t index)
{
    const std::vector<OVViewModelRef> selection = selectedItems();
    if (index < 0 || index >= static_cast<int64_t>(selection.size()))
        return nullptr;
    return selection[static_cast<size_t>(index)];
}

OVViewModelRef OVFileViewController::currentDirectory()
{
    return pathView_ ? pathView_->currentDirectory() : nullptr;
}

void OVFileViewController::selectAll()
{
    if (gridView_)
        gridView_->selectAll();
    if (inListView() && listView_)
        listView_->selectAll();
}

std::vector<OVViewModelRef> OVFileViewController::selectedItemsFromGridview()
{
    std::vector<OVViewModelRef> selection;
    if (!gridView_)
        return selection;
    for (const IBSectionIndexSet& pair : gridView_->selectedItemIndexSets()) {
        const int64_t index = pair.itemIndex();
        if (index >= 0 && index < static_cast<int64_t>(items_.size()))
            selection.push_back(items_[static_cast<size_t>(index)]);
    }
    return selection;
}

// --- listing ------------------------------------------------------------------------------

void OVFileViewController::loadFilesInDirectory(const OVViewModelRef& folder, ListingCallback callback)
{
    listFolder(folder, std::move(callback));
    if (folder && client() && Prefs::shared().boolValue(QStringLiteral("UseWatchCommand")))
        moveWatch(folder);
}

void OVFileViewController::listFolder(const OVViewModelRef& folder, ListingCallback callback)
{
    const auto device = client();
    if (!folder || !device) {
        if (callback)
            callback({}, std::nullopt);
        return;
    }
    folder->fetchChildren(*device, [callback](std::vector<OVFileRef> files, std::optional<Error> error) {
        if (!error)
            file_entry_order::sortListing(files);
        if (callback)
            callback(std::move(files), std::move(error));
    });
}

// A listing stores what arrived as the folder's children; it is shown only
// while the folder is still the one on screen, so a slow answer for a folder
// the user has left cannot replace what the trail says is shown.
void OVFileViewController::showListed(const OVViewModelRef& folder, std::vector<OVFileRef> files,
                                      const std::optional<Error>& error)
{
    if (folder != currentDirectory()) {
        folder->setOVFileChildren(files);
        return;
    }
    if (error) {
        const QString reason = QString::fromStdString(error->description());
        listingError_ = L10n::format(QStringLiteral("ListingFailed"), {folder->displayname(), reason});
    } else {
        listingError_.clear();
    }
    if (inListView() && listModel_)
        listModel_->childrenArrived(folder, files);
    else
        folder->setOVFileChildren(files);
    setDirectory(folder, folder->childrenViewModels());
}

void OVFileViewController::setDirectory(const OVViewModelRef& folder, const std::vector<OVViewModelRef>& content)
{
    items_.clear();
    const bool showHidden = Prefs::shared().boolValue(QStringLiteral("ShowHiddenFiles"));
    for (const OVViewModelRef& model : content)
        if (model && (showHidden || !model->isHiddenFile()))
            items_.push_back(model);
    if (!inListView()) {
        reloadGrid();
    } else if (listModel_) {
        if (listModel_->topFolder() != folder)
            listModel_->setTopFolder(folder);
        restoreExpandedItems();
    }
    if (folder && scrollViewOffsetCache_.count(folder->path()) && gridView_)
        gridView_->scrollToOffsetPoint(scrollViewOffsetCache_[folder->path()]);
    updateStatusLabel();
}

// --- navigation -----------------------------------------------------------------------------

void OVFileViewController::doubleClickItem(const OVViewModelRef& item)
{
    if (!item || !pathView_)
        return;
    if (!item->isDir()) {
        downloadAndOpenItem(item);
        return;
    }
    saveExpandedItems();
    saveScrollViewOffset();
    cleanThumbnailObservers();

    const auto& cells = pathView_->pathComponentCells();
    int found = -1;
    for (size_t i = 0; i < cells.size(); ++i) {
        const OVViewModelRef& object = cells[i]->object();
        if (object && samePhonePath(object->path(), item->path())) {
            found = static_cast<int>(i);
            break;
        }
    }
    if (found >= 0) {
        while (static_cast<int>(pathView_->pathComponentCells().size()) > found + 1)
            pathView_->removeLastItem();
    } else {
        // A folder deeper than the current one (opened from an expanded list
        // row) first gets the folders between them on the trail.
        const OVViewModelRef current = currentDirectory();
        const QString parentPath = deletingLastPathComponent(item->path());
        const QString currentPath = current ? current->path() : QString();
        const QString currentBase =
            currentPath.endsWith(QLatin1Char('/')) ? currentPath.chopped(1) : currentPath;
        if (!currentBase.isEmpty() && parentPath.startsWith(currentBase) && parentPath.size() > currentBase.size()) {
            const QString rest = parentPath.mid(currentBase.size());
            QString path = currentBase;
            const auto device = client();
            const QString serial = device ? QString::fromStdString(device->serialNumber()) : QString();
            for (const QString& part : rest.split(QLatin1Char('/'), Qt::SkipEmptyParts)) {
                path = QDir::cleanPath(path + QLatin1Char('/') + part);
                auto folder = std::make_shared<OVDirectoryFile>();
                folder->setName(part.toStdString());
                folder->setPath((path + QLatin1Char('/')).toStdString());
                pathView_->addItemWithTitle(part, OVViewModel::make(folder, serial));
            }
        }
        pathView_->addItemWithTitle(lastPathComponent(item->path()), item);
    }

    startSpinning();
    QPointer<OVFileViewController> self(this);
    loadFilesInDirectory(item, [self, item](std::vector<OVFileRef> files, std::optional<Error> error) {
        if (!self)
            return;
        self->showListed(item, std::move(files), error);
        self->stopSpinning();
    });
}

void OVFileViewController::pathbarAction(OVPathViewComponentCell* cell)
{
    if (!cell || !pathView_ || pathView_->indexOfCell(cell) < 0)
        return;
    cleanThumbnailObservers();
    const OVViewModelRef target = cell->object();
    const OVViewModelRef cameFrom = pathView_->objectAfterCell(cell);
    if (!target)
        return;
    saveExpandedItems();
    saveScrollViewOffset();
    items_.clear();
    reloadGrid();
    pathView_->removeItemAfter(cell);
    startSpinning();
    QPointer<OVFileViewController> self(this);
    loadFilesInDirectory(target, [self, target, cameFrom](std::vector<OVFileRef> files, std::optional<Error> error) {
        if (!self)
            return;
        self->showListed(target, std::move(files), error);
        self->stopSpinning();
        if (!cameFrom || target != self->currentDirectory())
            return;
        for (size_t i = 0; i < self->items_.size(); ++i) {
            if (self->items_[i]->isEqual(*cameFrom)) {
                self->gridView_->selectItemWithIndexSet(IBSectionIndexSet(0, static_cast<int64_t>(i)));
                break;
            }
        }
    });
}

void OVFileViewController::saveScrollViewOffset()
{
    const OVViewModelRef folder = currentDirectory();
    if (folder && gridView_)
        scrollViewOffsetCache_[folder->path()] = gridView_->scrollOffsetPoint();
}

void OVFileViewController::restoreScrollViewOffset()
{
    const OVViewModelRef folder = currentDirectory();
    if (!folder || !gridView_)
        return;
    const auto found = scrollViewOffsetCache_.find(folder->path());
    if (found != scrollViewOffsetCache_.end())
        gridView_->scrollToOffsetPoint(found->second);
}

// --- context menu ------------------------------------------------------------------------

void OVFileViewController::openMenuAction()
{
    const std::vector<OVViewModelRef> selection = selectedItems();
    if (!selection.empty())
        doubleClickItem(selection.front());
}

void OVFileViewController::openwithMenuAction(const QString& applicationId)
{
    for (const OVViewModelRef& item : selectedItems()) {
        if (!item->isDir()) {
            downloadAndOpenItem(item, applicationId);
            return;
        }
    }
}

void OVFileViewController::renameMenuAction()
{
    const std::vector<OVViewModelRef> selection = selectedItems();
    if (selection.size() != 1 || selection.front()->isSystemFile())
        return;
    const OVViewModelRef item = selection.front();
    const QString name = PaneDialogs::current().askNewName(view(), item->rawfilename());
    if (!name.isNull())
        renameItem(item, name);
}

bool OVFileViewController::isAcceptableName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QLatin1Char('\n')) && !name.contains(QLatin1Char('\r')) &&
           !name.contains(QChar(0));
}

void OVFileViewController::renameItem(const OVViewModelRef& item, const QString& newName)
{
    const auto device = client();
    if (!item || !device || newName == item->rawfilename())
        return;
    if (!isAcceptableName(newName)) {
        showMessage(L10n::format(QStringLiteral("NameNotAccepted"), {newName}), L10n::text("Rename"));
        return;
    }
    startSpinning();
    QPointer<OVFileViewController> self(this);
    item->rename(*device, newName, [self](std::optional<Error> error) {
        if (!self)
            return;
        self->stopSpinning();
        if (error)
            self->presentError(*error);
        self->reloadCurrentViewData();
    });
}

}  // namespace orv
