#pragma once
// A folder of videos from the phone's media library (a bucket); its record
// names one of its videos, so the folder is that video's parent folder.

#include "core/bridge/model/OVDirectoryFile.h"

namespace orv {

class OVVideoDirectory : public OVDirectoryFile {
public:
    const char* className() const override { return "OVVideoDirectory"; }

    int64_t videoDirectoryId() const;
    void setVideoDirectoryId(int64_t id);

    // True when this is the camera folder, whether or not either path ends in "/".
    bool isCameraVideoDirectory() const;

    void setValuesForKeysWithDictionary(const nlohmann::json& record) override;

protected:
    bool setPropertyForKey(const std::string& key, const nlohmann::json& value) override;

private:
    int64_t videoDirectoryId_ = 0;
};

}  // namespace orv
