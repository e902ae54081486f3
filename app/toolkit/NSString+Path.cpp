#include "app/toolkit/NSString+Path.h"

namespace orv {

namespace {

QString withoutTrailingSlash(QString path)
{
    if (path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path;
}

QString trimmedForComponents(const QString& path) { return path.size() > 1 ? withoutTrailingSlash(path) : path; }

}  // namespace

bool isSamePath(const QString& path, const QString& other)
{
    if (path.isNull() || other.isNull())
        return false;
    return withoutTrailingSlash(path).compare(withoutTrailingSlash(other), Qt::CaseInsensitive) == 0;
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
    const QString trimmed = trimmedForComponents(path);
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
    const QString trimmed = trimmedForComponents(path);
    return trimmed.mid(trimmed.lastIndexOf(QLatin1Char('/')) + 1);
}

}  // namespace orv
