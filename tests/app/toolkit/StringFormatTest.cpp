// Size, speed, duration, ordinal and date texts, clock parsing, file-name
// checks and the dates found in file names.

#include <gtest/gtest.h>

#include <QLocale>
#include <QTimeZone>

#include "app/toolkit/NSDate+LXExtension.h"
#include "app/toolkit/NSString+Date.h"
#include "app/toolkit/NSString+Format.h"
#include "app/toolkit/ToolkitText.h"

namespace orv {
namespace {

class EnglishTexts : public ::testing::Test {
protected:
    void SetUp() override { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void TearDown() override
    {
        setLocalizedTextProvider({});
        QLocale::setDefault(QLocale::c());
    }
};

TEST_F(EnglishTexts, ByteSizesChooseTheUnitAtEachPowerOf1024)
{
    const struct {
        int64_t bytes;
        const char* text;
    } cases[] = {
        {0, "0 bytes"},
        {-5, "-5 bytes"},
        {1, "1 byte"},
        {1023, "1023 bytes"},
        {1024, "1 KB"},
        {1048575, "1024 KB"},
        {1048576, "1.0 MB"},
        {1536 * 1024, "1.5 MB"},
        {1073741823, "1024.0 MB"},  // single precision rounds the count up first
        {int64_t(5) << 30, "5.00 GB"},
        {1099511627776, "1.000 TB"},
        {int64_t(9) << 40, "9.000 TB"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(formatFromByteSize(c.bytes).toStdString(), c.text) << c.bytes;
    EXPECT_EQ(stringForFileSize(1024).toStdString(), "1.00 KB");
    EXPECT_EQ(stringForFileSize(1).toStdString(), "1 byte");
    EXPECT_EQ(stringForFileSize(1048576).toStdString(), "1.00 MB");
}

TEST_F(EnglishTexts, SizeTextsFollowTheLocaleAndTheTable)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    setLocalizedTextProvider([](const QString& key) { return key == "MB" ? QStringLiteral("Mo") : QString(); });
    EXPECT_EQ(formatFromByteSize(1536 * 1024).toStdString(), "1,5 Mo");
    EXPECT_EQ(formatFromByteSize(2).toStdString(), "2 bytes");
    // Speeds are C-formatted whatever the locale.
    EXPECT_EQ(formatFromByteSpeed(1536).toStdString(), "1.50 KB/s");
}

TEST_F(EnglishTexts, SpeedsTakeTheNextUnitAt1023)
{
    const struct {
        int64_t speed;
        const char* text;
    } cases[] = {{0, "0 Byte/s"},           {1022, "1022 Byte/s"},     {1023, "1.00 KB/s"},
                 {1047551, "1023.00 KB/s"}, {1047552, "1.00 MB/s"},    {int64_t(1023) << 20, "1.00 GB/s"},
                 {-1, "-1 Byte/s"}};
    for (const auto& c : cases)
        EXPECT_EQ(formatFromByteSpeed(c.speed).toStdString(), c.text) << c.speed;
}

TEST_F(EnglishTexts, DurationsPadTheirFirstField)
{
    const struct {
        double seconds;
        const char* text;
    } cases[] = {{0, " 0:00"},      {65, " 1:05"},       {3599, "59:59"},    {3600, " 1:00:00"},
                 {36000, "10:00:00"}, {59.9, " 0:59"}, {-3, " 0:00"},      {1e300, "596523:14:07"}};
    for (const auto& c : cases) {
        EXPECT_EQ(formatFromInterval(c.seconds).toStdString(), c.text) << c.seconds;
        EXPECT_EQ(formatAudioDuration(c.seconds), formatFromInterval(c.seconds));
    }
}

TEST_F(EnglishTexts, RemainingTimeReadsInMinutesUnderAnHour)
{
    const struct {
        double seconds;
        const char* text;
    } cases[] = {{0, "0 sec left"},      {1, "1 sec left"},       {2, "2 secs left"},      {59.9, "59 secs left"},
                 {61, "1 min left"},     {150, "2 mins left"},    {3599, "59 mins left"},  {3600, "1 hour left"},
                 {3660, "2 hours left"}, {86400, "24 hours left"}, {86460, "2 days left"}, {-10, "0 sec left"}};
    for (const auto& c : cases)
        EXPECT_EQ(formatMuteLeftFromInterval(c.seconds).toStdString(), c.text) << c.seconds;
}

TEST_F(EnglishTexts, OrdinalsAndMonths)
{
    const struct {
        long n;
        const char* text;
    } cases[] = {{1, "1st"},   {2, "2nd"},   {3, "3rd"},   {4, "4th"},   {11, "11th"},
                 {12, "12th"}, {13, "13th"}, {21, "21st"}, {22, "22nd"}, {111, "111th"}};
    for (const auto& c : cases)
        EXPECT_EQ(formatOrdinalNumber(c.n).toStdString(), c.text);
    EXPECT_EQ(formatMonth(0), "");
    EXPECT_EQ(formatMonth(13), "");
    EXPECT_EQ(formatMonth(12), "December");

    setLocalizedTextProvider([](const QString& key) {
        return key == "January" ? QStringLiteral("janvier") : key == "number_th" ? QStringLiteral("n°") : QString();
    });
    EXPECT_EQ(formatOrdinalNumber(3).toStdString(), "n° 3");
    EXPECT_EQ(formatMonth(1), "janvier");
}

TEST_F(EnglishTexts, FixedDateTextUsesTheTwelveHourClockWithoutLocale)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    const QDateTime evening(QDate(2015, 3, 4), QTime(22, 5, 9));
    EXPECT_EQ(formatDate(evening).toStdString(), "10:05:09 PM 2015-03-04");
}

TEST(ClockText, ReadsHoursMinutesAndSeconds)
{
    EXPECT_DOUBLE_EQ(timeFromString("1:02:03.5"), 3723.5);
    EXPECT_DOUBLE_EQ(timeFromString("2:30"), 150);
    EXPECT_DOUBLE_EQ(timeFromString("90"), 0);
    EXPECT_DOUBLE_EQ(timeFromString("a:b"), 0);
    EXPECT_DOUBLE_EQ(timeFromString("1:2:3:4"), 0);
}

TEST(FileNames, RejectTheNineReservedCharacters)
{
    EXPECT_TRUE(isvalidFileNameString("a:b"));
    EXPECT_TRUE(isvalidFileNameString(""));
    for (const char* bad : {"a/b", "a\\b", "a?", "50%", "*", "a|b", "say \"hi\"", "<", ">"})
        EXPECT_FALSE(isvalidFileNameString(bad)) << bad;
}

QDateTime utc(int y, int mo, int d, int h, int mi, int s)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s), QTimeZone::utc());
}

