// Section geometry: columns, item rectangles and section heights at several
// widths, and the index pair's value semantics.

#include <gtest/gtest.h>

#include <QHash>
#include <cmath>
#include <limits>
#include <unordered_set>

#include "app/toolkit/IBSectionIndexSet.h"
#include "app/toolkit/IBSectionViewLayoutManager.h"

namespace orv {
namespace {

struct RectCase {
    double width;
    int64_t index;
    int64_t columns;
    QRectF rect;
};

TEST(IBSectionViewLayoutManager, ColumnsAndItemRectsWithDefaults)
{
    const RectCase cases[] = {
        {340, 0, 2, QRectF(20, 30, 100, 100)},
        {340, 1, 2, QRectF(130, 30, 100, 100)},
        {340, 2, 2, QRectF(20, 140, 100, 100)},
        {340, 5, 2, QRectF(130, 250, 100, 100)},
        {239, 1, 1, QRectF(20, 140, 100, 100)},  // 219 / 110 = 1.99 -> 1
        {240, 1, 2, QRectF(130, 30, 100, 100)},  // exactly 2
        {100, 3, 1, QRectF(20, 360, 100, 100)},
        {0, 0, 1, QRectF(20, 30, 100, 100)},
        {-500, 1, 1, QRectF(20, 140, 100, 100)},
        {1000, 8, 8, QRectF(20, 140, 100, 100)},  // 980/110 = 8.9 -> 8
        {1000, 7, 8, QRectF(790, 30, 100, 100)},
    };
    for (const auto& c : cases) {
        IBSectionViewLayoutManager layout;
        layout.setItemCount(100);
        layout.contentHeightWithLayoutWidht(c.width);
        SCOPED_TRACE(testing::Message() << "width " << c.width << " index " << c.index);
        EXPECT_EQ(layout.countOfColumn(), c.columns);
        EXPECT_EQ(layout.itemRectOfIndex(c.index), c.rect);
        EXPECT_EQ(layout.itemRectOfIndexForWidth(c.index, c.width), c.rect);
        EXPECT_EQ(layout.columnOfIndex(c.index), c.index % c.columns);
    }
}

TEST(IBSectionViewLayoutManager, SectionHeightCountsAtLeastOneRow)
{
    struct Case {
        double width;
        int64_t items;
        double height;
    };
    // bottom 20 + header 20 + margins 10 + 10 + (rows-1)*10 + rows*100
    const Case cases[] = {
        {340, 0, 160}, {340, 1, 160}, {340, 2, 160}, {340, 3, 270},
        {340, 4, 270}, {340, 5, 380}, {100, 3, 380}, {1000, 17, 380},
    };
    for (const auto& c : cases) {
        IBSectionViewLayoutManager layout;
        layout.setItemCount(c.items);
        SCOPED_TRACE(testing::Message() << "width " << c.width << " items " << c.items);
        EXPECT_DOUBLE_EQ(layout.contentHeightWithLayoutWidht(c.width), c.height);
        EXPECT_DOUBLE_EQ(layout.contentHeightForWidth(c.width, c.items), c.height);
    }
}

TEST(IBSectionViewLayoutManager, MarginsSpacingAndFractionalSizes)
{
    IBSectionViewLayoutManager layout;
    layout.setItemViewMarginMaxY(0);
    layout.setItemViewMarginMinY(10);
    layout.setItemSize(QSizeF(50.5, 40.25));
    layout.setItemViewWSpacing(3.3);
    layout.setItemViewHSpacing(2.5);
    layout.setItemCount(7);
    const double height = layout.contentHeightWithLayoutWidht(200);
    // (200 - 20) / 53.8 = 3.3 -> 3 columns, 3 rows.
    ASSERT_EQ(layout.countOfColumn(), 3);
    // Row 0 starts right under the header; rects are floored, sizes are not.
    EXPECT_EQ(layout.itemRectOfIndex(0), QRectF(std::floor(13.3), 20, 50.5, 40.25));
    EXPECT_EQ(layout.itemRectOfIndex(4), QRectF(std::floor(2 * 3.3 + 50.5 + 10), std::floor(2.5 + 40.25 + 20), 50.5, 40.25));
    // The section still ends MinY below the last row, above the bottom strip.
    const QRectF last = layout.itemRectOfIndex(6);
    EXPECT_DOUBLE_EQ(height, 20 + 20 + 10 + 0 + 2 * 2.5 + 3 * 40.25);
    EXPECT_NEAR(last.bottom(), height - 20 - 10, 1.0);
}

TEST(IBSectionViewLayoutManager, DegenerateSpacingGivesOneColumn)
{
    struct Case {
        double spacing;
        double itemWidth;
        double width;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const Case cases[] = {
        {0, 0, 340}, {-10, 10, 340}, {-20, 5, 340}, {10, 100, nan}, {10, 100, inf}, {10, 100, -inf}, {nan, 100, 340},
    };
    for (const auto& c : cases) {
        IBSectionViewLayoutManager layout;
        layout.setItemViewWSpacing(c.spacing);
        layout.setItemSize(QSizeF(c.itemWidth, 100));
        layout.setItemCount(3);
        SCOPED_TRACE(testing::Message() << c.spacing << " + " << c.itemWidth << " at " << c.width);
        layout.contentHeightWithLayoutWidht(c.width);
        const int64_t columns = layout.countOfColumn();
        EXPECT_GE(columns, 1);
        if (!(c.spacing + c.itemWidth > 0)) {
            EXPECT_EQ(columns, 1);
        }
        EXPECT_GE(layout.rowCountForWidth(c.width, 3), 1);
        (void)layout.itemRectOfIndex(2);
    }
}

TEST(IBSectionViewLayoutManager, OneManagerServesSectionsInTurn)
{
    // The stateful API answers for the section most recently prepared.
    IBSectionViewLayoutManager layout;
    layout.setItemCount(3);
    EXPECT_DOUBLE_EQ(layout.contentHeightWithLayoutWidht(340), 270);
    layout.setItemCount(1);
    EXPECT_DOUBLE_EQ(layout.contentHeightWithLayoutWidht(1000), 160);
    EXPECT_EQ(layout.countOfColumn(), 8);
    EXPECT_EQ(layout.itemIndexWithPoint(QPointF(500, 500)), 0);
}

TEST(IBSectionIndexSet, NotFoundIsStoredAsZeroPerField)
{
    const auto nf = IBSectionIndexSet::kNotFound;
    EXPECT_EQ(IBSectionIndexSet(nf, 5), IBSectionIndexSet(0, 5));
    EXPECT_EQ(IBSectionIndexSet(3, nf), IBSectionIndexSet(3, 0));
    EXPECT_EQ(IBSectionIndexSet::sectionIndexSetWithSectionIndex(nf, nf), IBSectionIndexSet(0, 0));
    IBSectionIndexSet pair(1, 2);
    pair.setItemIndex(nf);  // the setter stores as given
    EXPECT_EQ(pair.itemIndex(), nf);
}

TEST(IBSectionIndexSet, EqualityHashAndKeys)
{
    EXPECT_EQ(IBSectionIndexSet(1, 2), IBSectionIndexSet(1, 2));
    EXPECT_EQ(IBSectionIndexSet(1, 2).hash(), IBSectionIndexSet(1, 2).hash());
    // Colliding hashes still tell the pairs apart.
    EXPECT_EQ(IBSectionIndexSet(0, 4).hash(), 64u);
    EXPECT_EQ(IBSectionIndexSet(1, 0).hash(), 64u);
    EXPECT_NE(IBSectionIndexSet(0, 4), IBSectionIndexSet(1, 0));
    QHash<IBSectionIndexSet, int> table;
    table.insert(IBSectionIndexSet(0, 4), 1);
    table.insert(IBSectionIndexSet(1, 0), 2);
    EXPECT_EQ(table.size(), 2);
    EXPECT_EQ(table.value(IBSectionIndexSet(1, 0)), 2);
    std::unordered_set<IBSectionIndexSet> set{{0, 4}, {1, 0}, {0, 4}};
    EXPECT_EQ(set.size(), 2u);
    // A copy is independent of its original.
    IBSectionIndexSet original(5, 6);
    IBSectionIndexSet copy = original;
    copy.setSectionIndex(9);
    EXPECT_EQ(original.sectionIndex(), 5);
    EXPECT_TRUE(IBSectionIndexSet(7, 8).description().startsWith("SectionIndexSet: 7, 8 0x"));
}

}  // namespace
}  // namespace orv
