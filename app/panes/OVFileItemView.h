#pragma once
// The file browser's grid cell: a picture (thumbnail, app icon or file-type
// icon) in a square slot, the name under it and an optional grey second line,
// with selection and drop-target highlights, a play badge on video thumbnails
// and a pie while the file is copied for a preview. Hidden files are drawn at
// 40 % opacity. The geometry is given as pure functions of the cell's width
// and the measured sizes, so it can be checked without drawing.

#include <QImage>
#include <QPointer>
#include <memory>

#include "app/panes/QuickLookDownloadItemView.h"
#include "app/toolkit/IBCollectionItemView.h"
#include "app/toolkit/OVPieProgressBar.h"
#include "app/viewmodels/OVViewModel.h"

namespace orv {

class OVFileItemView : public IBCollectionItemView, public QuickLookDownloadItemView {
    Q_OBJECT
public:
    explicit OVFileItemView(QWidget* parent = nullptr);
    ~OVFileItemView() override;

    // --- geometry as pure functions (cell coordinates, y down) ---------------
    // The picture slot of a cell `width` wide, grown by 7 on every side.
    static QRectF imageFrameRect(double width);
    // Where the picture goes: its own size when within 30 of the slot's side,
    // else the slot's height at its aspect; the frame's size when framed.
    // An empty `image` size means no picture.
    static QRectF imageRect(double width, QSizeF image, bool framed, QSizeF frameImage);
    static QRectF videoRect(const QRectF& imageRect, QSizeF videoIcon);
    // `title` is the title's measured size; an empty size means no title.
    static QRectF titleFrameRect(const QRectF& bounds, QSizeF title);
    static QRectF titleTextRect(const QRectF& bounds, QSizeF title, const QRectF& titleFrameRect);
    // `subtitleWidth` is the measured width; negative for no subtitle. Two lines when too wide.
    static QRectF subTitleTextRect(const QRectF& bounds, double subtitleWidth, const QRectF& titleTextRect);

    // --- the same for this cell ---------------------------------------------
    QRectF imageFrameRect() const { return imageFrameRect(width()); }
    QRectF imageRect() const;
    QRectF videoRect() const;
    QRectF titleFrameRect() const;
    QRectF titleTextRect() const;
    QRectF subTitleTextRect() const;
    static QFont titleFont();
    static QFont subtitleFont();

    // A rubber band catches the cell when it touches the picture or the title's frame.
    bool accpetSelectWithRect(QRectF rect) const override;
    // A click hits the cell on the picture or the title's text only.
    bool clickTest(QPointF point) const override;

    bool needIconShadow() const { return needIconShadow_; }
    void setNeedIconShadow(bool on);
    bool isKeyItem() const { return isKeyItem_; }
    void setIsKeyItem(bool on);
    bool isVideo() const { return isVideo_; }
    void setIsVideo(bool on);
    bool isHiddenFile() const { return isHiddenFile_; }
    void setIsHiddenFile(bool on);
    bool dropOn() const { return dropOn_; }
    void setDropOn(bool on);
    const OVViewModelRef& representedObject() const { return representedObject_; }
    void setRepresentedObject(OVViewModelRef object) { representedObject_ = std::move(object); }
    const QImage& image() const { return image_; }
    void setImage(const QImage& image);
    const QString& title() const { return title_; }
    void setTitle(const QString& title);
    const QString& subTitle() const { return subTitle_; }
    void setSubTitle(const QString& subTitle);
    OVPieProgressBar* pie() const { return pie_; }

    // A new cell with the same picture, texts and flags (not the item or the pie).
    std::unique_ptr<OVFileItemView> copy() const;
    // What a debugger shows for the cell: the item, its path and thumbnail state.
    QString debugQuickLookObject() const;

    // The preview copy's pie: made once (30 by 30, centred below the picture's middle), then fed.
    void startDownloadingAnimation() override;
    void stopDownloadingAnimation() override;
    void setMaxValue(double value) override;
    void setDoubleValue(double value) override;

    // The title's colour for these flags.
    static QColor titleColor(bool selected, bool keyItem, bool hidden);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QSizeF titleSize() const;
    double subtitleWidth() const;

    bool needIconShadow_ = false;
    bool isKeyItem_ = false;
    bool isVideo_ = false;
    bool isHiddenFile_ = false;
    bool dropOn_ = false;
    OVViewModelRef representedObject_;
    QImage image_;
    QString title_;
    QString subTitle_;
    QPointer<OVPieProgressBar> pie_;
};

}  // namespace orv
