#pragma once
// Arranging a list of media items into calendar sections by creation date, in
// the user's time zone: ISO weeks (Monday first) or months. Sections come in
// the order their first item appears; items keep their order inside them;
// items without a creation date join none.

#include <QDateTime>
#include <vector>

#include "app/viewmodels/OVPhotoTimeGroupModel.h"

namespace orv::photo_time_sections {

// Week headers: one date, or "newest ~ oldest"; the year shows only where the
// week follows no section or one of another year.
std::vector<OVPhotoTimeGroupRef> byWeek(const std::vector<OVViewModelRef>& items,
                                        const QDateTime& now = QDateTime::currentDateTime());
// Month headers: month and year, or the month alone in the current year.
std::vector<OVPhotoTimeGroupRef> byMonth(const std::vector<OVViewModelRef>& items,
                                         const QDateTime& now = QDateTime::currentDateTime());

// The same calendar day in the user's time zone.
bool isSameDay(const QDateTime& a, const QDateTime& b);

}  // namespace orv::photo_time_sections
