#pragma once
// The application's drawn images for album covers: the frames "albumFrame1"
// to "albumFrame3" (one to three stacked cards) with the picture's place in
// them, and the default music album cover "audioAlbum".

#include <QImage>
#include <QRect>

namespace orv::album_frames {

constexpr int kFrameWidth = 166;
constexpr int kFrameHeight = 168;

// The frame for `number` (1, 2 or 3) stacked cards.
QImage albumFrame(int number);
// Where the picture goes in a frame, in Qt's coordinates (x 18, y 19 from the
// bottom-left corner, 130 by 130).
QRect pictureRect();
QImage audioAlbum();

}  // namespace orv::album_frames
