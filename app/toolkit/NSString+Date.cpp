#include "app/toolkit/NSString+Date.h"

#include <QLocale>
#include <QRegularExpression>
#include <QTimeZone>
#include <algorithm>

namespace orv {

namespace {

QDateTime utc(const QDate& date, const QTime& time)
{
    if (!date.isValid() || !time.isValid())
        return {};
    return QDateTime(date, time, QTimeZone::utc());
}

QDate dateOf(const QString& year, const QString& month, const QString& day)
{
    return QLocale::c().toDate(year + QLatin1Char('-') + month + QLatin1Char('-') + day, QStringLiteral("yyyy-MM-dd"));
}

// "_yyyyMMdd_HHmmss": the six characters after the date are the time.
QDateTime fromCameraName(const QString& name, const QRegularExpressionMatch& match)
{
    const QString digits = match.captured(1);
    const QString year = digits.mid(0, 4), month = digits.mid(4, 2), day = digits.mid(6, 2);
    const qsizetype at = name.indexOf(digits + QLatin1Char('_'));
    const qsizetype timeStart = at + digits.size() + 1;
    if (at < 0 || timeStart + 6 > name.size())
        return {};
    const QString time = name.mid(timeStart, 6);
    if (!std::all_of(time.begin(), time.end(), [](QChar c) { return c.isDigit(); }))
        return {};
    return utc(dateOf(year, month, day), QLocale::c().toTime(time, QStringLiteral("HHmmss")));
}

// " yyyy-MM-dd " somewhere, then "hh:mm:ss AM." (or PM.) later on.
QDateTime fromScreenshotName(const QString& name, const QRegularExpressionMatch& match)
{
    const QString ymd = match.captured(1);
    for (const char* marker : {"AM.", "PM."}) {
        const qsizetype at = name.indexOf(QLatin1String(marker));
        if (at < 0)
            continue;
        if (at < 9)
            return {};
        const QString clock = name.mid(at - 9, 8);
        const QString time = clock.mid(0, 2) + QLatin1Char(':') + clock.mid(3, 2) + QLatin1Char(':') + clock.mid(6, 2) +
                             QLatin1Char(' ') + QLatin1String(marker, 2);
        // AM and PM are English words whatever the user's language.
        return utc(dateOf(ymd.mid(0, 4), ymd.mid(5, 2), ymd.mid(8, 2)),
                   QLocale::c().toTime(time, QStringLiteral("hh:mm:ss AP")));
    }
    return {};
}

}  // namespace

QDateTime findDate(const QString& name)
{
    static const QRegularExpression camera(QStringLiteral("_(\\d{8})_"), QRegularExpression::CaseInsensitiveOption);
    static const QRegularExpression screenshot(QStringLiteral("\\s(\\d{4}-\\d{2}-\\d{2})\\s"),
                                               QRegularExpression::CaseInsensitiveOption);
    if (const QRegularExpressionMatch match = camera.match(name); match.hasMatch())
        return fromCameraName(name, match);
    if (const QRegularExpressionMatch match = screenshot.match(name); match.hasMatch())
        return fromScreenshotName(name, match);
    return {};
}

}  // namespace orv
