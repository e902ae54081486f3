#include "core/adbtool/PhoneFileSize.h"

#include <array>
#include <charconv>
#include <sstream>
#include <vector>

namespace orv::adbtool {

namespace {

bool allDigits(std::string_view word)
{
    if (word.empty())
        return false;
    for (char c : word) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

// "2015-03-01", as toolbox and toybox print the date.
bool isIsoDate(std::string_view word)
{
    if (word.size() != 10 || word[4] != '-' || word[7] != '-')
        return false;
    return allDigits(word.substr(0, 4)) && allDigits(word.substr(5, 2)) &&
           allDigits(word.substr(8, 2));
}

// "Mar", as busybox prints the date.
bool isMonthName(std::string_view word)
{
    static constexpr std::array<std::string_view, 12> months{
        "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    for (auto month : months) {
        if (word == month)
            return true;
    }
    return false;
}

std::optional<uint64_t> sizeFromLine(std::string_view line)
{
    if (line.empty() || line[0] != '-')
        return std::nullopt;
    std::vector<std::string> words;
    std::istringstream in{std::string(line)};
    for (std::string word; in >> word;)
        words.push_back(word);
    // The size is the word right before the date: its position differs
    // between toolbox (no link count) and toybox or busybox.
    for (size_t i = 2; i < words.size(); ++i) {
        if (!isIsoDate(words[i]) && !isMonthName(words[i]))
            continue;
        if (!allDigits(words[i - 1]))
            return std::nullopt;
        uint64_t size = 0;
        const std::string& text = words[i - 1];
        auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), size);
        if (error != std::errc() || end != text.data() + text.size())
            return std::nullopt;
        return size;
    }
    return std::nullopt;
}

}  // namespace

std::string phoneFileSizeCommand(std::string_view path)
{
    return "ls -ld " + quoteForPhoneShell(path);
}

std::optional<uint64_t> parsePhoneFileSize(std::string_view listing)
{
    std::optional<uint64_t> found;
    size_t lines = 0;
    while (!listing.empty()) {
        size_t end = listing.find('\n');
        std::string_view line = listing.substr(0, end);
        listing = end == std::string_view::npos ? std::string_view{} : listing.substr(end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            continue;
        ++lines;
        found = sizeFromLine(line);
    }
    return lines == 1 ? found : std::nullopt;
}

std::string quoteForPhoneShell(std::string_view text)
{
    std::string quoted = "'";
    for (char c : text) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    quoted += '\'';
    return quoted;
}

}  // namespace orv::adbtool
