#include "app/toolkit/OVTableView.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QScrollBar>
#include <algorithm>

#include "app/toolkit/OVTableHeaderView.h"

namespace orv {

OVTableView::OVTableView(QWidget* parent) : QTableView(parent)
{
    setHorizontalHeader(new OVTableHeaderView(this));
    verticalHeader()->hide();
    verticalHeader()->setDefaultSectionSize(40);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setAlternatingRowColors(true);
    setShowGrid(false);
    setFrameShape(QFrame::NoFrame);
    horizontalHeader()->setMinimumSectionSize(10);
    horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(horizontalHeader(), &QHeaderView::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (headerMenu_)
            headerMenu_->popup(horizontalHeader()->mapToGlobal(pos));
    });
    // Widths dragged by the user are kept, a moment after the drag settles.
    saveWidths_.setSingleShot(true);
    saveWidths_.setInterval(300);
    connect(&saveWidths_, &QTimer::timeout, this, &OVTableView::saveTableViewHeader);
    connect(horizontalHeader(), &QHeaderView::sectionResized, this, [this] {
        if (!applying_ && !identifier_.isEmpty())
            saveWidths_.start();
    });
}

void OVTableView::installAlternatingRowColors()
{
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Base, Qt::white);
    palette.setColor(QPalette::AlternateBase, QColor(247, 247, 247));
    QApplication::setPalette(palette);
}

OVTableView::~OVTableView()
{
    if (saveWidths_.isActive())
        saveTableViewHeader();
    delete ownSettings_;
}

QSettings& OVTableView::settings() const
{
    if (settings_)
        return *settings_;
    if (!ownSettings_)
        ownSettings_ = new QSettings;
    return *ownSettings_;
}

QString OVTableView::key(const char* prefix, int column) const
{
    return QStringLiteral("%1_%2_%3").arg(QLatin1String(prefix), identifier_, columns_.at(size_t(column)).identifier);
}

int OVTableView::addColumn(const QString& identifier, const QString& title, Qt::Alignment alignment, bool defaultHide)
{
    OVTableColumn column;
    column.identifier = identifier;
    column.title = title;
    column.alignment = alignment;
    column.defaultHide = defaultHide;
    columns_.push_back(column);
    const int index = int(columns_.size()) - 1;
    applying_ = true;
    horizontalHeader()->resizeSection(index, 100);
    applying_ = false;
    return index;
}

void OVTableView::setColumnWidthClamped(int index, int width)
{
    const OVTableColumn& c = columns_.at(size_t(index));
    horizontalHeader()->resizeSection(index, std::clamp(width, c.minWidth, std::max(c.minWidth, c.maxWidth)));
}

int OVTableView::shownCount() const
{
    int shown = 0;
    for (int i = 0; i < int(columns_.size()); ++i)
        shown += isColumnHidden(i) ? 0 : 1;
    return shown;
}

void OVTableView::setupTableHeaderMenu()
{
    applying_ = true;
    QSettings& store = settings();
    for (int i = 0; i < int(columns_.size()); ++i) {
        const QVariant hidden = store.value(key("OVH", i));
        setColumnHidden(i, hidden.isValid() ? hidden.toString() == QLatin1String("hide") : columns_[size_t(i)].defaultHide);
        // Only a stored, positive width replaces the owner's: nothing stored
        // must not shrink every column to its minimum.
        bool ok = false;
        const double width = store.value(key("OVW", i)).toDouble(&ok);
        if (ok && width > 0)
            setColumnWidthClamped(i, int(width));
    }
    applying_ = false;
    bool anyShown = false;
    for (int i = 0; i < int(columns_.size()); ++i)
        anyShown = anyShown || (columns_[size_t(i)].canHide && !isColumnHidden(i));
    if (!anyShown)
        for (int i = 0; i < int(columns_.size()); ++i)
            setColumnHidden(i, false);

    delete headerMenu_.data();
    headerMenu_ = new QMenu(this);
    std::vector<int> hideable;
    for (int i = 0; i < int(columns_.size()); ++i)
        if (columns_[size_t(i)].canHide)
            hideable.push_back(i);
    std::stable_sort(hideable.begin(), hideable.end(),
                     [this](int a, int b) { return columns_[size_t(a)].title < columns_[size_t(b)].title; });
    for (int i : hideable) {
        QAction* item = headerMenu_->addAction(columns_[size_t(i)].title);
        QFont font = item->font();
        font.setPixelSize(11);
        item->setFont(font);
        item->setCheckable(true);
        item->setData(i);
        connect(item, &QAction::triggered, this, [this, i] { toggleColumn(i); });
    }
    updateMenuChecks();
}

