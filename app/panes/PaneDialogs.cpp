#include "app/panes/PaneDialogs.h"

#include <QCheckBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

#include "app/shell/L10n.h"

namespace orv {

namespace {

class ApplicationDialogs final : public PaneDialogs {
public:
    void chooseImportPaths(QWidget* parent, bool folders, const QStringList& extensions, PathsCallback done) override
    {
        auto* dialog = new QFileDialog(parent ? parent->window() : nullptr);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setWindowModality(Qt::WindowModal);
        dialog->setAcceptMode(QFileDialog::AcceptOpen);
        dialog->setFileMode(folders ? QFileDialog::Directory : QFileDialog::ExistingFiles);
        dialog->setLabelText(QFileDialog::Accept, L10n::text("Import"));
        if (!folders && !extensions.isEmpty()) {
            QStringList patterns;
            for (const QString& extension : extensions)
                patterns << QStringLiteral("*.") + extension;
            dialog->setNameFilter(patterns.join(QLatin1Char(' ')));
        }
        QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, done](int result) {
            done(result == QDialog::Accepted ? dialog->selectedFiles() : QStringList());
        });
        dialog->open();
    }

    void chooseExportFolder(QWidget* parent, FolderCallback done) override
    {
        auto* dialog = new QFileDialog(parent ? parent->window() : nullptr);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setWindowModality(Qt::WindowModal);
        dialog->setFileMode(QFileDialog::Directory);
        dialog->setOption(QFileDialog::ShowDirsOnly);
        dialog->setLabelText(QFileDialog::Accept, L10n::text("Export"));
        QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, done](int result) {
            const QStringList files = dialog->selectedFiles();
            done(result == QDialog::Accepted && !files.isEmpty() ? files.first() : QString());
        });
        dialog->open();
    }

    ClashAnswer askNameClash(QWidget* parent, const QString& text, const QImage& icon) override
    {
        QMessageBox box(parent ? parent->window() : nullptr);
        box.setIcon(QMessageBox::Warning);
        if (!icon.isNull())
            box.setIconPixmap(QPixmap::fromImage(icon));
        box.setText(text);
        QPushButton* replace = box.addButton(L10n::text("Replace"), QMessageBox::DestructiveRole);
        QPushButton* keepBoth = box.addButton(L10n::text("KeepBoth"), QMessageBox::AcceptRole);
        QPushButton* stop = box.addButton(L10n::text("Stop"), QMessageBox::RejectRole);
        box.setEscapeButton(stop);
        box.setDefaultButton(keepBoth);
        box.exec();
        if (box.clickedButton() == replace)
            return ClashAnswer::Replace;
        if (box.clickedButton() == keepBoth)
            return ClashAnswer::KeepBoth;
        return ClashAnswer::Stop;
    }

    bool confirmDelete(QWidget* parent, const QString& message, const QString& informativeText) override
    {
        QMessageBox box(parent ? parent->window() : nullptr);
        box.setIcon(QMessageBox::Warning);
        box.setText(message);
        box.setInformativeText(informativeText);
        QPushButton* remove = box.addButton(L10n::text("Delete"), QMessageBox::DestructiveRole);
        QPushButton* cancel = box.addButton(L10n::text("Cancel"), QMessageBox::RejectRole);
        box.setEscapeButton(cancel);
        box.setDefaultButton(cancel);
        box.exec();
        return box.clickedButton() == remove;
    }

    bool showMessage(QWidget* parent, const QString& title, const QString& message, bool offerSuppression) override
    {
        QMessageBox box(parent ? parent->window() : nullptr);
        box.setIcon(QMessageBox::Warning);
        box.setText(title);
        box.setInformativeText(message);
        box.setStandardButtons(QMessageBox::Ok);
        QCheckBox* suppress = nullptr;
        if (offerSuppression) {
            suppress = new QCheckBox(L10n::text("Do not show this message again"));
            box.setCheckBox(suppress);
        }
        if (QWidget* window = parent ? parent->window() : nullptr) {
            window->raise();
            window->activateWindow();
        }
        box.exec();
        return suppress && suppress->isChecked();
    }

    QString askNewName(QWidget* parent, const QString& currentName) override
    {
        QInputDialog dialog(parent ? parent->window() : nullptr);
        dialog.setWindowTitle(L10n::text("Rename"));
        dialog.setLabelText(L10n::text("RenameTo"));
        dialog.setTextValue(currentName);
        dialog.setOkButtonText(L10n::text("Rename"));
        // Only the Rename button renames; closing the dialog keeps the name.
        if (dialog.exec() != QDialog::Accepted)
            return {};
        return dialog.textValue();
    }
};

PaneDialogs* replacement = nullptr;

}  // namespace

PaneDialogs& PaneDialogs::current()
{
    static ApplicationDialogs application;
    return replacement ? *replacement : application;
}

void PaneDialogs::setCurrent(PaneDialogs* dialogs) { replacement = dialogs; }

}  // namespace orv
