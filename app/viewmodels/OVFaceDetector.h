#pragma once
// Finds faces in a picture with the frontal-face cascade. Each thread has its
// own detector (the classifier is not shared between threads), loaded on the
// thread's first use.

#include <QImage>
#include <QRect>
#include <optional>
#include <vector>

namespace orv {

class OVFaceDetector {
public:
    // The faces found, in the detector's order, in the picture's pixels (origin top left).
    static std::vector<QRect> faces(const QImage& image);
    // The face to centre a crop on: the first one, replaced only by a later
    // face that is both wider and taller than the one taken so far.
    static std::optional<QRect> chosenFace(const QImage& image);
    // False when the cascade file could not be loaded (then no face is ever found).
    static bool available();
};

}  // namespace orv
