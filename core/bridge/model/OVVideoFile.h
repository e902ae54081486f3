#pragma once
// A video of the phone, with its media-library id and its duration exactly as
// the record gives it.

#include "core/bridge/model/OVVisualFile.h"

namespace orv {

class OVVideoFile : public OVVisualFile {
public:
    const char* className() const override { return "OVVideoFile"; }
    uint64_t type() const override { return TypeVideo; }

    uint64_t videoId() const;
    void setVideoId(uint64_t id);
    uint64_t imageId() const { return 0; }
    uint64_t duration() const;
    void setDuration(uint64_t duration);

    void setValuesForKeysWithDictionary(const nlohmann::json& record) override;

protected:
    bool setPropertyForKey(const std::string& key, const nlohmann::json& value) override;

private:
    uint64_t videoId_ = 0;
    uint64_t duration_ = 0;
};

}  // namespace orv
