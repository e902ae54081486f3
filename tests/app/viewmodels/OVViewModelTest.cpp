// The view model of one phone file: kinds, names, dates, children, identity,
// app-folder icons and Quick Look placeholders.

#include "app/viewmodels/OVViewModel.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QSettings>
#include <QTemporaryDir>
#include <sys/stat.h>

#include "LocalHttpServer.h"
#include "MediaRecords.h"
#include "PrivateHome.h"
#include "QtWait.h"
#include "app/viewmodels/AppImages.h"
#include "app/viewmodels/OVAppFolderTable.h"
#include "app/viewmodels/OVImageDownloader.h"
#include "app/viewmodels/OVThumbnailCacheCenter.h"
#include "app/viewmodels/QuickLookImage.h"
#include "app/viewmodels/ThumbnailImages.h"
#include "core/bridge/model/OVAudioFile.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/model/OVDirectoryFile.h"
#include "core/bridge/model/OVImageAlbum.h"
#include "core/bridge/model/OVImageFile.h"
#include "core/bridge/model/OVVideoFile.h"

namespace orv {
namespace {

test::PrivateHome home;
using test::qtWaitUntil;

const std::string kRoot = "/storage/emulated/legacy/";
const std::string kCamera = "/storage/emulated/legacy/DCIM/Camera/";

std::shared_ptr<OVImageFile> photo(const std::string& path, uint64_t width = 0, uint64_t height = 0)
{
    auto file = std::make_shared<OVImageFile>();
    file->setPath(path);
    file->setWidth(width);
    file->setHeight(height);
    return file;
}

template <class T>
std::shared_ptr<T> record(const std::string& path)
{
    auto file = std::make_shared<T>();
    file->setPath(path);
    file->setName(QFileInfo(QString::fromStdString(path)).fileName().toStdString());
    return file;
}

TEST(ViewModel, KindsFollowTheRecordClass)
{
    struct Case {
        OVFileRef file;
        bool dir, album, image, video, audio;
    };
    const Case cases[] = {
        {photo(kCamera + "a.jpg"), false, false, true, false, false},
        {record<OVVideoFile>(kCamera + "a.mp4"), false, false, false, true, false},
        {record<OVAudioFile>(kRoot + "Music/a.mp3"), false, false, false, false, true},
        {record<OVImageAlbum>(kCamera), true, true, true, false, false},
        {record<OVAlbum>(kRoot + "Music/x"), true, true, false, false, false},
        {record<OVDirectoryFile>(kRoot + "Download"), true, false, false, false, false},
        {record<OVFile>(kRoot + "notes.txt"), false, false, false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file->path());
        auto model = OVViewModel::make(c.file, "S");
        EXPECT_EQ(model->isDir(), c.dir);
        EXPECT_EQ(model->isAlbum(), c.album);
        EXPECT_EQ(model->isImage(), c.image);
        EXPECT_EQ(model->isVideo(), c.video);
        EXPECT_EQ(model->isAudio(), c.audio);
        EXPECT_EQ(model->filesize(), 0u);
    }
}

TEST(ViewModel, PanoramasNeedTheNameTheFolderAndTheShape)
{
    struct Case {
        std::string path;
        uint64_t width, height;
        bool panorama;
    };
    const Case cases[] = {
        {kCamera + "PANO_20150101.jpg", 4000, 1000, true},
        {kCamera + "PANO_20150101.jpg", 1000, 4000, true},
        {kCamera + "PANO_20150101.jpg", 4000, 1700, false},  // ratio about 2.35
        {kCamera + "PANO_20150101.jpg", 1044, 300, false},   // long side too short
        {kCamera + "PANO_20150101.jpg", 2000, 307, false},   // short side too short
        {kCamera + "pano_1.jpg", 4000, 1000, false},         // the prefix is case-sensitive
        {kRoot + "Pictures/PANO_1.jpg", 4000, 1000, false},  // outside the camera folder
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path + " " + std::to_string(c.width) + "x" + std::to_string(c.height));
        EXPECT_EQ(OVViewModel::make(photo(c.path, c.width, c.height), "S")->isPanoramaImage(), c.panorama);
    }
}

TEST(ViewModel, SystemAndHiddenFiles)
{
    const struct {
        const char* path;
        bool system;
    } cases[] = {{"/system", true},
                 {"/systemx/a", true},
                 {"/root/x", true},
                 {"/storage/emulated/legacy/Android/data", true},
                 {"/storage/emulated/legacy/android/x", false},
                 {"/storage/emulated/legacy/DCIM", false}};
    for (const auto& c : cases)
        EXPECT_EQ(OVViewModel::isSystemFile(QString::fromLatin1(c.path)), c.system) << c.path;
    EXPECT_FALSE(OVViewModel::isSystemFile(QString()));
    EXPECT_TRUE(OVViewModel::make(record<OVFile>(kRoot + ".nomedia"), "S")->isHiddenFile());
    EXPECT_FALSE(OVViewModel::make(record<OVFile>(kRoot + "a.nomedia"), "S")->isHiddenFile());
}

TEST(ViewModel, DisplayNamesFromTheAppTableAndTheStandardAlbums)
{
    OVAppFolderTable::setEntries({{"tencent", {{"name_en", "Chat"}, {"name_ch", "微信"}}},
                                  {"onlych", {{"name_ch", "只有"}}},
                                  {"neither", {{"id", "com.example"}}}});
    EXPECT_EQ(OVViewModel::make(record<OVDirectoryFile>(kRoot + "Tencent"), "S")->displayname(), "Chat");
    EXPECT_EQ(OVViewModel::make(record<OVDirectoryFile>(kRoot + "Tencent"), "S")->rootRelativePath(), "tencent");
    EXPECT_EQ(OVViewModel::make(record<OVDirectoryFile>(kRoot + "OnlyCh"), "S")->displayname(), "只有");
    EXPECT_EQ(OVViewModel::make(record<OVDirectoryFile>(kRoot + "Neither"), "S")->displayname(), "Neither");
    // Only folders use the table.
    EXPECT_EQ(OVViewModel::make(record<OVFile>(kRoot + "Tencent"), "S")->displayname(), "Tencent");

    EXPECT_EQ(OVViewModel::make(record<OVImageAlbum>("/storage/emulated/legacy/dcim/camera"), "S")->displayname(),
              "PhotoAlbumCamera");
    EXPECT_EQ(OVViewModel::make(record<OVImageAlbum>(kRoot + "DCIM/Screenshots/"), "S")->displayname(),
              "PhotoAlbumScreenshot");
    auto trip = record<OVImageAlbum>(kRoot + "DCIM/Trip");
    trip->setName("My trip");
    EXPECT_EQ(OVViewModel::make(trip, "S")->displayname(), "My trip");
    OVAppFolderTable::setEntries({});
}

TEST(ViewModel, DatesReadTodayYesterdayOrTheDate)
{
    auto file = photo(kCamera + "d.jpg");
    const auto now = std::chrono::system_clock::now();
    file->setModifiedDate(now);
    file->setCreatedDate(now - std::chrono::hours(24));
    auto model = OVViewModel::make(file, "S");
    EXPECT_TRUE(model->modifiedDateLocalized().startsWith("Today, "));
    EXPECT_TRUE(model->createdDateLocalized().startsWith("Yesterday, "));
    file->setModifiedDate(test::local("2011-03-03 14:05"));
    EXPECT_FALSE(model->modifiedDateLocalized().startsWith("Today"));
    EXPECT_TRUE(model->modifiedDateLocalized().contains("11")) << model->modifiedDateLocalized().toStdString();
    file->setModifiedDate(std::nullopt);
    EXPECT_TRUE(model->modifiedDateLocalized().isNull());
    EXPECT_EQ(OVViewModel::make(record<OVImageAlbum>(kCamera), "S")->modifiedDateLocalized(), "");
}

TEST(ViewModel, HiddenChildrenLeaveBothListsUnlessShown)
{
    auto folder = record<OVDirectoryFile>(kRoot + "Download");
    auto model = OVViewModel::make(folder, "S");
    const std::vector<OVFileRef> listing = {record<OVFile>(kRoot + "Download/.nomedia"),
                                            record<OVFile>(kRoot + "Download/a.txt")};
    for (bool show : {false, true}) {
        QSettings().setValue("ShowHiddenFiles", show);
        model->setOVFileChildren(listing);
        EXPECT_EQ(model->childrenViewModels().size(), show ? 2u : 1u);
        EXPECT_EQ(folder->children()->size(), show ? 2u : 1u);
        EXPECT_EQ(model->childrenViewModels().back()->path().toStdString(), kRoot + "Download/a.txt");
        EXPECT_EQ(model->childrenViewModels().back()->serialNumber(), "S");
    }
    QSettings().remove("ShowHiddenFiles");

    auto album = record<OVImageAlbum>(kCamera);
    album->setChildren(std::vector<OVFileRef>{photo(kCamera + ".hidden.jpg"), photo(kCamera + "b.jpg")});
    auto albumModel = OVViewModel::make(album, "S");
    EXPECT_EQ(albumModel->children().size(), 2u);  // made lazily, not filtered
    EXPECT_TRUE(OVViewModel::make(record<OVFile>(kRoot + "x"), "S")->children().empty());
}

TEST(ViewModel, IdentityIsThePathAndACopyIsAPlainModel)
{
    auto a = OVViewModel::make(photo(kCamera + "same.jpg"), "PHONE-A");
    auto b = OVViewModel::make(record<OVVideoFile>(kCamera + "same.jpg"), "PHONE-B");
    EXPECT_TRUE(*a == *b);
    EXPECT_EQ(a->hash(), b->hash());
    EXPECT_FALSE(*a == *OVViewModel::make(photo(kCamera + "other.jpg"), "PHONE-A"));

    auto audio = OVViewModel::make(record<OVAudioFile>(kRoot + "Music/a.mp3"), "S");
    audio->setCachedURL("/tmp/x");
    const auto copy = audio->copy();
    EXPECT_TRUE(copy->isAudio());
    EXPECT_EQ(copy->ovfile(), audio->ovfile());
    EXPECT_TRUE(copy->serialNumber().isEmpty());
    EXPECT_EQ(copy->cachedURL(), "/tmp/x");
}

TEST(ViewModel, RenamingToTheSameNameAsksNothing)
{
    OVDeviceClient client;  // not loaded: any request would fail
    auto model = OVViewModel::make(photo(kCamera + "a.jpg"), "S");
    int calls = 0;
    std::optional<Error> error;
    model->rename(client, "a.jpg", [&](std::optional<Error> e) {
        ++calls;
        error = e;
    });
    model->rename(client, QString(), [&](std::optional<Error> e) {
        ++calls;
        error = e;
    });
    EXPECT_EQ(calls, 2);
    EXPECT_FALSE(error);
    std::vector<OVFileRef> got = {nullptr};
    OVViewModel::make(record<OVFile>(kRoot + "a.txt"), "S")->fetchChildren(client, [&](auto files, auto e) {
        got = files;
        error = e;
    });
    EXPECT_TRUE(got.empty());
    EXPECT_FALSE(error);
}

// --- app-folder icons ---------------------------------------------------------

QByteArray pngOf(int side)
{
    QImage image(side, side, QImage::Format_ARGB32);
    image.fill(Qt::red);
    return thumbnail_images::encodePng(image);
}

class AppIcons : public ::testing::Test {
protected:
    void SetUp() override
    {
        server.route("/drawable/com.example.chat/icon_provided_by_kestrana.png", {200, "image/png", pngOf(96)});
        server.route("/drawable/com.example.slow/icon_provided_by_kestrana.png", {200, "image/png", pngOf(96), true});
        OVAppFolderTable::setIconServer(server.base());
        OVAppFolderTable::setEntries({{"chat", {{"id", "com.example.chat"}}},
                                      {"slow", {{"id", "com.example.slow"}}},
                                      {"named", {{"imagename", "no-such-image"}, {"id", "com.example.chat"}}},
                                      {"plain", {{"name_en", "Plain"}}}});
        OVViewModel::setIconDownloader(&downloader);
    }
    void TearDown() override
    {
        OVViewModel::setIconDownloader(nullptr);
        OVAppFolderTable::setEntries({});
        OVAppFolderTable::setConnectionCheck({});
    }
    test::LocalHttpServer server;
    OVImageDownloader downloader;
};

TEST_F(AppIcons, ADownloadedIconIsCachedDrawnAndAnnounced)
{
    auto model = OVViewModel::make(record<OVDirectoryFile>(kRoot + "Chat"), "S");
    ASSERT_TRUE(model->hasAppIcon());
    int announced = 0;
    QObject::connect(model.get(), &OVViewModel::gotAppIconChanged, [&] { ++announced; });

    OVAppFolderTable::setConnectionCheck([] { return false; });
    model->loadIcon();
    EXPECT_FALSE(model->gotAppIcon());
    EXPECT_EQ(server.requests(), 0);

    OVAppFolderTable::setConnectionCheck([] { return true; });
    model->loadIcon();
    ASSERT_TRUE(qtWaitUntil([&] { return model->gotAppIcon(); }));
    EXPECT_EQ(announced, 2);
    EXPECT_TRUE(model->iconDownloadUUID().isEmpty());
    ASSERT_EQ(server.requests(), 1);
    EXPECT_TRUE(server.requestHeads().front().startsWith("GET /drawable/com.example.chat/icon_provided_by_kestrana.png"));
    EXPECT_FALSE(OVThumbnailCacheCenter::sharedInstance().cachedIconWithAppId("com.example.chat").isNull());

    // The icon lies across the middle, 8 points below the centre, 48 by 48.
    const QImage icon = model->appIcon();
    const QImage folder = app_images::iconFolder();
    ASSERT_EQ(icon.size(), folder.size());
    const int x = (folder.width() - 48) / 2;
    const int yTop = folder.height() - ((folder.height() - 48) / 2 - 8) - 48;
    EXPECT_EQ(icon.pixelColor(x + 24, yTop + 24), QColor(Qt::red));
    EXPECT_NE(icon.pixelColor(x - 2, yTop + 24), QColor(Qt::red));
    EXPECT_EQ(icon.text("name"), "appicon_com.example.chat");

    // A second folder of the same app is served from the cache.
    auto again = OVViewModel::make(record<OVDirectoryFile>(kRoot + "chat"), "S");
    again->loadIcon();
    EXPECT_TRUE(again->gotAppIcon());
    EXPECT_EQ(server.requests(), 1);
}

TEST_F(AppIcons, ANewLoadCancelsTheRunningOneAndAStaleAnswerChangesNothing)
{
    auto model = OVViewModel::make(record<OVDirectoryFile>(kRoot + "Slow"), "S");
    model->loadIcon();
    const QString first = model->iconDownloadUUID();
    ASSERT_TRUE(qtWaitUntil([&] { return server.held() == 1; }));
    model->loadIcon();
    const QString second = model->iconDownloadUUID();
    EXPECT_NE(first, second);
    ASSERT_TRUE(qtWaitUntil([&] { return server.held() == 2; }));
    server.release();
    ASSERT_TRUE(qtWaitUntil([&] { return model->gotAppIcon(); }));
    EXPECT_TRUE(model->iconDownloadUUID().isEmpty());

    model->cancelLoadIcon();  // nothing running: nothing to do
    EXPECT_TRUE(model->iconDownloadUUID().isEmpty());
}

TEST_F(AppIcons, NamedImagesAndFoldersWithoutAnEntry)
{
    auto named = OVViewModel::make(record<OVDirectoryFile>(kRoot + "Named"), "S");
    named->loadIcon();
    EXPECT_TRUE(named->gotAppIcon());  // a missing image still gives the folder
    EXPECT_EQ(named->icon(), app_images::iconFolder());
    EXPECT_EQ(server.requests(), 0);

    auto plain = OVViewModel::make(record<OVDirectoryFile>(kRoot + "Plain"), "S");
    EXPECT_FALSE(plain->hasAppIcon());
    plain->loadIcon();
    EXPECT_FALSE(plain->gotAppIcon());
}

// --- Quick Look ---------------------------------------------------------------

TEST(QuickLook, PlaceholdersCarryNameSizeAndDateInAPrivateFolderPerPhoneFolder)
{
    auto file = photo(kCamera + "IMG_1.jpg");
    file->setSize(2000000);
    file->setModifiedDate(test::local("2015-06-01 08:30"));
    auto model = OVViewModel::make(file, "PHONE/../A");
    model->createQLPreviewItem();
    const QFileInfo placeholder(model->previewItemURL());
    ASSERT_TRUE(placeholder.exists());
    EXPECT_EQ(placeholder.fileName(), "IMG_1.jpg.tmp");
    EXPECT_EQ(placeholder.size(), 2000000);
    EXPECT_EQ(placeholder.lastModified(), QDateTime::fromString("2015-06-01 08:30", "yyyy-MM-dd HH:mm"));
    EXPECT_TRUE(placeholder.absoluteFilePath().startsWith(home.path()));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(placeholder.absolutePath()).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    // Sparse: the size costs no disk.
    ASSERT_EQ(::stat(QFile::encodeName(placeholder.absoluteFilePath()).constData(), &info), 0);
    EXPECT_LT(info.st_blocks * 512, 2000000);
    EXPECT_EQ(model->previewItemTitle(), "IMG_1.jpg");

    // The same name in another folder or on another phone gets its own placeholder.
    auto sameName = OVViewModel::make(photo(kRoot + "Pictures/IMG_1.jpg"), "PHONE/../A");
    sameName->createQLPreviewItem();
    auto otherPhone = OVViewModel::make(photo(kCamera + "IMG_1.jpg"), "B");
    otherPhone->createQLPreviewItem();
    EXPECT_NE(sameName->previewItemURL(), model->previewItemURL());
    EXPECT_NE(otherPhone->previewItemURL(), model->previewItemURL());

    // Made again, it replaces the first; a downloaded copy wins; cleaning removes both.
    model->createQLPreviewItem();
    EXPECT_EQ(model->previewItemURL(), placeholder.absoluteFilePath());
    const QString copy = QFileInfo(placeholder.absolutePath() + "/IMG_1.jpg").absoluteFilePath();
    QFile(copy).open(QIODevice::WriteOnly);
    model->setCachedURL(copy);
    EXPECT_EQ(model->previewItemURL(), copy);
    model->cleanQLPreviewItem();
    EXPECT_FALSE(QFileInfo::exists(copy));
    EXPECT_FALSE(QFileInfo::exists(placeholder.absoluteFilePath()));
    EXPECT_TRUE(QFileInfo::exists(sameName->previewItemURL()));
}

TEST(QuickLook, APlantedLinkIsNeverFollowed)
{
    QTemporaryDir elsewhere;
    auto probe = OVViewModel::make(photo(kCamera + "probe.jpg"), "PROBE");
    probe->createQLPreviewItem();
    const QString root = QFileInfo(QFileInfo(QFileInfo(probe->previewItemURL()).absolutePath()).absolutePath()).absolutePath();
    // Someone plants a link where the next phone's folder would be.
    ASSERT_TRUE(QFile::link(elsewhere.path(), root + "/VICTIM"));
    auto model = OVViewModel::make(photo(kCamera + "x.jpg"), "VICTIM");
    model->createQLPreviewItem();
    EXPECT_TRUE(QDir(elsewhere.path()).isEmpty());
    EXPECT_FALSE(model->previewItemURL().startsWith(elsewhere.path()));
    QFile::remove(root + "/VICTIM");
}

TEST(QuickLook, TheCardShowsTheThumbnailOnWhite)
{
    auto model = OVViewModel::make(photo(kCamera + "card.jpg"), "S");
    EXPECT_EQ(model->previewCard().pixelColor(135, 135).alpha(), 0);  // no thumbnail: an empty card
    QImage thumbnail(100, 100, QImage::Format_RGB32);
    thumbnail.fill(Qt::darkGreen);
    model->setThumbnail(thumbnail);
    const QImage card = model->previewCard();
    EXPECT_EQ(card.size(), QSize(270, 270));
    EXPECT_EQ(card.pixelColor(135, 135), QColor(Qt::darkGreen));
    EXPECT_EQ(card.pixelColor(12, 135), QColor(Qt::white));  // the white margin between 8 and 16
    EXPECT_EQ(card.pixelColor(2, 2).alpha(), 0);
}

TEST(QuickLook, NamesAreUsedLiterally)
{
    auto model = OVViewModel::make(photo(kCamera + "100%%s done.jpg"), "S");
    model->createQLPreviewItem();
    EXPECT_EQ(QFileInfo(model->previewItemURL()).fileName(), "100%%s done.jpg.tmp");
    model->cleanQLPreviewItem();
    OVViewModel::make(photo(kCamera + "never.jpg"), "S")->cleanQLPreviewItem();  // nothing to clean
}

TEST(QuickLook, WhichFilesAreWorthFetchingForAPreview)
{
    const struct {
        OVFileRef file;
        bool worth;
    } cases[] = {{record<OVFile>(kRoot + "notes.TXT"), true},      {record<OVFile>(kRoot + "mail.eml"), true},
                 {record<OVAudioFile>(kRoot + "song.MP3"), true},  {record<OVAudioFile>(kRoot + "song.flac"), false},
                 {record<OVFile>(kRoot + "doc.pdf"), false},       {record<OVDirectoryFile>(kRoot + "a.txt"), false},
                 {photo(kCamera + "x.heic"), true},                {record<OVVideoFile>(kCamera + "v.mkv"), true},
                 {record<OVImageAlbum>(kCamera), true}};
    for (const auto& c : cases)
        EXPECT_EQ(OVViewModel::make(c.file, "S")->canDownloadPreview(), c.worth) << c.file->path();
}

TEST(QuickLook, LocalFilePreviewsArePicturesOrTypeIcons)
{
    QTemporaryDir dir;
    QImage picture(200, 100, QImage::Format_RGB32);
    picture.fill(Qt::blue);
    ASSERT_TRUE(picture.save(dir.filePath("wide.png")));
    QFile text(dir.filePath("notes.xyz"));
    ASSERT_TRUE(text.open(QIODevice::WriteOnly));
    text.write("plain words");
    text.close();

    const QImage preview = quick_look_image::imageWithPreviewOfFileAtPath(dir.filePath("wide.png"), QSize(64, 64), false);
    EXPECT_EQ(preview.size(), QSize(64, 32));
    EXPECT_EQ(preview.pixelColor(32, 16), QColor(Qt::blue));
    EXPECT_LE(quick_look_image::imageWithPreviewOfFileAtPath(dir.filePath("wide.png"), QSize(64, 64), true).width(), 64);

    const QImage icon = quick_look_image::imageWithPreviewOfFileAtPath(dir.filePath("notes.xyz"), QSize(64, 64), true);
    EXPECT_EQ(icon.size(), QSize(64, 64));
    EXPECT_TRUE(quick_look_image::imageWithPreviewOfFileAtPath(QString(), QSize(64, 64), true).isNull());
    EXPECT_TRUE(quick_look_image::imageWithPreviewOfFileAtPath(dir.filePath("missing"), QSize(64, 64), true).isNull());
}

}  // namespace
}  // namespace orv
