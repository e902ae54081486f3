// The navigation bar's face, lines and path area, read back from its pixels.

#include <gtest/gtest.h>

#include <QImage>

#include "app/shell/OVLeftShadowView.h"
#include "app/shell/OVNavbarView.h"

namespace orv {
namespace {

int greyAt(QWidget& view, int y)
{
    QImage image(view.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    view.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    const QRgb pixel = image.pixel(view.width() / 2, y);
    return qAlpha(pixel) == 0 ? -1 : qGray(pixel);
}

TEST(NavbarView, FaceAndLinesWithAndWithoutThePathArea)
{
    OVNavbarView bar;
    bar.resize(600, 47);
    const int h = 47;
    // Qt rows, counted from the top: the line 5 above the bottom is row h - 6.
    struct Row {
        int y;
        int plain;
        int withPath;
    };
    const Row rows[] = {
        {0, 250, 250},       // face
        {h - 37, 250, 250},  // face above the path area's line
        {h - 36, 250, 229},  // line topping the path area
        {h - 20, 250, 252},  // path area
        {h - 7, 250, 252},
        {h - 6, 229, 229},  // bottom line of the face
        {h - 3, -1, -1},    // bottom 6 points unpainted
    };
    for (const Row& row : rows)
        EXPECT_EQ(greyAt(bar, row.y), row.plain) << "row " << row.y;
    bar.setHasPathView(true);
    EXPECT_TRUE(bar.hasPathView());
    EXPECT_EQ(bar.pathviewRect(), QRectF(0, h - 35, 600, 29));
    for (const Row& row : rows)
        EXPECT_EQ(greyAt(bar, row.y), row.withPath) << "row " << row.y;
}

TEST(LeftShadowView, DrawsNothingInAnInactiveWindow)
{
    OVLeftShadowView shadow;
    shadow.resize(20, 100);
    QImage image(shadow.size(), QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    shadow.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    for (int x = 0; x < image.width(); ++x)
        EXPECT_EQ(qAlpha(image.pixel(x, 50)), 0) << x;
}

}  // namespace
}  // namespace orv
