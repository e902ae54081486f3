// The grid's data, display, reuse and scrolling: placement invariants over
// scroll and resize sequences, pools, sections with pinned headers, collapsed
// sections, reload and scrolling to an item.

#include <gtest/gtest.h>

#include <QPointer>
#include <algorithm>
#include <cmath>

#include "GridFixture.h"

namespace orv::test {
namespace {

using Grid = GridFixture;

// Every pair meeting the visible rectangle has exactly one shown widget at
// its rectangle, and no other tile under the content view is shown.
void expectPlacementInvariant(IBCollectionView& grid)
{
    const QRectF visible = grid.visibleRect();
    QSet<IBSectionIndexSet> expected;
    for (const IBSectionIndexSet& pair : grid.itemIndexsWithRect(visible))
        if (!grid.isSectionViewMode() || !grid.itemRectWithIndexSet(pair).isNull()) {
            expected.insert(pair);
        }
    QSet<IBSectionIndexSet> placed;
    for (IBCollectionItemView* view : grid.visibleItemViews()) {
        const IBSectionIndexSet pair = view->indexSet();
        EXPECT_FALSE(placed.contains(pair)) << "two views for " << pair.description().toStdString();
        placed.insert(pair);
        EXPECT_TRUE(view->isVisibleTo(grid.contentView()));
        const QRect inContent(view->mapTo(grid.contentView(), QPoint(0, 0)), view->size());
        EXPECT_EQ(inContent, grid.itemRectWithIndexSet(pair).toRect()) << pair.description().toStdString();
        EXPECT_EQ(grid.itemViewWithIndexSet(pair), view);
    }
    EXPECT_EQ(placed, expected);
    // A section lists exactly its placed tiles, whatever its pooled children.
    for (int64_t section : grid.visibleSectionIndexSets()) {
        IBCollectionSectionView* view = grid.sectionViewWithIndex(section);
        if (!view)
            continue;
        for (IBCollectionItemView* tile : view->tiles()) {
            EXPECT_EQ(tile->indexSet().sectionIndex(), section);
            EXPECT_EQ(grid.itemViewWithIndexSet(tile->indexSet()), tile);
        }
    }
    for (IBCollectionItemView* tile : grid.contentView()->findChildren<IBCollectionItemView*>())
        if (tile->isVisibleTo(grid.contentView())) {
            EXPECT_TRUE(placed.contains(tile->indexSet()) && grid.itemViewWithIndexSet(tile->indexSet()) == tile)
                << "stray tile " << tile->indexSet().description().toStdString();
        }
}

TEST_F(Grid, SectionlessItemsAreDirectChildrenOfTheContent)
{
    load({5}, false);
    EXPECT_FALSE(grid->isSectionViewMode());
    EXPECT_TRUE(grid->visibleSectionViews().isEmpty());
    QSet<IBSectionIndexSet> expected;
    for (int i = 0; i < 5; ++i)
        expected.insert(IBSectionIndexSet(0, i));
    EXPECT_EQ(placedPairs(), expected);
    for (IBCollectionItemView* view : grid->visibleItemViews())
        EXPECT_EQ(view->parentWidget(), grid->contentView());
    expectPlacementInvariant(*grid);
    // Content shorter than the view: exactly as tall as the view, at the origin.
    EXPECT_EQ(grid->contentView()->geometry(), QRect(QPoint(0, 0), grid->viewport()->size()));
}

TEST_F(Grid, NegativeSectionCountMeansNoSections)
{
    source.counts = {3};
    source.sections = -3;
    grid->reloadData();
    EXPECT_EQ(grid->sectionCount(), 0);
    EXPECT_FALSE(grid->isSectionViewMode());
    EXPECT_EQ(placedPairs().size(), 3);
}

TEST_F(Grid, NoDataSourceShowsNothing)
{
    grid->setDataSource(nullptr);
    grid->reloadData();
    EXPECT_EQ(grid->sectionCount(), 0);
    EXPECT_TRUE(grid->visibleItemViews().isEmpty());
    EXPECT_EQ(grid->documentContentSize(), QSizeF(grid->viewport()->size()));
}

TEST_F(Grid, ScrollAndResizeSequencesKeepPlacementAndBoundWidgets)
{
    load({1000}, false);
    // 340 wide: 2 columns, rows every 110 from y 30. Steps below one row.
    const int steps[] = {37, 1, 109, 55, 100, 3};
    int y = 0;
    qsizetype peak = 0;
    const int bottom = grid->verticalScrollBar()->maximum();
    while (y < bottom) {
        for (int step : steps) {
            y = std::min(bottom, y + step);
            scrollTo(y);
            expectPlacementInvariant(*grid);
            peak = std::max(peak, grid->visibleItemViews().size());
        }
    }
    // Widgets made: one screenful plus the row a step brings in.
    const int columns = 2;
    EXPECT_LE(delegate.itemsCreated, peak + columns);
    // Each item was asked for once, almost always from the pool.
    EXPECT_EQ(delegate.dequeued + delegate.itemsCreated, 1000);
    // The first removals name the first row, which left first.
    ASSERT_GE(delegate.removed.size(), 2u);
    const QSet<IBSectionIndexSet> firstTwo{delegate.removed[0], delegate.removed[1]};
    EXPECT_EQ(firstTwo, (QSet<IBSectionIndexSet>{IBSectionIndexSet(0, 0), IBSectionIndexSet(0, 1)}));

    // Jumps both ways and resizes that change the column count.
    for (auto [width, offset] : {std::pair{560, 5000}, {230, 40000}, {1000, 20}, {340, 999999}, {120, 777}, {340, 0}}) {
        grid->resize(width, 400);
        scrollTo(offset);
        expectPlacementInvariant(*grid);
        const qsizetype perScreen = (400 / 110 + 2) * (width / 110 + 1);
        EXPECT_LE(grid->visibleItemViews().size(), perScreen);
    }
}

TEST_F(Grid, ScrollBarThatComesAndGoesKeepsTheInvariant)
{
    grid->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    load({40}, false);
    for (int y : {0, 500, 1200, 3000, 60})
        scrollTo(y), expectPlacementInvariant(*grid);
    load({2}, false);
    expectPlacementInvariant(*grid);
}

TEST_F(Grid, SectionsPlaceTilesInsideSectionViewsUnderTheHeader)
{
    load({3, 0, 7}, true);
    ASSERT_TRUE(grid->isSectionViewMode());
    // Heights: 3 items in 2 columns = 270, empty = 160, 7 items = 490.
    EXPECT_EQ(grid->sectionFrame(0), QRectF(0, 0, 340, 270));
    EXPECT_EQ(grid->sectionFrame(1), QRectF(0, 270, 340, 160));
    EXPECT_EQ(grid->sectionFrame(2), QRectF(0, 430, 340, 490));
    EXPECT_DOUBLE_EQ(grid->documentContentSize().height(), 920);
    expectPlacementInvariant(*grid);
    IBCollectionSectionView* section = grid->sectionViewWithIndex(0);
    ASSERT_NE(section, nullptr);
    ASSERT_NE(section->headerView(), nullptr);
    EXPECT_EQ(section->headerView()->size(), QSize(340, 20));
    EXPECT_EQ(section->tiles().size(), 3);
    // The header is stacked above the tiles so a pinned header covers them.
    const QObjectList children = section->children();
    EXPECT_EQ(children.last(), section->headerView());
    for (int y : {100, 300, 500, 20, 0})
        scrollTo(y), expectPlacementInvariant(*grid);
}

TEST_F(Grid, ReusePoolsAcrossSections)
{
    load(std::vector<int64_t>(200, 9), true);
    qsizetype peak = 0;
    for (int y = 0; y < grid->verticalScrollBar()->maximum(); y += 53) {
        scrollTo(y);
        expectPlacementInvariant(*grid);
        peak = std::max(peak, grid->visibleItemViews().size());
        EXPECT_LE(grid->visibleSectionViews().size(), 3);
    }
    EXPECT_LE(delegate.itemsCreated, peak + 2 * 2);
    EXPECT_LE(delegate.sectionsCreated, 4);
}

TEST_F(Grid, PooledTilesOutliveTheSectionTheyLeft)
{
    // Sections are dropped as they scroll out (never dequeued), tiles are pooled.
    delegate.dequeueSections = false;
    load(std::vector<int64_t>(60, 9), true);
    for (int y = 0; y < 20000; y += 97) {
        scrollTo(y);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        expectPlacementInvariant(*grid);
    }
    EXPECT_GT(delegate.sectionsCreated, 20);
    EXPECT_LE(delegate.itemsCreated, 30);
    for (IBCollectionItemView* view : grid->visibleItemViews())
        EXPECT_EQ(view->parentWidget(), grid->sectionViewWithIndex(view->indexSet().sectionIndex()));
}

TEST_F(Grid, PinnedHeaderFollowsTheTopUntilItsSectionEnds)
{
    load({20, 20}, true);  // each section: 10 rows -> 20+20+10+10+9*10+1000 = 1150
    const double height = grid->sectionFrame(0).height();
    ASSERT_DOUBLE_EQ(height, 1150);
    struct Case {
        int offset;
        int headerY;
    };
    for (Case c : {Case{0, 0}, {50, 50}, {700, 700}, {1130, 1130}, {1140, 1130}, {1149, 1130}}) {
        scrollTo(c.offset);
        IBCollectionSectionView* section = grid->sectionViewWithIndex(0);
        ASSERT_NE(section, nullptr) << c.offset;
        EXPECT_EQ(section->headerView()->y(), c.headerY) << "offset " << c.offset;
    }
    // The next section's header stays at its top while the section's top is in view.
    scrollTo(1100);
    EXPECT_EQ(grid->sectionViewWithIndex(1)->headerView()->y(), 0);

    grid->setFixedSectionHeaderView(true);
    scrollTo(0);
    scrollTo(300);
    EXPECT_EQ(grid->sectionViewWithIndex(0)->headerView()->y(), 0);
}

TEST_F(Grid, HeaderStopsAboveTheBottomStrip)
{
    source.counts = {20, 20};
    source.sections = 2;
    auto* bottom = new QWidget;
    delegate.dequeue = false;
    grid->reloadData();
    IBCollectionSectionView* section = grid->sectionViewWithIndex(0);
    section->setHasBottom(true);
    section->setBottomView(bottom);
    section->viewDidMoveToSuperview();
    grid->updateLayout();
    EXPECT_EQ(bottom->geometry(), QRect(0, 1150 - 20, 340, 20));
    scrollTo(1149);
    EXPECT_EQ(section->headerView()->y(), 1150 - 20 - 20);
}

TEST_F(Grid, CollapsedSectionIsHeaderHighAndLosesItsTiles)
{
    load({4, 4}, true);
    grid->selectItemWithIndexSets({IBSectionIndexSet(0, 1), IBSectionIndexSet(1, 0)});
    const int changes = delegate.selectionChanges;
    ASSERT_NE(grid->itemViewWithIndexSet(IBSectionIndexSet(0, 1)), nullptr);
    delegate.collapsed = {0};
    grid->updateLayout();
    EXPECT_DOUBLE_EQ(grid->sectionFrame(0).height(), 20);
    EXPECT_DOUBLE_EQ(grid->sectionFrame(1).y(), 20);
    EXPECT_EQ(grid->itemViewWithIndexSet(IBSectionIndexSet(0, 1)), nullptr);
    EXPECT_EQ(grid->selectedItemIndexSets(), QList<IBSectionIndexSet>{IBSectionIndexSet(1, 0)});
    EXPECT_EQ(delegate.selectionChanges, changes);  // dropped silently
    EXPECT_TRUE(grid->itemRectWithIndexSet(IBSectionIndexSet(0, 1)).isNull());
    expectPlacementInvariant(*grid);
}

TEST_F(Grid, DequeueCreatesThePoolAndOnlyPooledIdentifiersKeepViews)
{
    EXPECT_EQ(grid->dequeueReusableViewWithIdentifier(kTileId), nullptr);
    EXPECT_EQ(grid->dequeueReusableViewWithIdentifier(QString()), nullptr);
    // A class that is neither a tile nor a section leaves the identifier unregistered.
    grid->registerClass(&QWidget::staticMetaObject, QStringLiteral("plain"));
    EXPECT_EQ(grid->dequeueReusableViewWithIdentifier(QStringLiteral("plain")), nullptr);

    // Never dequeued since the reload: views that scroll out are dropped.
    delegate.dequeue = false;
    load({100}, false);
    QPointer<IBCollectionItemView> first = grid->itemViewWithIndexSet(IBSectionIndexSet(0, 0));
    ASSERT_TRUE(first);
    scrollTo(2000);
    EXPECT_NE(std::find(delegate.removed.begin(), delegate.removed.end(), IBSectionIndexSet(0, 0)),
              delegate.removed.end());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(first);

    // After a dequeue, the next view to scroll out is pooled and handed back.
    EXPECT_EQ(grid->dequeueReusableViewWithIdentifier(kTileId), nullptr);
    QPointer<IBCollectionItemView> leaving = grid->itemViewWithIndexSet(IBSectionIndexSet(0, 36));
    ASSERT_TRUE(leaving);
    scrollTo(4000);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_TRUE(leaving);
    EXPECT_FALSE(leaving->isVisible());
    QList<QWidget*> pooled;
    while (QWidget* view = grid->dequeueReusableViewWithIdentifier(kTileId))
        pooled.append(view);
    EXPECT_TRUE(pooled.contains(leaving.data()));
}

TEST_F(Grid, ReloadDropsEverythingSilentlyAndScrollsToTop)
{
    load({100}, false);
    scrollTo(3000);
    grid->selectItemWithIndexSet(IBSectionIndexSet(0, 60));
    QPointer<IBCollectionItemView> shown = grid->visibleItemViews().first();
    const auto removedBefore = delegate.removed.size();
    const int changesBefore = delegate.selectionChanges;
    grid->reloadData();
    EXPECT_EQ(delegate.removed.size(), removedBefore);
    EXPECT_TRUE(grid->selectedItemIndexSets().isEmpty());
    EXPECT_EQ(delegate.selectionChanges, changesBefore + 1);
    EXPECT_EQ(grid->scrollOffsetPoint(), QPointF(0, 0));
    EXPECT_EQ(grid->dequeueReusableViewWithIdentifier(kTileId), nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(shown);
    expectPlacementInvariant(*grid);
}

TEST_F(Grid, ScrollToIndexSetMovesTheLeastDistance)
{
    load({100}, false);
    // Item 10: row 5, y = 5*110 + 30 = 580, bottom 680; the view is 400 high.
    grid->scrollToIndexSet(IBSectionIndexSet(0, 10));
    EXPECT_EQ(grid->scrollOffsetPoint().y(), 680 - 400);
    grid->scrollToIndexSet(IBSectionIndexSet(0, 11));  // already in view
    EXPECT_EQ(grid->scrollOffsetPoint().y(), 680 - 400);
    grid->scrollToIndexSet(IBSectionIndexSet(0, 2));  // above: top meets top
    EXPECT_EQ(grid->scrollOffsetPoint().y(), 140);
    grid->scrollToIndexSet(std::nullopt);
    EXPECT_EQ(grid->scrollOffsetPoint().y(), 140);
}

TEST_F(Grid, MissingViewsAreSkipped)
{
    delegate.nullItems = {IBSectionIndexSet(0, 2)};
    load({5}, false);
    EXPECT_EQ(placedPairs().size(), 4);
    EXPECT_EQ(grid->itemViewWithIndexSet(IBSectionIndexSet(0, 2)), nullptr);
    // A section whose view is missing is skipped with its tiles.
    struct NoSections : FakeDelegate {
        IBCollectionSectionView* collectionViewSectionViewWithIndex(IBCollectionView*, int64_t) override
        {
            return nullptr;
        }
    } noSections;
    grid->setDelegate(&noSections);
    load({5, 5}, true);
    EXPECT_TRUE(grid->visibleItemViews().isEmpty());
    grid->setDelegate(&delegate);
}

TEST_F(Grid, LayoutManagersComeFromTheDelegateOrTheSharedDefault)
{
    IBSectionViewLayoutManager wide;
    wide.setItemSize(QSizeF(300, 50));
    delegate.layouts[1] = &wide;
    load({3, 3}, true);
    EXPECT_EQ(grid->layoutWithSectionIndex(0), IBCollectionView::defaultLayoutManager());
    EXPECT_EQ(grid->layoutWithSectionIndex(1), &wide);
    EXPECT_EQ(wide.itemCount(), 3);
    // One column of 300 x 50 items: 20+20+10+10+2*10+3*50
    EXPECT_DOUBLE_EQ(grid->sectionFrame(1).height(), 230);
    EXPECT_EQ(grid->itemRectWithIndexSet(IBSectionIndexSet(1, 2)), QRectF(20, 270 + 30 + 120, 300, 50));
    expectPlacementInvariant(*grid);
}

}  // namespace
}  // namespace orv::test
