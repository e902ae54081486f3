#pragma once
// The application's images that the view models draw with: an image named in
// the resources folder ("images/<name>.png") wins; the ones the view models
// cannot do without are drawn here when the resources lack them: the album
// frames "albumFrame1" to "albumFrame3" (one to three stacked cards), the
// default music album cover "audioAlbum" and the folder "icon_folder".

#include <QImage>
#include <QRect>
#include <QString>

namespace orv::app_images {

constexpr int kFrameWidth = 166;
constexpr int kFrameHeight = 168;

// The frame for `number` (1, 2 or 3) stacked cards.
QImage albumFrame(int number);
// Where the picture goes in a frame, in Qt's coordinates (x 18, y 19 from the
// bottom-left corner, 130 by 130).
QRect pictureRect();
QImage audioAlbum();
QImage iconFolder();
// The icon of a file type by its extension (the toolkit's icons), else a plain sheet.
QImage iconForFileType(const QString& extension);
// The application image of that name from the resources folder; null when there is none.
QImage namedImage(const QString& name);
// A transparent picture of w by h points at twice the pixels, to draw a
// stand-in image on.
QImage blankCanvas(int w, int h);

}  // namespace orv::app_images
