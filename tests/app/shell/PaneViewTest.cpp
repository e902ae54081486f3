// The pane view: white behind the pane, and nothing inside it given a palette
// of its own, so that the style's cached drawings of one window are found
// again by the next instead of piling up.

#include <gtest/gtest.h>

#include <QImage>
#include <QScrollBar>
#include <QVBoxLayout>
#include <memory>

#include "app/shell/PaneView.h"

namespace orv {
namespace {

struct Pane {
    std::unique_ptr<QWidget> view{makePaneView()};
    QScrollBar* bar = new QScrollBar(Qt::Vertical, view.get());
    Pane()
    {
        view->resize(200, 150);
        bar->setGeometry(184, 0, 16, 150);
        view->ensurePolished();
        bar->ensurePolished();
    }
};

TEST(PaneView, PaintsWhiteBehindItsContent)
{
    Pane pane;
    const QImage drawn = pane.view->grab().toImage();
    EXPECT_EQ(drawn.pixelColor(10, 10), QColor(Qt::white));
    EXPECT_EQ(drawn.pixelColor(100, 140), QColor(Qt::white));
}

TEST(PaneView, WidgetsInsideEveryPaneShareOnePalette)
{
    Pane first;
    Pane second;
    EXPECT_EQ(first.bar->palette().cacheKey(), second.bar->palette().cacheKey());
}

}  // namespace
}  // namespace orv
