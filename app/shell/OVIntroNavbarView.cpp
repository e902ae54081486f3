#include "app/shell/OVIntroNavbarView.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

namespace orv {

namespace {
constexpr int kCell = 20;
const QColor kDotColor(0x00, 0x7e, 0xff);
}  // namespace

OVIntroNavbarView::OVIntroNavbarView(QWidget* parent) : QWidget(parent) {}

void OVIntroNavbarView::setCurrentPage(uint64_t page)
{
    if (page == currentPage_)
        return;
    currentPage_ = page;
    ++repaintRequests_;
    update();
}

uint64_t OVIntroNavbarView::pageCount() const { return delegate_ ? delegate_->numberOfPage(const_cast<OVIntroNavbarView&>(*this)) : 0; }

std::vector<QRect> OVIntroNavbarView::cellRects(uint64_t pages) const
{
    std::vector<QRect> cells;
    const int first = static_cast<int>(width() / 2.0 - double(pages) * kCell / 2.0);
    // 20-point cells at y 8 from the bottom of the bar.
    const int top = height() - 8 - kCell;
    for (uint64_t i = 0; i < pages; ++i)
        cells.emplace_back(first + static_cast<int>(i) * kCell, top, kCell, kCell);
    return cells;
}

void OVIntroNavbarView::paintEvent(QPaintEvent*)
{
    const uint64_t pages = pageCount();
    if (pages < 2)
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const auto cells = cellRects(pages);
    for (size_t i = 0; i < cells.size(); ++i) {
        const QRectF dot = QRectF(cells[i]).adjusted(6, 6, -6, -6);
        QPainterPath path;
        path.addEllipse(dot);
        if (i + 1 == currentPage_)
            painter.fillPath(path, kDotColor);
        // Stroked inside the outline: a doubled line clipped to the path.
        painter.save();
        painter.setClipPath(path);
        painter.setPen(QPen(kDotColor, 2.0));
        painter.drawPath(path);
        painter.restore();
    }
}

void OVIntroNavbarView::mouseReleaseEvent(QMouseEvent* event)
{
    const uint64_t pages = pageCount();
    if (pages < 2 || !delegate_)
        return;
    const auto cells = cellRects(pages);
    for (size_t i = 0; i < cells.size(); ++i) {
        if (cells[i].adjusted(2, 2, -2, -2).contains(event->position().toPoint()))
            delegate_->slideToPage(i + 1, currentPage_);
    }
}

}  // namespace orv
