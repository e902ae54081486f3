#pragma once
// Texts shown to the user are looked up by key in the application's table.
// The framework has no table of its own: the application installs a provider;
// without one (or for a key it does not know) the caller's fallback is used.

#include <functional>
#include <optional>
#include <string>

namespace orv {

using LocalizedStringProvider = std::function<std::optional<std::string>(const std::string& key)>;

// Installs the application's lookup; an empty function removes it. Thread-safe.
void setLocalizedStringProvider(LocalizedStringProvider provider);

// The text for `key`, or `fallback` when there is no entry.
std::string localizedString(const std::string& key, const std::string& fallback);

}  // namespace orv
