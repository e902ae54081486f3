// The device card: storage and battery figures, its geometry, the eject and
// screen-image clicks and the name tooltip.

#include <gtest/gtest.h>

#include <QTest>

#include "app/shell/OVLeftDeviceView.h"
#include "core/bridge/facade/OVLocalization.h"
#include "platform/NotificationCenter.h"

namespace orv {
namespace {

// Counts the card notifications posted by one card.
struct Posts {
    explicit Posts(const OVLeftDeviceView& card)
    {
        NotificationCenter::defaultCenter().addObserver(
            this,
            [this, &card](const Notification& n) {
                if (n.object != &card)
                    return;
                if (n.name == kEjectNotification)
                    ++ejects;
                else if (n.name == kUpdatePhoneImageNotification)
                    ++screenRequests;
            },
            {});
    }
    ~Posts() { NotificationCenter::defaultCenter().removeObserver(this); }
    int ejects = 0;
    int screenRequests = 0;
};

TEST(DeviceView, StorageText)
{
    const QString label = QString::fromStdString(localizedString("DiskUsage", "Storage"));
    struct Case {
        int64_t total, free;
        const char* figures;  // empty: no text at all
    };
    const Case cases[] = {
        {26000000, 5600000, "20/26 GB"},
        {26000000, 200000, "25/26 GB"},
        {26000000, 0, "26/26 GB"},
        {26500000, 400000, "25/26 GB"},  // reaches the total with more than 150 MB free
        {26500000, 100000, "26/26 GB"},
        {26000000, 26000000 - 500, "1/26 GB"},  // a used figure under 1 GB reads 1
        {26000000, 26000000, ""},  // nothing used
        {26000000, 27000000, ""},  // more free than total
        {900000, 200000, "700/900 MB"},  // under 1 GB: megabytes, never "-1/0 GB"
        {900000, 0, "900/900 MB"},
        {1500000, 400000, "0/1 GB"},  // 1 GB phone with room: not full, not negative
        {800, 100, ""},  // less than a megabyte
    };
    for (const Case& c : cases) {
        const QString expected = *c.figures ? label + QLatin1Char(' ') + QLatin1String(c.figures) : QString();
        EXPECT_EQ(OVLeftDeviceView::diskSpaceText(c.total, c.free), expected) << c.total << " " << c.free;
    }
}

TEST(DeviceView, BatteryLevelIsClampedAndSetsTheBarWidth)
{
    OVLeftDeviceView card;
    const std::pair<int64_t, int64_t> levels[] = {{-5, 0}, {0, 0}, {57, 57}, {100, 100}, {150, 100}};
    for (const auto& [set, stored] : levels) {
        card.setBatteryLevel(set);
        EXPECT_EQ(card.batteryLevel(), stored) << set;
    }
    const std::pair<int64_t, int> bars[] = {{0, 0}, {5, 0}, {57, 9}, {100, 16}};
    for (const auto& [level, width] : bars)
        EXPECT_EQ(OVLeftDeviceView::batteryBarWidth(level), width) << level;
}

TEST(DeviceView, GeometryAtTheCardHeight)
{
    OVLeftDeviceView card;
    card.resize(207, OVLeftDeviceView::kHeight);
    const qreal h = OVLeftDeviceView::kHeight;
    auto up = [h](qreal x, qreal y, qreal w, qreal rh) { return QRectF(x, h - y - rh, w, rh); };
    EXPECT_EQ(card.imageRect(), up(21, 15, 55, 113));
    EXPECT_EQ(card.screenRect(), up(25, 26, 47, 93));
    EXPECT_EQ(QRectF(card.gearRect()), up(41, 65, 14, 14));
    EXPECT_EQ(card.batteryRect(), up(89, 58, 24, 14));
    EXPECT_EQ(card.nameRect().x(), 89);
    EXPECT_EQ(card.nameRect().width(), 110);
    EXPECT_EQ(card.nameRect().bottom(), h - 104);
    EXPECT_EQ(card.batteryPercentageRect().x(), 118);
    EXPECT_EQ(card.ejectRect().x(), 89);
    EXPECT_EQ(card.ejectRect().bottom(), h - 21);
    EXPECT_EQ(card.ejectRect().height(), 24);
}

TEST(DeviceView, EjectPostsOnAReleaseInsideWhereverThePressBegan)
{
    OVLeftDeviceView card;
    card.resize(207, OVLeftDeviceView::kHeight);
    Posts posts(card);
    const QPoint eject = card.ejectRect().center().toPoint();
    const QPoint elsewhere(5, 5);

    QTest::mousePress(&card, Qt::LeftButton, {}, elsewhere);
    QTest::mouseRelease(&card, Qt::LeftButton, {}, eject);
    EXPECT_EQ(posts.ejects, 1);
    QTest::mousePress(&card, Qt::LeftButton, {}, eject);
    QTest::mouseRelease(&card, Qt::LeftButton, {}, elsewhere);
    EXPECT_EQ(posts.ejects, 1);

    // Another card's notifications do not count for this one.
    OVLeftDeviceView other;
    other.resize(207, OVLeftDeviceView::kHeight);
    QTest::mouseClick(&other, Qt::LeftButton, {}, eject);
    EXPECT_EQ(posts.ejects, 1);
}

TEST(DeviceView, ThePhonePictureAsksForAScreenOnlyWhenAllowedAndIdle)
{
    OVLeftDeviceView card;
    card.resize(207, OVLeftDeviceView::kHeight);
    Posts posts(card);
    const QPoint picture = card.imageRect().center().toPoint();

    QTest::mouseClick(&card, Qt::LeftButton, {}, picture);
    EXPECT_EQ(posts.screenRequests, 0);
    card.setNeedUpdateScreenImage(true);
    QTest::mouseClick(&card, Qt::LeftButton, {}, picture);
    EXPECT_EQ(posts.screenRequests, 1);
    card.startLoadingAnimation();
    QTest::mouseClick(&card, Qt::LeftButton, {}, picture);
    EXPECT_EQ(posts.screenRequests, 1);
    card.stopLoadingAnimation();
    EXPECT_FALSE(card.isLoading());
}

TEST(DeviceView, TheNameShowsWholeInItsTooltip)
{
    OVLeftDeviceView card;
    card.resize(207, OVLeftDeviceView::kHeight);
    const QString longName = QStringLiteral("A phone with a name far wider than the card can draw");
    card.setDeviceName(longName);
    card.setCardToolTip(QStringLiteral("{battery_level: 80}"));
    EXPECT_EQ(card.toolTipAt(card.nameRect().center().toPoint()), longName);
    EXPECT_EQ(card.toolTipAt(QPoint(5, 5)), QStringLiteral("{battery_level: 80}"));
}

TEST(DeviceView, TheSameScreenImageAgainChangesNothing)
{
    OVLeftDeviceView card;
    card.resize(207, OVLeftDeviceView::kHeight);
    QImage shot(480, 960, QImage::Format_RGB32);
    shot.fill(Qt::red);
    card.updateScreen(shot);
    const QImage stored = card.screenImage();
    EXPECT_LE(stored.width(), 47);
    EXPECT_LE(stored.height(), 93);
    card.updateScreen(shot);
    EXPECT_EQ(card.screenImage().cacheKey(), stored.cacheKey());
}

}  // namespace
}  // namespace orv
