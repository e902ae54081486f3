#pragma once
// A white cover laid over a window's content while something slow runs (a
// phone loading): a spinning "loading" image with the waiting text under it.
// It follows its parent's size and takes every mouse event, so nothing
// beneath can be clicked while it is there.

#include <QImage>
#include <QWidget>

class QVariantAnimation;

namespace orv {

class OVGrayCoverView : public QWidget {
    Q_OBJECT
public:
    // Covers `parent` and keeps covering it as it resizes.
    explicit OVGrayCoverView(QWidget* parent);

    // Shows the spinner and the text and starts turning; again restarts the turn.
    void startLoading();
    // Stops turning and hides spinner and text; harmless when never started.
    void stopLoading();
    bool isLoading() const;

    double blurRadius() const { return blurRadius_; }
    void setBlurRadius(double radius) { blurRadius_ = radius; }

    // Where the spinner and the text go, centred in the cover.
    QRect spinnerRect() const;
    QRect titleRect() const;
    QString title() const;
    // The spinner's current turn in degrees, clockwise.
    double spinnerAngle() const { return angle_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    QFont titleFont() const;
    QImage spinner_;
    QVariantAnimation* turn_ = nullptr;
    double angle_ = 0;
    double blurRadius_ = 40;
    bool showing_ = false;
};

}  // namespace orv
