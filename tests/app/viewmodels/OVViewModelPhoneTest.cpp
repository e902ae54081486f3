// View models against the simulated phone (thumbnails and the two caches,
// covers, listings, renames and pushed library changes), and the
// turn by the record's orientation, face-centred crops and cover frames.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <atomic>
#include <filesystem>
#include <thread>

#include "MediaRecords.h"
#include "PrivateHome.h"
#include "QtWait.h"
#include "app/viewmodels/AppImages.h"
#include "app/viewmodels/OVFaceDetector.h"
#include "app/viewmodels/OVPhotoAlbumsViewModel.h"
#include "app/viewmodels/OVThumbnailCacheCenter.h"
#include "app/viewmodels/OVViewModel.h"
#include "app/toolkit/NSImage+Resize.h"
#include "app/viewmodels/ThumbnailImages.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/model/OVDirectoryFile.h"
#include "core/bridge/model/OVImageAlbum.h"
#include "core/bridge/model/OVImageFile.h"
#include "core/bridge/facade/OVResources.h"
#include "core/bridge/model/OVVideoDirectory.h"
#include "core/bridge/model/OVVideoFile.h"
#include "phonesim/Simulator.h"
#include "platform/Dispatch.h"
#include "tests/support/ReleasedWork.h"

namespace orv {
namespace {

test::PrivateHome home;

using test::qtWaitUntil;

void setPreference(const char* key, bool value)
{
    QSettings settings;
    settings.setValue(QLatin1String(key), value);
    settings.sync();
}

QByteArray pngBytes(const QImage& image) { return thumbnail_images::encodePng(image); }

OVFile::Data data(const QByteArray& bytes) { return std::make_shared<const std::vector<uint8_t>>(bytes.begin(), bytes.end()); }

// --- against the simulated phone ---------------------------------------------

class WithPhone : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        sim = phonesim::Simulator::start().release();
        setResourceDirectory(sim->resourceDir().string());
        client = new OVDeviceClient;
        std::optional<std::optional<Error>> loaded;
        client->updateWithSerialNumber(sim->serial(), [&](std::optional<Error> e) { loaded = e; });
        ASSERT_TRUE(qtWaitUntil([&] { return loaded.has_value(); }, std::chrono::seconds(60)));
        ASSERT_FALSE(*loaded) << (*loaded)->description();
    }
    static void TearDownTestSuite()
    {
        delete client;
        client = nullptr;
        test::settleReleasedWork();
        delete sim;
        sim = nullptr;
    }
    void SetUp() override
    {
        setPreference("DisableMemThumbnailCache", false);
        setPreference("UseFaceDetection", true);
    }

    static std::vector<OVFileRef> library(bool videos)
    {
        std::optional<OVMediaLibrary> result;
        bool done = false;
        auto callback = [&](std::optional<OVMediaLibrary> r, std::optional<Error>) {
            result = std::move(r);
            done = true;
        };
        if (videos)
            client->fetchVideoLibraryWithCallback(callback);
        else
            client->fetchPhotoLibraryWithCallback(callback);
        EXPECT_TRUE(qtWaitUntil([&] { return done; }));
        return result ? (*result)[videos ? "videos" : "photos"] : std::vector<OVFileRef>{};
    }

    // Loads and waits until the model has settled (picture or error).
    static void loadAndWait(const OVViewModelRef& model)
    {
        model->loadThumbnail(*client);
        ASSERT_TRUE(qtWaitUntil([&] {
            return !model->hasPendingThumbnailRequest() &&
                   (!model->thumbnail().isNull() || !model->thumbnailError().isNull());
        }));
    }

    static inline phonesim::Simulator* sim = nullptr;
    static inline OVDeviceClient* client = nullptr;
};

