#include "app/toolkit/IBCollectionViewDelegate.h"

namespace orv {

IBCollectionSectionView* IBCollectionViewDelegate::collectionViewSectionViewWithIndex(IBCollectionView*, int64_t)
{
    return nullptr;
}

IBSectionViewLayoutManager* IBCollectionViewDelegate::collectionViewSectionLayoutManager(IBCollectionView*, int64_t)
{
    return nullptr;
}

bool IBCollectionViewDelegate::collectionViewSectionIsExpand(IBCollectionView*, int64_t)
{
    return true;
}

void IBCollectionViewDelegate::collectionViewWillDisplaySectionView(IBCollectionView*, IBCollectionSectionView*,
                                                                    int64_t)
{
}

void IBCollectionViewDelegate::collectionViewWillDisplayItemView(IBCollectionView*, IBCollectionItemView*,
                                                                 const IBSectionIndexSet&)
{
}

void IBCollectionViewDelegate::collectionViewDidRemoveItemView(IBCollectionView*, IBCollectionItemView*,
                                                               const IBSectionIndexSet&)
{
}

void IBCollectionViewDelegate::collectionViewDidEndScroll(IBCollectionView*) {}
void IBCollectionViewDelegate::collectionViewDidClickItemView(IBCollectionView*, const IBSectionIndexSet&) {}
void IBCollectionViewDelegate::collectionViewDidDoubleClickItemView(IBCollectionView*, const IBSectionIndexSet&) {}
void IBCollectionViewDelegate::collectionViewDidKeyDownEvent(IBCollectionView*, QKeyEvent*) {}
void IBCollectionViewDelegate::collectionViewSelectionDidChange(IBCollectionView*) {}

QMenu* IBCollectionViewDelegate::collectionViewMenuIndextSet(IBCollectionView*, const IBSectionIndexSet&)
{
    return nullptr;
}

QMenu* IBCollectionViewDelegate::collectionViewMenu(IBCollectionView*)
{
    return nullptr;
}

Qt::DropAction IBCollectionViewDelegate::collectionViewDraggingEntered(IBCollectionView*, QDragEnterEvent*)
{
    return Qt::IgnoreAction;
}

Qt::DropAction IBCollectionViewDelegate::collectionViewDraggingUpdated(IBCollectionView*, QDragMoveEvent*,
                                                                       const std::optional<IBSectionIndexSet>&)
{
    return Qt::IgnoreAction;
}

void IBCollectionViewDelegate::collectionViewDraggingExited(IBCollectionView*, QDragLeaveEvent*) {}

bool IBCollectionViewDelegate::collectionViewPerformDragOperation(IBCollectionView*, QDropEvent*,
                                                                  const std::optional<IBSectionIndexSet>&)
{
    return false;
}

std::optional<QStringList> IBCollectionViewDelegate::collectionViewDragPromisedFilesOfTypes(IBCollectionView*)
{
    return std::nullopt;
}

QMimeData* IBCollectionViewDelegate::collectionViewDragMimeData(IBCollectionView*, const QStringList&,
                                                                const QList<IBSectionIndexSet>&)
{
    return nullptr;
}

std::optional<QStringList> IBCollectionViewDelegate::collectionViewNamesOfPromisedFilesDroppedAtDestination(
    IBCollectionView*, const QUrl&)
{
    return std::nullopt;
}

std::optional<bool> IBCollectionViewDelegate::validateMenuItem(QAction*)
{
    return std::nullopt;
}

void IBCollectionViewDelegate::deleteSelection(QObject*) {}
void IBCollectionViewDelegate::importAction(IBCollectionView*) {}
void IBCollectionViewDelegate::exportAction(IBCollectionView*) {}

}  // namespace orv
