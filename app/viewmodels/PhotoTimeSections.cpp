#include "app/viewmodels/PhotoTimeSections.h"

#include <QLocale>
#include <unordered_map>

#include "app/toolkit/NSDate+LXExtension.h"
#include "core/bridge/facade/OVLocalization.h"

namespace orv::photo_time_sections {

namespace {

QString text(const char* key) { return QString::fromStdString(localizedString(key, key)); }

// The date formats behind the four header keys; the fallbacks are used when
// the localisation table has no entry.
struct Formats {
    QLocale locale;
    QString yearMonthDay;
    QString monthDay;
    QString yearMonth;
    QString month;
};

const Formats& formats()
{
    static const Formats shared = [] {
        const QStringList languages = QLocale::system().uiLanguages();
        return Formats{languages.isEmpty() ? QLocale::system() : QLocale(languages.first()),
                       QString::fromStdString(localizedString("PhotoYearMonthDay", "d MMM yyyy")),
                       QString::fromStdString(localizedString("PhotoMonthDay", "d MMM")),
                       QString::fromStdString(localizedString("PhotoYearMonth", "MMMM yyyy")),
                       QString::fromStdString(localizedString("PhotoMonth", "MMMM"))};
    }();
    return shared;
}

// Converting a moment to a local calendar day is the costly step of
// grouping; sorted lists bring many items of one day in a row, so the last
// day's bounds are kept and reused.
class DayFinder {
public:
    QDate day(qint64 ms)
    {
        if (ms < start_ || ms >= end_) {
            day_ = QDateTime::fromMSecsSinceEpoch(ms).date();
            start_ = day_.startOfDay().toMSecsSinceEpoch();
            end_ = day_.addDays(1).startOfDay().toMSecsSinceEpoch();
        }
        return day_;
    }

private:
    qint64 start_ = 1;
    qint64 end_ = 0;
    QDate day_;
};

std::optional<qint64> createdMs(const OVViewModel& item)
{
    const auto date = item.createdDate();
    if (!date)
        return std::nullopt;
    return std::chrono::duration_cast<std::chrono::milliseconds>(date->time_since_epoch()).count();
}

QString dayText(const QDateTime& date, const QString& format, const QDateTime& now)
{
    if (isToday(date, now))
        return text("Today");
    if (isYesterday(date, now))
        return text("Yesterday");
    return formats().locale.toString(date, format);
}

}  // namespace

bool isSameDay(const QDateTime& a, const QDateTime& b)
{
    return a.isValid() && b.isValid() && a.toLocalTime().date() == b.toLocalTime().date();
}

std::vector<OVPhotoTimeGroupRef> byWeek(const std::vector<OVViewModelRef>& items, const QDateTime& now)
{
    struct Span {
        OVPhotoTimeGroupRef group;
        qint64 first = 0;
        qint64 last = 0;
        std::optional<int64_t> previousYear;  // year of the section before this one's last item
    };
    std::vector<Span> spans;
    std::unordered_map<int64_t, size_t> byKey;
    DayFinder days;
    const Span* previous = nullptr;
    for (const auto& item : items) {
        const auto ms = createdMs(*item);
        if (!ms)
            continue;
        const QDate day = days.day(*ms);
        int weekYear = 0;
        const int week = day.weekNumber(&weekYear);
        const int64_t key = int64_t(weekYear) * 100 + week;
        auto [found, isNew] = byKey.try_emplace(key, spans.size());
        if (isNew) {
            Span span;
            span.group = std::make_shared<OVPhotoTimeGroupModel>();
            span.group->hashKey = QStringLiteral("%1_%2").arg(weekYear).arg(week);
            span.group->year = day.year();
            span.first = span.last = *ms;
            // `previous` points into `spans`; keep its year before the vector grows.
            std::optional<int64_t> previousYear;
            if (previous)
                previousYear = previous->group->year;
            spans.push_back(std::move(span));
            spans.back().previousYear = previousYear;
        } else {
            Span& span = spans[found->second];
            span.first = std::min(span.first, *ms);
            span.last = std::max(span.last, *ms);
            span.previousYear = previous ? std::optional<int64_t>(previous->group->year) : std::nullopt;
        }
        Span& span = spans[found->second];
        span.group->addObject(item);
        previous = &span;
    }

    const Formats& f = formats();
    std::vector<OVPhotoTimeGroupRef> groups;
    groups.reserve(spans.size());
    for (Span& span : spans) {
        OVPhotoTimeGroupModel& group = *span.group;
        group.firstDate = QDateTime::fromMSecsSinceEpoch(span.first);
        group.lastDate = QDateTime::fromMSecsSinceEpoch(span.last);
        const bool sameYearAsPrevious = span.previousYear && *span.previousYear == group.year;
        const bool oneDay = isSameDay(group.firstDate, group.lastDate);
        if (sameYearAsPrevious) {
            group.label = oneDay ? f.locale.toString(group.firstDate, f.monthDay)
                                 : QStringLiteral("%1 ~ %2").arg(dayText(group.lastDate, f.monthDay, now),
                                                                 dayText(group.firstDate, f.monthDay, now));
        } else {
            group.label = oneDay ? f.locale.toString(group.firstDate, f.yearMonthDay)
                                 : QStringLiteral("%1 ~ %2").arg(dayText(group.lastDate, f.yearMonthDay, now),
                                                                 dayText(group.firstDate, f.monthDay, now));
        }
        groups.push_back(std::move(span.group));
    }
    return groups;
}

std::vector<OVPhotoTimeGroupRef> byMonth(const std::vector<OVViewModelRef>& items, const QDateTime& now)
{
    const Formats& f = formats();
    std::vector<OVPhotoTimeGroupRef> groups;
    std::unordered_map<int64_t, OVPhotoTimeGroupModel*> byKey;
    DayFinder days;
    for (const auto& item : items) {
        const auto ms = createdMs(*item);
        if (!ms)
            continue;
        const QDate day = days.day(*ms);
        const int64_t key = int64_t(day.year()) * 100 + day.month();
        auto [found, isNew] = byKey.try_emplace(key, nullptr);
        if (isNew) {
            auto group = std::make_shared<OVPhotoTimeGroupModel>();
            group->hashKey = QStringLiteral("%1_%2").arg(day.year()).arg(day.month());
            const QDateTime when = QDateTime::fromMSecsSinceEpoch(*ms);
            group->label = f.locale.toString(when, isThisYear(when, now) ? f.month : f.yearMonth);
            found->second = group.get();
            groups.push_back(std::move(group));
        }
        found->second->addObject(item);
    }
    return groups;
}

}  // namespace orv::photo_time_sections
