// Dragging out of the grid (count badge, the delegate's data, state reset)
// and drops onto the grid reaching the delegate with the pair under the pointer.

#include <gtest/gtest.h>

#include <QDragEnterEvent>
#include <QFontMetricsF>
#include <QMimeData>
#include <QUrl>
#include <cmath>

#include "GridFixture.h"
#include "MouseInput.h"
#include "app/toolkit/IBCollectionDragBadge.h"

namespace orv::test {
namespace {

using P = IBSectionIndexSet;
using Dragging = GridFixture;

bool isBadgeRed(QColor color)
{
    return std::abs(color.red() - 242) <= 2 && std::abs(color.green() - 33) <= 2 && std::abs(color.blue() - 36) <= 2 &&
           color.alpha() == 255;
}

TEST(IBCollectionDragBadge, RedCircleSizedToTheCount)
{
    for (qsizetype count : {3, 42, 12345}) {
        QFont font = QApplication::font();
        font.setBold(true);
        font.setPixelSize(12);
        const QFontMetricsF metrics(font);
        const QString text = QString::number(count);
        const int diameter = static_cast<int>(std::trunc(std::max(metrics.horizontalAdvance(text), metrics.height()) + 4));
        const QImage badge = dragCountBadge(count);
        ASSERT_EQ(badge.size(), QSize(diameter, diameter)) << count;
        EXPECT_TRUE(isBadgeRed(badge.pixelColor(diameter / 2, 1))) << count;  // above the text
        EXPECT_EQ(badge.pixelColor(0, 0).alpha(), 0);                          // outside the circle
        bool white = false;
        for (int x = 0; x < diameter; ++x)
            white = white || badge.pixelColor(x, diameter / 2 + 1).lightness() > 200;
        EXPECT_TRUE(white) << "the count is drawn";
    }
}

TEST_F(Dragging, DragOutCarriesTheDelegatesDataAndTheBadge)
{
    delegate.dragTypes = QStringList{QStringLiteral("application/x-orvane-test")};
    load({6}, false);
    grid->selectItemWithIndexSets({P(0, 1), P(0, 3)});
    QWidget* viewport = grid->viewport();
    const QPoint start = viewportPointOf(P(0, 1));
    press(viewport, start);
    EXPECT_EQ(grid->stateMode(), IBCollectionView::StateDragArmed);
    dragTo(viewport, start + QPoint(1, 1));  // under the drag distance: nothing yet
    EXPECT_TRUE(delegate.dragsOut.empty());
    dragTo(viewport, start + QPoint(30, 30));
    ASSERT_EQ(delegate.dragsOut.size(), 1u);
    EXPECT_EQ(delegate.dragsOut.front(), (QList<P>{P(0, 1), P(0, 3)}));
    EXPECT_EQ(grid->dragFormats, *delegate.dragTypes);
    EXPECT_EQ(grid->dragStateDuringDrag, IBCollectionView::StateDragArmed);
    // The badge sits 15 right and 20 below the pointer.
    const QImage pixmap = grid->dragPixmap.toImage();
    const QPoint badgeAt = grid->dragHotSpot + kDragBadgeOffset;
    const int diameter = dragCountBadge(2).width();
    ASSERT_GE(pixmap.width(), badgeAt.x() + diameter);
    EXPECT_TRUE(isBadgeRed(pixmap.pixelColor(badgeAt + QPoint(diameter / 2, 1))));
    // The drag ran to its end: the state is back to idle, nothing is held.
    EXPECT_EQ(grid->stateMode(), IBCollectionView::StateIdle);
    EXPECT_EQ(grid->draggingItemView(), nullptr);
    dragTo(viewport, start + QPoint(60, 60));
    EXPECT_EQ(delegate.dragsOut.size(), 1u);
    release(viewport, start + QPoint(60, 60));
    EXPECT_EQ(grid->selectedItemIndexSets(), (QList<P>{P(0, 1), P(0, 3)}));
}

TEST_F(Dragging, WithoutDragTypesAPressOnTheSelectionStartsABand)
{
    load({6}, false);
    grid->selectItemWithIndexSet(P(0, 0));
    const QPoint start = viewportPointOf(P(0, 0));
    press(grid->viewport(), start);
    EXPECT_EQ(grid->stateMode(), IBCollectionView::StateBand);
    dragTo(grid->viewport(), start + QPoint(120, 0));
    EXPECT_TRUE(delegate.dragsOut.empty());
    EXPECT_NE(grid->selectionRegionView(), nullptr);
    EXPECT_EQ(grid->selectedItemIndexSets(), (QList<P>{P(0, 0), P(0, 1)}));
    release(grid->viewport(), start + QPoint(120, 0));
}

TEST_F(Dragging, DropsOfLocalFilesReachTheDelegateWithThePairUnderThePointer)
{
    load({6}, false);
    grid->registerForDraggedTypes({QStringLiteral("text/uri-list")});
    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/a.jpg")), QUrl::fromLocalFile(QStringLiteral("/tmp/b.mp3"))});
    QWidget* viewport = grid->viewport();
    const QPoint overTile = viewportPointOf(P(0, 2));
    const QPoint overNothing(5, 5);

    QDragEnterEvent enter(overNothing, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    EXPECT_TRUE(enter.isAccepted());
    EXPECT_EQ(delegate.dragEnters, 1);
    for (QPoint at : {overNothing, overTile}) {
        QDragMoveEvent move(at, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        EXPECT_TRUE(move.isAccepted());
    }
    using Pair = std::optional<P>;
    EXPECT_EQ(delegate.dragMoves, (std::vector<Pair>{std::nullopt, P(0, 2)}));
    QDropEvent drop(QPointF(overTile), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    EXPECT_TRUE(drop.isAccepted());
    EXPECT_EQ(delegate.drops, (std::vector<Pair>{P(0, 2)}));

    // A refusing delegate: the move and the drop are not taken.
    QDragEnterEvent again(overNothing, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &again);
    delegate.moveAnswer = Qt::IgnoreAction;
    delegate.dropAnswer = false;
    QDragMoveEvent refused(overTile, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &refused);
    EXPECT_FALSE(refused.isAccepted());
    QDropEvent refusedDrop(QPointF(overNothing), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &refusedDrop);
    EXPECT_FALSE(refusedDrop.isAccepted());
    EXPECT_EQ(delegate.drops.back(), std::nullopt);
    QDragEnterEvent third(overNothing, Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &third);
    QDragLeaveEvent leave;
    QApplication::sendEvent(viewport, &leave);
    EXPECT_EQ(delegate.dragExits, 1);

    // Data of a kind the grid was not registered for is not taken at all.
    QMimeData text;
    text.setText(QStringLiteral("hello"));
    QDragEnterEvent other(overTile, Qt::CopyAction, &text, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &other);
    EXPECT_FALSE(other.isAccepted());
    EXPECT_EQ(delegate.dragEnters, 3);
}

TEST_F(Dragging, PromisedNamesComeFromTheDelegate)
{
    EXPECT_EQ(grid->namesOfPromisedFilesDroppedAtDestination(QUrl::fromLocalFile("/tmp")), std::nullopt);
    struct Naming : FakeDelegate {
        std::optional<QStringList> collectionViewNamesOfPromisedFilesDroppedAtDestination(IBCollectionView*,
                                                                                         const QUrl& url) override
        {
            return QStringList{url.toLocalFile() + QStringLiteral("/a.jpg")};
        }
    } naming;
    grid->setDelegate(&naming);
    EXPECT_EQ(grid->namesOfPromisedFilesDroppedAtDestination(QUrl::fromLocalFile("/tmp")),
              QStringList{QStringLiteral("/tmp/a.jpg")});
    grid->setDelegate(&delegate);
}

}  // namespace
}  // namespace orv::test
