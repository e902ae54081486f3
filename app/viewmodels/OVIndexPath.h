#pragma once
// A position in a sectioned grid: the section and the item inside it.

#include <cstdint>

namespace orv {

struct OVIndexPath {
    int64_t section = 0;
    int64_t item = 0;
    bool operator==(const OVIndexPath&) const = default;
};

}  // namespace orv
