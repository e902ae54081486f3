#pragma once
// What the grid asks of its data source: the number of sections and of items
// per section. Called on the main thread by reloadData.

#include <cstdint>
#include <optional>

namespace orv {

class IBCollectionView;

class IBCollectionViewDataSource {
public:
    virtual ~IBCollectionViewDataSource() = default;

    // Items of a section (section 0 when the grid has no sections); a negative answer counts as 0.
    virtual int64_t collectionViewItemCount(IBCollectionView* view, int64_t section) = 0;
    // Sections, or nullopt for a data source without sections (the default).
    // A negative answer counts as 0; 0 means no sections.
    virtual std::optional<int64_t> collectionViewSectionCount(IBCollectionView* view);
};

}  // namespace orv
