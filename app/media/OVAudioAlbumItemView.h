#pragma once
// The tile of one music album in the Music pane's albums grid: the album tile
// of the photo and video panes with one square cover, drawn with a soft
// shadow and a thin outline, in place of the framed cover. A failed cover
// leaves the empty square: the error text is kept but not drawn. Main thread
// only.

#include "app/media/OVPhotoAlbumItemView.h"

namespace orv {

class OVAudioAlbumItemView : public OVPhotoAlbumItemView {
    Q_OBJECT

public:
    using OVPhotoAlbumItemView::OVPhotoAlbumItemView;

    // The square of the tile's width at the top, inset by 11.
    static QRectF coverRect(const QRectF& bounds);
    // The whole square.
    static QRectF coverFrameRect(const QRectF& bounds);
    QRectF imageRect() const override { return coverRect(QRectF(rect())); }
    QRectF imageFrameRect() const override { return coverFrameRect(QRectF(rect())); }

protected:
    void drawImage(QPainter& painter) override;
};

}  // namespace orv
