#pragma once
// A picture or video of the phone: pixel size, orientation, album and the
// thumbnail bytes once a thumbnail request filled them (written on the socket
// queue, read by the interface: both under the record's lock).

#include "core/bridge/model/OVFile.h"

namespace orv {

class OVVisualFile : public OVFile {
public:
    const char* className() const override { return "OVVisualFile"; }

    Data thumbnail() const;
    void setThumbnail(Data thumbnail);
    bool getThumbnailError() const;
    void setGetThumbnailError(bool failed);
    int64_t albumId() const;
    void setAlbumId(int64_t id);
    uint64_t width() const;
    void setWidth(uint64_t width);
    uint64_t height() const;
    void setHeight(uint64_t height);
    uint64_t orientation() const;
    void setOrientation(uint64_t orientation);
    std::string mime_type() const;
    void setMime_type(std::string type);

    void setValuesForKeysWithDictionary(const nlohmann::json& record) override;

protected:
    bool setPropertyForKey(const std::string& key, const nlohmann::json& value) override;

private:
    Data thumbnail_;
    bool getThumbnailError_ = false;
    int64_t albumId_ = 0;
    uint64_t width_ = 0;
    uint64_t height_ = 0;
    uint64_t orientation_ = 0;
    std::string mimeType_;
};

}  // namespace orv