TEST_F(WithPhone, PhotosAndVideosArriveAndAreServedFromMemoryThenDisk)
{
    auto& cache = OVThumbnailCacheCenter::sharedInstance();
    const QString serial = QString::fromStdString(sim->serial());
    for (bool videos : {false, true}) {
        SCOPED_TRACE(videos ? "video" : "photo");
        const auto records = library(videos);
        ASSERT_FALSE(records.empty());
        auto model = OVViewModel::make(records.front(), serial);
        EXPECT_TRUE(model->thumbnail().isNull());
        int changes = 0;
        QObject::connect(model.get(), &OVViewModel::thumbnailChanged, [&] { ++changes; });
        loadAndWait(model);
        ASSERT_FALSE(model->thumbnail().isNull()) << model->thumbnailError().toStdString();
        EXPECT_TRUE(model->thumbnailError().isNull());
        EXPECT_EQ(model->thumbnail().width(), model->thumbnail().height());
        EXPECT_EQ(changes, 1);
        EXPECT_FALSE(cache.memCachedThumbnail(serial, model->path(), model->modifiedDate()).isNull());
        const QString file = cache.cachedThumbnailURL(serial, model->path(), model->modifiedDate());
        EXPECT_TRUE(QFileInfo::exists(file));

        // A new model of the same file shows the picture at once, from memory.
        auto again = OVViewModel::make(records.front(), serial);
        EXPECT_EQ(again->thumbnail(), model->thumbnail());

        // With the memory side off (as after a restart) the disk serves it, without a request.
        setPreference("DisableMemThumbnailCache", true);
        auto fromDisk = OVViewModel::make(records.front(), serial);
        EXPECT_TRUE(fromDisk->thumbnail().isNull());
        fromDisk->loadThumbnail(*client);
        EXPECT_FALSE(fromDisk->hasPendingThumbnailRequest());
        EXPECT_EQ(fromDisk->thumbnail(), model->thumbnail());
        setPreference("DisableMemThumbnailCache", false);
    }
}

TEST_F(WithPhone, AFileDeletedMeanwhileEndsWithoutAPicture)
{
    const auto records = library(false);
    ASSERT_GE(records.size(), 2u);
    const OVFileRef record = records.back();
    const std::string relative = record->path().substr(std::string("/storage/emulated/legacy/").size());
    std::filesystem::remove(sim->phoneRoot(sim->serial()) / relative);
    auto model = OVViewModel::make(record, QString::fromStdString(sim->serial()));
    loadAndWait(model);
    EXPECT_TRUE(model->thumbnail().isNull());
    EXPECT_FALSE(model->thumbnailError().isEmpty());
    EXPECT_TRUE(OVThumbnailCacheCenter::sharedInstance()
                    .memCachedThumbnail(model->serialNumber(), model->path(), model->modifiedDate())
                    .isNull());
}

TEST_F(WithPhone, ACancelledRequestLeavesTheModelAsItWas)
{
    const auto records = library(false);
    ASSERT_GE(records.size(), 2u);
    // Records of their own with dates nothing has cached, asked for by path.
    auto fresh = [](const OVFileRef& from, int seconds) {
        auto file = std::make_shared<OVImageFile>();
        file->setPath(from->path());
        file->setModifiedDate(std::chrono::system_clock::time_point(std::chrono::seconds(seconds)));
        return file;
    };
    auto model = OVViewModel::make(fresh(records[0], 12345), "S");
    model->loadThumbnail(*client);
    ASSERT_TRUE(model->hasPendingThumbnailRequest());
    model->cancelLoadThumbnail();
    EXPECT_FALSE(model->hasPendingThumbnailRequest());
    // A request queued after it is answered; the cancelled one never is.
    auto other = OVViewModel::make(fresh(records[1], 23456), "S");
    loadAndWait(other);
    EXPECT_FALSE(other->thumbnail().isNull());
    EXPECT_TRUE(model->thumbnail().isNull());
    EXPECT_TRUE(model->thumbnailError().isNull());
}

TEST_F(WithPhone, AlbumCoversAskThePhoneFirstThenTheCache)
{
    std::optional<OVMediaLibrary> result;
    client->fetchPhotoLibraryWithCallback([&](std::optional<OVMediaLibrary> r, std::optional<Error>) { result = r; });
    ASSERT_TRUE(qtWaitUntil([&] { return result.has_value(); }));
    OVPhotoAlbumsViewModel albums(QString::fromStdString(sim->serial()));
    albums.setAlbums((*result)["albums"]);
    ASSERT_GT(albums.totalItemNumber(), 0);
    auto album = albums.itemForIndex(0);
    ASSERT_TRUE(album->isAlbum());
    const QString first = album->childrenViewModels().front()->path();

    // A new album model has no cover path: the phone is asked even if a cover is cached.
    album->loadThumbnail(*client);
    EXPECT_TRUE(album->thumbnail().isNull());
    ASSERT_TRUE(qtWaitUntil([&] { return !album->thumbnail().isNull(); }));
    EXPECT_EQ(album->thumbnailPath(), first);
    const QImage cover = album->thumbnail();
    EXPECT_EQ(cover.size(), app_images::albumFrame(1).size());

    // The same model again: from the cache, at once.
    album->setThumbnail(QImage());
    album->loadThumbnail(*client);
    EXPECT_FALSE(album->thumbnail().isNull());

    // A reload keeps the cover of an album whose first photo is unchanged.
    albums.setAlbums((*result)["albums"]);
    EXPECT_EQ(albums.itemForIndex(0)->thumbnail(), album->thumbnail());

    // Until it is loaded again, an album whose first photo changed shows no cover.
    album->setThumbnailPath("/storage/emulated/legacy/DCIM/elsewhere.jpg");
    EXPECT_TRUE(album->thumbnail().isNull());
}

