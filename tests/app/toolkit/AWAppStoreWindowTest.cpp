// The custom-title-bar window: bar and content geometry, its own buttons,
// move and resize requests, maximise on double click, sheets, the bars'
// colours and the shared rollover of window buttons.

#include <gtest/gtest.h>

#include <QDialog>
#include <QEnterEvent>
#include <QLabel>
#include <QTest>

#include "QtWait.h"
#include "app/toolkit/AWAppStoreWindow.h"
#include "app/toolkit/AWWindowButton.h"
#include "app/toolkit/AWWindowButtonGroup.h"

namespace orv {
namespace {

// Records what the window asks of the window system.
class RecordingWindow : public AWAppStoreWindow {
public:
    bool startSystemMove() override
    {
        ++moves;
        return systemMoves;
    }
    bool startSystemResize(Qt::Edges edges) override
    {
        resizes.push_back(edges);
        return true;
    }
    int moves = 0;
    bool systemMoves = true;
    std::vector<Qt::Edges> resizes;
};

void configureLikeTheDeviceWindow(AWAppStoreWindow& window)
{
    window.resize(600, 400);
    window.setTitleBarHeight(36, false);
    window.setBottomBarHeight(20);
    window.setShowsTitle(true);
}

TEST(AppStoreWindow, ContentSitsBetweenTheBarsAndTheButtonsAreCentred)
{
    AWAppStoreWindow window;
    configureLikeTheDeviceWindow(window);
    EXPECT_EQ(window.contentViewFrame(), QRect(0, 36, 600, 344));
    EXPECT_EQ(window.contentView()->geometry(), window.contentViewFrame());
    EXPECT_EQ(window.bottomBarContainer()->geometry(), QRect(0, 380, 600, 20));
    EXPECT_EQ(window.titleBarView()->geometry(), QRect(0, 0, 600, 36));
    ASSERT_TRUE(window.closeButton() && window.minimizeButton() && window.zoomButton());
    EXPECT_EQ(window.closeButton()->geometry(), QRect(8, 11, 14, 14));
    EXPECT_EQ(window.minimizeButton()->pos(), QPoint(28, 11));
    EXPECT_EQ(window.zoomButton()->pos(), QPoint(48, 11));

    window.setCenterTrafficLightButtons(false);
    EXPECT_EQ(window.closeButton()->pos(), QPoint(8, 3));

    window.setVerticalTrafficLightButtons(true);
    window.setTitleBarHeight(80, false);
    EXPECT_EQ(window.closeButton()->pos(), QPoint(8, 3));
    EXPECT_EQ(window.minimizeButton()->pos(), QPoint(8, 3 + 14 + 4));
    EXPECT_EQ(window.zoomButton()->pos(), QPoint(8, 3 + 2 * (14 + 4)));
    window.setCenterTrafficLightButtons(true);
    // Three buttons and two gaps of 4 make 50, centred in 80.
    EXPECT_EQ(window.closeButton()->pos(), QPoint(8, 15));
}

TEST(AppStoreWindow, ATallerTitleBarKeepsTheTopEdgeAndTheContentHeight)
{
    AWAppStoreWindow window;
    window.resize(500, 300);
    const int contentHeight = window.contentViewFrame().height();
    window.setTitleBarHeight(36);
    EXPECT_EQ(window.height(), 314);
    EXPECT_EQ(window.contentViewFrame().height(), contentHeight);
    window.setTitleBarHeight(36);  // the same value changes nothing
    EXPECT_EQ(window.height(), 314);
}

TEST(AppStoreWindow, FullScreenCanHideTheTitleBar)
{
    AWAppStoreWindow window;
    configureLikeTheDeviceWindow(window);
    window.setHideTitleBarInFullScreen(true);
    window.show();
    window.showFullScreen();
    ASSERT_TRUE(test::qtWaitUntil([&] { return window.isFullScreenNow(); }));
    EXPECT_EQ(window.contentViewFrame(), QRect(0, 0, window.width(), window.height() - 20));
    EXPECT_FALSE(window.titleBarContainer()->isVisible());
    window.showNormal();
    ASSERT_TRUE(test::qtWaitUntil([&] { return !window.isFullScreenNow(); }));
    EXPECT_EQ(window.contentViewFrame().top(), 36);
    EXPECT_TRUE(window.titleBarContainer()->isVisible());
}

TEST(AppStoreWindow, ButtonsCloseMinimiseAndZoom)
{
    AWAppStoreWindow window;
    configureLikeTheDeviceWindow(window);
    window.show();
    EXPECT_EQ(window.closeButton()->accessibleName(), "Close");
    EXPECT_EQ(window.minimizeButton()->accessibleName(), "Minimize");
    EXPECT_EQ(window.zoomButton()->accessibleName(), "Zoom");

    QTest::mouseClick(window.zoomButton(), Qt::LeftButton);
    EXPECT_TRUE(window.windowState() & Qt::WindowMaximized);
    QTest::mouseClick(window.zoomButton(), Qt::LeftButton);
    EXPECT_FALSE(window.windowState() & Qt::WindowMaximized);

    QTest::mouseClick(window.minimizeButton(), Qt::LeftButton);
    EXPECT_TRUE(window.windowState() & Qt::WindowMinimized);
    window.showNormal();

    QTest::mouseClick(window.closeButton(), Qt::LeftButton);
    EXPECT_FALSE(window.isVisible());
}

TEST(AppStoreWindow, DoubleClickOnTheTitleBarTogglesMaximise)
{
    AWAppStoreWindow window;
    configureLikeTheDeviceWindow(window);
    window.show();
    QTest::mouseDClick(window.titleBarView(), Qt::LeftButton, {}, QPoint(300, 18));
    EXPECT_TRUE(window.windowState() & Qt::WindowMaximized);
    QTest::mouseDClick(window.titleBarView(), Qt::LeftButton, {}, QPoint(300, 18));
    EXPECT_FALSE(window.windowState() & Qt::WindowMaximized);
}

TEST(AppStoreWindow, DraggingTheBarAsksTheWindowSystemToMove)
{
    RecordingWindow window;
    configureLikeTheDeviceWindow(window);
    window.show();
    QWidget* bar = window.titleBarContainer();
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(300, 18));
    QTest::mouseMove(bar, QPoint(300, 18));  // no movement yet: no move
    EXPECT_EQ(window.moves, 0);
    QMouseEvent drag(QEvent::MouseMove, QPointF(305, 20), bar->mapToGlobal(QPointF(305, 20)), Qt::NoButton,
                     Qt::LeftButton, {});
    QApplication::sendEvent(bar, &drag);
    EXPECT_EQ(window.moves, 1);
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(305, 20));

