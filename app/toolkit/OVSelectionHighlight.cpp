#include "app/toolkit/OVSelectionHighlight.h"

#include <QAbstractItemView>
#include <QLinearGradient>
#include <QPainter>

namespace orv {

namespace {
constexpr const char* kAlternateProperty = "orvAlternateBase";
}  // namespace

QBrush OVSelectionHighlight::selectionBrush(const QRect& row, bool active)
{
    if (!active)
        return QBrush(QColor::fromRgbF(0.5725490196078431f, 0.5725490196078431f, 0.5725490196078431f));
    QLinearGradient gradient(row.topLeft(), row.bottomLeft());
    gradient.setColorAt(0, QColor(90, 138, 245));
    gradient.setColorAt(0.64, QColor(82, 131, 244));
    gradient.setColorAt(1, QColor(79, 127, 243));
    return QBrush(gradient);
}

bool OVSelectionHighlight::isActive(const QAbstractItemView* view)
{
    return view->hasFocus() && view->window()->isActiveWindow();
}

void OVSelectionHighlight::preparePalette(QAbstractItemView* view)
{
    QPalette p = view->palette();
    // Kept for the row fill, which draws the alternate shade itself.
    view->setProperty(kAlternateProperty, p.brush(QPalette::Active, QPalette::AlternateBase));
    p.setColor(QPalette::Base, Qt::white);
    for (auto group : {QPalette::Active, QPalette::Inactive}) {
        p.setBrush(group, QPalette::Highlight, Qt::transparent);
        // The row fill draws the alternate shade; a cell's own would cover a selected row.
        p.setBrush(group, QPalette::AlternateBase, Qt::transparent);
        p.setColor(group, QPalette::HighlightedText, Qt::white);
    }
    view->setPalette(p);
}

QBrush OVSelectionHighlight::alternateBrush(const QAbstractItemView* view)
{
    const QVariant kept = view->property(kAlternateProperty);
    return kept.isValid() ? kept.value<QBrush>() : view->palette().brush(QPalette::AlternateBase);
}

void OVSelectionHighlight::paintRow(QPainter* painter, const QRect& row, bool selected, bool alternate, bool active,
                                    const QBrush& alternateShade)
{
    if (selected)
        painter->fillRect(row, selectionBrush(row, active));
    else if (alternate)
        painter->fillRect(row, alternateShade);
}

void OVSelectionHighlight::paintGridLine(QPainter* painter, const QRect& row)
{
    painter->fillRect(QRect(row.left(), row.bottom(), row.width(), 1), gridColor());
}

}  // namespace orv
