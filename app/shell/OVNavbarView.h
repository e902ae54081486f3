#pragma once
// The bar across the top of every pane: a light face above a one-point line
// 5 points over its bottom edge, and, while hasPathView is on, a lighter path
// area 29 points high above that line, topped by its own line.

#include <QWidget>

namespace orv {

class OVNavbarView : public QWidget {
    Q_OBJECT

public:
    explicit OVNavbarView(QWidget* parent = nullptr);

    bool hasPathView() const { return hasPathView_; }
    // Redraws only when the value changes.
    void setHasPathView(bool has);
    // The path area in Qt coordinates.
    QRectF pathviewRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool hasPathView_ = false;
};

}  // namespace orv
