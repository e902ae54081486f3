// Hex colours, shades and shadow rectangles.

#include <gtest/gtest.h>

#include "app/toolkit/NSColor+LXExtension.h"
#include "app/toolkit/NSShadow+LXExtension.h"

namespace orv {
namespace {

TEST(HexColors, ReadThreeOrSixDigitsWithAnyHashes)
{
    const QColor grey = colorWithHex("#5b5c62");
    EXPECT_EQ(grey, QColor(91, 92, 98));
    EXPECT_EQ(colorWithHex("5b5c62"), grey);
    EXPECT_EQ(colorWithHex("##fff"), QColor(Qt::white));
    EXPECT_EQ(colorWithHex("fff"), colorWithHex("ffffff"));
    EXPECT_EQ(colorWithHex("ABC"), QColor(0xaa, 0xbb, 0xcc));
    // A pair that does not read drops out and the rest move up.
    EXPECT_EQ(colorWithHex("zzff00"), QColor(255, 0, 0));
    // A pair with only its first digit readable is worth that digit.
    EXPECT_EQ(colorWithHex("1z0000"), QColor(1, 0, 0));
}

TEST(HexColors, WrongLengthsThrow)
{
    for (const char* bad : {"", "12345", "#", "1234567", "ff"})
        EXPECT_THROW(colorWithHex(bad), InvalidHexException) << bad;
}

TEST(HexColors, WrittenBackTruncated)
{
    EXPECT_EQ(hexColor(colorWithHex("e0dcdc")), "#E0DCDC");
    EXPECT_EQ(hexColor(QColor::fromRgbF(0.5f, 0.5f, 0.5f)), "#7F7F7F");
    for (int v = 0; v < 256; ++v) {
        const QString hex = QStringLiteral("%1%1%1").arg(v, 2, 16, QLatin1Char('0'));
        ASSERT_EQ(hexColor(colorWithHex(hex)), "#" + hex.toUpper()) << v;
    }
}

TEST(Shades, DarkenKeepsHueAndClamps)
{
    const QColor c = QColor::fromHsvF(0.6f, 0.5f, 0.88f);
    const QColor d = darkenBy(c, 0.1);
    EXPECT_NEAR(d.valueF(), 0.78, 0.002);
    EXPECT_NEAR(d.hsvHueF(), 0.6, 0.002);
    EXPECT_NEAR(d.hsvSaturationF(), 0.5, 0.002);
    EXPECT_TRUE(darkenBy(c, 2.0).isValid());
    EXPECT_EQ(darkenBy(c, 2.0).valueF(), 0.0f);
    EXPECT_EQ(darkenBy(colorWithHex("c4c4c4"), -1.0), QColor(Qt::white));  // a grey has no hue
    EXPECT_EQ(invert(QColor(255, 0, 10, 128)), QColor(0, 255, 245, 128));
    EXPECT_TRUE(colorIsDarkThan(QColor(100, 100, 100), 0.5));
    EXPECT_FALSE(colorIsDarkThan(QColor(200, 200, 200), 0.5));
}

TEST(Shadows, RectanglesGrowByTheBlurAndMoveByTheOffset)
{
    const Shadow shadow{QPointF(1, -3), 2, Qt::black};
    const QRectF rect(0, 0, 10, 10);
    EXPECT_EQ(shadowedRect(shadow, rect, false), QRectF(-1, -5, 14, 14));
    EXPECT_EQ(shadowedRect(shadow, rect, true), QRectF(-1, 1, 14, 14));
    EXPECT_EQ(rectToCastInnerShadow(shadow, rect, false), QRectF(-3, 1, 14, 14));
    EXPECT_EQ(rectToCastInnerShadow(shadow, rect, true), QRectF(-3, -5, 14, 14));
    const Shadow text = controlTextShadow();
    EXPECT_EQ(text.offset, QPointF(0, 0));
    EXPECT_DOUBLE_EQ(text.blurRadius, 0.5);
    EXPECT_NEAR(text.color.alphaF(), 0.2, 0.001);
}

}  // namespace
}  // namespace orv
