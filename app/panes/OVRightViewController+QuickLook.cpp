// Quick Look in the panes: the preview window shows the item's card at once,
// and for kinds it can show from their contents the pane copies the file
// from the phone into a fresh private folder, shows the copy's progress
// along the window's bottom and then the copy itself. One copy per pane is
// current; a new preview or the window closing cancels it, and a late report
// of an earlier copy never reaches the window.

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include "app/panes/AppLauncher.h"
#include "app/panes/LocalStaging.h"
#include "app/panes/OVPreviewWindow.h"
#include "app/panes/OVRightViewController.h"
#include "app/panes/QuickLookDownloadItemView.h"
#include "app/panes/SafeLocalName.h"
#include "app/shell/OVMainWindowController.h"
#include "app/viewmodels/PreviewTempFolder.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "platform/OperationQueue.h"

namespace orv {

namespace {

QDateTime toDateTime(const OVFile::Date& date) { return qDateTimeFromFileDate(date); }

void stopCellAnimation(QObject* cell)
{
    if (auto* view = dynamic_cast<QuickLookDownloadItemView*>(cell))
        view->stopDownloadingAnimation();
}

}  // namespace

void OVRightViewController::quickLookPreviewItem(const OVViewModelRef& item, bool reload)
{
    if (!item || item->isAlbum() || item->isDir())
        return;
    OVPreviewWindow* panel = OVPreviewWindow::sharedPreviewPanel();
    if (!panel)
        return;
    if (!reload && panel->isVisible()) {
        panel->close();
        return;
    }
    stopQuickLookCopy();
    if (quickLookDownloadItemView_) {
        stopCellAnimation(quickLookDownloadItemView_);
        quickLookDownloadItemView_ = nullptr;
    }
    if (quicklookItem_) {
        quicklookItem_->cleanQLPreviewItem();
        quicklookItem_->setCachedURL(QString());
    }
    if (!quickLookCopyFolder_.isEmpty()) {
        QDir(quickLookCopyFolder_).removeRecursively();
        quickLookCopyFolder_.clear();
    }

    quicklookItem_ = item;
    if (QuickLookDownloadItemView* cell = quickLookDownloadItemViewForItem(item))
        quickLookDownloadItemView_ = dynamic_cast<QObject*>(cell);

    showInPreview(item, QString());
    if (!panel->isVisible()) {
        beginPreviewPanelControl();
        // Over the middle of the device window, where the eye already is.
        if (view_ && view_->window() && view_->window() != view_) {
            const QRect window = view_->window()->frameGeometry();
            panel->move(window.center() - QPoint(panel->width() / 2, panel->height() / 2));
        }
        panel->show();
        panel->raise();
    }
    if (item->canDownloadPreview())
        startQuickLookCopy(item);
}

void OVRightViewController::showInPreview(const OVViewModelRef& item, const QString& localPath)
{
    OVPreviewItem shown;
    shown.title = item->displayname();
    shown.localPath = localPath;
    shown.placeholder = item->previewCard();
    shown.icon = item->smallIcon();
    shown.size = item->filesize();
    shown.modified = toDateTime(item->modifiedDate());
    OVPreviewWindow::sharedPreviewPanel()->setItem(shown);
}

void OVRightViewController::startQuickLookCopy(const OVViewModelRef& item)
{
    const auto device = client();
    if (!device || !item->ovfile())
        return;
    const QString parent =
        preview_temp_folder::folderFor(item->serialNumber(), QFileInfo(QString::fromStdString(item->ovfile()->path())).path());
    const QString folder = parent.isEmpty() ? QString() : local_staging::makeFolderIn(parent);
    const QString target = folder.isEmpty() ? QString() : localTargetFor(folder, item->rawfilename());
    if (target.isEmpty())
        return;
    quickLookCopyFolder_ = folder;
    OVPreviewWindow* panel = OVPreviewWindow::sharedPreviewPanel();
    panel->setProgress(1);
    if (quickLookDownloadItemView_)
        if (auto* cell = dynamic_cast<QuickLookDownloadItemView*>(quickLookDownloadItemView_.data())) {
            cell->startDownloadingAnimation();
            cell->setMaxValue(100);
        }

    struct Copy {
        uint64_t total = 1;
    };
    const auto copy = std::make_shared<Copy>();
    QPointer<OVRightViewController> self(this);
    // A report belongs to the current preview only while its item is shown.
    auto current = [self, item] { return self && self->quicklookItem_ == item; };
    auto analysis = [self, copy](uint64_t, uint64_t bytes) {
        if (self)
            copy->total = bytes;
    };
    auto progress = [self, copy, current](const OVFileRef&, int64_t, int64_t, int64_t overallDone) {
        if (!current())
            return false;
        // A file of 0 bytes has no fraction to show: the bar runs without one.
        const double percent = copy->total == 0 ? -1.0 : double(overallDone) * 100.0 / double(copy->total);
        OVPreviewWindow::sharedPreviewPanel()->setProgress(percent);
        if (auto* cell = dynamic_cast<QuickLookDownloadItemView*>(self->quickLookDownloadItemView_.data()))
            cell->setDoubleValue(std::max(0.0, percent));
        return true;
    };
    auto finish = [self, item, folder, target, current](std::optional<Error> error, bool cancelled) {
        if (!self)
            return;
        if (cancelled || !current()) {
            // This copy's own folder: nothing else ever lands in it.
            QDir(folder).removeRecursively();
            return;
        }
        self->quickLookDownloadOperation_.reset();
        OVPreviewWindow* panel = OVPreviewWindow::sharedPreviewPanel();
        panel->hideProgress();
        if (auto* cell = dynamic_cast<QuickLookDownloadItemView*>(self->quickLookDownloadItemView_.data()))
            cell->stopDownloadingAnimation();
        // A failed copy leaves the card in the window, without a message.
        if (error || !QFileInfo(target).isFile())
            return;
        item->setCachedURL(target);
        QFile file(target);
        if (file.open(QIODevice::ReadWrite)) {
            if (const QDateTime modified = toDateTime(item->modifiedDate()); modified.isValid())
                file.setFileTime(modified, QFileDevice::FileModificationTime);
            file.close();
        }
        self->showInPreview(item, target);
    };
    quickLookDownloadOperation_ =
        device->downloadFiles({item->ovfile()}, HostURL::fileURLWithPath(QFile::encodeName(folder).toStdString()),
                              analysis, progress, finish);
}

void OVRightViewController::stopQuickLookCopy()
{
    if (quickLookDownloadOperation_) {
        quickLookDownloadOperation_->cancel();
        quickLookDownloadOperation_.reset();
    }
    if (OVPreviewWindow::sharedPreviewPanelExists())
        OVPreviewWindow::sharedPreviewPanel()->hideProgress();
}

void OVRightViewController::beginPreviewPanelControl()
{
    OVPreviewWindow* panel = OVPreviewWindow::sharedPreviewPanel();
    if (mainWindowController_)
        mainWindowController_->setPreviewPanel(panel);
    QPointer<OVRightViewController> self(this);
    panel->setKeyHandler([self](QKeyEvent* event) { return self && self->previewPanelHandleEvent(event); });
    disconnect(panel, nullptr, this, nullptr);
    connect(panel, &OVPreviewWindow::closed, this, [this] { endPreviewPanelControl(); });
    connect(panel, &OVPreviewWindow::openRequested, this, [](const QString& path) {
        if (!path.isEmpty())
            AppLauncher::current().open(path);
    });
}

void OVRightViewController::endPreviewPanelControl()
{
    stopQuickLookCopy();
    if (quicklookItem_) {
        quicklookItem_->cleanQLPreviewItem();
        quicklookItem_->setCachedURL(QString());
    }
    quicklookItem_.reset();
    if (!quickLookCopyFolder_.isEmpty()) {
        QDir(quickLookCopyFolder_).removeRecursively();
        quickLookCopyFolder_.clear();
    }
    if (mainWindowController_)
        mainWindowController_->setPreviewPanel(nullptr);
    if (OVPreviewWindow::sharedPreviewPanelExists()) {
        OVPreviewWindow* panel = OVPreviewWindow::sharedPreviewPanel();
        disconnect(panel, nullptr, this, nullptr);
        panel->setKeyHandler({});
    }
}

QString OVRightViewController::previewItemAtIndex(int64_t)
{
    return quicklookItem_ ? quicklookItem_->cachedURL() : QString();
}

QRect OVRightViewController::sourceFrameOnScreenForPreviewItem(int64_t)
{
    return quicklookItem_ ? screenRectForItem(quicklookItem_) : QRect();
}

QImage OVRightViewController::transitionImageForPreviewItem(int64_t, QRect*)
{
    if (!quicklookItem_)
        return {};
    if (quicklookItem_->isImage() && !quicklookItem_->thumbnail().isNull())
        return quicklookItem_->thumbnail();
    return quicklookItem_->icon();
}

}  // namespace orv