TEST_F(WithPhone, VideoFolderCoversShowTheFirstVideo)
{
    std::optional<OVMediaLibrary> result;
    client->fetchVideoLibraryWithCallback([&](std::optional<OVMediaLibrary> r, std::optional<Error>) { result = r; });
    ASSERT_TRUE(qtWaitUntil([&] { return result.has_value(); }));
    std::shared_ptr<OVVideoDirectory> folder;
    for (const auto& file : (*result)["otherDirs"]) {
        auto candidate = std::dynamic_pointer_cast<OVVideoDirectory>(file);
        if (candidate && candidate->children() && !candidate->children()->empty())
            folder = candidate;
    }
    ASSERT_TRUE(folder) << "no video folder with videos";
    auto model = OVViewModel::make(folder, QString::fromStdString(sim->serial()));
    model->loadThumbnail(*client);
    ASSERT_TRUE(qtWaitUntil([&] { return !model->thumbnail().isNull(); }));
    EXPECT_EQ(model->thumbnailPath().toStdString(), folder->children()->front()->path());
    // Asked again, the folder's cover comes from the cache at once.
    auto again = OVViewModel::make(folder, QString::fromStdString(sim->serial()));
    again->loadThumbnail(*client);
    EXPECT_FALSE(again->thumbnail().isNull());

    auto empty = std::make_shared<OVVideoDirectory>();
    empty->setPath("/storage/emulated/legacy/Movies/Empty");
    auto bare = OVViewModel::make(empty, "S");
    bare->loadThumbnail(*client);
    EXPECT_EQ(bare->thumbnail(), app_images::albumFrame(1));
}

TEST_F(WithPhone, PushedLibraryChangesUpdateTheAlbumList)
{
    std::optional<OVMediaLibrary> result;
    client->fetchPhotoLibraryWithCallback([&](std::optional<OVMediaLibrary> r, std::optional<Error>) { result = r; });
    ASSERT_TRUE(qtWaitUntil([&] { return result.has_value(); }));
    auto albums = std::make_shared<OVPhotoAlbumsViewModel>(QString::fromStdString(sim->serial()));
    albums->setAlbums((*result)["albums"]);
    const int64_t before = albums->totalItemNumber();

    // Held weakly: a push still queued when the test ends finds nothing.
    std::weak_ptr<OVPhotoAlbumsViewModel> weak = albums;
    client->registerPhotoLibraryChangeWithBlock([weak](const std::optional<OVLibraryChange>& change) {
        auto target = weak.lock();
        if (change && target)
            target->addedOVFiles(change->added, change->deleted);
    });
    QImage picture(64, 48, QImage::Format_RGB32);
    picture.fill(Qt::darkCyan);
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "JPG");
    sim->putFile(sim->serial(), "/sdcard/Pictures/Pushed/new.jpg", std::string_view(jpeg.constData(), size_t(jpeg.size())));
    const bool arrived =
        qtWaitUntil([&] { return albums->albumByPath("/storage/emulated/legacy/Pictures/Pushed") != nullptr; });
    client->registerPhotoLibraryChangeWithBlock({});
    ASSERT_TRUE(arrived);
    EXPECT_EQ(albums->totalItemNumber(), before + 1);
    auto pushed = albums->albumByPath("/storage/emulated/legacy/Pictures/Pushed");
    EXPECT_EQ(pushed->totalItemNumber(), 1);
    EXPECT_EQ(pushed->displayname(), "Pushed");
}

TEST_F(WithPhone, FoldersListTheirChildrenAndFilesAreRenamed)
{
    const std::string folderPath = "/sdcard/Download/Renames";
    sim->putFile(sim->serial(), folderPath + "/before.txt", "words");
    auto folder = std::make_shared<OVDirectoryFile>();
    folder->setPath("/storage/emulated/legacy/Download/Renames");
    auto model = OVViewModel::make(folder, QString::fromStdString(sim->serial()));
    std::optional<std::vector<OVFileRef>> listed;
    model->fetchChildren(*client, [&](std::vector<OVFileRef> files, std::optional<Error> error) {
        EXPECT_FALSE(error);
        listed = std::move(files);
    });
    ASSERT_TRUE(qtWaitUntil([&] { return listed.has_value(); }));
    model->setOVFileChildren(*listed);
    ASSERT_EQ(model->childrenViewModels().size(), 1u);
    auto child = model->childrenViewModels().front();
    EXPECT_EQ(child->rawfilename(), "before.txt");

    std::optional<std::optional<Error>> renamed;
    child->rename(*client, "after.txt", [&](std::optional<Error> error) { renamed = error; });
    ASSERT_TRUE(qtWaitUntil([&] { return renamed.has_value(); }));
    EXPECT_FALSE(*renamed);
    EXPECT_TRUE(std::filesystem::exists(sim->phoneRoot(sim->serial()) / "Download/Renames/after.txt"));
    EXPECT_EQ(child->rawfilename(), "before.txt");  // the caller reloads the listing
}

