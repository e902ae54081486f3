#include "app/toolkit/IBSectionIndexSet.h"

namespace orv {

IBSectionIndexSet::IBSectionIndexSet(int64_t section, int64_t item)
    : sectionIndex_(section == kNotFound ? 0 : section), itemIndex_(item == kNotFound ? 0 : item)
{
}

QString IBSectionIndexSet::description() const
{
    return QString::asprintf("SectionIndexSet: %lld, %lld %p", static_cast<long long>(sectionIndex_),
                             static_cast<long long>(itemIndex_), static_cast<const void*>(this));
}

}  // namespace orv
