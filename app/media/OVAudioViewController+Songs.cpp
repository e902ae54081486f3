// The Music pane's songs table: its columns, sorting by a header click (the
// selection stays on the same songs), keys, double click, drops of music
// files and drags of songs out to the computer.

#include <QHeaderView>
#include <QKeyEvent>

#include "app/media/OVAudioViewController.h"
#include "app/media/OVSongTableModel.h"
#include "app/panes/OVDragOutMimeData.h"
#include "app/panes/OVPreviewWindow.h"
#include "app/shell/L10n.h"
#include "app/toolkit/OVSongTableCell.h"
#include "core/bridge/facade/OVDeviceClient.h"

namespace orv {

namespace {

struct ColumnWidths {
    bool canHide;
    bool hidden;
    int minimum;
    int initial;
    int maximum;
};
constexpr ColumnWidths kSongColumns[] = {
    {false, false, 200, 220, 1000}, {true, false, 80, 100, 120},  {true, false, 100, 165, 1000},
    {true, false, 180, 180, 1000},  {true, true, 120, 120, 120},   {true, true, 120, 180, 1000},
};


}  // namespace

void OVAudioViewController::setupTable()
{
    tableView_ = new OVTableView;
    tableView_->setIdentifier(QStringLiteral("audiotable"));
    tableModel_ = new OVSongTableModel(this, tableView_);
    tableView_->setModel(tableModel_);
    for (int column = 0; column < OVSongTableModel::ColumnCount; ++column) {
        const ColumnWidths& widths = kSongColumns[column];
        tableView_->addColumn(OVSongTableModel::identifierOfColumn(column),
                              L10n::text(OVSongTableModel::titleKeyOfColumn(column)), Qt::AlignLeft, widths.hidden);
        OVTableColumn& info = tableView_->column(column);
        info.canHide = widths.canHide;
        info.minWidth = widths.minimum;
        info.maxWidth = widths.maximum;
        tableView_->setColumnWidthClamped(column, widths.initial);
    }
    tableView_->setupTableHeaderMenu();
    tableView_->setItemDelegate(new OVSongTableCell(tableView_));
    tableView_->setTableDelegate(this);
    tableView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tableView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tableView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tableView_->setDragEnabled(true);
    tableView_->setAcceptDrops(true);
    tableView_->setDragDropMode(QAbstractItemView::DragDrop);
    tableView_->setDragDropOverwriteMode(false);
    tableView_->setDropIndicatorShown(true);
    tableView_->setDefaultDropAction(Qt::CopyAction);
    tableView_->horizontalHeader()->setSectionsClickable(true);
    tableView_->horizontalHeader()->setSectionsMovable(true);
    tableView_->horizontalHeader()->setSortIndicatorShown(false);
    connect(tableView_->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int column) { didClickTableColumn(column); });
    connect(tableView_, &QAbstractItemView::doubleClicked, this,
            [this](const QModelIndex& index) { tableViewDidDoubleClickAction(index); });
    connect(tableView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { tableViewSelectionDidChange(); });
}

void OVAudioViewController::tableViewSelectionDidChange()
{
    validationButtons();
    if (OVPreviewWindow::sharedPreviewPanelExists() && OVPreviewWindow::sharedPreviewPanel()->isVisible())
        reloadQuicklook();
}

void OVAudioViewController::tableViewDidDoubleClickAction(const QModelIndex& index)
{
    if (index.isValid() && index.row() < static_cast<int>(items_.size()))
        doubleClickItem(items_[static_cast<size_t>(index.row())]);
}

void OVAudioViewController::didClickTableColumn(int column)
{
    if (!tableView_ || column < 0 || column >= OVSongTableModel::ColumnCount || !tableView_->column(column).canSort)
        return;
    if (column == tableView_->lastSortingColumn()) {
        tableView_->setSortDescending(!tableView_->sortDescending());
    } else {
        tableView_->setSortDescending(false);
        tableView_->setLastSortingColumn(column);
    }
    QStringList selectedPaths;
    for (const OVViewModelRef& song : tableViewSelectedItems())
        selectedPaths << song->path();

    using Song = std::shared_ptr<OVAudioViewModel>;
    std::function<bool(const Song&, const Song&)> before;
    switch (column) {
    case OVSongTableModel::Name:
        before = [](const Song& a, const Song& b) { return OVAudioViewController::compareText(a->title(), b->title()) < 0; };
        break;
    case OVSongTableModel::Artist:
        before = [](const Song& a, const Song& b) { return OVAudioViewController::compareText(a->artist(), b->artist()) < 0; };
        break;
    case OVSongTableModel::Album:
        before = [](const Song& a, const Song& b) {
            const QString left = a->album() ? QString::fromStdString(a->album()->name()) : QString();
            const QString right = b->album() ? QString::fromStdString(b->album()->name()) : QString();
            return OVAudioViewController::compareText(left, right) < 0;
        };
        break;
    case OVSongTableModel::Time:
        // The longest song first.
        before = [](const Song& a, const Song& b) { return a->duration() > b->duration(); };
        break;
    case OVSongTableModel::DisplayPath:
        before = [](const Song& a, const Song& b) { return OVAudioViewController::compareText(a->displayname(), b->displayname()) < 0; };
        break;
    case OVSongTableModel::DisplayFileSize:
        before = [](const Song& a, const Song& b) { return a->filesize() > b->filesize(); };
        break;
    default:
        break;
    }
    if (before && !items_.empty()) {
        std::stable_sort(items_.begin(), items_.end(), before);
        if (tableView_->sortDescending())
            std::reverse(items_.begin(), items_.end());
    }
    tableView_->horizontalHeader()->setSortIndicatorShown(true);
    tableView_->horizontalHeader()->setSortIndicator(column, tableView_->sortDescending() ? Qt::DescendingOrder
                                                                                         : Qt::AscendingOrder);
    tableModel_->reset();
    selectSongsByPath(selectedPaths);
    const std::vector<OVViewModelRef> kept = tableViewSelectedItems();
    if (!kept.empty()) {
        for (size_t row = 0; row < items_.size(); ++row) {
            if (items_[row] == kept.front()) {
                tableView_->scrollTo(tableModel_->index(static_cast<int>(row), 0));
                break;
            }
        }
    }
}

bool OVAudioViewController::keyDownEvent(OVTableView*, QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        const std::vector<OVViewModelRef> selection = tableViewSelectedItems();
        if (selection.empty())
            return false;
        doubleClickItem(selection.front());
        return true;
    }
    default:
        return listKey(event);
    }
}

QMenu* OVAudioViewController::menuForEvent(OVTableView*, QContextMenuEvent*) { return rightClickMenu(); }

bool OVAudioViewController::importDroppedPaths(const QStringList& localPaths)
{
    QStringList music;
    for (const QString& path : localPaths)
        if (isAllowedMusicFile(path))
            music << path;
    const OVViewModelRef destination = currentDirectory();
    if (music.isEmpty() || !destination || isTransferRunning() || isAlbumExportRunning())
        return false;
    doImport(music, destination, nullptr);
    return true;
}

}  // namespace orv
