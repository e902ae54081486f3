#pragma once
// The one way the bridge lists a phone folder: `ls -alb` (every byte of a
// name escaped; plain `ls -al` on phones whose ls lacks -b) run with its exit
// status, so a folder that is gone, a phone that went away or a refused
// listing is an error carrying the phone's or adb's words, never an empty
// folder.

#include <cstdint>
#include <optional>
#include <vector>

#include "core/bridge/adb/ADBRunner.h"
#include "core/bridge/model/OVFile.h"
#include "platform/Error.h"

namespace orv {

struct PhoneFolderListing {
    std::vector<OVFileRef> files;  // in listing order; empty on error
    std::optional<Error> error;
};

// The records of `folder` the type flags select (0: all), see PhoneListing.h.
PhoneFolderListing listPhoneFolder(const ADBRunner& runner, const OVFileRef& folder, uint64_t typeFlags = 0);

}  // namespace orv
