#include "core/sockets/SocketTexts.h"

#include <map>
#include <mutex>

namespace orv {

namespace {

std::mutex& lookupMutex()
{
    static std::mutex mutex;
    return mutex;
}

std::map<std::string, SocketTextLookup>& lookups()
{
    static std::map<std::string, SocketTextLookup> tables;
    return tables;
}

}  // namespace

void setSocketTextLookup(const std::string& table, SocketTextLookup lookup)
{
    std::lock_guard lock(lookupMutex());
    if (lookup)
        lookups()[table] = std::move(lookup);
    else
        lookups().erase(table);
}

std::string socketText(const std::string& table, const std::string& key, const std::string& english)
{
    SocketTextLookup lookup;
    {
        std::lock_guard lock(lookupMutex());
        if (auto it = lookups().find(table); it != lookups().end())
            lookup = it->second;
    }
    if (!lookup)
        return english;
    std::string text = lookup(key, english);
    return text.empty() ? english : text;
}

}  // namespace orv
