#pragma once
// The section of a grouped photo or video grid (one week or month) and its
// pinned header strip: the section makes its own header, hands it the title,
// and keeps it at the top of the visible area while the section passes
// under it, until the section's end pushes it up.

#include <QString>

#include "app/toolkit/IBCollectionSectionHeaderView.h"
#include "app/toolkit/IBCollectionSectionView.h"

namespace orv {

class OVCollectionSectionHeaderView : public IBCollectionSectionHeaderView {
    Q_OBJECT
public:
    explicit OVCollectionSectionHeaderView(QWidget* parent = nullptr);
    const QString& sectionTitle() const { return sectionTitle_; }
    void setSectionTitle(const QString& title) { sectionTitle_ = title; }
    static QFont titleFont();
    // 22 points from the left, centred vertically (rounded up).
    QRectF titleRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString sectionTitle_;
};

class OVCollectionSectionView : public IBCollectionSectionView {
    Q_OBJECT
public:
    explicit OVCollectionSectionView(QWidget* parent = nullptr);
    const QString& sectionTitle() const { return sectionTitle_; }
    void setSectionTitle(const QString& title);
    OVCollectionSectionHeaderView* sectionHeader() const;

    void viewDidMoveToSuperview() override;
    void trackHeaderViewWithVisibleRect(QRectF visible) override;

    // Where the header's top goes inside a section at `sectionY` (content
    // coordinates) of `sectionHeight`, for a visible area starting at `visibleY`.
    static double stickyHeaderY(double sectionY, double sectionHeight, double headerHeight, double bottomHeight,
                                double visibleY);

private:
    QString sectionTitle_;
};

}  // namespace orv
