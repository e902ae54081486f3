#include "app/panes/FilePaneRegistration.h"

#include "app/panes/OVDownloadViewController.h"
#include "app/panes/OVFileViewController.h"
#include "app/shell/PaneFactoryRegistry.h"

namespace orv {

void registerFilePanes(PaneFactoryRegistry& registry)
{
    registry.registerFactory(QStringLiteral("OVFileViewController"),
                             [] { return std::make_unique<OVFileViewController>(); });
    registry.registerFactory(QStringLiteral("OVDownloadViewController"),
                             [] { return std::make_unique<OVDownloadViewController>(); });
}

}  // namespace orv
