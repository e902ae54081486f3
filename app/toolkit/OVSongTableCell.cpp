#include "app/toolkit/OVSongTableCell.h"

#include "app/toolkit/OVTableView.h"

namespace orv {

void OVSongTableCell::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const
{
    OVVCenterTextFieldCell::initStyleOption(option, index);
    const auto* table = qobject_cast<const OVTableView*>(option->widget);
    if (!table || index.data(Qt::TextAlignmentRole).isValid())
        return;
    const auto& columns = table->columns();
    if (index.column() < int(columns.size()))
        option->displayAlignment =
            (columns[size_t(index.column())].alignment & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter;
}

}  // namespace orv