void OVTableView::updateMenuChecks()
{
    if (!headerMenu_)
        return;
    const int shown = shownCount();
    for (QAction* item : headerMenu_->actions()) {
        const int i = item->data().toInt();
        const bool visible = !isColumnHidden(i);
        item->setChecked(visible);
        // The last shown column cannot go: a table without columns is a dead end.
        item->setEnabled(!(visible && shown <= 1));
    }
}

void OVTableView::toggleColumn(int index)
{
    if (index < 0 || index >= int(columns_.size()))
        return;
    const bool hide = columns_[size_t(index)].canHide && !isColumnHidden(index);
    if (hide && shownCount() <= 1) {
        updateMenuChecks();
        return;
    }
    setColumnHidden(index, hide);
    updateMenuChecks();
    saveTableViewHeader();
    autoFitColumeWidth();
}

void OVTableView::saveTableViewHeader()
{
    if (identifier_.isEmpty())
        return;
    saveWidths_.stop();
    QSettings& store = settings();
    for (int i = 0; i < int(columns_.size()); ++i) {
        store.setValue(key("OVH", i), isColumnHidden(i) ? QStringLiteral("hide") : QStringLiteral("show"));
        store.setValue(key("OVW", i), double(float(columnWidth(i))));
    }
    store.sync();
}

void OVTableView::autoFitColumeWidth()
{
    std::vector<int> shown;
    float sum = 0;
    for (int i = 0; i < int(columns_.size()); ++i)
        if (!isColumnHidden(i)) {
            shown.push_back(i);
            sum += float(columnWidth(i));
        }
    const float available = float(viewport()->width());
    if (shown.empty() || available <= sum)
        return;
    const float extra = (available - sum) / float(shown.size());
    float leftover = 0;
    std::vector<int> uncapped;
    std::vector<float> widths(columns_.size());
    for (int i : shown) {
        float w = float(columnWidth(i)) + extra;
        const float max = float(columns_[size_t(i)].maxWidth);
        if (w > max) {
            leftover += w - max;
            w = max;
        } else {
            uncapped.push_back(i);
        }
        widths[size_t(i)] = w;
    }
    if (leftover > 0 && !uncapped.empty())
        for (int i : uncapped)
            widths[size_t(i)] += leftover / float(uncapped.size());
    applying_ = true;
    for (int i : shown) {
        horizontalHeader()->resizeSection(i, int(widths[size_t(i)]));
        if (!identifier_.isEmpty())
            settings().setValue(key("OVW", i), double(widths[size_t(i)]));
    }
    applying_ = false;
}

QPoint OVTableView::scrollOffsetPoint() const
{
    return QPoint(horizontalScrollBar()->value(), verticalScrollBar()->value());
}

void OVTableView::scrollToOffsetPoint(const QPoint& point)
{
    horizontalScrollBar()->setValue(point.x());
    verticalScrollBar()->setValue(point.y());
}

void OVTableView::keyPressEvent(QKeyEvent* event)
{
    if (delegate_ && delegate_->keyDownEvent(this, event))
        return;
    if (event->matches(QKeySequence::Copy) && delegate_) {
        delegate_->tableViewCopy(this);
        return;
    }
    QTableView::keyPressEvent(event);
}

void OVTableView::contextMenuEvent(QContextMenuEvent* event)
{
    const QModelIndex index = indexAt(viewport()->mapFromGlobal(event->globalPos()));
    if (!index.isValid()) {
        clearSelection();
        return;
    }
    if (!selectionModel()->isRowSelected(index.row(), index.parent()))
        selectRow(index.row());
    if (!delegate_)
        return;
    if (QMenu* menu = delegate_->menuForEvent(this, event))
        menu->popup(event->globalPos());
}

}  // namespace orv
