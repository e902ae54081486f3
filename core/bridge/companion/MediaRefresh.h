#pragma once
// Fire-and-forget requests that keep the phone's media library in step with
// deletions and uploads, sent over the companion link of one manager.

#include <cstdint>
#include <string>
#include <vector>

namespace orv {

class OVADBManager;

// The library forgets these media ids.
void queueMediaDeletion(OVADBManager& manager, std::vector<uint64_t> mediaIds);
// The library rescans these paths (relative to the storage root).
void queueMediaRescan(OVADBManager& manager, std::vector<std::string> relativePaths);

}  // namespace orv
