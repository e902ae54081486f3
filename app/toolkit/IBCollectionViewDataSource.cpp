#include "app/toolkit/IBCollectionViewDataSource.h"

namespace orv {

std::optional<int64_t> IBCollectionViewDataSource::collectionViewSectionCount(IBCollectionView*)
{
    return std::nullopt;
}

}  // namespace orv
