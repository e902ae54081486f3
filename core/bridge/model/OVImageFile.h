#pragma once
// A picture of the phone, with its media-library id.

#include "core/bridge/model/OVVisualFile.h"

namespace orv {

class OVImageFile : public OVVisualFile {
public:
    const char* className() const override { return "OVImageFile"; }
    uint64_t type() const override { return TypeImage; }
    // "OVImageFile id:%lu size:%lux%lu type:%@ path:%@"
    std::string description() const override;

    uint64_t imageId() const;
    void setImageId(uint64_t id);
    uint64_t videoId() const { return 0; }

    void setValuesForKeysWithDictionary(const nlohmann::json& record) override;

protected:
    bool setPropertyForKey(const std::string& key, const nlohmann::json& value) override;

private:
    uint64_t imageId_ = 0;
};

}  // namespace orv
