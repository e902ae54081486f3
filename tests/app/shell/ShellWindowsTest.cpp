#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QImage>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolBar>

#include "app/shell/FirstLaunchDialog.h"
#include "app/shell/OVIntroWindowController.h"
#include "app/shell/OVPreferenceController.h"
#include "ShellTestSupport.h"

namespace orv {
namespace {

// A bar with a chosen number of pages that records slides.
struct Pages final : OVIntroNavbarViewDelegate {
    uint64_t count = 1;
    std::vector<std::pair<uint64_t, uint64_t>> slides;
    uint64_t numberOfPage(OVIntroNavbarView&) override { return count; }
    void slideToPage(uint64_t page, uint64_t from) override { slides.emplace_back(page, from); }
};

bool hasBlue(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (QColor(image.pixel(x, y)).blue() > 200 && QColor(image.pixel(x, y)).red() < 60)
                return true;
    return false;
}

TEST(IntroWindowTest, DotsOnlyWithTwoPagesOrMore)
{
    OVIntroNavbarView bar;
    bar.resize(437, 28);
    Pages pages;
    bar.setDelegate(&pages);
    bar.setCurrentPage(1);
    for (uint64_t count : {1u, 3u}) {
        pages.count = count;
        QImage image(bar.size(), QImage::Format_ARGB32);
        image.fill(Qt::white);
        bar.render(&image);
        EXPECT_EQ(hasBlue(image), count >= 2) << count;
        const auto cells = bar.cellRects(count);
        ASSERT_EQ(cells.size(), count);
        // Cells are centred on the bar, 20 points apart.
        EXPECT_EQ(cells.front().left(), int(437 / 2.0 - count * 10.0));
        QTest::mouseClick(&bar, Qt::LeftButton, {}, cells.back().center());
    }
    // The click with one page was ignored; with three it slid to page 3.
    ASSERT_EQ(pages.slides.size(), 1u);
    EXPECT_EQ(pages.slides[0], std::make_pair(uint64_t(3), uint64_t(1)));

    const int before = bar.repaintRequests();
    bar.setCurrentPage(1);
    EXPECT_EQ(bar.repaintRequests(), before);
    bar.setCurrentPage(2);
    EXPECT_EQ(bar.repaintRequests(), before + 1);
}

TEST(IntroWindowTest, ShowingResetsSizeAndPage)
{
    OVIntroWindowController intro;
    intro.showWindow();
    EXPECT_EQ(intro.window()->size(), QSize(600, 380));
    EXPECT_EQ(intro.navView()->currentPage(), 1u);
    ASSERT_EQ(intro.views().size(), 1u);
    EXPECT_EQ(intro.views()[0]->titleField()->text(), "Connect Your Phone");
    EXPECT_EQ(intro.views()[0]->view()->parentWidget(), intro.window());
    QSignalSpy closed(&intro, &OVIntroWindowController::introWindowWillClose);
    intro.window()->close();
    EXPECT_EQ(closed.count(), 1);
    EXPECT_FALSE(intro.window()->isVisible());
}

TEST(PreferencesWindowTest, GeneralPaneIsBoundToPrefs)
{
    test::PrivateHome home;
    OVPreferenceController controller;
    controller.showWindow();
    controller.showWindow();
    EXPECT_EQ(controller.window()->findChildren<QToolBar*>().size(), 1);
    EXPECT_EQ(controller.toolbarIdentifiers(), QStringList{"General"});
    EXPECT_EQ(controller.window()->windowTitle(), "General");
    EXPECT_FALSE(controller.crossFade());
    EXPECT_TRUE(controller.generalPreferenceView()->isVisible());

    QCheckBox* hidden = controller.checkBoxForKey("ShowHiddenFiles");
    ASSERT_TRUE(hidden);
    EXPECT_FALSE(hidden->isChecked());
    hidden->click();
    EXPECT_TRUE(Prefs::shared().boolValue("ShowHiddenFiles"));
    Prefs::shared().setValue("ShowHiddenFiles", false);
    EXPECT_FALSE(hidden->isChecked());

    EXPECT_EQ(controller.autopopButton()->text(), "AutoPopWindowAfterPluginPhone");
    controller.autopopButton()->click();
    EXPECT_TRUE(Prefs::shared().boolValue("launchAtLogin"));
}

TEST(PreferencesWindowTest, ResizingToAPaneKeepsTheTopLeftCorner)
{
    test::PrivateHome home;
    OVPreferenceController controller;
    controller.showWindow();
    controller.window()->move(100, 120);
    const QPoint topLeft = controller.window()->geometry().topLeft();
    for (int height : {120, 600}) {
        QWidget pane;
        pane.resize(300, height);
        const QRect frame = controller.frameForView(&pane);
        EXPECT_EQ(frame.topLeft(), topLeft);
        EXPECT_EQ(frame.width(), 300);
        EXPECT_GE(frame.height(), height);
    }
    EXPECT_EQ(controller.crossFadeDurationMs(true), 250);
    controller.setShiftSlowsAnimation(true);
    EXPECT_EQ(controller.crossFadeDurationMs(true), 1250);
    EXPECT_EQ(controller.crossFadeDurationMs(false), 250);
}

TEST(FirstLaunchDialogTest, ButtonsEndWithTheirCodes)
{
    for (bool yes : {true, false}) {
        FirstLaunchDialog dialog;
        EXPECT_EQ(dialog.windowTitle(), "Welcome");
        (yes ? dialog.yesButton() : dialog.noButton())->click();
        EXPECT_EQ(dialog.result(), yes ? FirstLaunchDialog::kYesCode : FirstLaunchDialog::kNoCode);
    }
}

}  // namespace
}  // namespace orv
