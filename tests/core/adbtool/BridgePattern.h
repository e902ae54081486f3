#pragma once
// The bridge's reading of progress on adb's standard error: every match of
// "(.*) (\d*)/(\d*) (.*)[(](\d+)%" (case-insensitive, within one line), with
// its bytes done, bytes total and percent as text. POSIX regex, because
// GCC 12's <regex> trips its own warnings in sanitizer builds.

#include <regex.h>

#include <string>
#include <vector>

namespace orv::adbtool::test {

struct ProgressMatch {
    std::string done, total, percent;
};

inline std::vector<ProgressMatch> bridgeProgressMatches(const std::string& text)
{
    std::vector<ProgressMatch> matches;
    regex_t pattern;
    if (regcomp(&pattern, "(.*) ([0-9]*)/([0-9]*) (.*)[(]([0-9]+)%", REG_EXTENDED | REG_ICASE | REG_NEWLINE) != 0)
        return matches;
    regmatch_t groups[6];
    size_t offset = 0;
    while (offset < text.size() &&
           regexec(&pattern, text.c_str() + offset, 6, groups, offset ? REG_NOTBOL : 0) == 0) {
        auto group = [&](int i) {
            return text.substr(offset + static_cast<size_t>(groups[i].rm_so),
                               static_cast<size_t>(groups[i].rm_eo - groups[i].rm_so));
        };
        matches.push_back({group(2), group(3), group(5)});
        offset += static_cast<size_t>(groups[0].rm_eo > 0 ? groups[0].rm_eo : 1);
    }
    regfree(&pattern);
    return matches;
}

}  // namespace orv::adbtool::test
