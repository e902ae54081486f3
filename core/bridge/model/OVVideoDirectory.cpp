#include "core/bridge/model/OVVideoDirectory.h"

#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/adb/PhonePath.h"
#include "core/bridge/companion/RecordValues.h"

namespace orv {

OV_LOCKED_PROPERTY(OVVideoDirectory, int64_t, videoDirectoryId, setVideoDirectoryId, videoDirectoryId_)

bool OVVideoDirectory::isCameraVideoDirectory() const
{
    const std::string own = path();
    const std::string camera = OVDeviceClient::cameraDir()->path();
    return deletingLastPathComponent(own) == deletingLastPathComponent(camera) &&
           lastPathComponent(own) == lastPathComponent(camera);
}

void OVVideoDirectory::setValuesForKeysWithDictionary(const nlohmann::json& record)
{
    OVDirectoryFile::setValuesForKeysWithDictionary(record);
    if (!record.is_object())
        return;
    setPath(deletingLastPathComponent(path()));
    std::string name;
    if (auto it = record.find("bucket_display_name"); it != record.end())
        name = recordString(*it).value_or("");
    setName(name);
    int64_t id = 0;
    if (auto it = record.find("bucket_id"); it != record.end())
        id = recordInteger(*it).value_or(0);
    setVideoDirectoryId(id);
}

bool OVVideoDirectory::setPropertyForKey(const std::string& key, const nlohmann::json& value)
{
    static const OVKeyTable<OVVideoDirectory> table = {
        {"videoDirectoryId",
         [](OVVideoDirectory& f, const nlohmann::json& v) { if (auto n = recordInteger(v)) f.setVideoDirectoryId(*n); }},
    };
    return applyKeyTable(table, *this, key, value) || OVDirectoryFile::setPropertyForKey(key, value);
}

}  // namespace orv
