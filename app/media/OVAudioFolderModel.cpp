#include "app/media/OVAudioFolderModel.h"

#include <QColor>
#include <QFont>
#include <QMimeData>

#include "app/media/OVAudioViewController.h"
#include "app/media/OVSongTableModel.h"
#include "app/shell/L10n.h"
#include "app/toolkit/NSColor+LXExtension.h"
#include "app/toolkit/NSString+Format.h"
#include "app/toolkit/NSString+Path.h"

namespace orv {

namespace {
struct ColumnInfo {
    const char* identifier;
    const char* titleKey;
};
constexpr ColumnInfo kColumns[] = {
    {"filename", "TableHeaderFilename"},
    {"filesize", "TableHeaderFilesize"},
    {"songnum", "TableHeaderSongNum"},
    {"filepath", "TableHeaderFolderPath"},
};
}  // namespace

QString OVAudioFolderModel::identifierOfColumn(int column)
{
    return column >= 0 && column < ColumnCount ? QString::fromLatin1(kColumns[column].identifier) : QString();
}

const char* OVAudioFolderModel::titleKeyOfColumn(int column)
{
    return column >= 0 && column < ColumnCount ? kColumns[column].titleKey : "";
}

OVAudioFolderModel::OVAudioFolderModel(OVAudioViewController* pane, QObject* parent)
    : QAbstractItemModel(parent), pane_(pane)
{
}

void OVAudioFolderModel::reset()
{
    beginResetModel();
    parents_.clear();
    folderRows_.clear();
    if (pane_) {
        const auto& folders = pane_->audioFolders();
        for (size_t row = 0; row < folders.size(); ++row) {
            folderRows_.insert(folders[row].get(), static_cast<int>(row));
            const auto& songs = folders[row]->childrenViewModels();
            for (size_t child = 0; child < songs.size(); ++child)
                parents_.insert(songs[child].get(), {folders[row].get(), static_cast<int>(child)});
        }
    }
    endResetModel();
}

const OVViewModel* OVAudioFolderModel::folderOf(const OVViewModel* item) const
{
    const auto found = parents_.find(item);
    return found == parents_.end() ? nullptr : found->first;
}

OVViewModelRef OVAudioFolderModel::itemAt(const QModelIndex& index) const
{
    if (!index.isValid() || !pane_)
        return nullptr;
    const OVViewModel* item = ptr(index);
    const auto& folders = pane_->audioFolders();
    if (const auto row = folderRows_.find(item); row != folderRows_.end())
        return row.value() < static_cast<int>(folders.size()) ? folders[size_t(row.value())] : nullptr;
    if (const auto song = parents_.find(item); song != parents_.end()) {
        const auto& songs = song->first->childrenViewModels();
        return song->second < static_cast<int>(songs.size()) ? songs[size_t(song->second)] : nullptr;
    }
    return nullptr;
}

QModelIndex OVAudioFolderModel::indexOfItem(const OVViewModel* item) const
{
    if (!pane_ || !item)
        return {};
    if (const auto row = folderRows_.find(item); row != folderRows_.end())
        return createIndex(row.value(), 0, const_cast<OVViewModel*>(item));
    if (const auto song = parents_.find(item); song != parents_.end())
        return createIndex(song->second, 0, const_cast<OVViewModel*>(item));
    return {};
}

QModelIndex OVAudioFolderModel::index(int row, int column, const QModelIndex& parent) const
{
    if (!pane_ || row < 0 || column < 0 || column >= ColumnCount)
        return {};
    if (!parent.isValid()) {
        const auto& folders = pane_->audioFolders();
        return row < static_cast<int>(folders.size()) ? createIndex(row, column, folders[size_t(row)].get())
                                                      : QModelIndex();
    }
    const OVViewModel* folder = ptr(parent);
    if (folderOf(folder))
        return {};
    const auto& songs = folder->childrenViewModels();
    return row < static_cast<int>(songs.size()) ? createIndex(row, column, songs[size_t(row)].get()) : QModelIndex();
}

QModelIndex OVAudioFolderModel::parent(const QModelIndex& child) const
{
    if (!child.isValid())
        return {};
    const OVViewModel* folder = folderOf(ptr(child));
    return folder ? indexOfItem(folder) : QModelIndex();
}

int OVAudioFolderModel::rowCount(const QModelIndex& parent) const
{
    if (!pane_)
        return 0;
    if (!parent.isValid())
        return static_cast<int>(pane_->audioFolders().size());
    if (parent.column() != 0 || folderOf(ptr(parent)))
        return 0;
    return static_cast<int>(ptr(parent)->childrenViewModels().size());
}

int OVAudioFolderModel::columnCount(const QModelIndex&) const { return ColumnCount; }

bool OVAudioFolderModel::hasChildren(const QModelIndex& parent) const
{
    if (!parent.isValid())
        return rowCount(parent) > 0;
    return parent.column() == 0 && ptr(parent)->isDir() && !folderOf(ptr(parent));
}

QString OVAudioFolderModel::cellText(const OVViewModel& item, bool folder, int column)
{
    switch (column) {
    case FileName: {
        QString name = item.displayname();
        if (name.isEmpty() && folder)
            name = lastPathComponent(item.path());
        return name.isEmpty() ? L10n::text("(Untitled)") : name;
    }
    case FileSize: {
        const QString size = formatFromByteSize(static_cast<int64_t>(
            folder ? OVAudioViewController::folderTotalSize(item) : item.filesize()));
        return size.isEmpty() ? L10n::text("(Unknown Size)") : size;
    }
    case SongNum:
        return folder ? QString::number(OVAudioViewController::folderSongCount(item)) : QString();
    case FilePath:
        return folder && !item.path().isEmpty() ? item.path() : QStringLiteral(" ");
    default:
        return {};
    }
}

QVariant OVAudioFolderModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    const OVViewModel* item = ptr(index);
    const bool folder = !folderOf(item);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return cellText(*item, folder, index.column());
    case Qt::DecorationRole:
        return index.column() == FileName ? QVariant(item->smallIcon()) : QVariant();
    case Qt::ForegroundRole:
        return item->isHiddenFile() ? colorWithHex(QStringLiteral("8f9297")) : QColor::fromRgbF(0.316f, 0.316f, 0.316f);
    case Qt::TextAlignmentRole:
        return index.column() == FileSize ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                          : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant OVAudioFolderModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole)
        return L10n::text(titleKeyOfColumn(section));
    if (role == Qt::TextAlignmentRole && section == FileSize)
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags OVAudioFolderModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDropEnabled;
}

QStringList OVAudioFolderModel::mimeTypes() const { return {QStringLiteral("text/uri-list")}; }

bool OVAudioFolderModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int, const QModelIndex&) const
{
    return hasMusicFile(musicDropPaths(data));
}

bool OVAudioFolderModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                      const QModelIndex& parent)
{
    // The row under the pointer does not matter: imports go to the Music folder.
    if (!pane_ || !canDropMimeData(data, action, row, column, parent))
        return false;
    return pane_->importDroppedPaths(musicDropPaths(data));
}

}  // namespace orv
