// The arrowed popover: the outline's geometry (the arrow tip on the point the
// window is placed by), the window keeping its tip in place as values change,
// placement against small anchors near every screen edge, fading and the
// ways it closes.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QTest>
#include <QWindow>

#include "QtWait.h"
#include "app/toolkit/OVBPopover.h"

namespace orv {
namespace {

using Side = OVBPopoverWindowFrame::ArrowSide;

// The outline's outermost point on its arrow side: the arrow's tip.
QPointF tipOf(const QPainterPath& path, Side side)
{
    QPointF best = path.elementAt(0);
    for (int i = 1; i < path.elementCount(); ++i) {
        const QPointF p = path.elementAt(i);
        const bool further = (side == Side::Top && p.y() < best.y()) || (side == Side::Bottom && p.y() > best.y()) ||
                             (side == Side::Left && p.x() < best.x()) || (side == Side::Right && p.x() > best.x());
        if (further)
            best = p;
    }
    return best;
}

struct Look {
    double borderWidth, cornerRadius, arrowWidth, arrowHeight, distance;
    bool roundBesideArrow;
};

class PopoverFrameLooks : public ::testing::TestWithParam<Look> {};

// The arrow's tip lies on the point the window is placed by, for every
// position, so the popover points at what it belongs to.
TEST_P(PopoverFrameLooks, TheArrowTipIsTheAttachmentPoint)
{
    const Look look = GetParam();
    OVBPopoverWindowFrame frame;
    frame.setBorderWidth(look.borderWidth);
    frame.setCornerRadius(look.cornerRadius);
    frame.setArrowWidth(look.arrowWidth);
    frame.setArrowHeight(look.arrowHeight);
    frame.setDistance(look.distance);
    frame.setDrawRoundCornerBesideArrow(look.roundBesideArrow);
    for (unsigned position = 0; position < 12; ++position) {
        SCOPED_TRACE(position);
        frame.setPopoverPosition(position);
        const QRectF bounds = frame.frameRectForContentRect(QRectF(0, 0, 120, 90)).translated(7, 3);
        const Side side = OVBPopoverWindowFrame::arrowSide(position);
        const QPointF tip = tipOf(frame.popoverFramePathForContentRect(frame.contentRectForFrameRect(bounds)), side);
        const QPointF at = frame.attachmentPointForRect(bounds);
        // Along the edge: exactly on it. Across: half the border (the stroke's
        // round join reaches the edge) plus the gap asked for.
        const double gap = look.borderWidth / 2 + look.distance;
        switch (side) {
        case Side::Top: EXPECT_DOUBLE_EQ(tip.x(), at.x()); EXPECT_DOUBLE_EQ(tip.y() - at.y(), gap); break;
        case Side::Bottom: EXPECT_DOUBLE_EQ(tip.x(), at.x()); EXPECT_DOUBLE_EQ(at.y() - tip.y(), gap); break;
        case Side::Left: EXPECT_DOUBLE_EQ(tip.y(), at.y()); EXPECT_DOUBLE_EQ(tip.x() - at.x(), gap); break;
        case Side::Right: EXPECT_DOUBLE_EQ(tip.y(), at.y()); EXPECT_DOUBLE_EQ(at.x() - tip.x(), gap); break;
        case Side::None: FAIL();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Looks, PopoverFrameLooks,
                         ::testing::Values(Look{2, 8, 20, 16, 0, true},   // the defaults
                                           Look{3, 6, 30, 10, 4, true},   // arrow wider than tall
                                           Look{1, 12, 14, 22, 0, false}, // square corner by the arrow
                                           Look{0, 0, 20, 16, 2, true})); // no border, no corners

TEST(PopoverFrame, ConversionsAreInversesAndReserveTheArrowSide)
{
    OVBPopoverWindowFrame frame;
    const QRectF content(0, 0, 100, 50);
    frame.setPopoverPosition(OVBPopoverBelow);
    EXPECT_EQ(frame.frameRectForContentRect(content), QRectF(-4, -20, 108, 74));
    frame.setPopoverPosition(OVBPopoverRight);
    EXPECT_EQ(frame.frameRectForContentRect(content), QRectF(-20, -4, 124, 58));
    EXPECT_EQ(frame.attachmentPointForRect(QRectF(0, 0, 124, 58)), QPointF(0, 29));
    for (unsigned position = 0; position <= 13; ++position) {
        frame.setPopoverPosition(position);
        const QRectF f = frame.frameRectForContentRect(content);
        EXPECT_EQ(frame.contentRectForFrameRect(f), content) << position;
    }
    // Past 11: no arrow room, no arrow, attached at the origin.
    frame.setPopoverPosition(12);
    EXPECT_EQ(frame.frameRectForContentRect(content), QRectF(-4, -4, 108, 58));
    EXPECT_EQ(frame.attachmentPointForRect(QRectF(5, 5, 108, 58)), QPointF(0, 0));
    EXPECT_EQ(frame.popoverFramePathForContentRect(content).boundingRect(), QRectF(-3, -3, 106, 56));

    // Without the arrow drawn its room stays, and the outline is a plain rounded rect.
    frame.setPopoverPosition(OVBPopoverBelow);
    frame.setDrawsArrow(false);
    EXPECT_EQ(frame.frameRectForContentRect(content), QRectF(-4, -20, 108, 74));
    EXPECT_EQ(frame.popoverFramePathForContentRect(content).boundingRect(), QRectF(-3, -3, 106, 56));
}

TEST(PopoverFrame, OnlyTheCornerBesideTheArrowGoesSquare)
{
    OVBPopoverWindowFrame frame;
    frame.setPopoverPosition(OVBPopoverBelowExtendingRight);
    const QRectF content(0, 0, 100, 50);
    const QRectF r(-3, -3, 106, 56);  // the outline's box
    auto corners = [&] {
        const QPainterPath path = frame.popoverFramePathForContentRect(content);
        return std::array<bool, 4>{path.contains(r.topLeft() + QPointF(0.5, 0.5)),
                                   path.contains(r.topRight() + QPointF(-0.5, 0.5)),
                                   path.contains(r.bottomRight() + QPointF(-0.5, -0.5)),
                                   path.contains(r.bottomLeft() + QPointF(0.5, -0.5))};
    };
    EXPECT_EQ(corners(), (std::array<bool, 4>{false, false, false, false}));
    frame.setDrawRoundCornerBesideArrow(false);
    EXPECT_EQ(corners(), (std::array<bool, 4>{true, false, false, false}));
}

TEST(PopoverFrame, AResizeStopsAtTheContentsLimits)
{
    OVBPopoverWindowFrame frame;  // position below: 8 wide and 24 high around the content
    const QRectF start(50, 60, 108, 74);
    EXPECT_EQ(frame.resizedFrame(start, QPointF(20, 10), QSizeF(100, 50), QSizeF(1000, 1000)),
              QRectF(50, 60, 128, 84));
    EXPECT_EQ(frame.resizedFrame(start, QPointF(-40, -30), QSizeF(100, 50), QSizeF(1000, 1000)),
              QRectF(50, 60, 108, 74));
    EXPECT_EQ(frame.resizedFrame(start, QPointF(90, 90), QSizeF(100, 50), QSizeF(150, 100)),
              QRectF(50, 60, 158, 124));
}

std::unique_ptr<OVBPopoverWindow> popoverWindow(unsigned position)
{
    auto content = new QWidget;
    content->resize(100, 50);
    auto window = std::make_unique<OVBPopoverWindow>(content);
    window->setPopoverPosition(position);
    window->placeAttachmentAt(QPointF(300, 200));
    return window;
}

TEST(PopoverWindow, ChangesKeepTheTipWhereItPoints)
{
    // A wider border with the arrow on the left: one more on every side, the left edge kept.
    auto window = popoverWindow(OVBPopoverRight);
    const QRect before = window->geometry();
    window->setBorderWidth(3);
    EXPECT_EQ(window->geometry(), before.adjusted(0, -1, 2, 1));
    EXPECT_EQ(window->contentView()->geometry(), QRect(21, 5, 100, 50));

    // A longer arrow below the point: the top edge stays, the window grows down.
    window = popoverWindow(OVBPopoverBelow);
    const QRect below = window->geometry();
    window->setArrowHeight(20);
    EXPECT_EQ(window->geometry(), below.adjusted(0, 0, 0, 4));
    EXPECT_EQ(window->contentView()->geometry().top(), 24);

    // Equal values change nothing; every change keeps the tip on the point.
    for (unsigned position = 0; position < 12; ++position) {
        SCOPED_TRACE(position);
        window = popoverWindow(position);
        const QRect start = window->geometry();
        window->setDistance(0);
        window->setBorderWidth(2);
        window->setViewMargin(2);
        EXPECT_EQ(window->geometry(), start);
        window->setPopoverPosition((position + 5) % 12);
        window->setViewMargin(5);
        window->setArrowWidth(26);
        window->setDistance(3);
        window->setCornerRadius(4);
        const QPointF tip = window->attachmentScreenPoint();
        EXPECT_NEAR(tip.x(), 300, 0.5);
        EXPECT_NEAR(tip.y(), 200, 0.5);
        EXPECT_EQ(window->contentView()->size(), QSize(100, 50));
    }
}

// A parent window and a popover over a 100x50 content; nothing animates
// unless a test asks.
class PopoverFixture : public ::testing::Test {
protected:
    QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    QWidget parent;
    QWidget* content = sized(new QWidget, QSize(100, 50));
    OVBPopover popover{content};

    static QWidget* sized(QWidget* widget, QSize size)
    {
        widget->resize(size);
        return widget;
    }
    PopoverFixture()
    {
        popover.setAnimates(false);
        parent.setGeometry(screen);
    }
    void showParent()
    {
        parent.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&parent));
    }
    QRect windowRect() const { return popover.popoverWindow()->geometry(); }

    // The popover lies on the side of the anchor its position names, whole.
    void expectBesideAnchor(const QRect& anchorOnScreen)
    {
        const QRect w = windowRect();
        const unsigned position = popover.position();
        const QPointF tip = popover.popoverWindow()->attachmentScreenPoint();
        const QPointF aim = OVBPopover::anchorPoint(QRectF(anchorOnScreen), position);
        EXPECT_NEAR(tip.x(), aim.x(), 0.5);
        EXPECT_NEAR(tip.y(), aim.y(), 0.5);
        EXPECT_FALSE(w.intersects(anchorOnScreen)) << "covers its anchor";
        switch (OVBPopoverWindowFrame::arrowSide(position)) {
        case Side::Top: EXPECT_GE(w.top(), anchorOnScreen.bottom()); break;
        case Side::Bottom: EXPECT_LE(w.bottom(), anchorOnScreen.top()); break;
        case Side::Left: EXPECT_GE(w.left(), anchorOnScreen.right()); break;
        case Side::Right: EXPECT_LE(w.right(), anchorOnScreen.left()); break;
        case Side::None: ADD_FAILURE();
        }
    }
};

TEST_F(PopoverFixture, EveryPositionPointsAtItsAnchor)
{
    showParent();
    const QRect anchor(screen.center() - QPoint(5, 5), QSize(10, 10));
    for (unsigned position = 0; position < 12; ++position) {
        SCOPED_TRACE(position);
        popover.setPosition(position);
        popover.showRelativeTo(QRect(parent.mapFromGlobal(anchor.topLeft()), anchor.size()), &parent);
        ASSERT_TRUE(popover.isVisible());
        EXPECT_EQ(popover.position(), position);
        expectBesideAnchor(anchor);
        popover.closePopover();
        EXPECT_FALSE(popover.isVisible());
    }
}

struct EdgeCase {
    const char* name;
    QPointF anchorAt;  // of the screen's width and height
    bool wide;  // too wide for either side of the anchor
    unsigned expected;
};

class PopoverEdges : public PopoverFixture, public ::testing::WithParamInterface<EdgeCase> {};

// A 10x10 anchor 20 in from the screen's edges and corners, with the parent
// window filling the screen: the popover picks a side with room and stays whole.
TEST_P(PopoverEdges, TheBestPositionKeepsThePopoverOnScreen)
{
    const EdgeCase c = GetParam();
    content->resize(c.wide ? screen.width() - 40 : 100, 50);
    popover.popoverWindow()->setContentSize(content->size());
    showParent();
    const int x = c.anchorAt.x() < 0.5 ? 20 : c.anchorAt.x() > 0.5 ? screen.width() - 30 : screen.width() / 2 - 5;
    const int y = c.anchorAt.y() < 0.5 ? 20 : c.anchorAt.y() > 0.5 ? screen.height() - 30 : screen.height() / 2 - 5;
    const QRect anchor(screen.topLeft() + QPoint(x, y), QSize(10, 10));
    popover.showRelativeTo(QRect(parent.mapFromGlobal(anchor.topLeft()), anchor.size()), &parent, true);
    EXPECT_EQ(popover.position(), c.expected);
    EXPECT_TRUE(screen.contains(windowRect())) << windowRect().x() << "," << windowRect().y();
    expectBesideAnchor(anchor);
}

INSTANTIATE_TEST_SUITE_P(
    Anchors, PopoverEdges,
    ::testing::Values(EdgeCase{"TopLeft", {0, 0}, false, OVBPopoverBelowExtendingRight},
                      EdgeCase{"Top", {0.5, 0}, false, OVBPopoverBelow},
                      EdgeCase{"TopRight", {1, 0}, false, OVBPopoverBelowExtendingLeft},
                      EdgeCase{"Left", {0, 0.5}, false, OVBPopoverBelowExtendingRight},
                      EdgeCase{"Right", {1, 0.5}, false, OVBPopoverBelowExtendingLeft},
                      EdgeCase{"BottomLeft", {0, 1}, false, OVBPopoverRightExtendingUp},
                      EdgeCase{"Bottom", {0.5, 1}, false, OVBPopoverRightExtendingUp},
                      EdgeCase{"BottomRight", {1, 1}, false, OVBPopoverLeftExtendingUp},
                      EdgeCase{"WideBottomLeft", {0, 1}, true, OVBPopoverAboveExtendingRight},
                      EdgeCase{"WideBottom", {0.5, 1}, true, OVBPopoverAbove},
                      EdgeCase{"WideBottomRight", {1, 1}, true, OVBPopoverAboveExtendingLeft}),
    [](const ::testing::TestParamInfo<EdgeCase>& info) { return std::string(info.param.name); });

TEST_F(PopoverFixture, NearTheTopOfALowWindowASideVariantExtendsDown)
{
    parent.setGeometry(QRect(screen.left() + 100, screen.bottom() - 100, 300, 100));
    showParent();
    const QRect inParent(10, 10, 10, 10);
    EXPECT_EQ(popover.bestPositionForAnchor(inParent, &parent), OVBPopoverRightExtendingDown);
    // When no side has room the popover goes below.
    content->resize(screen.width(), screen.height());
    popover.popoverWindow()->setContentSize(content->size());
    EXPECT_EQ(popover.bestPositionForAnchor(inParent, &parent), OVBPopoverBelow);
}

TEST_F(PopoverFixture, ShowingAgainWhileShownChangesNothing)
{
    showParent();
    popover.setPosition(OVBPopoverRight);
    popover.showRelativeTo(QRect(200, 200, 10, 10), &parent);
    const QRect first = windowRect();
    popover.showRelativeTo(QRect(20, screen.height() - 30, 10, 10), &parent, true);
    EXPECT_EQ(windowRect(), first);
    EXPECT_EQ(popover.position(), unsigned(OVBPopoverRight));
    popover.moveToAnchorRect(QRect(300, 200, 10, 10));
    EXPECT_EQ(windowRect(), first.translated(100, 0));
}

TEST_F(PopoverFixture, ItBelongsToItsAnchorsWindowAndFollowsIt)
{
    parent.setGeometry(QRect(screen.topLeft() + QPoint(50, 50), QSize(400, 300)));
    showParent();
    popover.showRelativeTo(QRect(100, 100, 10, 10), &parent);
    QWindow* own = popover.popoverWindow()->windowHandle();
    EXPECT_EQ(own->transientParent(), parent.windowHandle());
    const QRect before = windowRect();
    parent.move(parent.pos() + QPoint(30, 20));
    EXPECT_TRUE(test::qtWaitUntil([&] { return windowRect() == before.translated(30, 20); }));
    parent.hide();
    EXPECT_FALSE(popover.isVisible());

    // Without a widget the rect is on the screen and no window is its parent.
    popover.showRelativeTo(QRect(screen.topLeft() + QPoint(200, 150), QSize(10, 10)), nullptr);
    EXPECT_EQ(own->transientParent(), nullptr);
    expectBesideAnchor(QRect(screen.topLeft() + QPoint(200, 150), QSize(10, 10)));
}

TEST_F(PopoverFixture, FadesInAndOutAndAFadeOutCanBeTakenBack)
{
    showParent();
    popover.setAnimates(true);
    OVBPopoverWindow* window = popover.popoverWindow();
    popover.showRelativeTo(QRect(200, 200, 10, 10), &parent);
    EXPECT_LT(window->windowOpacity(), 1.0);
    ASSERT_TRUE(test::qtWaitUntil([&] { return window->windowOpacity() == 1.0; }));

    popover.closePopover();
    EXPECT_TRUE(popover.isVisible());  // until faded out
    ASSERT_TRUE(test::qtWaitUntil([&] { return !popover.isVisible(); }));
    EXPECT_EQ(window->windowOpacity(), 1.0);

    // Closed while still fading in: the fade-out takes over and ends hidden.
    popover.showRelativeTo(QRect(200, 200, 10, 10), &parent);
    popover.closePopover();
    ASSERT_TRUE(test::qtWaitUntil([&] { return !popover.isVisible(); }));
    EXPECT_EQ(window->windowOpacity(), 1.0);

    // Shown again while fading out: it comes back and stays.
    popover.showRelativeTo(QRect(200, 200, 10, 10), &parent);
    ASSERT_TRUE(test::qtWaitUntil([&] { return window->windowOpacity() == 1.0; }));
    popover.closePopover();
    popover.showRelativeTo(QRect(200, 200, 10, 10), &parent);
    ASSERT_TRUE(test::qtWaitUntil([&] { return window->windowOpacity() == 1.0; }));
    EXPECT_TRUE(popover.isVisible());
}

TEST_F(PopoverFixture, ClosesOnLosingActivationOnlyWhenAsked)
{
    showParent();
    for (bool closes : {false, true}) {
        SCOPED_TRACE(closes);
        popover.setClosesWhenPopoverResignsKey(closes);
        popover.showRelativeTo(QRect(200, 200, 10, 10), &parent);
        ASSERT_TRUE(test::qtWaitUntil([&] { return QApplication::activeWindow() == popover.popoverWindow(); }));
        parent.activateWindow();  // a click into the parent
        ASSERT_TRUE(test::qtWaitUntil([&] { return QApplication::activeWindow() == &parent; }));
        QCoreApplication::processEvents();
        EXPECT_EQ(popover.isVisible(), !closes);
        popover.closePopover();
    }
}

TEST_F(PopoverFixture, ClosesWhenTheApplicationGoesInactiveOnlyWhenAsked)
{
    showParent();
    for (bool closes : {false, true}) {
        SCOPED_TRACE(closes);
        popover.setClosesWhenApplicationBecomesInactive(closes);
        popover.showRelativeTo(QRect(200, 200, 10, 10), &parent);
        emit qGuiApp->applicationStateChanged(Qt::ApplicationInactive);
        EXPECT_EQ(popover.isVisible(), !closes);
        popover.closePopover();
    }
}

void drag(QWidget* widget, QPoint from, QPoint by)
{
    QTest::mousePress(widget, Qt::LeftButton, {}, from);
    const QPointF to = from + by;
    QMouseEvent move(QEvent::MouseMove, to, widget->mapToGlobal(to), Qt::NoButton, Qt::LeftButton, {});
    QApplication::sendEvent(widget, &move);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, to.toPoint());
}

TEST_F(PopoverFixture, MovesAndResizesOnlyWhenAllowed)
{
    showParent();
    popover.showRelativeTo(QRect(200, 200, 10, 10), &parent);
    OVBPopoverWindowFrame* frame = popover.popoverWindow()->popoverWindowFrame();
    const QRect start = windowRect();
    const QPoint inContent(50, 40);
    const QPoint onBorder(60, 71);  // in the margin below the content
    drag(frame, inContent, QPoint(15, 10));
    drag(frame, onBorder, QPoint(15, 10));
    EXPECT_EQ(windowRect(), start);

    popover.setMovable(true);
    drag(frame, inContent, QPoint(15, 10));
    EXPECT_EQ(windowRect(), start.translated(15, 10));

    popover.setResizable(true);
    drag(frame, onBorder, QPoint(30, 20));
    EXPECT_EQ(windowRect(), QRect(start.topLeft() + QPoint(15, 10), start.size() + QSize(30, 20)));
    EXPECT_EQ(content->size(), QSize(130, 70));
    drag(frame, onBorder + QPoint(30, 20), QPoint(-90, -90));  // smaller than the content began: stops there
    EXPECT_EQ(content->size(), QSize(100, 50));
}

TEST_F(PopoverFixture, DrawsATranslucentDarkShapeWithAWhiteBorder)
{
    showParent();
    popover.showRelativeTo(QRect(200, 200, 10, 10), &parent);
    const QImage image = popover.popoverWindow()->grab().toImage();
    const QPoint tip = popover.popoverWindow()->popoverWindowFrame()->attachmentPoint().toPoint();
    EXPECT_EQ(qAlpha(image.pixel(0, 0)), 0);                // outside the rounded corner
    EXPECT_EQ(qAlpha(image.pixel(tip.x() - 8, 2)), 0);      // beside the arrow tip
    const QColor border = image.pixelColor(54, 73);       // the bottom border
    EXPECT_GT(border.lightness(), 240);
    const QColor fill = image.pixelColor(3, 40);          // the margin inside the border
    EXPECT_LT(fill.lightness(), 60);
    EXPECT_NEAR(fill.alphaF(), 0.75, 0.02);
}

}  // namespace
}  // namespace orv
