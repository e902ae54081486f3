#pragma once
// What the device window asks of each right-hand pane (photos, videos,
// music, Download, files). The window makes a pane through the pane factory
// registry, gives it its view type, client and window, shows its view in the
// pane container and forwards commands and Quick Look questions to it.

#include <QImage>
#include <QRect>
#include <cstdint>
#include <memory>
#include <optional>

#include "core/bridge/companion/OVLibraryChange.h"

class QKeyEvent;
class QWidget;

namespace orv {

class OVDeviceClient;
class OVMainWindowController;

class OVDevicePane {
public:
    virtual ~OVDevicePane() = default;

    virtual void setViewType(int64_t viewType) = 0;
    virtual void setClient(std::shared_ptr<OVDeviceClient> client) = 0;
    virtual void setMainWindowController(OVMainWindowController* controller) = 0;
    // Builds the pane's view; view() is valid from then on.
    virtual void loadView() = 0;
    virtual QWidget* view() = 0;

    // The phone has loaded: start loading content.
    virtual void setDeviceDone() = 0;
    // Reload what is shown (a second click on the pane's sidebar button).
    virtual void reloadCurrentViewData() = 0;
    // The pane's view leaves the container.
    virtual void removeFromWindow() = 0;
    // Writes the pane's counts into the window's status line.
    virtual void updateStatusLabel() = 0;
    // The view to focus, or nullptr.
    virtual QWidget* firstResponder() = 0;
    virtual void selectAll() = 0;
    // The window closes: drop the client and the window.
    virtual void cleanUp() = 0;
    // Photo, video and music panes: a pushed library change (nullopt: refresh all).
    virtual void deviceLibraryCallback(const std::optional<OVLibraryChange>& change) = 0;

    // Quick Look, forwarded while the pane is on screen.
    virtual bool acceptsPreviewPanelControl() { return false; }
    virtual void beginPreviewPanelControl() {}
    virtual void endPreviewPanelControl() {}
    virtual int64_t numberOfPreviewItems() { return 0; }
    // The local file to preview for item `index` (empty: none).
    virtual QString previewItemAtIndex(int64_t) { return {}; }
    virtual bool previewPanelHandleEvent(QKeyEvent*) { return false; }
    virtual QRect sourceFrameOnScreenForPreviewItem(int64_t) { return {}; }
    virtual QImage transitionImageForPreviewItem(int64_t, QRect*) { return {}; }
};

}  // namespace orv
