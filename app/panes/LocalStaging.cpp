#include "app/panes/LocalStaging.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <cstdlib>

#include "app/viewmodels/PreviewTempFolder.h"

namespace orv::local_staging {

namespace {

QString makeUnique(const QString& templatePath)
{
    QByteArray name = QFile::encodeName(templatePath);
    if (!::mkdtemp(name.data()))
        return {};
    return QFile::decodeName(name);
}

}  // namespace

QString makeFolderIn(const QString& parent)
{
    if (parent.isEmpty() || !QFileInfo(parent).isDir())
        return {};
    return makeUnique(QDir(parent).filePath(QStringLiteral(".orvane-export-XXXXXX")));
}

QString makeOpenFolder()
{
    const QString root = preview_temp_folder::root();
    if (root.isEmpty())
        return {};
    return makeUnique(QDir(root).filePath(QStringLiteral("open-XXXXXX")));
}

QString freeName(const QString& folder, const QString& name, const QStringList& taken)
{
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    // A leading dot names a hidden file, not an extension.
    const bool hasExtension = dot > 0 && dot < name.size() - 1;
    const QString base = hasExtension ? name.left(dot) : name;
    const QString extension = hasExtension ? name.mid(dot) : QString();
    for (int number = 1;; ++number) {
        const QString candidate = base + QLatin1Char('_') + QString::number(number) + extension;
        const QString path = QDir(folder).filePath(candidate);
        if (!QFileInfo::exists(path) && !QFileInfo(path).isSymLink() && !taken.contains(path))
            return candidate;
    }
}

QString lastComponent(const QString& phonePath)
{
    QString path = phonePath;
    while (path.size() > 1 && path.endsWith(QLatin1Char('/')))
        path.chop(1);
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

}  // namespace orv::local_staging
