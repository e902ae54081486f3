#pragma once
// The rubber band drawn over the grid while the user drags out a selection:
// a 1-pixel frame in the stroke colour, then the fill over the same rectangle.
// Never takes mouse events.

#include <QColor>
#include <QRectF>
#include <QWidget>

namespace orv {

class IBCollectionSelectionRegionView : public QWidget {
    Q_OBJECT
public:
    explicit IBCollectionSelectionRegionView(QWidget* parent = nullptr);

    QColor strokeColor() const { return strokeColor_; }
    void setStrokeColor(const QColor& color) { strokeColor_ = color; }
    QColor fillColor() const { return fillColor_; }
    void setFillColor(const QColor& color) { fillColor_ = color; }
    QRectF frameRect() const { return frameRect_; }
    // The band in this view's coordinates; repaints the whole view.
    void drawFrameWithRect(QRectF rect);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor strokeColor_{255, 255, 255, 102};  // white, alpha 0.4
    QColor fillColor_{0, 0, 0, 33};           // black, alpha 0.13
    QRectF frameRect_;
};

}  // namespace orv
