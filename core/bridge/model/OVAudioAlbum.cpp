#include "core/bridge/model/OVAudioAlbum.h"

#include "core/bridge/companion/RecordValues.h"

namespace orv {

OV_LOCKED_PROPERTY(OVAudioAlbum, std::string, artist, setArtist, artist_)
OV_LOCKED_PROPERTY(OVAudioAlbum, uint64_t, year, setYear, year_)
OV_LOCKED_PROPERTY(OVAudioAlbum, OVFile::Data, thumbnail, setThumbnail, thumbnail_)
OV_LOCKED_PROPERTY(OVAudioAlbum, bool, getThumbnailError, setGetThumbnailError, getThumbnailError_)
OV_LOCKED_PROPERTY(OVAudioAlbum, int64_t, duration, setDuration, duration_)
OV_LOCKED_PROPERTY(OVAudioAlbum, uint64_t, totalTrackNumber, setTotalTrackNumber, totalTrackNumber_)

void OVAudioAlbum::setValuesForKeysWithDictionary(const nlohmann::json& record)
{
    OVAlbum::setValuesForKeysWithDictionary(record);
    if (!record.is_object())
        return;
    if (auto it = record.find("album_id"); it != record.end()) {
        if (auto id = recordUnsigned(*it))
            setAlbumId(static_cast<int64_t>(*id));
    }
    if (auto it = record.find("album"); it != record.end()) {
        if (auto name = recordString(*it))
            setName(*name);
    }
    if (auto it = record.find("album_artist"); it != record.end()) {
        if (auto artist = recordString(*it))
            setArtist(*artist);
    }
    if (auto it = record.find("year"); it != record.end()) {
        if (auto year = recordUnsigned(*it))
            setYear(*year);
    }
}

bool OVAudioAlbum::setPropertyForKey(const std::string& key, const nlohmann::json& value)
{
    static const OVKeyTable<OVAudioAlbum> table = {
        {"artist", [](OVAudioAlbum& f, const nlohmann::json& v) { if (auto s = recordString(v)) f.setArtist(*s); }},
        {"year", [](OVAudioAlbum& f, const nlohmann::json& v) { if (auto n = recordUnsigned(v)) f.setYear(*n); }},
        {"duration", [](OVAudioAlbum& f, const nlohmann::json& v) { if (auto n = recordInteger(v)) f.setDuration(*n); }},
        {"totalTrackNumber",
         [](OVAudioAlbum& f, const nlohmann::json& v) { if (auto n = recordUnsigned(v)) f.setTotalTrackNumber(*n); }},
    };
    return applyKeyTable(table, *this, key, value) || OVAlbum::setPropertyForKey(key, value);
}

}  // namespace orv
