#pragma once
// The list's name cell: the entry's small icon beside its name, the name
// shortened in the middle when the column is narrow (the extension stays).

#include "app/toolkit/OVIconTextFieldCell.h"

namespace orv {

class OVFileNameCell : public OVIconTextFieldCell {
    Q_OBJECT

public:
    using OVIconTextFieldCell::OVIconTextFieldCell;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

protected:
    Qt::TextElideMode elideMode() const override { return Qt::ElideMiddle; }
};

}  // namespace orv
