#pragma once
// One segment of the path bar: its title and the level (a folder or album
// view model) it stands for. Segments are told apart by identity, not title.

#include <QString>
#include <memory>

#include "app/viewmodels/OVViewModel.h"

namespace orv {

class OVPathViewComponentCell {
public:
    OVPathViewComponentCell(QString title, OVViewModelRef object) : title_(std::move(title)), object_(std::move(object)) {}

    const QString& title() const { return title_; }
    const OVViewModelRef& object() const { return object_; }
    void setObject(OVViewModelRef object) { object_ = std::move(object); }
    bool isHighlighted() const { return highlighted_; }
    void setHighlighted(bool on) { highlighted_ = on; }

private:
    QString title_;
    OVViewModelRef object_;
    bool highlighted_ = false;
};

using OVPathViewComponentCellRef = std::shared_ptr<OVPathViewComponentCell>;

}  // namespace orv
