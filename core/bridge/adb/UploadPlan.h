#pragma once
// Turns the computer files and folders chosen for an upload into the list of
// entries to create on the phone: one item per file, one per folder (an
// empty selected folder included), hidden entries inside folders and
// symbolic links inside folders left out.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/bridge/adb/OVFileTransferItem.h"

namespace orv {

struct UploadPlan {
    std::vector<std::shared_ptr<OVFileTransferItem>> items;  // in upload order
    uint64_t files = 0;
    uint64_t bytes = 0;
};

// Each phone path is `destination` followed by the entry's path relative to
// the selected item's parent folder, so a selected folder keeps its name and
// its structure. Paths that do not exist are skipped.
UploadPlan planUpload(const std::vector<std::string>& hostPaths, const std::string& destination);

}  // namespace orv
