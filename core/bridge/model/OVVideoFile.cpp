#include "core/bridge/model/OVVideoFile.h"

#include "core/bridge/companion/RecordValues.h"

namespace orv {

OV_LOCKED_PROPERTY(OVVideoFile, uint64_t, videoId, setVideoId, videoId_)
OV_LOCKED_PROPERTY(OVVideoFile, uint64_t, duration, setDuration, duration_)

void OVVideoFile::setValuesForKeysWithDictionary(const nlohmann::json& record)
{
    OVVisualFile::setValuesForKeysWithDictionary(record);
    if (!record.is_object())
        return;
    if (auto it = record.find("_id"); it != record.end()) {
        if (auto id = recordUnsigned(*it))
            setVideoId(*id);
    }
    if (auto it = record.find("duration"); it != record.end()) {
        if (auto duration = recordUnsigned(*it))
            setDuration(*duration);
    }
}

bool OVVideoFile::setPropertyForKey(const std::string& key, const nlohmann::json& value)
{
    static const OVKeyTable<OVVideoFile> table = {
        {"videoId", [](OVVideoFile& f, const nlohmann::json& v) { if (auto n = recordUnsigned(v)) f.setVideoId(*n); }},
        {"duration", [](OVVideoFile& f, const nlohmann::json& v) { if (auto n = recordUnsigned(v)) f.setDuration(*n); }},
    };
    return applyKeyTable(table, *this, key, value) || OVVisualFile::setPropertyForKey(key, value);
}

}  // namespace orv
