#pragma once
// The file browser's list as a tree model: the top level is the shown
// folder's entries, a folder's rows are its children once listed. Three
// columns (name, size, modification date) with the texts and colours of the
// list. A folder not listed yet asks the pane to list it when the list wants
// its rows (on expansion); the rows appear when the listing arrives, without
// disturbing other expanded folders. Files dropped on the list or on a folder
// row go to the pane. Main thread only.

#include <QAbstractItemModel>
#include <QHash>
#include <QSet>

#include "app/viewmodels/OVViewModel.h"

namespace orv {

class OVFileViewController;

class OVFileOutlineModel : public QAbstractItemModel {
    Q_OBJECT

public:
    enum Column { FileName = 0, FileSize = 1, ModifiedDate = 2, ColumnCount = 3 };
    static QString identifierOfColumn(int column);

    explicit OVFileOutlineModel(OVFileViewController* pane, QObject* parent = nullptr);

    // Shows `folder`'s entries at the top level (a reset).
    void setTopFolder(OVViewModelRef folder);
    const OVViewModelRef& topFolder() const { return top_; }
    // Re-orders the top level, keeping expanded rows and the selection.
    void setTopLevelOrder(std::vector<OVViewModelRef> ordered);
    // A listing of `folder` arrived: its rows are replaced by the new children.
    void childrenArrived(const OVViewModelRef& folder, const std::vector<OVFileRef>& files);

    OVViewModelRef itemAt(const QModelIndex& index) const;
    // The index of a model shown in the tree (column 0), or an invalid index.
    QModelIndex indexOfItem(const OVViewModel* item) const;
    static bool isListed(const OVViewModel& folder);

    // The text colour of an entry (system and hidden files stand out).
    static QColor textColor(bool systemFile, bool hidden);

    QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    bool hasChildren(const QModelIndex& parent = {}) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    Qt::DropActions supportedDropActions() const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

    // The local files a drag carries (file URLs only).
    static QStringList localPaths(const QMimeData* data);

private:
    static OVViewModel* ptr(const QModelIndex& index) { return static_cast<OVViewModel*>(index.internalPointer()); }
    const std::vector<OVViewModelRef>& rowsOf(const OVViewModel* parent) const;
    int rowOf(const OVViewModel* item) const;
    void forgetBelow(const OVViewModel* folder);

    OVFileViewController* pane_;
    OVViewModelRef top_;
    // Each model shown below the top level, to its folder; filled as the view asks.
    mutable QHash<const OVViewModel*, OVViewModel*> parents_;
    QSet<const OVViewModel*> requested_;
};

}  // namespace orv
