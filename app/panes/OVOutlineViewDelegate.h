#pragma once
// What an outline's owner (a pane) hears from it; every method has a
// do-nothing default, so a pane overrides only what it handles.

#include "app/toolkit/OVEditActionTarget.h"

class QContextMenuEvent;
class QKeyEvent;
class QMenu;

namespace orv {

class OVOutlineView;

class OVOutlineViewDelegate : public OVEditActionDelegate {
public:
    virtual ~OVOutlineViewDelegate() = default;
    // True when the delegate handled the key (the outline then ignores it).
    virtual bool keyDown(OVOutlineView*, QKeyEvent*) { return false; }
    // The menu for a right click on the list; null for none. The outline shows it.
    virtual QMenu* menuForEvent(OVOutlineView*, QContextMenuEvent*) { return nullptr; }
};

}  // namespace orv
