#pragma once
// Tiles, headers and the data source/delegate shared by the grid benchmark
// and the demo: 100 x 100 tiles that paint a picture and a label.

#include <QFontMetrics>
#include <QPainter>
#include <QPixmap>
#include <memory>
#include <vector>

#include "app/toolkit/IBCollectionItemView.h"
#include "app/toolkit/IBCollectionSectionHeaderView.h"
#include "app/toolkit/IBCollectionSectionView.h"
#include "app/toolkit/IBCollectionView.h"
#include "app/toolkit/IBCollectionViewDataSource.h"
#include "app/toolkit/IBCollectionViewDelegate.h"
#include "app/toolkit/IBSectionViewLayoutManager.h"

namespace orv::demo {

inline const QPixmap& tilePicture()
{
    static const QPixmap picture = [] {
        QPixmap pixmap(80, 60);
        pixmap.fill(QColor(90, 140, 200));
        QPainter painter(&pixmap);
        painter.setBrush(QColor(250, 210, 80));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(QRect(50, 8, 20, 20));
        painter.setBrush(QColor(60, 120, 60));
        painter.drawPolygon(QPolygon({QPoint(0, 60), QPoint(30, 25), QPoint(55, 60)}));
        return pixmap;
    }();
    return picture;
}

class DemoTile : public IBCollectionItemView {
public:
    // Opaque: the tile paints every pixel, so nothing behind it is painted first.
    explicit DemoTile(QWidget* parent = nullptr) : IBCollectionItemView(parent)
    {
        setAttribute(Qt::WA_OpaquePaintEvent);
    }
    static inline int64_t paints = 0;

protected:
    void paintEvent(QPaintEvent*) override
    {
        ++paints;
        QPainter painter(this);
        painter.fillRect(rect(), selected() ? QColor(200, 220, 250) : palette().base().color());
        painter.drawPixmap(10, 8, tilePicture());
        painter.setPen(QColor(0x5b, 0x5c, 0x62));
        const QString label = QStringLiteral("IMG_%1_%2").arg(indexSet().sectionIndex()).arg(indexSet().itemIndex());
        painter.drawText(QRect(2, 72, width() - 4, 24), Qt::AlignCenter,
                         painter.fontMetrics().elidedText(label, Qt::ElideMiddle, width() - 4));
    }
};

class DemoHeader : public IBCollectionSectionHeaderView {
public:
    explicit DemoHeader(IBCollectionSectionView* section) : IBCollectionSectionHeaderView(section), section_(section) {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), QColor(245, 245, 245, 235));
        painter.setPen(QColor(0xe0, 0xdc, 0xdc));
        painter.drawLine(0, height() - 1, width(), height() - 1);
        painter.setPen(QColor(0x45, 0x47, 0x4b));
        painter.drawText(rect().adjusted(10, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft,
                         QStringLiteral("Week %1").arg(section_->property("section").toLongLong() + 1));
    }

private:
    IBCollectionSectionView* section_;
};

// Counts and views for a grid of equal sections (or one section without sections).
class DemoModel : public IBCollectionViewDataSource, public IBCollectionViewDelegate {
public:
    int64_t sections = 0;  // 0: no sections
    int64_t itemsPerSection = 0;
    int created = 0;
    IBSectionViewLayoutManager layout;

    DemoModel()
    {
        layout.setSectionHeaderViewHeight(28);
        layout.setSectionBottomViewHeight(0);
    }
    int64_t collectionViewItemCount(IBCollectionView*, int64_t) override { return itemsPerSection; }
    std::optional<int64_t> collectionViewSectionCount(IBCollectionView*) override
    {
        return sections > 0 ? std::optional<int64_t>(sections) : std::nullopt;
    }
    IBCollectionItemView* collectionViewItemViewWithIndexSet(IBCollectionView* view, const IBSectionIndexSet&) override
    {
        if (auto* pooled = qobject_cast<IBCollectionItemView*>(view->dequeueReusableViewWithIdentifier("tile"))) {
            pooled->update();
            return pooled;
        }
        ++created;
        auto* tile = new DemoTile;
        tile->setReuseIdentifier(QStringLiteral("tile"));
        return tile;
    }
    IBCollectionSectionView* collectionViewSectionViewWithIndex(IBCollectionView* view, int64_t section) override
    {
        auto* sectionView = qobject_cast<IBCollectionSectionView*>(view->dequeueReusableViewWithIdentifier("section"));
        if (!sectionView) {
            sectionView = new IBCollectionSectionView;
            sectionView->setReuseIdentifier(QStringLiteral("section"));
            sectionView->setHeaderView(new DemoHeader(sectionView));
        }
        sectionView->setProperty("section", QVariant::fromValue<qlonglong>(section));
        if (sectionView->headerView())
            sectionView->headerView()->update();
        return sectionView;
    }
    IBSectionViewLayoutManager* collectionViewSectionLayoutManager(IBCollectionView*, int64_t) override
    {
        return sections > 0 ? &layout : nullptr;
    }

    void attach(IBCollectionView& grid)
    {
        grid.setDataSource(this);
        grid.setDelegate(this);
        grid.registerClass(&IBCollectionItemView::staticMetaObject, QStringLiteral("tile"));
        grid.registerClass(&IBCollectionSectionView::staticMetaObject, QStringLiteral("section"));
    }
};

}  // namespace orv::demo
