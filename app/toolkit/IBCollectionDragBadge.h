#pragma once
// The red count badge of a drag out of the grid, and the drag pixmap that
// carries it 15 right and 20 below the pointer.

#include <QImage>
#include <QPixmap>
#include <QPoint>

namespace orv {

// A filled red circle of diameter trunc(max(text width, text height) + 4)
// with the count in white bold 12-pixel type.
QImage dragCountBadge(qsizetype count);
// The tile picture (may be null) with the badge composed in; the hot spot is
// the pointer's position within the tile picture.
QPixmap dragPixmapWithBadge(const QPixmap& tile, QPoint hotSpot, qsizetype count);
// Where the badge's top-left corner sits relative to the pointer.
inline constexpr QPoint kDragBadgeOffset{15, 20};

}  // namespace orv
