#include "app/toolkit/HeaderColumnManager.h"

#include <QAbstractItemView>
#include <algorithm>

namespace orv {

HeaderColumnManager::HeaderColumnManager(QAbstractItemView* view) : view_(view)
{
    // Widths dragged by the user are kept, a moment after the drag settles.
    saveWidths_.setSingleShot(true);
    saveWidths_.setInterval(300);
    QObject::connect(&saveWidths_, &QTimer::timeout, &saveWidths_, [this] { saveTableViewHeader(); });
}

HeaderColumnManager::~HeaderColumnManager()
{
    if (saveWidths_.isActive() && header_)
        saveTableViewHeader();
}

void HeaderColumnManager::attachHeader(QHeaderView* header)
{
    QObject::disconnect(resized_);
    QObject::disconnect(menuRequested_);
    header_ = header;
    header->setMinimumSectionSize(10);
    header->setContextMenuPolicy(Qt::CustomContextMenu);
    menuRequested_ = QObject::connect(header, &QHeaderView::customContextMenuRequested, &saveWidths_, [this](const QPoint& pos) {
        if (menu_ && header_)
            menu_->popup(header_->mapToGlobal(pos));
    });
    resized_ = QObject::connect(header, &QHeaderView::sectionResized, &saveWidths_, [this] {
        if (!applying_ && !identifier_.isEmpty())
            saveWidths_.start();
    });
}

QSettings& HeaderColumnManager::settings() const
{
    if (settings_)
        return *settings_;
    if (!ownSettings_)
        ownSettings_ = std::make_unique<QSettings>();
    return *ownSettings_;
}

QString HeaderColumnManager::key(const char* prefix, int column) const
{
    return QStringLiteral("%1_%2_%3").arg(QLatin1String(prefix), identifier_, columns_.at(size_t(column)).identifier);
}

int HeaderColumnManager::addColumn(const QString& identifier, const QString& title, Qt::Alignment alignment, bool defaultHide)
{
    OVTableColumn column;
    column.identifier = identifier;
    column.title = title;
    column.alignment = alignment;
    column.defaultHide = defaultHide;
    columns_.push_back(column);
    const int index = int(columns_.size()) - 1;
    applying_ = true;
    header_->resizeSection(index, 100);
    applying_ = false;
    return index;
}

void HeaderColumnManager::setColumnWidthClamped(int index, int width)
{
    const OVTableColumn& c = columns_.at(size_t(index));
    header_->resizeSection(index, std::clamp(width, c.minWidth, std::max(c.minWidth, c.maxWidth)));
}

int HeaderColumnManager::shownCount() const
{
    int shown = 0;
    for (int i = 0; i < int(columns_.size()); ++i)
        shown += isColumnHidden(i) ? 0 : 1;
    return shown;
}

void HeaderColumnManager::setupTableHeaderMenu()
{
    applying_ = true;
    QSettings& store = settings();
    for (int i = 0; i < int(columns_.size()); ++i) {
        const QVariant hidden = store.value(key("OVH", i));
        header_->setSectionHidden(i, hidden.isValid() ? hidden.toString() == QLatin1String("hide") : columns_[size_t(i)].defaultHide);
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
            header_->setSectionHidden(i, false);

    delete menu_.data();
    menu_ = new QMenu(view_);
    std::vector<int> hideable;
    for (int i = 0; i < int(columns_.size()); ++i)
        if (columns_[size_t(i)].canHide)
            hideable.push_back(i);
    std::stable_sort(hideable.begin(), hideable.end(),
                     [this](int a, int b) { return columns_[size_t(a)].title < columns_[size_t(b)].title; });
    for (int i : hideable) {
        QAction* item = menu_->addAction(columns_[size_t(i)].title);
        QFont font = item->font();
        font.setPixelSize(11);
        item->setFont(font);
        item->setCheckable(true);
        item->setData(i);
        QObject::connect(item, &QAction::triggered, menu_, [this, i] { toggleColumn(i); });
    }
    updateMenuChecks();
}

void HeaderColumnManager::updateMenuChecks()
{
    if (!menu_)
        return;
    const int shown = shownCount();
    for (QAction* item : menu_->actions()) {
        const int i = item->data().toInt();
        const bool visible = !isColumnHidden(i);
        item->setChecked(visible);
        // The last shown column cannot go: a list without columns is a dead end.
        item->setEnabled(!(visible && shown <= 1));
    }
}

void HeaderColumnManager::toggleColumn(int index)
{
    if (index < 0 || index >= int(columns_.size()))
        return;
    const bool hide = columns_[size_t(index)].canHide && !isColumnHidden(index);
    if (hide && shownCount() <= 1) {
        updateMenuChecks();
        return;
    }
    header_->setSectionHidden(index, hide);
    updateMenuChecks();
    if (onToggle_)
        onToggle_();
    saveTableViewHeader();
    autoFitColumeWidth();
}

void HeaderColumnManager::saveTableViewHeader()
{
    if (identifier_.isEmpty() || !header_)
        return;
    saveWidths_.stop();
    QSettings& store = settings();
    for (int i = 0; i < int(columns_.size()); ++i) {
        store.setValue(key("OVH", i), isColumnHidden(i) ? QStringLiteral("hide") : QStringLiteral("show"));
        store.setValue(key("OVW", i), double(float(columnWidth(i))));
    }
    store.sync();
}

void HeaderColumnManager::autoFitColumeWidth()
{
    std::vector<int> shown;
    float sum = 0;
    for (int i = 0; i < int(columns_.size()); ++i)
        if (!isColumnHidden(i)) {
            shown.push_back(i);
            sum += float(columnWidth(i));
        }
    const float available = float(view_->viewport()->width());
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
        header_->resizeSection(i, int(widths[size_t(i)]));
        if (!identifier_.isEmpty())
            settings().setValue(key("OVW", i), double(widths[size_t(i)]));
    }
    applying_ = false;
}

}  // namespace orv
