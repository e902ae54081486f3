#pragma once
// A photo album (a bucket of the media library). The bucket of pictures
// stored at the storage root is named "0" by the phone and shown under the
// application's "PhotoAlbumRootFolder" text.

#include "core/bridge/model/OVAlbum.h"

namespace orv {

class OVImageAlbum : public OVAlbum {
public:
    const char* className() const override { return "OVImageAlbum"; }
    void setValuesForKeysWithDictionary(const nlohmann::json& record) override;
};

}  // namespace orv
