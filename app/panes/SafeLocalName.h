#pragma once
// Turning a phone's file name into a name that is safe to create in a local
// folder, and checking that a local target stays inside the folder the user
// chose. Phone names are untrusted: they may hold "/", NUL, "..", or be longer
// than a local file system allows.

#include <QString>

namespace orv {

// The name with "/" and NUL replaced by "_", "", "." and ".." mapped to "_",
// cut to at most 255 UTF-8 bytes on a character boundary. Every other byte
// (quotes, "$", backslash, newline, emoji) is kept as it is.
QString safeLocalName(const QString& phoneName);

// Whether `target`, once resolved (symbolic links of its existing part
// followed), lies strictly inside `folder`.
bool isInsideFolder(const QString& folder, const QString& target);

// `folder` + "/" + safeLocalName(phoneName), or an empty string when the
// result would leave `folder`.
QString localTargetFor(const QString& folder, const QString& phoneName);

}  // namespace orv
