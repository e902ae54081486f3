#pragma once
// The panes' list: a tree with 40-high rows, horizontal grid lines, a gradient
// selection (grey when the list is not focused in the active window), a
// disclosure triangle moved 10 to the right, and the columns' shown state and
// widths kept under "OVH_<list>_<column>" and "OVW_<list>_<column>" through the
// header's context menu. Keys, context menus and the edit commands go to the
// delegate (the pane) first.

#include <QTreeView>

#include "app/panes/OVOutlineViewDelegate.h"
#include "app/toolkit/HeaderColumnManager.h"

namespace orv {

class OVOutlineView : public QTreeView, public OVEditActionTarget {
    Q_OBJECT
public:
    explicit OVOutlineView(QWidget* parent = nullptr);
    ~OVOutlineView() override;

    QString identifier() const { return columns_.identifier(); }
    void setIdentifier(const QString& identifier) { columns_.setIdentifier(identifier); }
    // Where the column state is kept; the application's QSettings unless set. Not owned.
    void setSettings(QSettings* settings) { columns_.setSettings(settings); }
    OVOutlineViewDelegate* outlineDelegate() const { return delegate_; }
    void setOutlineDelegate(OVOutlineViewDelegate* delegate) { delegate_ = delegate; }

    // Appends a column (width 100, minimum 50); the model's column of that index shows in it.
    int addColumn(const QString& identifier, const QString& title, Qt::Alignment alignment = Qt::AlignLeft,
                  bool defaultHide = false)
    {
        return columns_.addColumn(identifier, title, alignment, defaultHide);
    }
    OVTableColumn& column(int index) { return columns_.column(index); }
    const std::vector<OVTableColumn>& tableColumns() const { return columns_.columns(); }
    int columnWidth(int index) const { return columns_.columnWidth(index); }
    void setColumnWidthClamped(int index, int width) { columns_.setColumnWidthClamped(index, width); }

    void setupTableHeaderMenu() { columns_.setupTableHeaderMenu(); }
    QMenu* headerContextMenu() const { return columns_.headerContextMenu(); }
    // Shows or hides a column, relays the rows out, stores the state and refits
    // the widths; the last shown column stays.
    void toggleColumn(int index) { columns_.toggleColumn(index); }
    void saveTableViewHeader() { columns_.saveTableViewHeader(); }
    void autoFitColumeWidth() { columns_.autoFitColumeWidth(); }

    QPoint scrollOffsetPoint() const;
    void scrollToOffsetPoint(const QPoint& point);
    void scrollToTop() { scrollToOffsetPoint(QPoint(0, 0)); }

    double disclosureXOffset() const { return disclosureXOffset_; }
    void setDisclosureXOffset(double offset);
    int lastSortingColumn() const { return lastSortingColumn_; }
    void setLastSortingColumn(int column) { lastSortingColumn_ = column; }
    bool sortDescending() const { return sortDescending_; }
    void setSortDescending(bool descending) { sortDescending_ = descending; }

    // True when the selection is drawn active: the list has the focus in the active window.
    bool selectionIsActive() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    void drawBranches(QPainter* painter, const QRect& rect, const QModelIndex& index) const override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

    OVEditActionDelegate* editActionDelegate() const override { return delegate_; }

private:
    OVOutlineViewDelegate* delegate_ = nullptr;
    HeaderColumnManager columns_{this};
    double disclosureXOffset_ = 10;
    int lastSortingColumn_ = -1;
    bool sortDescending_ = false;
};

}  // namespace orv
