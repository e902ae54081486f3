#pragma once
// What the grid asks of and tells its delegate. Only the tile factory is
// required; every other method has a default that does what the grid does
// when a delegate lacks it. Where the grid's behaviour depends on whether the
// delegate offers something at all, the answer is a std::optional (nullopt:
// not offered). Everything runs on the main thread.
//
// reloadData drops every placed view without collectionViewDidRemoveItemView,
// so a delegate that watches its tiles must stop watching before it reloads.

#include <QList>
#include <QStringList>
#include <QUrl>
#include <Qt>
#include <cstdint>
#include <optional>

#include "app/toolkit/IBSectionIndexSet.h"

class QAction;
class QDragEnterEvent;
class QDragLeaveEvent;
class QDragMoveEvent;
class QDropEvent;
class QKeyEvent;
class QMenu;
class QMimeData;
class QObject;

namespace orv {

class IBCollectionItemView;
class IBCollectionSectionView;
class IBCollectionView;
class IBSectionViewLayoutManager;

class IBCollectionViewDelegate {
public:
    virtual ~IBCollectionViewDelegate() = default;

    // A tile for the pair: a pooled one (dequeueReusableViewWithIdentifier) or
    // a new one with its reuse identifier set. nullptr is logged and skipped.
    virtual IBCollectionItemView* collectionViewItemViewWithIndexSet(IBCollectionView* view,
                                                                     const IBSectionIndexSet& pair) = 0;
    // A section container, when the data source has sections. nullptr skips the section.
    virtual IBCollectionSectionView* collectionViewSectionViewWithIndex(IBCollectionView* view, int64_t section);
    // The section's geometry (not owned); nullptr means the grid's default one.
    virtual IBSectionViewLayoutManager* collectionViewSectionLayoutManager(IBCollectionView* view, int64_t section);
    // A collapsed section is only as tall as its header and shows no tiles.
    virtual bool collectionViewSectionIsExpand(IBCollectionView* view, int64_t section);

    virtual void collectionViewWillDisplaySectionView(IBCollectionView* view, IBCollectionSectionView* sectionView,
                                                      int64_t section);
    virtual void collectionViewWillDisplayItemView(IBCollectionView* view, IBCollectionItemView* itemView,
                                                   const IBSectionIndexSet& pair);
    // A tile left the screen by scrolling or resizing (pooled or dropped).
    virtual void collectionViewDidRemoveItemView(IBCollectionView* view, IBCollectionItemView* itemView,
                                                 const IBSectionIndexSet& pair);
    // Declared for the panes; the grid itself never sends it.
    virtual void collectionViewDidEndScroll(IBCollectionView* view);

    virtual void collectionViewDidClickItemView(IBCollectionView* view, const IBSectionIndexSet& pair);
    virtual void collectionViewDidDoubleClickItemView(IBCollectionView* view, const IBSectionIndexSet& pair);
    virtual void collectionViewDidKeyDownEvent(IBCollectionView* view, QKeyEvent* event);
    virtual void collectionViewSelectionDidChange(IBCollectionView* view);
    // Context menus (not owned; nullptr: no menu): on a tile, and on empty space.
    virtual QMenu* collectionViewMenuIndextSet(IBCollectionView* view, const IBSectionIndexSet& pair);
    virtual QMenu* collectionViewMenu(IBCollectionView* view);

    // Drops onto the grid, with the pair under the pointer or nullopt.
    virtual Qt::DropAction collectionViewDraggingEntered(IBCollectionView* view, QDragEnterEvent* event);
    virtual Qt::DropAction collectionViewDraggingUpdated(IBCollectionView* view, QDragMoveEvent* event,
                                                         const std::optional<IBSectionIndexSet>& pair);
    virtual void collectionViewDraggingExited(IBCollectionView* view, QDragLeaveEvent* event);
    virtual bool collectionViewPerformDragOperation(IBCollectionView* view, QDropEvent* event,
                                                    const std::optional<IBSectionIndexSet>& pair);

    // Dragging out. Offering types (not nullopt) is what lets a press on a
    // selected tile start a drag instead of a rubber band.
    virtual std::optional<QStringList> collectionViewDragPromisedFilesOfTypes(IBCollectionView* view);
    // The data a drag out carries (ownership passes to the drag); nullptr starts no drag.
    virtual QMimeData* collectionViewDragMimeData(IBCollectionView* view, const QStringList& types,
                                                  const QList<IBSectionIndexSet>& pairs);
    // The names of the files made in a destination folder, when a drop target names one.
    virtual std::optional<QStringList> collectionViewNamesOfPromisedFilesDroppedAtDestination(
        IBCollectionView* view, const QUrl& destination);

    // Edit actions forwarded from the window's menus. No verdict means disabled.
    virtual std::optional<bool> validateMenuItem(QAction* item);
    virtual void deleteSelection(QObject* sender);
    virtual void importAction(IBCollectionView* view);
    virtual void exportAction(IBCollectionView* view);
};

}  // namespace orv
