#include "core/bridge/companion/RecordValues.h"

#include <cmath>
#include <cstdio>
#include <limits>

#include "core/bridge/adb/ADBStrings.h"

namespace orv {

std::optional<std::string> recordString(const nlohmann::json& value)
{
    if (value.is_string())
        return value.get<std::string>();
    if (value.is_number_unsigned())
        return std::to_string(value.get<uint64_t>());
    if (value.is_number_integer())
        return std::to_string(value.get<int64_t>());
    if (value.is_number_float()) {
        char text[64];
        std::snprintf(text, sizeof text, "%.17g", value.get<double>());
        // The shortest form that reads back the same, as numbers print in logs.
        for (int precision = 1; precision <= 17; ++precision) {
            char shorter[64];
            std::snprintf(shorter, sizeof shorter, "%.*g", precision, value.get<double>());
            if (std::strtod(shorter, nullptr) == value.get<double>())
                return std::string(shorter);
        }
        return std::string(text);
    }
    if (value.is_boolean())
        return std::string(value.get<bool>() ? "1" : "0");
    return std::nullopt;
}

std::optional<int64_t> recordInteger(const nlohmann::json& value)
{
    if (value.is_string())
        return integerValue(value.get_ref<const std::string&>());
    if (value.is_number_unsigned()) {
        const uint64_t number = value.get<uint64_t>();
        return number > uint64_t(std::numeric_limits<int64_t>::max()) ? std::numeric_limits<int64_t>::max()
                                                                       : int64_t(number);
    }
    if (value.is_number_integer())
        return value.get<int64_t>();
    if (value.is_number_float())
        return saturatedInteger(value.get<double>());
    if (value.is_boolean())
        return value.get<bool>() ? 1 : 0;
    return std::nullopt;
}

std::optional<uint64_t> recordUnsigned(const nlohmann::json& value)
{
    if (value.is_number_unsigned())
        return value.get<uint64_t>();
    if (auto integer = recordInteger(value))
        return static_cast<uint64_t>(*integer);
    return std::nullopt;
}

std::optional<double> recordDouble(const nlohmann::json& value)
{
    if (value.is_string())
        return doubleValue(value.get_ref<const std::string&>());
    if (value.is_number())
        return value.get<double>();
    if (value.is_boolean())
        return value.get<bool>() ? 1.0 : 0.0;
    return std::nullopt;
}

}  // namespace orv
