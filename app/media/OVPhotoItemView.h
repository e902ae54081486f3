#pragma once
// The cell of the photo and video grids: the thumbnail in an inset square, a
// grey placeholder while there is none or its load failed, a blue ring behind
// it when selected, a badge for panoramas and videos with a tool tip, and a
// pie while the item is copied for a preview. The geometry is given as pure
// functions of the cell's bounds so it can be checked without drawing.

#include <QImage>
#include <QPixmap>
#include <QPointer>

#include "app/panes/QuickLookDownloadItemView.h"
#include "app/toolkit/IBCollectionItemView.h"
#include "app/toolkit/OVPieProgressBar.h"
#include "app/viewmodels/OVViewModel.h"

namespace orv {

class OVPhotoItemView : public IBCollectionItemView, public QuickLookDownloadItemView {
    Q_OBJECT

public:
    explicit OVPhotoItemView(QWidget* parent = nullptr);
    ~OVPhotoItemView() override;

    // --- geometry (cell coordinates, y down) ------------------------------------
    // The bounds inset by 2 below 85 points of width, 3 below 120, else 4.
    static QRectF imageRect(const QRectF& bounds);
    // The ring's growth and corner radius around an image square of that width.
    static double selectionGrowth(double imageWidth);
    static double selectionRadius(double imageWidth);
    // A badge near the image's bottom-left corner; an empty icon size counts as 30 x 30.
    static QRectF badgeRect(const QRectF& imageRect, QSizeF iconSize);
    QRectF imageRect() const { return imageRect(QRectF(rect())); }
    QRectF panoramaRect() const;
    QRectF videoRect() const;

    // A click and a rubber band concern the cell only on its image.
    bool clickTest(QPointF point) const override;
    bool accpetSelectWithRect(QRectF rect) const override;

    // Another object clears the image and the error; the same one changes nothing.
    const OVViewModelRef& representedObject() const { return representedObject_; }
    void setRepresentedObject(OVViewModelRef object);
    const QImage& image() const { return image_; }
    void setImage(const QImage& image);
    // While set, the placeholder is drawn instead of the image.
    const QString& error() const { return error_; }
    void setError(const QString& error) { error_ = error; }
    bool isPanorama() const { return isPanorama_; }
    void setIsPanorama(bool on) { isPanorama_ = on; }
    bool isVideo() const { return isVideo_; }
    void setIsVideo(bool on) { isVideo_ = on; }
    bool dropOn() const { return dropOn_; }
    void setDropOn(bool on) { dropOn_ = on; }
    OVPieProgressBar* pie() const { return pie_; }

    // The tool tip of the badge under the point, or an empty text.
    QString toolTipAt(QPointF point) const;

    void startDownloadingAnimation() override;
    void stopDownloadingAnimation() override;
    void setMaxValue(double value) override;
    void setDoubleValue(double value) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    OVViewModelRef representedObject_;
    QImage image_;
    // The image at the size it is drawn, made once per image and size: cells
    // are painted again on every scroll, the thumbnail changes rarely.
    QPixmap drawn_;
    QString error_;
    bool isPanorama_ = false;
    bool isVideo_ = false;
    bool dropOn_ = false;
    QPointer<OVPieProgressBar> pie_;
};

// The grey placeholder square drawn for an image rectangle of that width:
// 144, 104 or 66 points wide (the picture inside starts 2 points in).
QImage photoPlaceholder(double imageWidth);
// The panorama badge: the named image "panoramaIcon", or a drawn stand-in.
QImage panoramaBadgeImage();

}  // namespace orv
