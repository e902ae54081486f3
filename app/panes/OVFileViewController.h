#pragma once
// The file browser pane: walks the phone's shared storage folder by folder
// from its root, showing the current folder as a grid of icons or as a list
// whose folders expand in place. The path bar above is the only history.
// Every listing goes through loadFilesInDirectory, which also moves the
// folder watch; a listing that arrives for a folder no longer on screen is
// kept as that folder's children but not shown. Main thread only.

#include <QHash>
#include <QPointer>
#include <QTimer>
#include <map>

#include "app/panes/OVFileItemView.h"
#include "app/panes/OVOutlineViewDelegate.h"
#include "app/panes/OVRightViewController.h"
#include "app/toolkit/IBCollectionViewDataSource.h"
#include "app/toolkit/IBCollectionViewDelegate.h"
#include "app/toolkit/IBSectionViewLayoutManager.h"

namespace orv {

class IBCollectionView;
class OVFileOutlineModel;
class OVOutlineView;
class OVPathView;
class OVPathViewComponentCell;
class OVSegButton;

class OVFileViewController : public OVRightViewController,
                             public IBCollectionViewDataSource,
                             public IBCollectionViewDelegate,
                             public OVOutlineViewDelegate {
    Q_OBJECT

public:
    using ListingCallback = std::function<void(std::vector<OVFileRef> files, std::optional<Error> error)>;
    // Segments of the view-style control.
    enum ViewStyle { IconView = 0, ListView = 1 };
    // How long the phone's change reports must settle before the folder is listed again.
    static constexpr int kWatchSettleMs = 3000;
    static inline const QString kItemViewIdentifier = QStringLiteral("__itemview__");

    OVFileViewController();
    ~OVFileViewController() override;

    // --- pane operations ----------------------------------------------------------
    void setDeviceDone() override;
    void cleanUp() override;
    void reloadCurrentViewData() override;
    QWidget* firstResponder() override;
    void updateStatusLabel() override;
    // The status line for a selection of `selected` of `total` shown entries.
    static QString statusText(uint64_t selected, uint64_t total);
    std::vector<OVViewModelRef> selectedItems() override;
    OVViewModelRef selectedItemAtIndex(int64_t index) override;
    OVViewModelRef currentDirectory() override;
    void selectAll() override;
    void layoutSubView() override;
    void setZoomLevel(double level) override;
    // No folder is ever created here.
    void createFolder() override {}

    // The folder the trail starts at, made on first use.
    OVViewModelRef root();
    void setRoot(OVViewModelRef root) { root_ = std::move(root); }

    // --- listing and navigation -----------------------------------------------------
    // Lists the folder's children in listing order and moves the folder watch to it.
    void loadFilesInDirectory(const OVViewModelRef& folder, ListingCallback callback);
    // Shows `content` (less hidden files unless they are shown) as the folder's entries.
    void setDirectory(const OVViewModelRef& folder, const std::vector<OVViewModelRef>& content);
    // Opens a file, or enters a folder (the trail follows).
    void doubleClickItem(const OVViewModelRef& item);
    // Goes back to the trail's clicked folder.
    void pathbarAction(OVPathViewComponentCell* cell);
    void saveScrollViewOffset();
    void restoreScrollViewOffset();
    std::vector<OVViewModelRef> selectedItemsFromGridview();
    std::vector<OVViewModelRef> selectedItemsFromListview();
    // The last listing error of the folder on screen; empty after a good listing.
    QString listingError() const { return listingError_; }

    // --- context menu actions --------------------------------------------------------
    void openMenuAction() override;
    void openwithMenuAction(const QString& applicationId) override;
    void newfolderMenuAction() { createFolder(); }
    // Asks for a new name for the one selected entry and renames it on the phone.
    void renameMenuAction();
    // Renames `item` on the phone, then lists the folder again. A name that is
    // empty, "." or "..", or holds "/" or a line break is refused with a message.
    void renameItem(const OVViewModelRef& item, const QString& newName);
    static bool isAcceptableName(const QString& name);
    QAction* renameAction() const { return renameAction_; }

    // --- views ---------------------------------------------------------------------------
    IBCollectionView* gridView() const { return gridView_; }
    OVOutlineView* listView() const { return listView_; }
    OVFileOutlineModel* listModel() const { return listModel_; }
    OVPathView* pathView() const { return pathView_; }
    OVSegButton* viewStyleButton() const { return viewStyleButton_; }
    const std::vector<OVViewModelRef>& items() const { return items_; }
    IBSectionViewLayoutManager* sectionLayoutManager() { return &sectionLayoutManager_; }
    // Switches to the view of the control's selected segment, keeping the selection.
    void switchViewAction();
    void reloadGrid();
    // Stops waiting for every thumbnail and app icon and cancels their loads.
    void cleanThumbnailObservers();
    size_t observedThumbnailCount() const { return observedThumbnails_.size(); }
    size_t observedIconCount() const { return observedIcons_.size(); }

    // --- Quick Look ---------------------------------------------------------------------
    QRect screenRectForItem(const OVViewModelRef& item) override;
    QuickLookDownloadItemView* quickLookDownloadItemViewForItem(const OVViewModelRef& item) override;
    bool previewPanelHandleEvent(QKeyEvent* event) override;
    // Shows the first selected entry again while the preview is up.
    void reloadQuicklook();

    // --- the list's memory of expanded folders -----------------------------------------
    void saveExpandedItems();
    void restoreExpandedItems();
    void restoreExpandedItem(const OVViewModelRef& folder, int level);
    const QStringList& expandedItemsArray() const { return expandedItems_; }
    // The list's header was clicked: sorts the top level by that column.
    void didClickTableColumn(int column);
    // The list's double click on a row.
    void outlineViewDoubleClicked(const QModelIndex& index);
    // Files dropped on the list: imported into `destination` (the current folder when null).
    bool acceptListDrop(const QStringList& localPaths, const OVViewModelRef& destination);
    // Called by the list's model for a folder whose children are not listed yet.
    void loadChildrenForExpansion(const OVViewModelRef& folder);

    // --- folder watching ---------------------------------------------------------------
    OVViewModelRef lastMonitorDir() const { return lastMonitorDir_; }
    // A change report of the watched folder: the folder is listed again once
    // reports have stopped for kWatchSettleMs.
    void directoryDidChange();
    bool isReloadPending() const { return watchTimer_.isActive(); }
    void setWatchSettleMs(int ms) { watchTimer_.setInterval(ms); }

    // --- grid data source and delegate ---------------------------------------------------
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
    QMenu* collectionViewMenu(IBCollectionView* view) override;
    Qt::DropAction collectionViewDraggingEntered(IBCollectionView* view, QDragEnterEvent* event) override;
    Qt::DropAction collectionViewDraggingUpdated(IBCollectionView* view, QDragMoveEvent* event,
                                                 const std::optional<IBSectionIndexSet>& pair) override;
    void collectionViewDraggingExited(IBCollectionView* view, QDragLeaveEvent* event) override;
    bool collectionViewPerformDragOperation(IBCollectionView* view, QDropEvent* event,
                                            const std::optional<IBSectionIndexSet>& pair) override;
    std::optional<QStringList> collectionViewDragPromisedFilesOfTypes(IBCollectionView* view) override;
    QMimeData* collectionViewDragMimeData(IBCollectionView* view, const QStringList& types,
                                          const QList<IBSectionIndexSet>& pairs) override;
    void deleteSelection(QObject* sender) override;
    // Drops onto the grid: files to import into `destination` (null: the current folder).
    bool importDroppedFiles(const QStringList& localPaths, const OVViewModelRef& destination);
    OVFileItemView* lastDropItemView() const { return lastDropItemView_; }
    Qt::DropAction dropOperation() const { return dropOperation_; }

    // --- list delegate ----------------------------------------------------------------
    bool keyDown(OVOutlineView* view, QKeyEvent* event) override;
    QMenu* menuForEvent(OVOutlineView* view, QContextMenuEvent* event) override;
    using OVRightViewController::deleteAction;
    using OVRightViewController::exportAction;
    using OVRightViewController::importAction;
    // The list's edit commands: the pane's own.
    void deleteAction(QObject*) override { OVRightViewController::deleteAction(); }
    void importAction(QObject*) override { OVRightViewController::importAction(false); }
    void exportAction(QObject*) override { OVRightViewController::exportAction(); }
    // The list's selection changed.
    void outlineViewSelectionDidChange();

protected:
    void awakeFromNib() override;
    // The folder the trail starts at; the Download pane starts elsewhere.
    virtual OVViewModelRef makeRoot();

private:
    bool inListView() const;
    // Lists without moving the folder watch.
    void listFolder(const OVViewModelRef& folder, ListingCallback callback);
    void showListed(const OVViewModelRef& folder, std::vector<OVFileRef> files, const std::optional<Error>& error);
    void forgetListingError() { listingError_.clear(); }
    void fillCell(OVFileItemView* cell, const OVViewModelRef& model, const IBSectionIndexSet& pair);
    void observeThumbnail(const OVViewModelRef& model, OVFileItemView* cell, const IBSectionIndexSet& pair);
    void observeIcon(const OVViewModelRef& model, OVFileItemView* cell, const IBSectionIndexSet& pair);
    void thumbnailArrived(OVViewModel* model);
    void iconArrived(OVViewModel* model);
    void stopObservingThumbnail(OVViewModel* model);
    void stopObservingIcon(OVViewModel* model);
    int64_t indexOfItem(const OVViewModel* model) const;
    void moveWatch(const OVViewModelRef& folder);
    void setupListView();
    void applyRestoredExpansion(const OVViewModelRef& folder, int level);

    QAction* renameAction_ = nullptr;
    IBCollectionView* gridView_ = nullptr;
    OVOutlineView* listView_ = nullptr;
    OVFileOutlineModel* listModel_ = nullptr;
    OVPathView* pathView_ = nullptr;
    OVSegButton* viewStyleButton_ = nullptr;
    OVViewModelRef root_;
    bool built_ = false;
    std::map<QString, QPointF> scrollViewOffsetCache_;
    std::vector<OVViewModelRef> items_;
    IBSectionViewLayoutManager sectionLayoutManager_;
    // Models whose thumbnail or app icon a cell waits for, with the connection that waits.
    std::map<OVViewModel*, std::pair<OVViewModelRef, QMetaObject::Connection>> observedThumbnails_;
    std::map<OVViewModel*, std::pair<OVViewModelRef, QMetaObject::Connection>> observedIcons_;
    QHash<IBSectionIndexSet, QPointer<OVFileItemView>> observedVisibleView_;
    Qt::DropAction dropOperation_ = Qt::IgnoreAction;
    QPointer<OVFileItemView> lastDropItemView_;
    OVViewModelRef lastMonitorDir_;
    QStringList expandedItems_;
    // Folders whose expansion is restored below them once their listing arrives.
    std::map<QString, int> pendingRestoreLevels_;
    QString listingError_;
    QTimer watchTimer_;
};

}  // namespace orv
