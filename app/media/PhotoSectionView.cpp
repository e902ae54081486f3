#include "app/media/PhotoSectionView.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <cmath>

namespace orv {

OVCollectionSectionHeaderView::OVCollectionSectionHeaderView(QWidget* parent) : IBCollectionSectionHeaderView(parent)
{
    setAttribute(Qt::WA_TranslucentBackground);
}

QFont OVCollectionSectionHeaderView::titleFont()
{
    QFont font = QApplication::font();
    font.setBold(true);
    return font;
}

QRectF OVCollectionSectionHeaderView::titleRect() const
{
    const QFontMetricsF metrics(titleFont());
    const double w = metrics.horizontalAdvance(sectionTitle_);
    const double h = metrics.height();
    return QRectF(22, std::ceil((height() - h) * 0.5), std::min(w, std::max(0.0, width() - 22.0)), h);
}

void OVCollectionSectionHeaderView::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.fillRect(event->rect(), QColor(255, 255, 255, 247));
    painter.setFont(titleFont());
    painter.setPen(QColor::fromRgbF(0.316f, 0.316f, 0.316f));
    const QRectF r = titleRect();
    const QFontMetricsF metrics(titleFont());
    painter.drawText(r, Qt::AlignLeft | Qt::AlignVCenter, metrics.elidedText(sectionTitle_, Qt::ElideMiddle, r.width()));
}

OVCollectionSectionView::OVCollectionSectionView(QWidget* parent) : IBCollectionSectionView(parent)
{
    setHasHeader(true);
    setHasBottom(false);
}

OVCollectionSectionHeaderView* OVCollectionSectionView::sectionHeader() const
{
    return qobject_cast<OVCollectionSectionHeaderView*>(headerView());
}

void OVCollectionSectionView::setSectionTitle(const QString& title)
{
    if (title == sectionTitle_ && !title.isNull())
        return;
    sectionTitle_ = title;
    if (auto* header = sectionHeader()) {
        header->setSectionTitle(title);
        header->update();
    }
    update();
}

void OVCollectionSectionView::viewDidMoveToSuperview()
{
    if (hasHeader() && !headerView()) {
        auto* header = new OVCollectionSectionHeaderView;
        header->setSectionTitle(sectionTitle_);
        setHeaderView(header);
    }
    IBCollectionSectionView::viewDidMoveToSuperview();
}

double OVCollectionSectionView::stickyHeaderY(double sectionY, double sectionHeight, double headerHeight,
                                              double bottomHeight, double visibleY)
{
    if (sectionY >= visibleY)
        return 0;
    const double limit = sectionHeight - headerHeight - bottomHeight;
    return std::max(0.0, std::min(visibleY - sectionY, limit));
}

void OVCollectionSectionView::trackHeaderViewWithVisibleRect(QRectF visible)
{
    QWidget* header = headerView();
    if (!header)
        return;
    const double bottom = hasBottom() && bottomView() ? bottomView()->height() : 0;
    const double y = stickyHeaderY(geometry().y(), height(), header->height(), bottom, visible.y());
    header->move(qRound(visible.x()), qRound(y));
    header->raise();
}

}  // namespace orv
