#include "core/bridge/model/OVAlbum.h"

#include "core/bridge/adb/PhonePath.h"
#include "core/bridge/companion/RecordValues.h"

namespace orv {

OV_LOCKED_PROPERTY(OVAlbum, int64_t, albumId, setAlbumId, albumId_)

void OVAlbum::setValuesForKeysWithDictionary(const nlohmann::json& record)
{
    OVFile::setValuesForKeysWithDictionary(record);
    if (!record.is_object())
        return;
    if (auto it = record.find("_data"); it != record.end()) {
        if (auto data = recordString(*it))
            setPath(deletingLastPathComponent(pathFromMediaLibraryPath(*data)));
    }
}

bool OVAlbum::setPropertyForKey(const std::string& key, const nlohmann::json& value)
{
    static const OVKeyTable<OVAlbum> table = {
        {"albumId", [](OVAlbum& f, const nlohmann::json& v) { if (auto n = recordInteger(v)) f.setAlbumId(*n); }},
    };
    return applyKeyTable(table, *this, key, value) || OVFile::setPropertyForKey(key, value);
}

}  // namespace orv
