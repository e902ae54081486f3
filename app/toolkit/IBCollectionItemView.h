#pragma once
// Base of the grid's tiles. The grid sets the pair and the selected flag on
// every display pass and asks the hooks below whether a press, a point or a
// rubber band concerns the tile. Presses are left unhandled by default, so
// they travel up to the grid. Hook names keep the grid protocol's spelling.

#include <QString>
#include <QWidget>

#include "app/toolkit/IBSectionIndexSet.h"

class QMouseEvent;

namespace orv {

class IBCollectionItemView : public QWidget {
    Q_OBJECT
public:
    explicit IBCollectionItemView(QWidget* parent = nullptr);

    bool selected() const { return selected_; }
    // Repaints only when the value changes.
    void setSelected(bool selected);
    const IBSectionIndexSet& indexSet() const { return indexSet_; }
    void setIndexSet(const IBSectionIndexSet& pair) { indexSet_ = pair; }
    // The pool the grid returns the tile to; set by whoever makes the tile.
    const QString& reuseIdentifier() const { return reuseIdentifier_; }
    void setReuseIdentifier(const QString& identifier) { reuseIdentifier_ = identifier; }

    // Does this point (tile coordinates) count as a hit? Every point by default.
    virtual bool clickTest(QPointF point) const;
    // A press at this point may select the tile: inside the bounds.
    virtual bool accpetSelectWithPoint(QPointF point) const;
    // A rubber band (tile coordinates) catches the tile: it shares area with the bounds.
    virtual bool accpetSelectWithRect(QRectF rect) const;
    virtual bool accpetMouseEventWithEvent(QMouseEvent* event);
    // True when the tile consumed the press itself (together with the hook
    // above); the grid then reports no click or menu for it.
    virtual bool trackMouseEvent(QMouseEvent* event);

protected:
    // Placeholder look: yellow when selected, else blue.
    void paintEvent(QPaintEvent* event) override;

private:
    bool selected_ = false;
    IBSectionIndexSet indexSet_;
    QString reuseIdentifier_;
};

}  // namespace orv
