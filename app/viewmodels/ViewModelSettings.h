#pragma once
// The user's preferences that the view models read, each read at the moment
// it is needed (a change takes effect at the next use). Defaults match the
// ones the application registers at start-up.

#include <QSettings>
#include <QString>

namespace orv::viewmodel_settings {

inline bool showHiddenFiles() { return QSettings().value(QStringLiteral("ShowHiddenFiles"), false).toBool(); }
inline bool useFaceDetection() { return QSettings().value(QStringLiteral("UseFaceDetection"), true).toBool(); }

}  // namespace orv::viewmodel_settings
