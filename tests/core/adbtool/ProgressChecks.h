#pragma once
// Progress as the bridge reads it from adb's standard error: every match of
// "(.*) (\d*)/(\d*) (.*)[(](\d+)%" (case-insensitive, within one line), with
// its bytes done, bytes total and percent. POSIX regex, because GCC 12's
// <regex> trips its own warnings in sanitizer builds.

#include <regex.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
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

// A transfer of `size` bytes reported as it went: several lines, each with the
// file's size as total and the bytes of its percentage, never going back,
// ending at 100%.
inline void expectLiveProgress(const std::string& err, uint64_t size)
{
    auto lines = bridgeProgressMatches(err);
    ASSERT_GE(lines.size(), 3u) << err;
    uint64_t lastDone = 0;
    for (const auto& line : lines) {
        uint64_t done = std::stoull(line.done);
        EXPECT_EQ(std::stoull(line.total), size);
        EXPECT_EQ(done, size / 100 * std::stoull(line.percent));
        EXPECT_GE(done, lastDone);
        lastDone = done;
    }
    EXPECT_EQ(lines.back().percent, "100");
    EXPECT_EQ(lines.back().done, std::to_string(size));
}

inline std::string randomBytes(size_t size)
{
    std::mt19937 random(7);
    std::string bytes(size, '\0');
    for (auto& b : bytes)
        b = static_cast<char>(random());
    return bytes;
}

}  // namespace orv::adbtool::test
