#include "core/bridge/model/OVVisualFile.h"

#include "core/bridge/companion/RecordValues.h"

namespace orv {

OV_LOCKED_PROPERTY(OVVisualFile, OVFile::Data, thumbnail, setThumbnail, thumbnail_)
OV_LOCKED_PROPERTY(OVVisualFile, bool, getThumbnailError, setGetThumbnailError, getThumbnailError_)
OV_LOCKED_PROPERTY(OVVisualFile, int64_t, albumId, setAlbumId, albumId_)
OV_LOCKED_PROPERTY(OVVisualFile, uint64_t, width, setWidth, width_)
OV_LOCKED_PROPERTY(OVVisualFile, uint64_t, height, setHeight, height_)
OV_LOCKED_PROPERTY(OVVisualFile, uint64_t, orientation, setOrientation, orientation_)
OV_LOCKED_PROPERTY(OVVisualFile, std::string, mime_type, setMime_type, mimeType_)

void OVVisualFile::setValuesForKeysWithDictionary(const nlohmann::json& record)
{
    OVFile::setValuesForKeysWithDictionary(record);
    if (!record.is_object())
        return;
    for (const auto& [key, value] : record.items()) {
        if (key == "bucket_id") {
            if (auto n = recordInteger(value))
                setAlbumId(*n);
        } else if (key == "width") {
            if (auto n = recordUnsigned(value))
                setWidth(*n);
        } else if (key == "height") {
            if (auto n = recordUnsigned(value))
                setHeight(*n);
        } else if (key == "orientation") {
            if (auto n = recordInteger(value))
                setOrientation(static_cast<uint64_t>(*n));
        } else if (key == "mime_type") {
            if (auto s = recordString(value))
                setMime_type(*s);
        } else if (key == "datetaken") {
            // Milliseconds; the capture time wins over the time the file was added.
            if (auto ms = recordDouble(value))
                setCreatedDate(dateFromSeconds(*ms / 1000.0));
        }
    }
}

bool OVVisualFile::setPropertyForKey(const std::string& key, const nlohmann::json& value)
{
    static const OVKeyTable<OVVisualFile> table = {
        {"albumId", [](OVVisualFile& f, const nlohmann::json& v) { if (auto n = recordInteger(v)) f.setAlbumId(*n); }},
        {"width", [](OVVisualFile& f, const nlohmann::json& v) { if (auto n = recordUnsigned(v)) f.setWidth(*n); }},
        {"height", [](OVVisualFile& f, const nlohmann::json& v) { if (auto n = recordUnsigned(v)) f.setHeight(*n); }},
        {"orientation",
         [](OVVisualFile& f, const nlohmann::json& v) { if (auto n = recordUnsigned(v)) f.setOrientation(*n); }},
        {"mime_type", [](OVVisualFile& f, const nlohmann::json& v) { if (auto s = recordString(v)) f.setMime_type(*s); }},
    };
    return applyKeyTable(table, *this, key, value) || OVFile::setPropertyForKey(key, value);
}

}  // namespace orv
