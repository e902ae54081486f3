#include "app/panes/OVPathView.h"

#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

#include "app/panes/PaneImages.h"
#include "app/toolkit/NSColor+LXExtension.h"

namespace orv {
namespace {

constexpr int kOverlap = 12;
constexpr int kTextLeft = 14;      // from a segment's left edge to its title
constexpr int kTextRight = 24;     // from the title to the segment's right edge (the separator's room)
constexpr int kLastTextRight = 14;
constexpr int kMinSegment = 48;    // a squeezed earlier segment keeps this much

QColor textColor() { return colorWithHex(QStringLiteral("5b5c62")); }

}  // namespace

OVPathView::OVPathView(QWidget* parent) : QWidget(parent)
{
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    setMouseTracking(false);
}

QFont OVPathView::titleFont() const
{
    QFont f = font();
    f.setPixelSize(13);
    return f;
}

void OVPathView::addItemWithTitle(const QString& title, OVViewModelRef object)
{
    insertItemWithTitle(title, int(cells_.size()), std::move(object));
}

void OVPathView::insertItemWithTitle(const QString& title, int index, OVViewModelRef object)
{
    auto cells = mutablePathComponentCells();
    index = std::clamp(index, 0, int(cells.size()));
    cells.insert(cells.begin() + index,
                 std::make_shared<OVPathViewComponentCell>(title.isNull() ? QString(QLatin1String("")) : title, std::move(object)));
    setPathComponentCells(std::move(cells));
}

void OVPathView::removeItemAtIndex(int index)
{
    if (index < 0 || index >= int(cells_.size()))
        return;
    auto cells = mutablePathComponentCells();
    cells.erase(cells.begin() + index);
    setPathComponentCells(std::move(cells));
}

void OVPathView::removeItemAfter(const OVPathViewComponentCell* cell)
{
    const int index = indexOfCell(cell);
    if (index < 0)
        return;
    auto cells = mutablePathComponentCells();
    cells.resize(size_t(index) + 1);
    setPathComponentCells(std::move(cells));
}

void OVPathView::removeItemAndAfter(const OVPathViewComponentCell* cell)
{
    const int index = indexOfCell(cell);
    if (index < 0)
        return;
    auto cells = mutablePathComponentCells();
    cells.resize(size_t(index));
    setPathComponentCells(std::move(cells));
}

void OVPathView::removeLastItem()
{
    if (!cells_.empty())
        removeItemAtIndex(int(cells_.size()) - 1);
}

void OVPathView::removeAllItems()
{
    setPathComponentCells({});
}

OVViewModelRef OVPathView::currentDirectory() const
{
    return cells_.empty() ? nullptr : cells_.back()->object();
}

OVViewModelRef OVPathView::enclosingDirectory() const
{
    return cells_.size() < 2 ? nullptr : cells_[cells_.size() - 2]->object();
}

OVViewModelRef OVPathView::objectAfterCell(const OVPathViewComponentCell* cell) const
{
    const int index = indexOfCell(cell);
    if (index < 0 || index + 1 >= int(cells_.size()))
        return nullptr;
    return cells_[size_t(index) + 1]->object();
}

void OVPathView::setPathComponentCells(std::vector<OVPathViewComponentCellRef> cells)
{
    // A null entry would be a segment without a title or object: leave it out.
    cells.erase(std::remove(cells.begin(), cells.end(), nullptr), cells.end());
    cells_ = std::move(cells);
    pressed_ = -1;
    updateHighlight();
    updateGeometry();
    update();
}

int OVPathView::indexOfCell(const OVPathViewComponentCell* cell) const
{
    if (!cell)
        return -1;
    for (size_t i = 0; i < cells_.size(); ++i)
        if (cells_[i].get() == cell)
            return int(i);
    return -1;
}

void OVPathView::updateHighlight()
{
    for (auto& cell : cells_)
        cell->setHighlighted(false);
    if (!cells_.empty())
        cells_.back()->setHighlighted(true);
}

int OVPathView::naturalWidth(const OVPathViewComponentCell& cell) const
{
    const QFontMetricsF metrics(titleFont());
    const bool last = !cells_.empty() && cells_.back().get() == &cell;
    // Rounded up, and a pixel to spare, so a title that fits is never cut.
    const int text = int(std::ceil(metrics.horizontalAdvance(cell.title()))) + 1;
    return kTextLeft + text + (last ? kLastTextRight : kTextRight);
}

std::vector<QRect> OVPathView::segmentFrames() const
{
    std::vector<int> widths;
    int total = 0;
    for (const auto& cell : cells_) {
        widths.push_back(naturalWidth(*cell));
        total += widths.back();
    }
    total -= kOverlap * std::max(0, int(cells_.size()) - 1);
    // Too long for the bar: take the excess from the earlier segments, longest
    // first, never below the minimum; the last segment is where the user is.
    int excess = total - width();
    while (excess > 0 && widths.size() > 1) {
        auto longest = std::max_element(widths.begin(), widths.end() - 1);
        if (*longest <= kMinSegment)
            break;
        int next = kMinSegment;
        for (auto it = widths.begin(); it != widths.end() - 1; ++it)
            if (it != longest)
                next = std::max(next, *it);
        const int cut = std::max(1, std::min(excess, *longest - next));
        *longest -= cut;
        excess -= cut;
    }
    std::vector<QRect> frames;
    int x = 0;
    for (int w : widths) {
        frames.emplace_back(x, 0, w, height());
        x += w - kOverlap;
    }
    return frames;
}

int OVPathView::segmentAt(const QPoint& point) const
{
    const auto frames = segmentFrames();
    for (int i = int(frames.size()) - 1; i >= 0; --i)
        if (frames[size_t(i)].contains(point))
            return i;
    return -1;
}

QSize OVPathView::sizeHint() const
{
    return QSize(200, 30);
}

void OVPathView::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRect frame = rect();
    p.fillRect(frame, QColor::fromRgbF(0.9882352941176471f, 0.9882352941176471f, 0.9882352941176471f));

