#pragma once
// Private folders that copies from the phone land in before they are given
// to the user or to an application: a fresh folder per request (mode 0700),
// so no request ever replaces or deletes a file another request or another
// application holds.

#include <QString>

namespace orv::local_staging {

// A new hidden folder inside `parent` (same file system, so its entries can
// be renamed into `parent`); empty on failure.
QString makeFolderIn(const QString& parent);
// A new folder for files opened in applications, below the user's private
// cache folder; empty on failure. It is left in place for the application.
QString makeOpenFolder();
// "name_1.ext", "name_2.ext", ... (or "name_1" without an extension): the
// first that exists neither in `folder` nor in `taken`.
QString freeName(const QString& folder, const QString& name, const QStringList& taken);
// The name of the entry a phone path names: its last component.
QString lastComponent(const QString& phonePath);

}  // namespace orv::local_staging