TEST_F(WithPhone, KindsWithoutThumbnailsAskNothing)
{
    for (OVFileRef file : {OVFileRef(std::make_shared<OVFile>()), OVFileRef(std::make_shared<OVDirectoryFile>())}) {
        file->setPath("/storage/emulated/legacy/Download/doc.pdf");
        auto model = OVViewModel::make(file, "S");
        model->setThumbnailError("old");
        model->loadThumbnail(*client);
        EXPECT_FALSE(model->hasPendingThumbnailRequest());
        EXPECT_TRUE(model->thumbnail().isNull());
        EXPECT_TRUE(model->thumbnailError().isNull());
    }
}

// --- decoding, turning and cropping -----------------------------------------

// Exposes the step that turns the record's bytes into the thumbnail.
class DecodingModel : public OVViewModel {
public:
    using OVViewModel::OVViewModel;
    using OVViewModel::fetchThumbnailDone;
};

TEST(ThumbnailDecoding, TheRecordsOrientationTurnsThePictureUpright)
{
    setPreference("UseFaceDetection", false);
    // A square picture with its top-left quarter red.
    QImage picture(40, 40, QImage::Format_RGB32);
    picture.fill(Qt::white);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 20; ++x)
            picture.setPixelColor(x, y, Qt::red);
    struct Case {
        uint64_t orientation;
        QPoint redQuarter;  // where the red quarter ends up, in quarters
    };
    const Case cases[] = {{0, {0, 0}}, {90, {1, 0}}, {180, {1, 1}}, {270, {0, 1}}};
    int n = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.orientation);
        auto record = std::make_shared<OVImageFile>();
        record->setPath("/storage/emulated/legacy/DCIM/Camera/turn" + std::to_string(n++) + ".jpg");
        record->setModifiedDate(std::chrono::system_clock::time_point(std::chrono::seconds(100)));
        record->setOrientation(c.orientation);
        record->setThumbnail(data(pngBytes(picture)));
        auto model = std::make_shared<DecodingModel>(record, "ROT");
        model->fetchThumbnailDone("ROT");
        ASSERT_TRUE(qtWaitUntil([&] { return !model->thumbnail().isNull(); }));
        const QImage result = model->thumbnail();
        const QPoint probe(c.redQuarter.x() * 20 + 10, c.redQuarter.y() * 20 + 10);
        EXPECT_EQ(result.pixelColor(probe), QColor(Qt::red));
        EXPECT_EQ(result.pixelColor(40 - 1 - probe.x(), 40 - 1 - probe.y()), QColor(Qt::white));
    }
    setPreference("UseFaceDetection", true);
}

TEST(ThumbnailDecoding, AModelGivenAnotherFileMeanwhileKeepsItsPictureOut)
{
    QImage picture(30, 20, QImage::Format_RGB32);
    picture.fill(Qt::magenta);
    auto record = std::make_shared<OVImageFile>();
    record->setPath("/storage/emulated/legacy/DCIM/Camera/swap-old.jpg");
    record->setModifiedDate(std::chrono::system_clock::time_point(std::chrono::seconds(100)));
    record->setThumbnail(data(pngBytes(picture)));
    auto model = std::make_shared<DecodingModel>(record, "SWAP");
    model->fetchThumbnailDone("SWAP");
    model->setOvfile(test::media("/storage/emulated/legacy/DCIM/Camera/swap-new.jpg"));

    // The work finishes for the old file: cached under its path...
    auto& cache = OVThumbnailCacheCenter::sharedInstance();
    ASSERT_TRUE(qtWaitUntil([&] { return !cache.memCachedThumbnail("SWAP", QString::fromStdString(record->path()), record->modifiedDate()).isNull(); }));
    // ...and its hand-over to the main queue, which runs before this marker, leaves the model alone.
    bool marker = false;
    dispatch::Queue::main()->async([&] { marker = true; });
    ASSERT_TRUE(qtWaitUntil([&] { return marker; }));
    EXPECT_TRUE(model->thumbnail().isNull());
}

