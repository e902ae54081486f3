// Tiles and sections: the tile's hooks and repaint rule, the section's
// default header, its tile list and the pinned-header arithmetic.

#include <gtest/gtest.h>

#include <QImage>
#include <QPainter>

#include "QtWait.h"
#include "app/toolkit/IBCollectionItemView.h"
#include "app/toolkit/IBCollectionSectionHeaderView.h"
#include "app/toolkit/IBCollectionSectionView.h"

namespace orv {
namespace {

class CountingTile : public IBCollectionItemView {
public:
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        ++paints;
        IBCollectionItemView::paintEvent(event);
    }
};

TEST(IBCollectionItemView, RepaintsOnlyWhenTheSelectionChanges)
{
    CountingTile tile;
    tile.resize(40, 40);
    tile.show();
    ASSERT_TRUE(test::qtWaitUntil([&] { return tile.paints > 0; }));
    const int settled = tile.paints;
    tile.setSelected(false);
    QCoreApplication::processEvents();
    EXPECT_EQ(tile.paints, settled);
    tile.setSelected(true);
    EXPECT_TRUE(test::qtWaitUntil([&] { return tile.paints > settled; }));
    EXPECT_EQ(tile.grab().toImage().pixelColor(20, 20), QColor(Qt::yellow));
    tile.setSelected(false);
    EXPECT_TRUE(test::qtWaitUntil([&] { return tile.paints > settled + 1; }));
    EXPECT_EQ(tile.grab().toImage().pixelColor(20, 20), QColor(Qt::blue));
}

TEST(IBCollectionItemView, HooksAnswerForPointsAndBands)
{
    IBCollectionItemView tile;
    tile.resize(100, 100);
    struct Case {
        QRectF band;
        bool caught;
    };
    for (Case c : {Case{{10, 10, 5, 5}, true}, {{-50, -50, 60, 60}, true}, {{100, 0, 10, 10}, false},
                   {{-10, 0, 10, 10}, false}, {{0, 100, 100, 5}, false}, {{-5, -5, 200, 200}, true},
                   {{50, 50, 0, 0}, false}})
        EXPECT_EQ(tile.accpetSelectWithRect(c.band), c.caught) << c.band.x() << "," << c.band.y();
    EXPECT_TRUE(tile.accpetSelectWithPoint(QPointF(0, 0)));
    EXPECT_TRUE(tile.accpetSelectWithPoint(QPointF(99.5, 50)));
    EXPECT_FALSE(tile.accpetSelectWithPoint(QPointF(101, 50)));
    EXPECT_FALSE(tile.accpetSelectWithPoint(QPointF(-1, 50)));
    EXPECT_TRUE(tile.clickTest(QPointF(500, 500)));
    EXPECT_TRUE(tile.accpetMouseEventWithEvent(nullptr));
    EXPECT_FALSE(tile.trackMouseEvent(nullptr));
}

TEST(IBCollectionSectionView, GetsADefaultHeaderOnlyWhenItWantsOne)
{
    QWidget content;
    IBCollectionSectionView withHeader;
    EXPECT_EQ(withHeader.headerView(), nullptr);  // nothing before it has a parent
    withHeader.setParent(&content);
    ASSERT_NE(qobject_cast<IBCollectionSectionHeaderView*>(withHeader.headerView()), nullptr);
    EXPECT_EQ(withHeader.headerView()->parentWidget(), &withHeader);
    EXPECT_EQ(withHeader.bottomView(), nullptr);

    IBCollectionSectionView without;
    without.setHasHeader(false);
    without.setParent(&content);
    EXPECT_EQ(without.headerView(), nullptr);

    // Strips set by the owner are adopted; the tile list leaves them out.
    auto* header = new QWidget;
    auto* bottom = new QWidget;
    IBCollectionSectionView own;
    own.setHeaderView(header);
    own.setHasBottom(true);
    own.setBottomView(bottom);
    auto* tile = new IBCollectionItemView(&own);
    own.setParent(&content);
    EXPECT_EQ(own.headerView(), header);
    EXPECT_EQ(header->parentWidget(), &own);
    EXPECT_EQ(bottom->parentWidget(), &own);
    EXPECT_EQ(own.tiles(), QList<IBCollectionItemView*>{tile});

    // The default header is black.
    IBCollectionSectionHeaderView strip;
    strip.resize(10, 10);
    EXPECT_EQ(strip.grab().toImage().pixelColor(5, 5), QColor(Qt::black));
}

TEST(IBCollectionSectionView, HeaderSticksToTheTopUntilTheSectionEnds)
{
    QWidget content;
    IBCollectionSectionView section(&content);
    section.setGeometry(0, 1000, 300, 600);
    section.headerView()->resize(300, 20);
    struct Case {
        double visibleY;
        int headerY;
        bool withBottom;
    };
    const Case cases[] = {
        {900, 0, false},  {1000, 0, false},  {1050, 50, false},  {1500, 500, false},
        {1580, 580, false}, {1590, 580, false}, {1590, 560, true}, {1050, 50, true},
    };
    auto* bottom = new QWidget;
    bottom->resize(300, 20);
    section.setBottomView(bottom);
    section.viewDidMoveToSuperview();
    for (const Case& c : cases) {
        section.setHasBottom(c.withBottom);
        section.trackHeaderViewWithVisibleRect(QRectF(0, c.visibleY, 300, 400));
        EXPECT_EQ(section.headerView()->pos(), QPoint(0, c.headerY)) << c.visibleY << " bottom " << c.withBottom;
    }
}

}  // namespace
}  // namespace orv
