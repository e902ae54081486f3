#include "app/panes/PaneGridKeys.h"

#include <QKeyEvent>

namespace orv {

namespace {

bool controlAlone(const QKeyEvent* event)
{
    return (event->modifiers() & ~Qt::KeypadModifier) == Qt::ControlModifier;
}

}  // namespace

bool handlePaneGridKey(const QKeyEvent* event, const std::vector<OVViewModelRef>& selection,
                       const PaneGridKeyActions& actions)
{
    const OVViewModelRef first = selection.empty() ? nullptr : selection.front();
    auto run = [](const auto& action, auto... arguments) {
        if (action)
            action(arguments...);
        return true;
    };
    switch (event->key()) {
    case Qt::Key_Space:
        return first ? run(actions.preview, first) : true;
    case Qt::Key_Y:
        if (!(event->modifiers() & Qt::ControlModifier))
            return false;
        return first ? run(actions.preview, first) : true;
    case Qt::Key_Down:
        if (!controlAlone(event))
            return false;
        return first ? run(actions.open, first) : true;
    case Qt::Key_Up:
        return controlAlone(event) ? run(actions.up) : false;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return first ? run(actions.open, first) : true;
    case Qt::Key_Delete:
        return first ? run(actions.remove) : true;
    default:
        return false;
    }
}

}  // namespace orv
