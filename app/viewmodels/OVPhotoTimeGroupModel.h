#pragma once
// One time section of a photo or video list: its items in list order, its
// header text and key, and, for week sections, the span of creation dates.

#include <QDateTime>
#include <QString>
#include <memory>
#include <vector>

#include "app/viewmodels/OVViewModel.h"

namespace orv {

class OVPhotoTimeGroupModel {
public:
    std::vector<OVViewModelRef> list;
    QString label;
    QString hashKey;
    int64_t year = 0;
    QDateTime firstDate;
    QDateTime lastDate;

    int64_t itemNumber() const { return int64_t(list.size()); }
    void addObject(OVViewModelRef item) { list.push_back(std::move(item)); }
    OVViewModelRef objectAtIndex(int64_t index) const;
    // The index of the first item equal to `item` (same path), or -1.
    int64_t indexOfObject(const OVViewModel& item) const;
    bool containsObject(const OVViewModel& item) const { return indexOfObject(item) >= 0; }
};

using OVPhotoTimeGroupRef = std::shared_ptr<OVPhotoTimeGroupModel>;

}  // namespace orv
