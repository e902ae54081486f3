// What the bridge makes of the companion service's replies: gzip, library
// builders and thumbnail lists, without a connection.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "core/bridge/facade/ADBError.h"
#include "core/bridge/companion/BoundedJson.h"
#include "core/bridge/companion/Gzip.h"
#include "core/bridge/companion/OVADBForwardDeviceInfoOperation.h"
#include "core/bridge/companion/OVADBForwardKeepAliveOperation.h"
#include "core/bridge/companion/OVADBForwardFileThumbnailOperation.h"
#include "core/bridge/companion/OVADBForwardMediaFetchOperation.h"
#include "core/bridge/companion/OVADBForwardMediaThumbnailOperation.h"
#include "core/bridge/model/OVAudioAlbum.h"
#include "core/bridge/model/OVAudioFile.h"
#include "core/bridge/model/OVImageAlbum.h"
#include "core/bridge/model/OVImageFile.h"
#include "core/bridge/model/OVVideoDirectory.h"
#include "core/bridge/model/OVVideoFile.h"

namespace orv::test {
namespace {

using Json = nlohmann::json;
using Bytes = std::vector<uint8_t>;

Bytes bytesOf(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

// A library reply body: header bytes, then the gzip-compressed JSON.
Bytes libraryBody(int8_t type, const Json& reply)
{
    Bytes body = {0x07, uint8_t(type), 0x01};
    auto packed = gzipDeflate(bytesOf(reply.dump()));
    body.insert(body.end(), packed->begin(), packed->end());
    return body;
}

template <class T>
std::shared_ptr<T> as(const OVFileRef& file)
{
    return std::dynamic_pointer_cast<T>(file);
}

TEST(Gzip, RoundTripsAndRefusesDamagedStreams)
{
    std::string text;
    for (int i = 0; i < 20000; ++i)
        text += "record " + std::to_string(i) + ";";
    auto packed = gzipDeflate(bytesOf(text));
    ASSERT_TRUE(packed);
    EXPECT_LT(packed->size(), text.size() / 4);
    EXPECT_EQ(gzipInflate(*packed), bytesOf(text));

    EXPECT_EQ(gzipInflate(Bytes{}), Bytes{});
    EXPECT_EQ(gzipDeflate(Bytes{}), Bytes{});
    Bytes cut(packed->begin(), packed->begin() + static_cast<long>(packed->size() / 2));
    EXPECT_FALSE(gzipInflate(cut));
    EXPECT_FALSE(gzipInflate(bytesOf("not a gzip stream at all")));
}

// A small reply may inflate without end: past the limit it is undecodable.
TEST(Gzip, InflationStopsAtTheLimit)
{
    const Bytes zeros(1 << 20, 0);
    auto bomb = gzipDeflate(zeros);
    ASSERT_TRUE(bomb);
    EXPECT_LT(bomb->size(), 4096u);
    EXPECT_FALSE(gzipInflate(*bomb, 64 * 1024));
    EXPECT_FALSE(gzipInflate(*bomb, zeros.size() - 1));
    EXPECT_EQ(gzipInflate(*bomb, zeros.size()), zeros);
    EXPECT_GE(kGzipInflateLimit, size_t(64) << 20);
}

TEST(LibraryReply, PhotosFillAlbumsByBucketAndTheCameraByPath)
{
    const Json reply = {
        {"all_group",
         {{{"bucket_id", 10}, {"bucket_display_name", "Camera"}, {"_data", "/storage/emulated/0/DCIM/Camera/a.jpg"}},
          {{"bucket_id", 20}, {"bucket_display_name", "Empty"}, {"_data", "/storage/emulated/0/Empty/x.jpg"}}}},
        {"all_item",
         {{{"_id", 1}, {"_data", "/storage/emulated/0/DCIM/Camera/a.jpg"}, {"bucket_id", 10}},
          {{"_id", 2}, {"_data", "/storage/emulated/0/Pictures/b.jpg"}, {"bucket_id", 99}},
          {{"_id", 3}, {"_data", "/storage/emulated/0/DCIM/Camera/c.jpg"}, {"bucket_id", 10}}}},
    };
    std::optional<Error> error;
    auto library = OVADBForwardMediaFetchOperation::libraryFromResponseBody(1, libraryBody(1, reply), error);
    ASSERT_TRUE(library);
    EXPECT_FALSE(error);
    auto& photos = library->at("photos");
    ASSERT_EQ(photos.size(), 3u);
    EXPECT_EQ(as<OVImageFile>(photos[0])->imageId(), 1u);
    EXPECT_EQ(photos[1]->path(), "/storage/emulated/legacy/Pictures/b.jpg");  // no album, still listed
    ASSERT_EQ(library->at("camera").size(), 2u);
    EXPECT_EQ(library->at("camera")[1], photos[2]);

    auto& albums = library->at("albums");
    ASSERT_EQ(albums.size(), 2u);
    auto camera = as<OVImageAlbum>(albums[0]);
    ASSERT_TRUE(camera->children());
    EXPECT_EQ(*camera->children(), (std::vector<OVFileRef>{photos[0], photos[2]}));
    EXPECT_FALSE(albums[1]->children());  // an album without photos has no children at all
}

TEST(LibraryReply, MusicAlbumsTakeTheirSongsFromListsGivenAsArraysOrText)
{
    const Json songs = {{{"_id", 5}, {"_data", "/storage/emulated/0/Music/s.mp3"}, {"title", "S"}, {"album_id", 7}}};
    const Json reply = {
        {"all_item", songs},
        {"all_group", {{{"album_id", 7}, {"album", "Seven"}}, {{"album_id", 8}, {"album", "Eight"}}}},
        {"item_with_group", {{{"id", 7}, {"list", songs.dump()}}, {{"id", 8}, {"list", songs}}, {{"id", 9}}}},
    };
    std::optional<Error> error;
    auto library = OVADBForwardMediaFetchOperation::libraryFromResponseBody(2, libraryBody(2, reply), error);
    ASSERT_TRUE(library);
    EXPECT_FALSE(error);
    ASSERT_EQ(library->at("songs").size(), 1u);
    EXPECT_EQ(as<OVAudioFile>(library->at("songs")[0])->title(), "S");
    auto& albums = library->at("albums");
    ASSERT_EQ(albums.size(), 2u);
    for (const auto& album : albums) {
        ASSERT_TRUE(album->children());
        ASSERT_EQ(album->children()->size(), 1u);
        EXPECT_EQ(as<OVAudioFile>(album->children()->front())->title(), "S");
    }

    // A list that does not decode is reported beside what was built.
    Json broken = reply;
    broken["item_with_group"] = {{{"id", 7}, {"list", "[{"}}};
    library = OVADBForwardMediaFetchOperation::libraryFromResponseBody(2, libraryBody(2, broken), error);
    ASSERT_TRUE(library);
    EXPECT_TRUE(error);
    EXPECT_EQ(library->at("albums").size(), 2u);
}

TEST(LibraryReply, VideosOfTheCameraFolderAndOfEveryOtherFolder)
{
    const Json cameraVideos = {{{"_id", 1}, {"_data", "/storage/emulated/0/DCIM/Camera/v.mp4"}}};
    const Json otherVideos = {{{"_id", 2}, {"_data", "/storage/emulated/0/Movies/w.mp4"}}};
    const Json groups = {{{"bucket_id", 1}, {"bucket_display_name", "Camera"}, {"_data", "/storage/emulated/0/DCIM/Camera/v.mp4"}},
                         {{"bucket_id", 2}, {"bucket_display_name", "Movies"}, {"_data", "/storage/emulated/0/Movies/w.mp4"}}};
    Json reply = {{"all_group", groups},
                  {"item_with_group", {{{"id", 1}, {"list", cameraVideos}}, {{"id", "2"}, {"list", otherVideos}}}}};
    std::optional<Error> error;
    auto library = OVADBForwardMediaFetchOperation::libraryFromResponseBody(3, libraryBody(3, reply), error);
    ASSERT_TRUE(library);
    ASSERT_EQ(library->at("videos").size(), 1u);
    EXPECT_EQ(as<OVVideoFile>(library->at("videos")[0])->videoId(), 1u);
    ASSERT_EQ(library->at("otherDirs").size(), 1u);
    auto movies = as<OVVideoDirectory>(library->at("otherDirs")[0]);
    ASSERT_TRUE(movies->children());
    EXPECT_EQ(as<OVVideoFile>(movies->children()->front())->videoId(), 2u);

    reply["item_with_group"] = {{{"id", 2}, {"list", otherVideos}}};
    library = OVADBForwardMediaFetchOperation::libraryFromResponseBody(3, libraryBody(3, reply), error);
    ASSERT_TRUE(library);
    EXPECT_TRUE(library->at("videos").empty());
    EXPECT_EQ(library->at("otherDirs").size(), 1u);
}

TEST(LibraryReply, RepliesThatDoNotDecodeAreErrorsNotEmptyLibraries)
{
    Bytes cut = libraryBody(1, {{"all_item", Json::array()}});
    cut.resize(cut.size() / 2 + 2);
    Bytes notJson = {0x07, 0x01, 0x01};
    auto packed = gzipDeflate(bytesOf("{\"all_item\": ["));
    notJson.insert(notJson.end(), packed->begin(), packed->end());

    const std::vector<std::pair<const char*, Bytes>> cases = {
        {"gzip cut short", cut},
        {"no payload", {0x07, 0x01, 0x01}},
        {"not gzip", {0x07, 0x01, 0x01, 'h', 'i'}},
        {"not JSON", notJson},
    };
    for (const auto& [name, body] : cases) {
        SCOPED_TRACE(name);
        std::optional<Error> error;
        EXPECT_FALSE(OVADBForwardMediaFetchOperation::libraryFromResponseBody(1, body, error));
        ASSERT_TRUE(error);
        EXPECT_EQ(error->domain, kADBErrorDomain);
    }
    std::optional<Error> error;
    EXPECT_FALSE(OVADBForwardMediaFetchOperation::libraryFromResponseBody(4, libraryBody(4, Json::object()), error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code, ADBErrorInvalidArgument);
}

Bytes gzippedLibraryBody(const std::string& text)
{
    Bytes body = {0x07, 0x02, 0x01};
    auto packed = gzipDeflate(bytesOf(text));
    body.insert(body.end(), packed->begin(), packed->end());
    return body;
}

// Copying a JSON value recurses once per level: a few hundred bytes of
// brackets must be refused when parsed, not crash the process later.
TEST(LibraryReply, DeeplyNestedRepliesAreRefusedNotFollowed)
{
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    const std::string deepText = Json(deep).dump();
    const std::vector<std::pair<const char*, std::string>> cases = {
        {"a whole reply", deep},
        {"a group's list as text", R"({"all_group":[{"id":1,"name":"A"}],"item_with_group":[{"id":1,"list":)" +
                                       deepText + "}]}"},
        {"a group's list as an array", R"({"all_group":[{"id":1,"name":"A"}],"item_with_group":[{"id":1,"list":)" +
                                           deep + "}]}"},
    };
    for (const auto& [name, text] : cases) {
        SCOPED_TRACE(name);
        std::optional<Error> error;
        auto library = OVADBForwardMediaFetchOperation::libraryFromResponseBody(2, gzippedLibraryBody(text), error);
        EXPECT_TRUE(error);
        // The album may arrive, but never with the refused list as songs.
        if (library)
            for (const auto& album : library->at("albums"))
                EXPECT_FALSE(album->children());
    }

    Bytes info = {0x03, 0x03, 0x01};
    const std::string deepInfo = R"({"device_name":)" + deep + "}";
    info.insert(info.end(), deepInfo.begin(), deepInfo.end());
    std::optional<Error> error;
    EXPECT_FALSE(OVADBForwardDeviceInfoOperation::convertResponseToDictionary(info, error));
    EXPECT_TRUE(error);
    EXPECT_FALSE(OVADBForwardKeepAliveOperation::convertResponseToDictionary(info, error));
    EXPECT_TRUE(error);
}

TEST(BoundedJson, NestingIsCountedOutsideStringsOnly)
{
    struct Case {
        std::string text;
        int limit;
        bool within;
    };
    for (const auto& c : {Case{"[[1]]", 2, true}, Case{"[[[1]]]", 2, false}, Case{R"({"a":{"b":[]}})", 3, true},
                          Case{R"({"a":{"b":[{}]}})", 3, false}, Case{R"(["[[[[", "\"[[["])", 1, true},
                          Case{"]]]][[", 2, true}, Case{"", 0, true}}) {
        EXPECT_EQ(jsonNestingWithin(c.text, c.limit), c.within) << c.text;
    }
    EXPECT_TRUE(parseBoundedJson(std::string(kJsonNestingLimit, '[') + std::string(kJsonNestingLimit, ']')).is_array());
    EXPECT_TRUE(
        parseBoundedJson(std::string(kJsonNestingLimit + 1, '[') + std::string(kJsonNestingLimit + 1, ']')).is_discarded());
    EXPECT_TRUE(parseBoundedJson("{\"a\": ").is_discarded());
}

// A thumbnail-list reply body by id: header, count, then the items.
struct MediaItem {
    uint8_t status;
    uint64_t id;
    int32_t length;
    Bytes data;
};

Bytes mediaReply(int32_t count, const std::vector<MediaItem>& items)
{
    Bytes body = {0x08, 0x01, 0x01};
    auto u32 = [&](uint32_t v) {
        for (int s = 24; s >= 0; s -= 8)
            body.push_back(uint8_t(v >> s));
    };
    u32(static_cast<uint32_t>(count));
    for (const auto& item : items) {
        body.push_back(item.status);
        for (int s = 56; s >= 0; s -= 8)
            body.push_back(uint8_t(item.id >> s));
        u32(static_cast<uint32_t>(item.length));
        body.insert(body.end(), item.data.begin(), item.data.end());
    }
    return body;
}

TEST(ThumbnailReply, PicturesGoToTheirRecordsAndFailuresAreMarked)
{
    std::vector<OVFileRef> records;
    for (uint64_t id : {1, 2, 3}) {
        auto image = std::make_shared<OVImageFile>();
        image->setImageId(id);
        image->setGetThumbnailError(true);  // cleared by the request
        records.push_back(image);
    }
    OVADBForwardMediaThumbnailOperation::thumbnailRequestDataWithType(1, records);
    for (const auto& record : records)
        EXPECT_FALSE(as<OVImageFile>(record)->getThumbnailError());

    auto error = OVADBForwardMediaThumbnailOperation::parseThumbnailBodyData(
        mediaReply(3, {{0, 1, 2, {0xaa, 0xbb}}, {1, 2, 0, {}}, {0, 3, 1, {0xcc}}}), records);
    EXPECT_FALSE(error);
    ASSERT_TRUE(as<OVImageFile>(records[0])->thumbnail());
    EXPECT_EQ(*as<OVImageFile>(records[0])->thumbnail(), (Bytes{0xaa, 0xbb}));
    EXPECT_TRUE(as<OVImageFile>(records[1])->getThumbnailError());
    EXPECT_FALSE(as<OVImageFile>(records[1])->thumbnail());
    EXPECT_EQ(*as<OVImageFile>(records[2])->thumbnail(), (Bytes{0xcc}));

    // No items, or a body too short to hold a count: error 12.
    for (const Bytes& body : {mediaReply(0, {}), Bytes{0x08, 0x01, 0x01, 0, 0}, mediaReply(-1, {})}) {
        auto failure = OVADBForwardMediaThumbnailOperation::parseThumbnailBodyData(body, records);
        ASSERT_TRUE(failure);
        EXPECT_EQ(failure->code, ADBErrorSocketNoBody);
    }

    // An item cut short by the end of the body ends the list; nothing is read past it.
    auto album = std::make_shared<OVAudioAlbum>();
    album->setAlbumId(9);
    Bytes cut = mediaReply(2, {{0, 9, 1, {0x01}}, {0, 9, 1000, {0x02, 0x03}}});
    EXPECT_FALSE(OVADBForwardMediaThumbnailOperation::parseThumbnailBodyData(cut, {album}));
    EXPECT_EQ(*album->thumbnail(), Bytes{0x01});
}

TEST(ThumbnailReply, FileThumbnailsAreMatchedByPath)
{
    auto a = std::make_shared<OVImageFile>();
    a->setPath("/storage/emulated/legacy/a.jpg");
    auto b = std::make_shared<OVVideoFile>();
    b->setPath("/storage/emulated/legacy/b.mp4");

    Bytes body = {0x01, 0x01, 0x01, 0, 0, 0, 2};
    auto item = [&](uint8_t status, const std::string& path, const Bytes& data) {
        body.push_back(status);
        for (int s = 24; s >= 0; s -= 8)
            body.push_back(uint8_t(path.size() >> s));
        body.insert(body.end(), path.begin(), path.end());
        for (int s = 24; s >= 0; s -= 8)
            body.push_back(uint8_t(data.size() >> s));
        body.insert(body.end(), data.begin(), data.end());
    };
    item(0, b->path(), {0x0b});
    item(1, a->path(), {});
    OVADBForwardFileThumbnailOperation::parseThumbnailBodyData(body, {a, b});
    EXPECT_FALSE(a->thumbnail());
    ASSERT_TRUE(b->thumbnail());
    EXPECT_EQ(*b->thumbnail(), Bytes{0x0b});
}

}  // namespace
}  // namespace orv::test
