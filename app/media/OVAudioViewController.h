#pragma once
// The Music pane: the phone's audio library, fetched as a whole, shown in one
// of three modes picked with a switch in the navigation bar: every song in a
// sortable table, the songs grouped by the folder holding them in an outline,
// or the albums as a grid of covers whose click opens the album's song list
// in a popover. The pane never plays music: opening a song copies it to the
// computer and opens it there.
//
// Library fetches are throttled: a request less than 1.5 s after the last
// accepted one is folded into one trailing fetch when that time is up, so a
// change the phone pushes right after an import still reaches the pane.
// Folder rows of the outline stand for the songs listed under them, never
// for the phone folder itself: deleting or exporting a folder row touches
// exactly those songs. Main thread only.

#include <QElapsedTimer>
#include <QHash>
#include <QPointer>
#include <QTimer>
#include <map>

#include "app/media/OVAudioAlbumItemView.h"
#include "app/media/OVMediaReloadThrottle.h"
#include "app/panes/OVOutlineViewDelegate.h"
#include "app/panes/OVRightViewController.h"
#include "app/toolkit/IBCollectionViewDataSource.h"
#include "app/toolkit/IBCollectionViewDelegate.h"
#include "app/toolkit/IBSectionViewLayoutManager.h"
#include "app/toolkit/OVTableView.h"
#include "app/viewmodels/OVAudioAlbumViewModel.h"
#include "app/viewmodels/OVAudioViewModel.h"
#include "core/bridge/companion/OVMediaLibrary.h"

class QMimeData;

