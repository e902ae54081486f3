#pragma once
// The user-facing texts of the socket classes' fixed errors: each class has a
// table of its own, looked up by key through a hook the application may
// install (for translations), with the English text as the fallback.

#include <functional>
#include <string>

namespace orv {

// Looks up the text of a fixed socket error by key; returns the English text
// it is given when it has no other.
using SocketTextLookup = std::function<std::string(const std::string& key, const std::string& english)>;

void setSocketTextLookup(const std::string& table, SocketTextLookup lookup);
std::string socketText(const std::string& table, const std::string& key, const std::string& english);

}  // namespace orv
