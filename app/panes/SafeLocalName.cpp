#include "app/panes/SafeLocalName.h"

#include <QDir>
#include <QFileInfo>

namespace orv {

namespace {

constexpr qsizetype kMaxNameBytes = 255;

// Resolves what exists of `path` and appends the rest literally, so a target
// that does not exist yet is judged by the folder it would be created in.
QString resolvedPath(const QString& path)
{
    QString existing = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    QString rest;
    while (!existing.isEmpty() && !QFileInfo::exists(existing)) {
        const qsizetype slash = existing.lastIndexOf(QLatin1Char('/'));
        if (slash < 0)
            return QDir::cleanPath(path);
        rest.prepend(existing.mid(slash));
        existing = slash == 0 ? QStringLiteral("/") : existing.left(slash);
    }
    const QString canonical = QFileInfo(existing).canonicalFilePath();
    if (canonical.isEmpty())
        return QDir::cleanPath(existing + rest);
    return QDir::cleanPath(canonical + rest);
}

}  // namespace

QString safeLocalName(const QString& phoneName)
{
    QString name = phoneName;
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    name.replace(QChar(u'\0'), QLatin1Char('_'));
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return QStringLiteral("_");
    if (name.toUtf8().size() <= kMaxNameBytes)
        return name;
    // Cut whole characters (surrogate pairs together) until the bytes fit.
    qsizetype bytes = 0;
    qsizetype end = 0;
    while (end < name.size()) {
        const qsizetype width = (name.at(end).isHighSurrogate() && end + 1 < name.size()) ? 2 : 1;
        const qsizetype charBytes = name.mid(end, width).toUtf8().size();
        if (bytes + charBytes > kMaxNameBytes)
            break;
        bytes += charBytes;
        end += width;
    }
    return name.left(end);
}

bool isInsideFolder(const QString& folder, const QString& target)
{
    if (folder.isEmpty() || target.isEmpty())
        return false;
    const QString base = resolvedPath(folder);
    const QString resolved = resolvedPath(target);
    const QString prefix = base.endsWith(QLatin1Char('/')) ? base : base + QLatin1Char('/');
    return resolved.startsWith(prefix) && resolved.size() > prefix.size();
}

QString localTargetFor(const QString& folder, const QString& phoneName)
{
    const QString target = QDir(folder).filePath(safeLocalName(phoneName));
    return isInsideFolder(folder, target) ? target : QString();
}

}  // namespace orv
