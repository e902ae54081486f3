#include "app/panes/OVFileNameCell.h"

namespace orv {

QSize OVFileNameCell::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = OVIconTextFieldCell::sizeHint(option, index);
    size.setHeight(40);
    return size;
}

}  // namespace orv
