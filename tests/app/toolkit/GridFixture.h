#pragma once
// A recording data source and delegate for the grid's tests, and a grid
// shown offscreen at a fixed size.

#include <gtest/gtest.h>

#include <QApplication>
#include <QDrag>
#include <QKeyEvent>
#include <QMimeData>
#include <QMenu>
#include <QPointer>
#include <QScrollBar>
#include <QSet>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <vector>

#include "app/toolkit/IBCollectionItemView.h"
#include "app/toolkit/IBCollectionSectionView.h"
#include "app/toolkit/IBCollectionView.h"
#include "app/toolkit/IBCollectionViewDataSource.h"
#include "app/toolkit/IBCollectionViewDelegate.h"
#include "app/toolkit/IBSectionViewLayoutManager.h"

namespace orv::test {

inline const QString kTileId = QStringLiteral("tile");
inline const QString kSectionId = QStringLiteral("section");

class FakeSource : public IBCollectionViewDataSource {
public:
    std::optional<int64_t> sections;     // nullopt: no sections
    std::vector<int64_t> counts{0};      // per section (index 0 when sectionless)
    int64_t collectionViewItemCount(IBCollectionView*, int64_t section) override
    {
        return section < static_cast<int64_t>(counts.size()) ? counts[static_cast<size_t>(section)] : 0;
    }
    std::optional<int64_t> collectionViewSectionCount(IBCollectionView*) override { return sections; }
};

class FakeDelegate : public IBCollectionViewDelegate {
public:
    // Behaviour
    bool dequeue = true;
    bool dequeueSections = true;
    QSet<IBSectionIndexSet> nullItems;
    std::set<int64_t> collapsed;
    std::map<int64_t, IBSectionViewLayoutManager*> layouts;
    std::optional<QStringList> dragTypes;
    QMenu itemMenu;
    QMenu emptyMenu;
    Qt::DropAction enterAnswer = Qt::CopyAction;
    Qt::DropAction moveAnswer = Qt::CopyAction;
    bool dropAnswer = true;

    // Records
    int itemsCreated = 0;
    int sectionsCreated = 0;
    int dequeued = 0;
    std::vector<IBSectionIndexSet> removed;
    std::vector<IBSectionIndexSet> clicks;
    std::vector<IBSectionIndexSet> doubleClicks;
    int selectionChanges = 0;
    int keys = 0;
    std::vector<std::optional<IBSectionIndexSet>> menus;  // nullopt: empty-space menu
    std::vector<std::optional<IBSectionIndexSet>> dragMoves;
    std::vector<std::optional<IBSectionIndexSet>> drops;
    int dragEnters = 0;
    int dragExits = 0;
    std::vector<QList<IBSectionIndexSet>> dragsOut;
    std::function<void()> onSelectionChange;
    std::function<void(const IBSectionIndexSet&)> onClick;

