#pragma once
// Readings of one value of a companion-service record, which may arrive as a
// number or as a string: a string is read the way command output is read
// (leading integer or number), a number is printed when text is wanted.
// Objects, arrays and null read as nothing.

#include <cstdint>
#include <optional>
#include <string>

#include <nlohmann/json.hpp>

namespace orv {

std::optional<std::string> recordString(const nlohmann::json& value);
std::optional<int64_t> recordInteger(const nlohmann::json& value);
std::optional<uint64_t> recordUnsigned(const nlohmann::json& value);
std::optional<double> recordDouble(const nlohmann::json& value);

}  // namespace orv
