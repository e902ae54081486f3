#include "app/toolkit/NSFileManager+LXExtension.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace orv {

void deleteFileOrDirectory(const QString& path)
{
    if (path.isEmpty())
        return;
    const QFileInfo info(path);
    if (info.isDir() && !info.isSymLink())
        QDir(path).removeRecursively();
    else if (info.exists() || info.isSymLink())
        QFile::remove(path);
}

}  // namespace orv
