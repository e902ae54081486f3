#pragma once
// Mouse events sent to a widget the way the window system would deliver them
// (through the widget's event filters, with matching global positions).

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

namespace orv::test {

inline void sendMouse(QWidget* widget, QEvent::Type type, QPoint pos, Qt::MouseButton button,
                      Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
{
    QMouseEvent event(type, QPointF(pos), QPointF(widget->mapToGlobal(pos)), button, buttons, modifiers);
    QApplication::sendEvent(widget, &event);
}

inline void press(QWidget* w, QPoint pos, Qt::KeyboardModifiers mods = Qt::NoModifier,
                  Qt::MouseButton button = Qt::LeftButton)
{
    sendMouse(w, QEvent::MouseButtonPress, pos, button, button, mods);
}

inline void release(QWidget* w, QPoint pos, Qt::MouseButton button = Qt::LeftButton)
{
    sendMouse(w, QEvent::MouseButtonRelease, pos, button, Qt::NoButton);
}

inline void dragTo(QWidget* w, QPoint pos)
{
    sendMouse(w, QEvent::MouseMove, pos, Qt::NoButton, Qt::LeftButton);
}

inline void click(QWidget* w, QPoint pos, Qt::KeyboardModifiers mods = Qt::NoModifier,
                  Qt::MouseButton button = Qt::LeftButton)
{
    press(w, pos, mods, button);
    release(w, pos, button);
}

// Press, release, double-click, release: what a window system sends for a double click.
inline void doubleClick(QWidget* w, QPoint pos)
{
    click(w, pos);
    sendMouse(w, QEvent::MouseButtonDblClick, pos, Qt::LeftButton, Qt::LeftButton);
    release(w, pos);
}

}  // namespace orv::test
