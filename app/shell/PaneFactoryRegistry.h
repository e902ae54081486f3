#pragma once
// Makes the device window's panes by layout name ("OVPhotoViewController",
// "OVVideoViewController", "OVAudioViewController",
// "OVDownloadViewController", "OVFileViewController"). A name nobody
// registered gets an empty placeholder pane, so the window always has a pane
// to show. Main thread only.

#include <QString>
#include <functional>
#include <memory>

#include "app/shell/OVDevicePane.h"

namespace orv {

class PaneFactoryRegistry {
public:
    using Factory = std::function<std::unique_ptr<OVDevicePane>()>;

    static PaneFactoryRegistry& shared();

    // Replaces any factory of that name; an empty factory removes it.
    void registerFactory(const QString& layoutName, Factory factory);
    std::unique_ptr<OVDevicePane> make(const QString& layoutName) const;

    // The layout name of a view type (0 to 4), or an empty string.
    static QString layoutNameForViewType(int64_t viewType);

private:
    std::map<QString, Factory> factories_;
};

}  // namespace orv
