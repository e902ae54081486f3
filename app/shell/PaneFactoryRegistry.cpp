#include "app/shell/PaneFactoryRegistry.h"

#include "app/shell/PlaceholderPane.h"

namespace orv {

PaneFactoryRegistry& PaneFactoryRegistry::shared()
{
    static PaneFactoryRegistry registry;
    return registry;
}

void PaneFactoryRegistry::registerFactory(const QString& layoutName, Factory factory)
{
    if (factory)
        factories_[layoutName] = std::move(factory);
    else
        factories_.erase(layoutName);
}

std::unique_ptr<OVDevicePane> PaneFactoryRegistry::make(const QString& layoutName) const
{
    if (const auto it = factories_.find(layoutName); it != factories_.end())
        if (auto pane = it->second())
            return pane;
    return std::make_unique<PlaceholderPane>();
}

QString PaneFactoryRegistry::layoutNameForViewType(int64_t viewType)
{
    static const char* const names[] = {"OVPhotoViewController", "OVVideoViewController", "OVAudioViewController",
                                        "OVDownloadViewController", "OVFileViewController"};
    if (viewType < 0 || viewType > 4)
        return {};
    return QLatin1String(names[viewType]);
}

}  // namespace orv
