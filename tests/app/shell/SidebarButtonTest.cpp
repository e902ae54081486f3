// The sidebar button: badge text, the preference that hides badges, the gear,
// the reload menu, clicks that end outside the button, and the colours of a
// selected row.

#include <gtest/gtest.h>

#include <QMenu>
#include <QTest>

#include "app/shell/OVLeftSidebarButton.h"
#include "app/shell/Prefs.h"
#include "tests/app/viewmodels/PrivateHome.h"

namespace orv {
namespace {

test::PrivateHome home;

struct ShowBadges {
    explicit ShowBadges(bool on)
    {
        Prefs::registerUserDefaults();
        Prefs::shared().setValue(QStringLiteral("ShowLeftBadge"), on);
    }
    ~ShowBadges() { Prefs::shared().remove(QStringLiteral("ShowLeftBadge")); }
};

TEST(SidebarButton, BadgeTextRoundsThousandsDown)
{
    const std::pair<int64_t, const char*> cases[] = {
        {-1, " "}, {-7, " "}, {0, "0"}, {999, "999"}, {1000, "1K+"}, {1499, "1K+"}, {1500, "1K+"}, {1999, "1K+"}, {2000, "2K+"}, {12345, "12K+"},
    };
    for (const auto& [badge, text] : cases)
        EXPECT_EQ(OVLeftSidebarButton::badgeText(badge), QLatin1String(text)) << badge;
}

TEST(SidebarButton, GearHidesTheBadgeAndDisablesReload)
{
    ShowBadges on(true);
    OVLeftSidebarButton button;
    button.resize(207, 53);
    EXPECT_EQ(button.badge(), -1);
    button.setBadge(42);
    int reloads = 0;
    QObject::connect(&button, &OVLeftSidebarButton::reloadRequested, [&] { ++reloads; });

    auto menu = button.makeContextMenu();
    ASSERT_TRUE(menu);
    ASSERT_EQ(menu->actions().size(), 1);
    EXPECT_TRUE(menu->actions().front()->isEnabled());
    menu->actions().front()->trigger();
    EXPECT_EQ(reloads, 1);

    button.startLoadingAnimation();
    EXPECT_TRUE(button.isLoading());
    EXPECT_EQ(button.badge(), -1);
    auto busy = button.makeContextMenu();
    EXPECT_FALSE(busy->actions().front()->isEnabled());
    busy->actions().front()->trigger();
    EXPECT_EQ(reloads, 1);

    button.stopLoadingAnimation();
    EXPECT_FALSE(button.isLoading());
    button.setBadge(0);
    EXPECT_EQ(button.badge(), 0);
}

TEST(SidebarButton, WithBadgesOffNothingShowsAndThereIsNoMenu)
{
    OVLeftSidebarButton button;
    {
        ShowBadges on(true);
        button.startLoadingAnimation();
    }
    ShowBadges off(false);
    button.setBadge(17);
    EXPECT_EQ(button.badge(), -1);
    EXPECT_FALSE(button.makeContextMenu());
    // Starting the gear now takes the one already spinning away.
    button.startLoadingAnimation();
    EXPECT_FALSE(button.isLoading());
}

TEST(SidebarButton, PressThenReleaseAnywhereClicksButAReleaseAloneDoesNot)
{
    OVLeftSidebarButton button;
    button.resize(207, 53);
    int clicks = 0;
    QObject::connect(&button, &OVLeftSidebarButton::clicked, [&] { ++clicks; });

    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(10, 10));
    EXPECT_EQ(clicks, 0);
    QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
    QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(500, 300));
    EXPECT_EQ(clicks, 1);
}

TEST(SidebarButton, SelectionDarkensTitleAndBadge)
{
    OVLeftSidebarButton button;
    EXPECT_EQ(button.textColor(), QColor(0x5b, 0x5c, 0x62));
    const QColor badge = button.badgeTextColor();
    EXPECT_EQ(badge, QColor(0x8a, 0x8a, 0x90));
    button.setSelected(true);
    EXPECT_EQ(button.textColor(), QColor(0x31, 0x32, 0x37));
    EXPECT_LT(button.badgeTextColor().valueF(), badge.valueF() - 0.25);
    EXPECT_NEAR(button.badgeTextColor().hsvHueF(), badge.hsvHueF(), 0.01);
}

TEST(SidebarButton, LayoutFromTheBottomLeftGeometry)
{
    OVLeftSidebarButton button;
    button.setIcon(QImage(34, 34, QImage::Format_ARGB32));
    button.setTitle(QStringLiteral("Photos"));
    button.resize(207, 53);
    // midY 26.5: icon y ceil(9.5) = 10 from the bottom, gear y 20 from the bottom.
    EXPECT_EQ(button.iconFrame(), QRectF(15, 53 - 10 - 34, 34, 34));
    EXPECT_EQ(button.gearRect(), QRect(207 - 30, 53 - 20 - 14, 14, 14));
    EXPECT_EQ(button.titleFrame().x(), 56);
    button.setBadge(123);
    EXPECT_DOUBLE_EQ(button.badgeFrame().right(), 207 - 16);
}

}  // namespace
}  // namespace orv
