// Rounded rectangles and the inside stroke.

#include <gtest/gtest.h>

#include <QPainter>

#include "app/toolkit/NSBezierPath+LXExtension.h"

namespace orv {
namespace {

TEST(RoundedPaths, RadiusIsCutToHalfTheShorterSide)
{
    const auto capsule = bezierPathWithRoundedRect(QRectF(0, 0, 40, 20), 50);
    ASSERT_TRUE(capsule);
    EXPECT_EQ(capsule->boundingRect(), QRectF(0, 0, 40, 20));
    EXPECT_TRUE(capsule->contains(QPointF(10, 10)));
    EXPECT_TRUE(capsule->contains(QPointF(1, 10)));   // the left end is a half circle
    EXPECT_FALSE(capsule->contains(QPointF(2, 2)));
    EXPECT_FALSE(capsule->contains(QPointF(38, 18)));

    QPainterPath plain;
    plain.addRect(QRectF(0, 0, 40, 20));
    EXPECT_EQ(*bezierPathWithRoundedRect(QRectF(0, 0, 40, 20), 0), plain);
    EXPECT_EQ(*bezierPathWithTopRoundedRect(QRectF(0, 0, 40, 20), -1), plain);
}

TEST(RoundedPaths, EmptyRectanglesGiveNothing)
{
    EXPECT_FALSE(bezierPathWithRoundedRect(QRectF(0, 0, 0, 20), 4));
    EXPECT_FALSE(bezierPathWithLeftRoundedRect(QRectF(0, 0, 10, -1), 4));
    QPainterPath path;
    appendBezierPathWithRightRoundedRect(path, QRectF(5, 5, 0, 0), 4);
    EXPECT_TRUE(path.isEmpty());
}

TEST(RoundedPaths, EachShapeRoundsOnlyItsCorners)
{
    const QRectF r(0, 0, 40, 40);
    const QPointF topLeft(1, 1), topRight(39, 1), bottomRight(39, 39), bottomLeft(1, 39);
    const struct {
        const char* name;
        std::optional<QPainterPath> path;
        bool tl, tr, br, bl;  // rounded?
    } cases[] = {
        {"all", bezierPathWithRoundedRect(r, 10), true, true, true, true},
        {"top", bezierPathWithTopRoundedRect(r, 10), true, true, false, false},
        {"bottom", bezierPathWithBottomRoundedRect(r, 10), false, false, true, true},
        {"left", bezierPathWithLeftRoundedRect(r, 10), true, false, false, true},
        {"right", bezierPathWithRightRoundedRect(r, 10), false, true, true, false},
        {"right bottom", bezierPathWithRightBottomRoundedRect(r, 10), false, false, true, false},
        {"left bottom, right top", bezierPathWithLeftBottomAndRightTopRoundedRect(r, 10), false, true, false, true},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(c.path) << c.name;
        EXPECT_EQ(c.path->contains(topLeft), !c.tl) << c.name;
        EXPECT_EQ(c.path->contains(topRight), !c.tr) << c.name;
        EXPECT_EQ(c.path->contains(bottomRight), !c.br) << c.name;
        EXPECT_EQ(c.path->contains(bottomLeft), !c.bl) << c.name;
    }
}

TEST(InsideStroke, TheWholeLineFallsInsideAndThePenIsKept)
{
    QImage canvas(14, 14, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::white);
    QPainter painter(&canvas);
    painter.setPen(QPen(Qt::black, 1));
    strokeInside(painter, *bezierPathWithRoundedRect(QRectF(2, 2, 10, 10), 0));
    EXPECT_EQ(painter.pen().widthF(), 1.0);
    painter.end();
    for (int i = 2; i < 12; ++i) {
        EXPECT_EQ(canvas.pixelColor(i, 2), QColor(Qt::black)) << i;   // top row of the frame
        EXPECT_EQ(canvas.pixelColor(11, i), QColor(Qt::black)) << i;  // right column
        EXPECT_EQ(canvas.pixelColor(i, 1), QColor(Qt::white)) << i;   // nothing spills out
        EXPECT_EQ(canvas.pixelColor(12, i), QColor(Qt::white)) << i;
    }
    EXPECT_EQ(canvas.pixelColor(6, 6), QColor(Qt::white));
}

}  // namespace
}  // namespace orv
