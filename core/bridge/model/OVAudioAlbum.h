#pragma once
// A music album: its artist and year from the songs' records, and the cover
// bytes once a thumbnail request filled them (written on the socket queue,
// read by the interface: both under the record's lock).

#include "core/bridge/model/OVAlbum.h"

namespace orv {

class OVAudioAlbum : public OVAlbum {
public:
    const char* className() const override { return "OVAudioAlbum"; }

    std::string artist() const;
    void setArtist(std::string artist);
    uint64_t year() const;
    void setYear(uint64_t year);
    Data thumbnail() const;
    void setThumbnail(Data thumbnail);
    bool getThumbnailError() const;
    void setGetThumbnailError(bool failed);
    int64_t duration() const;
    void setDuration(int64_t duration);
    uint64_t totalTrackNumber() const;
    void setTotalTrackNumber(uint64_t count);

    void setValuesForKeysWithDictionary(const nlohmann::json& record) override;

protected:
    bool setPropertyForKey(const std::string& key, const nlohmann::json& value) override;

private:
    std::string artist_;
    uint64_t year_ = 0;
    Data thumbnail_;
    bool getThumbnailError_ = false;
    int64_t duration_ = 0;
    uint64_t totalTrackNumber_ = 0;
};

}  // namespace orv
