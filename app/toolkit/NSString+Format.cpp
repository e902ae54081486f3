#include "app/toolkit/NSString+Format.h"

#include <QLocale>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>

#include "app/toolkit/ToolkitText.h"

namespace orv {

namespace {

QString text(const char* key) { return localizedText(QString::fromLatin1(key)); }

QString cFormat(const char* format, auto... values)
{
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, values...);
    return QString::fromLatin1(buffer);
}

// The unit and value of a count of 1024 bytes or more; the count is taken in
// single precision, as the size texts have always been made.
struct ScaledSize {
    const char* unit;
    float value;
    int decimals;
};

ScaledSize scaled(double bytes)
{
    const float n = float(bytes);
    if (bytes < 1048576.0)
        return {"KB", n * (1.0f / 1024.0f), 0};
    if (bytes < 1073741824.0)
        return {"MB", n * (1.0f / 1048576.0f), 1};
    if (bytes < 1099511627776.0)
        return {"GB", n * (1.0f / 1073741824.0f), 2};
    return {"TB", n * (1.0f / 1099511627776.0f), 3};
}

QString unitText(const ScaledSize& size, int decimals)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return QStringLiteral("%1 %2").arg(locale.toString(double(size.value), 'f', decimals), text(size.unit));
}

// Whole seconds of an interval, kept within what the texts can show.
int64_t wholeSeconds(double seconds)
{
    if (!std::isfinite(seconds) || seconds <= 0)
        return 0;
    return int64_t(std::min(seconds, double(std::numeric_limits<int32_t>::max())));
}

}  // namespace

QString formatFromByteSize(int64_t bytes)
{
    if (bytes == 1)
        return text("1 byte");
    if (bytes <= 1023)
        return QStringLiteral("%1 %2").arg(qlonglong(bytes)).arg(text("bytes"));
    const ScaledSize size = scaled(double(bytes));
    return unitText(size, size.decimals);
}

QString stringForFileSize(uint64_t bytes)
{
    if (bytes == 1)
        return text("1 byte");
    if (bytes <= 1023)
        return QStringLiteral("%1 %2").arg(qulonglong(bytes)).arg(text("bytes"));
    return unitText(scaled(double(bytes)), 2);
}

QString formatFromByteSpeed(int64_t bytesPerSecond)
{
    if (bytesPerSecond <= 1022)
        return cFormat("%lld Byte/s", static_cast<long long>(bytesPerSecond));
    const float k = float(bytesPerSecond) * (1.0f / 1024.0f);
    if (k < 1023.0f)
        return cFormat("%.2f KB/s", double(k));
    const float m = k / 1024.0f;
    if (m < 1023.0f)
        return cFormat("%.2f MB/s", double(m));
    return cFormat("%.2f GB/s", double(m / 1024.0f));
}

QString formatFromInterval(double seconds)
{
    const auto s = static_cast<unsigned long>(wholeSeconds(seconds));
    if (s >= 3600)
        return cFormat("%2lu:%02lu:%02lu", s / 3600, s / 60 % 60, s % 60);
    return cFormat("%2lu:%02lu", s / 60, s % 60);
}

QString formatAudioDuration(double seconds) { return formatFromInterval(seconds); }

QString formatMuteLeftFromInterval(double seconds)
{
    const auto s = static_cast<unsigned long>(wholeSeconds(seconds));
    const unsigned long minutes = s / 60;
    if (minutes == 0)
        return QStringLiteral("%1 %2").arg(s % 60).arg(text(s % 60 < 2 ? "sec left" : "secs left"));
    // Under an hour the minutes are told; rounding them up to an hour would
    // make a one-minute wait read "1 hour left".
    if (minutes < 60)
        return QStringLiteral("%1 %2").arg(minutes).arg(text(minutes < 2 ? "min left" : "mins left"));
    const unsigned long hours = (minutes + 59) / 60;
    if (hours >= 25) {
        const unsigned long days = (hours + 23) / 24;
        return QStringLiteral("%1 %2").arg(days).arg(text(days < 2 ? "day left" : "days left"));
    }
    return QStringLiteral("%1 %2").arg(hours).arg(text(hours < 2 ? "hour left" : "hours left"));
}

QString formatMonth(int month)
{
    static const char* const names[] = {"January", "February", "March",     "April",   "May",      "June",
                                        "July",    "August",   "September", "October", "November", "December"};
    if (month < 1 || month > 12)
        return QString();
    return text(names[month - 1]);
}

QString formatOrdinalNumber(long number)
{
    if (text("January") != QLatin1String("January"))
        return QStringLiteral("%1 %2").arg(text("number_th")).arg(static_cast<unsigned long>(number));
    const QString digits = QString::number(number);
    const char* suffix = "th";
    if (digits.endsWith(QLatin1String("11")) || digits.endsWith(QLatin1String("12")) ||
        digits.endsWith(QLatin1String("13")))
        suffix = "th";
    else if (digits.endsWith(QLatin1Char('1')))
        suffix = "st";
    else if (digits.endsWith(QLatin1Char('2')))
        suffix = "nd";
    else if (digits.endsWith(QLatin1Char('3')))
        suffix = "rd";
    return digits + QLatin1String(suffix);
}

QString formatDate(const QDateTime& date)
{
    return QLocale::c().toString(date.toLocalTime(), QStringLiteral("hh:mm:ss AP yyyy-MM-dd"));
}

double timeFromString(const QString& clock)
{
    const QByteArray bytes = clock.toUtf8();
    int hours = 0;
    int minutes = 0;
    float seconds = 0;
    switch (bytes.count(':')) {
    case 2:
        std::sscanf(bytes.constData(), "%6d:%6d:%f", &hours, &minutes, &seconds);
        break;
    case 1:
        std::sscanf(bytes.constData(), "%6d:%f", &minutes, &seconds);
        break;
    default:
        break;
    }
    return double(float(hours * 3600 + minutes * 60) + seconds);
}

bool isvalidFileNameString(const QString& name)
{
    static const QString forbidden = QStringLiteral("/\\?%*|\"<>");
    return std::none_of(name.begin(), name.end(), [](QChar c) { return forbidden.contains(c); });
}

}  // namespace orv
