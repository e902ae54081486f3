#include "app/viewmodels/QuickLookImage.h"

#include <QFileInfo>
#include <QImageReader>
#include <QPainter>

#include "app/viewmodels/AppImages.h"

namespace orv::quick_look_image {

QImage imageWithPreviewOfFileAtPath(const QString& path, const QSize& size, bool asIcon)
{
    if (path.isEmpty() || !QFileInfo::exists(path) || size.isEmpty())
        return {};
    QImageReader reader(path);
    reader.setAutoTransform(true);
    if (reader.canRead()) {
        const QSize fitted = reader.size().scaled(size, Qt::KeepAspectRatio);
        if (fitted.isValid() && !fitted.isEmpty())
            reader.setScaledSize(fitted);
        QImage picture = reader.read();
        if (!picture.isNull()) {
            if (!asIcon)
                return picture;
            // As an icon: the picture on a white sheet with a thin border.
            QImage icon(picture.size() + QSize(4, 4), QImage::Format_ARGB32_Premultiplied);
            icon.fill(Qt::white);
            QPainter painter(&icon);
            painter.setPen(QColor(0, 0, 0, 60));
            painter.drawRect(icon.rect().adjusted(0, 0, -1, -1));
            painter.drawImage(2, 2, picture);
            painter.end();
            return icon.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        }
    }
    const QImage typeIcon = app_images::iconForFileType(QFileInfo(path).suffix());
    return typeIcon.isNull() ? QImage() : typeIcon.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

}  // namespace orv::quick_look_image
