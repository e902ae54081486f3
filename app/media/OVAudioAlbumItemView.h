#pragma once
// The tile of one music album in the Music pane's albums grid: a square cover
// with a soft shadow and a thin outline at the top, and below it the album's
// name followed by its song count in parentheses, on a blue badge when
// selected. A grey highlight marks the tile while a dragged file hovers over
// it. A new represented object forgets the previous album's cover and error,
// so a reused tile never shows another album's picture. Main thread only.

#include <QImage>

#include "app/toolkit/IBCollectionItemView.h"
#include "app/viewmodels/OVViewModel.h"

namespace orv {

class OVAudioAlbumItemView : public IBCollectionItemView {
    Q_OBJECT

public:
    explicit OVAudioAlbumItemView(QWidget* parent = nullptr);

    const OVViewModelRef& representedObject() const { return representedObject_; }
    // Another object clears the image and the error.
    void setRepresentedObject(OVViewModelRef object);
    const QImage& image() const { return image_; }
    void setImage(const QImage& image) { image_ = image; }
    const QString& title() const { return title_; }
    void setTitle(const QString& title) { title_ = title; }
    uint64_t number() const { return number_; }
    void setNumber(uint64_t number) { number_ = number; }
    // Kept but never drawn: a failed cover leaves the placeholder.
    const QString& error() const { return error_; }
    void setError(const QString& error) { error_ = error; }
    bool dropOn() const { return dropOn_; }
    void setDropOn(bool on);

    // The label: the title, a space and the count in parentheses.
    QString label() const;
    // The square of the tile's width at the top, inset by 11.
    static QRectF imageRect(const QRectF& bounds);
    // The whole square.
    static QRectF imageFrameRect(const QRectF& bounds);
    // The badge under the square for a label of that measured size (empty: no title).
    static QRectF titleFrameRect(const QRectF& bounds, QSizeF label);
    QRectF imageRect() const { return imageRect(rect()); }
    QRectF imageFrameRect() const { return imageFrameRect(rect()); }
    QRectF titleFrameRect() const;
    QRectF titleTextRect() const;

    bool clickTest(QPointF point) const override;
    bool accpetSelectWithPoint(QPointF point) const override { return clickTest(point); }
    bool accpetSelectWithRect(QRectF rect) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

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
