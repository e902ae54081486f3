// The device window's title, its screen image, closing and ejecting, and the
// Quick Look questions passed to the pane on screen.

#include <QDialog>
#include <QTimer>

#include "app/shell/OVDevicePane.h"
#include "app/shell/OVLeftDeviceView.h"
#include "app/shell/OVMainWindowController.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/facade/OVLocalization.h"

namespace orv {

namespace {
constexpr qint64 kCloseGuardMs = 500;
}

void OVMainWindowController::resetTitle(bool showDeviceName)
{
    titleShowDeviceName_ = showDeviceName;
    if (!window_)
        return;
    window_->setWindowTitle(showDeviceName ? deviceDisplayName()
                                           : QString::fromStdString(localizedString("Orvane File Manager", "Orvane File Manager")));
}

void OVMainWindowController::updatePhoneScreenImage()
{
    if (!client_ || closed_)
        return;
    sidebar_->deviceView()->startLoadingAnimation();
    QPointer<OVMainWindowController> self(this);
    client_->screenshotWitchCallback([self](std::optional<std::vector<uint8_t>> png, std::optional<Error>) {
        if (!self || self->repliesIgnored())
            return;
        OVLeftDeviceView* card = self->sidebar_->deviceView();
        card->stopLoadingAnimation();
        if (!png)
            return;
        const QImage image = QImage::fromData(png->data(), static_cast<int>(png->size()));
        if (!image.isNull())
            card->updateScreen(image);
    });
}

bool OVMainWindowController::canClose() const { return launchTime_.isValid() && launchTime_.elapsed() > kCloseGuardMs; }

void OVMainWindowController::ejectDevice() { closeThisWindow(this); }

void OVMainWindowController::closeThisWindow(QObject* sender)
{
    if (!canClose() || closed_)
        return;
    if (sender)
        host_.manuallyWindowControllerClose(*this);
    // From here on no reply of the client touches the window.
    closed_ = true;
    currentViewController_ = nullptr;
    for (QWidget* child : rightBaseView_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        child->setParent(nullptr);
    for (int64_t viewType : {0, 1, 2, 3, 4})
        if (OVDevicePane* p = pane(viewType))
            p->cleanUp();
    client_.reset();
    if (previewPanel_ && previewPanel_->isVisible())
        previewPanel_->hide();
    previewPanel_ = nullptr;
    for (QDialog* sheet : window_->findChildren<QDialog*>())
        if (sheet->isVisible() && sheet->windowModality() == Qt::WindowModal)
            sheet->reject();
    window_->close();
}

void OVMainWindowController::windowWillClose() { host_.didMainWindowControllerClose(*this); }

// --- Quick Look ----------------------------------------------------------------------

bool OVMainWindowController::acceptsPreviewPanelControl()
{
    return currentViewController_ && currentViewController_->acceptsPreviewPanelControl();
}

void OVMainWindowController::beginPreviewPanelControl()
{
    if (currentViewController_)
        currentViewController_->beginPreviewPanelControl();
}

void OVMainWindowController::endPreviewPanelControl()
{
    if (currentViewController_)
        currentViewController_->endPreviewPanelControl();
}

int64_t OVMainWindowController::numberOfPreviewItems()
{
    return currentViewController_ ? currentViewController_->numberOfPreviewItems() : 0;
}

QString OVMainWindowController::previewItemAtIndex(int64_t index)
{
    return currentViewController_ ? currentViewController_->previewItemAtIndex(index) : QString();
}

bool OVMainWindowController::previewPanelHandleEvent(QKeyEvent* event)
{
    return currentViewController_ && currentViewController_->previewPanelHandleEvent(event);
}

QRect OVMainWindowController::sourceFrameOnScreenForPreviewItem(int64_t index)
{
    return currentViewController_ ? currentViewController_->sourceFrameOnScreenForPreviewItem(index) : QRect();
}

QImage OVMainWindowController::transitionImageForPreviewItem(int64_t index, QRect* contentRect)
{
    return currentViewController_ ? currentViewController_->transitionImageForPreviewItem(index, contentRect) : QImage();
}

}  // namespace orv
