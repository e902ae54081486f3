#include "app/panes/OVFileOutlineModel.h"

#include <QApplication>
#include <QColor>
#include <QMimeData>
#include <QUrl>

#include "app/panes/OVFileViewController.h"
#include "app/shell/L10n.h"
#include "app/toolkit/NSColor+LXExtension.h"
#include "app/toolkit/NSString+Format.h"

namespace orv {

namespace {
const std::vector<OVViewModelRef>& noRows()
{
    static const std::vector<OVViewModelRef> empty;
    return empty;
}
}  // namespace

QString OVFileOutlineModel::identifierOfColumn(int column)
{
    switch (column) {
    case FileName:
        return QStringLiteral("filename");
    case FileSize:
        return QStringLiteral("filesize");
    case ModifiedDate:
        return QStringLiteral("lastmodifieddate");
    default:
        return {};
    }
}

OVFileOutlineModel::OVFileOutlineModel(OVFileViewController* pane, QObject* parent)
    : QAbstractItemModel(parent), pane_(pane)
{
}

bool OVFileOutlineModel::isListed(const OVViewModel& folder)
{
    return folder.ovfile() && folder.ovfile()->children().has_value();
}

QColor OVFileOutlineModel::textColor(bool systemFile, bool hidden)
{
    if (systemFile)
        return hidden ? QColor::fromRgbF(1.0f, 0.54f, 0.505f) : QColor(Qt::red);
    if (hidden)
        return colorWithHex(QStringLiteral("8f9297"));
    return QColor::fromRgbF(0.316f, 0.316f, 0.316f);
}

void OVFileOutlineModel::setTopFolder(OVViewModelRef folder)
{
    beginResetModel();
    top_ = std::move(folder);
    parents_.clear();
    requested_.clear();
    endResetModel();
}

void OVFileOutlineModel::setTopLevelOrder(std::vector<OVViewModelRef> ordered)
{
    if (!top_)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    top_->setChildrenViewModels(std::move(ordered));
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& index : before) {
        OVViewModel* item = ptr(index);
        const int row = rowOf(item);
        after << (row < 0 ? QModelIndex() : createIndex(row, index.column(), item));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void OVFileOutlineModel::childrenArrived(const OVViewModelRef& folder, const std::vector<OVFileRef>& files)
{
    if (!folder)
        return;
    requested_.remove(folder.get());
    if (folder == top_) {
        beginResetModel();
        folder->setOVFileChildren(files);
        parents_.clear();
        requested_.clear();
        endResetModel();
        return;
    }
    const QModelIndex at = indexOfItem(folder.get());
    if (!at.isValid()) {
        folder->setOVFileChildren(files);
        return;
    }
    const int old = isListed(*folder) ? static_cast<int>(folder->childrenViewModels().size()) : 0;
    if (old > 0) {
        beginRemoveRows(at, 0, old - 1);
        forgetBelow(folder.get());
        folder->setChildrenViewModels({});
        endRemoveRows();
    }
    folder->setOVFileChildren(files);
    const int now = static_cast<int>(folder->childrenViewModels().size());
    if (now > 0) {
        beginInsertRows(at, 0, now - 1);
        endInsertRows();
    }
}

void OVFileOutlineModel::forgetBelow(const OVViewModel* folder)
{
    for (const OVViewModelRef& child : folder->childrenViewModels()) {
        if (parents_.remove(child.get()) > 0 && child->isDir())
            forgetBelow(child.get());
        requested_.remove(child.get());
    }
}

OVViewModelRef OVFileOutlineModel::itemAt(const QModelIndex& index) const
{
    if (!index.isValid())
        return nullptr;
    const OVViewModel* item = ptr(index);
    const std::vector<OVViewModelRef>& rows = rowsOf(parents_.value(item));
    if (index.row() < 0 || index.row() >= static_cast<int>(rows.size()) || rows[index.row()].get() != item)
        return nullptr;
    return rows[index.row()];
}

QModelIndex OVFileOutlineModel::indexOfItem(const OVViewModel* item) const
{
    const int row = rowOf(item);
    return row < 0 ? QModelIndex() : createIndex(row, 0, const_cast<OVViewModel*>(item));
}

const std::vector<OVViewModelRef>& OVFileOutlineModel::rowsOf(const OVViewModel* parent) const
{
    if (!parent)
        return top_ ? top_->childrenViewModels() : noRows();
    return isListed(*parent) ? parent->childrenViewModels() : noRows();
}

int OVFileOutlineModel::rowOf(const OVViewModel* item) const
{
    if (!item)
        return -1;
    const OVViewModel* parent = parents_.value(item);
    if (!parent) {
        // Either a top-level row or a model the tree does not show.
        const std::vector<OVViewModelRef>& top = rowsOf(nullptr);
        for (size_t row = 0; row < top.size(); ++row)
            if (top[row].get() == item)
                return static_cast<int>(row);
        return -1;
    }
    if (rowOf(parent) < 0)
        return -1;
    const std::vector<OVViewModelRef>& rows = rowsOf(parent);
    for (size_t row = 0; row < rows.size(); ++row)
        if (rows[row].get() == item)
            return static_cast<int>(row);
    return -1;
}

QModelIndex OVFileOutlineModel::index(int row, int column, const QModelIndex& parent) const
{
    if (row < 0 || column < 0 || column >= ColumnCount || (parent.isValid() && parent.column() != 0))
        return {};
    OVViewModel* folder = parent.isValid() ? ptr(parent) : nullptr;
    const std::vector<OVViewModelRef>& rows = rowsOf(folder);
    if (row >= static_cast<int>(rows.size()))
        return {};
    OVViewModel* item = rows[row].get();
    if (folder)
        parents_.insert(item, folder);
    return createIndex(row, column, item);
}

QModelIndex OVFileOutlineModel::parent(const QModelIndex& child) const
{
    if (!child.isValid())
        return {};
    OVViewModel* folder = parents_.value(ptr(child));
    if (!folder)
        return {};
    const int row = rowOf(folder);
    return row < 0 ? QModelIndex() : createIndex(row, 0, folder);
}

int OVFileOutlineModel::rowCount(const QModelIndex& parent) const
{
    if (parent.isValid() && parent.column() != 0)
        return 0;
    return static_cast<int>(rowsOf(parent.isValid() ? ptr(parent) : nullptr).size());
}

int OVFileOutlineModel::columnCount(const QModelIndex&) const { return ColumnCount; }

bool OVFileOutlineModel::hasChildren(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return true;
    return parent.column() == 0 && ptr(parent)->isDir();
}

bool OVFileOutlineModel::canFetchMore(const QModelIndex& parent) const
{
    if (!parent.isValid() || parent.column() != 0)
        return false;
    const OVViewModel* folder = ptr(parent);
    return folder->isDir() && !isListed(*folder) && !requested_.contains(folder);
}

void OVFileOutlineModel::fetchMore(const QModelIndex& parent)
{
    if (!canFetchMore(parent))
        return;
    const OVViewModelRef folder = itemAt(parent);
    if (!folder)
        return;
    requested_.insert(folder.get());
    if (pane_)
        pane_->loadChildrenForExpansion(folder);
}

QVariant OVFileOutlineModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const OVViewModel& item = *ptr(index);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        switch (index.column()) {
        case FileName: {
            const QString name = item.displayname();
            return name.isNull() ? L10n::text("(Untitled)") : name;
        }
        case FileSize:
            if (item.isDir())
                return QStringLiteral("--");
            return formatFromByteSize(static_cast<int64_t>(item.filesize()));
        case ModifiedDate: {
            if (item.isDir())
                return QStringLiteral("--");
            const QString date = item.modifiedDateLocalized();
            return date.isEmpty() ? L10n::text("(Unknown Modified Date)") : date;
        }
        default:
            return {};
        }
    case Qt::DecorationRole:
        return index.column() == FileName ? QVariant(item.smallIcon()) : QVariant();
    case Qt::ForegroundRole:
        return textColor(item.isSystemFile(), item.isHiddenFile());
    case Qt::FontRole:
        return QApplication::font();
    default:
        return {};
    }
}

