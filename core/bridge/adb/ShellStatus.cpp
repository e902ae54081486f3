#include "core/bridge/adb/ShellStatus.h"

#include <cctype>

namespace orv {

namespace {

constexpr std::string_view kMarker = "__orv_status=";

}  // namespace

std::string shellLineWithStatus(const std::string& line)
{
    return line + "; echo " + std::string(kMarker) + "$?";
}

ShellOutcome shellOutcome(const std::optional<std::string>& printed)
{
    ShellOutcome outcome;
    if (!printed)
        return outcome;
    const std::string& text = *printed;
    // The marker is the last line; anything after it is noise from adb.
    size_t at = text.rfind(kMarker);
    while (at != std::string::npos && at != 0 && text[at - 1] != '\n')
        at = at == 0 ? std::string::npos : text.rfind(kMarker, at - 1);
    if (at == std::string::npos) {
        outcome.output = text;
        return outcome;
    }
    size_t digits = at + kMarker.size();
    size_t end = digits;
    while (end < text.size() && std::isdigit(static_cast<unsigned char>(text[end])))
        ++end;
    if (end > digits && end - digits <= 3)
        outcome.status = std::stoi(text.substr(digits, end - digits));
    outcome.output = text.substr(0, at);
    return outcome;
}

}  // namespace orv
