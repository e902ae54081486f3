#include "core/bridge/model/OVImageAlbum.h"

#include "core/bridge/facade/OVLocalization.h"
#include "core/bridge/companion/RecordValues.h"

namespace orv {

void OVImageAlbum::setValuesForKeysWithDictionary(const nlohmann::json& record)
{
    OVAlbum::setValuesForKeysWithDictionary(record);
    if (!record.is_object())
        return;
    if (auto it = record.find("bucket_id"); it != record.end()) {
        if (auto id = recordInteger(*it))
            setAlbumId(*id);
    }
    if (auto it = record.find("bucket_display_name"); it != record.end()) {
        if (auto name = recordString(*it))
            setName(*name == "0" ? localizedString("PhotoAlbumRootFolder", "") : *name);
    }
}

}  // namespace orv
