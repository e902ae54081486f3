#include "core/bridge/companion/OVADBForwardMediaFetchOperation.h"

#include <unordered_map>

#include "core/bridge/facade/ADBError.h"
#include "core/bridge/companion/BoundedJson.h"
#include "core/bridge/companion/Gzip.h"
#include "core/bridge/model/OVAudioAlbum.h"
#include "core/bridge/model/OVAudioFile.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/model/OVImageAlbum.h"
#include "core/bridge/model/OVImageFile.h"
#include "core/bridge/model/OVVideoDirectory.h"
#include "core/bridge/model/OVVideoFile.h"
#include "core/bridge/companion/RecordValues.h"

namespace orv {

namespace {

using Json = nlohmann::json;

Error undecodable()
{
    return adb_errorWithMessage("无法解析");
}

const Json* arrayAt(const Json& object, const char* key)
{
    if (!object.is_object())
        return nullptr;
    auto it = object.find(key);
    return it != object.end() && it->is_array() ? &*it : nullptr;
}

template <class T>
std::shared_ptr<T> recordOf(const Json& record)
{
    auto file = std::make_shared<T>();
    file->setValuesForKeysWithDictionary(record);
    return file;
}

// One "item_with_group" entry: its group id and its list, which the phone
// may send as an array or as JSON text holding one.
struct GroupList {
    std::optional<int64_t> id;
    Json parsed;                   // the list when the phone sent it as text
    const Json* inReply = nullptr;  // the list when the phone sent an array
    const Json* list() const { return inReply ? inReply : parsed.is_discarded() ? nullptr : &parsed; }
};

std::optional<GroupList> groupList(const Json& entry, std::optional<Error>& error)
{
    if (!entry.is_object())
        return std::nullopt;
    GroupList group;
    if (auto it = entry.find("id"); it != entry.end())
        group.id = recordInteger(*it);
    if (auto it = entry.find("list"); it != entry.end()) {
        if (it->is_string()) {
            group.parsed = parseBoundedJson(it->get_ref<const std::string&>());
            if (group.parsed.is_discarded())
                error = undecodable();
        } else {
            group.inReply = &*it;
        }
    }
    return group;
}

// Hands each indexed group its records from "item_with_group", built as
// `Record`; entries naming no known group are passed over.
template <class Record, class Group, class Adopt>
void fillGroups(const Json& reply, const std::unordered_map<int64_t, std::shared_ptr<Group>>& index,
                std::optional<Error>& error, Adopt adopt)
{
    const Json* entries = arrayAt(reply, "item_with_group");
    if (!entries)
        return;
    for (const Json& entry : *entries) {
        auto group = groupList(entry, error);
        const Json* list = group ? group->list() : nullptr;
        if (!group || !group->id || !list || !list->is_array())
            continue;
        auto it = index.find(*group->id);
        if (it == index.end())
            continue;
        std::vector<OVFileRef> children;
        children.reserve(list->size());
        for (const Json& record : *list)
            children.push_back(recordOf<Record>(record));
        adopt(*it->second, std::move(children));
    }
}

}  // namespace

OVADBForwardMediaFetchOperation::OVADBForwardMediaFetchOperation(Passkey, int8_t requestType, FinishBlock callback)
    : OVADBForwardOperation(Timeouts{6, 12, 6}), requestType_(requestType), finishBlock_(std::move(callback))
{
    setName("OVADBForwardMediaFetchOperation");
}

std::shared_ptr<OVADBForwardMediaFetchOperation> OVADBForwardMediaFetchOperation::initWithrequestType(
    int8_t requestType, FinishBlock callback)
{
    return std::make_shared<OVADBForwardMediaFetchOperation>(Passkey{}, requestType, std::move(callback));
}

OVADBForwardMediaFetchOperation::FinishBlock OVADBForwardMediaFetchOperation::finishBlock() const
{
    return finishBlock_;
}

ForwardBytes OVADBForwardMediaFetchOperation::requestData(int8_t requestType)
{
    return forwardFrame(CMD_New_Fetch, static_cast<uint8_t>(requestType));
}

void OVADBForwardMediaFetchOperation::sendRequest()
{
    writeRequest(requestData(requestType_));
}

std::optional<Json> OVADBForwardMediaFetchOperation::convertResponseToDictionary(const ForwardBytes& body,
                                                                               std::optional<Error>& error)
{
    error.reset();
    if (body.size() > kFrameHeaderLength) {
        auto inflated = gzipInflate(body.data() + kFrameHeaderLength, body.size() - kFrameHeaderLength);
        if (inflated && !inflated->empty()) {
            auto reply = parseBoundedJson(inflated->data(), inflated->size());
            if (!reply.is_discarded())
                return reply;
        }
    }
    error = undecodable();
    return std::nullopt;
}

OVMediaLibrary OVADBForwardMediaFetchOperation::parsePhotoData(const Json& reply)
{
    const std::string cameraPath = OVDeviceClient::cameraDir()->path();
    std::vector<OVFileRef> albums;
    std::vector<OVFileRef> photos;
    std::vector<OVFileRef> camera;

    // One pass with an id index; each album's children are set once at the end.
    std::unordered_map<int64_t, std::shared_ptr<OVImageAlbum>> albumIndex;
    std::unordered_map<int64_t, std::vector<OVFileRef>> albumChildren;
    if (const Json* groups = arrayAt(reply, "all_group")) {
        albums.reserve(groups->size());
        for (const Json& record : *groups) {
            auto album = recordOf<OVImageAlbum>(record);
            albumIndex.emplace(album->albumId(), album);
            albums.push_back(std::move(album));
        }
    }
    if (const Json* items = arrayAt(reply, "all_item")) {
        photos.reserve(items->size());
        for (const Json& record : *items) {
            auto photo = recordOf<OVImageFile>(record);
            if (photo->path().starts_with(cameraPath))
                camera.push_back(photo);
            if (albumIndex.count(photo->albumId()))
                albumChildren[photo->albumId()].push_back(photo);
            photos.push_back(std::move(photo));
        }
    }
    for (auto& [id, children] : albumChildren) {
        auto album = albumIndex[id];
        auto existing = album->children().value_or(std::vector<OVFileRef>());
        existing.insert(existing.end(), children.begin(), children.end());
        album->setChildren(std::move(existing));
    }
    return {{"albums", std::move(albums)}, {"photos", std::move(photos)}, {"camera", std::move(camera)}};
}

OVMediaLibrary OVADBForwardMediaFetchOperation::parseAudioData(const Json& reply, std::optional<Error>& error)
{
    std::vector<OVFileRef> songs;
    std::vector<OVFileRef> albums;
    std::unordered_map<int64_t, std::shared_ptr<OVAudioAlbum>> albumIndex;

    if (const Json* items = arrayAt(reply, "all_item")) {
        songs.reserve(items->size());
        for (const Json& record : *items)
            songs.push_back(recordOf<OVAudioFile>(record));
    }
    if (const Json* groups = arrayAt(reply, "all_group")) {
        for (const Json& record : *groups) {
            auto album = recordOf<OVAudioAlbum>(record);
            albumIndex.emplace(album->albumId(), album);
            albums.push_back(std::move(album));
        }
    }
    fillGroups<OVAudioFile>(reply, albumIndex, error, [](OVAudioAlbum& album, std::vector<OVFileRef> children) {
        album.setChildren(std::move(children));
    });
    return {{"songs", std::move(songs)}, {"albums", std::move(albums)}};
}

OVMediaLibrary OVADBForwardMediaFetchOperation::parseVideoData(const Json& reply, std::optional<Error>& error)
{
    std::vector<OVFileRef> otherDirs;
    std::vector<OVFileRef> videos;
    std::unordered_map<int64_t, std::shared_ptr<OVVideoDirectory>> folderIndex;

    if (const Json* groups = arrayAt(reply, "all_group")) {
        for (const Json& record : *groups) {
            auto folder = recordOf<OVVideoDirectory>(record);
            if (!folder->isCameraVideoDirectory())
                otherDirs.push_back(folder);
            folderIndex.emplace(folder->videoDirectoryId(), std::move(folder));
        }
    }
    fillGroups<OVVideoFile>(reply, folderIndex, error,
                            [&videos](OVVideoDirectory& folder, std::vector<OVFileRef> children) {
                                if (folder.isCameraVideoDirectory())
                                    videos = children;
                                folder.setChildren(std::move(children));
                            });
    return {{"otherDirs", std::move(otherDirs)}, {"videos", std::move(videos)}};
}

std::optional<OVMediaLibrary> OVADBForwardMediaFetchOperation::libraryFromResponseBody(int8_t requestType,
                                                                                       const ForwardBytes& body,
                                                                                       std::optional<Error>& error)
{
    error.reset();
    if (requestType < Photo || requestType > Video) {
        error = adb_errorWithCode(ADBErrorInvalidArgument);
        return std::nullopt;
    }
    auto reply = convertResponseToDictionary(body, error);
    if (!reply)
        return std::nullopt;
    switch (requestType) {
    case Photo:
        return parsePhotoData(*reply);
    case Audio:
        return parseAudioData(*reply, error);
    default:
        return parseVideoData(*reply, error);
    }
}

void OVADBForwardMediaFetchOperation::parseResponseBody(const ForwardBytes& body)
{
    std::optional<Error> error;
    auto library = libraryFromResponseBody(requestType_, body, error);
    if (finishBlock_)
        finishBlock_(std::move(library), std::move(error));
}

void OVADBForwardMediaFetchOperation::finishWithError(const Error& error)
{
    if (finishBlock_)
        finishBlock_(std::nullopt, error);
}

}  // namespace orv
