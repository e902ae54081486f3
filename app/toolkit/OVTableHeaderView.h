#pragma once
// The flat header of the application's tables: light grey cells with
// one-pixel lines at the bottom and right, a tail-cut title 15 in from both
// sides (15 more room on the right for the sort arrow), darker while pressed.
// A section narrower than 20 shows only its background and lines.

#include <QHeaderView>

namespace orv {

class OVTableHeaderView : public QHeaderView {
    Q_OBJECT
public:
    explicit OVTableHeaderView(QWidget* parent = nullptr);
    // Where a section's title goes, given whether it shows a sort arrow.
    static QRect titleRect(const QRect& section, bool withArrow);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
};

}  // namespace orv