    const auto frames = segmentFrames();
    const QImage separator = pane_images::image(QStringLiteral("OVPathbar-separator"));
    const QSizeF separatorSize = separator.deviceIndependentSize();
    const QFont font = titleFont();
    const QFontMetrics metrics(font);
    p.setFont(font);
    for (size_t i = 0; i < cells_.size(); ++i) {
        const OVPathViewComponentCell& cell = *cells_[i];
        const QRect& f = frames[i];
        const bool last = i + 1 == cells_.size();
        p.save();
        if (!last && !separator.isNull()) {
            const QRectF target(f.x() + f.width() - separatorSize.width() - 6, 0, separatorSize.width(), f.height());
            p.drawImage(target, separator);
        }
        QColor color = textColor();
        if (cell.isHighlighted())
            color = darkenBy(color, 0.3);
        p.setPen(color);
        const int textWidth = f.width() - kTextLeft - (last ? kLastTextRight : kTextRight);
        // Centred vertically on the text's own height.
        const int textHeight = metrics.height();
        const QRect textRect(f.x() + kTextLeft, f.y() + (f.height() - textHeight) / 2, std::max(0, textWidth), textHeight);
        p.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter,
                   metrics.elidedText(cell.title(), Qt::ElideMiddle, textRect.width()));
        p.restore();
    }
    // The hairline along the bottom.
    p.fillRect(QRectF(0, frame.y() + frame.height() - 1, frame.width(), 1),
               QColor::fromRgbF(0.8980392156862745f, 0.8980392156862745f, 0.8980392156862745f));
}

void OVPathView::mousePressEvent(QMouseEvent* event)
{
    pressed_ = event->button() == Qt::LeftButton ? segmentAt(event->position().toPoint()) : -1;
    event->accept();
}

void OVPathView::mouseReleaseEvent(QMouseEvent* event)
{
    const int index = pressed_;
    pressed_ = -1;
    if (event->button() != Qt::LeftButton || index < 0 || index != segmentAt(event->position().toPoint()))
        return;
    // Keep the segment alive while the pane trims the trail inside the signal.
    clicked_ = cells_[size_t(index)];
    const OVPathViewComponentCellRef keep = clicked_;
    emit pathbarAction(keep.get());
}

}  // namespace orv
