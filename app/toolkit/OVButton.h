#pragma once
// The application's push button: a rounded, gradient-filled body in the
// light-grey look, or the blue or red look (blue wins when both are set),
// an optional image and a title centred across the whole width.

#include <QAbstractButton>

namespace orv {

class OVButton : public QAbstractButton {
    Q_OBJECT
public:
    enum ImagePosition { NoImage = 0, ImageOnly = 1, ImageLeft = 2 };
    enum Look { Grey, Blue, Red };

    explicit OVButton(QWidget* parent = nullptr);
    OVButton(const QString& title, QWidget* parent = nullptr);

    bool blue() const { return blue_; }
    void setBlue(bool on) { blue_ = on; }
    bool red() const { return red_; }
    void setRed(bool on) { red_ = on; }
    Look look() const { return blue_ ? Blue : red_ ? Red : Grey; }
    double cornerRadius() const { return cornerRadius_; }
    // A different radius redraws; the same one does nothing.
    void setCornerRadius(double radius);
    ImagePosition imagePosition() const { return imagePosition_; }
    void setImagePosition(ImagePosition position);
    QPixmap image() const { return image_; }
    void setImage(const QPixmap& image);

    // The opacity the image is drawn with in the current state.
    double imageFraction() const;
    QColor titleColor() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    bool blue_ = false;
    bool red_ = false;
    double cornerRadius_ = 4.6;
    ImagePosition imagePosition_ = NoImage;
    QPixmap image_;
};

}  // namespace orv
