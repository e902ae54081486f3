#include "app/toolkit/NSView+LXExtension.h"

namespace orv {

QWidget* tryInsertVibrancyViewBlendingModeBehindWindow(QWidget*) { return nullptr; }
QWidget* tryInsertVibrancyViewBlendingModeWithinWindow(QWidget*) { return nullptr; }

}  // namespace orv
