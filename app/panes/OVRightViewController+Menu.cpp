// The context menu (Open, Open With, Export To, Delete), its titles and
// visibility for the selection, the Open With list, and validation of menu
// items and the bar's buttons.

#include <QAction>
#include <QIcon>
#include <QMenu>

#include "app/panes/AppLauncher.h"
#include "app/panes/OVRightViewController.h"
#include "app/shell/L10n.h"
#include "app/toolkit/OVButton.h"

namespace orv {

namespace {

const char* const kOpenWithTitle = "Open With";

int tagOf(const QAction* action) { return action->data().isValid() ? action->data().toInt() : -1; }

bool anySystemFile(const std::vector<OVViewModelRef>& items)
{
    return std::any_of(items.begin(), items.end(), [](const OVViewModelRef& item) { return item && item->isSystemFile(); });
}

// The first selected file (not folder), or null.
OVViewModelRef firstFile(const std::vector<OVViewModelRef>& items)
{
    for (const OVViewModelRef& item : items)
        if (item && !item->isDir())
            return item;
    return nullptr;
}

}  // namespace

void OVRightViewController::buildDefaultMenu()
{
    rightClickMenu_ = new QMenu(view_);
    auto add = [this](int tag, const char* title, auto slot) {
        QAction* action = rightClickMenu_->addAction(L10n::text(title), this, slot);
        action->setData(tag);
        return action;
    };
    add(MenuOpen, "Open", [this] { openMenuAction(); });
    QAction* openWith = rightClickMenu_->addAction(QString::fromLatin1(kOpenWithTitle));
    openWith->setData(static_cast<int>(MenuOpenWith));
    openWith->setMenu(new QMenu(QString::fromLatin1(kOpenWithTitle), rightClickMenu_));
    rightClickMenu_->addSeparator();
    add(MenuExport, "ExportTo", [this] { exportMenuAction(); });
    add(MenuDelete, "Delete", [this] { deleteMenuAction(); });
    connect(rightClickMenu_, &QMenu::aboutToShow, this, [this] { menuWillOpen(rightClickMenu_); });
}

void OVRightViewController::menuWillOpen(QMenu* menu)
{
    if (!menu)
        return;
    const std::vector<OVViewModelRef> items = selectedItems();
    const OVViewModelRef file = firstFile(items);
    const QList<QAction*> actions = menu->actions();
    for (QAction* action : actions) {
        if (action->isSeparator()) {
            action->setVisible(true);
            continue;
        }
        // Validation names the main menu's commands; the context menu's own titles follow.
        validateAction(action);
        const int tag = tagOf(action);
        if (tag == MenuOpen) {
            action->setText(L10n::text("Open"));
        } else if (tag == MenuOpenWith || action->text() == QLatin1String(kOpenWithTitle)) {
            action->setText(L10n::text(kOpenWithTitle));
            if (!file) {
                action->setVisible(false);
            } else {
                QMenu* submenu = action->menu();
                if (!submenu) {
                    submenu = new QMenu(menu);
                    action->setMenu(submenu);
                }
                submenu->setTitle(QString::fromLatin1(kOpenWithTitle));
                fillOpenWithMenu(submenu, file->rawfilename());
                action->setVisible(!submenu->isEmpty());
            }
        } else if (tag == MenuExport) {
            action->setText(L10n::text("ExportTo"));
        } else if (tag == MenuDelete) {
            action->setText(L10n::text("Delete"));
        }
    }
    // A separator above every visible item would open the menu with a line.
    for (QAction* action : actions) {
        if (!action->isVisible())
            continue;
        if (action->isSeparator())
            action->setVisible(false);
        break;
    }
}

void OVRightViewController::fillOpenWithMenu(QMenu* submenu, const QString& fileName)
{
    submenu->clear();
    const std::vector<AppLauncher::Application> apps = AppLauncher::current().applicationsFor(fileName);
    const std::optional<AppLauncher::Application> preferred = AppLauncher::current().defaultApplicationFor(fileName);
    bool first = true;
    for (const AppLauncher::Application& app : apps) {
        QIcon icon = QIcon::fromTheme(app.iconName);
        if (icon.isNull() && !app.iconName.isEmpty())
            icon = QIcon(app.iconName);
        const QString id = app.id;
        QAction* action = submenu->addAction(icon, app.name.isEmpty() ? app.id : app.name, this,
                                             [this, id] { openwithMenuAction(id); });
        action->setData(id);
        if (first && preferred && preferred->id == app.id && apps.size() > 1)
            submenu->addSeparator();
        first = false;
    }
}

bool OVRightViewController::validateAction(QAction* action)
{
    if (!action)
        return false;
    const int tag = tagOf(action);
    const std::vector<OVViewModelRef> items = selectedItems();
    if (tag == MenuDelete)
        action->setText(L10n::text("MenuDelete"));
    else if (tag == MenuOpen)
        action->setText(L10n::text("MenuOpen"));
    else if (tag == MenuExport)
        action->setText(L10n::text("MenuExport"));
    if (items.empty()) {
        const bool enabled = action->text() == L10n::text("NewFolder");
        action->setEnabled(enabled);
        return enabled;
    }
    if (tag == MenuDelete) {
        const bool system = anySystemFile(items);
        action->setToolTip(system ? L10n::text("YouCanNotDeleteSystemFile") : QString());
        action->setEnabled(!system);
        return !system;
    }
    action->setEnabled(true);
    return true;
}

void OVRightViewController::validationButtons()
{
    if (!deleteButton_ || !exportButton_)
        return;
    const std::vector<OVViewModelRef> items = selectedItems();
    if (items.empty()) {
        deleteButton_->setEnabled(false);
        deleteButton_->setToolTip(QString());
        exportButton_->setEnabled(false);
    } else {
        const bool system = anySystemFile(items);
        deleteButton_->setEnabled(!system);
        deleteButton_->setToolTip(system ? L10n::text("YouCanNotDeleteSystemFile") : QString());
        exportButton_->setEnabled(true);
    }
    updateStatusLabel();
}

void OVRightViewController::openMenuAction()
{
    std::vector<OVViewModelRef> files;
    for (const OVViewModelRef& item : selectedItems())
        if (item && !item->isDir())
            files.push_back(item);
    if (files.size() == 1)
        downloadAndOpenItem(files.front());
    else if (!files.empty())
        downloadAndOpenItems(files);
}

void OVRightViewController::openwithMenuAction(const QString& applicationId)
{
    if (const OVViewModelRef file = firstFile(selectedItems()))
        downloadAndOpenItem(file, applicationId);
}

}  // namespace orv
