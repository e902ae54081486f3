#include "core/bridge/adb/PhonePath.h"

#include <algorithm>

namespace orv {

namespace {

// The path without trailing slashes, except that a path made only of
// slashes stays "/".
std::string_view trimTrailingSlashes(std::string_view path)
{
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    return path;
}

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

bool equalPrefix(std::string_view text, std::string_view prefix, bool ignoreCase)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i) {
        char a = text[i], b = prefix[i];
        if (ignoreCase ? lower(a) != lower(b) : a != b)
            return false;
    }
    return true;
}

}  // namespace

std::string lastPathComponent(std::string_view path)
{
    path = trimTrailingSlashes(path);
    if (path == "/")
        return "/";
    size_t slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string deletingLastPathComponent(std::string_view path)
{
    path = trimTrailingSlashes(path);
    if (path == "/")
        return "/";
    size_t slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return "";
    if (slash == 0)
        return "/";
    return std::string(trimTrailingSlashes(path.substr(0, slash)));
}

std::string appendingPathComponent(std::string_view path, std::string_view component)
{
    while (!component.empty() && component.front() == '/')
        component.remove_prefix(1);
    if (path.empty())
        return std::string(component);
    std::string result(path);
    if (result.back() != '/')
        result += '/';
    result += component;
    return result;
}

std::string pathExtension(std::string_view path)
{
    std::string last = lastPathComponent(path);
    size_t dot = last.rfind('.');
    if (dot == std::string::npos || last == "/")
        return "";
    return last.substr(dot + 1);
}

std::optional<std::string> removingPathPrefix(std::string_view path, std::string_view prefix, bool ignoreCase)
{
    while (!prefix.empty() && prefix.back() == '/')
        prefix.remove_suffix(1);
    if (!equalPrefix(path, prefix, ignoreCase))
        return std::nullopt;
    std::string_view rest = path.substr(prefix.size());
    if (!rest.empty() && rest.front() != '/')
        return std::nullopt;  // "/a/bc" is not below "/a/b"
    return std::string(rest);
}

std::string hostPathComponent(std::string_view name)
{
    while (!name.empty() && name.front() == '/')
        name.remove_prefix(1);
    while (!name.empty() && name.back() == '/')
        name.remove_suffix(1);
    std::string result(name);
    std::replace(result.begin(), result.end(), '/', '_');
    std::replace(result.begin(), result.end(), '\0', '_');
    if (result == "." || result == "..")
        return "";
    return result;
}

}  // namespace orv
