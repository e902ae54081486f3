#pragma once
// Drawing constants, fonts and small geometry helpers shared by the device
// window's self-drawn views. The views' geometry is given with the origin at
// the bottom-left (y grows upwards); flipped() turns such a rectangle into
// Qt's top-left coordinates for a view of height `height`.

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>

namespace orv::shell_look {

// Linux has no behind-window translucency, so the views use the flat look:
// an opaque sidebar and the stronger selection fill.
inline constexpr bool kTranslucentLook = false;

// Black at the given alpha.
inline QColor black(double alpha) { return QColor::fromRgbF(0, 0, 0, static_cast<float>(alpha)); }

inline QRectF flipped(const QRectF& r, qreal height) { return QRectF(r.x(), height - r.y() - r.height(), r.width(), r.height()); }

// Interface fonts by pixel size; "Helvetica Neue" where installed, else DejaVu Sans.
QFont systemFont(int pixelSize, bool bold = false);
QFont badgeFont();

}  // namespace orv::shell_look
