#pragma once
// The sectioned grid: a vertical scroll area whose content widget holds one
// widget per visible item, optionally grouped into full-width section widgets
// with a header strip that can stay pinned while its section scrolls. Counts
// come from the data source; tiles, sections and geometry from the delegate.
// Only the items meeting the visible rectangle have widgets: on every scroll
// the grid displays the visible rectangle, then returns sections and then
// items that left it to the pool of their reuse identifier.
//
// The grid owns every widget it places or pools. Data source and delegate are
// not owned and must outlive the grid or be cleared first. reloadData drops
// all placed and pooled widgets without telling the delegate.

#include <QAbstractScrollArea>
#include <QHash>
#include <QList>
#include <QPointer>
#include <QRectF>
#include <QSet>
#include <QStringList>
#include <QTimer>
#include <cstdint>
#include <optional>
#include <vector>

#include "app/toolkit/IBCollectionItemView.h"
#include "app/toolkit/IBCollectionSelectionRegionView.h"
#include "app/toolkit/IBSectionIndexSet.h"

class QAction;
class QDrag;
class QMenu;
class QMetaObject;

namespace orv {

class IBCollectionSectionView;
class IBCollectionViewDataSource;
class IBCollectionViewDelegate;
class IBSectionViewLayoutManager;

class IBCollectionView : public QAbstractScrollArea {
    Q_OBJECT
public:
    // Mouse state: idle, rubber band armed or running, drag of the selection armed.
    enum StateMode { StateIdle = 0, StateBand = 1, StateDragArmed = 2 };
    // 0: left presses never select; 1: one item; 2: several (the default).
    enum SelectionMode { SelectionNone = 0, SelectionSingle = 1, SelectionMultiple = 2 };

    explicit IBCollectionView(QWidget* parent = nullptr);
    ~IBCollectionView() override;

    IBCollectionViewDataSource* dataSource() const { return dataSource_; }
    void setDataSource(IBCollectionViewDataSource* source) { dataSource_ = source; }
    IBCollectionViewDelegate* delegate() const { return delegate_; }
    void setDelegate(IBCollectionViewDelegate* delegate) { delegate_ = delegate; }
    int selectionMode() const { return selectionMode_; }
    void setSelectionMode(int mode) { selectionMode_ = mode; }
    // NO: each section's header follows the top of the visible rectangle.
    bool fixedSectionHeaderView() const { return fixedSectionHeaderView_; }
    void setFixedSectionHeaderView(bool fixed) { fixedSectionHeaderView_ = fixed; }
    // YES: a single click is reported one double-click interval late, and not
    // at all when a double click follows.
    bool distinctSingleDoubleClick() const { return distinctSingleDoubleClick_; }
    void setDistinctSingleDoubleClick(bool distinct) { distinctSingleDoubleClick_ = distinct; }

    // Reuse. Registering a class derived from IBCollectionItemView or
    // IBCollectionSectionView enables its identifier; other classes are ignored.
    void registerClass(const QMetaObject* viewClass, const QString& identifier);
    // A pooled view of that identifier (taken out of the pool), or nullptr.
    // The first call for a registered identifier creates its pool; only
    // views whose identifier has a pool are kept when they scroll out.
    QWidget* dequeueReusableViewWithIdentifier(const QString& identifier);

    // Asks the data source again, drops every view, empties the selection and
    // the pools, scrolls to the top, displays, and reports a selection change.
    void reloadData();
    int64_t sectionCount();
    int64_t itemCountInSectionIndex(int64_t section) const;
    bool isSectionViewMode() const { return isSectionViewMode_; }
    QSizeF documentContentSize();
    // The section's layout manager with its item count prepared.
    IBSectionViewLayoutManager* layoutWithSectionIndex(int64_t section);
    // Shared by every grid of the process.
    static IBSectionViewLayoutManager* defaultLayoutManager();

    // Places the views of everything meeting the rectangle (content coordinates).
    void updateDisplayWithRect(QRectF rect);
    // Recomputes section frames and the content size, displays, recycles.
    void updateLayout();

    QList<int64_t> sectionIndexSetWithRect(QRectF rect) const;
    QList<int64_t> itemIndexSetWithRect(QRectF rect, int64_t section, const IBSectionViewLayoutManager* layout) const;
    QList<IBSectionIndexSet> itemIndexsWithRect(QRectF rect);
    QList<IBSectionIndexSet> visibleItemIndexSets();
    QList<int64_t> visibleSectionIndexSets() const;
    QList<IBCollectionItemView*> visibleItemViews() const { return visibleItemViews_.values(); }
    QList<IBCollectionSectionView*> visibleSectionViews() const { return visibleSectionViews_.values(); }
    IBCollectionItemView* itemViewWithIndexSet(const std::optional<IBSectionIndexSet>& pair) const;
    IBCollectionSectionView* sectionViewWithIndex(int64_t section) const { return visibleSectionViews_.value(section); }
    // Content coordinates; empty for a collapsed section.
    QRectF itemRectWithIndexSet(const IBSectionIndexSet& pair);
    static QRectF convertItemRect(QRectF itemRect, QRectF sectionFrame);
    QRectF sectionFrame(int64_t section) const;

    QPointF scrollOffsetPoint() const;
    void scrollToOffsetPoint(QPointF point);
    void scrollToTop() { scrollToOffsetPoint(QPointF(0, 0)); }
    // Scrolls the least distance that shows the whole item.
    void scrollToIndexSet(const std::optional<IBSectionIndexSet>& pair);
    // The visible part of the content, in content coordinates.
    QRectF visibleRect() const;
    QWidget* contentView() const { return contentView_; }

