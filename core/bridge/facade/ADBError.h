#pragma once
// The bridge's error table, domain "ADBError": every code has a message and a
// recovery suggestion, which the application's alerts show. Codes 4 to 9 are
// keys of the application's text table (a missing entry shows the key).

#include <optional>
#include <string>

#include "platform/Error.h"

namespace orv {

inline constexpr const char* kADBErrorDomain = "ADBError";

enum ADBErrorCode : long {
    ADBErrorGeneric = 0,
    ADBErrorInvalidArgument = 1,
    ADBErrorNotConnected = 2,
    ADBErrorUnauthorized = 3,
    ADBErrorOffline = 4,
    ADBErrorUnknownSources = 5,
    ADBErrorInstallFailed = 6,
    ADBErrorServiceNotStarted = 7,
    ADBErrorFrameworkTooOld = 8,
    ADBErrorROMTooOld = 9,
    ADBErrorSocketReset = 10,
    ADBErrorSocketTimeout = 11,
    ADBErrorSocketNoBody = 12,
};

// Table texts; a code outside 1-12 gets the generic texts of code 0.
std::string messageForCode(long code);
std::string recoverySuggestionForCode(long code);

// An error with the code and the table's message.
Error adb_errorWithCode(long code);
// Code 0 with a free message and the generic recovery suggestion.
Error adb_errorWithMessage(const std::string& message);
// The code's recovery suggestion always; the message only when given.
Error adb_errorWithCodeAndMessage(long code, const std::optional<std::string>& message);
// Code 0 for a phone command that failed on `path`: info "path", and info
// "adb" with what adb said (trailing line ends dropped) when it said anything.
Error adb_errorForPath(const std::string& path, const std::string& said);

}  // namespace orv
