#pragma once
// The edit commands a list offers its window's menus (delete, import, export,
// and whether a menu item may be chosen), passed on to the list's owner. With
// no owner set every item stays disabled and every command does nothing.

class QAction;
class QObject;

namespace orv {

// What a list's owner hears of the edit commands; every method has a
// do-nothing default, so an owner overrides only what it handles.
class OVEditActionDelegate {
public:
    virtual ~OVEditActionDelegate() = default;
    // Whether a menu item of the list may be chosen.
    virtual bool validateMenuItem(QAction*) { return false; }
    // Delete carries the sender the list was given; import and export the list itself.
    virtual void deleteAction(QObject* sender) { (void)sender; }
    virtual void importAction(QObject* sender) { (void)sender; }
    virtual void exportAction(QObject* sender) { (void)sender; }
};

// Mixed into a list view beside its Qt base; the view names its owner.
class OVEditActionTarget {
public:
    virtual ~OVEditActionTarget() = default;

    bool validateMenuItem(QAction* item) const;
    void deleteAction(QObject* sender);
    void importAction();
    void exportAction();

protected:
    // `list` is the view itself, the sender of import and export.
    explicit OVEditActionTarget(QObject* list) : list_(list) {}
    virtual OVEditActionDelegate* editActionDelegate() const = 0;

private:
    QObject* list_;
};

}  // namespace orv
