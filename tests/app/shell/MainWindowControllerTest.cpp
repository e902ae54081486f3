// The device window without a phone: pane switching through the registry,
// the close guard and who learns of a close, what closing tears down, the
// title, and Quick Look questions with and without a pane.

#include <gtest/gtest.h>

#include <QDialog>

#include "QtWait.h"
#include "RecordingPane.h"
#include "app/shell/OVLeftSidebarButton.h"
#include "app/shell/OVMainWindowController.h"
#include "app/shell/PlaceholderPane.h"
#include "app/shell/Prefs.h"
#include "tests/app/viewmodels/PrivateHome.h"

namespace orv {
namespace {

test::PrivateHome home;
using test::RecordingPane;

struct Host : DeviceWindowHost {
    void manuallyWindowControllerClose(DeviceWindow&) override { ++manualCloses; }
    void didMainWindowControllerClose(DeviceWindow&) override { ++didCloses; }
    int manualCloses = 0;
    int didCloses = 0;
};

class Window : public ::testing::Test {
protected:
    void SetUp() override
    {
        Prefs::registerUserDefaults();
        RecordingPane::log().clear();
        RecordingPane::registerForAllPanes();
        controller = std::make_unique<OVMainWindowController>(host);
        controller->loadWindow();
    }
    void TearDown() override
    {
        controller.reset();
        RecordingPane::unregister();
    }
    void waitUntilClosable() { ASSERT_TRUE(test::qtWaitUntil([&] { return controller->canClose(); })); }

