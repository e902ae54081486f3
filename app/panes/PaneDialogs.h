#pragma once
// Every question, chooser and alert of the panes goes through this interface,
// so tests answer them without a nested event loop. The application's
// implementation uses QMessageBox and QFileDialog; choosers open
// window-modal and answer through their callback. Only an explicit button
// acts: a dialog closed any other way answers Stop or Cancel.

#include <QImage>
#include <QString>
#include <QStringList>
#include <functional>

class QWidget;

namespace orv {

class PaneDialogs {
public:
    enum class ClashAnswer { Replace, KeepBoth, Stop };
    // What an import chooser picks; an empty list when cancelled.
    using PathsCallback = std::function<void(const QStringList& paths)>;
    // The chosen folder, or an empty string when cancelled.
    using FolderCallback = std::function<void(const QString& folder)>;

    virtual ~PaneDialogs() = default;

    // Files (or one folder, with `folders`) to import, filtered by extension
    // when `extensions` is not empty. The callback may run after the call returns.
    virtual void chooseImportPaths(QWidget* parent, bool folders, const QStringList& extensions,
                                   PathsCallback done) = 0;
    // One destination folder for an export (folders may be created in it).
    virtual void chooseExportFolder(QWidget* parent, FolderCallback done) = 0;
    // A name clash during a transfer: `text` names the file, `icon` shows it.
    virtual ClashAnswer askNameClash(QWidget* parent, const QString& text, const QImage& icon) = 0;
    // The delete confirmation: true only for the Delete button.
    virtual bool confirmDelete(QWidget* parent, const QString& message, const QString& informativeText) = 0;
    // A message with an OK button; with `offerSuppression` a "do not show
    // again" box, whose state is the result.
    virtual bool showMessage(QWidget* parent, const QString& title, const QString& message,
                             bool offerSuppression) = 0;
    // A new name for an entry; a null string when the user keeps the old one.
    virtual QString askNewName(QWidget* parent, const QString& currentName) = 0;

    // The current implementation (the application's unless replaced).
    static PaneDialogs& current();
    // Replaces it; null restores the application's. Not owned.
    static void setCurrent(PaneDialogs* dialogs);
};

}  // namespace orv
