#pragma once
// The song list of one music album, shown in a popover beside the album's
// tile: one 49-high row per song with its title and duration, the selection
// following the pointer, and Open, Export and Delete of the selected songs
// through the pane base's machinery. The Music pane makes it once and points
// it at each album it shows. Main thread only.

#include <QAbstractTableModel>
#include <QStyledItemDelegate>
#include <QTableView>
#include <functional>

#include "app/panes/OVRightViewController.h"
#include "app/viewmodels/OVAudioAlbumViewModel.h"
#include "app/viewmodels/OVAudioViewModel.h"

namespace orv {

class OVSongListViewController;

// The popover's table: rows selected as the pointer moves over them, the
// context menu and keys offered to the controller first.
class SonglistTableView : public QTableView {
    Q_OBJECT
public:
    explicit SonglistTableView(OVSongListViewController* controller, QWidget* parent = nullptr);

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    OVSongListViewController* controller_;
};

// Draws one song row: the rounded grey selection, the title on the left and
// the duration on the right.
class SongListCellView : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    // Where the duration and the name go in a cell of that size.
    static QRect durationFrame(QSize cell);
    static QRect nameFrame(QSize cell);
    static QRectF selectionRect(const QRectF& row);
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class OVSongListViewController : public OVRightViewController {
    Q_OBJECT

public:
    static constexpr int kRowHeight = 49;

    OVSongListViewController(std::shared_ptr<OVAudioAlbumViewModel> album, OVMainWindowController* window,
                             std::shared_ptr<OVDeviceClient> client, std::function<void()> closeCallback);
    ~OVSongListViewController() override;

    std::shared_ptr<OVAudioAlbumViewModel> albumViewModel() const { return albumViewModel_.lock(); }
    void setAlbumViewModel(const std::shared_ptr<OVAudioAlbumViewModel>& album) { albumViewModel_ = album; }
    SonglistTableView* songlistView() const { return songlistView_; }
    QMenu* menu() const { return menu_; }

    void reloadData();
    void reloadCurrentViewData() override { reloadData(); }
    std::vector<OVViewModelRef> selectedItems() override { return selectedItems_; }
    void doDeleteDone(const std::optional<Error>& error) override;
    void showImportDoneMessage(uint64_t) override {}
    void showExportDoneMessage(uint64_t) override {}
    void showDeleteDoneMessage(uint64_t) override {}

    void tableViewSelectionDidChange();
    void openMenuAction() override;
    void openwithMenuAction(const QString& applicationId) override;
    void exportMenuAction() override;
    void deleteMenuAction() override { deleteAction(); }
    void doubleClickItem(const OVViewModelRef& item);
    // The menu for a right click on `row`; the row becomes the selection unless it is in it.
    QMenu* menuForRow(int row);
    // True when the key was handled.
    bool keyDownEvent(QKeyEvent* event);
    bool previewPanelHandleEvent(QKeyEvent* event) override;
    void reloadQuicklook();
    QRect screenRectForItem(const OVViewModelRef& item) override;

protected:
    void awakeFromNib() override;

private:
    class Model;
    std::weak_ptr<OVAudioAlbumViewModel> albumViewModel_;
    std::function<void()> closeCallback_;
    std::vector<OVViewModelRef> selectedItems_;
    SonglistTableView* songlistView_ = nullptr;
    Model* model_ = nullptr;
    QMenu* menu_ = nullptr;
};

}  // namespace orv
