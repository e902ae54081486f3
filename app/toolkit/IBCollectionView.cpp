// Data, display, reuse and scrolling of the grid.

#include "app/toolkit/IBCollectionView.h"

#include <QMetaObject>
#include <QResizeEvent>
#include <QScrollBar>
#include <QtDebug>
#include <algorithm>
#include <cmath>
#include <utility>

#include "app/toolkit/IBCollectionItemView.h"
#include "app/toolkit/IBCollectionSectionView.h"
#include "app/toolkit/IBCollectionSelectionRegionView.h"
#include "app/toolkit/IBCollectionViewDataSource.h"
#include "app/toolkit/IBCollectionViewDelegate.h"
#include "app/toolkit/IBSectionViewLayoutManager.h"

namespace orv {

namespace {
// Repeated relayouts while a scroll bar appears or disappears settle within this many passes.
constexpr int kMaxRelayoutPasses = 3;
}  // namespace

IBCollectionView::IBCollectionView(QWidget* parent) : QAbstractScrollArea(parent)
{
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setFocusPolicy(Qt::StrongFocus);
    contentView_ = new QWidget(viewport());
    contentView_->setObjectName(QStringLiteral("IBCollectionContentView"));
    contentView_->setGeometry(viewport()->rect());
    contentView_->show();
    singleClickTimer_.setSingleShot(true);
    connect(&singleClickTimer_, &QTimer::timeout, this, [this] {
        if (auto pair = std::exchange(pendingClick_, std::nullopt))
            onItemViewSingleClick(*pair);
    });
    autoscrollTimer_.setInterval(40);
    connect(&autoscrollTimer_, &QTimer::timeout, this, &IBCollectionView::autoscrollStep);
}

IBCollectionView::~IBCollectionView()
{
    singleClickTimer_.stop();
    autoscrollTimer_.stop();
}

void IBCollectionView::registerClass(const QMetaObject* viewClass, const QString& identifier)
{
    if (!viewClass || identifier.isEmpty())
        return;
    if (viewClass->inherits(&IBCollectionItemView::staticMetaObject) ||
        viewClass->inherits(&IBCollectionSectionView::staticMetaObject))
        classMap_.insert(identifier, viewClass);
}

QWidget* IBCollectionView::dequeueReusableViewWithIdentifier(const QString& identifier)
{
    if (identifier.isEmpty() || !classMap_.contains(identifier))
        return nullptr;
    QList<QWidget*>& pool = reusableViews_[identifier];
    return pool.isEmpty() ? nullptr : pool.takeFirst();
}

IBSectionViewLayoutManager* IBCollectionView::defaultLayoutManager()
{
    static IBSectionViewLayoutManager shared;
    return &shared;
}

IBSectionViewLayoutManager* IBCollectionView::layoutWithSectionIndex(int64_t section)
{
    IBSectionViewLayoutManager* layout = delegate_ ? delegate_->collectionViewSectionLayoutManager(this, section) : nullptr;
    if (!layout)
        layout = defaultLayoutManager();
    layout->setItemCount(itemCountInSectionIndex(section));
    return layout;
}

int64_t IBCollectionView::sectionCount()
{
    if (sectionCount_ < 0)
        sectionCount_ = 0;
    return sectionCount_;
}

int64_t IBCollectionView::itemCountInSectionIndex(int64_t section) const
{
    if (section < 0 || section >= static_cast<int64_t>(itemCountInSection_.size()))
        return 0;
    return itemCountInSection_[static_cast<size_t>(section)];
}

bool IBCollectionView::sectionExpanded(int64_t section)
{
    return !delegate_ || delegate_->collectionViewSectionIsExpand(this, section);
}

QRectF IBCollectionView::sectionFrame(int64_t section) const
{
    if (section < 0 || section >= static_cast<int64_t>(sectionViewCacheFrames_.size()))
        return QRectF();
    return sectionViewCacheFrames_[static_cast<size_t>(section)];
}

void IBCollectionView::reloadData()
{
    // A click reported after the reload would name a pair of the old data.
    singleClickTimer_.stop();
    pendingClick_.reset();
    sectionCount_ = -1;
    itemCountInSection_.clear();
    dropAllViews();
    clearSelection();
    sectionViewCacheFrames_.clear();

    if (dataSource_) {
        const std::optional<int64_t> sections = dataSource_->collectionViewSectionCount(this);
        sectionCount_ = std::max<int64_t>(0, sections.value_or(0));
        const int64_t asked = std::max<int64_t>(1, sectionCount_);
        itemCountInSection_.reserve(static_cast<size_t>(asked));
        for (int64_t section = 0; section < asked; ++section)
            itemCountInSection_.push_back(std::max<int64_t>(0, dataSource_->collectionViewItemCount(this, section)));
    }
    isSectionViewMode_ = sectionCount() > 0;

    inLayout_ = true;
    placeContentView(documentContentSize().height());
    verticalScrollBar()->setValue(0);
    contentView_->move(0, 0);
    inLayout_ = false;
    updateDisplayWithRect(visibleRect());
    if (delegate_)
        delegate_->collectionViewSelectionDidChange(this);
}

QSizeF IBCollectionView::documentContentSize()
{
    const double width = viewport()->width();
    const double boundsHeight = viewport()->height();
    if (!dataSource_)
        return QSizeF(width, boundsHeight);
    double height = 0;
    if (isSectionViewMode_) {
        sectionViewCacheFrames_.clear();
        sectionViewCacheFrames_.reserve(static_cast<size_t>(sectionCount_));
        for (int64_t section = 0; section < sectionCount_; ++section) {
            IBSectionViewLayoutManager* layout = layoutWithSectionIndex(section);
            const double sectionHeight = sectionExpanded(section) ? layout->contentHeightWithLayoutWidht(width)
                                                                  : layout->sectionHeaderViewHeight();
            sectionViewCacheFrames_.emplace_back(0, height, width, sectionHeight);
            height += sectionHeight;
        }
    } else {
        height = layoutWithSectionIndex(0)->contentHeightWithLayoutWidht(width);
    }
    return QSizeF(width, std::max(height, boundsHeight));
}

void IBCollectionView::placeContentView(double height)
{
    const int viewportHeight = viewport()->height();
    // Widget geometry is integral and bounded; the content never exceeds that bound.
    const int contentHeight = static_cast<int>(std::min<double>(std::ceil(height), QWIDGETSIZE_MAX));
    QScrollBar* bar = verticalScrollBar();
    bar->setRange(0, std::max(0, contentHeight - viewportHeight));
    bar->setPageStep(viewportHeight);
    bar->setSingleStep(20);
    contentView_->setGeometry(0, -bar->value(), viewport()->width(), contentHeight);
}

QRectF IBCollectionView::visibleRect() const
{
    return QRectF(0, verticalScrollBar()->value(), viewport()->width(), viewport()->height());
}

QPointF IBCollectionView::scrollOffsetPoint() const
{
    return QPointF(0, verticalScrollBar()->value());
}

void IBCollectionView::scrollToOffsetPoint(QPointF point)
{
    verticalScrollBar()->setValue(static_cast<int>(std::lround(point.y())));
}

void IBCollectionView::scrollContentsBy(int, int)
{
    contentView_->move(0, -verticalScrollBar()->value());
    if (inLayout_)
        return;
    const QRectF visible = visibleRect();
    updateDisplayWithRect(visible);
    recycleOutside(visible);
}

bool IBCollectionView::viewportEvent(QEvent* event)
{
    if (event->type() == QEvent::Resize)
        updateLayout();
    return QAbstractScrollArea::viewportEvent(event);
}

void IBCollectionView::updateLayout()
{
    if (inLayout_) {
        relayoutPending_ = true;
        return;
    }
    for (int pass = 0; pass < kMaxRelayoutPasses; ++pass) {
        relayoutPending_ = false;
        inLayout_ = true;
        // Views that no longer meet the visible rectangle must not linger at
        // their old places; the display pass shows the ones that still do.
        for (QWidget* view : visibleSectionViews_)
            view->hide();
        for (QWidget* view : visibleItemViews_)
            view->hide();
        sectionViewCacheFrames_.clear();
        placeContentView(documentContentSize().height());
        inLayout_ = false;
        const QRectF visible = visibleRect();
        updateDisplayWithRect(visible);
        recycleOutside(visible);
        if (!relayoutPending_)
            break;
    }
}

QList<int64_t> IBCollectionView::sectionIndexSetWithRect(QRectF rect) const
{
    QList<int64_t> sections;
    for (size_t section = 0; section < sectionViewCacheFrames_.size(); ++section) {
        const QRectF& frame = sectionViewCacheFrames_[section];
        if (frame.intersects(rect) || frame.contains(rect.topLeft()))
            sections.append(static_cast<int64_t>(section));
    }
    return sections;
}

QList<int64_t> IBCollectionView::itemIndexSetWithRect(QRectF rect, int64_t section,
                                                      const IBSectionViewLayoutManager* layout) const
{
    QList<int64_t> items;
    const int64_t count = itemCountInSectionIndex(section);
    const double width = viewport()->width();
    const double sectionY = isSectionViewMode_ ? sectionFrame(section).y() : 0;
    // Rows are evenly spaced, so the walk may begin two rows above the
    // rectangle: nothing earlier can meet it.
    int64_t first = 0;
    const double rowPitch = layout->itemSize().height() + layout->itemViewHSpacing();
    if (layout->itemSize().height() > 0 && layout->itemViewHSpacing() >= 0) {
        const double top = sectionY + layout->sectionHeaderViewHeight() + layout->itemViewMarginMaxY();
        const double row = std::floor((rect.y() - top) / rowPitch) - 1;
        if (row > 0)
            first = std::min(count, static_cast<int64_t>(std::min(row, 9e15)) * layout->countOfColumnForWidth(width));
    }
    for (int64_t item = first; item < count; ++item) {
        const QRectF itemRect = layout->itemRectOfIndexForWidth(item, width).translated(0, sectionY);
        if (itemRect.intersects(rect) || itemRect.contains(rect.topLeft()))
            items.append(item);
        if (itemRect.y() > rect.y() + rect.height())
            break;
    }
    return items;
}

QList<IBSectionIndexSet> IBCollectionView::itemIndexsWithRect(QRectF rect)
{
    QList<IBSectionIndexSet> pairs;
    if (isSectionViewMode_) {
        for (int64_t section : sectionIndexSetWithRect(rect))
            for (int64_t item : itemIndexSetWithRect(rect, section, layoutWithSectionIndex(section)))
                pairs.append(IBSectionIndexSet(section, item));
    } else {
        for (int64_t item : itemIndexSetWithRect(rect, 0, layoutWithSectionIndex(0)))
            pairs.append(IBSectionIndexSet(0, item));
    }
    return pairs;
}

QList<IBSectionIndexSet> IBCollectionView::visibleItemIndexSets()
{
    return itemIndexsWithRect(visibleRect());
}

QList<int64_t> IBCollectionView::visibleSectionIndexSets() const
{
    return sectionIndexSetWithRect(visibleRect());
}

IBCollectionItemView* IBCollectionView::itemViewWithIndexSet(const std::optional<IBSectionIndexSet>& pair) const
{
    return pair ? visibleItemViews_.value(*pair) : nullptr;
}

QRectF IBCollectionView::itemRectWithIndexSet(const IBSectionIndexSet& pair)
{
    if (isSectionViewMode_ && !sectionExpanded(pair.sectionIndex()))
        return QRectF();
    const QRectF rect =
        layoutWithSectionIndex(pair.sectionIndex())->itemRectOfIndexForWidth(pair.itemIndex(), viewport()->width());
    return isSectionViewMode_ ? convertItemRect(rect, sectionFrame(pair.sectionIndex())) : rect;
}

QRectF IBCollectionView::convertItemRect(QRectF itemRect, QRectF sectionFrame)
{
    return itemRect.translated(0, sectionFrame.y());
}

void IBCollectionView::scrollToIndexSet(const std::optional<IBSectionIndexSet>& pair)
{
    if (!pair)
        return;
    const QRectF visible = visibleRect();
    const QRectF item = itemRectWithIndexSet(*pair);
    if (visible.contains(item))
        return;
    if (visible.y() > item.y())
        scrollToOffsetPoint(QPointF(0, item.y()));
    else if (item.bottom() > visible.bottom())
        scrollToOffsetPoint(QPointF(0, item.bottom() - visible.height()));
}

void IBCollectionView::updateDisplayWithRect(QRectF rect)
{
    if (!delegate_ || !dataSource_)
        return;
    const double width = viewport()->width();
    if (!isSectionViewMode_) {
        IBSectionViewLayoutManager* layout = layoutWithSectionIndex(0);
        for (int64_t item : itemIndexSetWithRect(rect, 0, layout))
            placeItem(IBSectionIndexSet(0, item), layout->itemRectOfIndexForWidth(item, width), contentView_, nullptr);
        return;
    }
    const QRectF visible = visibleRect();
    for (int64_t section : sectionIndexSetWithRect(rect)) {
        IBCollectionSectionView* sectionView = visibleSectionViews_.value(section);
        if (!sectionView) {
            sectionView = delegate_->collectionViewSectionViewWithIndex(this, section);
            if (!sectionView) {
                qWarning("IBCollectionView: the delegate gave no view for section %lld; skipped",
                         static_cast<long long>(section));
                continue;
            }
            visibleSectionViews_.insert(section, sectionView);
        }
        const QRectF frame = sectionFrame(section);
        sectionView->setGeometry(frame.toRect());
        delegate_->collectionViewWillDisplaySectionView(this, sectionView, section);
        if (sectionView->parentWidget() != contentView_)
            sectionView->setParent(contentView_);
        sectionView->viewDidMoveToSuperview();
        if (sectionView->isHidden())
            sectionView->show();

        const bool expanded = sectionExpanded(section);
        IBSectionViewLayoutManager* layout = layoutWithSectionIndex(section);
        const QList<int64_t> items = itemIndexSetWithRect(rect, section, layout);
        if (!expanded) {
            for (int64_t item : items) {
                const IBSectionIndexSet pair(section, item);
                if (IBCollectionItemView* view = visibleItemViews_.take(pair))
                    dropView(view);
                removeSelected(pair);
            }
            continue;
        }
        QWidget* header = sectionView->hasHeader() ? sectionView->headerView() : nullptr;
        if (header)
            header->resize(qRound(width), qRound(layout->sectionHeaderViewHeight()));
        if (QWidget* bottom = sectionView->hasBottom() ? sectionView->bottomView() : nullptr) {
            const int height = qRound(layout->sectionBottomViewHeight());
            bottom->setGeometry(0, qRound(frame.height()) - height, qRound(width), height);
        }
        if (!fixedSectionHeaderView_)
            sectionView->trackHeaderViewWithVisibleRect(visible);
        else if (header)
            header->move(0, 0);
        for (int64_t item : items)
            placeItem(IBSectionIndexSet(section, item), layout->itemRectOfIndexForWidth(item, width), sectionView,
                      header);
    }
}

void IBCollectionView::placeItem(const IBSectionIndexSet& pair, QRectF frame, QWidget* parent, QWidget* header)
{
    IBCollectionItemView* view = visibleItemViews_.value(pair);
    if (!view) {
        view = delegate_->collectionViewItemViewWithIndexSet(this, pair);
        if (!view) {
            qWarning("IBCollectionView: the delegate gave no view for item (%lld, %lld); skipped",
                     static_cast<long long>(pair.sectionIndex()), static_cast<long long>(pair.itemIndex()));
            return;
        }
    }
    view->setGeometry(frame.toRect());
    view->setIndexSet(pair);
    delegate_->collectionViewWillDisplayItemView(this, view, pair);
    visibleItemViews_.insert(pair, view);
    if (view->parentWidget() != parent) {
        view->setParent(parent);
        if (header && header->parentWidget() == parent)
            view->stackUnder(header);
    }
    if (view->isHidden())
        view->show();
    applySelectedState(view);
}

void IBCollectionView::applySelectedState(IBCollectionItemView* view)
{
    const IBSectionIndexSet pair = view->indexSet();
    if (!selectedSet_.contains(pair)) {
        view->setSelected(false);
        return;
    }
    if (!selectionRegionView_) {
        view->setSelected(true);
        return;
    }
    // During a rubber-band selection the tile decides whether the band catches it.
    QRectF band = selectingRegionRect_.translated(-itemRectWithIndexSet(pair).topLeft());
    if (band.width() <= 0)
        band.setWidth(1);
    if (band.height() <= 0)
        band.setHeight(1);
    if (view->accpetSelectWithRect(band)) {
        view->setSelected(true);
    } else {
        view->setSelected(false);
        removeSelected(pair);
    }
}

void IBCollectionView::recycleOutside(QRectF visible)
{
    QList<int64_t> sections;
    for (auto it = visibleSectionViews_.cbegin(); it != visibleSectionViews_.cend(); ++it)
        if (!sectionFrame(it.key()).intersects(visible))
            sections.append(it.key());
    for (int64_t section : sections)
        removeSubViewToReusable(visibleSectionViews_.take(section));

    QList<IBSectionIndexSet> items;
    for (auto it = visibleItemViews_.cbegin(); it != visibleItemViews_.cend(); ++it) {
        QRectF frame = it.value()->geometry();
        if (isSectionViewMode_)
            frame.translate(0, sectionFrame(it.key().sectionIndex()).y());
        if (!frame.intersects(visible))
            items.append(it.key());
    }
    for (const IBSectionIndexSet& pair : items)
        removeSubViewToReusable(visibleItemViews_.take(pair));
}

void IBCollectionView::removeSubViewToReusable(QWidget* view)
{
    if (!view)
        return;
    auto* item = qobject_cast<IBCollectionItemView*>(view);
    auto* section = qobject_cast<IBCollectionSectionView*>(view);
    const QString identifier = item ? item->reuseIdentifier() : section ? section->reuseIdentifier() : QString();
    auto pool = identifier.isEmpty() ? reusableViews_.end() : reusableViews_.find(identifier);
    if (pool != reusableViews_.end()) {
        pool->append(view);
        parkView(view);
    } else {
        dropView(view);
    }
    if (item && delegate_)
        delegate_->collectionViewDidRemoveItemView(this, item, item->indexSet());
}

void IBCollectionView::parkView(QWidget* view)
{
    // Pooled tiles wait hidden where they are; moving them between parents
    // costs more than the rest of a scroll step. A section that is dropped
    // hands its tiles to the content view first (dropView).
    view->hide();
}

void IBCollectionView::dropView(QWidget* view)
{
    view->hide();
    if (qobject_cast<IBCollectionSectionView*>(view) && !droppingAll_) {
        for (IBCollectionItemView* tile : view->findChildren<IBCollectionItemView*>(Qt::FindDirectChildrenOnly)) {
            tile->hide();
            tile->setParent(contentView_);
        }
    }
    // Later, because the view may be the one whose event is being handled.
    view->deleteLater();
}

void IBCollectionView::dropAllViews()
{
    QSet<QWidget*> dropped;
    for (QWidget* view : visibleItemViews_)
        dropped.insert(view);
    for (QWidget* view : visibleSectionViews_)
        dropped.insert(view);
    for (const QList<QWidget*>& pool : reusableViews_)
        for (QWidget* view : pool)
            dropped.insert(view);
    for (QObject* child : contentView_->children())
        if (child->isWidgetType())
            dropped.insert(static_cast<QWidget*>(child));
    visibleItemViews_.clear();
    visibleSectionViews_.clear();
    reusableViews_.clear();
    droppingAll_ = true;
    for (QWidget* view : dropped)
        dropView(view);
    droppingAll_ = false;
}

}  // namespace orv
