#pragma once
// What the device window shows when loading the phone fails, by the bridge's
// error code: the panel's caption (not displayed), title, explanation and
// button (empty: no button), what the button does, and whether stray adb
// processes are killed after the panel is shown. All texts are looked up in
// the application's text table by key; the English here stands in for a
// missing entry.

#include <QString>

namespace orv {

struct ConnectionErrorTexts {
    enum class Action { None, Retry, CheckForUpdate };

    QString caption;
    QString title;
    QString explanation;
    QString button;
    Action action = Action::None;
    bool killsAdb = false;

    static ConnectionErrorTexts forCode(long code);
};

}  // namespace orv
