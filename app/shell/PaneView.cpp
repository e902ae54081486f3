#include "app/shell/PaneView.h"

#include <QPaintEvent>
#include <QPainter>
#include <QWidget>

namespace orv {

namespace {

// White behind the pane's content, painted rather than set in the palette: a
// palette of its own would give every widget inside, down to the scroll bars,
// a palette of its own, and the style caches its drawings under the palette's
// identity - drawings that no later window could find again, and whose keys
// Qt's cache keeps after it drops the drawings.
class PaneView final : public QWidget {
protected:
    void paintEvent(QPaintEvent* event) override { QPainter(this).fillRect(event->rect(), Qt::white); }
};

}  // namespace

QWidget* makePaneView()
{
    auto* view = new PaneView;
    view->setFocusPolicy(Qt::StrongFocus);
    return view;
}

}  // namespace orv
