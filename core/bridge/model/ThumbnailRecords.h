#pragma once
// The thumbnail fields that pictures, videos and music albums share, reached
// through any file record; records of other classes have none.

#include "core/bridge/model/OVFile.h"

namespace orv {

// Stores the thumbnail bytes; false when the record has no thumbnail.
bool setRecordThumbnail(const OVFileRef& file, OVFile::Data thumbnail);
bool setRecordThumbnailError(const OVFileRef& file, bool failed);
OVFile::Data recordThumbnail(const OVFileRef& file);
bool recordThumbnailError(const OVFileRef& file);

}  // namespace orv
