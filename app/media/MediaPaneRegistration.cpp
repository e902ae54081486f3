#include "app/media/MediaPaneRegistration.h"

#include "app/shell/PaneFactoryRegistry.h"

namespace orv {

// Each media pane adds its factory here, under its layout name
// ("OVPhotoViewController", "OVVideoViewController", "OVAudioViewController").
void registerMediaPanes(PaneFactoryRegistry& registry)
{
    (void)registry;
}

}  // namespace orv
