#pragma once
// The column state the application's tables and outlines share: columns by
// identifier, shown and hidden from a header context menu, their shown state
// and widths kept in QSettings under "OVH_<list>_<column>" ("hide"/"show") and
// "OVW_<list>_<column>" (width), and widening the shown columns to fill the
// list. Lives as a member of its view and works on the view's header.

#include <QHeaderView>
#include <QMenu>
#include <QPointer>
#include <QSettings>
#include <QTimer>
#include <climits>
#include <functional>
#include <vector>

class QAbstractItemView;

namespace orv {

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

class HeaderColumnManager {
public:
    // `view` owns the header and the menu; the manager must not outlive it.
    explicit HeaderColumnManager(QAbstractItemView* view);
    // Keeps a width drag that had not been stored yet.
    ~HeaderColumnManager();
    HeaderColumnManager(const HeaderColumnManager&) = delete;
    HeaderColumnManager& operator=(const HeaderColumnManager&) = delete;

    // The view's header; call again when the view gets a new header.
    void attachHeader(QHeaderView* header);

    QString identifier() const { return identifier_; }
    void setIdentifier(const QString& identifier) { identifier_ = identifier; }
    // Where the state is kept; the application's QSettings unless set. Not owned.
    void setSettings(QSettings* settings) { settings_ = settings; }
    // Runs after a column was shown or hidden from the menu, before the state
    // is stored and the widths refitted (an outline reloads there).
    void setOnToggle(std::function<void()> onToggle) { onToggle_ = std::move(onToggle); }

    int addColumn(const QString& identifier, const QString& title, Qt::Alignment alignment, bool defaultHide);
    const std::vector<OVTableColumn>& columns() const { return columns_; }
    OVTableColumn& column(int index) { return columns_.at(size_t(index)); }
    int columnWidth(int index) const { return header_->sectionSize(index); }
    bool isColumnHidden(int index) const { return header_->isSectionHidden(index); }
    void setColumnWidthClamped(int index, int width);
    int shownCount() const;

    // Applies the stored state and builds the header menu. Only a stored,
    // positive width replaces the owner's; with no hideable column shown, all show.
    void setupTableHeaderMenu();
    QMenu* headerContextMenu() const { return menu_; }
    // Shows or hides a hideable column (shows any other); the last shown column stays.
    void toggleColumn(int index);
    void saveTableViewHeader();
    // Spreads the spare width over the shown columns, past a capped column to the others.
    void autoFitColumeWidth();

private:
    QSettings& settings() const;
    QString key(const char* prefix, int column) const;
    void updateMenuChecks();

    QAbstractItemView* view_;
    QPointer<QHeaderView> header_;
    QString identifier_;
    QSettings* settings_ = nullptr;
    mutable std::unique_ptr<QSettings> ownSettings_;
    std::function<void()> onToggle_;
    std::vector<OVTableColumn> columns_;
    QPointer<QMenu> menu_;
    QTimer saveWidths_;
    QMetaObject::Connection resized_;
    QMetaObject::Connection menuRequested_;
    bool applying_ = false;
};

}  // namespace orv
