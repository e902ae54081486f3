// Square crops, fitting, rotation, file-type icons and stencil drawing on
// small generated pictures.

#include <gtest/gtest.h>

#include <QPainter>
#include <QStringList>

#include "app/toolkit/ApplicationImages.h"
#include "app/toolkit/NSImage+Drawing.h"
#include "app/toolkit/NSImage+FinderImage.h"
#include "app/toolkit/NSImage+Resize.h"
#include "app/toolkit/NSImage+Transform.h"

namespace orv {
namespace {

// Each pixel tells where it came from: x in red and the low half of green,
// y in blue and the high half of green.
QImage coordinates(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, qRgb(x & 0xff, (x >> 8) | ((y >> 8) << 4), y & 0xff));
    return image;
}

QPoint sourceOf(const QImage& image, int x, int y)
{
    const QRgb p = image.pixel(x, y);
    return QPoint(qRed(p) | ((qGreen(p) & 0xf) << 8), qBlue(p) | ((qGreen(p) >> 4) << 8));
}

TEST(SquareCrops, KeepTheMiddleOrTheRegionOfInterest)
{
    const QImage wide = coordinates(300, 200);
    const QImage square = squareImage(wide);
    ASSERT_EQ(square.size(), QSize(200, 200));
    EXPECT_EQ(sourceOf(square, 0, 0), QPoint(50, 0));
    EXPECT_EQ(sourceOf(square, 199, 199), QPoint(249, 199));

    const QImage tall = coordinates(200, 300);
    EXPECT_EQ(sourceOf(squareImage(tall), 0, 0), QPoint(0, 50));

    // The window is pushed back inside the picture.
    const QImage faced = squareImageWithCenterRect(wide, QRectF(220, 50, 40, 40));
    EXPECT_EQ(sourceOf(faced, 0, 0), QPoint(100, 0));
    EXPECT_EQ(sourceOf(faced, 199, 0), QPoint(299, 0));
    EXPECT_EQ(squareImageWithCenterRect(wide, QRectF(220, 50, 0, 40)), square);
    EXPECT_EQ(squareImageWithCenterRect(wide, QRectF(10, 50, 40, 40)).pixel(0, 0), wide.pixel(0, 0));
    // On a tall picture the region moves the window vertically, top-left based.
    EXPECT_EQ(sourceOf(squareImageWithCenterRect(tall, QRectF(80, 20, 40, 40)), 0, 0), QPoint(0, 0));
    EXPECT_EQ(sourceOf(squareImageWithCenterRect(tall, QRectF(80, 170, 40, 40)), 0, 0), QPoint(0, 90));
    EXPECT_TRUE(squareImage(QImage()).isNull());
}

TEST(Fitting, ScaleLeavesMarginsAndCropFillsTheTarget)
{
    QImage source(400, 200, QImage::Format_RGB32);
    source.fill(Qt::red);
    const QImage scaled = imageScaledToFitSize(source, QSize(100, 100));
    ASSERT_EQ(scaled.size(), QSize(100, 100));
    EXPECT_EQ(qAlpha(scaled.pixel(50, 10)), 0);
    EXPECT_EQ(scaled.pixelColor(50, 30), QColor(Qt::red));
    EXPECT_EQ(scaled.pixelColor(50, 70), QColor(Qt::red));
    EXPECT_EQ(qAlpha(scaled.pixel(50, 90)), 0);

    const QImage cropped = imageCroppedToFitSize(coordinates(400, 200), QSize(100, 100));
    ASSERT_EQ(cropped.size(), QSize(100, 100));
    // The middle 200 x 200 of the source, halved.
    EXPECT_NEAR(sourceOf(cropped, 0, 50).x(), 100, 2);
    EXPECT_NEAR(sourceOf(cropped, 99, 50).x(), 298, 2);
}

TEST(Fitting, MethodsOneAndTwoKeepTheStartOrTheEnd)
{
    const QImage tall = coordinates(100, 300);
    const QImage wide = coordinates(300, 100);
    const QSize box(100, 100);
    EXPECT_EQ(sourceOf(imageToFitSize(tall, box, ResizeCropKeepStart), 0, 0), QPoint(0, 0));
    EXPECT_EQ(sourceOf(imageToFitSize(tall, box, ResizeCropKeepEnd), 0, 99), QPoint(0, 299));
    EXPECT_EQ(sourceOf(imageToFitSize(wide, box, ResizeCropKeepStart), 0, 0), QPoint(0, 0));
    EXPECT_EQ(sourceOf(imageToFitSize(wide, box, ResizeCropKeepEnd), 99, 0), QPoint(299, 0));
}

TEST(Rotation, TheImageGrowsToHoldTheTurnedPicture)
{
    QImage source(300, 200, QImage::Format_ARGB32_Premultiplied);
    source.fill(Qt::transparent);
    QPainter(&source).fillRect(0, 0, 10, 10, Qt::red);  // top-left corner marked
    const QImage quarter = imageRotatedByDegrees(source, 90);
    ASSERT_EQ(quarter.size(), QSize(200, 300));
    // Counter-clockwise: the top-left corner goes to the bottom left.
    EXPECT_EQ(quarter.pixelColor(5, 295), QColor(Qt::red));
    EXPECT_EQ(qAlpha(quarter.pixel(195, 5)), 0);

    const QImage square(100, 100, QImage::Format_RGB32);
    const QImage diagonal = imageRotatedByDegrees(square, 45);
    EXPECT_NEAR(diagonal.width(), 141, 2);
    EXPECT_NEAR(diagonal.height(), 141, 2);
}

class NamedImages : public ::testing::Test {
protected:
    void TearDown() override { setNamedImageProvider({}); }
    QStringList asked;
};

TEST_F(NamedImages, FileTypeIconsPreferTheirOwnImageThenALetteredOne)
{
    QImage other(64, 64, QImage::Format_ARGB32_Premultiplied);
    other.fill(Qt::white);
    QImage own(32, 32, QImage::Format_RGB32);
    own.fill(Qt::blue);
    setNamedImageProvider([&](const QString& name) {
        asked << name;
        if (name == "icon_mp3")
            return own;
        return name == "icon_other" ? other : QImage();
    });
    EXPECT_EQ(iconForFileType(" MP3\n"), own);

    asked.clear();
    const QImage pdf = iconForFileType(" PDF ");
    ASSERT_FALSE(asked.isEmpty());
    EXPECT_EQ(asked.first(), "icon_pdf");
    ASSERT_EQ(pdf.size(), other.size());
    EXPECT_NE(pdf, other.convertToFormat(pdf.format()));  // the letters are drawn on it
    const QImage again = iconForFileType("pdf");
    EXPECT_EQ(again.cacheKey(), pdf.cacheKey());
}

TEST_F(NamedImages, WithoutTheBaseImageTheThemeOrTheFallbackAnswers)
{
    QImage fallback(16, 16, QImage::Format_RGB32);
    fallback.fill(Qt::green);
    setNamedImageProvider([&](const QString& name) { return name == "finderFileIcon" ? fallback : QImage(); });
    // Whatever the theme has, some icon comes back, and it is not cached.
    EXPECT_FALSE(iconForFileType("zzqq").isNull());
    setNamedImageProvider({});
    EXPECT_TRUE(finderIconForLargeFolder().isNull());
    EXPECT_EQ(swatchWithColor(Qt::red, QSize(3, 2)).pixelColor(2, 1), QColor(Qt::red));
}

TEST(Stencil, DrawsTheShapeOnlyWhenAskedToFillOrShadow)
{
    QImage shape(20, 20, QImage::Format_ARGB32_Premultiplied);
    shape.fill(Qt::transparent);
    QPainter(&shape).fillRect(5, 5, 10, 10, Qt::black);
    QImage canvas(40, 40, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::white);
    const QImage blank = canvas;
    {
        QPainter painter(&canvas);
        drawInRectWithGradient(painter, shape, QRectF(10, 10, 20, 20), nullptr, nullptr, nullptr);
    }
    EXPECT_EQ(canvas, blank);

    const QGradientStops red = {{0, Qt::red}, {1, Qt::red}};
    const Shadow below{QPointF(0, -4), 0, Qt::blue};  // y-up: falls 4 below
    {
        QPainter painter(&canvas);
        drawInRectWithGradient(painter, shape, QRectF(10, 10, 20, 20), &red, &below, nullptr);
    }
    EXPECT_EQ(canvas.pixelColor(20, 20), QColor(Qt::red));   // inside the shape
    EXPECT_EQ(canvas.pixelColor(20, 27), QColor(Qt::blue));  // the shadow below it
    EXPECT_EQ(canvas.pixelColor(20, 12), QColor(Qt::white)); // outside both
    EXPECT_EQ(canvas.pixelColor(12, 20), QColor(Qt::white));
}

}  // namespace
}  // namespace orv
