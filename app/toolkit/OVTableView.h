#pragma once
// The application's list table: columns added in code by identifier, shown
// and hidden from the header's context menu, their shown state and widths kept
// in QSettings under "OVH_<table>_<column>" ("hide"/"show") and
// "OVW_<table>_<column>" (width), widened to fill the table on request; 40-high
// rows with a grid line under each and a gradient selection (grey when the
// table is not focused in the active window); keys, context menus and the
// edit commands offered to a delegate first.

#include <QMenu>
#include <QTableView>

#include "app/toolkit/HeaderColumnManager.h"
#include "app/toolkit/OVEditActionTarget.h"

namespace orv {

class OVTableView;

// What the table's owner hears, the edit commands among it; every method has
// a do-nothing default.
class OVSongTableViewDelegate : public OVEditActionDelegate {
public:
    virtual ~OVSongTableViewDelegate() = default;
    // True when the delegate handled the key (the table then ignores it).
    virtual bool keyDownEvent(OVTableView*, QKeyEvent*) { return false; }
    // The menu for a right click on a row; null for none. The table shows it.
    virtual QMenu* menuForEvent(OVTableView*, QContextMenuEvent*) { return nullptr; }
    virtual void tableViewCopy(OVTableView*) {}
};

class OVTableView : public QTableView, public OVEditActionTarget {
    Q_OBJECT
public:
    explicit OVTableView(QWidget* parent = nullptr);
    ~OVTableView() override;

    // Every table and outline of the application paints alternate rows white
    // and 247 grey: sets that on the application's palette.
    static void installAlternatingRowColors();

    QString identifier() const { return columns_.identifier(); }
    void setIdentifier(const QString& identifier) { columns_.setIdentifier(identifier); }
    // Where the state is kept; the application's QSettings unless set. Not owned.
    void setSettings(QSettings* settings) { columns_.setSettings(settings); }
    void setTableDelegate(OVSongTableViewDelegate* delegate) { delegate_ = delegate; }

    // Appends a column (width 100, minimum 50) and returns its index; the
    // model's column of that index shows in it.
    int addColumn(const QString& identifier, const QString& title, Qt::Alignment alignment = Qt::AlignLeft,
                  bool defaultHide = false)
    {
        return columns_.addColumn(identifier, title, alignment, defaultHide);
    }
    const std::vector<OVTableColumn>& columns() const { return columns_.columns(); }
    OVTableColumn& column(int index) { return columns_.column(index); }
    int columnWidth(int index) const { return columns_.columnWidth(index); }
    void setColumnWidthClamped(int index, int width) { columns_.setColumnWidthClamped(index, width); }

    // Applies the stored state and builds the header menu.
    void setupTableHeaderMenu() { columns_.setupTableHeaderMenu(); }
    QMenu* headerContextMenu() const { return columns_.headerContextMenu(); }
    // Shows or hides a hideable column; the last shown column stays shown.
    void toggleColumn(int index) { columns_.toggleColumn(index); }
    void saveTableViewHeader() { columns_.saveTableViewHeader(); }
    // Spreads the spare width over the shown columns, past a capped column to the others.
    void autoFitColumeWidth() { columns_.autoFitColumeWidth(); }

    QPoint scrollOffsetPoint() const;
    void scrollToOffsetPoint(const QPoint& point);
    void scrollToTop() { scrollToOffsetPoint(QPoint(0, 0)); }

    int lastSortingColumn() const { return lastSortingColumn_; }
    void setLastSortingColumn(int column) { lastSortingColumn_ = column; }
    bool sortDescending() const { return sortDescending_; }
    void setSortDescending(bool descending) { sortDescending_ = descending; }

    // True when the selection is drawn active: the table has the focus in the active window.
    bool selectionIsActive() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    OVEditActionDelegate* editActionDelegate() const override { return delegate_; }

private:
    OVSongTableViewDelegate* delegate_ = nullptr;
    HeaderColumnManager columns_{this};
    int lastSortingColumn_ = -1;
    bool sortDescending_ = false;
};

}  // namespace orv
