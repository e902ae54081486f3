#pragma once
// The data cell of the list table's columns: the vertically centred text
// cell, its text aligned as the table's column is unless the item says otherwise.

#include "app/toolkit/OVVCenterTextFieldCell.h"

namespace orv {

class OVSongTableCell : public OVVCenterTextFieldCell {
    Q_OBJECT
public:
    using OVVCenterTextFieldCell::OVVCenterTextFieldCell;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

}  // namespace orv
