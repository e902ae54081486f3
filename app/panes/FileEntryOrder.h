#pragma once
// The orders the file browser shows a folder in. The listing order puts
// folders first (by name, case-sensitive), then files by extension ignoring
// case and by name. The list view's column sorts re-order the top level only.

#include <QString>
#include <vector>

#include "app/viewmodels/OVViewModel.h"
#include "core/bridge/model/OVFile.h"

namespace orv::file_entry_order {

// True when `a` comes before `b` in a listing.
bool listingLess(const OVFile& a, const OVFile& b);
void sortListing(std::vector<OVFileRef>& files);

// Sorts by a list column ("filename", "filesize", "lastmodifieddate"); any
// other identifier leaves the order. Descending reverses the whole result.
void sortByColumn(std::vector<OVViewModelRef>& models, const QString& column, bool descending);

}  // namespace orv::file_entry_order
