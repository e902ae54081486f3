#pragma once
// An empty pane with the navigation bar across its top: what the device
// window shows for a pane whose real implementation is not registered.

#include <QPointer>
#include <QWidget>

#include "app/shell/OVDevicePane.h"

namespace orv {

class PlaceholderPane : public OVDevicePane {
public:
    PlaceholderPane() = default;
    ~PlaceholderPane() override;

    void setViewType(int64_t viewType) override { viewType_ = viewType; }
    int64_t viewType() const { return viewType_; }
    void setClient(std::shared_ptr<OVDeviceClient> client) override { client_ = std::move(client); }
    void setMainWindowController(OVMainWindowController* controller) override { controller_ = controller; }
    void loadView() override;
    QWidget* view() override { return view_; }
    void setDeviceDone() override {}
    void reloadCurrentViewData() override {}
    void removeFromWindow() override;
    void updateStatusLabel() override;
    QWidget* firstResponder() override { return view_; }
    void selectAll() override {}
    void cleanUp() override;
    void deviceLibraryCallback(const std::optional<OVLibraryChange>&) override {}

private:
    int64_t viewType_ = -1;
    std::shared_ptr<OVDeviceClient> client_;
    OVMainWindowController* controller_ = nullptr;
    QPointer<QWidget> view_;
};

}  // namespace orv
