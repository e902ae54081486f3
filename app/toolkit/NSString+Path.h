#pragma once
// Phone paths as text: compared regardless of letter case and one trailing
// "/", and shaped the way folder lookups key them.

#include <QString>

namespace orv {

// Equal ignoring letter case and one trailing "/" on either side; false when either is null.
bool isSamePath(const QString& path, const QString& other);
// Lower-cased, with a trailing "/".
QString lowercaseStringWithSlash(const QString& path);
// The parent path, lower-cased, with a trailing "/" ("/" for "/" and for a bare name).
QString lowercaseStringByDeletingLastPathComponentWithSlash(const QString& path);
// The parent path with letter case kept and no trailing "/" ("/" for a child
// of the root, "" for a bare name).
QString deletingLastPathComponent(const QString& path);
// The last component, a trailing "/" ignored.
QString lastPathComponent(const QString& path);

}  // namespace orv
