#pragma once
// A close, minimise, zoom or full-screen button of AWAppStoreWindow. It shows
// one of its images by state: rollover while its group holds the pointer
// (when enabled), the not-key image in an inactive window, else the active
// or inactive image; the pressed image while held down.

#include <QAbstractButton>
#include <QPixmap>

namespace orv {

class AWWindowButtonGroup;

class AWWindowButton : public QAbstractButton {
    Q_OBJECT
public:
    enum Kind { Close, Minimize, Zoom, FullScreen };

    AWWindowButton(const QSize& size, const QString& groupIdentifier, QWidget* parent = nullptr);
    ~AWWindowButton() override;
    static AWWindowButton* windowButtonWithSize(const QSize& size, const QString& groupIdentifier,
                                                QWidget* parent = nullptr);
    // A button of the kind with the toolkit's own drawn images and accessible name.
    static AWWindowButton* standardButton(Kind kind, QWidget* parent = nullptr);

    QString groupIdentifier() const { return groupIdentifier_; }
    AWWindowButtonGroup* group() const;

    QPixmap activeImage() const { return activeImage_; }
    QPixmap activeNotKeyWindowImage() const { return activeNotKeyWindowImage_; }
    QPixmap inactiveImage() const { return inactiveImage_; }
    QPixmap rolloverImage() const { return rolloverImage_; }
    QPixmap pressedImage() const { return pressedImage_; }
    void setActiveImage(const QPixmap& image) { activeImage_ = image; }
    void setActiveNotKeyWindowImage(const QPixmap& image) { activeNotKeyWindowImage_ = image; }
    void setInactiveImage(const QPixmap& image) { inactiveImage_ = image; }
    void setRolloverImage(const QPixmap& image) { rolloverImage_ = image; }
    void setPressedImage(const QPixmap& image) { pressedImage_ = image; }

    // The image the button shows now.
    QPixmap currentImage() const;
    QSize sizeHint() const override { return fixedSize_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QString groupIdentifier_;
    QSize fixedSize_;
    bool holdsPointer_ = false;
    QPixmap activeImage_, activeNotKeyWindowImage_, inactiveImage_, rolloverImage_, pressedImage_;
};

}  // namespace orv
