#include "core/bridge/model/OVImageFile.h"

#include "core/bridge/companion/RecordValues.h"

namespace orv {

OV_LOCKED_PROPERTY(OVImageFile, uint64_t, imageId, setImageId, imageId_)

std::string OVImageFile::description() const
{
    return "OVImageFile id:" + std::to_string(imageId()) + " size:" + std::to_string(width()) + "x" +
           std::to_string(height()) + " type:" + mime_type() + " path:" + path();
}

void OVImageFile::setValuesForKeysWithDictionary(const nlohmann::json& record)
{
    OVVisualFile::setValuesForKeysWithDictionary(record);
    if (!record.is_object())
        return;
    if (auto it = record.find("_id"); it != record.end()) {
        if (auto id = recordUnsigned(*it))
            setImageId(*id);
    }
}

bool OVImageFile::setPropertyForKey(const std::string& key, const nlohmann::json& value)
{
    static const OVKeyTable<OVImageFile> table = {
        {"imageId", [](OVImageFile& f, const nlohmann::json& v) { if (auto n = recordUnsigned(v)) f.setImageId(*n); }},
    };
    return applyKeyTable(table, *this, key, value) || OVVisualFile::setPropertyForKey(key, value);
}

}  // namespace orv
