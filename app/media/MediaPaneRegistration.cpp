#include "app/media/MediaPaneRegistration.h"

#include "app/media/OVAudioViewController.h"
#include "app/media/OVPhotoViewController.h"
#include "app/media/OVVideoViewController.h"
#include "app/shell/PaneFactoryRegistry.h"

namespace orv {

// Each media pane adds its factory here, under its layout name
// ("OVPhotoViewController", "OVVideoViewController", "OVAudioViewController").
void registerMediaPanes(PaneFactoryRegistry& registry)
{
    registry.registerFactory(QStringLiteral("OVPhotoViewController"),
                             [] { return std::make_unique<OVPhotoViewController>(); });
    registry.registerFactory(QStringLiteral("OVVideoViewController"),
                             [] { return std::make_unique<OVVideoViewController>(); });
    registry.registerFactory(QStringLiteral("OVAudioViewController"),
                             [] { return std::make_unique<OVAudioViewController>(); });
}

}  // namespace orv
