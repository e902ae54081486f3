// Push buttons, the segmented switch, the pie progress, the list cells and
// the plain views: geometry, clicks and the pixels where the look is the behaviour.

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QStandardItemModel>
#include <QTest>
#include <QTreeView>

#include "app/toolkit/NSColor+LXExtension.h"
#include "app/toolkit/OVButton.h"
#include "app/toolkit/OVCenterIconTextFieldCell.h"
#include "app/toolkit/OVPieProgressBar.h"
#include "app/toolkit/OVPlainViews.h"
#include "app/toolkit/OVSegButton.h"
#include "app/toolkit/OVVCenterTextFieldCell.h"

namespace orv {
namespace {

// Counts repaints, to see which setters redraw.
template <typename Widget>
class Counting : public Widget {
public:
    using Widget::Widget;
    int paints = 0;

protected:
    void paintEvent(QPaintEvent* event) override
    {
        ++paints;
        Widget::paintEvent(event);
    }
};

bool isPieBlue(const QColor& c) { return c.blue() > 200 && c.red() < 150 && c.green() > 120; }

TEST(PieProgress, FillsClockwiseFromTwelve)
{
    OVPieProgressBar pie;
    pie.resize(60, 60);
    pie.setDoubleValue(50);  // max 0: stored as 0, ring only
    EXPECT_EQ(pie.doubleValue(), 0);
    pie.setMaxValue(100);
    pie.setDoubleValue(25);
    QImage image = pie.grab().toImage();
    EXPECT_TRUE(isPieBlue(image.pixelColor(38, 20)));   // half past one
    EXPECT_FALSE(isPieBlue(image.pixelColor(38, 40)));  // half past four
    EXPECT_FALSE(isPieBlue(image.pixelColor(20, 20)));  // half past ten

    pie.setDoubleValue(500);
    EXPECT_EQ(pie.doubleValue(), 100);
    image = pie.grab().toImage();
    EXPECT_TRUE(isPieBlue(image.pixelColor(20, 40)));

    // A lower maximum later: the stored value is above it and the pie is full, not empty.
    pie.setMaxValue(50);
    EXPECT_EQ(pie.fraction(), 1.0);
    EXPECT_TRUE(isPieBlue(pie.grab().toImage().pixelColor(20, 40)));

    pie.setDoubleValue(-5);
    EXPECT_EQ(pie.doubleValue(), -5);
    EXPECT_FALSE(isPieBlue(pie.grab().toImage().pixelColor(38, 20)));
}

TEST(PieProgress, EqualValuesDoNotRedraw)
{
    Counting<OVPieProgressBar> pie;
    pie.resize(30, 30);
    pie.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&pie));
    pie.setMaxValue(100);
    QCoreApplication::processEvents();
    const int before = pie.paints;
    pie.setMaxValue(100);
    pie.setDoubleValue(0);
    QCoreApplication::processEvents();
    EXPECT_EQ(pie.paints, before);
}

TEST(SegButton, SegmentsShareTheInnerWidthByNaturalWidth)
{
    OVSegButton seg;
    seg.resize(200, 30);
    seg.setSegmentCount(2);
    EXPECT_EQ(seg.rectForSegment(0), QRect(2, 2, 98, 26));
    EXPECT_EQ(seg.rectForSegment(1), QRect(100, 2, 98, 26));
    seg.setSegmentCount(3);
    EXPECT_EQ(seg.rectForSegment(0), QRect(2, 2, 65, 26));
    EXPECT_EQ(seg.rectForSegment(1), QRect(67, 2, 65, 26));
    EXPECT_EQ(seg.rectForSegment(2), QRect(132, 2, 65, 26));
    EXPECT_EQ(seg.rectForSegment(-1), QRect());
    EXPECT_EQ(seg.rectForSegment(3), QRect());
    seg.setLabel("Wide label", 0);
    EXPECT_GT(seg.rectForSegment(0).width(), seg.rectForSegment(1).width());
}

TEST(SegButton, ReleaseSelectsTheSegmentUnderThePointer)
{
    OVSegButton seg;
    seg.resize(200, 30);
    seg.setSegmentCount(2);
    QSignalSpy activated(&seg, &OVSegButton::activated);

    QTest::mousePress(&seg, Qt::LeftButton, {}, QPoint(50, 15));
    EXPECT_EQ(seg.mouseDownOnSegment(), 0);
    QTest::mouseRelease(&seg, Qt::LeftButton, {}, QPoint(150, 15));
    EXPECT_EQ(seg.selectedSegment(), 1);
    ASSERT_EQ(activated.count(), 1);
    EXPECT_EQ(activated.takeFirst().at(0).toInt(), 1);
    EXPECT_EQ(seg.mouseDownOnSegment(), -1);

    // Released outside: nothing selected or sent, the pressed look cleared.
    QTest::mousePress(&seg, Qt::LeftButton, {}, QPoint(50, 15));
    QTest::mouseRelease(&seg, Qt::LeftButton, {}, QPoint(250, 15));
    EXPECT_EQ(seg.selectedSegment(), 1);
    EXPECT_EQ(activated.count(), 0);
    EXPECT_EQ(seg.mouseDownOnSegment(), -1);

    // The selected segment again: sent again.
    QTest::mouseClick(&seg, Qt::LeftButton, {}, QPoint(150, 15));
    EXPECT_EQ(activated.count(), 1);

    // A double click sends once.
    activated.clear();
    QTest::mousePress(&seg, Qt::LeftButton, {}, QPoint(50, 15));
    QTest::mouseRelease(&seg, Qt::LeftButton, {}, QPoint(50, 15));
    QTest::mouseDClick(&seg, Qt::LeftButton, {}, QPoint(50, 15));
    QTest::mouseRelease(&seg, Qt::LeftButton, {}, QPoint(50, 15));
    EXPECT_EQ(activated.count(), 1);

    // Disabled: clicks change nothing.
    seg.setEnabled(false);
    QTest::mouseClick(&seg, Qt::LeftButton, {}, QPoint(150, 15));
    EXPECT_EQ(seg.selectedSegment(), 0);
    EXPECT_EQ(activated.count(), 1);
}

