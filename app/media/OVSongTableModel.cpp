#include "app/media/OVSongTableModel.h"

#include <QColor>
#include <QFileInfo>
#include <QMimeData>
#include <QUrl>
#include <set>

#include "app/media/OVAudioViewController.h"
#include "app/panes/OVDragOutMimeData.h"
#include "app/shell/L10n.h"
#include "app/toolkit/NSString+Format.h"

namespace orv {

namespace {
struct ColumnInfo {
    const char* identifier;
    const char* titleKey;
};
constexpr ColumnInfo kColumns[] = {
    {"name", "SongName"},   {"time", "SongTime"},   {"artist", "SongArtist"},
    {"album", "SongAlbum"}, {"displayfilesize", "TableHeaderFilesize"}, {"displaypath", "SongPath"},
};
}  // namespace

QStringList musicDropPaths(const QMimeData* data)
{
    QStringList paths;
    // Songs dragged out of a pane would be copied off the phone just to be read here.
    if (!data || qobject_cast<const OVDragOutMimeData*>(data) || !data->hasUrls())
        return paths;
    for (const QUrl& url : data->urls())
        if (url.isLocalFile() && !url.toLocalFile().isEmpty())
            paths << url.toLocalFile();
    return paths;
}

bool hasMusicFile(const QStringList& paths)
{
    for (const QString& path : paths)
        if (OVAudioViewController::isAllowedMusicFile(path))
            return true;
    return false;
}

QString OVSongTableModel::identifierOfColumn(int column)
{
    return column >= 0 && column < ColumnCount ? QString::fromLatin1(kColumns[column].identifier) : QString();
}

const char* OVSongTableModel::titleKeyOfColumn(int column)
{
    return column >= 0 && column < ColumnCount ? kColumns[column].titleKey : "";
}

OVSongTableModel::OVSongTableModel(OVAudioViewController* pane, QObject* parent)
    : QAbstractTableModel(parent), pane_(pane)
{
}

void OVSongTableModel::reset()
{
    beginResetModel();
    endResetModel();
}

int OVSongTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() || !pane_ ? 0 : static_cast<int>(pane_->items().size());
}

int OVSongTableModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : ColumnCount; }

QVariant OVSongTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !pane_ || index.row() >= static_cast<int>(pane_->items().size()))
        return {};
    const auto& song = pane_->items()[static_cast<size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        if (index.column() == Time)
            return formatAudioDuration(song->duration());
        return song->value(identifierOfColumn(index.column()));
    case Qt::ForegroundRole:
        return QColor::fromRgbF(0.316f, 0.316f, 0.316f);
    default:
        return {};
    }
}

QVariant OVSongTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return L10n::text(titleKeyOfColumn(section));
}

Qt::ItemFlags OVSongTableModel::flags(const QModelIndex& index) const
{
    // Rows take no drops themselves: a drop lands between rows.
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

QStringList OVSongTableModel::mimeTypes() const { return {QStringLiteral("text/uri-list")}; }

bool OVSongTableModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int, const QModelIndex& parent) const
{
    return !parent.isValid() && hasMusicFile(musicDropPaths(data));
}

bool OVSongTableModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                   const QModelIndex& parent)
{
    if (!pane_ || !canDropMimeData(data, action, row, column, parent))
        return false;
    return pane_->importDroppedPaths(musicDropPaths(data));
}

QMimeData* OVSongTableModel::mimeData(const QModelIndexList& indexes) const
{
    if (!pane_)
        return nullptr;
    std::set<int> rows;
    for (const QModelIndex& index : indexes)
        if (index.isValid())
            rows.insert(index.row());
    std::vector<OVViewModelRef> dragged;
    for (int row : rows)
        if (row < static_cast<int>(pane_->items().size()))
            dragged.push_back(pane_->items()[static_cast<size_t>(row)]);
    return pane_->dragOutMimeData(dragged);
}

}  // namespace orv