    IBCollectionItemView* collectionViewItemViewWithIndexSet(IBCollectionView* view,
                                                             const IBSectionIndexSet& pair) override
    {
        if (nullItems.contains(pair))
            return nullptr;
        if (dequeue) {
            if (auto* pooled = qobject_cast<IBCollectionItemView*>(view->dequeueReusableViewWithIdentifier(kTileId))) {
                ++dequeued;
                return pooled;
            }
        }
        ++itemsCreated;
        auto* tile = new IBCollectionItemView;
        tile->setReuseIdentifier(kTileId);
        return tile;
    }
    IBCollectionSectionView* collectionViewSectionViewWithIndex(IBCollectionView* view, int64_t) override
    {
        if (dequeue && dequeueSections)
            if (auto* pooled = qobject_cast<IBCollectionSectionView*>(view->dequeueReusableViewWithIdentifier(kSectionId)))
                return pooled;
        ++sectionsCreated;
        auto* section = new IBCollectionSectionView;
        section->setReuseIdentifier(kSectionId);
        return section;
    }
    IBSectionViewLayoutManager* collectionViewSectionLayoutManager(IBCollectionView*, int64_t section) override
    {
        auto it = layouts.find(section);
        return it == layouts.end() ? nullptr : it->second;
    }
    bool collectionViewSectionIsExpand(IBCollectionView*, int64_t section) override
    {
        return !collapsed.count(section);
    }
    void collectionViewDidRemoveItemView(IBCollectionView*, IBCollectionItemView*, const IBSectionIndexSet& pair) override
    {
        removed.push_back(pair);
    }
    void collectionViewDidClickItemView(IBCollectionView*, const IBSectionIndexSet& pair) override
    {
        clicks.push_back(pair);
        if (onClick)
            onClick(pair);
    }
    void collectionViewDidDoubleClickItemView(IBCollectionView*, const IBSectionIndexSet& pair) override
    {
        doubleClicks.push_back(pair);
    }
    void collectionViewDidKeyDownEvent(IBCollectionView*, QKeyEvent*) override { ++keys; }
    void collectionViewSelectionDidChange(IBCollectionView*) override
    {
        ++selectionChanges;
        if (onSelectionChange)
            onSelectionChange();
    }
    QMenu* collectionViewMenuIndextSet(IBCollectionView*, const IBSectionIndexSet& pair) override
    {
        menus.push_back(pair);
        return &itemMenu;
    }
    QMenu* collectionViewMenu(IBCollectionView*) override
    {
        menus.push_back(std::nullopt);
        return &emptyMenu;
    }
    Qt::DropAction collectionViewDraggingEntered(IBCollectionView*, QDragEnterEvent*) override
    {
        ++dragEnters;
        return enterAnswer;
    }
    Qt::DropAction collectionViewDraggingUpdated(IBCollectionView*, QDragMoveEvent*,
                                                 const std::optional<IBSectionIndexSet>& pair) override
    {
        dragMoves.push_back(pair);
        return moveAnswer;
    }
    void collectionViewDraggingExited(IBCollectionView*, QDragLeaveEvent*) override { ++dragExits; }
    bool collectionViewPerformDragOperation(IBCollectionView*, QDropEvent*,
                                            const std::optional<IBSectionIndexSet>& pair) override
    {
        drops.push_back(pair);
        return dropAnswer;
    }
    std::optional<QStringList> collectionViewDragPromisedFilesOfTypes(IBCollectionView*) override { return dragTypes; }
    QMimeData* collectionViewDragMimeData(IBCollectionView*, const QStringList&,
                                          const QList<IBSectionIndexSet>& pairs) override;
};

// The grid with its menus and drags captured instead of shown or run.
class TestGrid : public IBCollectionView {
public:
    using IBCollectionView::IBCollectionView;
    std::vector<QMenu*> shownMenus;
    QPixmap dragPixmap;
    QPoint dragHotSpot;
    QStringList dragFormats;
    int dragStateDuringDrag = -1;

protected:
    void popupMenu(QMenu* menu, QPoint) override { shownMenus.push_back(menu); }
    Qt::DropAction execDrag(QDrag* drag) override;
};

inline QMimeData* FakeDelegate::collectionViewDragMimeData(IBCollectionView*, const QStringList& types,
                                                          const QList<IBSectionIndexSet>& pairs)
{
    dragsOut.push_back(pairs);
    auto* data = new QMimeData;
    for (const QString& type : types)
        data->setData(type, QByteArray::number(pairs.size()));
    return data;
}

inline Qt::DropAction TestGrid::execDrag(QDrag* drag)
{
    dragPixmap = drag->pixmap();
    dragHotSpot = drag->hotSpot();
    dragFormats = drag->mimeData()->formats();
    dragStateDuringDrag = stateMode();
    return IBCollectionView::execDrag(drag);
}

// A grid of the given viewport size (no scroll bar taking width) wired to a
// source and delegate, shown offscreen.
struct GridFixture : ::testing::Test {
    FakeSource source;
    FakeDelegate delegate;
    std::unique_ptr<TestGrid> grid = std::make_unique<TestGrid>();

    void SetUp() override
    {
        grid->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        grid->setDataSource(&source);
        grid->setDelegate(&delegate);
        grid->registerClass(&IBCollectionItemView::staticMetaObject, kTileId);
        grid->registerClass(&IBCollectionSectionView::staticMetaObject, kSectionId);
        grid->resize(340, 400);
        grid->show();
    }
    void TearDown() override
    {
        grid.reset();
        // Views the grid dropped are deleted by the event loop.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    void load(std::vector<int64_t> counts, bool sections)
    {
        source.counts = std::move(counts);
        source.sections = sections ? std::optional<int64_t>(static_cast<int64_t>(source.counts.size())) : std::nullopt;
        grid->reloadData();
    }
    void scrollTo(int y) { grid->scrollToOffsetPoint(QPointF(0, y)); }
    QSet<IBSectionIndexSet> placedPairs() const
    {
        QSet<IBSectionIndexSet> pairs;
        for (IBCollectionItemView* view : grid->visibleItemViews())
            pairs.insert(view->indexSet());
        return pairs;
    }
    // The content point at the centre of an item.
    QPointF centreOf(const IBSectionIndexSet& pair) { return grid->itemRectWithIndexSet(pair).center(); }
    // The same point in the viewport (where mouse events arrive).
    QPoint viewportPointOf(const IBSectionIndexSet& pair)
    {
        return (centreOf(pair) - grid->scrollOffsetPoint()).toPoint();
    }
};

}  // namespace orv::test
