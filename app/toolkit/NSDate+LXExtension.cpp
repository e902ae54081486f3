#include "app/toolkit/NSDate+LXExtension.h"

namespace orv {

QDateTime dateByAddingDays(const QDateTime& date, int days) { return date.toLocalTime().addDays(days); }
QDateTime dateBySubtractingDays(const QDateTime& date, int days) { return dateByAddingDays(date, -days); }
QDateTime dateWithDaysFromNow(int days, const QDateTime& now) { return dateByAddingDays(now, days); }
QDateTime dateWithDaysBeforeNow(int days, const QDateTime& now) { return dateBySubtractingDays(now, days); }
QDateTime dateTomorrow(const QDateTime& now) { return dateByAddingDays(now, 1); }
QDateTime dateYesterday(const QDateTime& now) { return dateBySubtractingDays(now, 1); }

bool isEqualToDateIgnoringTime(const QDateTime& date, const QDateTime& other)
{
    return date.isValid() && other.isValid() && date.toLocalTime().date() == other.toLocalTime().date();
}

bool isToday(const QDateTime& date, const QDateTime& now) { return isEqualToDateIgnoringTime(date, now); }
bool isTomorrow(const QDateTime& date, const QDateTime& now) { return isEqualToDateIgnoringTime(date, dateTomorrow(now)); }
bool isYesterday(const QDateTime& date, const QDateTime& now)
{
    return isEqualToDateIgnoringTime(date, dateYesterday(now));
}

bool isThisYear(const QDateTime& date, const QDateTime& now)
{
    return date.isValid() && date.toLocalTime().date().year() == now.toLocalTime().date().year();
}

}  // namespace orv
