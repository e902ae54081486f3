#pragma once
// The Music pane's folders outline as a tree model: the folders that hold
// songs at the top level, their songs below. Four columns: name, total size,
// song count and folder path. Drops of music files anywhere import into the
// Music folder. Main thread only.

#include <QAbstractItemModel>
#include <QHash>

#include "app/viewmodels/OVViewModel.h"

namespace orv {

class OVAudioViewController;

class OVAudioFolderModel : public QAbstractItemModel {
    Q_OBJECT

public:
    enum Column { FileName = 0, FileSize, SongNum, FilePath, ColumnCount };
    static QString identifierOfColumn(int column);
    static const char* titleKeyOfColumn(int column);

    explicit OVAudioFolderModel(OVAudioViewController* pane, QObject* parent = nullptr);

    // The pane's folder list changed (rebuilt or re-ordered).
    void reset();
    OVViewModelRef itemAt(const QModelIndex& index) const;
    QModelIndex indexOfItem(const OVViewModel* item) const;
    // The text of a cell, as the outline shows it.
    static QString cellText(const OVViewModel& item, bool folder, int column);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

private:
    static OVViewModel* ptr(const QModelIndex& index) { return static_cast<OVViewModel*>(index.internalPointer()); }
    // The folder row holding a song row, or null for a folder row.
    const OVViewModel* folderOf(const OVViewModel* item) const;

    OVAudioViewController* pane_;
    // Filled by reset(): each song row's folder and row, each folder's row.
    QHash<const OVViewModel*, std::pair<const OVViewModel*, int>> parents_;
    QHash<const OVViewModel*, int> folderRows_;
};

}  // namespace orv
