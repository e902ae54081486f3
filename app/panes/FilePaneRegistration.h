#pragma once
// Tells the device window's pane registry how to make the file browser and
// the Download pane.

namespace orv {

class PaneFactoryRegistry;

void registerFilePanes(PaneFactoryRegistry& registry);

}  // namespace orv
