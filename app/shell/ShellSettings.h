#pragma once
// The preferences the device window reads, each read at the moment it is
// needed, so a change takes effect at the next use.

#include "app/shell/Prefs.h"

namespace orv::shell_settings {

inline bool showLeftBadge() { return Prefs::shared().boolValue(QStringLiteral("ShowLeftBadge")); }
inline bool useWatchCommand() { return Prefs::shared().boolValue(QStringLiteral("UseWatchCommand")); }

}  // namespace orv::shell_settings
