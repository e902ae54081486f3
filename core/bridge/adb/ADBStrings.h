#pragma once
// String helpers of the bridge: quoting for the phone's shell, the numeric
// readings of record values and command output, and storage-relative paths.

#include <cstdint>
#include <string>
#include <string_view>

namespace orv {

// The text made safe inside a double-quoted argument of the phone's shell:
// backslash, dollar, backquote and double quote each get a backslash, so
// nothing in a phone path is expanded, executed or ends the quoting.
std::string adb_replacedStringForShell(std::string_view text);
// The same, wrapped in double quotes: one literal word for the phone's shell.
std::string adb_quotedForShell(std::string_view text);

// The leading integer of the text: blanks skipped, an optional sign, then
// digits; 0 when there are none; saturated at the 64-bit limits.
int64_t integerValue(std::string_view text);
// The same integer, returned as unsigned (so "-1" reads as the largest value).
uint64_t unsignedIntegerValue(std::string_view text);
// The leading decimal number of the text (blanks skipped); 0 when none.
double doubleValue(std::string_view text);
// The number's integer part, saturated at the 64-bit limits; 0 for NaN.
int64_t saturatedInteger(double number);

// True when the name's extension (letter case ignored) is that of an image,
// a movie or a sound.
bool isMediaFile(std::string_view path);

// The path relative to the phone's storage, as the companion service names
// folders: the storage root (either of its two names, letter case ignored)
// is removed when it leads the path as whole components, then one trailing
// "/" is dropped. "/storage/emulated/legacy/DCIM/a.jpg" gives "/DCIM/a.jpg".
std::string relativePathToSDCard(std::string_view path);

// True when the bytes are well-formed UTF-8.
bool isValidUTF8(std::string_view bytes);
// The bytes as UTF-8 text for showing: each byte that does not belong to a
// well-formed sequence becomes U+FFFD; valid text is returned unchanged.
std::string displayableText(std::string_view bytes);

}  // namespace orv
