// The album list: camera and from-computer albums, covers across reloads,
// library changes and look-ups.

#include "app/viewmodels/OVPhotoAlbumsViewModel.h"

#include <gtest/gtest.h>

#include "MediaRecords.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/model/OVImageAlbum.h"
#include "core/bridge/model/OVVideoDirectory.h"

namespace orv {
namespace {

using test::local;
using test::media;

const std::string kCamera = "/storage/emulated/legacy/DCIM/Camera";

template <class Album = OVImageAlbum>
std::shared_ptr<Album> album(const std::string& path, std::vector<OVFileRef> children)
{
    auto a = std::make_shared<Album>();
    a->setPath(path);
    a->setChildren(std::move(children));
    return a;
}

std::vector<std::string> albumPaths(const OVPhotoAlbumsViewModel& model)
{
    std::vector<std::string> out;
    for (const auto& a : model)
        out.push_back(a->path().toStdString());
    return out;
}

TEST(PhotoAlbums, CameraFolderIsFoundWhateverItsCaseOrSlash)
{
    OVPhotoAlbumsViewModel albums("S");
    auto first = album("/storage/emulated/legacy/dcim/camera/", {media(kCamera + "/1.jpg", local("2021-01-01 10:00"))});
    auto second = album(kCamera, {media(kCamera + "/2.jpg", local("2021-01-02 10:00"))});
    auto empty = album("/storage/emulated/legacy/DCIM/Empty", {});
    auto plainFile = media("/storage/emulated/legacy/x.jpg");
    albums.setAlbums({first, empty, plainFile, second});
    EXPECT_EQ(albums.totalItemNumber(), 2);
    ASSERT_TRUE(albums.cameraAlbum());
    EXPECT_EQ(albums.cameraAlbum()->path().toStdString(), kCamera);
    EXPECT_EQ(albums.albumByPath("/storage/emulated/legacy/dcim/camera/")->path().toStdString(),
              "/storage/emulated/legacy/dcim/camera/");
    EXPECT_EQ(albums.albumByPath("/nowhere"), nullptr);
    EXPECT_EQ(albums.itemForIndex(2), nullptr);
    EXPECT_EQ(albums.itemForIndex(-1), nullptr);
    EXPECT_EQ(albums.indexForItem(*albums.cameraAlbum()), 1);
    EXPECT_EQ(*albums.indexSetForItem(*albums.cameraAlbum()), (OVIndexPath{0, 1}));
    EXPECT_EQ(albums.itemsForIndexSets({{3, 1}, {0, 7}}).size(), 1u);
}

TEST(PhotoAlbums, ACoverIsKeptOnlyWhileTheFirstPhotoIsTheSame)
{
    const std::string trip = "/storage/emulated/legacy/DCIM/Trip";
    auto fetch = [&](const char* newest) {
        return album(trip, {media(trip + "/old.jpg", local("2021-01-01 10:00")), media(trip + "/" + newest, local("2021-02-01 10:00"))});
    };
    OVPhotoAlbumsViewModel albums("S");
    albums.setAlbums({fetch("new.jpg")});
    auto model = albums.itemForIndex(0);
    EXPECT_TRUE(model->thumbnail().isNull());
    QImage cover(8, 8, QImage::Format_RGB32);
    cover.fill(Qt::red);
    model->setThumbnailPath(QString::fromStdString(trip + "/new.jpg"));
    model->setThumbnail(cover);
    ASSERT_FALSE(model->thumbnail().isNull());

    albums.setAlbums({fetch("new.jpg")});
    EXPECT_NE(albums.itemForIndex(0).get(), model.get());
    EXPECT_EQ(albums.itemForIndex(0)->thumbnail(), cover);

    albums.setAlbums({fetch("newer.jpg")});
    EXPECT_TRUE(albums.itemForIndex(0)->thumbnail().isNull());
}

TEST(PhotoAlbums, PushedPhotosMakeAndEmptyAlbums)
{
    OVPhotoAlbumsViewModel albums("S");
    albums.setAlbums({album(kCamera, {media(kCamera + "/1.jpg", local("2021-01-01 10:00"))})});
    const std::string fresh = "/storage/emulated/legacy/Pictures/New";
    auto video = media<OVVideoFile>("/storage/emulated/legacy/Movies/clip.mp4", local("2021-01-01 10:00"));
    albums.addedOVFiles({media(fresh + "/a.jpg", local("2021-01-02 10:00")), media(fresh + "/b.jpg", local("2021-01-03 10:00")),
                         media("/storage/emulated/legacy/pictures/new/c.jpg", local("2021-01-04 10:00")), video},
                        {});
    EXPECT_EQ(albumPaths(albums), (std::vector<std::string>{kCamera, fresh, "/storage/emulated/legacy/Movies"}));
    EXPECT_EQ(albums.albumByPath(QString::fromStdString(fresh))->totalItemNumber(), 3);
    EXPECT_TRUE(std::dynamic_pointer_cast<OVVideoDirectory>(albums.itemForIndex(2)->ovfile()));
    EXPECT_EQ(albums.albumByPath(QString::fromStdString(fresh))->displayname(), "New");

    albums.addedOVFiles({}, {media(kCamera + "/1.jpg")});
    EXPECT_EQ(albumPaths(albums), (std::vector<std::string>{fresh, "/storage/emulated/legacy/Movies"}));
    albums.deleteOVFile(video);
    EXPECT_EQ(albums.totalItemNumber(), 1);
}

TEST(PhotoAlbums, AVanishedCameraAlbumComesBackEmptyAndIsDropped)
{
    OVPhotoAlbumsViewModel albums("S");
    albums.setAlbums({album(kCamera, {media(kCamera + "/1.jpg", local("2021-01-01 10:00"))})});
    const auto camera = albums.cameraAlbum();
    albums.removeAllObjects();
    EXPECT_EQ(albums.cameraAlbum(), camera);

    // The next fetch has no camera album: its photos are gone from the phone
    // and must not be listed again.
    albums.setAlbums({album("/storage/emulated/legacy/DCIM/Other", {media("/storage/emulated/legacy/DCIM/Other/o.jpg", local("2021-01-01 10:00"))})});
    ASSERT_TRUE(albums.cameraAlbum());
    EXPECT_EQ(albums.cameraAlbum()->totalItemNumber(), 0);
    EXPECT_EQ(albums.totalItemNumber(), 1);
    EXPECT_EQ(albumPaths(albums), (std::vector<std::string>{"/storage/emulated/legacy/DCIM/Other"}));
}

TEST(PhotoAlbums, CreateOnDemandAlbumsUseTheStandardFolders)
{
    OVPhotoAlbumsViewModel albums("S");
    auto fromMac = albums.fromMacAlbumOrCreateOne();
    EXPECT_EQ(fromMac->albumId(), -2);
    EXPECT_EQ(fromMac->path().toStdString(), OVDeviceClient::fromMacDir()->path());
    EXPECT_EQ(albums.fromMacAlbumOrCreateOne(), fromMac);
    EXPECT_EQ(albums.cameraAlbumOrCreateOne()->albumId(), -1);
    EXPECT_EQ(albums.itemlist().size(), 2u);
    EXPECT_EQ(albums.totalItemNumber(), 0);  // both empty: dropped at the count
    EXPECT_EQ(albums.fromMacAlbum(), fromMac);
}

}  // namespace
}  // namespace orv