TEST(ThumbnailDecoding, MissingOrBrokenBytesNameTheFailure)
{
    struct Case {
        QByteArray bytes;
        bool markedFailed;
        const char* error;
    };
    const Case cases[] = {{QByteArray(), true, "APK getThumbnailBitmap failed null error!"},
                          {QByteArray(), false, "APK getThumbnailBitmap failed without null error!"},
                          {QByteArray("not a picture"), false, "Failed to create image from thumbnail data!"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.error);
        auto record = std::make_shared<OVVideoFile>();
        record->setPath("/storage/emulated/legacy/DCIM/Camera/v.mp4");
        record->setModifiedDate(std::chrono::system_clock::time_point(std::chrono::seconds(100)));
        record->setGetThumbnailError(c.markedFailed);
        if (!c.bytes.isNull())
            record->setThumbnail(data(c.bytes));
        auto model = std::make_shared<DecodingModel>(record, "BAD");
        model->fetchThumbnailDone("BAD");
        ASSERT_TRUE(qtWaitUntil([&] { return !model->thumbnailError().isNull(); }));
        EXPECT_EQ(model->thumbnailError(), QLatin1String(c.error));
        EXPECT_TRUE(model->thumbnail().isNull());
    }
}

QImage fixture(const char* name)
{
    const QImage image(QStringLiteral(ORVANE_SOURCE_DIR "/tests/app/viewmodels/fixtures/") + name);
    EXPECT_FALSE(image.isNull()) << name;
    return image;
}

TEST(ThumbnailCrop, AFaceMovesTheSquareOffCentreAndABlankPictureIsCentred)
{
    setPreference("UseFaceDetection", true);
    ASSERT_TRUE(OVFaceDetector::available());
    const QImage portrait = fixture("portrait-left.jpg");
    ASSERT_GT(portrait.width(), portrait.height());
    const auto face = OVFaceDetector::chosenFace(portrait);
    ASSERT_TRUE(face);
    EXPECT_LT(face->center().x(), portrait.width() / 2);
    const QImage crop = OVViewModel::iconImageWithImage(portrait);
    EXPECT_EQ(crop.width(), portrait.height());
    EXPECT_EQ(crop.height(), portrait.height());
    EXPECT_NE(crop, squareImage(portrait));
    EXPECT_EQ(crop, squareImageWithCenterRect(portrait, *face));

    QImage blank(300, 200, QImage::Format_RGB32);
    blank.fill(Qt::gray);
    EXPECT_EQ(OVViewModel::iconImageWithImage(blank), squareImage(blank));

    setPreference("UseFaceDetection", false);
    EXPECT_EQ(OVViewModel::iconImageWithImage(portrait), squareImage(portrait));
    setPreference("UseFaceDetection", true);
}

// Single items are cropped on background threads while covers crop on the
// main thread: each thread has its own detector, so every one of them finds
// the same face as a lone caller does.
TEST(ThumbnailCrop, CropsOnSeveralThreadsAtOnceAgreeWithALoneCrop)
{
    setPreference("UseFaceDetection", true);
    const QImage portrait = fixture("portrait-left.jpg");
    const QImage expected = OVViewModel::iconImageWithImage(portrait);
    ASSERT_NE(expected, squareImage(portrait));
    constexpr int kThreads = 4;
    constexpr int kRounds = 8;
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&] {
            for (int round = 0; round < kRounds; ++round)
                wrong += OVViewModel::iconImageWithImage(portrait) != expected;
        });
    }
    for (int round = 0; round < kRounds; ++round)
        wrong += OVViewModel::iconImageWithImage(portrait) != expected;
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(wrong, 0);
}

TEST(ThumbnailCovers, TheFrameFollowsTheNumberOfItems)
{
    QImage picture(50, 30, QImage::Format_RGB32);
    picture.fill(Qt::green);
    const struct {
        int count;
        int frame;
    } cases[] = {{0, 1}, {1, 1}, {2, 2}, {3, 3}, {5, 3}};
    const QRect top(0, 0, app_images::kFrameWidth, app_images::pictureRect().top() - 10);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.count);
        const QImage cover = OVViewModel::albumCoverWithImage(picture, c.count);
        EXPECT_EQ(cover.copy(top), app_images::albumFrame(c.frame).convertToFormat(cover.format()).copy(top));
        EXPECT_EQ(cover.pixelColor(app_images::pictureRect().center()), QColor(Qt::green));
    }
    const QImage bare = OVViewModel::albumCoverWithImage(QImage(), 0);
    EXPECT_EQ(bare, app_images::albumFrame(1));
}

}  // namespace
}  // namespace orv