namespace orv {

class IBCollectionView;
class OVAudioFolderModel;
class OVBPopover;
class OVOutlineView;
class OVSegButton;
class OVSongListViewController;
class OVSongTableModel;

class OVAudioViewController : public OVRightViewController,
                              public OVSongTableViewDelegate,
                              public IBCollectionViewDataSource,
                              public IBCollectionViewDelegate,
                              public OVOutlineViewDelegate {
    Q_OBJECT

public:
    enum ShowMode { SongsMode = 0, FoldersMode = 1, AlbumsMode = 2 };
    // Why the library is fetched again; the first three wait a moment so the
    // phone's media scan can catch up with what just changed.
    enum class ReloadTrigger { Delete, Import, Reload, Push };
    static constexpr int kReloadIntervalMs = static_cast<int>(OVMediaReloadThrottle::kInterval * 1000);
    static constexpr int kReloadStartDelayMs = 500;
    static constexpr int kPopoverWidth = 230;
    static constexpr int kPopoverRowHeight = 49;
    static constexpr int kPopoverMaxHeight = 294;
    static constexpr int kPopoverCloseGuardMs = 250;
    static inline const QString kItemViewIdentifier = QStringLiteral("__itemview__");

    OVAudioViewController();
    ~OVAudioViewController() override;

    // --- pane operations ------------------------------------------------------------
    void setDeviceDone() override;
    void cleanUp() override;
    QWidget* firstResponder() override;
    void layoutSubView() override;
    QStringList allowedFileTypes() override;
    static QStringList musicFileTypes();
    // Whether the file's extension is one the pane imports (letter case counts).
    static bool isAllowedMusicFile(const QString& path);
    void reloadCurrentViewData() override;
    void deviceLibraryCallback(const std::optional<OVLibraryChange>& change) override;
    void updateStatusLabel() override;
    // The status line for `selected` of `total` entries.
    static QString statusText(uint64_t selected, uint64_t total);
    OVViewModelRef currentDirectory() override { return currentViewModel_; }
    std::vector<OVViewModelRef> selectedItems() override;
    OVViewModelRef selectedItemAtIndex(int64_t index) override;
    void selectAll() override;
    void doImportDone(const std::optional<Error>& error, const std::vector<std::string>& phonePaths) override;
    void doDeleteDone(const std::optional<Error>& error) override;
    void showImportDoneMessage(uint64_t) override {}
    void showExportDoneMessage(uint64_t) override {}
    void showDeleteDoneMessage(uint64_t) override {}
    void setZoomLevel(double level) override;

    // --- modes and loading -------------------------------------------------------------
    int nowShowMode() const { return nowShowMode_; }
    OVSegButton* segButton() const { return segButton_; }
    // Sets up the switch's selected mode (nothing but the status line when it is set up already).
    void swichShowMode();
    void requestReload(ReloadTrigger trigger);
    // Fetches started so far, and reload requests made (for the throttle's observers).
    int fetchCount() const { return fetchCount_; }
    int reloadRequestCount() const { return reloadRequests_; }
    // A fetch is accepted but waits for its start.
    bool isFetchScheduled() const { return fetchScheduled_; }
    // A request now would wait for the trailing fetch.
    bool isThrottled() const { return lastReloadMs_ >= 0 && clock_.elapsed() - lastReloadMs_ < kReloadIntervalMs; }
    bool isTrailingReloadPending() const { return trailingReload_.isActive(); }
    void resetAllAudioFilesWithFiles(const std::vector<OVFileRef>& files);
    void resetAllAlbumWithFiles(const std::vector<OVFileRef>& albums);
    void reloadGrid();
    // Opens a song (copied to the computer first); albums and folders do nothing here.
    void doubleClickItem(const OVViewModelRef& item);
    std::vector<OVViewModelRef> tableViewSelectedItems();
    std::vector<OVViewModelRef> outlineViewSelectedItem();
    std::vector<OVViewModelRef> gridViewSelectedItems();
    // The selection with every folder row replaced by its songs, once each.
    std::vector<OVViewModelRef> selectedSongsAndAlbums();

    const std::vector<std::shared_ptr<OVAudioViewModel>>& items() const { return items_; }
    const std::vector<std::shared_ptr<OVAudioAlbumViewModel>>& albumItems() const { return albumItems_; }
    const std::vector<OVViewModelRef>& audioFolders() const { return audioFolders_; }
    OVTableView* tableView() const { return tableView_; }
    OVSongTableModel* tableModel() const { return tableModel_; }
    OVOutlineView* outlineView() const { return outlineView_; }
    OVAudioFolderModel* outlineModel() const { return outlineModel_; }
    IBCollectionView* gridView() const { return gridView_; }
    IBSectionViewLayoutManager* sectionLayoutManager() { return &sectionLayoutManager_; }

    // --- songs table ------------------------------------------------------------------
    void tableViewDidDoubleClickAction(const QModelIndex& index);
    void didClickTableColumn(int column);
    bool keyDownEvent(OVTableView* view, QKeyEvent* event) override;
    QMenu* menuForEvent(OVTableView* view, QContextMenuEvent* event) override;
    void tableViewSelectionDidChange();
    // Music files dropped on the table or outline: imported into the Music folder.
    bool importDroppedPaths(const QStringList& localPaths);

    // --- folders outline --------------------------------------------------------------
    void resetAudioFolder();
    void saveExpandedItems();
    void restoreExpandedItems();
    void outlineViewDidClickTableColumn(int column);
    void outlineViewDoubleClicked(const QModelIndex& index);
    void outlineViewSelectionDidChange();
    bool keyDown(OVOutlineView* view, QKeyEvent* event) override;
    QMenu* menuForEvent(OVOutlineView* view, QContextMenuEvent* event) override;
    // The folder's song count and total size, as the outline shows them.
    static uint64_t folderSongCount(const OVViewModel& folder);
    static uint64_t folderTotalSize(const OVViewModel& folder);

    // --- albums grid -------------------------------------------------------------------
    int64_t collectionViewItemCount(IBCollectionView* view, int64_t section) override;
    IBSectionViewLayoutManager* collectionViewSectionLayoutManager(IBCollectionView* view, int64_t section) override;
    IBCollectionItemView* collectionViewItemViewWithIndexSet(IBCollectionView* view,
                                                             const IBSectionIndexSet& pair) override;
    void collectionViewDidRemoveItemView(IBCollectionView* view, IBCollectionItemView* itemView,
                                         const IBSectionIndexSet& pair) override;
    void collectionViewDidClickItemView(IBCollectionView* view, const IBSectionIndexSet& pair) override;
    void collectionViewDidDoubleClickItemView(IBCollectionView* view, const IBSectionIndexSet& pair) override;
    void collectionViewSelectionDidChange(IBCollectionView* view) override;
    void collectionViewDidKeyDownEvent(IBCollectionView* view, QKeyEvent* event) override;
    QMenu* collectionViewMenuIndextSet(IBCollectionView* view, const IBSectionIndexSet& pair) override;
    Qt::DropAction collectionViewDraggingEntered(IBCollectionView* view, QDragEnterEvent* event) override;
    Qt::DropAction collectionViewDraggingUpdated(IBCollectionView* view, QDragMoveEvent* event,
                                                 const std::optional<IBSectionIndexSet>& pair) override;
    void collectionViewDraggingExited(IBCollectionView* view, QDragLeaveEvent* event) override;
    bool collectionViewPerformDragOperation(IBCollectionView* view, QDropEvent* event,
                                            const std::optional<IBSectionIndexSet>& pair) override;
    std::optional<QStringList> collectionViewDragPromisedFilesOfTypes(IBCollectionView* view) override;
    QMimeData* collectionViewDragMimeData(IBCollectionView* view, const QStringList& types,
                                          const QList<IBSectionIndexSet>& pairs) override;
    void deleteSelection(QObject*) override { OVRightViewController::deleteAction(); }
    // The edit commands the table and the outline pass on.
    using OVRightViewController::deleteAction;
    using OVRightViewController::exportAction;
    using OVRightViewController::importAction;
    void deleteAction(QObject*) override { OVRightViewController::deleteAction(); }
    void importAction(QObject*) override { OVRightViewController::importAction(false); }
    void exportAction(QObject*) override { OVRightViewController::exportAction(); }
    // Files dropped on the grid: into the album under the pointer when one is
    // given, else into the Music folder.
    bool importDroppedOnGrid(const QStringList& localPaths, const OVViewModelRef& onto);
    // Stops waiting for every cover and cancels their loads.
    void cleanThumbnailObservers();
    size_t observedThumbnailCount() const { return observedThumbnails_.size(); }
    QPointer<OVAudioAlbumItemView> lastDropItemView() const { return lastDropItemView_; }
    // Whether a tile in column `column` of `columns` gets the popover on its left.
    static bool popoverOnLeftSide(int64_t column, int64_t columns);
    // The popover's height for an album of `songs` songs.
    static int popoverHeight(uint64_t songs);
    void popoverSongListWithAlbumViewModel(const std::shared_ptr<OVAudioAlbumViewModel>& album, QWidget* sender,
                                           bool leftSide);
    OVSongListViewController* songlistViewController() const { return songlistViewController_.get(); }
    OVBPopover* popover() const { return popover_; }
    bool popoverShouldClose() const;

    // --- export and context menu ---------------------------------------------------------
    void doExport(const QString& folder, ErrorCallback callback) override;
    // Songs, albums and folder rows go as the songs they stand for, each once.
    void doDelete(const std::vector<OVViewModelRef>& items, ErrorCallback callback) override;
    using OVRightViewController::doImport;
    void doImport(const QStringList& localPaths, const OVViewModelRef& toDir, ImportCallback callback) override;
    bool isAlbumExportRunning() const { return albumExport_ != nullptr; }
    // Tells the user a transfer must wait for the one running.
    void refuseWhileAlbumExportRuns();
    // Copies whole albums, each into a folder named (safely) after it inside `folder`.
    void downloadAlbums(const std::vector<std::shared_ptr<OVAudioAlbumViewModel>>& albums, const QString& folder,
                        ErrorCallback callback);
    void openMenuAction() override;
    void openwithMenuAction(const QString& applicationId) override;

    // --- scroll positions and Quick Look ---------------------------------------------------
    void saveScrollViewOffset();
    void restoreScrollViewOffset();
    const std::map<QString, QPoint>& scrollViewOffsetCache() const { return scrollViewOffsetCache_; }
    bool previewPanelHandleEvent(QKeyEvent* event) override;
    void reloadQuicklook();
    QRect screenRectForItem(const OVViewModelRef& item) override;
    QuickLookDownloadItemView* quickLookDownloadItemViewForItem(const OVViewModelRef&) override { return nullptr; }

protected:
    void awakeFromNib() override;
    // A click outside the popover closes it, except right after it appeared.
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void setupTable();
    void setupOutline();
    void setupGrid();
    void startReload(ReloadTrigger trigger);
    void libraryArrived(std::optional<OVMediaLibrary> library, const std::optional<Error>& error);
    void reloadShownView();
    void coverArrived(OVAudioAlbumViewModel* album);
    void stopObservingCover(OVAudioAlbumViewModel* album);
    int64_t indexOfAlbum(const OVViewModel* album) const;
    QString scrollKey() const;
    // The keys the table and the outline share: delete and preview.
    bool listKey(QKeyEvent* event);
    static int compareText(const QString& a, const QString& b);
    void selectSongsByPath(const QStringList& paths);

    bool built_ = false;
    int nowShowMode_ = SongsMode;
    OVTableView* tableView_ = nullptr;
    OVSongTableModel* tableModel_ = nullptr;
    OVOutlineView* outlineView_ = nullptr;
    OVAudioFolderModel* outlineModel_ = nullptr;
    OVSegButton* segButton_ = nullptr;
    std::vector<std::shared_ptr<OVAudioViewModel>> items_;
    std::vector<std::shared_ptr<OVAudioAlbumViewModel>> albumItems_;
    std::vector<OVViewModelRef> audioFolders_;
    OVViewModelRef currentViewModel_;
    IBCollectionView* gridView_ = nullptr;
    IBSectionViewLayoutManager sectionLayoutManager_;
    OVBPopover* popover_ = nullptr;
    std::unique_ptr<OVSongListViewController> songlistViewController_;
    Qt::DropAction dropOperation_ = Qt::IgnoreAction;
    QPointer<OVAudioAlbumItemView> lastDropItemView_;
    QStringList expandedItemsArray_;
    QElapsedTimer popoverShown_;
    // The album the popover shows, found again in a new library by these.
    QString popoverAlbumPath_;
    QString popoverAlbumName_;
    QElapsedTimer clock_;
    qint64 lastReloadMs_ = -1;
    OVMediaReloadThrottle throttle_;
    QTimer trailingReload_;
    int fetchCount_ = 0;
    int reloadRequests_ = 0;
    bool fetchScheduled_ = false;
    std::map<QString, QPoint> scrollViewOffsetCache_;
    std::map<OVAudioAlbumViewModel*, std::pair<std::shared_ptr<OVAudioAlbumViewModel>, QMetaObject::Connection>>
        observedThumbnails_;
    QHash<IBSectionIndexSet, QPointer<OVAudioAlbumItemView>> observedVisibleView_;
    struct AlbumExport;
    std::shared_ptr<AlbumExport> albumExport_;
    // While set, selectedItems() answers the songs behind folder rows.
    bool expandFolderRows_ = false;
};

}  // namespace orv
