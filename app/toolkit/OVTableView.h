#pragma once
// The application's list table: columns added in code by identifier, shown
// and hidden from the header's context menu, their shown state and widths kept
// in QSettings under "OVH_<table>_<column>" ("hide"/"show") and
// "OVW_<table>_<column>" (width), widened to fill the table on request, and
// keys and context menus offered to a delegate first.

#include <QHeaderView>
#include <QMenu>
#include <QPointer>
#include <QSettings>
#include <QTableView>
#include <QTimer>
#include <climits>

namespace orv {

class OVTableView;

struct OVTableColumn {
    QString identifier;
    QString title;
    Qt::Alignment alignment = Qt::AlignLeft;
    bool canHide = true;
    bool canSort = true;
    bool canReorder = true;
    bool defaultHide = false;
    int minWidth = 50;
    int maxWidth = INT_MAX;
};

// What the table's owner hears; every method has a do-nothing default.
class OVSongTableViewDelegate {
public:
    virtual ~OVSongTableViewDelegate() = default;
    // True when the delegate handled the key (the table then ignores it).
    virtual bool keyDownEvent(OVTableView*, QKeyEvent*) { return false; }
    // The menu for a right click on a row; null for none. The table shows it.
    virtual QMenu* menuForEvent(OVTableView*, QContextMenuEvent*) { return nullptr; }
    virtual void tableViewCopy(OVTableView*) {}
};

class OVTableView : public QTableView {
    Q_OBJECT
public:
    explicit OVTableView(QWidget* parent = nullptr);
    ~OVTableView() override;

    // Every table and outline of the application paints alternate rows white
    // and 247 grey: sets that on the application's palette.
    static void installAlternatingRowColors();

    QString identifier() const { return identifier_; }
    void setIdentifier(const QString& identifier) { identifier_ = identifier; }
    // Where the state is kept; the application's QSettings unless set. Not owned.
    void setSettings(QSettings* settings) { settings_ = settings; }
    void setTableDelegate(OVSongTableViewDelegate* delegate) { delegate_ = delegate; }

    // Appends a column (width 100, minimum 50) and returns its index; the
    // model's column of that index shows in it.
    int addColumn(const QString& identifier, const QString& title, Qt::Alignment alignment = Qt::AlignLeft,
                  bool defaultHide = false);
    const std::vector<OVTableColumn>& columns() const { return columns_; }
    OVTableColumn& column(int index) { return columns_.at(size_t(index)); }
    int columnWidth(int index) const { return horizontalHeader()->sectionSize(index); }
    void setColumnWidthClamped(int index, int width);

    // Applies the stored state and builds the header menu.
    void setupTableHeaderMenu();
    QMenu* headerContextMenu() const { return headerMenu_; }
    // Shows or hides a hideable column; the last shown column stays shown.
    void toggleColumn(int index);
    void saveTableViewHeader();
    // Spreads the spare width over the shown columns, past a capped column to the others.
    void autoFitColumeWidth();

    QPoint scrollOffsetPoint() const;
    void scrollToOffsetPoint(const QPoint& point);
    void scrollToTop() { scrollToOffsetPoint(QPoint(0, 0)); }

    int lastSortingColumn() const { return lastSortingColumn_; }
    void setLastSortingColumn(int column) { lastSortingColumn_ = column; }
    bool sortDescending() const { return sortDescending_; }
    void setSortDescending(bool descending) { sortDescending_ = descending; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QSettings& settings() const;
    QString key(const char* prefix, int column) const;
    void updateMenuChecks();
    int shownCount() const;

    QString identifier_;
    QSettings* settings_ = nullptr;
    mutable QSettings* ownSettings_ = nullptr;
    OVSongTableViewDelegate* delegate_ = nullptr;
    std::vector<OVTableColumn> columns_;
    QPointer<QMenu> headerMenu_;
    QTimer saveWidths_;
    bool applying_ = false;
    int lastSortingColumn_ = -1;
    bool sortDescending_ = false;
};

}  // namespace orv
