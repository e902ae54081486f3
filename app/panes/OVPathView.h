#pragma once
// The breadcrumb trail above a pane's content: one segment per level from the
// root (index 0) to the level shown (the last, always the one highlighted).
// Every segment carries the level's view model, so a click names the level to
// go back to (signal pathbarAction). Segments are drawn side by side,
// overlapping by 12, each but the last ended by the separator image.

#include <QWidget>
#include <vector>

#include "app/panes/OVPathViewComponentCell.h"

namespace orv {

class OVPathView : public QWidget {
    Q_OBJECT
public:
    explicit OVPathView(QWidget* parent = nullptr);

    void addItemWithTitle(const QString& title, OVViewModelRef object);
    // An index past the end appends; a negative one inserts first.
    void insertItemWithTitle(const QString& title, int index, OVViewModelRef object);
    // An index outside the bar removes nothing.
    void removeItemAtIndex(int index);
    // Removes every segment after `cell`; a cell not in the bar removes nothing.
    void removeItemAfter(const OVPathViewComponentCell* cell);
    // Removes `cell` and every segment after it; a cell not in the bar removes nothing.
    void removeItemAndAfter(const OVPathViewComponentCell* cell);
    void removeLastItem();
    void removeAllItems();

    // The last segment's object; null when the bar is empty.
    OVViewModelRef currentDirectory() const;
    // The second-to-last segment's object; null with fewer than two segments.
    OVViewModelRef enclosingDirectory() const;
    // The object of the segment after `cell`; null for the last or a stranger.
    OVViewModelRef objectAfterCell(const OVPathViewComponentCell* cell) const;

    const std::vector<OVPathViewComponentCellRef>& pathComponentCells() const { return cells_; }
    std::vector<OVPathViewComponentCellRef> mutablePathComponentCells() const { return cells_; }
    void setPathComponentCells(std::vector<OVPathViewComponentCellRef> cells);
    int indexOfCell(const OVPathViewComponentCell* cell) const;
    // Only the last segment stays highlighted.
    void updateHighlight();

    // Where each segment is drawn, in widget coordinates, in order; a long
    // trail gives its earlier segments less room so the last stays whole.
    std::vector<QRect> segmentFrames() const;
    // The segment under a point (the later of two overlapping ones); -1 for none.
    int segmentAt(const QPoint& point) const;
    // The segment last clicked, until the next click; null before.
    OVPathViewComponentCell* clickedPathComponentCell() const { return clicked_.get(); }

    QSize sizeHint() const override;

signals:
    void pathbarAction(OVPathViewComponentCell* cell);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QFont titleFont() const;
    int naturalWidth(const OVPathViewComponentCell& cell) const;

    std::vector<OVPathViewComponentCellRef> cells_;
    OVPathViewComponentCellRef clicked_;
    int pressed_ = -1;
};

}  // namespace orv
