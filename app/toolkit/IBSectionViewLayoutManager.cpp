#include "app/toolkit/IBSectionViewLayoutManager.h"

#include <cmath>

namespace orv {

namespace {
// Far more columns than any screen holds; keeps the double-to-integer
// conversion defined for absurd widths.
constexpr double kMaxColumns = 1e6;
}  // namespace

int64_t IBSectionViewLayoutManager::countOfColumnForWidth(double width) const
{
    const double divisor = itemViewWSpacing_ + itemSize_.width();
    if (!(divisor > 0))
        return 1;
    const double q = std::trunc((width - (itemViewMarginMaxX_ + itemViewMarginMinX_)) / divisor);
    if (!(q >= 1))  // also NaN
        return 1;
    return static_cast<int64_t>(std::min(q, kMaxColumns));
}

int64_t IBSectionViewLayoutManager::columnOfIndex(int64_t index) const
{
    return index % countOfColumn();
}

QRectF IBSectionViewLayoutManager::itemRectOfIndexForWidth(int64_t index, double width) const
{
    const int64_t columns = countOfColumnForWidth(width);
    const auto row = static_cast<double>(index / columns);
    const auto column = static_cast<double>(index % columns);
    const double x = std::floor((column + 1) * itemViewWSpacing_ + column * itemSize_.width() + itemViewMarginMinX_);
    const double y = std::floor(row * itemViewHSpacing_ + row * itemSize_.height() + itemViewMarginMaxY_ +
                                sectionHeaderViewHeight_);
    return QRectF(x, y, itemSize_.width(), itemSize_.height());
}

int64_t IBSectionViewLayoutManager::rowCountForWidth(double width, int64_t itemCount) const
{
    const int64_t columns = countOfColumnForWidth(width);
    if (itemCount <= columns)
        return 1;
    return itemCount / columns + (itemCount % columns > 0 ? 1 : 0);
}

double IBSectionViewLayoutManager::contentHeightForWidth(double width, int64_t itemCount) const
{
    const auto rows = static_cast<double>(rowCountForWidth(width, itemCount));
    return sectionBottomViewHeight_ + sectionHeaderViewHeight_ + itemViewMarginMinY_ + itemViewMarginMaxY_ +
           (rows - 1) * itemViewHSpacing_ + rows * itemSize_.height();
}

double IBSectionViewLayoutManager::contentHeightWithLayoutWidht(double width)
{
    layoutWidth_ = width;
    return contentHeightForWidth(width, itemCount_);
}

}  // namespace orv
