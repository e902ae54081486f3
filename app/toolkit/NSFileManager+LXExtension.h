#pragma once
// Removing temporary files and folders without caring whether they exist.

#include <QString>

namespace orv {

// Removes the file, or the folder with everything inside; a missing path or a
// failure is ignored. A symbolic link is removed, never followed.
void deleteFileOrDirectory(const QString& path);

}  // namespace orv
