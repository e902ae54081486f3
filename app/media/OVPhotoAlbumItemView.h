#pragma once
// The tile of one album (or video folder) in the album lists: a framed cover
// at the top and, below it, the album's name with its item count in grey
// parentheses. A failed cover shows as red text over the frame; a hovering
// drag greys the cover frame and the label; a selected tile gets a light grey
// frame and a blue title badge. A tile handed another album forgets the
// previous album's cover and error, so a reused tile never shows a stranger's.

#include <QImage>

#include "app/toolkit/IBCollectionItemView.h"
#include "app/viewmodels/OVViewModel.h"

namespace orv {

class OVPhotoAlbumItemView : public IBCollectionItemView {
    Q_OBJECT

public:
    explicit OVPhotoAlbumItemView(QWidget* parent = nullptr);

    // --- geometry as pure functions (tile coordinates, y down) ------------------
    static QRectF imageFrameRect(const QRectF& bounds);
    // An empty image size means no cover.
    static QRectF imageRect(const QRectF& bounds, QSizeF image);
    // An empty label size means no title (a 10 x 14 badge all the same).
    static QRectF titleFrameRect(const QRectF& bounds, QSizeF label, const QRectF& imageFrame);
    static QRectF titleTextRect(const QRectF& bounds, QSizeF label, const QRectF& titleFrame);

    virtual QRectF imageFrameRect() const { return imageFrameRect(QRectF(rect())); }
    virtual QRectF imageRect() const;
    QRectF titleFrameRect() const;
    QRectF titleTextRect() const;
    // "title (count)", or empty without a title.
    QString label() const;
    static QFont titleFont();

    bool clickTest(QPointF point) const override;
    bool accpetSelectWithRect(QRectF rect) const override;

    const OVViewModelRef& representedObject() const { return representedObject_; }
    void setRepresentedObject(OVViewModelRef object);
    const QImage& image() const { return image_; }
    void setImage(const QImage& image) { image_ = image; }
    const QString& title() const { return title_; }
    void setTitle(const QString& title) { title_ = title; }
    uint64_t number() const { return number_; }
    void setNumber(uint64_t number) { number_ = number; }
    const QString& error() const { return error_; }
    void setError(const QString& error) { error_ = error; }
    bool dropOn() const { return dropOn_; }
    void setDropOn(bool on);

protected:
    void paintEvent(QPaintEvent* event) override;
    virtual void drawImage(QPainter& painter);
    void drawGrayBox(QPainter& painter);
    void drawTitle(QPainter& painter);

private:
    QSizeF labelSize() const;

    OVViewModelRef representedObject_;
    QImage image_;
    QString title_;
    uint64_t number_ = 0;
    QString error_;
    bool dropOn_ = false;
};

}  // namespace orv
