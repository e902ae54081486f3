#include "app/panes/OVRightViewController.h"

#include <QEvent>
#include <QIcon>
#include <QMenu>
#include <QTimer>
#include <QWidget>
#include <cmath>

#include "app/panes/OVTaskProgressPanel.h"
#include "app/panes/PaneDialogs.h"
#include "app/panes/PaneTransfer.h"
#include "app/shell/L10n.h"
#include "app/shell/OVMainWindowController.h"
#include "app/shell/OVNavbarView.h"
#include "app/shell/PaneView.h"
#include "app/shell/Prefs.h"
#include "app/shell/SpinningGear.h"
#include "app/toolkit/OVButton.h"
#include "platform/OperationQueue.h"

namespace orv {

OVRightViewController::OVRightViewController() = default;

OVRightViewController::~OVRightViewController()
{
    if (transfer_)
        transfer_->cancelled = true;
    if (quickLookDownloadOperation_)
        quickLookDownloadOperation_->cancel();
    delete progressPanel_.data();
    delete view_.data();
}

std::shared_ptr<OVDeviceClient> OVRightViewController::client()
{
    if (!client_ && !cleanedUp_ && mainWindowController_)
        client_ = mainWindowController_->client();
    return client_;
}

void OVRightViewController::setMainWindowController(OVMainWindowController* controller)
{
    mainWindowController_ = controller;
    if (controller)
        cleanedUp_ = false;
}

OVMainWindowController* OVRightViewController::mainWindowController() const { return mainWindowController_; }

void OVRightViewController::loadView()
{
    if (view_)
        return;
    view_ = makePaneView();
    view_->installEventFilter(this);
    awakeFromNib();
}

void OVRightViewController::awakeFromNib()
{
    if (mainWindowController_ && mainWindowController_->rightBaseView())
        view_->resize(mainWindowController_->rightBaseView()->size());
    maxIconWidth_ = 282;
    minIconWidth_ = 78;

    navbarView_ = new OVNavbarView(view_);
    navbarView_->setGeometry(0, 0, view_->width(), kNavbarHeight);

    importButton_ = new OVButton(L10n::text("Import"), navbarView_);
    exportButton_ = new OVButton(L10n::text("Export"), navbarView_);
    exportButton_->setEnabled(false);
    deleteButton_ = new OVButton(L10n::text("Delete"), navbarView_);
    deleteButton_->setRed(true);
    deleteButton_->setToolTip(QString());
    const QIcon trash = QIcon::fromTheme(QStringLiteral("user-trash"));
    if (!trash.isNull()) {
        deleteButton_->setImage(trash.pixmap(16, 16));
        deleteButton_->setImagePosition(OVButton::ImageOnly);
    }

    // Import asks which kind to choose: a file chooser picks files or one folder, not both.
    auto* importMenu = new QMenu(importButton_);
    importMenu->addAction(L10n::text("Import Files..."), this, [this] { importAction(false); });
    importMenu->addAction(L10n::text("Import Folder..."), this, [this] { importAction(true); });
    connect(importButton_, &OVButton::clicked, this, [this, importMenu] {
        importMenu->popup(importButton_->mapToGlobal(QPoint(0, importButton_->height())));
    });
    connect(exportButton_, &OVButton::clicked, this, [this] { exportAction(); });
    connect(deleteButton_, &OVButton::clicked, this, [this] { deleteAction(); });

    buildDefaultMenu();
    layoutSubView();
}

void OVRightViewController::removeFromWindow()
{
    if (view_)
        view_->setParent(nullptr);
}

void OVRightViewController::updateStatusLabel()
{
    if (mainWindowController_ && view_ && view_->window() && view_->window() != view_)
        mainWindowController_->setStatusText(QString());
}

void OVRightViewController::cleanUp()
{
    mainWindowController_ = nullptr;
    client_.reset();
    cleanedUp_ = true;
}

void OVRightViewController::doImportDone(const std::optional<Error>&, const std::vector<std::string>&)
{
    reloadCurrentViewData();
}

void OVRightViewController::doDeleteDone(const std::optional<Error>&) { reloadCurrentViewData(); }

void OVRightViewController::quickAction()
{
    const std::vector<OVViewModelRef> items = selectedItems();
    if (!items.empty())
        quickLookPreviewItem(items.front(), false);
}

// --- messages and layout ------------------------------------------------------

void OVRightViewController::showMessage(const QString& message, const QString& title, const QString& suppressKey)
{
    const QString key = QStringLiteral("SuppressAlert_%1").arg(suppressKey);
    if (!suppressKey.isEmpty() && Prefs::shared().boolValue(key))
        return;
    const bool suppress = PaneDialogs::current().showMessage(view_, title, message, !suppressKey.isEmpty());
    if (!suppressKey.isEmpty() && suppress)
        Prefs::shared().setValue(key, true);
}

void OVRightViewController::layoutSubView()
{
    if (!view_ || !navbarView_)
        return;
    const int width = view_->width();
    const int height = view_->height();
    const int barHeight = navbarView_->height();
    navbarView_->setGeometry(0, 0, width, barHeight);

    // Buttons sit 5 points above the bar's bottom line, counted from the bar's
    // bottom edge, as the bar draws its line.
    const int buttonHeight = 31;
    const int bottomOffset = static_cast<int>(std::ceil(barHeight - 5.0 - buttonHeight));
    const int y = barHeight - bottomOffset - buttonHeight;
    const int deleteX = (width - 5) - 51;
    const int buttonWidth = L10n::text("Import") == QLatin1String("Import") ? 77 : 61;
    const int exportX = (deleteX - 13) - buttonWidth;
    const int importX = (exportX - 3) - buttonWidth;
    deleteButton_->setGeometry(deleteX, y, 51, buttonHeight);
    exportButton_->setGeometry(exportX, y, buttonWidth, buttonHeight);
    importButton_->setGeometry(importX, y, buttonWidth, buttonHeight);

    if (mainContentView_ && mainContentView_->parentWidget() == view_)
        mainContentView_->setGeometry(0, barHeight - 5, width, height - barHeight + 5);
}

void OVRightViewController::addContentView(QWidget* content)
{
    if (!view_)
        return;
    if (mainContentView_ && mainContentView_->parentWidget() == view_)
        mainContentView_->setParent(nullptr);
    mainContentView_ = content;
    if (!content)
        return;
    content->setParent(view_);
    const int barHeight = navbarView_ ? navbarView_->height() : kNavbarHeight;
    content->setGeometry(0, barHeight - 5, view_->width(), view_->height() - barHeight + 5);
    content->show();
    // The bar covers the content's top 5 points.
    if (navbarView_)
        navbarView_->raise();
}

bool OVRightViewController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == view_ && event->type() == QEvent::Resize)
        layoutSubView();
    return QObject::eventFilter(watched, event);
}

// --- window services ------------------------------------------------------------

void OVRightViewController::startSpinning()
{
    if (mainWindowController_ && mainWindowController_->spinGear())
        mainWindowController_->spinGear()->start();
}

void OVRightViewController::stopSpinning()
{
    if (mainWindowController_ && mainWindowController_->spinGear())
        mainWindowController_->spinGear()->stop();
}

void OVRightViewController::presentError(const Error& error)
{
    OVMainWindowController::presentError(error, view_ ? view_->window() : nullptr);
}

void OVRightViewController::reloadBadgeLater(int delayMs)
{
    QTimer::singleShot(delayMs, this, [this] {
        if (mainWindowController_)
            mainWindowController_->reloadBadge(viewType_, false, false, true);
    });
}

}  // namespace orv