    Host host;
    std::unique_ptr<OVMainWindowController> controller;
};

TEST_F(Window, PanesAreMadeOnceAndTheSameButtonReloads)
{
    controller->sidebar()->clickVideoButton();
    OVDevicePane* video = controller->pane(1);
    ASSERT_TRUE(video);
    EXPECT_EQ(controller->currentPane(), video);
    EXPECT_EQ(video->view()->parentWidget(), controller->rightBaseView());
    EXPECT_EQ(video->view()->geometry(), controller->rightBaseView()->rect());
    // Not the photo pane: the view is built before it gets its client and window.
    EXPECT_EQ(RecordingPane::log(), (std::vector<std::string>{"1:setViewType", "1:loadView", "1:setClient(null)",
                                                              "1:setMainWindowController", "1:updateStatusLabel"}));

    RecordingPane::log().clear();
    controller->sidebar()->clickVideoButton();
    EXPECT_EQ(RecordingPane::log(), (std::vector<std::string>{"1:reloadCurrentViewData", "1:updateStatusLabel"}));

    RecordingPane::log().clear();
    controller->sidebar()->clickPictureButton();
    EXPECT_EQ(RecordingPane::log(), (std::vector<std::string>{"0:setViewType", "0:setClient(null)", "0:setMainWindowController",
                                                              "0:loadView", "1:removeFromWindow", "0:updateStatusLabel"}));
    EXPECT_EQ(controller->rightBaseView()->findChildren<QWidget*>(Qt::FindDirectChildrenOnly),
              QList<QWidget*>{controller->pane(0)->view()});
    EXPECT_EQ(video->view()->parentWidget(), nullptr);

    // Out of range: the pane stays, but is refreshed.
    RecordingPane::log().clear();
    for (int64_t type : {-1, 5}) {
        controller->switchToView(type);
        EXPECT_EQ(controller->currentPane(), controller->pane(0));
    }
    EXPECT_EQ(RecordingPane::log(), (std::vector<std::string>{"0:updateStatusLabel", "0:updateStatusLabel"}));
}

TEST_F(Window, AnUnregisteredPaneIsAPlaceholder)
{
    RecordingPane::unregister();
    controller->switchToView(4);
    EXPECT_TRUE(dynamic_cast<PlaceholderPane*>(controller->pane(4)));
    EXPECT_TRUE(controller->pane(4)->view());
}

TEST_F(Window, CloseIsRefusedForHalfASecondThenTearsDownInOrder)
{
    controller->switchToView(4);
    controller->switchToView(0);
    controller->switchToView(3);
    controller->closeThisWindow(controller.get());
    EXPECT_FALSE(controller->isClosed());
    EXPECT_EQ(host.manualCloses, 0);

    waitUntilClosable();
    // A sheet on the window and this window's preview go with it.
    QDialog sheet(controller->window());
    sheet.setWindowModality(Qt::WindowModal);
    sheet.show();
    QWidget preview;
    preview.show();
    controller->setPreviewPanel(&preview);

    RecordingPane::log().clear();
    controller->closeThisWindow(controller.get());
    EXPECT_TRUE(controller->isClosed());
    EXPECT_EQ(host.manualCloses, 1);
    EXPECT_EQ(host.didCloses, 1);
    EXPECT_EQ(RecordingPane::log(), (std::vector<std::string>{"0:cleanUp", "3:cleanUp", "4:cleanUp"}));
    EXPECT_EQ(controller->currentPane(), nullptr);
    EXPECT_FALSE(sheet.isVisible());
    EXPECT_FALSE(preview.isVisible());
    EXPECT_FALSE(controller->window()->isVisible());
}

TEST_F(Window, OnlyACloseByTheUserIsReportedAsManual)
{
    waitUntilClosable();
    struct Case {
        const char* name;
        std::function<void(OVMainWindowController&)> close;
        int manual;
    };
    const Case cases[] = {
        {"unplugged", [](OVMainWindowController& c) { c.closeThisWindow(nullptr); }, 0},
        {"eject button", [](OVMainWindowController& c) { c.ejectDevice(); }, 1},
        {"title bar", [](OVMainWindowController& c) { c.window()->close(); }, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Host own;
        OVMainWindowController window(own);
        window.loadWindow();
        window.window()->show();
        ASSERT_TRUE(test::qtWaitUntil([&] { return window.canClose(); }));
        c.close(window);
        EXPECT_TRUE(test::qtWaitUntil([&] { return own.didCloses > 0; }));
        EXPECT_EQ(own.manualCloses, c.manual);
        EXPECT_EQ(own.didCloses, 1);
        EXPECT_TRUE(window.isClosed());
    }
}

TEST_F(Window, TheTitleShowsTheNameOnlyWhenAsked)
{
    controller->resetTitle(true);
    EXPECT_TRUE(controller->titleShowDeviceName());
    EXPECT_EQ(controller->window()->windowTitle(), QStringLiteral("Unknown Device Name"));
    controller->resetTitle(false);
    EXPECT_EQ(controller->window()->windowTitle(), QStringLiteral("Orvane File Manager"));
}

TEST_F(Window, QuickLookQuestionsGoToThePaneOnScreen)
{
    EXPECT_FALSE(controller->acceptsPreviewPanelControl());
    EXPECT_EQ(controller->numberOfPreviewItems(), 0);
    EXPECT_TRUE(controller->previewItemAtIndex(0).isEmpty());
    EXPECT_FALSE(controller->previewPanelHandleEvent(nullptr));
    EXPECT_EQ(controller->sourceFrameOnScreenForPreviewItem(0), QRect());
    EXPECT_TRUE(controller->transitionImageForPreviewItem(0, nullptr).isNull());
    controller->switchToView(2);
    EXPECT_EQ(controller->numberOfPreviewItems(), 3);
    controller->selectAll();
    EXPECT_EQ(RecordingPane::count("2:selectAll"), 1);
}

TEST_F(Window, ACascadedWindowKeepsItsPlace)
{
    controller->setCascadePosition(QPoint(40, 60));
    controller->loadDeviceWithSerialNumber("");
    EXPECT_EQ(controller->window()->pos(), QPoint(40, 60));
}

TEST_F(Window, WithBadgesOffEveryBadgeIsHiddenAndNothingIsAsked)
{
    Prefs::shared().setValue(QStringLiteral("ShowLeftBadge"), false);
    for (int64_t i = 0; i < 5; ++i)
        controller->reloadBadge(i, true, false, false);
    for (int64_t i = 0; i < 5; ++i) {
        EXPECT_EQ(controller->sidebar()->buttonForIndex(i)->badge(), -1);
        EXPECT_FALSE(controller->sidebar()->buttonForIndex(i)->isLoading());
    }
    Prefs::shared().remove(QStringLiteral("ShowLeftBadge"));
}

}  // namespace
}  // namespace orv
