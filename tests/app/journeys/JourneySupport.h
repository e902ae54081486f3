#pragma once
// What the journeys share: the application named and its panes registered as
// the program does it, the Files pane of a phone's window and its entries
// selected, and whole-file reads and writes
// on the computer's side.

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "tests/app/panes/PaneFakes.h"
#include "QtWait.h"
#include "app/media/MediaPaneRegistration.h"
#include "app/panes/FilePaneRegistration.h"
#include "app/panes/OVFileViewController.h"
#include "app/shell/OVMainWindowController.h"
#include "app/shell/PaneFactoryRegistry.h"
#include "app/toolkit/IBCollectionView.h"

namespace orv::test {

inline constexpr int64_t kFilesPane = 4;

// Named as the program names itself (the view models read its settings), with
// the panes registered as the program registers them.
inline void prepareApplication()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Orvane"));
    registerFilePanes(PaneFactoryRegistry::shared());
    registerMediaPanes(PaneFactoryRegistry::shared());
}

// The Files pane of the phone's window, with its first listing shown; null
// when it shows none before the deadline.
inline OVFileViewController* filesPane(OVMainWindowController& window)
{
    window.switchToView(kFilesPane);
    auto* pane = dynamic_cast<OVFileViewController*>(window.pane(kFilesPane));
    if (!pane || !qtWaitUntil([&] { return !pane->items().empty(); }, std::chrono::seconds(60)))
        return nullptr;
    return pane;
}

// Selects the entry `name` once the pane lists it; false when it is not
// listed before the deadline.
inline bool selectOnceListed(OVFileViewController& pane, const QString& name)
{
    int64_t row = -1;
    qtWaitUntil(
        [&] {
            for (size_t i = 0; i < pane.items().size(); ++i)
                if (pane.items()[i]->rawfilename() == name)
                    row = static_cast<int64_t>(i);
            return row >= 0;
        },
        std::chrono::seconds(60));
    if (row >= 0)
        pane.gridView()->selectItemWithIndexSet(IBSectionIndexSet(0, row));
    return row >= 0;
}

inline QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

inline bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

}  // namespace orv::test
