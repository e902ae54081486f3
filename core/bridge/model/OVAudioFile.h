#pragma once
// A song of the phone's media library. Its album is built from the song's
// own record ("album_id" and "album"); the record's "album" text is never
// taken for anything but that album's name.

#include <memory>

#include "core/bridge/model/OVAudioAlbum.h"
#include "core/bridge/model/OVFile.h"

namespace orv {

class OVAudioFile : public OVFile {
public:
    const char* className() const override { return "OVAudioFile"; }
    uint64_t type() const override { return TypeAudio; }
    // "audio: %@ %@ by %@" (path, title, artist)
    std::string description() const override;

    uint64_t audioId() const;
    void setAudioId(uint64_t id);
    std::shared_ptr<OVAudioAlbum> album() const;
    void setAlbum(std::shared_ptr<OVAudioAlbum> album);
    std::string title() const;
    void setTitle(std::string title);
    std::string artist() const;
    void setArtist(std::string artist);
    std::string audioCodec() const;  // MIME type
    void setAudioCodec(std::string codec);
    uint64_t track() const;
    void setTrack(uint64_t track);
    uint64_t year() const;
    void setYear(uint64_t year);
    uint64_t playCount() const;
    void setPlayCount(uint64_t count);
    double duration() const;  // seconds
    void setDuration(double seconds);

    // Carried for callers; nothing in the framework fills them.
    double startOffset() const;
    void setStartOffset(double seconds);
    double sampleRate() const;
    void setSampleRate(double rate);
    double rating() const;
    void setRating(double rating);
    std::string composer() const;
    void setComposer(std::string composer);
    std::string genre() const;
    void setGenre(std::string genre);
    std::string comment() const;
    void setComment(std::string comment);
    std::string copyright() const;
    void setCopyright(std::string copyright);
    uint16_t bitRate() const;  // kbit/s
    void setBitRate(uint16_t rate);
    uint32_t totalFrames() const;
    void setTotalFrames(uint32_t frames);
    uint8_t bitsPerSample() const;
    void setBitsPerSample(uint8_t bits);
    uint8_t channels() const;
    void setChannels(uint8_t channels);

    void setValuesForKeysWithDictionary(const nlohmann::json& record) override;

protected:
    bool setPropertyForKey(const std::string& key, const nlohmann::json& value) override;

private:
    uint64_t audioId_ = 0;
    std::shared_ptr<OVAudioAlbum> album_;
    std::string title_;
    std::string artist_;
    std::string audioCodec_;
    uint64_t track_ = 0;
    uint64_t year_ = 0;
    uint64_t playCount_ = 0;
    double duration_ = 0;
    double startOffset_ = 0;
    double sampleRate_ = 0;
    double rating_ = 0;
    std::string composer_;
    std::string genre_;
    std::string comment_;
    std::string copyright_;
    uint16_t bitRate_ = 0;
    uint32_t totalFrames_ = 0;
    uint8_t bitsPerSample_ = 0;
    uint8_t channels_ = 0;
};

}  // namespace orv
