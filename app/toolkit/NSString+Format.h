#pragma once
// Numbers and dates as the texts the windows show: byte sizes, transfer
// speeds, clock durations, remaining time, month names, ordinals; plus the
// parsing of a clock text and the file-name validity test.

#include <QDateTime>
#include <QString>
#include <cstdint>

namespace orv {

// "1 byte", "12 bytes", "3 KB", "1.5 MB", "2.25 GB", "1.125 TB" (base 1024,
// locale decimal point, unit words localised). Counts of 0 and below read in bytes.
QString formatFromByteSize(int64_t bytes);
// The same units with two decimals in each: "1.00 KB".
QString stringForFileSize(uint64_t bytes);
// "1022 Byte/s", "1.00 KB/s", ... each unit taking over at 1023 of the one below.
QString formatFromByteSpeed(int64_t bytesPerSecond);
// " 1:05", "59:59", " 1:00:00": the first field padded to two places.
QString formatFromInterval(double seconds);
QString formatAudioDuration(double seconds);
// "2 secs left", "5 mins left", "3 hours left", "2 days left".
QString formatMuteLeftFromInterval(double seconds);
// The localised month name for 1..12, else "".
QString formatMonth(int month);
// "1st", "22nd", "111th" with the English table; "<number_th> n" with any other.
QString formatOrdinalNumber(long number);
// "hh:mm:ss AM yyyy-MM-dd" (12-hour clock) in local time, without locale.
QString formatDate(const QDateTime& date);
// "h:m:s.f", "m:s.f" as seconds; any other text gives 0.
double timeFromString(const QString& text);
// False when the name holds / \ ? % * | " < or >.
bool isvalidFileNameString(const QString& name);

}  // namespace orv
