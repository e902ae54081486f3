#pragma once
// An album of the phone's media library: shown as a folder of its children.
// Its record names one of its members, so the album's path is that member's
// folder.

#include "core/bridge/model/OVFile.h"

namespace orv {

class OVAlbum : public OVFile {
public:
    const char* className() const override { return "OVAlbum"; }
    bool isDirectory() const override { return true; }

    int64_t albumId() const;
    void setAlbumId(int64_t id);

    void setValuesForKeysWithDictionary(const nlohmann::json& record) override;

protected:
    bool setPropertyForKey(const std::string& key, const nlohmann::json& value) override;

private:
    int64_t albumId_ = 0;
};

}  // namespace orv
