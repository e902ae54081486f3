// Selection of the grid: the select operations, clicks with modifiers in each
// selection mode, double clicks, deferred single clicks across a reload, the
// rubber band, context menus, and keys with arrow navigation across sections.

#include <gtest/gtest.h>

#include <QAction>
#include <QStyleHints>
#include <QTest>
#include <chrono>

#include "GridFixture.h"
#include "MouseInput.h"
#include "QtWait.h"

namespace orv::test {
namespace {

using namespace std::chrono_literals;
using Pairs = QList<IBSectionIndexSet>;
using P = IBSectionIndexSet;

struct Selection : GridFixture {
    void SetUp() override
    {
        GridFixture::SetUp();
        QGuiApplication::styleHints()->setMouseDoubleClickInterval(150);
    }
};

TEST_F(Selection, OperationsKeepOnlyPairsInRange)
{
    load({3, 0, 2}, true);
    struct Case {
        const char* name;
        std::function<void()> run;
        Pairs expected;
        int changes;
    };
    const Case cases[] = {
        {"one in range", [&] { grid->selectItemWithIndexSet(P(2, 1)); }, {P(2, 1)}, 1},
        {"one out of range empties", [&] { grid->selectItemWithIndexSet(P(1, 0)); }, {}, 1},
        {"section past the end", [&] { grid->selectItemWithIndexSet(P(3, 0)); }, {}, 1},
        {"negative item", [&] { grid->selectItemWithIndexSet(P(0, -1)); }, {}, 1},
        {"several keep order, drop invalid",
         [&] { grid->selectItemWithIndexSets({P(2, 0), P(0, 5), P(0, 2), P(2, 0)}); }, {P(2, 0), P(0, 2)}, 1},
        {"select all in order", [&] { grid->selectAll(); }, {P(0, 0), P(0, 1), P(0, 2), P(2, 0), P(2, 1)}, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const int before = delegate.selectionChanges;
        c.run();
        EXPECT_EQ(grid->selectedItemIndexSets(), c.expected);
        EXPECT_EQ(delegate.selectionChanges - before, c.changes);
    }
    // Deselecting something not selected is silent; a batch reports only a change of count.
    grid->selectItemWithIndexSets({P(0, 0), P(0, 1)});
    int before = delegate.selectionChanges;
    grid->deselectItemWithIndexSet(P(2, 1));
    grid->deselectItemWithIndexSets({P(2, 1), P(2, 0)});
    EXPECT_EQ(delegate.selectionChanges, before);
    grid->deselectItemWithIndexSets({P(2, 1), P(0, 0)});
    EXPECT_EQ(grid->selectedItemIndexSets(), Pairs{P(0, 1)});
    EXPECT_EQ(delegate.selectionChanges, before + 1);
    grid->deselectAll();
    EXPECT_TRUE(grid->selectedItemIndexSets().isEmpty());
    // Placed tiles show the selection.
    grid->selectItemWithIndexSet(P(0, 2));
    EXPECT_TRUE(grid->itemViewWithIndexSet(P(0, 2))->selected());
    EXPECT_FALSE(grid->itemViewWithIndexSet(P(0, 1))->selected());
}

TEST_F(Selection, ClicksByModeModifiersAndTarget)
{
    grid->setDistinctSingleDoubleClick(false);
    const QPoint empty(5, 5);
    struct Case {
        const char* name;
        int mode;
        Pairs before;
        Qt::KeyboardModifiers modifiers;
        std::optional<int64_t> item;  // nullopt: empty space
        Pairs after;
        bool clickReported;
    };
    const auto ctrl = Qt::ControlModifier;
    const auto shift = Qt::ShiftModifier;
    const Case cases[] = {
        {"ctrl on selected removes it", 2, {P(0, 0), P(0, 1)}, ctrl, 1, {P(0, 0)}, true},
        {"ctrl on unselected adds it", 2, {P(0, 0)}, ctrl, 2, {P(0, 0), P(0, 2)}, true},
        {"shift on unselected adds it", 2, {P(0, 0)}, shift, 3, {P(0, 0), P(0, 3)}, true},
        {"ctrl and shift together do not extend", 2, {P(0, 0)}, ctrl | shift, 3, {P(0, 3)}, true},
        {"alt cancels the extension", 2, {P(0, 0)}, ctrl | Qt::AltModifier, 3, {P(0, 3)}, true},
        {"plain on selected keeps all", 2, {P(0, 0), P(0, 1)}, Qt::NoModifier, 1, {P(0, 0), P(0, 1)}, true},
        {"plain on unselected replaces", 2, {P(0, 0), P(0, 1)}, Qt::NoModifier, 2, {P(0, 2)}, true},
        {"single mode: shift replaces", 1, {P(0, 0)}, shift, 2, {P(0, 2)}, true},
        {"no-selection mode empties but reports", 0, {P(0, 0)}, Qt::NoModifier, 2, {}, true},
        {"empty space empties, no click", 2, {P(0, 0)}, Qt::NoModifier, std::nullopt, {}, false},
        {"ctrl on empty space keeps", 2, {P(0, 0)}, ctrl, std::nullopt, {P(0, 0)}, false},
    };
    load({6}, false);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        grid->setSelectionMode(2);
        grid->selectItemWithIndexSets(c.before);
        grid->setSelectionMode(c.mode);
        delegate.clicks.clear();
        const QPoint at = c.item ? viewportPointOf(P(0, *c.item)) : empty;
        click(grid->viewport(), at, c.modifiers);
        EXPECT_EQ(grid->selectedItemIndexSets(), c.after);
        EXPECT_EQ(delegate.clicks.size(), c.clickReported ? 1u : 0u);
        if (c.clickReported && !delegate.clicks.empty()) {
            EXPECT_EQ(delegate.clicks.front(), P(0, *c.item));
        }
        EXPECT_EQ(grid->stateMode(), IBCollectionView::StateIdle);
    }
}

TEST_F(Selection, PressesThroughATileReachTheGrid)
{
    grid->setDistinctSingleDoubleClick(false);
    load({4}, false);
    IBCollectionItemView* tile = grid->itemViewWithIndexSet(P(0, 3));
    ASSERT_NE(tile, nullptr);
    click(tile, QPoint(50, 50));
    EXPECT_EQ(grid->selectedItemIndexSets(), Pairs{P(0, 3)});
    EXPECT_EQ(delegate.clicks, std::vector<P>{P(0, 3)});
}

TEST_F(Selection, TileThatTracksThePressGetsNoClickOrMenu)
{
    struct Tracking : IBCollectionItemView {
        bool trackMouseEvent(QMouseEvent*) override { return true; }
    };
    struct TrackingDelegate : FakeDelegate {
        IBCollectionItemView* collectionViewItemViewWithIndexSet(IBCollectionView*, const IBSectionIndexSet&) override
        {
            return new Tracking;
        }
    } tracking;
    grid->setDelegate(&tracking);
    grid->setDistinctSingleDoubleClick(false);
    load({2}, false);
    click(grid->viewport(), viewportPointOf(P(0, 1)));
    click(grid->viewport(), viewportPointOf(P(0, 1)), Qt::NoModifier, Qt::RightButton);
    EXPECT_TRUE(tracking.clicks.empty());
    EXPECT_TRUE(tracking.menus.empty());
    EXPECT_EQ(grid->selectedItemIndexSets(), Pairs{P(0, 1)});
    grid->setDelegate(&delegate);
}

TEST_F(Selection, DoubleClicksWithAndWithoutDistinctSingleClicks)
{
    load({4}, false);
    const QPoint at = viewportPointOf(P(0, 2));

    grid->setDistinctSingleDoubleClick(true);
    doubleClick(grid->viewport(), at);
    EXPECT_EQ(delegate.doubleClicks, std::vector<P>{P(0, 2)});
    EXPECT_FALSE(grid->hasPendingSingleClick());
    EXPECT_FALSE(qtWaitUntil([&] { return !delegate.clicks.empty(); }, 400ms));

    delegate.doubleClicks.clear();
    grid->setDistinctSingleDoubleClick(false);
    doubleClick(grid->viewport(), at);
    EXPECT_EQ(delegate.clicks, std::vector<P>{P(0, 2)});
    EXPECT_EQ(delegate.doubleClicks, std::vector<P>{P(0, 2)});

    // A lone click with distinct clicks arrives one interval later.
    delegate.clicks.clear();
    grid->setDistinctSingleDoubleClick(true);
    click(grid->viewport(), at);
    EXPECT_TRUE(delegate.clicks.empty());
    EXPECT_TRUE(qtWaitUntil([&] { return !delegate.clicks.empty(); }, 5s));
    EXPECT_EQ(delegate.clicks, std::vector<P>{P(0, 2)});
}

TEST_F(Selection, ReloadCancelsAPendingClickAndStaleClicksAreDropped)
{
    load({6}, false);
    click(grid->viewport(), viewportPointOf(P(0, 5)));
    ASSERT_TRUE(grid->hasPendingSingleClick());
    source.counts = {2};
    grid->reloadData();
    EXPECT_FALSE(grid->hasPendingSingleClick());
    EXPECT_FALSE(qtWaitUntil([&] { return !delegate.clicks.empty(); }, 400ms));

    // A reload from inside the selection-change report, before the click is reported.
    load({6}, false);
    grid->setDistinctSingleDoubleClick(false);
    delegate.onSelectionChange = [&] {
        delegate.onSelectionChange = nullptr;
        source.counts = {1};
        grid->reloadData();
    };
    click(grid->viewport(), viewportPointOf(P(0, 4)));
    EXPECT_TRUE(delegate.clicks.empty());
    grid->onItemViewDoubleClick(P(0, 4));
    EXPECT_TRUE(delegate.doubleClicks.empty());
}

TEST_F(Selection, BandSelectsTouchedItemsAndEndsOnRelease)
{
    load({20}, false);
    grid->selectItemWithIndexSet(P(0, 9));
    QWidget* viewport = grid->viewport();
    press(viewport, QPoint(5, 5));
    EXPECT_EQ(grid->stateMode(), IBCollectionView::StateBand);
    EXPECT_TRUE(grid->selectedItemIndexSets().isEmpty());
    dragTo(viewport, QPoint(250, 150));
    ASSERT_NE(grid->selectionRegionView(), nullptr);
    EXPECT_EQ(grid->selectionRegionView()->frameRect(), QRectF(5, 5, 245, 145));
    EXPECT_EQ(grid->selectedItemIndexSets(), (Pairs{P(0, 0), P(0, 1), P(0, 2), P(0, 3)}));
    for (int i = 0; i < 4; ++i)
        EXPECT_TRUE(grid->itemViewWithIndexSet(P(0, i))->selected());
    dragTo(viewport, QPoint(110, 100));  // shrinking the band drops what it left
    EXPECT_EQ(grid->selectedItemIndexSets(), Pairs{P(0, 0)});
    release(viewport, QPoint(110, 100));
    EXPECT_EQ(grid->selectionRegionView(), nullptr);
    EXPECT_EQ(grid->stateMode(), IBCollectionView::StateIdle);
    EXPECT_EQ(grid->selectedItemIndexSets(), Pairs{P(0, 0)});

    // A purely horizontal drag still has a band one pixel high.
    press(viewport, QPoint(5, 80));
    dragTo(viewport, QPoint(300, 80));
    EXPECT_EQ(grid->selectingRegionRect(), QRectF(5, 80, 295, 1));
    EXPECT_EQ(grid->selectedItemIndexSets(), (Pairs{P(0, 0), P(0, 1)}));
    release(viewport, QPoint(300, 80));

    // Single selection mode has no band.
    grid->setSelectionMode(1);
    press(viewport, QPoint(5, 5));
    dragTo(viewport, QPoint(250, 250));
    EXPECT_EQ(grid->selectionRegionView(), nullptr);
    EXPECT_TRUE(grid->selectedItemIndexSets().isEmpty());
    release(viewport, QPoint(250, 250));
}

TEST_F(Selection, BandAsksEachTileWhetherItIsCaught)
{
    // A round tile: only a band reaching its middle catches it.
    struct Round : IBCollectionItemView {
        bool accpetSelectWithRect(QRectF band) const override { return band.contains(QRectF(rect()).center()); }
    };
    struct RoundDelegate : FakeDelegate {
        IBCollectionItemView* collectionViewItemViewWithIndexSet(IBCollectionView*, const IBSectionIndexSet&) override
        {
            return new Round;
        }
    } round;
    grid->setDelegate(&round);
    load({4}, false);
    press(grid->viewport(), QPoint(5, 5));
    dragTo(grid->viewport(), QPoint(200, 60));  // reaches the middle of item 0 only (70, 80)? no: stops at y 60
    EXPECT_TRUE(grid->selectedItemIndexSets().isEmpty());
    dragTo(grid->viewport(), QPoint(200, 100));  // covers (70, 80) and (180, 80)
    EXPECT_EQ(grid->selectedItemIndexSets(), (Pairs{P(0, 0), P(0, 1)}));
    release(grid->viewport(), QPoint(200, 100));
    grid->setDelegate(&delegate);
}

TEST_F(Selection, RightClicksSelectAndAskForTheRightMenu)
{
    load({6}, false);
    grid->selectItemWithIndexSets({P(0, 0), P(0, 1)});
    QWidget* viewport = grid->viewport();

    click(viewport, viewportPointOf(P(0, 1)), Qt::NoModifier, Qt::RightButton);  // selected: kept
    EXPECT_EQ(grid->selectedItemIndexSets(), (Pairs{P(0, 0), P(0, 1)}));
    click(viewport, viewportPointOf(P(0, 3)), Qt::NoModifier, Qt::RightButton);  // unselected: alone
    EXPECT_EQ(grid->selectedItemIndexSets(), Pairs{P(0, 3)});
    click(viewport, QPoint(5, 5), Qt::NoModifier, Qt::RightButton);  // empty space
    EXPECT_TRUE(grid->selectedItemIndexSets().isEmpty());
    using Menu = std::optional<P>;
    EXPECT_EQ(delegate.menus, (std::vector<Menu>{P(0, 1), P(0, 3), std::nullopt}));
    EXPECT_EQ(grid->shownMenus,
              (std::vector<QMenu*>{&delegate.itemMenu, &delegate.itemMenu, &delegate.emptyMenu}));
    // Shift, Alt or Ctrl leave a right press alone.
    click(viewport, viewportPointOf(P(0, 4)), Qt::ShiftModifier, Qt::RightButton);
    EXPECT_TRUE(grid->selectedItemIndexSets().isEmpty());
    EXPECT_EQ(delegate.menus.size(), 3u);
    EXPECT_TRUE(delegate.clicks.empty());
}

TEST_F(Selection, KeysSelectAllAndReachTheDelegate)
{
    load({3, 2}, true);
    const int before = delegate.selectionChanges;
    QTest::keyClick(grid.get(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(grid->selectedItemIndexSets(), (Pairs{P(0, 0), P(0, 1), P(0, 2), P(1, 0), P(1, 1)}));
    EXPECT_EQ(delegate.selectionChanges, before + 1);
    // Every press reaches the delegate, Escape is left to the parents.
    delegate.keys = 0;
    for (int key : {Qt::Key_Space, Qt::Key_Escape, Qt::Key_Right, Qt::Key_X}) {
        QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(grid.get(), &event);
        EXPECT_EQ(event.isAccepted(), key != Qt::Key_Escape) << key;
    }
    EXPECT_EQ(delegate.keys, 4);
    // No-selection mode ignores arrows but still reports them.
    grid->selectItemWithIndexSet(P(0, 0));
    grid->setSelectionMode(0);
    QTest::keyClick(grid.get(), Qt::Key_Right);
    EXPECT_EQ(grid->selectedItemIndexSets(), Pairs{P(0, 0)});
    EXPECT_EQ(delegate.keys, 5);
}

TEST_F(Selection, ArrowKeysKeepTheColumnAndNeverEmptyTheSelection)
{
    grid->resize(460, 400);  // four columns
    struct Case {
        std::vector<int64_t> counts;
        bool sections;
        Pairs start;
        int key;
        P expected;
    };
    const int L = Qt::Key_Left, R = Qt::Key_Right, U = Qt::Key_Up, D = Qt::Key_Down;
    const Case cases[] = {
        // Sections of 5 and 3: across the partly filled last row.
        {{5, 3}, true, {P(0, 4)}, D, P(1, 0)},
        {{5, 3}, true, {P(1, 0)}, U, P(0, 4)},
        {{5, 3}, true, {P(1, 2)}, U, P(0, 4)},
        {{5, 3}, true, {P(0, 3)}, D, P(0, 4)},
        {{5, 3}, true, {P(1, 2)}, D, P(1, 2)},
        {{5, 3}, true, {P(0, 2)}, U, P(0, 2)},
        {{5, 3}, true, {P(0, 4)}, R, P(0, 4)},
        {{5, 3}, true, {P(0, 3)}, R, P(0, 3)},
        {{5, 3}, true, {P(0, 1)}, R, P(0, 2)},
        {{5, 3}, true, {P(0, 4)}, L, P(0, 4)},
        {{5, 3}, true, {P(0, 2)}, L, P(0, 1)},
        // Sections of 6 and 4.
        {{6, 4}, true, {P(0, 5)}, D, P(1, 1)},
        {{6, 4}, true, {P(1, 1)}, U, P(0, 5)},
        {{6, 4}, true, {P(1, 3)}, U, P(0, 5)},
        {{6, 4}, true, {P(0, 3)}, D, P(0, 5)},
        // An empty section between is stepped over.
        {{5, 0, 3}, true, {P(0, 4)}, D, P(2, 0)},
        {{5, 0, 3}, true, {P(2, 2)}, U, P(0, 4)},
        {{0, 3}, true, {P(1, 1)}, U, P(1, 1)},
        // Several selected: from the first for left/up, from the last for right/down.
        {{5, 3}, true, {P(1, 1), P(0, 2)}, L, P(0, 1)},
        {{5, 3}, true, {P(1, 1), P(0, 2)}, D, P(1, 1)},
        // Without sections.
        {{10}, false, {P(0, 9)}, D, P(0, 9)},
        {{10}, false, {P(0, 5)}, D, P(0, 9)},
        {{10}, false, {P(0, 5)}, U, P(0, 1)},
        {{10}, false, {}, D, P(0, 0)},
    };
    for (const Case& c : cases) {
        load(c.counts, c.sections);
        grid->selectItemWithIndexSets(c.start);
        ASSERT_EQ(grid->selectedItemIndexSets(), c.start);
        QTest::keyClick(grid.get(), Qt::Key(c.key));
        EXPECT_EQ(grid->selectedItemIndexSets(), Pairs{c.expected})
            << "from " << (c.start.isEmpty() ? std::string("nothing") : c.start.first().description().toStdString())
            << " key " << c.key;
    }
}

TEST_F(Selection, ArrowKeysScrollTheNewItemIntoView)
{
    load({100}, false);
    grid->selectItemWithIndexSet(P(0, 0));
    for (int i = 0; i < 10; ++i)
        QTest::keyClick(grid.get(), Qt::Key_Down);
    EXPECT_EQ(grid->selectedItemIndexSets(), Pairs{P(0, 20)});
    EXPECT_TRUE(grid->visibleRect().contains(grid->itemRectWithIndexSet(P(0, 20))));
    EXPECT_NE(grid->itemViewWithIndexSet(P(0, 20)), nullptr);
    EXPECT_TRUE(grid->itemViewWithIndexSet(P(0, 20))->selected());
}

TEST_F(Selection, EditActionsGoToTheDelegate)
{
    struct Actions : FakeDelegate {
        int deletes = 0, imports = 0, exports = 0;
        std::optional<bool> validateMenuItem(QAction*) override { return true; }
        void deleteSelection(QObject*) override { ++deletes; }
        void importAction(IBCollectionView*) override { ++imports; }
        void exportAction(IBCollectionView*) override { ++exports; }
    } actions;
    QAction item(QStringLiteral("Delete"));
    EXPECT_FALSE(grid->validateMenuItem(&item));  // the plain delegate has no verdict
    grid->setDelegate(&actions);
    EXPECT_TRUE(grid->validateMenuItem(&item));
    grid->deleteSelection(&item);
    grid->importAction();
    grid->exportAction();
    EXPECT_EQ(actions.deletes + actions.imports + actions.exports, 3);
    grid->setDelegate(nullptr);
    EXPECT_FALSE(grid->validateMenuItem(&item));
    grid->setDelegate(&delegate);
}

}  // namespace
}  // namespace orv::test
