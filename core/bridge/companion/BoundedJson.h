#pragma once
// Parsing the companion service's JSON with a bound on nesting: copying or
// comparing a JSON value recurses once per level, so a few hundred bytes of
// brackets would otherwise overflow the stack later on.

#include <cstdint>
#include <string_view>

#include <nlohmann/json.hpp>

namespace orv {

// Deeper than any record the service sends (a reply nests four levels).
inline constexpr int kJsonNestingLimit = 64;

// True when no array or object in the text nests deeper than `limit`
// (brackets inside strings do not count). Does not check the syntax.
bool jsonNestingWithin(std::string_view text, int limit = kJsonNestingLimit);

// The value of the text, or a discarded value when it is not JSON or nests
// deeper than the limit.
nlohmann::json parseBoundedJson(std::string_view text, int limit = kJsonNestingLimit);
nlohmann::json parseBoundedJson(const uint8_t* data, size_t size, int limit = kJsonNestingLimit);

}  // namespace orv
