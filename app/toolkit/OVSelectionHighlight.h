#pragma once
// The look the application's lists share under their cells: selected rows
// filled with a blue gradient while the list has the focus in the active
// window (flat grey otherwise), alternate rows shaded, and a light grid line
// along the bottom of every row. The cells draw no selection of their own.

#include <QBrush>
#include <QRect>

class QAbstractItemView;
class QPainter;
class QPalette;

namespace orv {

class OVSelectionHighlight {
public:
    // Row fill for a selection: the blue gradient when active, else grey.
    static QBrush selectionBrush(const QRect& row, bool active);
    static QColor gridColor() { return QColor(239, 239, 239); }
    // True when `view`'s selection is drawn active: it has the focus in the active window.
    static bool isActive(const QAbstractItemView* view);
    // Clears the highlight the cells and the style would paint over the row
    // fill, and makes selected text white.
    static void preparePalette(QAbstractItemView* view);
    // The fill of a whole row under its cells: the selection, else the alternate shade.
    static void paintRow(QPainter* painter, const QRect& row, bool selected, bool alternate, bool active,
                         const QBrush& alternateShade);
    // The alternate rows' shade of a view whose palette preparePalette changed.
    static QBrush alternateBrush(const QAbstractItemView* view);
    // The grid line on the bottom pixel row of `row`.
    static void paintGridLine(QPainter* painter, const QRect& row);
};

}  // namespace orv
