#include "app/toolkit/OVTableHeaderView.h"

#include <QPainter>
#include <QPainterPath>
#include <QGuiApplication>
#include <QCursor>

#include "app/toolkit/NSColor+LXExtension.h"

namespace orv {

OVTableHeaderView::OVTableHeaderView(QWidget* parent) : QHeaderView(Qt::Horizontal, parent)
{
    setFixedHeight(30);
    setSectionsClickable(true);
    setHighlightSections(false);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

QRect OVTableHeaderView::titleRect(const QRect& section, bool withArrow)
{
    return section.adjusted(15, 0, -15 - (withArrow ? 15 : 0), 0);
}

void OVTableHeaderView::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const
{
    painter->save();
    const bool pressed = rect.width() >= 20 && (QHeaderView::sectionsClickable()) &&
                         (QGuiApplication::mouseButtons() & Qt::LeftButton) &&
                         logicalIndexAt(mapFromGlobal(QCursor::pos())) == logicalIndex && underMouse();
    const QColor background(252, 252, 252);
    painter->fillRect(pressed ? rect.adjusted(0, 0, -1, -1) : rect, pressed ? darkenBy(background, 0.03) : background);
    const QColor line(229, 229, 229);
    painter->fillRect(QRect(rect.x(), rect.bottom(), rect.width(), 1), line);
    painter->fillRect(QRect(rect.right(), rect.y(), 1, rect.height()), line);
    if (rect.width() >= 20) {
        const bool sorted = isSortIndicatorShown() && sortIndicatorSection() == logicalIndex;
        const QRect box = titleRect(rect, sorted);
        QFont font = painter->font();
        font.setPixelSize(13);
        painter->setFont(font);
        const QColor text = colorWithHex("5b5c62");
        painter->setPen(pressed ? darkenBy(text, 0.3) : text);
        const QString title = model() ? model()->headerData(logicalIndex, orientation()).toString() : QString();
        const int align = model() ? model()->headerData(logicalIndex, orientation(), Qt::TextAlignmentRole).toInt() : 0;
        painter->drawText(box, (align & Qt::AlignHorizontal_Mask ? align & Qt::AlignHorizontal_Mask : Qt::AlignLeft) |
                                   Qt::AlignVCenter,
                          QFontMetrics(font).elidedText(title, Qt::ElideRight, std::max(box.width(), 0)));
        if (sorted) {
            // A small arrow in the room kept at the right.
            painter->setRenderHint(QPainter::Antialiasing);
            const QPointF c(rect.right() - 15 - 5, rect.center().y() + 0.5);
            QPainterPath arrow;
            if (sortIndicatorOrder() == Qt::AscendingOrder) {
                arrow.moveTo(c + QPointF(-4, 2));
                arrow.lineTo(c + QPointF(4, 2));
                arrow.lineTo(c + QPointF(0, -3));
            } else {
                arrow.moveTo(c + QPointF(-4, -2));
                arrow.lineTo(c + QPointF(4, -2));
                arrow.lineTo(c + QPointF(0, 3));
            }
            painter->fillPath(arrow, text);
        }
    }
    painter->restore();
}

}  // namespace orv
