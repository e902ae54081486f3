// Folder watching: the pane watches the folder it listed last, and the
// phone's change reports for it bring a fresh listing once they have
// settled. Each pane has its own settling timer, so a report in one pane
// never swallows another pane's reload.

#include "app/panes/OVFileViewController.h"
#include "core/bridge/facade/OVDeviceClient.h"

namespace orv {

void OVFileViewController::moveWatch(const OVViewModelRef& folder)
{
    const auto device = client();
    if (!device || !folder || !folder->ovfile())
        return;
    if (lastMonitorDir_ && lastMonitorDir_->ovfile())
        device->unregisterDirectoryChange(lastMonitorDir_->ovfile());
    lastMonitorDir_ = folder;
    QPointer<OVFileViewController> self(this);
    device->registerDirectoryChange(folder->ovfile(), [self](const std::string&, const std::string&) {
        if (self)
            self->directoryDidChange();
    });
}

void OVFileViewController::directoryDidChange()
{
    // Restarting drops the pending firing: the reload follows the last report.
    watchTimer_.start();
}

}  // namespace orv
