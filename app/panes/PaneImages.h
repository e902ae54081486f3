#pragma once
// The panes' images, by name: an image in the resources folder
// ("images/<name>.png") wins; otherwise a drawn stand-in, so a pane never shows
// a hole. Names: "OVPathbar-separator" (10 x 30), "icon_imageborder" (the
// white frame around thumbnails, 110 x 110) and "videoIcon" (30 x 30).

#include <QImage>
#include <QString>

namespace orv::pane_images {

// A null image for a name that is neither in the resources nor drawn here.
QImage image(const QString& name);

}  // namespace orv::pane_images
