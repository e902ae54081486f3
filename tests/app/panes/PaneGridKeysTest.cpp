// The keys every grid pane answers alike, as a table of key, modifiers and
// selection against the action taken.

#include <gtest/gtest.h>

#include <QKeyEvent>

#include "app/panes/PaneGridKeys.h"
#include "core/bridge/model/OVFile.h"

namespace orv {
namespace {

TEST(PaneGridKeys, EachKeyTakesItsActionOnlyAsItShould)
{
    auto file = std::make_shared<OVFile>();
    file->setPath("/storage/emulated/legacy/a.jpg");
    const std::vector<OVViewModelRef> one{OVViewModel::make(file, "S")};
    const std::vector<OVViewModelRef> none;
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        bool selected;
        const char* taken;  // the action run, "" for none
        bool handled;
    } cases[] = {
        {Qt::Key_Space, Qt::NoModifier, true, "preview", true},
        {Qt::Key_Space, Qt::ShiftModifier, true, "preview", true},
        {Qt::Key_Space, Qt::NoModifier, false, "", true},
        {Qt::Key_Y, Qt::ControlModifier, true, "preview", true},
        {Qt::Key_Y, Qt::NoModifier, true, "", false},
        {Qt::Key_Down, Qt::ControlModifier, true, "open", true},
        {Qt::Key_Down, Qt::ControlModifier | Qt::ShiftModifier, true, "", false},
        {Qt::Key_Down, Qt::NoModifier, true, "", false},
        {Qt::Key_Return, Qt::NoModifier, true, "open", true},
        {Qt::Key_Enter, Qt::KeypadModifier, true, "open", true},
        {Qt::Key_Up, Qt::ControlModifier, false, "up", true},
        {Qt::Key_Up, Qt::ControlModifier | Qt::AltModifier, false, "", false},
        {Qt::Key_Delete, Qt::NoModifier, true, "remove", true},
        {Qt::Key_Delete, Qt::NoModifier, false, "", true},
        {Qt::Key_A, Qt::NoModifier, true, "", false},
    };
    for (const auto& c : cases) {
        std::string taken;
        PaneGridKeyActions actions;
        actions.preview = [&](const OVViewModelRef& item) { taken = item ? "preview" : "preview of nothing"; };
        actions.open = [&](const OVViewModelRef& item) { taken = item ? "open" : "open of nothing"; };
        actions.up = [&] { taken = "up"; };
        actions.remove = [&] { taken = "remove"; };
        const QKeyEvent event(QEvent::KeyPress, c.key, c.modifiers);
        EXPECT_EQ(handlePaneGridKey(&event, c.selected ? one : none, actions), c.handled) << c.key;
        EXPECT_EQ(taken, c.taken) << c.key << " " << int(c.modifiers);
    }
    // An action a pane leaves empty ignores its key.
    const QKeyEvent up(QEvent::KeyPress, Qt::Key_Up, Qt::ControlModifier);
    EXPECT_TRUE(handlePaneGridKey(&up, none, PaneGridKeyActions{}));
}

}  // namespace
}  // namespace orv
