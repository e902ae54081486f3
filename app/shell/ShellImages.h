#pragma once
// The device window's images, by name: an image in the resources folder
// ("images/<name>.png") wins; otherwise a drawn stand-in, so the window never
// shows a hole. Names: the sidebar icons "SidePhoto", "SideAudio",
// "SideVideo", "SideDownload", "SideFile" (34 x 34); the phone pictures
// "Pq1", "Wq3-white", "Wq3-black" (55 x 113); "ejectIcon"; "batterFlash".

#include <QImage>
#include <QString>

namespace orv::shell_images {

QImage image(const QString& name);

}  // namespace orv::shell_images
