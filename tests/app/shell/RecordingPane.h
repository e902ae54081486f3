#pragma once
// A pane that records what the device window asks of it, in one log shared by
// every recording pane ("<viewType>:<call>"), registered for all five panes.

#include <QWidget>
#include <string>
#include <vector>

#include "app/shell/OVDevicePane.h"
#include "app/shell/PaneFactoryRegistry.h"

namespace orv::test {

class RecordingPane : public OVDevicePane {
public:
    static std::vector<std::string>& log()
    {
        static std::vector<std::string> entries;
        return entries;
    }
    static int count(const std::string& entry) { return static_cast<int>(std::count(log().begin(), log().end(), entry)); }

    static void registerForAllPanes()
    {
        for (int64_t type = 0; type < 5; ++type)
            PaneFactoryRegistry::shared().registerFactory(PaneFactoryRegistry::layoutNameForViewType(type),
                                                          [] { return std::make_unique<RecordingPane>(); });
    }
    static void unregister()
    {
        for (int64_t type = 0; type < 5; ++type)
            PaneFactoryRegistry::shared().registerFactory(PaneFactoryRegistry::layoutNameForViewType(type), {});
    }

    ~RecordingPane() override { delete view_; }

    void setViewType(int64_t viewType) override
    {
        type_ = viewType;
        note("setViewType");
    }
    void setClient(std::shared_ptr<OVDeviceClient> client) override
    {
        hasClient = client != nullptr;
        note(hasClient ? "setClient" : "setClient(null)");
    }
    void setMainWindowController(OVMainWindowController*) override { note("setMainWindowController"); }
    void loadView() override
    {
        view_ = new QWidget;
        view_->setFocusPolicy(Qt::StrongFocus);
        note("loadView");
    }
    QWidget* view() override { return view_; }
    void setDeviceDone() override { note("setDeviceDone"); }
    void reloadCurrentViewData() override { note("reloadCurrentViewData"); }
    void removeFromWindow() override
    {
        view_->setParent(nullptr);
        note("removeFromWindow");
    }
    void updateStatusLabel() override { note("updateStatusLabel"); }
    QWidget* firstResponder() override { return view_; }
    void selectAll() override { note("selectAll"); }
    void cleanUp() override { note("cleanUp"); }
    void deviceLibraryCallback(const std::optional<OVLibraryChange>&) override { note("deviceLibraryCallback"); }
    int64_t numberOfPreviewItems() override { return 3; }

    bool hasClient = false;

private:
    void note(const char* call) { log().push_back(std::to_string(type_) + ":" + call); }

    int64_t type_ = -1;
    QWidget* view_ = nullptr;
};

}  // namespace orv::test
