// Push buttons, the segmented switch, the pie progress, the list cells, the
// slider knob and the plain views: geometry, clicks and the pixels where the
// look is the behaviour.

#include <gtest/gtest.h>

#include <QPainter>
#include <QSignalSpy>
#include <QSlider>
#include <QStandardItemModel>
#include <QStyleOptionSlider>
#include <QTest>
#include <QTreeView>

#include "app/toolkit/NSColor+LXExtension.h"
#include "app/toolkit/OVButton.h"
#include "MouseInput.h"
#include "app/toolkit/OVCenterIconTextFieldCell.h"
#include "app/toolkit/OVIconTextFieldCell.h"
#include "app/toolkit/OVPieProgressBar.h"
#include "app/toolkit/OVPlainViews.h"
#include "app/toolkit/OVSegButton.h"
#include "app/toolkit/OVSliderCell.h"
#include "app/toolkit/OVTextCenterCell.h"
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

TEST(Cells, TextRectanglesAreCentredTheirOwnWay)
{
    struct Case {
        QRectF frame;
        qreal textHeight;
        QRectF textCenter;  // six above the rounded-up centre, as high as the text
        QRectF iconText;    // past the icon's 19-wide column, centred
    };
    const Case cases[] = {
        {QRectF(0, 0, 200, 40), 15, QRectF(0, 7, 200, 15), QRectF(19, 13, 181, 15)},
        {QRectF(0, 0.5, 200, 40), 15, QRectF(0, 7, 200, 15), QRectF(19, 13, 181, 15)},
        {QRectF(10, 3, 100, 20), 15, QRectF(10, 0, 100, 15), QRectF(29, 6, 81, 15)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(OVTextCenterCell::titleRectForBounds(c.frame, c.textHeight), c.textCenter) << c.frame.y();
        EXPECT_EQ(OVIconTextFieldCell::titleRectForBounds(c.frame, c.textHeight), c.iconText) << c.frame.y();
    }
    // The icon keeps its aspect in its column, centred, however tall the row.
    EXPECT_EQ(OVIconTextFieldCell::iconRect(QRectF(0, 0, 200, 40), QSizeF(16, 16)), QRectF(2, 12.5, 15, 15));
    EXPECT_EQ(OVIconTextFieldCell::iconRect(QRectF(0, 0, 200, 40), QSizeF(32, 16)), QRectF(2, 16.25, 15, 7.5));
    EXPECT_EQ(OVIconTextFieldCell::iconRect(QRectF(0, 0, 200, 20), QSizeF(16, 16)), QRectF(2, 2.5, 15, 15));
    EXPECT_TRUE(OVIconTextFieldCell::iconRect(QRectF(0, 0, 200, 4), QSizeF(16, 16)).isEmpty());
}

// Paints one cell of `model`'s first item into a white image of `size`.
QImage paintCell(QStyledItemDelegate& cell, QStandardItemModel& model, QSize size)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QStyleOptionViewItem option;
    option.rect = QRect(QPoint(0, 0), size);
    option.font = QApplication::font();
    option.palette = QApplication::palette();
    option.state = QStyle::State_Enabled;
    cell.paint(&painter, option, model.index(0, 0));
    return image;
}

TEST(Cells, TheIconCellDrawsItsTextBesideTheIconNotUnderIt)
{
    QPixmap red(16, 16);
    red.fill(Qt::red);
    QStandardItemModel model(1, 1);
    model.setItem(0, 0, new QStandardItem(QIcon(red), "MMMMMMMMMM"));
    OVIconTextFieldCell cell;
    EXPECT_DOUBLE_EQ(cell.alphaValue(), 1.0);  // icons show unless told otherwise

    const QImage image = paintCell(cell, model, QSize(240, 40));
    QRect icon, text;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 80 && c.blue() < 80)
                icon |= QRect(x, y, 1, 1);
            else if (c.lightness() < 128)
                text |= QRect(x, y, 1, 1);
        }
    ASSERT_FALSE(icon.isEmpty());
    ASSERT_FALSE(text.isEmpty());
    EXPECT_GE(icon.left(), 2);
    EXPECT_LE(icon.right(), 17);
    EXPECT_LE(icon.height(), 16);  // not stretched to the row's height
    EXPECT_NEAR(icon.center().y(), 20, 1);
    EXPECT_GE(text.left(), 19);  // no letter under the icon
    EXPECT_NEAR(text.center().y(), 20, 4);

    cell.setAlphaValue(0);
    const QImage hidden = paintCell(cell, model, QSize(240, 40));
    for (int x = 0; x < 19; ++x)
        for (int y = 0; y < 40; ++y)
            ASSERT_EQ(hidden.pixelColor(x, y), QColor(Qt::white)) << x << "," << y;
}

class KnobSlider : public QSlider {
public:
    KnobSlider() : QSlider(Qt::Horizontal) { setStyle(new OVSliderCell(this)); }
    QRect knob() const
    {
        QStyleOptionSlider option;
        initStyleOption(&option);
        return style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
    }
};

TEST(Slider, TheKnobsDotIsGreyAndBlackWhilePressed)
{
    KnobSlider slider;
    slider.resize(200, 30);
    slider.setValue(50);
    const QRect knob = slider.knob();
    EXPECT_EQ(knob.width(), 21);
    auto dot = [&] { return slider.grab().toImage().pixelColor(knob.center()); };
    const QColor grey = dot();
    EXPECT_NEAR(grey.red(), 114, 2);
    EXPECT_EQ(grey.red(), grey.blue());

    test::press(&slider, knob.center());
    ASSERT_TRUE(slider.isSliderDown());
    EXPECT_EQ(dot(), QColor(Qt::black));
    test::release(&slider, knob.center());
    EXPECT_NEAR(dot().red(), 114, 2);
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
