#pragma once
// The default header strip of a grid section: a black bar that subclasses
// replace with their own drawing.

#include <QWidget>

namespace orv {

class IBCollectionSectionHeaderView : public QWidget {
    Q_OBJECT
public:
    explicit IBCollectionSectionHeaderView(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace orv
