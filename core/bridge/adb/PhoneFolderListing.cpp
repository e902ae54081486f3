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
    const std::string quoted = adb_quotedForShell(path);
    // "-b" escapes whatever a name holds, line breaks included. An ls
    // without it (phones before toybox) refuses the option; the plain
    // listing then tells a missing folder from a missing option.
    PhoneListingForm form = PhoneListingForm::Escaped;
    ShellOutcome outcome;
    if (!runner.notes().lsWithoutEscapes)
        outcome = runner.shellWithStatus("ls -alb " + quoted);
    if (!outcome.succeeded()) {
        ShellOutcome plain = runner.shellWithStatus("ls -al " + quoted);
        if (plain.succeeded() && outcome.status > 0)
            runner.notes().lsWithoutEscapes = true;
        outcome = std::move(plain);
        form = PhoneListingForm::Raw;
    }
    if (!outcome.succeeded()) {
        listing.error = adb_errorForPath(path, outcome.output);
        return listing;
    }
    listing.files = filesFromPhoneListing(outcome.output, path, std::dynamic_pointer_cast<OVDirectoryFile>(folder),
                                          typeFlags, form);
    return listing;
}

}  // namespace orv
