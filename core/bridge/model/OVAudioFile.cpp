#include "core/bridge/model/OVAudioFile.h"

#include "core/bridge/companion/RecordValues.h"

namespace orv {

OV_LOCKED_PROPERTY(OVAudioFile, uint64_t, audioId, setAudioId, audioId_)
OV_LOCKED_PROPERTY(OVAudioFile, std::shared_ptr<OVAudioAlbum>, album, setAlbum, album_)
OV_LOCKED_PROPERTY(OVAudioFile, std::string, title, setTitle, title_)
OV_LOCKED_PROPERTY(OVAudioFile, std::string, artist, setArtist, artist_)
OV_LOCKED_PROPERTY(OVAudioFile, std::string, audioCodec, setAudioCodec, audioCodec_)
OV_LOCKED_PROPERTY(OVAudioFile, uint64_t, track, setTrack, track_)
OV_LOCKED_PROPERTY(OVAudioFile, uint64_t, year, setYear, year_)
OV_LOCKED_PROPERTY(OVAudioFile, uint64_t, playCount, setPlayCount, playCount_)
OV_LOCKED_PROPERTY(OVAudioFile, double, duration, setDuration, duration_)
OV_LOCKED_PROPERTY(OVAudioFile, double, startOffset, setStartOffset, startOffset_)
OV_LOCKED_PROPERTY(OVAudioFile, double, sampleRate, setSampleRate, sampleRate_)
OV_LOCKED_PROPERTY(OVAudioFile, double, rating, setRating, rating_)
OV_LOCKED_PROPERTY(OVAudioFile, std::string, composer, setComposer, composer_)
OV_LOCKED_PROPERTY(OVAudioFile, std::string, genre, setGenre, genre_)
OV_LOCKED_PROPERTY(OVAudioFile, std::string, comment, setComment, comment_)
OV_LOCKED_PROPERTY(OVAudioFile, std::string, copyright, setCopyright, copyright_)
OV_LOCKED_PROPERTY(OVAudioFile, uint16_t, bitRate, setBitRate, bitRate_)
OV_LOCKED_PROPERTY(OVAudioFile, uint32_t, totalFrames, setTotalFrames, totalFrames_)
OV_LOCKED_PROPERTY(OVAudioFile, uint8_t, bitsPerSample, setBitsPerSample, bitsPerSample_)
OV_LOCKED_PROPERTY(OVAudioFile, uint8_t, channels, setChannels, channels_)

std::string OVAudioFile::description() const
{
    return "audio: " + path() + " " + title() + " by " + artist();
}

void OVAudioFile::setValuesForKeysWithDictionary(const nlohmann::json& record)
{
    OVFile::setValuesForKeysWithDictionary(record);
    if (!record.is_object())
        return;
    auto field = [&record](const char* key) -> const nlohmann::json* {
        auto it = record.find(key);
        return it == record.end() ? nullptr : &*it;
    };
    if (auto v = field("_id"))
        if (auto n = recordUnsigned(*v))
            setAudioId(*n);
    if (auto v = field("title"))
        if (auto s = recordString(*v))
            setTitle(*s);
    if (auto v = field("duration"))  // milliseconds
        if (auto ms = recordDouble(*v))
            setDuration(*ms / 1000.0);
    if (auto v = field("year"))
        if (auto n = recordUnsigned(*v))
            setYear(*n);
    if (auto v = field("artist"))
        if (auto s = recordString(*v))
            setArtist(*s);
    if (artist().empty()) {
        if (auto v = field("album_artist"))
            if (auto s = recordString(*v))
                setArtist(*s);
    }
    if (auto v = field("track"))
        if (auto n = recordUnsigned(*v))
            setTrack(*n);
    if (auto v = field("mime_type"))
        if (auto s = recordString(*v))
            setAudioCodec(*s);
    if (auto v = field("album_id")) {
        auto album = std::make_shared<OVAudioAlbum>();
        album->setAlbumId(recordInteger(*v).value_or(0));
        if (auto name = field("album"))
            album->setName(recordString(*name).value_or(""));
        setAlbum(std::move(album));
    }
}

bool OVAudioFile::setPropertyForKey(const std::string& key, const nlohmann::json& value)
{
    using J = nlohmann::json;
    static const OVKeyTable<OVAudioFile> table = {
        {"audioId", [](OVAudioFile& f, const J& v) { if (auto n = recordUnsigned(v)) f.setAudioId(*n); }},
        {"title", [](OVAudioFile& f, const J& v) { if (auto s = recordString(v)) f.setTitle(*s); }},
        {"artist", [](OVAudioFile& f, const J& v) { if (auto s = recordString(v)) f.setArtist(*s); }},
        {"audioCodec", [](OVAudioFile& f, const J& v) { if (auto s = recordString(v)) f.setAudioCodec(*s); }},
        {"track", [](OVAudioFile& f, const J& v) { if (auto n = recordUnsigned(v)) f.setTrack(*n); }},
        {"year", [](OVAudioFile& f, const J& v) { if (auto n = recordUnsigned(v)) f.setYear(*n); }},
        {"playCount", [](OVAudioFile& f, const J& v) { if (auto n = recordUnsigned(v)) f.setPlayCount(*n); }},
        {"duration", [](OVAudioFile& f, const J& v) { if (auto d = recordDouble(v)) f.setDuration(*d); }},
        {"startOffset", [](OVAudioFile& f, const J& v) { if (auto d = recordDouble(v)) f.setStartOffset(*d); }},
        {"sampleRate", [](OVAudioFile& f, const J& v) { if (auto d = recordDouble(v)) f.setSampleRate(*d); }},
        {"rating", [](OVAudioFile& f, const J& v) { if (auto d = recordDouble(v)) f.setRating(*d); }},
        {"composer", [](OVAudioFile& f, const J& v) { if (auto s = recordString(v)) f.setComposer(*s); }},
        {"genre", [](OVAudioFile& f, const J& v) { if (auto s = recordString(v)) f.setGenre(*s); }},
        {"comment", [](OVAudioFile& f, const J& v) { if (auto s = recordString(v)) f.setComment(*s); }},
        {"copyright", [](OVAudioFile& f, const J& v) { if (auto s = recordString(v)) f.setCopyright(*s); }},
        {"bitRate",
         [](OVAudioFile& f, const J& v) { if (auto n = recordUnsigned(v)) f.setBitRate(static_cast<uint16_t>(*n)); }},
        {"totalFrames",
         [](OVAudioFile& f, const J& v) { if (auto n = recordUnsigned(v)) f.setTotalFrames(static_cast<uint32_t>(*n)); }},
        {"bitsPerSample",
         [](OVAudioFile& f, const J& v) { if (auto n = recordUnsigned(v)) f.setBitsPerSample(static_cast<uint8_t>(*n)); }},
        {"channels",
         [](OVAudioFile& f, const J& v) { if (auto n = recordUnsigned(v)) f.setChannels(static_cast<uint8_t>(*n)); }},
    };
    return applyKeyTable(table, *this, key, value) || OVFile::setPropertyForKey(key, value);
}

}  // namespace orv
