#pragma once
// The keys every grid pane answers alike. Control stands for the other
// platform's Command; "alone" means no other modifier. With a selection:
// Space and Control-Y preview its first entry, Control-Down and Enter open it, Delete
// asks to delete the selection. Control-Up goes one level up, as the pane
// defines it. An action left empty ignores its key.

#include <functional>
#include <vector>

#include "app/viewmodels/OVViewModel.h"

class QKeyEvent;

namespace orv {

struct PaneGridKeyActions {
    std::function<void(const OVViewModelRef&)> preview;
    std::function<void(const OVViewModelRef&)> open;
    std::function<void()> up;
    std::function<void()> remove;
};

// True when the key was one of these.
bool handlePaneGridKey(const QKeyEvent* event, const std::vector<OVViewModelRef>& selection,
                       const PaneGridKeyActions& actions);

}  // namespace orv
