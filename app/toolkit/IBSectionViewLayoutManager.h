#pragma once
// Geometry of one grid section: how many columns fit a width, where each item
// lies and how tall the section is. Rectangles are in section coordinates
// (origin at the section's top-left, y downwards).
//
// The object keeps the item count and the layout width of the section it was
// last prepared for, because one manager may serve many sections. The const
// ...ForWidth() functions take both explicitly and touch no state; the grid
// uses those, so a shared manager cannot hand one section another's numbers.

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <cstdint>

namespace orv {

class IBCollectionView;

class IBSectionViewLayoutManager {
public:
    IBSectionViewLayoutManager() = default;
    virtual ~IBSectionViewLayoutManager() = default;

    QSizeF itemSize() const { return itemSize_; }
    void setItemSize(QSizeF size) { itemSize_ = size; }
    double itemViewWSpacing() const { return itemViewWSpacing_; }
    void setItemViewWSpacing(double spacing) { itemViewWSpacing_ = spacing; }
    double itemViewHSpacing() const { return itemViewHSpacing_; }
    void setItemViewHSpacing(double spacing) { itemViewHSpacing_ = spacing; }
    double itemViewMarginMinX() const { return itemViewMarginMinX_; }
    void setItemViewMarginMinX(double margin) { itemViewMarginMinX_ = margin; }
    double itemViewMarginMaxX() const { return itemViewMarginMaxX_; }
    void setItemViewMarginMaxX(double margin) { itemViewMarginMaxX_ = margin; }
    // Counted into the section height only.
    double itemViewMarginMinY() const { return itemViewMarginMinY_; }
    void setItemViewMarginMinY(double margin) { itemViewMarginMinY_ = margin; }
    // Between the header strip and the first row.
    double itemViewMarginMaxY() const { return itemViewMarginMaxY_; }
    void setItemViewMarginMaxY(double margin) { itemViewMarginMaxY_ = margin; }
    double sectionHeaderViewHeight() const { return sectionHeaderViewHeight_; }
    void setSectionHeaderViewHeight(double height) { sectionHeaderViewHeight_ = height; }
    double sectionBottomViewHeight() const { return sectionBottomViewHeight_; }
    void setSectionBottomViewHeight(double height) { sectionBottomViewHeight_ = height; }
    // Not owned; the grid never sets it.
    IBCollectionView* collectionView() const { return collectionView_; }
    void setCollectionView(IBCollectionView* view) { collectionView_ = view; }
    int64_t itemCount() const { return itemCount_; }
    void setItemCount(int64_t count) { itemCount_ = count; }

    // Against the recorded layout width (see contentHeightWithLayoutWidht).
    int64_t countOfColumn() const { return countOfColumnForWidth(layoutWidth_); }
    int64_t columnOfIndex(int64_t index) const;
    QRectF itemRectOfIndex(int64_t index) const { return itemRectOfIndexForWidth(index, layoutWidth_); }
    // Records the width, then answers the height of a section of itemCount() items.
    double contentHeightWithLayoutWidht(double width);
    // The grid does its own hit tests; always 0.
    int64_t itemIndexWithPoint(QPointF) const { return 0; }

    // Stateless forms. At least one column, also when the spacing plus the
    // item width is not positive or the width is not a number.
    int64_t countOfColumnForWidth(double width) const;
    QRectF itemRectOfIndexForWidth(int64_t index, double width) const;
    double contentHeightForWidth(double width, int64_t itemCount) const;
    // Rows a section of that many items takes: at least 1.
    int64_t rowCountForWidth(double width, int64_t itemCount) const;

private:
    QSizeF itemSize_{100, 100};
    double itemViewWSpacing_ = 10;
    double itemViewHSpacing_ = 10;
    double itemViewMarginMinX_ = 10;
    double itemViewMarginMaxX_ = 10;
    double itemViewMarginMinY_ = 10;
    double itemViewMarginMaxY_ = 10;
    double sectionHeaderViewHeight_ = 20;
    double sectionBottomViewHeight_ = 20;
    IBCollectionView* collectionView_ = nullptr;
    int64_t itemCount_ = 0;
    double layoutWidth_ = 0;
};

}  // namespace orv