QVariant OVFileOutlineModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case FileName:
        return L10n::text("TableHeaderFilename");
    case FileSize:
        return L10n::text("TableHeaderFilesize");
    case ModifiedDate:
        return L10n::text("TableHeaderLastmodifieddate");
    default:
        return {};
    }
}

Qt::ItemFlags OVFileOutlineModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (ptr(index)->isDir())
        flags |= Qt::ItemIsDropEnabled;
    return flags;
}

QStringList OVFileOutlineModel::mimeTypes() const { return {QStringLiteral("text/uri-list")}; }

Qt::DropActions OVFileOutlineModel::supportedDropActions() const { return Qt::CopyAction; }

QStringList OVFileOutlineModel::localPaths(const QMimeData* data)
{
    QStringList paths;
    if (!data || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            paths << url.toLocalFile();
    return paths;
}

bool OVFileOutlineModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int,
                                         const QModelIndex& parent) const
{
    if (localPaths(data).isEmpty())
        return false;
    return !parent.isValid() || ptr(parent)->isDir();
}

bool OVFileOutlineModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                      const QModelIndex& parent)
{
    if (!canDropMimeData(data, action, row, column, parent) || !pane_)
        return false;
    return pane_->acceptListDrop(localPaths(data), parent.isValid() ? itemAt(parent.siblingAtColumn(0)) : nullptr);
}

}  // namespace orv
