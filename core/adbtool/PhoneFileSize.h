#pragma once
// The size of one regular file on the phone, read from the phone's `ls -ld`,
// which is the one listing that old and new phones both have. adb itself only
// reports percentages, so this size turns them into byte counts for a pull.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace orv::adbtool {

// The phone shell command line that lists `path` and nothing else.
std::string phoneFileSizeCommand(std::string_view path);

// The size from that command's output; nullopt unless the output shows one
// regular file with its size (a folder, a link, an error text give none).
std::optional<uint64_t> parsePhoneFileSize(std::string_view listing);

// `text` as one word for a POSIX shell: in single quotes, with each single
// quote written as '\''.
std::string quoteForPhoneShell(std::string_view text);

}  // namespace orv::adbtool
