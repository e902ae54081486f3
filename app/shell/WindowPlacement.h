#pragma once
// Placing top-level windows.

class QWidget;

namespace orv {

// Moves the window so its frame is centred on its screen's available area.
void centreOnScreen(QWidget* window);

}  // namespace orv
