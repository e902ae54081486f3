#include "core/bridge/adb/DeviceLoadOutput.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <string>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "core/bridge/adb/ADBStrings.h"

namespace orv {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::vector<std::string_view> fieldsOf(std::string_view line)
{
    std::vector<std::string_view> fields;
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line[i]))
            ++i;
        size_t start = i;
        while (i < line.size() && !isBlank(line[i]))
            ++i;
        if (i > start)
            fields.push_back(line.substr(start, i - start));
    }
    return fields;
}

template <class F>
void forEachLine(std::string_view text, F&& visit)
{
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        visit(text.substr(start, end - start));
        if (end == text.size())
            break;
        start = end + 1;
    }
}

std::optional<uint16_t> tcpPort(std::string_view field)
{
    if (!field.starts_with("tcp:") || field.size() == 4 || field.size() > 9)
        return std::nullopt;
    unsigned value = 0;
    for (char c : field.substr(4)) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value == 0 || value > 65535)
        return std::nullopt;
    return static_cast<uint16_t>(value);
}

std::string_view trimmed(std::string_view text)
{
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

int64_t kilobytes(std::string_view field)
{
    std::string lower(field);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    double value = doubleValue(lower);
    if (lower.ends_with('t'))
        value *= 1e9;
    else if (lower.ends_with('g'))
        value *= 1e6;
    else if (lower.ends_with('m'))
        value *= 1e3;
    // A figure of "inf", "nan" or hundreds of digits must not reach an
    // integer cast unchecked; storage is never negative.
    return std::max<int64_t>(saturatedInteger(value), 0);
}

}  // namespace

std::optional<std::string> deviceStateInList(std::string_view output, std::string_view serial)
{
    std::optional<std::string> state;
    if (serial.empty())
        return state;
    forEachLine(output, [&](std::string_view line) {
        if (state || line.starts_with("List of devices attached"))
            return;
        auto fields = fieldsOf(line);
        if (fields.size() >= 2 && fields[0] == serial)
            state = std::string(fields[1]);
    });
    return state;
}

int64_t adbStatusForState(std::string_view state)
{
    if (state.find("unauthorized") != std::string_view::npos)
        return 1;
    if (state.find("device") != std::string_view::npos)
        return 2;
    if (state.find("offline") != std::string_view::npos)
        return 3;
    return 4;
}

std::vector<uint16_t> forwardedCompanionPorts(std::string_view output, std::string_view serial)
{
    std::vector<uint16_t> ports;
    forEachLine(output, [&](std::string_view line) {
        auto fields = fieldsOf(line);
        if (fields.size() == 3 && fields[0] == serial && fields[2] == "tcp:10086")
            if (auto port = tcpPort(fields[1]))
                ports.push_back(*port);
    });
    return ports;
}

std::set<uint16_t> forwardedLocalPorts(std::string_view output)
{
    std::set<uint16_t> ports;
    forEachLine(output, [&](std::string_view line) {
        auto fields = fieldsOf(line);
        if (fields.size() >= 2)
            if (auto port = tcpPort(fields[1]))
                ports.insert(*port);
    });
    return ports;
}

std::optional<int64_t> batteryLevelFromOutput(std::string_view output)
{
    std::optional<int64_t> level;
    forEachLine(output, [&](std::string_view line) {
        if (level)
            return;
        // "  level: 85": the name is everything before the last ": ".
        size_t colon = line.rfind(": ");
        if (colon == std::string_view::npos || trimmed(line.substr(0, colon)) != "level")
            return;
        std::string_view digits = line.substr(colon + 2);
        size_t end = 0;
        while (end < digits.size() && digits[end] >= '0' && digits[end] <= '9')
            ++end;
        level = integerValue(digits.substr(0, end));
    });
    return level;
}

std::optional<DiskSpace> diskSpaceFromOutput(std::string_view output, std::string_view path)
{
    size_t at = output.find(path);
    if (path.empty() || at == std::string_view::npos)
        return std::nullopt;
    auto fields = fieldsOf(output.substr(at + path.size()));
    if (fields.size() <= 2)
        return std::nullopt;
    const int64_t size = kilobytes(fields[0]);
    const int64_t used = kilobytes(fields[1]);
    return DiskSpace{size, size - used};
}

CompanionInstall companionInstallFromOutput(std::string_view output, double lowestVersion)
{
    if (output.empty() || output.find("versionCode") == std::string_view::npos)
        return CompanionInstall::Missing;
    bool outdated = false;
    forEachLine(output, [&](std::string_view line) {
        size_t at = line.find("versionCode=");
        if (at == std::string_view::npos)
            return;
        std::string_view rest = line.substr(at + 12);
        size_t end = 0;
        while (end < rest.size() && rest[end] >= '0' && rest[end] <= '9')
            ++end;
        if (end == 0 || !rest.substr(end).starts_with(" targetSdk="))
            return;
        if (doubleValue(rest.substr(0, end)) < lowestVersion)
            outdated = true;
    });
    return outdated ? CompanionInstall::Outdated : CompanionInstall::Current;
}

uint16_t chooseForwardPort(const std::set<uint16_t>& taken, const std::function<uint16_t()>& draw,
                           const std::function<bool(uint16_t)>& isFree, int attempts)
{
    uint16_t candidate = draw();
    for (int i = 1; i < attempts; ++i) {
        if (!taken.count(candidate) && (!isFree || isFree(candidate)))
            return candidate;
        candidate = draw();
    }
    return candidate;
}

bool isLocalPortFree(uint16_t port)
{
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return true;  // cannot tell; let the forward itself find out
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return free;
}

}  // namespace orv
