// The file browser's list view: folders expand in place and are listed on
// first expansion, expanded folders are remembered by path across
// navigation, a header click sorts the top level, and files dropped on the
// list or a folder row are imported there.

#include <QHeaderView>
#include <QKeyEvent>

#include "app/panes/FileEntryOrder.h"
#include "app/panes/OVFileNameCell.h"
#include "app/panes/OVFileOutlineModel.h"
#include "app/panes/OVFileViewController.h"
#include "app/panes/OVOutlineView.h"
#include "app/panes/OVPreviewWindow.h"
#include "app/toolkit/OVSegButton.h"

namespace orv {

namespace {
// Expansion is restored this many levels below the top at most.
constexpr int kDeepestRestoredLevel = 5;
}  // namespace

void OVFileViewController::setupListView()
{
    listView_ = new OVOutlineView;
    listView_->setIdentifier(QStringLiteral("filebrowser"));
    listModel_ = new OVFileOutlineModel(this, listView_);
    listView_->setModel(listModel_);
    listView_->addColumn(OVFileOutlineModel::identifierOfColumn(OVFileOutlineModel::FileName),
                         listModel_->headerData(OVFileOutlineModel::FileName, Qt::Horizontal, Qt::DisplayRole).toString());
    listView_->addColumn(OVFileOutlineModel::identifierOfColumn(OVFileOutlineModel::FileSize),
                         listModel_->headerData(OVFileOutlineModel::FileSize, Qt::Horizontal, Qt::DisplayRole).toString());
    listView_->addColumn(OVFileOutlineModel::identifierOfColumn(OVFileOutlineModel::ModifiedDate),
                         listModel_->headerData(OVFileOutlineModel::ModifiedDate, Qt::Horizontal, Qt::DisplayRole)
                             .toString());
    listView_->setColumnWidthClamped(OVFileOutlineModel::FileName, 320);
    listView_->setColumnWidthClamped(OVFileOutlineModel::FileSize, 110);
    listView_->setColumnWidthClamped(OVFileOutlineModel::ModifiedDate, 180);
    listView_->setupTableHeaderMenu();
    listView_->setItemDelegateForColumn(OVFileOutlineModel::FileName, new OVFileNameCell(listView_));
    listView_->setOutlineDelegate(this);
    listView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    listView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    listView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    listView_->setExpandsOnDoubleClick(false);
    listView_->setSortingEnabled(false);
    listView_->setAcceptDrops(true);
    listView_->setDragDropMode(QAbstractItemView::DropOnly);
    listView_->setDropIndicatorShown(true);
    listView_->header()->setSectionsClickable(true);
    listView_->header()->setSortIndicatorShown(false);
    connect(listView_->header(), &QHeaderView::sectionClicked, this, [this](int column) { didClickTableColumn(column); });
    connect(listView_, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { outlineViewDoubleClicked(index); });
    connect(listView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { outlineViewSelectionDidChange(); });
}

std::vector<OVViewModelRef> OVFileViewController::selectedItemsFromListview()
{
    std::vector<OVViewModelRef> selection;
    if (!listView_ || !listModel_ || !listView_->selectionModel())
        return selection;
    QModelIndexList rows = listView_->selectionModel()->selectedRows(0);
    // Top to bottom as the list shows them, rows of expanded folders included.
    std::sort(rows.begin(), rows.end(), [this](const QModelIndex& a, const QModelIndex& b) {
        return listView_->visualRect(a).top() < listView_->visualRect(b).top();
    });
    for (const QModelIndex& index : rows)
        if (OVViewModelRef item = listModel_->itemAt(index))
            selection.push_back(item);
    return selection;
}

void OVFileViewController::outlineViewSelectionDidChange()
{
    validationButtons();
    if (OVPreviewWindow::sharedPreviewPanelExists() && OVPreviewWindow::sharedPreviewPanel()->isVisible())
        reloadQuicklook();
}

void OVFileViewController::outlineViewDoubleClicked(const QModelIndex& index)
{
    const OVViewModelRef item = listModel_ ? listModel_->itemAt(index.siblingAtColumn(0)) : nullptr;
    if (!item)
        return;
    if (item->isDir())
        listView_->expand(index.siblingAtColumn(0));
    else
        doubleClickItem(item);
}

bool OVFileViewController::keyDown(OVOutlineView*, QKeyEvent* event)
{
    const bool control = event->modifiers() & Qt::ControlModifier;
    const std::vector<OVViewModelRef> selection = selectedItems();
    switch (event->key()) {
    case Qt::Key_Y:
        if (!control)
            return false;
        [[fallthrough]];
    case Qt::Key_Space:
        if (!selection.empty())
            quickLookPreviewItem(selection.front(), false);
        return true;
    case Qt::Key_Backspace:
        if (!control)
            return false;
        deleteAction();
        return true;
    case Qt::Key_Delete:
        if (!selection.empty())
            deleteAction();
        return true;
    default:
        return false;
    }
}

QMenu* OVFileViewController::menuForEvent(OVOutlineView*, QContextMenuEvent*) { return rightClickMenu(); }

// --- listing on expansion ----------------------------------------------------------------

void OVFileViewController::loadChildrenForExpansion(const OVViewModelRef& folder)
{
    if (!folder)
        return;
    startSpinning();
    QPointer<OVFileViewController> self(this);
    // Listed without moving the watch: the shown folder stays watched.
    listFolder(folder, [self, folder](std::vector<OVFileRef> files, std::optional<Error>) {
        if (!self)
            return;
        if (self->listModel_)
            self->listModel_->childrenArrived(folder, files);
        else
            folder->setOVFileChildren(files);
        self->stopSpinning();
        self->applyRestoredExpansion(folder, -1);
    });
}

// --- the memory of expanded folders ---------------------------------------------------------

// Folders shown in the list update their entry; folders not shown keep
// theirs, so a folder left expanded is expanded again when the user comes
// back to it from elsewhere.
void OVFileViewController::saveExpandedItems()
{
    if (!viewStyleButton_ || viewStyleButton_->selectedSegment() != ListView || !listModel_)
        return;
    std::function<void(const QModelIndex&)> walk = [&](const QModelIndex& parent) {
        const int rows = listModel_->rowCount(parent);
        for (int row = 0; row < rows; ++row) {
            const QModelIndex index = listModel_->index(row, 0, parent);
            const OVViewModelRef item = listModel_->itemAt(index);
            if (!item || !item->isDir())
                continue;
            const bool expanded = listView_->isExpanded(index);
            expandedItems_.removeAll(item->path());
            if (!expanded)
                continue;
            expandedItems_ << item->path();
            walk(index);
        }
    };
    walk(QModelIndex());
}

void OVFileViewController::restoreExpandedItems()
{
    if (!viewStyleButton_ || viewStyleButton_->selectedSegment() != ListView || !listModel_)
        return;
    const OVViewModelRef top = listModel_->topFolder();
    if (!top)
        return;
    // Top-level rows only here; the levels below follow as each folder is listed.
    const std::vector<OVViewModelRef> rows = top->childrenViewModels();
    for (const OVViewModelRef& item : rows) {
        if (!item->isDir() || !expandedItems_.contains(item->path()))
            continue;
        listView_->expand(listModel_->indexOfItem(item.get()));
        restoreExpandedItem(item, 1);
    }
}

void OVFileViewController::restoreExpandedItem(const OVViewModelRef& folder, int level)
{
    if (level > kDeepestRestoredLevel || !folder || !listModel_)
        return;
    if (!OVFileOutlineModel::isListed(*folder)) {
        // Expanding asked for the listing; it restores below when it arrives.
        pendingRestoreLevels_[folder->path()] = level;
        const QModelIndex index = listModel_->indexOfItem(folder.get());
        if (index.isValid() && listModel_->canFetchMore(index))
            listModel_->fetchMore(index);
        return;
    }
    const std::vector<OVViewModelRef> children = folder->childrenViewModels();
    for (const OVViewModelRef& child : children) {
        if (!child->isDir() || !expandedItems_.contains(child->path()))
            continue;
        listView_->expand(listModel_->indexOfItem(child.get()));
        restoreExpandedItem(child, level + 1);
    }
}

void OVFileViewController::applyRestoredExpansion(const OVViewModelRef& folder, int level)
{
    const auto found = pendingRestoreLevels_.find(folder->path());
    if (level < 0) {
        if (found == pendingRestoreLevels_.end())
            return;
        level = found->second;
    }
    if (found != pendingRestoreLevels_.end())
        pendingRestoreLevels_.erase(found);
    restoreExpandedItem(folder, level);
}

// --- sorting ------------------------------------------------------------------------------

void OVFileViewController::didClickTableColumn(int column)
{
    if (!listView_ || !listModel_)
        return;
    if (column == listView_->lastSortingColumn()) {
        listView_->setSortDescending(!listView_->sortDescending());
    } else {
        listView_->setSortDescending(false);
        listView_->setLastSortingColumn(column);
    }
    const OVViewModelRef top = listModel_->topFolder();
    if (top) {
        std::vector<OVViewModelRef> ordered = top->childrenViewModels();
        file_entry_order::sortByColumn(ordered, OVFileOutlineModel::identifierOfColumn(column), false);
        if (!ordered.empty()) {
            if (listView_->sortDescending())
                std::reverse(ordered.begin(), ordered.end());
            listModel_->setTopLevelOrder(std::move(ordered));
        }
    }
    listView_->header()->setSortIndicatorShown(true);
    listView_->header()->setSortIndicator(column, listView_->sortDescending() ? Qt::DescendingOrder
                                                                                : Qt::AscendingOrder);
}

// --- drops ----------------------------------------------------------------------------------

bool OVFileViewController::acceptListDrop(const QStringList& localPaths, const OVViewModelRef& destination)
{
    const OVViewModelRef target = destination ? destination : currentDirectory();
    if (localPaths.isEmpty() || !target || !target->isDir() || isTransferRunning())
        return false;
    // The current folder is listed again by every finished import; a folder
    // row that took the drop is listed here so its rows show the new files.
    QPointer<OVFileViewController> self(this);
    doImport(localPaths, target, [self, target](std::optional<Error>, std::vector<std::string>) {
        if (!self || target == self->currentDirectory())
            return;
        self->startSpinning();
        self->listFolder(target, [self, target](std::vector<OVFileRef> files, std::optional<Error>) {
            if (!self)
                return;
            if (self->listModel_)
                self->listModel_->childrenArrived(target, files);
            self->stopSpinning();
        });
    });
    return true;
}

}  // namespace orv
