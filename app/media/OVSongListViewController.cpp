#include "app/media/OVSongListViewController.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

#include "app/panes/OVPreviewWindow.h"
#include "app/shell/L10n.h"
#include "app/toolkit/NSColor+LXExtension.h"
#include "app/toolkit/NSString+Format.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/model/OVAudioFile.h"

namespace orv {

// --- the album's songs as rows ---------------------------------------------------------

class OVSongListViewController::Model : public QAbstractTableModel {
public:
    explicit Model(OVSongListViewController* owner) : QAbstractTableModel(owner), owner_(owner) {}
    void reset()
    {
        beginResetModel();
        endResetModel();
    }
    int rowCount(const QModelIndex& parent = {}) const override
    {
        const auto album = owner_->albumViewModel();
        return parent.isValid() || !album ? 0 : static_cast<int>(album->songs().size());
    }
    int columnCount(const QModelIndex& parent = {}) const override { return parent.isValid() ? 0 : 1; }
    QVariant data(const QModelIndex& index, int role) const override
    {
        const auto album = owner_->albumViewModel();
        if (!album || !index.isValid() || index.row() >= static_cast<int>(album->songs().size()))
            return {};
        const auto song = std::dynamic_pointer_cast<OVAudioFile>(album->songs()[size_t(index.row())]);
        if (!song)
            return {};
        if (role == Qt::DisplayRole)
            return QString::fromStdString(song->title());
        if (role == Qt::UserRole)
            return formatAudioDuration(song->duration());
        return {};
    }

private:
    OVSongListViewController* owner_;
};

// --- the table --------------------------------------------------------------------------

SonglistTableView::SonglistTableView(OVSongListViewController* controller, QWidget* parent)
    : QTableView(parent), controller_(controller)
{
    setMouseTracking(true);
}

void SonglistTableView::mouseMoveEvent(QMouseEvent* event)
{
    const int row = rowAt(event->position().toPoint().y());
    if (row >= 0 && !(selectionModel()->isRowSelected(row, QModelIndex()) &&
                      selectionModel()->selectedRows().size() == 1))
        selectRow(row);
    QTableView::mouseMoveEvent(event);
}

void SonglistTableView::contextMenuEvent(QContextMenuEvent* event)
{
    const int row = rowAt(event->pos().y());
    if (row < 0) {
        clearSelection();
        return;
    }
    if (QMenu* menu = controller_->menuForRow(row))
        menu->popup(event->globalPos());
}

void SonglistTableView::keyPressEvent(QKeyEvent* event)
{
    if (controller_->keyDownEvent(event))
        return;
    QTableView::keyPressEvent(event);
}

// --- the row's look ------------------------------------------------------------------------

QRect SongListCellView::durationFrame(QSize cell)
{
    const int y = static_cast<int>((cell.height() - 23) * 0.5);
    return QRect(cell.width() - 11 - 54, y, 54, 23);
}

QRect SongListCellView::nameFrame(QSize cell)
{
    const QRect duration = durationFrame(cell);
    return QRect(13, duration.y(), cell.width() - 28 - duration.width(), 23);
}

QRectF SongListCellView::selectionRect(const QRectF& row) { return row.adjusted(2.5, 2.5, -2.5, -2.5).translated(0, -1); }

void SongListCellView::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    if (option.state & QStyle::State_Selected) {
        QPainterPath path;
        path.addRoundedRect(selectionRect(option.rect), 6, 6);
        painter->fillPath(path, QColor(218, 218, 218));
    }
    QFont font = QApplication::font();
    font.setPixelSize(14);
    painter->setFont(font);
    painter->setPen(colorWithHex(QStringLiteral("555")));
    const QSize cell = option.rect.size();
    const QRect name = nameFrame(cell).translated(option.rect.topLeft());
    const QRect duration = durationFrame(cell).translated(option.rect.topLeft());
    const QFontMetrics metrics(font);
    painter->drawText(name, Qt::AlignLeft | Qt::AlignVCenter,
                      metrics.elidedText(index.data(Qt::DisplayRole).toString(), Qt::ElideRight, name.width()));
    painter->drawText(duration, Qt::AlignRight | Qt::AlignVCenter, index.data(Qt::UserRole).toString());
    painter->restore();
}

QSize SongListCellView::sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const
{
    return QSize(230, OVSongListViewController::kRowHeight);
}

// --- the controller ------------------------------------------------------------------------

OVSongListViewController::OVSongListViewController(std::shared_ptr<OVAudioAlbumViewModel> album,
                                                   OVMainWindowController* window,
                                                   std::shared_ptr<OVDeviceClient> client,
                                                   std::function<void()> closeCallback)
    : albumViewModel_(album), closeCallback_(std::move(closeCallback))
{
    setMainWindowController(window);
    setClient(std::move(client));
}

OVSongListViewController::~OVSongListViewController() = default;

