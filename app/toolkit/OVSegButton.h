#pragma once
// The application's segmented switch: a flat light-grey capsule of segments
// (a label or an image each), one-pixel dividers and a lighter shape behind
// the selected segment. A click selects the segment under the pointer at
// release and emits activated(); a disabled switch ignores clicks.

#include <QPixmap>
#include <QWidget>

namespace orv {

class OVSegButton : public QWidget {
    Q_OBJECT
public:
    explicit OVSegButton(QWidget* parent = nullptr);

    int segmentCount() const { return int(segments_.size()); }
    void setSegmentCount(int count);
    QString labelForSegment(int segment) const;
    void setLabel(const QString& label, int segment);
    QPixmap imageForSegment(int segment) const;
    void setImage(const QPixmap& image, int segment);
    int selectedSegment() const { return selected_; }
    void setSelectedSegment(int segment);
    double cornerRadius() const { return cornerRadius_; }
    void setCornerRadius(double radius) { cornerRadius_ = radius; }
    int mouseDownOnSegment() const { return mouseDownOnSegment_; }

    // The segment's share of the inner width, by natural width; an empty
    // rect for an index outside the segments.
    QRect rectForSegment(int segment) const;
    QSize sizeForLabel(const QString& label) const;
    QSize sizeHint() const override;

signals:
    void activated(int segment);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    struct Segment {
        QString label;
        QPixmap image;
    };
    int segmentAt(const QPoint& pos) const;
    void drawSegment(QPainter& painter, int segment, const QRect& frame) const;
    QFont labelFont() const;

    std::vector<Segment> segments_;
    int selected_ = -1;
    int mouseDownOnSegment_ = -1;
    bool mouseDown_ = false;
    bool doubleClick_ = false;
    double cornerRadius_ = 4.6;
};

}  // namespace orv
