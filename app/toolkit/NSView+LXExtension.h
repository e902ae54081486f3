#pragma once
// A translucent "vibrancy" background behind a view's contents. Qt Widgets
// has no compositor blur to offer, so these answer no view, which callers
// already treat as "not available" and draw their plain background.

class QWidget;

namespace orv {

QWidget* tryInsertVibrancyViewBlendingModeBehindWindow(QWidget* view);
QWidget* tryInsertVibrancyViewBlendingModeWithinWindow(QWidget* view);

}  // namespace orv