    // Returns a placed view to its pool (when its identifier has one) or drops
    // it, and reports a tile's removal to the delegate.
    void removeSubViewToReusable(QWidget* view);

    // Selection: ordered, compared by value. Changes end with a display pass
    // and collectionViewSelectionDidChange; pairs out of range are dropped.
    const QList<IBSectionIndexSet>& selectedItemIndexSets() const { return selecteds_; }
    bool isSelected(const IBSectionIndexSet& pair) const { return selectedSet_.contains(pair); }
    void selectAll();
    void selectItemWithIndexSet(const IBSectionIndexSet& pair);
    void selectItemWithIndexSets(const QList<IBSectionIndexSet>& pairs);
    void deselectAll() { deselect(); }
    void deselect();
    void deselectItemWithIndexSet(const IBSectionIndexSet& pair);
    void deselectItemWithIndexSets(const QList<IBSectionIndexSet>& pairs);

    // The item under a content point whose tile accepts the point, if any.
    std::optional<IBSectionIndexSet> itemIndexSetWithPoint(QPointF point);
    void onItemViewSingleClick(const IBSectionIndexSet& pair);
    void onItemViewDoubleClick(const IBSectionIndexSet& pair);
    bool hasPendingSingleClick() const { return pendingClick_.has_value(); }
    // Moves the selection by one item for Qt::Key_Left/Right/Up/Down, keeping
    // the column across sections and never leaving the selection empty.
    void navigateByArrowKey(int key);
    int stateMode() const { return stateMode_; }
    IBCollectionSelectionRegionView* selectionRegionView() const { return selectionRegionView_; }
    QRectF selectingRegionRect() const { return selectingRegionRect_; }

    // Edit actions of the window's menus, forwarded to the delegate.
    bool validateMenuItem(QAction* item);
    void deleteSelection(QObject* sender);
    void importAction();
    void exportAction();

    // Drops: only drags offering one of these formats are taken; none: no drops.
    void registerForDraggedTypes(const QStringList& mimeTypes);
    QStringList registeredDraggedTypes() const { return draggedTypes_; }
    IBCollectionItemView* draggingItemView() const { return draggingItemView_; }
    // The delegate's names of the files made at a destination folder.
    std::optional<QStringList> namesOfPromisedFilesDroppedAtDestination(const QUrl& destination);

protected:
    bool viewportEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    // Runs the drag; returns when it ends. Tests replace it to look at the drag.
    virtual Qt::DropAction execDrag(QDrag* drag);
    // Shows a context menu; tests replace it to avoid a popup.
    virtual void popupMenu(QMenu* menu, QPoint globalPosition);

private:
    void placeItem(const IBSectionIndexSet& pair, QRectF frame, QWidget* parent, QWidget* header);
    void applySelectedState(IBCollectionItemView* view);
    void recycleOutside(QRectF visible);
    void parkView(QWidget* view);
    void dropView(QWidget* view);
    void dropAllViews();
    void placeContentView(double height);
    bool inRange(const IBSectionIndexSet& pair) const;
    bool sectionExpanded(int64_t section);
    int64_t sectionSlots() const { return isSectionViewMode_ ? sectionCount_ : 1; }
    void addSelected(const IBSectionIndexSet& pair);
    bool removeSelected(const IBSectionIndexSet& pair);
    void clearSelection();
    void selectionDidChange();
    QPointF contentPoint(QPointF globalPosition) const;
    void leftPress(QMouseEvent* event, int clickCount);
    void rightPress(QMouseEvent* event);
    bool trackMouseDragged(QMouseEvent* event);
    void updateBand(QPointF contentPointer);
    void endBand();
    void autoscrollStep();
    void startDrag(const QStringList& types, QPointF contentPointer);
    std::optional<IBSectionIndexSet> arrowTarget(int key);
    bool canDragOut();

    IBCollectionViewDataSource* dataSource_ = nullptr;
    IBCollectionViewDelegate* delegate_ = nullptr;
    int selectionMode_ = SelectionMultiple;
    bool fixedSectionHeaderView_ = false;
    bool distinctSingleDoubleClick_ = true;

    QWidget* contentView_ = nullptr;
    QHash<QString, const QMetaObject*> classMap_;
    QHash<QString, QList<QWidget*>> reusableViews_;
    QHash<IBSectionIndexSet, IBCollectionItemView*> visibleItemViews_;
    QHash<int64_t, IBCollectionSectionView*> visibleSectionViews_;
    std::vector<QRectF> sectionViewCacheFrames_;
    bool isSectionViewMode_ = false;
    int64_t sectionCount_ = -1;
    std::vector<int64_t> itemCountInSection_;
    bool inLayout_ = false;
    bool relayoutPending_ = false;
    bool droppingAll_ = false;

    QList<IBSectionIndexSet> selecteds_;
    QSet<IBSectionIndexSet> selectedSet_;

    int stateMode_ = StateIdle;
    QPointF firstMouseDownPoint_;
    QPoint pressGridPoint_;
    QRectF selectingRegionRect_;
    QPointer<IBCollectionSelectionRegionView> selectionRegionView_;
    QPointer<IBCollectionItemView> draggingItemView_;
    bool dragging_ = false;
    QTimer singleClickTimer_;
    std::optional<IBSectionIndexSet> pendingClick_;
    QTimer autoscrollTimer_;
    QPointF lastPointerGlobal_;
    QStringList draggedTypes_;
};

}  // namespace orv