TEST(SegButton, TheSelectedSegmentIsDrawnDarker)
{
    OVSegButton seg;
    seg.resize(200, 30);
    seg.setSegmentCount(2);
    seg.setSelectedSegment(1);
    const QImage image = seg.grab().toImage();
    const QColor fill = darkenBy(colorWithHex("c4c4c4"), -0.1);
    EXPECT_LE(std::abs(image.pixelColor(150, 15).red() - fill.red()), 2);
    EXPECT_GT(image.pixelColor(50, 15).red(), 240);  // the other segment keeps the light gradient
}

TEST(PushButton, BlueWinsAndEqualRadiiDoNotRedraw)
{
    Counting<OVButton> button;
    button.setText("Allow");
    button.resize(100, 30);
    button.setBlue(true);
    button.setRed(true);
    EXPECT_EQ(button.look(), OVButton::Blue);
    const QImage blue = button.grab().toImage();
    const QColor middle = blue.pixelColor(10, 15);
    EXPECT_GT(middle.blue(), middle.red() + 60);
    button.setBlue(false);
    EXPECT_EQ(button.look(), OVButton::Red);
    EXPECT_GT(button.grab().toImage().pixelColor(10, 15).red(), 150);

    button.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&button));
    QCoreApplication::processEvents();
    const int before = button.paints;
    button.setCornerRadius(4.6);
    QCoreApplication::processEvents();
    EXPECT_EQ(button.paints, before);
    button.setCornerRadius(5.4);
    QCoreApplication::processEvents();
    EXPECT_GT(button.paints, before);
}

TEST(PushButton, DisabledImagesAndTitlesFade)
{
    OVButton button("Delete");
    button.setEnabled(false);
    EXPECT_DOUBLE_EQ(button.imageFraction(), 0.4);
    EXPECT_EQ(button.titleColor(), darkenBy(colorWithHex("5b5c62"), -0.4));
    button.setEnabled(true);
    button.setRed(true);
    EXPECT_DOUBLE_EQ(button.imageFraction(), 1.0);
    EXPECT_EQ(button.titleColor(), QColor(Qt::white));
}

TEST(Cells, IconAndTextRectangles)
{
    EXPECT_EQ(OVCenterIconTextFieldCell::iconSizeFor(QSizeF(32, 16)), QSizeF(32, 16));
    EXPECT_EQ(OVCenterIconTextFieldCell::iconSizeFor(QSizeF(32, 32)), QSizeF(16, 16));
    const QRectF frame(0, 0, 200, 40);
    EXPECT_EQ(OVCenterIconTextFieldCell::textRect(frame, false), QRectF(29, 10, 181, 26));
    EXPECT_EQ(OVCenterIconTextFieldCell::textRect(frame, true), QRectF(51, 10, 159, 26));
    EXPECT_EQ(OVCenterIconTextFieldCell::iconRect(frame, QSizeF(32, 16)).x(), 18);
    EXPECT_EQ(OVCenterIconTextFieldCell::iconRect(frame, QSizeF(16, 16)), QRectF(19, 12, 16, 16));
    EXPECT_DOUBLE_EQ(OVCenterIconTextFieldCell().alphaValue(), 1.0);  // icons show unless told otherwise
    EXPECT_EQ(OVVCenterTextFieldCell::titleRectForBounds(frame, 20), QRectF(15, 10, 170, 20));
}

TEST(Cells, OnlyTheFirstColumnOfAnOutlineIsIndented)
{
    QTreeView outline;
    outline.setProperty("disclosureXOffset", 10.0f);
    QWidget plain;
    EXPECT_EQ(OVVCenterTextFieldCell::disclosureOffset(&outline, 0), 10);
    EXPECT_EQ(OVVCenterTextFieldCell::disclosureOffset(&outline, 1), 0);
    EXPECT_EQ(OVVCenterTextFieldCell::disclosureOffset(&plain, 0), 0);
    EXPECT_EQ(OVVCenterTextFieldCell::disclosureOffset(nullptr, 0), 0);

    // Drawn: a selected row's text is white.
    QStandardItemModel model(1, 1);
    model.setItem(0, 0, new QStandardItem(QString(20, QLatin1Char('M'))));
    outline.setModel(&model);
    outline.setItemDelegate(new OVVCenterTextFieldCell(&outline));
    outline.resize(300, 100);
    outline.selectionModel()->select(model.index(0, 0), QItemSelectionModel::Select);
    const QImage image = outline.viewport()->grab().toImage();
    bool white = false;
    for (int x = 30; x < 200 && !white; ++x)
        for (int y = 0; y < 20 && !white; ++y)
            white = image.pixelColor(x, y) == QColor(Qt::white);
    EXPECT_TRUE(white);
}

TEST(PlainViews, FillWithTheirColour)
{
    OVLineView line;
    line.resize(10, 1);
    EXPECT_EQ(line.grab().toImage().pixel(5, 0), darkenBy(colorWithHex("e0dcdc"), 0.1).rgb());
    OVRightBaseView base;
    base.resize(10, 10);
    EXPECT_EQ(base.grab().toImage().pixelColor(5, 5), QColor(Qt::white));
}

}  // namespace
}  // namespace orv
