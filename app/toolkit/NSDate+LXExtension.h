#pragma once
// Calendar-day arithmetic and the today / yesterday / this-year questions,
// judged in the user's time zone. `now` is a parameter so callers and tests
// can fix the moment they judge against.

#include <QDateTime>

namespace orv {

QDateTime dateByAddingDays(const QDateTime& date, int days);
QDateTime dateBySubtractingDays(const QDateTime& date, int days);
QDateTime dateWithDaysFromNow(int days, const QDateTime& now = QDateTime::currentDateTime());
QDateTime dateWithDaysBeforeNow(int days, const QDateTime& now = QDateTime::currentDateTime());
QDateTime dateTomorrow(const QDateTime& now = QDateTime::currentDateTime());
QDateTime dateYesterday(const QDateTime& now = QDateTime::currentDateTime());

// Same year, month and day in local time; false when either is invalid.
bool isEqualToDateIgnoringTime(const QDateTime& date, const QDateTime& other);
bool isToday(const QDateTime& date, const QDateTime& now = QDateTime::currentDateTime());
bool isTomorrow(const QDateTime& date, const QDateTime& now = QDateTime::currentDateTime());
bool isYesterday(const QDateTime& date, const QDateTime& now = QDateTime::currentDateTime());
bool isThisYear(const QDateTime& date, const QDateTime& now = QDateTime::currentDateTime());

}  // namespace orv
