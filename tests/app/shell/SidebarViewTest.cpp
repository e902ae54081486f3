// The sidebar: which button asks for which pane and badge, the flags of the
// row above the selection, its own card's requests only, and the layout.

#include <gtest/gtest.h>

#include <QMenu>
#include <QTest>
#include <vector>

#include "app/shell/OVLeftDeviceView.h"
#include "app/shell/OVLeftSidebarButton.h"
#include "app/shell/OVLeftSidebarView.h"
#include "app/shell/Prefs.h"
#include "tests/app/viewmodels/PrivateHome.h"
#include "platform/NotificationCenter.h"

namespace orv {
namespace {

test::PrivateHome home;

struct Recorder : OVLeftSidebarViewDelegate {
    void reloadBadge(int64_t index, bool animation, bool useCache, bool reloadParent) override
    {
        badges.push_back(index);
        EXPECT_TRUE(animation);
        EXPECT_FALSE(useCache);
        EXPECT_FALSE(reloadParent);
    }
    void switchToView(int64_t viewType) override { views.push_back(viewType); }
    void ejectDevice() override { ++ejects; }
    void updatePhoneScreenImage() override { ++screens; }
    std::vector<int64_t> badges, views;
    int ejects = 0, screens = 0;
};

class Sidebar : public ::testing::Test {
protected:
    void SetUp() override
    {
        Prefs::registerUserDefaults();
        sidebar.setDelegate(&recorder);
        sidebar.resize(208, 600);
        sidebar.show();
    }
    std::vector<OVLeftSidebarButton*> rows() const
    {
        return {sidebar.buttonPicture(), sidebar.buttonAudio(), sidebar.buttonVideo(), sidebar.buttonDownload(), sidebar.buttonFile()};
    }
    Recorder recorder;
    OVLeftSidebarView sidebar;
};

TEST_F(Sidebar, EachRowSelectsItselfFlagsTheRowAboveAndAsksForItsPane)
{
    const int64_t viewTypes[] = {0, 2, 1, 3, 4};  // top to bottom
    const auto buttons = rows();
    for (size_t row = 0; row < buttons.size(); ++row) {
        SCOPED_TRACE(row);
        recorder.views.clear();
        QTest::mouseClick(buttons[row], Qt::LeftButton);
        EXPECT_EQ(recorder.views, std::vector<int64_t>{viewTypes[row]});
        for (size_t other = 0; other < buttons.size(); ++other) {
            EXPECT_EQ(buttons[other]->isSelected(), other == row);
            EXPECT_EQ(buttons[other]->belowButtonIsSelected(), other + 1 == row);
        }
    }
    // The selected button again asks again.
    recorder.views.clear();
    sidebar.clickFileButton();
    EXPECT_EQ(recorder.views, std::vector<int64_t>{4});
}

TEST_F(Sidebar, AStrangerClearsTheSelectionAndSwitchesNothing)
{
    sidebar.clickVideoButton();
    recorder.views.clear();
    QObject stranger;
    sidebar.buttonAction(&stranger);
    EXPECT_TRUE(recorder.views.empty());
    for (auto* button : rows()) {
        EXPECT_FALSE(button->isSelected());
        EXPECT_FALSE(button->belowButtonIsSelected());
    }
}

TEST_F(Sidebar, ReloadItemsAskForTheirOwnBadge)
{
    for (auto* button : rows()) {
        auto menu = button->makeContextMenu();
        ASSERT_TRUE(menu);
        menu->actions().front()->trigger();
    }
    EXPECT_EQ(recorder.badges, (std::vector<int64_t>{0, 2, 1, 3, 4}));
    QObject stranger;
    sidebar.reloadAction(&stranger);
    EXPECT_EQ(recorder.badges.size(), 5u);
}

TEST_F(Sidebar, OnlyItsOwnCardEjectsOrAsksForAScreen)
{
    Recorder otherRecorder;
    OVLeftSidebarView other;
    other.setDelegate(&otherRecorder);
    auto& centre = NotificationCenter::defaultCenter();
    centre.postNotificationName(kEjectNotification, other.deviceView());
    centre.postNotificationName(kUpdatePhoneImageNotification, other.deviceView());
    EXPECT_EQ(recorder.ejects, 0);
    EXPECT_EQ(recorder.screens, 0);
    EXPECT_EQ(otherRecorder.ejects, 1);
    centre.postNotificationName(kEjectNotification, sidebar.deviceView());
    centre.postNotificationName(kUpdatePhoneImageNotification, sidebar.deviceView());
    EXPECT_EQ(recorder.ejects, 1);
    EXPECT_EQ(recorder.screens, 1);
}

TEST_F(Sidebar, RowsStayOnTopAndTheCardAtTheFootWhenResized)
{
    for (int height : {600, 420, 900}) {
        sidebar.resize(208, height);
        const auto buttons = rows();
        for (size_t row = 0; row < buttons.size(); ++row)
            EXPECT_EQ(buttons[row]->geometry(), QRect(0, 53 * static_cast<int>(row), 207, 53)) << height;
        EXPECT_EQ(sidebar.deviceView()->geometry(), QRect(0, height - 145, 207, 145)) << height;
    }
}

}  // namespace
}  // namespace orv