void OVSongListViewController::awakeFromNib()
{
    // No navigation bar: the popover shows the list alone.
    QWidget* root = view();
    auto* layout = new QVBoxLayout(root);
    layout->setContentsMargins(0, 0, 0, 0);
    songlistView_ = new SonglistTableView(this, root);
    model_ = new Model(this);
    songlistView_->setModel(model_);
    songlistView_->setItemDelegate(new SongListCellView(songlistView_));
    songlistView_->horizontalHeader()->hide();
    songlistView_->horizontalHeader()->setStretchLastSection(true);
    songlistView_->verticalHeader()->hide();
    songlistView_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    songlistView_->verticalHeader()->setDefaultSectionSize(kRowHeight);
    songlistView_->setShowGrid(false);
    // The rounded selection is the only highlight a row gets.
    songlistView_->setFocusPolicy(Qt::ClickFocus);
    songlistView_->setStyleSheet(QStringLiteral("QTableView { outline: 0; }"));
    songlistView_->setFrameShape(QFrame::NoFrame);
    songlistView_->setSelectionBehavior(QAbstractItemView::SelectRows);
    songlistView_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    songlistView_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    songlistView_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    songlistView_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    QPalette palette = songlistView_->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    songlistView_->setPalette(palette);
    layout->addWidget(songlistView_);
    connect(songlistView_->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] { tableViewSelectionDidChange(); });
    connect(songlistView_, &QAbstractItemView::doubleClicked, this, [this] { openMenuAction(); });

    menu_ = new QMenu(root);
    menu_->addAction(L10n::text("MenuOpen"), this, [this] { openMenuAction(); });
    menu_->addAction(L10n::text("MenuExport"), this, [this] { exportMenuAction(); });
    menu_->addAction(L10n::text("MenuDelete"), this, [this] { deleteMenuAction(); });
}

void OVSongListViewController::reloadData()
{
    if (!model_)
        return;
    selectedItems_.clear();
    model_->reset();
}

void OVSongListViewController::tableViewSelectionDidChange()
{
    selectedItems_.clear();
    const auto album = albumViewModel();
    if (!album || !songlistView_)
        return;
    const auto device = client();
    const QString serial = device ? QString::fromStdString(device->serialNumber()) : QString();
    const auto& songs = album->songs();
    for (size_t row = 0; row < songs.size(); ++row) {
        if (!songlistView_->selectionModel()->isRowSelected(static_cast<int>(row), QModelIndex()))
            continue;
        if (auto song = std::dynamic_pointer_cast<OVAudioFile>(songs[row]))
            selectedItems_.push_back(OVAudioViewModel::make(song, serial));
    }
    if (OVPreviewWindow::sharedPreviewPanelExists() && OVPreviewWindow::sharedPreviewPanel()->isVisible())
        reloadQuicklook();
}

void OVSongListViewController::doDeleteDone(const std::optional<Error>&)
{
    if (const auto album = albumViewModel()) {
        std::vector<OVFileRef> kept;
        for (const OVFileRef& song : album->songs()) {
            const QString path = QString::fromStdString(song->path());
            const bool deleted = std::any_of(selectedItems_.begin(), selectedItems_.end(),
                                             [&](const OVViewModelRef& item) { return item->path() == path; });
            if (!deleted)
                kept.push_back(song);
        }
        album->setSongs(std::move(kept));
    }
    reloadData();
    if (closeCallback_)
        closeCallback_();
}

void OVSongListViewController::openMenuAction()
{
    if (!selectedItems_.empty())
        doubleClickItem(selectedItems_.front());
}

void OVSongListViewController::openwithMenuAction(const QString& applicationId)
{
    for (const OVViewModelRef& item : selectedItems_) {
        if (!item->isDir()) {
            downloadAndOpenItem(item, applicationId);
            return;
        }
    }
}

void OVSongListViewController::exportMenuAction()
{
    if (selectedItems_.empty())
        return;
    exportAction();
    if (closeCallback_)
        closeCallback_();
}

void OVSongListViewController::doubleClickItem(const OVViewModelRef& item)
{
    if (item && item->isAudio())
        downloadAndOpenItem(item);
}

QMenu* OVSongListViewController::menuForRow(int row)
{
    if (!songlistView_)
        return nullptr;
    if (!songlistView_->selectionModel()->isRowSelected(row, QModelIndex()))
        songlistView_->selectRow(row);
    return menu_;
}

bool OVSongListViewController::keyDownEvent(QKeyEvent* event)
{
    const bool control = event->modifiers() & Qt::ControlModifier;
    if ((event->key() == Qt::Key_Backspace && control) || event->key() == Qt::Key_Delete) {
        deleteAction();
        return true;
    }
    if (event->key() == Qt::Key_Space || (event->key() == Qt::Key_Y && control)) {
        if (!selectedItems_.empty() && selectedItems_.front()->isAudio())
            quickLookPreviewItem(selectedItems_.front(), false);
        return true;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        openMenuAction();
        return true;
    }
    return false;
}

bool OVSongListViewController::previewPanelHandleEvent(QKeyEvent* event)
{
    if (!event || event->type() != QEvent::KeyPress || !songlistView_)
        return false;
    QKeyEvent copy(event->type(), event->key(), event->modifiers(), event->text());
    QCoreApplication::sendEvent(songlistView_, &copy);
    reloadQuicklook();
    return true;
}

void OVSongListViewController::reloadQuicklook()
{
    if (!selectedItems_.empty() && selectedItems_.front()->isAudio())
        quickLookPreviewItem(selectedItems_.front(), true);
}

QRect OVSongListViewController::screenRectForItem(const OVViewModelRef& item)
{
    const auto album = albumViewModel();
    if (!item || !album || !songlistView_)
        return {};
    const auto& songs = album->songs();
    for (size_t row = 0; row < songs.size(); ++row) {
        if (QString::fromStdString(songs[row]->path()) != item->path())
            continue;
        const QRect rect = songlistView_->visualRect(model_->index(static_cast<int>(row), 0));
        return QRect(songlistView_->viewport()->mapToGlobal(rect.topLeft()), rect.size());
    }
    return {};
}

}  // namespace orv
