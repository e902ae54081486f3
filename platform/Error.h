#pragma once
// Failures are values: an Error names its domain and code and carries the
// texts shown to the user. Exceptions (orv::Exception) are for misuse only.

#include <map>
#include <stdexcept>
#include <string>

namespace orv {

struct Error {
    std::string domain;
    long code = 0;
    std::string message;             // what went wrong, for the user
    std::string recoverySuggestion;  // what the user can do about it
    std::map<std::string, std::string> info;  // extra details (e.g. the underlying system error)

    // Text for logs: "domain code: message".
    std::string description() const;
    bool operator==(const Error&) const = default;
};

// Raised on misuse of an interface (a call on the wrong thread, a deadlock the
// caller asked for). Carries a name that callers may test, and a reason.
class Exception : public std::logic_error {
public:
    Exception(std::string name, std::string reason);
    const std::string& name() const { return name_; }
    const std::string& reason() const { return reason_; }

private:
    std::string name_;
    std::string reason_;
};

}  // namespace orv
