#pragma once
// A position in the sectioned grid: a section number and an item number within
// that section. A value: copied freely, equal when both numbers are equal, and
// usable as a QHash/std::unordered_map key. "No pair" is std::optional.

#include <QHashFunctions>
#include <QString>
#include <cstdint>
#include <functional>
#include <limits>

namespace orv {

class IBSectionIndexSet {
public:
    // The "not found" marker of index searches; stored as 0, per field.
    static constexpr int64_t kNotFound = std::numeric_limits<int64_t>::max();

    IBSectionIndexSet() = default;
    IBSectionIndexSet(int64_t section, int64_t item);
    static IBSectionIndexSet sectionIndexSetWithSectionIndex(int64_t section, int64_t item)
    {
        return IBSectionIndexSet(section, item);
    }

    int64_t sectionIndex() const { return sectionIndex_; }
    int64_t itemIndex() const { return itemIndex_; }
    void setSectionIndex(int64_t section) { sectionIndex_ = section; }
    void setItemIndex(int64_t item) { itemIndex_ = item; }

    bool operator==(const IBSectionIndexSet&) const = default;
    // (item << 4) | (section << 6) in unsigned arithmetic: equal pairs hash
    // equal, some different pairs collide (e.g. (0,4) and (1,0)).
    uint64_t hash() const
    {
        return (static_cast<uint64_t>(itemIndex_) << 4) | (static_cast<uint64_t>(sectionIndex_) << 6);
    }
    // "SectionIndexSet: <section>, <item> <address>"
    QString description() const;

private:
    int64_t sectionIndex_ = 0;
    int64_t itemIndex_ = 0;
};

inline size_t qHash(const IBSectionIndexSet& pair, size_t seed = 0) noexcept
{
    return QT_PREPEND_NAMESPACE(qHash)(pair.hash(), seed);
}

}  // namespace orv

template <>
struct std::hash<orv::IBSectionIndexSet> {
    size_t operator()(const orv::IBSectionIndexSet& pair) const noexcept { return static_cast<size_t>(pair.hash()); }
};
