#pragma once
// The application's menu bar. Linux has no menu bar of the application as
// such, so every window of ours that the user works in carries its own copy:
// the device windows, the intro window (the one shown while no phone is
// attached) and the device-list window. Each item runs an action of the
// application delegate; the texts come from the localisation table.
//
// Where the bar goes depends on the window: a main window's own bar; a
// window with a layout, at the top of that layout; a window with our own
// drawn title bar, in the title bar beside its buttons; any other window,
// along its top edge.

#include <QMenuBar>
#include <QObject>
#include <QPointer>

class QAction;
class QWidget;

namespace orv {

class AppDelegate;

class MainMenu : public QObject {
    Q_OBJECT

public:
    // Gives `window` the menu bar (once: a window that has one keeps it) and
    // returns it. The menu belongs to the window.
    static MainMenu* attach(QWidget* window, AppDelegate& delegate);
    // The menu attached to `window`, or null.
    static MainMenu* of(const QWidget* window);

    QMenuBar* menuBar() const { return bar_; }
    // The item running the delegate action of that name ("aboutAction",
    // "preferenceAction", "deviceListAction", "quickguideAction",
    // "helpAction", "quitAction"), or null.
    QAction* action(const QString& name) const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    MainMenu(QWidget* window, AppDelegate& delegate);
    void build(AppDelegate& delegate);
    // Places a bar that no layout places.
    void place();

    QWidget* window_;
    QPointer<QMenuBar> bar_;
    bool placedByHand_ = false;
};

}  // namespace orv