    // When the window system declines, the window follows the pointer by hand.
    window.systemMoves = false;
    const QPoint before = window.pos();
    QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(300, 18));
    QMouseEvent drag2(QEvent::MouseMove, QPointF(310, 21), bar->mapToGlobal(QPointF(310, 21)), Qt::NoButton,
                      Qt::LeftButton, {});
    QApplication::sendEvent(bar, &drag2);
    EXPECT_EQ(window.moves, 2);
    EXPECT_EQ(window.pos(), before + QPoint(10, 3));
    QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(310, 21));

    // A press on a button is the button's, not a drag.
    QTest::mousePress(window.closeButton(), Qt::LeftButton);
    QMouseEvent drag3(QEvent::MouseMove, QPointF(30, 30), window.closeButton()->mapToGlobal(QPointF(30, 30)),
                      Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(window.closeButton(), &drag3);
    EXPECT_EQ(window.moves, 2);
}

TEST(AppStoreWindow, PressesAlongTheEdgesAskForAResize)
{
    RecordingWindow window;
    configureLikeTheDeviceWindow(window);
    window.show();
    QWidget* content = window.contentView();
    const struct {
        QPoint at;  // in the window
        Qt::Edges edges;
    } cases[] = {
        {QPoint(598, 200), Qt::RightEdge},
        {QPoint(1, 200), Qt::LeftEdge},
        {QPoint(300, 398), Qt::BottomEdge},
        {QPoint(599, 399), Qt::RightEdge | Qt::BottomEdge},
        {QPoint(300, 1), Qt::TopEdge},
    };
    for (const auto& c : cases) {
        window.resizes.clear();
        QWidget* target = window.childAt(c.at) ? window.childAt(c.at) : &window;
        QTest::mousePress(target, Qt::LeftButton, {}, target->mapFrom(&window, c.at));
        ASSERT_EQ(window.resizes.size(), 1u) << c.at.x() << "," << c.at.y();
        EXPECT_EQ(window.resizes.front(), c.edges);
        QTest::mouseRelease(target, Qt::LeftButton, {}, target->mapFrom(&window, c.at));
    }
    window.resizes.clear();
    QTest::mousePress(content, Qt::LeftButton, {}, QPoint(300, 100));
    EXPECT_TRUE(window.resizes.empty());
    QTest::mouseRelease(content, Qt::LeftButton, {}, QPoint(300, 100));

    window.showMaximized();
    EXPECT_EQ(window.resizeEdgesAt(QPoint(window.width() - 1, 100)), Qt::Edges());
}

TEST(AppStoreWindow, SheetsDropFromUnderTheTitleBar)
{
    AWAppStoreWindow window;
    configureLikeTheDeviceWindow(window);
    window.show();
    EXPECT_EQ(window.sheetRect(QSize(200, 100)), QRect(200, 36, 200, 100));
    auto* sheet = new QDialog;
    sheet->setFixedSize(200, 100);
    window.beginSheet(sheet);
    EXPECT_EQ(sheet->parentWidget(), &window);
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->pos(), window.mapToGlobal(QPoint(200, 36)));
    sheet->reject();
}

