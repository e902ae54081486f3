#include "app/viewmodels/PathText.h"

namespace orv::path_text {

namespace {

QString withoutTrailingSlash(QString path)
{
    if (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

}  // namespace

bool isSamePath(const QString& a, const QString& b)
{
    if (a.isNull() || b.isNull())
        return false;
    return withoutTrailingSlash(a).compare(withoutTrailingSlash(b), Qt::CaseInsensitive) == 0;
}

QString lowercaseStringWithSlash(const QString& path)
{
    QString lowered = path.toLower();
    if (!lowered.endsWith(QLatin1Char('/')))
        lowered += QLatin1Char('/');
    return lowered;
}

QString deletingLastPathComponent(const QString& path)
{
    const QString trimmed = path.size() > 1 ? withoutTrailingSlash(path) : path;
    const qsizetype slash = trimmed.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return {};
    return slash == 0 ? QStringLiteral("/") : trimmed.left(slash);
}

QString lowercaseStringByDeletingLastPathComponentWithSlash(const QString& path)
{
    return lowercaseStringWithSlash(deletingLastPathComponent(path));
}

QString lastPathComponent(const QString& path)
{
    const QString trimmed = path.size() > 1 ? withoutTrailingSlash(path) : path;
    return trimmed.mid(trimmed.lastIndexOf(QLatin1Char('/')) + 1);
}

bool isToday(const QDateTime& date, const QDateTime& now)
{
    return date.isValid() && date.toLocalTime().date() == now.toLocalTime().date();
}

bool isYesterday(const QDateTime& date, const QDateTime& now)
{
    return date.isValid() && date.toLocalTime().date() == now.toLocalTime().date().addDays(-1);
}

bool isThisYear(const QDateTime& date, const QDateTime& now)
{
    return date.isValid() && date.toLocalTime().date().year() == now.toLocalTime().date().year();
}

}  // namespace orv::path_text
