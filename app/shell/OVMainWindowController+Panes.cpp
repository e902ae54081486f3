// The device window's panes and the changes the phone pushes.

#include <QApplication>
#include <QThread>
#include <QTimer>

#include "app/shell/OVDevicePane.h"
#include "app/shell/OVLeftDeviceView.h"
#include "app/shell/OVMainWindowController.h"
#include "app/shell/PaneFactoryRegistry.h"
#include "app/shell/ShellSettings.h"
#include "core/bridge/facade/OVDeviceClient.h"

namespace orv {

OVDevicePane* OVMainWindowController::pane(int64_t viewType) const
{
    if (viewType < 0 || viewType >= static_cast<int64_t>(panes_.size()))
        return nullptr;
    return panes_[static_cast<size_t>(viewType)].get();
}

void OVMainWindowController::switchToView(int64_t viewType)
{
    if (closed_)
        return;
    if (viewType >= 0 && viewType < static_cast<int64_t>(panes_.size())) {
        auto& slot = panes_[static_cast<size_t>(viewType)];
        if (!slot) {
            slot = PaneFactoryRegistry::shared().make(PaneFactoryRegistry::layoutNameForViewType(viewType));
            slot->setViewType(viewType);
            // The photo pane needs its client and window while its view is built.
            if (viewType == 0) {
                slot->setClient(client_);
                slot->setMainWindowController(this);
                slot->loadView();
            } else {
                slot->loadView();
                slot->setClient(client_);
                slot->setMainWindowController(this);
            }
            if (didLoadDevice_)
                slot->setDeviceDone();
        }
        OVDevicePane* next = slot.get();
        QWidget* view = next->view();
        if (next != currentViewController_) {
            if (currentViewController_)
                currentViewController_->removeFromWindow();
            for (QWidget* child : rightBaseView_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
                if (child != view)
                    child->setParent(nullptr);
            if (view) {
                view->setParent(rightBaseView_);
                view->setGeometry(rightBaseView_->rect());
                view->show();
            }
        } else {
            if (view)
                view->setGeometry(rightBaseView_->rect());
            next->reloadCurrentViewData();
        }
        currentViewController_ = next;
    }
    if (currentViewController_)
        currentViewController_->updateStatusLabel();
    layoutBottomBar();
    if (currentViewController_)
        if (QWidget* focus = currentViewController_->firstResponder())
            focus->setFocus();
}

void OVMainWindowController::selectAll()
{
    if (currentViewController_)
        currentViewController_->selectAll();
}

void OVMainWindowController::monitorDevice()
{
    if (!shell_settings::useWatchCommand() || monitoring_ || !client_ || closed_)
        return;
    monitoring_ = true;

    // Blocks may run on the bridge's threads: the work always happens on the
    // main thread, and only while this window is still there.
    QPointer<OVMainWindowController> self(this);
    auto onMain = [](std::function<void()> work) {
        if (QThread::currentThread() == qApp->thread())
            work();
        else
            QMetaObject::invokeMethod(qApp, std::move(work), Qt::QueuedConnection);
    };

    client_->registerDeviceInfoChangeWithBlock([self, onMain](const nlohmann::json& info, std::optional<Error> error) {
        if (error)
            return;
        const QString description = QString::fromStdString(info.dump());
        const int64_t locked = info.contains("screen_locked") && info["screen_locked"].is_number() ? info["screen_locked"].get<int64_t>() : 0;
        onMain([self, description, locked] {
            if (!self || self->repliesIgnored())
                return;
            self->phoneLocked_ = locked;
            self->applyDeviceInfo(description);
        });
    });
    const std::pair<int64_t, void (OVDeviceClient::*)(OVDeviceClient::LibraryChangedBlock)> libraries[] = {
        {0, &OVDeviceClient::registerPhotoLibraryChangeWithBlock},
        {1, &OVDeviceClient::registerVideoLibraryChangeWithBlock},
        {2, &OVDeviceClient::registerAudioLibraryChangeWithBlock},
    };
    for (const auto& [viewType, registerBlock] : libraries) {
        const int64_t type = viewType;
        ((*client_).*registerBlock)([self, onMain, type](const std::optional<OVLibraryChange>& change) {
            onMain([self, type, change] {
                if (self && !self->closed_)
                    self->applyLibraryChange(type, change);
            });
        });
    }
}

void OVMainWindowController::applyDeviceInfo(const QString& description)
{
    const auto& device = client_->device();
    OVLeftDeviceView* card = sidebar_->deviceView();
    card->setDeviceName(deviceDisplayName());
    card->setFreeSpace(device->freeSpace());
    card->setBatteryLevel(device->battery());
    card->setCardToolTip(description);
    card->update();
    resetTitle(titleShowDeviceName_);
}

void OVMainWindowController::applyLibraryChange(int64_t viewType, const std::optional<OVLibraryChange>& change)
{
    if (OVDevicePane* library = pane(viewType))
        library->deviceLibraryCallback(change);
    reloadBadge(viewType, false, false, false);
}

}  // namespace orv
