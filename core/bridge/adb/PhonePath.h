#pragma once
// Slash-separated path arithmetic for phone paths and relative paths. A
// trailing "/" never makes an empty last component, so "/a/b/" and "/a/b"
// have the same last component and the same parent.

#include <optional>
#include <string>
#include <string_view>

namespace orv {

// "b" for "/a/b" and "/a/b/"; "/" for "/"; "" for "".
std::string lastPathComponent(std::string_view path);
// "/a" for "/a/b" and "/a/b/"; "/" for "/a" and "/"; "" for "a".
std::string deletingLastPathComponent(std::string_view path);
// "/a/b" for ("/a", "b") and ("/a/", "b"); "b" for ("", "b").
std::string appendingPathComponent(std::string_view path, std::string_view component);
// "jpg" for "/a/b.jpg"; "" when the last component has no ".".
std::string pathExtension(std::string_view path);

// The rest of `path` after `prefix` when the prefix leads it as whole
// components ("/a/b" leads "/a/b" and "/a/b/c", not "/a/bc"): "" or a text
// beginning with "/". A trailing "/" of the prefix is ignored.
std::optional<std::string> removingPathPrefix(std::string_view path, std::string_view prefix,
                                              bool ignoreCase = false);

// A name that is safe as one component of a computer path: slashes at either
// end removed, inner slashes and NUL bytes replaced by "_". Empty, "." and
// ".." give an empty result, which callers replace by a fallback.
std::string hostPathComponent(std::string_view name);

}  // namespace orv
