#pragma once
// The view every right-hand pane starts from: a white, focusable widget
// without a parent (the device window places it).

class QWidget;

namespace orv {

QWidget* makePaneView();

}  // namespace orv
