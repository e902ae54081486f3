#pragma once
// The private folder where previews of phone files are kept while the panel
// shows them: below the user's own cache folder, mode 0700, owned by the user
// and not a symbolic link; one sub-folder per phone and per phone folder, so
// two files of one name never share a copy.

#include <QString>

namespace orv::preview_temp_folder {

// The private root, created when missing; empty when it cannot be made safe.
QString root();
// The folder for the files of one phone folder, created when missing; empty on failure.
QString folderFor(const QString& serial, const QString& phoneFolder);

}  // namespace orv::preview_temp_folder