TEST(AppStoreWindow, TheTitleStartsAfterTheButtonsAndStopsBeforeTheFullScreenButton)
{
    AWAppStoreWindow window;
    configureLikeTheDeviceWindow(window);
    auto* bar = static_cast<AWTitlebarView*>(window.titleBarView());
    window.setWindowTitle("Phone");
    const QRectF centred = bar->titleFrame();
    EXPECT_NEAR(centred.center().x(), 300, 1);

    window.setWindowTitle(QString(200, QLatin1Char('W')));
    EXPECT_EQ(bar->titleFrame().left(), 62 + 8);  // zoom button's right edge + 8
    window.setFullScreenButton(AWWindowButton::standardButton(AWWindowButton::FullScreen));
    window.show();
    EXPECT_EQ(window.fullScreenButton()->pos(), QPoint(600 - 14 - 8, 3));
    EXPECT_EQ(bar->titleFrame().right(), window.fullScreenButton()->x() - 8);

    window.setFullScreenButton(nullptr);
    window.setCloseButton(nullptr);
    window.setMinimizeButton(nullptr);
    window.setZoomButton(nullptr);
    window.setWindowTitle("Phone");
    EXPECT_NEAR(bar->titleFrame().center().x(), 300, 1);
}

TEST(AppStoreWindowLook, InactiveBarsUseTheInactiveColours)
{
    AWAppStoreWindow window;
    configureLikeTheDeviceWindow(window);
    const QImage title = window.titleBarView()->grab().toImage();
    const QImage bottom = window.bottomBarView()->grab().toImage();
    EXPECT_EQ(title.pixelColor(300, 35), QColor(167, 167, 167));   // separator, last row
    EXPECT_EQ(bottom.pixelColor(300, 0), QColor(167, 167, 167));   // separator, first row
    const int middle = qGray(title.pixel(300, 18));
    EXPECT_GT(middle, 225);
    EXPECT_LT(middle, 250);
    EXPECT_GT(qGray(title.pixel(300, 2)), qGray(title.pixel(300, 30)));  // lighter at the top
}

TEST(AppStoreWindowLook, ActiveBarsUseTheActiveColours)
{
    AWAppStoreWindow window;
    configureLikeTheDeviceWindow(window);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    const QImage title = window.titleBarView()->grab().toImage();
    EXPECT_EQ(title.pixelColor(300, 35), QColor(104, 104, 104));
    const int nearBottom = qGray(title.pixel(300, 33));
    EXPECT_LT(nearBottom, 200);
    EXPECT_GE(nearBottom, 180);
}

TEST(WindowButtons, AGroupShowsRolloverTogether)
{
    QWidget holder;
    auto* a = AWWindowButton::standardButton(AWWindowButton::Close, &holder);
    auto* b = AWWindowButton::standardButton(AWWindowButton::Minimize, &holder);
    auto* off = AWWindowButton::standardButton(AWWindowButton::Zoom, &holder);
    off->setEnabled(false);
    AWWindowButtonGroup* group = a->group();
    group->resetMouseCaptures();
    ASSERT_EQ(group, b->group());

    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(a, &leave);  // an exit without an entry
    EXPECT_EQ(group->numberOfCaptures(), 0);

    QEnterEvent enter(QPointF(2, 2), QPointF(2, 2), QPointF(2, 2));
    QApplication::sendEvent(a, &enter);
    EXPECT_EQ(group->numberOfCaptures(), 1);
    EXPECT_EQ(a->currentImage().cacheKey(), a->rolloverImage().cacheKey());
    EXPECT_EQ(b->currentImage().cacheKey(), b->rolloverImage().cacheKey());
    EXPECT_NE(off->currentImage().cacheKey(), off->rolloverImage().cacheKey());

    QApplication::sendEvent(a, &leave);
    EXPECT_EQ(group->numberOfCaptures(), 0);
    // Not in the active window: the not-key look.
    EXPECT_EQ(b->currentImage().cacheKey(), b->activeNotKeyWindowImage().cacheKey());
}

TEST(WindowButtons, GroupsAreSharedByIdentifierAndIgnoreNegativeCounts)
{
    AWWindowButtonGroup* mine = AWWindowButtonGroup::groupWithIdentifier("mine");
    EXPECT_EQ(mine, AWWindowButtonGroup::groupWithIdentifier("mine"));
    EXPECT_EQ(AWWindowButtonGroup::groupWithIdentifier(QString())->identifier(),
              AWWindowButtonGroup::defaultIdentifier());
    int updates = 0;
    QObject listener;
    QObject::connect(mine, &AWWindowButtonGroup::didUpdateRolloverState, &listener, [&] { ++updates; });
    mine->setNumberOfCaptures(-1);
    mine->setNumberOfCaptures(0);
    EXPECT_EQ(updates, 0);
    mine->didCaptureMousePointer();
    EXPECT_TRUE(mine->shouldDisplayRollOver());
    mine->resetMouseCaptures();
    EXPECT_EQ(updates, 2);
}

}  // namespace
}  // namespace orv
