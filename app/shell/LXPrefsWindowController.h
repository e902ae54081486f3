#pragma once
// A toolbar-switched preferences window: each toolbar item shows one pane;
// switching resizes the window to the pane (keeping its top-left corner),
// cross-fading when asked. Subclasses add their panes in setupToolbar().

#include <QHash>
#include <QMainWindow>
#include <QObject>
#include <QPointer>
#include <QStringList>

class QAction;
class QParallelAnimationGroup;
class QToolBar;

namespace orv {

class LXPrefsWindowController : public QObject {
    Q_OBJECT

public:
    LXPrefsWindowController();
    ~LXPrefsWindowController() override;

    QMainWindow* window() const { return window_; }
    QToolBar* toolbar() const { return toolbar_; }
    QWidget* contentSubview() const { return contentSubview_; }
    const QStringList& toolbarIdentifiers() const { return toolbarIdentifiers_; }
    QAction* toolbarItem(const QString& identifier) const { return toolbarItems_.value(identifier); }

    bool crossFade() const { return crossFade_; }
    void setCrossFade(bool value) { crossFade_ = value; }
    bool shiftSlowsAnimation() const { return shiftSlowsAnimation_; }
    void setShiftSlowsAnimation(bool value) { shiftSlowsAnimation_ = value; }

    // The pane's identifier is its label.
    void addView(QWidget* view, const QString& label, const QIcon& image);

    // Rebuilds the panes, shows the first one and centres the window.
    void showWindow();
    void toggleActivePreferenceView(QAction* item);
    void displayViewForIdentifier(const QString& identifier, bool animate);
    // The window rectangle (frame, top-left kept) that fits `view`.
    QRect frameForView(QWidget* view) const;
    // 1.25 s while Shift is held and shiftSlowsAnimation is on, else 0.25 s.
    int crossFadeDurationMs(bool shiftHeld) const;

protected:
    virtual void initToolbar() {}
    virtual void setupToolbar() {}
    virtual void didViewChanged(QWidget*) {}

private:
    void crossFadeView(QWidget* oldView, QWidget* newView);
    void animationDidEnd();
    // Takes every shown pane but the last out of the window; the last one.
    QWidget* keepOnlyLastPane();

    QPointer<QMainWindow> window_;
    QWidget* contentSubview_ = nullptr;
    QToolBar* toolbar_ = nullptr;
    QStringList toolbarIdentifiers_;
    QHash<QString, QWidget*> toolbarViews_;
    QHash<QString, QAction*> toolbarItems_;
    bool crossFade_ = true;
    bool shiftSlowsAnimation_ = false;
    QPointer<QParallelAnimationGroup> viewAnimation_;
};

}  // namespace orv
