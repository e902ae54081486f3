#include "core/bridge/facade/HostURL.h"

#include <cctype>

namespace orv {

namespace {

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// "%20" and the like decoded; a malformed escape stays as written.
std::string percentDecoded(const std::string& text)
{
    std::string result;
    result.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int high = hexValue(text[i + 1]);
            const int low = hexValue(text[i + 2]);
            if (high >= 0 && low >= 0) {
                result += static_cast<char>(high * 16 + low);
                i += 2;
                continue;
            }
        }
        result += text[i];
    }
    return result;
}

}  // namespace

HostURL HostURL::fileURLWithPath(std::string path)
{
    HostURL url;
    url.scheme_ = "file";
    url.path_ = std::move(path);
    return url;
}

HostURL HostURL::URLWithString(const std::string& text)
{
    const size_t colon = text.find(':');
    if (colon == std::string::npos || colon == 0)
        return {};
    for (size_t i = 0; i < colon; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (!std::isalnum(c) && c != '+' && c != '-' && c != '.')
            return {};
    }
    HostURL url;
    for (size_t i = 0; i < colon; ++i)
        url.scheme_ += static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
    std::string rest = text.substr(colon + 1);
    if (url.scheme_ == "file") {
        if (rest.starts_with("//")) {
            const size_t slash = rest.find('/', 2);
            const std::string host = rest.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
            if (!host.empty() && host != "localhost")
                return {};  // a file on another machine is not ours to reach
            rest = slash == std::string::npos ? std::string() : rest.substr(slash);
        }
        url.path_ = percentDecoded(rest);
    } else {
        url.path_ = rest;
    }
    return url;
}

}  // namespace orv
