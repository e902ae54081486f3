#pragma once
// Reading the phone's `ls -al` output. An entry line starts with its mode
// field ("-" file, "d" folder), then owner and group, the size (files only),
// the date "yyyy-MM-dd HH:mm" and, after one blank, the name to the end of
// the line. Other lines (the block total, links, devices, lines without a
// date) and the entries "." and ".." are skipped.
// A listing made with `ls -b` carries every byte of a name: backslash
// escapes stand for blanks, backslashes, control characters and bytes that
// are not UTF-8. A raw listing cannot carry a line break in a name.

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/bridge/model/OVFile.h"

namespace orv {

class OVDirectoryFile;

struct PhoneListingEntry {
    bool directory = false;
    uint64_t size = 0;
    std::string_view date;  // "yyyy-MM-dd HH:mm", as printed
    std::string_view name;
};

enum class PhoneListingForm {
    Raw,      // names as they are (`ls -al`)
    Escaped,  // names escaped (`ls -alb`)
};

// One entry line, without its line break. A carriage return that ends the
// line is part of the name: callers remove one a terminal added.
std::optional<PhoneListingEntry> parsePhoneListingLine(std::string_view line);

// The name an escaped listing printed: "\\" "\ " "\a" "\b" "\e" "\f" "\n"
// "\r" "\t" "\v" and "\" with three octal digits become their bytes; a
// backslash before anything else stands for itself.
std::string unescapedListingName(std::string_view printed);

// "yyyy-MM-dd HH:mm" in the computer's time zone; nullopt when it does not parse.
OVFile::Date phoneListingDate(std::string_view text);

// Whether a listing line is kept under the type flags (OVFile::Type,
// combined; 0 keeps all): the line holds one of the flags' terms anywhere,
// letter case counting ("dr" for folders, lower-case extensions for media).
// Flags without terms keep nothing.
bool phoneListingLineSelected(std::string_view line, uint64_t typeFlags);

// The records of a listing of the folder at `folderPath`, in listing order:
// folders as OVDirectoryFile, files by their extension as OVImageFile,
// OVVideoFile, OVAudioFile or OVFile, each with its path below the folder
// and `parent` (may be null) as parent; only lines the type flags select.
// A terminal's "\r\n" line ends are read as line breaks: in an escaped
// listing always, in a raw one when every line ends so (a name may end in
// a carriage return of its own).
std::vector<OVFileRef> filesFromPhoneListing(std::string_view output, const std::string& folderPath,
                                             const std::shared_ptr<OVDirectoryFile>& parent,
                                             uint64_t typeFlags = 0,
                                             PhoneListingForm form = PhoneListingForm::Raw);

}  // namespace orv
