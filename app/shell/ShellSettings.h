#pragma once
// The user's preferences that the device window reads, each read at the
// moment it is needed (a change takes effect at the next use). Defaults match
// the ones the application registers at start-up.

#include <QSettings>
#include <QString>

namespace orv::shell_settings {

inline bool showLeftBadge() { return QSettings().value(QStringLiteral("ShowLeftBadge"), true).toBool(); }
inline bool useWatchCommand() { return QSettings().value(QStringLiteral("UseWatchCommand"), true).toBool(); }

}  // namespace orv::shell_settings
