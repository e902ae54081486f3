#include "core/bridge/facade/ADBError.h"

#include "core/bridge/facade/OVLocalization.h"

namespace orv {

namespace {

struct Entry {
    const char* message;
    const char* suggestion;  // nullptr: the message again
    bool localized;          // both texts are keys of the application's table
};

const char* const kGeneric = "Orvane 发生错误.";

const Entry kTable[] = {
    {kGeneric, kGeneric, false},
    {"无效的参数", nullptr, false},
    {"无法连接设备，请确认开启 USB Debug", nullptr, false},
    {"USB 未授权", nullptr, false},
    {"Unable to connect your phone", "Please re-plug in your phone.", true},
    {"Unknow source apk can not be installed", "Please set unknow source app install allowed.", true},
    {"Unable to install the Forward Service App", "How to recovery", true},
    {"Unable to launch the Forward Service", "How to recovery", true},
    {"Orvane is too old", "Please upgrade your Orvane.", true},
    {"ROM is too old", "Please upgrade your ROM.", true},
    {"Socket reset by remote", nullptr, false},
    {"Socket timeout", nullptr, false},
    {"Socket no body data", nullptr, false},
};

const Entry& entryFor(long code)
{
    if (code < 1 || code > 12)
        return kTable[0];
    return kTable[code];
}

std::string text(const char* value, bool localized)
{
    return localized ? localizedString(value, value) : std::string(value);
}

}  // namespace

std::string messageForCode(long code)
{
    const Entry& entry = entryFor(code);
    return text(entry.message, entry.localized);
}

std::string recoverySuggestionForCode(long code)
{
    const Entry& entry = entryFor(code);
    return text(entry.suggestion ? entry.suggestion : entry.message, entry.localized);
}

Error adb_errorWithCodeAndMessage(long code, const std::optional<std::string>& message)
{
    Error error;
    error.domain = kADBErrorDomain;
    error.code = code;
    if (message)
        error.message = *message;
    error.recoverySuggestion = recoverySuggestionForCode(code);
    return error;
}

Error adb_errorWithCode(long code)
{
    return adb_errorWithCodeAndMessage(code, messageForCode(code));
}

Error adb_errorWithMessage(const std::string& message)
{
    return adb_errorWithCodeAndMessage(ADBErrorGeneric, message);
}

Error adb_errorForPath(const std::string& path, const std::string& said)
{
    Error error = adb_errorWithCode(ADBErrorGeneric);
    error.info["path"] = path;
    std::string text = said;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
        text.pop_back();
    if (!text.empty())
        error.info["adb"] = text;
    return error;
}

}  // namespace orv
