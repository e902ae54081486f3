#pragma once
// A library change pushed by the phone: the records added and deleted.

#include <vector>

#include "core/bridge/model/OVFile.h"

namespace orv {

struct OVLibraryChange {
    std::vector<OVFileRef> added;
    std::vector<OVFileRef> deleted;
};

}  // namespace orv
