#include "core/bridge/adb/PhoneFolderListing.h"

#include "core/bridge/adb/ADBStrings.h"
#include "core/bridge/adb/PhoneListing.h"
#include "core/bridge/facade/ADBError.h"
#include "core/bridge/model/OVDirectoryFile.h"

namespace orv {

PhoneFolderListing listPhoneFolder(const ADBRunner& runner, const OVFileRef& folder, uint64_t typeFlags)
{
    PhoneFolderListing listing;
    if (!folder)
        return listing;
    const std::string path = folder->path();
    ShellOutcome outcome = runner.shellWithStatus("ls -al " + adb_quotedForShell(path));
    if (!outcome.succeeded()) {
        listing.error = adb_errorForPath(path, outcome.output);
        return listing;
    }
    listing.files = filesFromPhoneListing(outcome.output, path, std::dynamic_pointer_cast<OVDirectoryFile>(folder),
                                          typeFlags);
    return listing;
}

}  // namespace orv
