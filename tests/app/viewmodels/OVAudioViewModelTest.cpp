// Songs and music albums: the song table's column texts and album covers
// from the simulated phone and the cache.

#include "app/viewmodels/OVAudioViewModel.h"

#include <gtest/gtest.h>

#include "PrivateHome.h"
#include "QtWait.h"
#include "app/viewmodels/AppImages.h"
#include "app/viewmodels/OVAudioAlbumViewModel.h"
#include "app/viewmodels/OVThumbnailCacheCenter.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/model/OVDirectoryFile.h"
#include "core/bridge/facade/OVResources.h"
#include "phonesim/Simulator.h"
#include "tests/support/ReleasedWork.h"

namespace orv {
namespace {

test::PrivateHome home;
using test::qtWaitUntil;

TEST(AudioViewModel, ColumnKeysIgnoreLetterCase)
{
    auto album = std::make_shared<OVAudioAlbum>();
    album->setName("Blue Album");
    auto song = std::make_shared<OVAudioFile>();
    song->setPath("/storage/emulated/legacy/Music/a.mp3");
    song->setTitle("Song A");
    song->setArtist("The Band");
    song->setAlbum(album);
    song->setDuration(185.5);
    song->setBitRate(320);
    song->setYear(0);
    song->setPlayCount(7);
    song->setTrack(3);
    song->setSize(3 * 1024 * 1024 / 2);
    auto model = OVAudioViewModel::make(song, "S");

    const struct {
        const char* key;
        const char* value;
    } cases[] = {{"name", "Song A"},        {"TITLE", "Song A"},       {"Artist", "The Band"},
                 {"SINGER", "The Band"},    {"artist", "The Band"},    {"album", "Blue Album"},
                 {"time", "185.500000"},    {"year", "0"},             {"bitrate", "320 kbps"},
                 {"playCount", "7"},        {"track", "3"},            {"displaypath", "/Music/a.mp3"},
                 {"displayfilesize", "1.5 MB"}};
    for (const auto& c : cases)
        EXPECT_EQ(model->value(c.key).toString().toStdString(), c.value) << c.key;
    EXPECT_FALSE(model->value("genre").isValid());

    auto folder = std::make_shared<OVDirectoryFile>();
    folder->setPath("/storage/emulated/legacy/Music/Artist");
    EXPECT_EQ(OVViewModel::make(folder, "S")->isDir(), true);
    auto folderRow = OVAudioViewModel::make(nullptr, "S");
    folderRow->setOvfile(folder);
    EXPECT_EQ(folderRow->value("displayfilesize").toString(), "--");
}

TEST(AudioAlbumViewModel, CoversComeFromThePhoneThenFromTheCache)
{
    auto sim = phonesim::Simulator::start();
    setResourceDirectory(sim->resourceDir().string());
    test::SettleReleasedWorkAtScopeEnd settle;
    OVDeviceClient client;
    std::optional<std::optional<Error>> loaded;
    client.updateWithSerialNumber(sim->serial(), [&](std::optional<Error> e) { loaded = e; });
    ASSERT_TRUE(qtWaitUntil([&] { return loaded.has_value(); }, std::chrono::seconds(60)));
    ASSERT_FALSE(*loaded);
    std::optional<OVMediaLibrary> library;
    client.fetchAudioLibraryWithCallback([&](std::optional<OVMediaLibrary> l, std::optional<Error>) { library = l; });
    ASSERT_TRUE(qtWaitUntil([&] { return library.has_value(); }));
    const auto albums = (*library)["albums"];
    ASSERT_FALSE(albums.empty());
    auto record = std::dynamic_pointer_cast<OVAudioAlbum>(albums.front());
    ASSERT_TRUE(record);
    // Covers are cached by the album's date; the simulated albums carry none.
    if (!record->modifiedDate())
        record->setModifiedDate(std::chrono::system_clock::time_point(std::chrono::seconds(1433147400)));

    const QString serial = QString::fromStdString(sim->serial());
    auto model = OVAudioAlbumViewModel::make(record, serial);
    EXPECT_EQ(model->coverKey(), QStringLiteral("OVAudioAlbum_%1").arg(record->albumId()));
    EXPECT_EQ(model->songs().size(), record->children().value_or(std::vector<OVFileRef>{}).size());
    EXPECT_FALSE(model->hasCoverImage());
    EXPECT_EQ(model->coverImage(), app_images::audioAlbum());

    // A cancelled request never answers.
    model->loadThumbnail(client);
    ASSERT_TRUE(model->hasPendingCoverRequest());
    model->cancelLoadThumbnail();
    EXPECT_FALSE(model->hasPendingCoverRequest());

    model->loadThumbnail(client);
    ASSERT_TRUE(qtWaitUntil([&] { return !model->hasPendingCoverRequest(); }));
    if (!record->thumbnail()) {
        GTEST_SKIP() << "the simulated album has no cover";
    }
    EXPECT_FALSE(model->thumbnail().isNull());
    EXPECT_TRUE(model->hasCoverImage());
    const QByteArray stored = OVThumbnailCacheCenter::sharedInstance().cachedThumbnail(serial, model->coverKey(),
                                                                                        record->modifiedDate());
    EXPECT_EQ(stored, QByteArray(reinterpret_cast<const char*>(record->thumbnail()->data()),
                                 qsizetype(record->thumbnail()->size())));

    // A second load, and a new model, are served from the cache.
    model->loadThumbnail(client);
    EXPECT_FALSE(model->hasPendingCoverRequest());
    auto again = OVAudioAlbumViewModel::make(record, serial);
    EXPECT_FALSE(again->thumbnail().isNull());
}

}  // namespace
}  // namespace orv