TEST(DatesInNames, CameraAndScreenshotNames)
{
    EXPECT_EQ(findDate("IMG_20150304_102030.jpg"), utc(2015, 3, 4, 10, 20, 30));
    EXPECT_EQ(findDate("VID_20150304_235959"), utc(2015, 3, 4, 23, 59, 59));
    EXPECT_EQ(findDate("Shot 2015-03-04 at 10:20:30 PM.png"), utc(2015, 3, 4, 22, 20, 30));
    EXPECT_EQ(findDate("Shot 2015-03-04 at 12:00:01 AM.png"), utc(2015, 3, 4, 0, 0, 1));
}

TEST(DatesInNames, IncompleteOrMalformedNamesGiveNoDate)
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));  // AM/PM stay English
    EXPECT_EQ(findDate("Shot 2015-03-04 at 10:20:30 PM.png"), utc(2015, 3, 4, 22, 20, 30));
    for (const char* name : {"IMG_20150304_1020ab.jpg", "IMG_20150304_10", "IMG_20150304_", "Shot 2015-03-04 x",
                             "AM. 2015-03-04 x", "Shot 2015-03-04 at 10:2x:30 AM.png",
                             "IMG_20151340_102030.jpg", "holiday.jpg", ""})
        EXPECT_FALSE(findDate(name).isValid()) << name;
    QLocale::setDefault(QLocale::c());
}

TEST(CalendarDays, YesterdayCoversTheWholePreviousDay)
{
    const QDateTime now(QDate(2016, 1, 1), QTime(0, 0, 5));
    EXPECT_TRUE(isYesterday(QDateTime(QDate(2015, 12, 31), QTime(0, 0)), now));
    EXPECT_TRUE(isYesterday(QDateTime(QDate(2015, 12, 31), QTime(23, 59, 59)), now));
    EXPECT_FALSE(isYesterday(QDateTime(QDate(2016, 1, 1), QTime(0, 0)), now));
    EXPECT_FALSE(isYesterday(QDateTime(QDate(2015, 12, 30), QTime(23, 59)), now));
    EXPECT_TRUE(isToday(QDateTime(QDate(2016, 1, 1), QTime(23, 0)), now));
    EXPECT_TRUE(isTomorrow(QDateTime(QDate(2016, 1, 2), QTime(12, 0)), now));
    EXPECT_FALSE(isToday(QDateTime(), now));
    EXPECT_TRUE(isThisYear(QDateTime(QDate(2016, 12, 31), QTime(1, 0)), now));
    EXPECT_FALSE(isThisYear(QDateTime(QDate(2015, 12, 31), QTime(23, 0)), now));
    EXPECT_EQ(dateBySubtractingDays(now, 1).date(), QDate(2015, 12, 31));
    EXPECT_EQ(dateWithDaysFromNow(31, now).date(), QDate(2016, 2, 1));
}

}  // namespace
}  // namespace orv
