#include "platform/Error.h"

namespace orv {

std::string Error::description() const
{
    return domain + " " + std::to_string(code) + ": " + message;
}

Exception::Exception(std::string name, std::string reason)
    : std::logic_error(reason.empty() ? name : name + ": " + reason),
      name_(std::move(name)),
      reason_(std::move(reason))
{
}

}  // namespace orv
