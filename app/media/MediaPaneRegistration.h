#pragma once
// Tells the device window's pane registry how to make the photos, videos and
// music panes.

namespace orv {

class PaneFactoryRegistry;

void registerMediaPanes(PaneFactoryRegistry& registry);

}  // namespace orv
