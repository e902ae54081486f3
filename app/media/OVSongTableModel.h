#pragma once
// The Music pane's songs table as a table model over the pane's song list:
// six columns (title, duration, artist, album, size, path), grey text, drops
// of music files between rows, and drags of the selected songs out to the
// computer. Main thread only.

#include <QAbstractTableModel>

namespace orv {

class OVAudioViewController;

class OVSongTableModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { Name = 0, Time, Artist, Album, DisplayFileSize, DisplayPath, ColumnCount };
    static QString identifierOfColumn(int column);
    static const char* titleKeyOfColumn(int column);

    explicit OVSongTableModel(OVAudioViewController* pane, QObject* parent = nullptr);

    // The pane's list changed as a whole.
    void reset();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;

private:
    OVAudioViewController* pane_;
};

// The local files a drop from the computer carries (file URLs only); a drag
// that started in this application carries none, so its copy is never started.
QStringList musicDropPaths(const QMimeData* data);
// Whether any of the paths has an extension the Music pane imports (letter case counts).
bool hasMusicFile(const QStringList& paths);

}  // namespace orv
