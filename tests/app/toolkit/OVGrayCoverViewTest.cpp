// The loading cover: it swallows clicks, keeps its spinner and text centred
// and starts and stops its turn.

#include <gtest/gtest.h>

#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include "QtWait.h"
#include "app/toolkit/OVGrayCoverView.h"

namespace orv {
namespace {

TEST(GrayCover, ControlsBeneathGetNoClicks)
{
    QWidget content;
    content.resize(400, 300);
    auto* button = new QPushButton("Beneath", &content);
    button->setGeometry(10, 10, 120, 30);
    content.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&content));
    QSignalSpy clicked(button, &QPushButton::clicked);

    auto* cover = new OVGrayCoverView(&content);
    cover->show();
    cover->startLoading();
    QTest::mouseClick(content.windowHandle(), Qt::LeftButton, {}, QPoint(50, 25));
    EXPECT_EQ(clicked.count(), 0);

    delete cover;
    QTest::mouseClick(content.windowHandle(), Qt::LeftButton, {}, QPoint(50, 25));
    EXPECT_EQ(clicked.count(), 1);  // the same click reaches it once the cover is gone
}

TEST(GrayCover, FollowsItsParentAndStaysCentred)
{
    QWidget content;
    content.resize(400, 300);
    OVGrayCoverView cover(&content);
    EXPECT_EQ(cover.geometry(), content.rect());
    content.show();
    content.resize(800, 500);
    EXPECT_EQ(cover.geometry(), QRect(0, 0, 800, 500));
    EXPECT_EQ(cover.spinnerRect().center().x() + 1, 400);
    EXPECT_EQ(cover.spinnerRect().bottom() + 1, 250 - 26);
    EXPECT_NEAR(cover.titleRect().center().x(), 400, 1);
    EXPECT_EQ(cover.titleRect().bottom() + 1, cover.spinnerRect().bottom() + 1 + 50);
    EXPECT_EQ(cover.titleRect().height(), 30);
}

TEST(GrayCover, StartAndStopTheTurn)
{
    QWidget content;
    content.resize(300, 300);
    OVGrayCoverView cover(&content);
    cover.stopLoading();  // never started: harmless
    EXPECT_FALSE(cover.isLoading());
    EXPECT_DOUBLE_EQ(cover.blurRadius(), 40);

    const QImage idle = cover.grab().toImage();
    EXPECT_EQ(idle.pixelColor(150, 150), QColor(Qt::white));
    EXPECT_EQ(idle.pixelColor(cover.spinnerRect().center()), QColor(Qt::white));  // hidden spinner

    cover.startLoading();
    EXPECT_TRUE(cover.isLoading());
    ASSERT_TRUE(test::qtWaitUntil([&] { return cover.spinnerAngle() > 10; }, std::chrono::seconds(5)));
    cover.stopLoading();
    EXPECT_FALSE(cover.isLoading());
    cover.startLoading();  // a fresh turn from the start
    EXPECT_LT(cover.spinnerAngle(), 10);
    cover.stopLoading();
}

}  // namespace
}  // namespace orv
