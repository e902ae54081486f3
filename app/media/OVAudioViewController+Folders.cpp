// The Music pane's folders outline: the songs grouped by the folder holding
// them, folder rows sorted by a header click, expanded folders kept across
// rebuilds, keys and double click. A folder row is an album of exactly the
// songs listed under it, so what is done to the row is done to those songs
// and never to the phone folder's other files.

#include <QHeaderView>
#include <QKeyEvent>
#include <map>

#include "app/media/OVAudioFolderModel.h"
#include "app/media/OVAudioViewController.h"
#include "app/panes/OVOutlineView.h"
#include "app/panes/OVPreviewWindow.h"
#include "app/shell/L10n.h"
#include "app/toolkit/NSString+Path.h"
#include "app/toolkit/OVIconTextFieldCell.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/model/OVAlbum.h"

namespace orv {

namespace {


QString folderPathOf(const QString& songPath)
{
    const QString folder = deletingLastPathComponent(songPath);
    return folder.isEmpty() ? QStringLiteral("/") : folder;
}

}  // namespace

uint64_t OVAudioViewController::folderSongCount(const OVViewModel& folder)
{
    return folder.childrenViewModels().size();
}

uint64_t OVAudioViewController::folderTotalSize(const OVViewModel& folder)
{
    uint64_t total = 0;
    for (const OVViewModelRef& song : folder.childrenViewModels())
        total += song->filesize();
    return total;
}

void OVAudioViewController::setupOutline()
{
    outlineView_ = new OVOutlineView;
    outlineView_->setIdentifier(QStringLiteral("audiofolders"));
    outlineModel_ = new OVAudioFolderModel(this, outlineView_);
    outlineView_->setModel(outlineModel_);
    struct Widths {
        Qt::Alignment alignment;
        int minimum, initial, maximum;
    };
    const Widths widths[] = {
        {Qt::AlignLeft, 200, 200, 500},
        {Qt::AlignRight, 80, 120, 120},
        {Qt::AlignLeft, 120, 120, 160},
        {Qt::AlignLeft, 100, 260, 2000},
    };
    for (int column = 0; column < OVAudioFolderModel::ColumnCount; ++column) {
        outlineView_->addColumn(OVAudioFolderModel::identifierOfColumn(column),
                                L10n::text(OVAudioFolderModel::titleKeyOfColumn(column)), widths[column].alignment);
        OVTableColumn& info = outlineView_->column(column);
        info.canHide = column != OVAudioFolderModel::FileName;
        info.minWidth = widths[column].minimum;
        info.maxWidth = widths[column].maximum;
        outlineView_->setColumnWidthClamped(column, widths[column].initial);
    }
    outlineView_->setupTableHeaderMenu();
    outlineView_->setItemDelegateForColumn(OVAudioFolderModel::FileName, new OVIconTextFieldCell(outlineView_));
    outlineView_->setOutlineDelegate(this);
    outlineView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    outlineView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    outlineView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    outlineView_->setExpandsOnDoubleClick(false);
    outlineView_->setAcceptDrops(true);
    outlineView_->setDragDropMode(QAbstractItemView::DropOnly);
    outlineView_->setDropIndicatorShown(true);
    outlineView_->header()->setSectionsClickable(true);
    outlineView_->header()->setSortIndicatorShown(false);
    connect(outlineView_->header(), &QHeaderView::sectionClicked, this,
            [this](int column) { outlineViewDidClickTableColumn(column); });
    connect(outlineView_, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { outlineViewDoubleClicked(index); });
    connect(outlineView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { outlineViewSelectionDidChange(); });
}

void OVAudioViewController::resetAudioFolder()
{
    if (!outlineModel_)
        return;
    saveExpandedItems();
    const auto device = client();
    const QString serial = device ? QString::fromStdString(device->serialNumber()) : QString();
    std::vector<OVViewModelRef> folders;
    std::map<QString, std::pair<OVViewModelRef, std::vector<OVViewModelRef>>> byPath;
    std::vector<QString> order;
    for (const auto& song : items_) {
        const QString path = folderPathOf(song->path());
        auto found = byPath.find(path);
        if (found == byPath.end()) {
            found = byPath.emplace(path, std::make_pair(OVViewModelRef(), std::vector<OVViewModelRef>())).first;
            order.push_back(path);
        }
        found->second.second.push_back(song);
    }
    for (const QString& path : order) {
        auto& [model, songs] = byPath[path];
        // An album record of exactly these songs: the pane base deletes an
        // album as its children, so a folder row can never take the folder.
        auto record = std::make_shared<OVAlbum>();
        record->setAlbumId(-1);
        record->setPath(path.toStdString());
        record->setName(lastPathComponent(path).toStdString());
        std::vector<OVFileRef> files;
        for (const OVViewModelRef& song : songs)
            files.push_back(song->ovfile());
        record->setChildren(std::move(files));
        model = OVViewModel::make(record, serial);
        model->setChildrenViewModels(songs);
        folders.push_back(model);
    }
    audioFolders_ = std::move(folders);
    outlineModel_->reset();
    restoreExpandedItems();
    if (outlineView_->lastSortingColumn() >= 0) {
        const int column = outlineView_->lastSortingColumn();
        outlineView_->setLastSortingColumn(-1);
        outlineViewDidClickTableColumn(column);
    }
}

void OVAudioViewController::saveExpandedItems()
{
    if (!outlineModel_ || !outlineView_)
        return;
    expandedItemsArray_.clear();
    for (int row = 0; row < outlineModel_->rowCount(); ++row) {
        const QModelIndex index = outlineModel_->index(row, 0);
        if (outlineView_->isExpanded(index))
            if (const OVViewModelRef item = outlineModel_->itemAt(index))
                expandedItemsArray_ << item->path();
    }
}

void OVAudioViewController::restoreExpandedItems()
{
    if (!outlineModel_ || !outlineView_)
        return;
    for (int row = 0; row < outlineModel_->rowCount(); ++row) {
        const QModelIndex index = outlineModel_->index(row, 0);
        const OVViewModelRef item = outlineModel_->itemAt(index);
        if (item && expandedItemsArray_.contains(item->path()))
            outlineView_->expand(index);
    }
    expandedItemsArray_.clear();
}

void OVAudioViewController::outlineViewDidClickTableColumn(int column)
{
    if (!outlineView_ || column < 0 || column >= OVAudioFolderModel::ColumnCount)
        return;
    saveExpandedItems();
    const QStringList expanded = expandedItemsArray_;
    if (column == outlineView_->lastSortingColumn()) {
        outlineView_->setSortDescending(!outlineView_->sortDescending());
    } else {
        outlineView_->setSortDescending(false);
        outlineView_->setLastSortingColumn(column);
    }
    std::function<bool(const OVViewModelRef&, const OVViewModelRef&)> before;
    switch (column) {
    case OVAudioFolderModel::FileName:
        before = [](const OVViewModelRef& a, const OVViewModelRef& b) {
            return OVAudioViewController::compareText(a->displayname(), b->displayname()) < 0;
        };
        break;
    case OVAudioFolderModel::FileSize:
        before = [](const OVViewModelRef& a, const OVViewModelRef& b) {
            return folderTotalSize(*a) > folderTotalSize(*b);
        };
        break;
    case OVAudioFolderModel::FilePath:
        before = [](const OVViewModelRef& a, const OVViewModelRef& b) { return OVAudioViewController::compareText(a->path(), b->path()) < 0; };
        break;
    case OVAudioFolderModel::SongNum:
        before = [](const OVViewModelRef& a, const OVViewModelRef& b) {
            return folderSongCount(*a) > folderSongCount(*b);
        };
        break;
    default:
        break;
    }
    if (before)
        std::stable_sort(audioFolders_.begin(), audioFolders_.end(), before);
    if (!audioFolders_.empty() && outlineView_->sortDescending())
        std::reverse(audioFolders_.begin(), audioFolders_.end());
    outlineView_->header()->setSortIndicatorShown(true);
    outlineView_->header()->setSortIndicator(column, outlineView_->sortDescending() ? Qt::DescendingOrder
                                                                                   : Qt::AscendingOrder);
    outlineModel_->reset();
    expandedItemsArray_ = expanded;
    restoreExpandedItems();
}

std::vector<OVViewModelRef> OVAudioViewController::outlineViewSelectedItem()
{
    std::vector<OVViewModelRef> selection;
    if (!outlineView_ || !outlineModel_ || !outlineView_->selectionModel())
        return selection;
    QModelIndexList rows = outlineView_->selectionModel()->selectedRows(0);
    std::sort(rows.begin(), rows.end(), [this](const QModelIndex& a, const QModelIndex& b) {
        return outlineView_->visualRect(a).top() < outlineView_->visualRect(b).top();
    });
    for (const QModelIndex& index : rows)
        if (OVViewModelRef item = outlineModel_->itemAt(index))
            selection.push_back(item);
    return selection;
}

void OVAudioViewController::outlineViewSelectionDidChange()
{
    validationButtons();
    if (OVPreviewWindow::sharedPreviewPanelExists() && OVPreviewWindow::sharedPreviewPanel()->isVisible())
        reloadQuicklook();
}

void OVAudioViewController::outlineViewDoubleClicked(const QModelIndex& index)
{
    const OVViewModelRef item = outlineModel_ ? outlineModel_->itemAt(index.siblingAtColumn(0)) : nullptr;
    if (!item)
        return;
    if (item->isDir())
        outlineView_->expand(index.siblingAtColumn(0));
    else
        doubleClickItem(item);
}

bool OVAudioViewController::keyDown(OVOutlineView*, QKeyEvent* event) { return listKey(event); }

QMenu* OVAudioViewController::menuForEvent(OVOutlineView*, QContextMenuEvent*) { return rightClickMenu(); }

}  // namespace orv
