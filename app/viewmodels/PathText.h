#pragma once
// Comparing and shaping phone paths the way the media models need it.

#include <QDateTime>
#include <QString>

namespace orv::path_text {

// Equal ignoring letter case and one trailing "/" on either side; false when either is null.
bool isSamePath(const QString& a, const QString& b);
// Lower-cased, with a trailing "/".
QString lowercaseStringWithSlash(const QString& path);
// The path without its last component, lower-cased, with a trailing "/".
QString lowercaseStringByDeletingLastPathComponentWithSlash(const QString& path);
// The path without its last component (letter case kept, no trailing "/").
QString deletingLastPathComponent(const QString& path);
QString lastPathComponent(const QString& path);

// Calendar days in the user's time zone, judged against `now`.
bool isToday(const QDateTime& date, const QDateTime& now = QDateTime::currentDateTime());
bool isYesterday(const QDateTime& date, const QDateTime& now = QDateTime::currentDateTime());
bool isThisYear(const QDateTime& date, const QDateTime& now = QDateTime::currentDateTime());

}  // namespace orv::path_text
