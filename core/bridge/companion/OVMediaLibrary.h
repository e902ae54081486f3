#pragma once
// A media library as a library fetch hands it over: lists of file records
// under fixed keys ("albums", "photos", "camera" for photos; "songs",
// "albums" for music; "otherDirs", "videos" for videos), each in the order
// the phone sent them.

#include <map>
#include <string>
#include <vector>

#include "core/bridge/model/OVFile.h"

namespace orv {

using OVMediaLibrary = std::map<std::string, std::vector<OVFileRef>>;

}  // namespace orv
