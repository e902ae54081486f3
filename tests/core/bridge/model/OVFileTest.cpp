#include "core/bridge/model/OVFile.h"

#include <gtest/gtest.h>

#include <unordered_set>

#include "core/bridge/model/OVAudioAlbum.h"
#include "core/bridge/model/OVAudioFile.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/adb/OVFileTransferItem.h"
#include "core/bridge/model/OVImageAlbum.h"
#include "core/bridge/model/OVImageFile.h"
#include "core/bridge/facade/OVLocalization.h"
#include "core/bridge/model/OVVideoDirectory.h"
#include "core/bridge/model/OVVideoFile.h"

namespace orv {
namespace {

using json = nlohmann::json;

template <class T>
std::shared_ptr<T> fromRecord(const json& record)
{
    auto file = std::make_shared<T>();
    file->setValuesForKeysWithDictionary(record);
    return file;
}

double seconds(const OVFile::Date& date)
{
    return std::chrono::duration<double>(date.value().time_since_epoch()).count();
}

TEST(OVFileTest, PhotoRecordsFillEveryField)
{
    auto photo = fromRecord<OVImageFile>({{"_id", 17},
                                          {"_data", "/storage/emulated/0/DCIM/Camera/a.jpg"},
                                          {"_display_name", "a.jpg"},
                                          {"_size", "2585"},
                                          {"date_added", 1425205211},
                                          {"date_modified", 1425205300},
                                          {"datetaken", 1425205211500LL},
                                          {"bucket_id", -1739773001},
                                          {"width", 320},
                                          {"height", "240"},
                                          {"orientation", 90},
                                          {"mime_type", "image/jpeg"}});
    EXPECT_EQ(photo->path(), "/storage/emulated/legacy/DCIM/Camera/a.jpg");
    EXPECT_EQ(photo->name(), "a.jpg");
    EXPECT_EQ(photo->size(), 2585u);
    EXPECT_EQ(photo->imageId(), 17u);
    EXPECT_EQ(photo->videoId(), 0u);
    EXPECT_EQ(photo->albumId(), -1739773001);
    EXPECT_EQ(photo->width(), 320u);
    EXPECT_EQ(photo->height(), 240u);
    EXPECT_EQ(photo->orientation(), 90u);
    EXPECT_DOUBLE_EQ(seconds(photo->createdDate()), 1425205211.5);  // the capture time wins
    EXPECT_DOUBLE_EQ(seconds(photo->modifiedDate()), 1425205300.0);
    EXPECT_EQ(photo->type(), OVFile::TypeImage);
    EXPECT_EQ(photo->description(), "OVImageFile id:17 size:320x240 type:image/jpeg path:" + photo->path());

    auto album = fromRecord<OVImageAlbum>({{"_data", "/storage/emulated/0/DCIM/Camera/a.jpg"}, {"bucket_id", 5}});
    EXPECT_EQ(album->path(), "/storage/emulated/legacy/DCIM/Camera");
    EXPECT_EQ(album->albumId(), 5);
    EXPECT_TRUE(album->isDirectory());
}

TEST(OVFileTest, OnlyALeadingMediaLibraryRootIsRewritten)
{
    auto file = fromRecord<OVFile>({{"_data", "/sdcard/storage/emulated/0/x"}});
    EXPECT_EQ(file->path(), "/sdcard/storage/emulated/0/x");
    auto nested = fromRecord<OVFile>({{"_data", "/storage/emulated/0/backup/storage/emulated/0/x"}});
    EXPECT_EQ(nested->path(), "/storage/emulated/legacy/backup/storage/emulated/0/x");
}

TEST(OVFileTest, TheRootPhotoAlbumIsNamedByTheApplication)
{
    EXPECT_EQ(fromRecord<OVImageAlbum>({{"bucket_display_name", "0"}})->name(), "");
    setLocalizedStringProvider([](const std::string& key) -> std::optional<std::string> {
        return key == "PhotoAlbumRootFolder" ? std::optional<std::string>("Phone storage") : std::nullopt;
    });
    EXPECT_EQ(fromRecord<OVImageAlbum>({{"bucket_display_name", "0"}})->name(), "Phone storage");
    EXPECT_EQ(fromRecord<OVImageAlbum>({{"bucket_display_name", "Camera"}})->name(), "Camera");
    setLocalizedStringProvider(nullptr);
}

TEST(OVFileTest, DurationsAndArtistsOfSongsAndVideos)
{
    auto song = fromRecord<OVAudioFile>({{"_id", 3},
                                         {"title", "Beacon"},
                                         {"duration", 215000},
                                         {"album_artist", "Lumen Drift"},
                                         {"album", "Harbour Lights"},
                                         {"album_id", 9},
                                         {"year", 2014},
                                         {"track", "2"},
                                         {"mime_type", "audio/mpeg"}});
    EXPECT_DOUBLE_EQ(song->duration(), 215.0);
    EXPECT_EQ(song->artist(), "Lumen Drift");
    EXPECT_EQ(song->audioCodec(), "audio/mpeg");
    EXPECT_EQ(song->track(), 2u);
    ASSERT_TRUE(song->album());
    EXPECT_EQ(song->album()->albumId(), 9);
    EXPECT_EQ(song->album()->name(), "Harbour Lights");

    auto own = fromRecord<OVAudioFile>({{"artist", "Orla Fenn"}, {"album_artist", "Various"}});
    EXPECT_EQ(own->artist(), "Orla Fenn");
    auto none = fromRecord<OVAudioFile>({{"title", "voice memo"}});
    EXPECT_EQ(none->artist(), "");
    EXPECT_FALSE(none->album());

    auto video = fromRecord<OVVideoFile>({{"_id", 4}, {"duration", 215000}});
    EXPECT_EQ(video->duration(), 215000u);
    EXPECT_EQ(video->videoId(), 4u);
}

TEST(OVFileTest, RecordKeysFillOnlyWhatTheKeyTablesName)
{
    auto song = std::make_shared<OVAudioFile>();
    auto kept = std::make_shared<OVDirectoryFile>();
    kept->setPath("/kept");
    song->setParent(kept);
    // Keys that name object fields or nothing at all change nothing.
    song->setValuesForKeysWithDictionary({{"album", "Text, not an album"},
                                          {"parent", "/elsewhere"},
                                          {"children", json::array({1, 2})},
                                          {"thumbnail", "AAAA"},
                                          {"no_such_key", 1},
                                          {"composer", "Anna"},
                                          {"playCount", "7"}});
    EXPECT_FALSE(song->album());
    EXPECT_EQ(song->parent(), kept);
    EXPECT_FALSE(song->children());
    EXPECT_EQ(song->composer(), "Anna");
    EXPECT_EQ(song->playCount(), 7u);

    auto folder = fromRecord<OVVideoDirectory>(
        {{"_data", "/storage/emulated/0/Movies/Clips/Concert.mp4"}, {"bucket_display_name", "Clips"}, {"bucket_id", 8}});
    EXPECT_EQ(folder->path(), "/storage/emulated/legacy/Movies/Clips");
    EXPECT_EQ(folder->name(), "Clips");
    EXPECT_EQ(folder->videoDirectoryId(), 8);
    EXPECT_EQ(folder->size(), 0u);
    EXPECT_FALSE(folder->isCameraVideoDirectory());

    auto camera = fromRecord<OVVideoDirectory>({{"_data", "/storage/emulated/0/DCIM/Camera/VID_1.mp4"}});
    EXPECT_TRUE(camera->isCameraVideoDirectory());
}

TEST(OVFileTest, RecordNumbersOutsideTheirRangeSaturateOrGiveNoDate)
{
    struct Case {
        json value;
        bool dated;
    };
    // A "date_added" in milliseconds (past the clock's years), infinities
    // and NaN as strings leave the date empty; ordinary dates are kept.
    for (const auto& c : {Case{1425205211, true}, Case{-1e9, true}, Case{1425205211500LL, false},
                          Case{9.3e9, false}, Case{-9.3e9, false}, Case{"1e300", false}, Case{"inf", false},
                          Case{"-inf", false}, Case{"nan", false}, Case{json(18446744073709551615ULL), false}}) {
        auto file = fromRecord<OVFile>({{"date_added", c.value}, {"date_modified", c.value}});
        EXPECT_EQ(file->createdDate().has_value(), c.dated) << c.value;
        EXPECT_EQ(file->modifiedDate().has_value(), c.dated) << c.value;
    }
    auto photo = fromRecord<OVImageFile>({{"datetaken", 1e300}, {"width", "20000000000000000000"}});
    EXPECT_FALSE(photo->createdDate());
    EXPECT_EQ(photo->width(), uint64_t(INT64_MAX));
    auto big = fromRecord<OVFile>({{"_size", json(18446744073709551615ULL)}});
    EXPECT_EQ(big->size(), UINT64_MAX);
}

TEST(OVFileTest, RecordsAreEqualByPathWhateverTheirClass)
{
    auto image = std::make_shared<OVImageFile>();
    image->setPath("/storage/emulated/legacy/DCIM");
    auto folder = std::make_shared<OVDirectoryFile>();
    folder->setPath("/storage/emulated/legacy/DCIM");
    EXPECT_TRUE(image->isEqual(*folder));
    EXPECT_EQ(image->hash(), folder->hash());

    auto rootA = OVDeviceClient::rootDir();
    auto rootB = OVDeviceClient::rootDir();
    EXPECT_NE(rootA, rootB);
    std::unordered_set<OVFileRef, OVFileRefHash, OVFileRefEqual> set{rootA, image};
    EXPECT_EQ(set.count(rootB), 1u);
    EXPECT_EQ(set.count(folder), 1u);
}

TEST(OVFileTest, ChildrenAreKeptUntilReplaced)
{
    auto album = std::make_shared<OVImageAlbum>();
    EXPECT_FALSE(album->children());
    auto photo = std::make_shared<OVImageFile>();
    album->setChildren(std::vector<OVFileRef>{photo});
    album->setChildren(std::nullopt);
    ASSERT_TRUE(album->children());
    EXPECT_EQ(album->children()->size(), 1u);
}

TEST(OVFileTest, TransferItemFoldersEndInASlash)
{
    OVFileTransferItem item;
    item.setIsDir(true);
    item.setDeviceFilePath("/storage/emulated/legacy/DCIM/new");
    item.setHostFilePath("/home/u/new/");
    EXPECT_EQ(item.deviceFilePath(), "/storage/emulated/legacy/DCIM/new/");
    EXPECT_EQ(item.hostFilePath(), "/home/u/new/");
    EXPECT_EQ(item.description(), "OVFileTransferItem: mkdir /storage/emulated/legacy/DCIM/new/");
    item.setIsDir(false);
    EXPECT_EQ(item.deviceFilePath(), "/storage/emulated/legacy/DCIM/new");
    EXPECT_EQ(item.description(),
              "OVFileTransferItem: pull -p /home/u/new/ /storage/emulated/legacy/DCIM/new");
}

}  // namespace
}  // namespace orv
