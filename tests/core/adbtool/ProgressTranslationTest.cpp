// adb's terminal output during a transfer, in the pieces a terminal delivers
// it, turned into plain lines and percentages; and the progress line made
// from a percentage, read back with the pattern the bridge uses.
#include "core/adbtool/TerminalOutputFilter.h"
#include "core/adbtool/TransferRunner.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ProgressChecks.h"

namespace {

using orv::adbtool::progressLine;
using orv::adbtool::TerminalOutputFilter;
using Lines = std::vector<std::string>;
using Percents = std::vector<int>;

struct Translation {
    Lines lines;
    Percents percents;
    bool operator==(const Translation&) const = default;
};

void PrintTo(const Translation& t, std::ostream* os)
{
    *os << "lines {";
    for (const auto& l : t.lines)
        *os << testing::PrintToString(l) << ' ';
    *os << "} percents {";
    for (int p : t.percents)
        *os << p << ' ';
    *os << '}';
}

Translation translate(const std::vector<std::string>& chunks)
{
    Translation out;
    TerminalOutputFilter filter([&](std::string_view line) { out.lines.emplace_back(line); },
                                [&](int percent) { out.percents.push_back(percent); });
    for (const auto& chunk : chunks)
        filter.feed(chunk);
    filter.finish();
    return out;
}

struct Capture {
    const char* name;
    std::string output;
    Translation expected;
};

class TerminalOutputFilterTest : public testing::TestWithParam<Capture> {};

// Every capture gives the same result whole, cut in two at any byte, and
// byte by byte: a terminal hands over its output in arbitrary pieces.
TEST_P(TerminalOutputFilterTest, TranslatesAlikeHoweverTheOutputIsCut)
{
    const std::string& output = GetParam().output;
    EXPECT_EQ(translate({output}), GetParam().expected);
    for (size_t cut = 1; cut < output.size(); ++cut)
        ASSERT_EQ(translate({output.substr(0, cut), output.substr(cut)}), GetParam().expected)
            << "cut at " << cut;
    std::vector<std::string> bytes;
    for (char c : output)
        bytes.emplace_back(1, c);
    EXPECT_EQ(translate(bytes), GetParam().expected);
}

const std::string kSummary = "/sdcard/big.bin: 1 file pulled, 0 skipped. 9.5 MB/s (20971520 bytes in 2.100s)";

INSTANTIATE_TEST_SUITE_P(
    Captures, TerminalOutputFilterTest,
    testing::Values(
        // Debian's adb 29: a pull, then a pull of a missing file.
        Capture{"PullToTheEnd",
                "\r[  0%] /sdcard/big.bin\x1b[K\r[  1%] /sdcard/big.bin\x1b[K\r[ 45%] /sdcard/big.bin\x1b[K"
                "\r[100%] /sdcard/big.bin\x1b[K\r" + kSummary + "\x1b[K\n"
                "\radb: error: remote object '/sdcard/nothing' does not exist\n",
                {{kSummary, "adb: error: remote object '/sdcard/nothing' does not exist"}, {0, 1, 45, 100}}},
        // A file whose size adb cannot tell, and one of several files.
        Capture{"UnknownSize",
                "\r[   ?] /proc/x: 65536/?\x1b[K\r[   ?] /proc/x: 131072/?\x1b[K"
                "\r[ 45%] /sdcard/d/a.jpg: 30%\x1b[K\r/proc/x: 2 files pulled, 0 skipped.\x1b[K\n",
                {{"/proc/x: 2 files pulled, 0 skipped."}, {45}}},
        // A terminal that turns "\n" into "\r\n", and a kept last update.
        Capture{"TranslatedNewlines",
                "\r[ 99%] /sdcard/a\x1b[K\r[100%] /sdcard/a\x1b[K\r\n" + kSummary + "\r\n",
                {{kSummary}, {99, 100}}},
        Capture{"FailureAfterProgress",
                "\r[ 45%] /sdcard/x\x1b[K\radb: error: failed to copy '/sdcard/x' to '/tmp/x': "
                "No space left on device\n",
                {{"adb: error: failed to copy '/sdcard/x' to '/tmp/x': No space left on device"}, {45}}},
        Capture{"FailureBeforeAnyProgress",
                "\radb: error: remote object '/sdcard/x' does not exist\n",
                {{"adb: error: remote object '/sdcard/x' does not exist"}, {}}},
        // Stopped mid-transfer: the unfinished update is progress, not text.
        Capture{"StoppedMidLine", "\r[  7%] /sdcard/big.bin\x1b[K\r[  8%] /sdcard/bi",
                {{}, {7, 8}}},
        // Other control sequences and brackets that are no progress.
        Capture{"OtherText",
                "\x1b[1mbold\x1b[0m\n[debug] 5%]\n\r[200%] no\x1b[K\n\n[ 12%] x\nend without newline",
                {{"bold", "[debug] 5%]", "[200%] no", "", "end without newline"}, {12}}},
        // A line break cut into an escape sequence still ends the line.
        Capture{"LineBreakInsideAnEscape",
                "\r[ 45%] /sdcard/x\x1b\nadb: error: cut after ESC\n[ 46%] y\x1b[\nadb: error: cut after CSI\n"
                "text\x1b[1\r\nadb: error: cut in the parameters\n",
                {{"adb: error: cut after ESC", "adb: error: cut after CSI", "text",
                  "adb: error: cut in the parameters"},
                 {45, 46}}},
        Capture{"EmptyOutput", "", {{}, {}}}),
    [](const testing::TestParamInfo<Capture>& info) { return std::string(info.param.name); });

TEST(TerminalOutputFilterTest, ReportsAPercentageAsSoonAsItIsComplete)
{
    Percents percents;
    TerminalOutputFilter filter([](std::string_view) {}, [&](int p) { percents.push_back(p); });
    filter.feed("\r[ 4");
    EXPECT_TRUE(percents.empty());
    filter.feed("5%]");
    EXPECT_EQ(percents, Percents{45});
    filter.feed(" /sdcard/long/path/still/arriving");
    EXPECT_EQ(percents, Percents{45});
}

// A crafted line of blanks and brackets is read once, not once per "]":
// two million bytes would take hours when each "]" rescans the line.
TEST(TerminalOutputFilterTest, LongLinesOfBracketsAreTextReadInOnePass)
{
    const std::string blanks(1'000'000, ' ');
    const std::string brackets(1'000'000, ']');
    for (const std::string& line : {blanks + brackets, "[" + blanks + brackets, "[ 4" + blanks + brackets}) {
        Translation out = translate({line, "\n"});
        ASSERT_EQ(out.lines.size(), 1u);
        EXPECT_EQ(out.lines[0].size(), line.size());
        EXPECT_TRUE(out.percents.empty());
    }
}

TEST(ProgressLineTest, ReadsBackWithTheBridgesPatternAsBytesAndPercent)
{
    struct Case {
        uint64_t total;
        int percent;
        const char* done;
        const char* totalText;
    };
    for (const Case& c : {Case{20971520, 45, "9437184", "20971520"},
                          Case{20971520, 100, "20971520", "20971520"},
                          Case{3, 50, "1", "3"},
                          Case{18446744073709551615ULL, 100, "18446744073709551615",
                               "18446744073709551615"},
                          Case{18446744073709551615ULL, 1, "184467440737095516",
                               "18446744073709551615"}}) {
        std::string line = progressLine(c.total, c.percent);
        ASSERT_EQ(line.back(), '\n');
        auto matches = orv::adbtool::test::bridgeProgressMatches(line);
        ASSERT_EQ(matches.size(), 1u) << line;
        EXPECT_EQ(matches[0].done, c.done) << line;
        EXPECT_EQ(matches[0].total, c.totalText) << line;
        EXPECT_EQ(matches[0].percent, std::to_string(c.percent)) << line;
    }
}

}  // namespace
