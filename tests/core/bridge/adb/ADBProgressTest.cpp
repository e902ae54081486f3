#include "core/bridge/adb/ADBProgress.h"

#include <gtest/gtest.h>

namespace orv {
namespace {

TEST(ADBProgressTest, RecognisesTheProgressLineShapes)
{
    struct Case {
        const char* line;
        std::optional<ADBProgressLine> expected;
    };
    const Case cases[] = {
        {"Transferring: 65536/262144 (25%)", ADBProgressLine{65536, 262144, 25}},
        {"[ 10%] /sdcard/a.jpg: 100/1000 (10%)", ADBProgressLine{100, 1000, 10}},
        {"Transferring: / (50%)", ADBProgressLine{0, 0, 50}},
        {"Transferring: 0/100 (0%)", ADBProgressLine{0, 100, 0}},
        // The counts nearest the percent win, as a greedy first group decides.
        {"x 1/2 y 3/4 (75%)", ADBProgressLine{3, 4, 75}},
        {"Transferring: 5/10 (50%) (60%)", ADBProgressLine{5, 10, 60}},
        {"Transferring: 65536/262144 (25 %)", std::nullopt},
        {"Transferring: 65536/262144", std::nullopt},
        {"65536/262144 (25%)", std::nullopt},  // the counts need a blank before them
        {"", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        auto parsed = parseADBProgressLine(c.line);
        ASSERT_EQ(parsed.has_value(), c.expected.has_value());
        if (parsed) {
            EXPECT_EQ(parsed->done, c.expected->done);
            EXPECT_EQ(parsed->total, c.expected->total);
            EXPECT_EQ(parsed->percent, c.expected->percent);
        }
    }
}

TEST(ADBProgressTest, CountsAndReportsFollowTheirOwnRules)
{
    ADBProgress progress;
    std::vector<std::pair<int64_t, int64_t>> reports;
    auto report = [&] { reports.emplace_back(progress.completedUnitCount, progress.totalUnitCount); };

    // Two lines in one read are both handled.
    applyADBProgressChunk("Transferring: 10/100 (10%)\nTransferring: 20/100 (20%)\n", progress, report);
    // Percent 0 updates the counts without a report.
    applyADBProgressChunk("Transferring: 30/100 (0%)\n", progress, report);
    EXPECT_EQ(progress.completedUnitCount, 30);
    // Empty counts report with the previous counts unchanged.
    applyADBProgressChunk("Transferring: / (40%)\r", progress, report);

    const std::vector<std::pair<int64_t, int64_t>> expected = {{10, 100}, {20, 100}, {30, 100}};
    EXPECT_EQ(reports, expected);
}

TEST(ADBProgressTest, ALineSplitAcrossReadsOrNotUTF8IsNotRecognised)
{
    ADBProgress progress;
    int reports = 0;
    auto report = [&] { ++reports; };
    EXPECT_EQ(applyADBProgressChunk("Transferring: 50/1", progress, report), 0);
    EXPECT_EQ(applyADBProgressChunk("00 (50%)\n", progress, report), 0);
    EXPECT_EQ(applyADBProgressChunk("Transferring: 50/100 (50%)\xff\n", progress, report), 0);
    EXPECT_EQ(reports, 0);
    EXPECT_EQ(progress.totalUnitCount, 0);
}

}  // namespace
}  // namespace orv
