#pragma once
// What an outline's owner (a pane) hears from it; every method has a
// do-nothing default, so a pane overrides only what it handles.

class QAction;
class QContextMenuEvent;
class QKeyEvent;
class QMenu;
class QObject;

namespace orv {

class OVOutlineView;

class OVOutlineViewDelegate {
public:
    virtual ~OVOutlineViewDelegate() = default;
    // True when the delegate handled the key (the outline then ignores it).
    virtual bool keyDown(OVOutlineView*, QKeyEvent*) { return false; }
    // The menu for a right click on the list; null for none. The outline shows it.
    virtual QMenu* menuForEvent(OVOutlineView*, QContextMenuEvent*) { return nullptr; }
    // Whether a menu item of the outline may be chosen.
    virtual bool validateMenuItem(QAction*) { return false; }
    // The edit commands, with the sender the outline was given (delete) or the outline itself.
    virtual void deleteAction(QObject* sender) { (void)sender; }
    virtual void importAction(QObject* sender) { (void)sender; }
    virtual void exportAction(QObject* sender) { (void)sender; }
};

}  // namespace orv
