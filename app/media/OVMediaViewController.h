#pragma once
// What the photo and video panes share: one sectioned grid showing either a
// list of media (an album, a folder, the camera roll, all photos; possibly in
// time sections) or a list of album tiles; thumbnails requested only for
// cells on screen and cancelled when they leave; keys, menus and the
// preview; drops from the computer and drags out; scroll positions per
// list; the throttled library fetch with one trailing fetch; and the media
// transfers - export of whole albums into one folder each, and deletion of
// albums as their files, with rows removed at once and the selection kept
// by identity. The concrete panes supply their modes, models and layout.
// Main thread only.

#include <QHash>
#include <QPointer>
#include <QTimer>
#include <map>

#include "app/media/OVMediaReloadThrottle.h"
#include "app/panes/OVRightViewController.h"
#include "app/toolkit/IBCollectionViewDataSource.h"
#include "app/toolkit/IBCollectionViewDelegate.h"
#include "app/toolkit/IBSectionViewLayoutManager.h"
#include "app/viewmodels/OVPhotoAlbumViewModel.h"
#include "app/viewmodels/OVPhotoAlbumsViewModel.h"

namespace orv {

class IBCollectionItemView;
class IBCollectionView;
class OVPathView;

class OVMediaViewController : public OVRightViewController,
                              public IBCollectionViewDataSource,
                              public IBCollectionViewDelegate {
    Q_OBJECT

public:
    static inline const QString kItemViewIdentifier = QStringLiteral("__itemview__");
    static inline const QString kSectionViewIdentifier = QStringLiteral("__secitonview__");

    OVMediaViewController();
    ~OVMediaViewController() override;

    // --- what the grid shows -------------------------------------------------------
    // A list of media, or (null) nothing.
    OVPhotoAlbumViewModelRef currentList() const { return currentList_; }
    bool isShowingAlbumList() const { return showingAlbums_; }
    bool hasCurrentModel() const { return showingAlbums_ || currentList_ != nullptr; }
    // The pane's album or folder list.
    virtual OVPhotoAlbumsViewModel* albumsModel() = 0;
    // The item at a grid position of what is shown; null out of range.
    OVViewModelRef itemAt(const IBSectionIndexSet& pair);
    std::optional<IBSectionIndexSet> indexSetForItem(const OVViewModel& item);
    int64_t totalItemNumber();

    IBCollectionView* gridView() const { return gridView_; }
    IBSectionViewLayoutManager* sectionLayoutManager() { return &sectionLayoutManager_; }
    IBSectionViewLayoutManager* albumsectionLayoutManager() { return &albumsectionLayoutManager_; }

    // --- pane operations ---------------------------------------------------------------
    std::vector<OVViewModelRef> selectedItems() override;
    OVViewModelRef selectedItemAtIndex(int64_t index) override;
    QWidget* firstResponder() override;
    void selectAll() override {}
    void updateStatusLabel() override;
    void cleanUp() override;
    // Stops waiting for thumbnails, then reloads the grid.
    void reloadGrid();
    void selectItems(const std::vector<OVViewModelRef>& items);
    void cleanThumbnailObservers();
    size_t observedThumbnailCount() const { return observed_.size(); }
    bool isObservingThumbnailOf(const OVViewModel* model) const { return observed_.count(model) > 0; }
    // Opens an album or folder tile, or downloads and opens a file.
    void doubleClickItem(const OVViewModelRef& item);
    virtual void openAlbum(const OVViewModelRef& item) = 0;
    // Import destinations made fresh on each call: an album over the
    // phone's from-computer folder, and one over its camera folder.
    OVViewModelRef fromMacDirectory() const;
    OVViewModelRef cameraRollDirectory() const;

    // --- library -------------------------------------------------------------------------
    // Asks the phone for the library, at most once per 1.5 s; requests in
    // between become one trailing fetch.
    void reloadLibraryDataFromDevice() override;
    // A pushed change; none means "fetch everything again".
    void deviceLibraryCallback(const std::optional<OVLibraryChange>& change) override;
    uint64_t libraryFetchCount() const { return libraryFetchCount_; }
    bool hasTrailingFetch() const { return throttle_.hasTrailing(); }
    bool didLoadData() const { return didLoadData_; }

    // --- scroll positions --------------------------------------------------------------
    // The key the shown list's scroll position is kept under; empty for none.
    virtual QString scrollKey() const = 0;
    void saveScrollViewOffset();
    void restoreScrollViewOffset();

    // --- drops -------------------------------------------------------------------------------
    // Whether a drag of these local paths may be accepted: more than 5 at
    // once without looking, else one folder or one media file among them.
    bool quickCheckIfCanDrop(const QStringList& paths) const;
    // The media files named or found (deep, hidden entries skipped, links not
    // followed) below the paths, in order.
    QStringList findAllMedia(const QStringList& paths) const;
    // Whether a local file is this pane's kind of media, by its extension.
    virtual bool isMediaFile(const QString& path) const = 0;
    // Whether the type a file's extension names is of that kind ("image/", "video/").
    static bool hasMimePrefix(const QString& path, const QString& prefix);
    QPointer<IBCollectionItemView> lastDropItemView() const { return lastDropItemView_; }
    // The album or folder of the tile under the drag, or null.
    OVPhotoAlbumViewModelRef dropTargetAlbum() const;
    Qt::DropAction dropOperation() const { return dropOperation_; }
    // Drops the tile highlight and the drop target.
    void clearDropTarget();

    // --- transfers ---------------------------------------------------------------------
    // A photo or video list: the selected items into the folder. The album
    // list: each selected album with items into a folder of its own, named
    // safely after it inside `folder`, one album after another.
    void doExport(const QString& folder, ErrorCallback callback) override;
    // Albums and folders go as the files they list, never as phone folders.
    void doDelete(const std::vector<OVViewModelRef>& items, ErrorCallback callback) override;
    // Removes the deleted rows at once.
    void doDeleteDone(const std::optional<Error>& error) override;
    void showExportDoneMessage(uint64_t) override { lastExportCompleted_ = true; }
    // The confirmation counts the files that will go, albums expanded.
    void mediaDeleteAction();
    void deleteMenuAction() override { mediaDeleteAction(); }
    void deleteSelection(QObject*) override { mediaDeleteAction(); }
    // The files an item stands for: an album its items, anything else itself.
    static std::vector<OVViewModelRef> expandedFiles(const std::vector<OVViewModelRef>& items);
    // The confirmation's text for that selection.
    QString deleteQuestion(const std::vector<OVViewModelRef>& items, uint64_t files) const;

    // --- menus and preview -------------------------------------------------------------
    void openMenuAction() override;
    void openwithMenuAction(const QString& applicationId) override;
    QuickLookDownloadItemView* quickLookDownloadItemViewForItem(const OVViewModelRef& item) override;
    QRect screenRectForItem(const OVViewModelRef& item) override;
    bool previewPanelHandleEvent(QKeyEvent* event) override;
    void reloadQuicklook();

    // --- grid data source and delegate -------------------------------------------------
    std::optional<int64_t> collectionViewSectionCount(IBCollectionView* view) override;
    int64_t collectionViewItemCount(IBCollectionView* view, int64_t section) override;
    IBCollectionSectionView* collectionViewSectionViewWithIndex(IBCollectionView* view, int64_t section) override;
    IBSectionViewLayoutManager* collectionViewSectionLayoutManager(IBCollectionView* view, int64_t section) override;
    IBCollectionItemView* collectionViewItemViewWithIndexSet(IBCollectionView* view,
                                                             const IBSectionIndexSet& pair) override;
    void collectionViewDidRemoveItemView(IBCollectionView* view, IBCollectionItemView* itemView,
                                         const IBSectionIndexSet& pair) override;
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
    // Dropped local paths: the media among them imported (into the tile's album when given).
    bool importDroppedPaths(const QStringList& localPaths, const OVPhotoAlbumViewModelRef& album);
    // The Import button's files: into the mode's destination (filtered as the pane wants).
    void doImport(const QStringList& localPaths, ImportCallback callback) override;
    using OVRightViewController::doImport;
    // New files reach the grid through the phone's push; without pushes, or
    // into an empty library, the library is fetched again shortly after.
    void doImportDone(const std::optional<Error>& error, const std::vector<std::string>& phonePaths) override;
    // Where an import goes: the dropped-on album's folder, else the mode's folder.
    virtual OVViewModelRef importDestination(const OVPhotoAlbumViewModelRef& dropAlbum) = 0;

protected:
    void awakeFromNib() override;
    static constexpr int kPlainNavbarHeight = 47;
    static constexpr int kPathNavbarHeight = 77;
    // The client's serial number, or an empty text without a client.
    QString serial() const;
    // A view model over a folder record the interface makes up ("/allalbums").
    static OVViewModelRef pseudoFolder(const QString& path, const QString& serial);
    // Shows or hides the trail in a taller navigation bar.
    void setPathBarShown(OVPathView* pathView, bool shown);
    // Leaves the trail with its root crumb alone (title, folder made up at `rootPath`).
    void resetTrail(OVPathView* pathView, const QString& title, const QString& rootPath);
    // Places a shown trail along the bar's bottom.
    void placePathView(OVPathView* pathView);
    // Runs before every grid reload (the layout for the grouping, the trail).
    virtual void prepareReload() {}
    // Shows a list of media (time sections as the list has them).
    void setCurrentList(OVPhotoAlbumViewModelRef list);
    void setShowingAlbumList();
    void clearCurrentModel();
    // Starts the real fetch; the pane calls libraryFetchDone when it ended.
    virtual void fetchLibrary() = 0;
    void libraryFetchStarted();
    void libraryFetchDone(bool gotResult);
    // Applies a pushed change to the pane's models.
    virtual void applyLibraryChange(const OVLibraryChange& change) = 0;
    // Removes deleted files from the pane's models.
    virtual void removeDeletedFiles(const std::vector<OVFileRef>& files) = 0;
    // A video cell neither shows a failed thumbnail nor remembers the failure.
    virtual bool isVideoPane() const { return false; }
    virtual void leaveAlbum() {}
    virtual bool isInsideAlbum() const { return false; }
    // The "nothing to import" message.
    virtual QString nothingToImportMessage() const = 0;
    // What the Import button's files become before the upload; the photo
    // pane keeps only the pictures.
    virtual QStringList filterImport(const QStringList& localPaths) const { return localPaths; }
    // Whether the pane knows no media at all (then no push will announce an import).
    virtual bool libraryIsEmpty() = 0;
    // Whether the preview's keys move the grid's selection in the current list.
    virtual bool previewMovesSelection() const { return true; }
    // While set, what the base's export takes as the selection: the items
    // of the one album being exported.
    void setExportOverride(std::vector<OVViewModelRef> items) { exportOverride_ = std::move(items); }

private:
    void fillPhotoCell(class OVPhotoItemView* cell, const OVViewModelRef& item, const IBSectionIndexSet& pair);
    void fillAlbumTile(class OVPhotoAlbumItemView* tile, const OVPhotoAlbumViewModelRef& album,
                       const IBSectionIndexSet& pair);
    void observeThumbnail(const OVViewModelRef& item, IBCollectionItemView* cell, const IBSectionIndexSet& pair);
    void thumbnailArrived(OVViewModel* model);
    void stopObserving(const OVViewModel* model);
    void exportAlbums(const QString& folder, std::vector<OVPhotoAlbumViewModelRef> albums, ErrorCallback callback);
    void exportNextAlbum(const QString& folder, std::shared_ptr<std::vector<OVPhotoAlbumViewModelRef>> queue,
                         ErrorCallback callback);
    void runTrailingFetch();

    IBCollectionView* gridView_ = nullptr;
    IBSectionViewLayoutManager sectionLayoutManager_;
    IBSectionViewLayoutManager albumsectionLayoutManager_;
    OVPhotoAlbumViewModelRef currentList_;
    bool showingAlbums_ = false;
    // Models whose thumbnail a cell on screen waits for.
    struct Observation {
        OVViewModelRef model;
        QMetaObject::Connection connection;
        // Where the model was when its cell asked; checked before it is trusted.
        IBSectionIndexSet pair;
    };
    std::map<const OVViewModel*, Observation> observed_;
    QHash<IBSectionIndexSet, QPointer<IBCollectionItemView>> observedVisibleView_;
    std::map<QString, QPointF> scrollViewOffsetCache_;
    Qt::DropAction dropOperation_ = Qt::IgnoreAction;
    QPointer<IBCollectionItemView> lastDropItemView_;
    OVMediaReloadThrottle throttle_;
    QTimer trailingTimer_;
    uint64_t libraryFetchCount_ = 0;
    bool didLoadData_ = false;
    std::vector<OVViewModelRef> exportOverride_;
    std::vector<OVFileRef> pendingDeleted_;
    bool lastExportCompleted_ = false;
};

}  // namespace orv
