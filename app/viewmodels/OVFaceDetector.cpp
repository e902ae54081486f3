#include "app/viewmodels/OVFaceDetector.h"

#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>

namespace orv {

namespace {

cv::CascadeClassifier* detector()
{
    thread_local cv::CascadeClassifier classifier;
    thread_local bool loaded = classifier.load(ORVANE_FACE_CASCADE);
    return loaded ? &classifier : nullptr;
}

}  // namespace

bool OVFaceDetector::available() { return detector() != nullptr; }

std::vector<QRect> OVFaceDetector::faces(const QImage& image)
{
    cv::CascadeClassifier* classifier = detector();
    if (!classifier || image.isNull())
        return {};
    const QImage gray = image.convertToFormat(QImage::Format_Grayscale8);
    const cv::Mat view(gray.height(), gray.width(), CV_8UC1, const_cast<uchar*>(gray.constBits()),
                       size_t(gray.bytesPerLine()));
    cv::Mat equalized;
    cv::equalizeHist(view, equalized);
    std::vector<cv::Rect> found;
    // Thumbnails are small: allow faces down to a sixth of the shorter side.
    const int minSide = std::max(20, std::min(gray.width(), gray.height()) / 6);
    classifier->detectMultiScale(equalized, found, 1.1, 4, 0, cv::Size(minSide, minSide));
    std::vector<QRect> result;
    result.reserve(found.size());
    for (const cv::Rect& r : found)
        result.emplace_back(r.x, r.y, r.width, r.height);
    return result;
}

std::optional<QRect> OVFaceDetector::chosenFace(const QImage& image)
{
    std::optional<QRect> chosen;
    QSize taken(0, 0);
    for (const QRect& face : faces(image)) {
        if (face.width() > taken.width() && face.height() > taken.height()) {
            chosen = face;
            taken = face.size();
        }
    }
    return chosen;
}

}  // namespace orv
