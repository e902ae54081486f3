// The device client as the application uses it: argument checks, the queues
// its blocks arrive on, and a whole session with a simulated phone.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <thread>

#include "PhoneTestSupport.h"
#include "core/bridge/facade/ADBError.h"
#include "core/bridge/model/OVAudioAlbum.h"
#include "core/bridge/model/OVAudioFile.h"
#include "core/bridge/adb/OVADBManager.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/model/OVImageAlbum.h"
#include "core/bridge/model/OVImageFile.h"
#include "core/bridge/model/OVVideoFile.h"
#include "core/bridge/model/OVVisualFile.h"
#include "platform/Thread.h"

namespace orv::test {
namespace {

namespace fs = std::filesystem;

// Where and how often a block ran.
struct Calls {
    int count = 0;
    std::thread::id thread;
    std::optional<Error> error;
    void note(std::optional<Error> e = std::nullopt)
    {
        ++count;
        thread = std::this_thread::get_id();
        error = std::move(e);
    }
};

std::shared_ptr<OVFile> aFile(const std::string& path)
{
    auto file = std::make_shared<OVImageFile>();
    file->setPath(path);
    file->setName(fs::path(path).filename().string());
    return file;
}

// Argument errors come at once, on the caller's thread, with code 0 and the
// fixed message; nothing is queued and no other block runs.
TEST(OVDeviceClientArguments, BadArgumentsFailAtOnceOnTheCallersThread)
{
    OVDeviceClient client;
    const auto folder = OVDeviceClient::downloadDir();
    const auto file = aFile("/storage/emulated/legacy/download/a.jpg");
    const HostURL local = HostURL::fileURLWithPath("/tmp");
    const HostURL remote = HostURL::URLWithString("https://example.invalid/x");
    auto album = std::make_shared<OVImageAlbum>();

    Calls finish;
    int others = 0;
    auto analysis = [&](uint64_t, uint64_t) { ++others; };
    auto deleteProgress = [&](const OVFileRef&, std::atomic<bool>&) { ++others; };
    auto downloadProgress = [&](const OVFileRef&, int64_t, int64_t, int64_t) { return ++others > 0; };
    auto uploadProgress = [&](const HostURL&, int64_t, int64_t, int64_t) { return ++others > 0; };
    auto preupload = [&](const std::string&, const std::string&, int64_t&) { ++others; };
    auto postupload = [&](const std::string&, bool) { ++others; };
    auto onError = [&](std::optional<Error> e) { finish.note(e); };
    bool cancelledFlag = false;
    auto onDownload = [&](std::optional<Error> e, bool cancelled) {
        cancelledFlag = cancelled;
        finish.note(e);
    };
    uint64_t pushed = 99;
    auto onUpload = [&](std::optional<Error> e, uint64_t count, bool cancelled) {
        pushed = count;
        cancelledFlag = cancelled;
        finish.note(e);
    };

    const std::vector<std::pair<std::string, std::function<OVDeviceClient::OperationRef()>>> calls = {
        {"delete nothing", [&] { return client.deleteOVFiles({}, true, analysis, deleteProgress, onError); }},
        {"delete nothing, short form", [&] { return client.deleteOVFiles({}, analysis, deleteProgress, onError); }},
        {"rename no file", [&] { return client.renameFile(nullptr, "x", onError); }},
        {"download nothing", [&] { return client.downloadFiles({}, local, analysis, downloadProgress, onDownload); }},
        {"download to a web address",
         [&] { return client.downloadFiles({file}, remote, analysis, downloadProgress, onDownload); }},
        {"download no albums", [&] { return client.downloadAlbums({}, local, analysis, downloadProgress, onDownload); }},
        {"download albums to a web address",
         [&] { return client.downloadAlbums({album}, remote, analysis, downloadProgress, onDownload); }},
        {"upload nothing",
         [&] {
             return client.uploadFiles({}, folder, false, analysis, preupload, uploadProgress, postupload, onUpload);
         }},
        {"upload a web address",
         [&] {
             return client.uploadFiles({remote}, folder, false, analysis, preupload, uploadProgress, postupload,
                                       onUpload);
         }},
        {"upload nowhere",
         [&] {
             return client.uploadFiles({local}, nullptr, false, analysis, preupload, uploadProgress, postupload,
                                       onUpload);
         }},
        {"upload into a file",
         [&] {
             return client.uploadFiles({local}, file, false, analysis, preupload, uploadProgress, postupload,
                                       onUpload);
         }},
    };
    for (const auto& [what, call] : calls) {
        finish = {};
        pushed = 99;
        EXPECT_EQ(call(), nullptr) << what;
        ASSERT_EQ(finish.count, 1) << what;
        EXPECT_EQ(finish.thread, std::this_thread::get_id()) << what;
        ASSERT_TRUE(finish.error) << what;
        EXPECT_EQ(finish.error->domain, kADBErrorDomain) << what;
        EXPECT_EQ(finish.error->code, 0) << what;
        EXPECT_EQ(finish.error->message, "无效的参数") << what;
        EXPECT_FALSE(cancelledFlag) << what;
        EXPECT_EQ(pushed == 0 || pushed == 99, true) << what;
    }
    EXPECT_EQ(others, 0);
    EXPECT_EQ(client.adbManager()->adbOperationQueue().operationCount(), 0u);
    drainMainQueue();
    EXPECT_EQ(others, 0);
}

TEST(OVDeviceClientArguments, AFreshClientHasAnEmptyRecordAndNoPhone)
{
    OVDeviceClient client;
    EXPECT_EQ(client.device()->adbStatus(), OVDevice::StatusNone);
    EXPECT_EQ(client.serialNumber(), "");

    // Without a serial a deletion refuses at once on the caller's thread ...
    Calls deletion;
    EXPECT_EQ(client.deleteOVFiles({aFile("/storage/emulated/legacy/a.jpg")}, nullptr, nullptr,
                                   [&](std::optional<Error> e) { deletion.note(e); }),
              nullptr);
    ASSERT_EQ(deletion.count, 1);
    EXPECT_EQ(deletion.thread, std::this_thread::get_id());
    EXPECT_EQ(deletion.error->code, ADBErrorNotConnected);

    // ... while a rename and a download refuse on the main queue.
    Calls rename;
    Calls download;
    EXPECT_EQ(client.renameFile(aFile("/storage/emulated/legacy/a.jpg"), "b.jpg",
                                [&](std::optional<Error> e) { rename.note(e); }),
              nullptr);
    EXPECT_EQ(client.downloadFiles({aFile("/storage/emulated/legacy/a.jpg")}, HostURL::fileURLWithPath("/tmp"),
                                   nullptr, nullptr, [&](std::optional<Error> e, bool) { download.note(e); }),
              nullptr);
    EXPECT_EQ(rename.count + download.count, 0);
    ASSERT_TRUE(waitFor([&] { return rename.count == 1 && download.count == 1; }));
    EXPECT_EQ(rename.thread, std::this_thread::get_id());  // the test runs on the main thread
    EXPECT_EQ(rename.error->code, ADBErrorNotConnected);
    EXPECT_EQ(download.error->code, ADBErrorNotConnected);

    // An empty serial is refused by the load.
    Calls load;
    EXPECT_EQ(client.updateWithSerialNumber("", [&](std::optional<Error> e) { load.note(e); }), nullptr);
    ASSERT_TRUE(waitFor([&] { return load.count == 1; }));
    EXPECT_EQ(load.error->code, ADBErrorInvalidArgument);
}

TEST(OVDeviceClientURL, FileURLsAreParsedAndOthersRefused)
{
    struct Case {
        std::string text;
        bool file;
        std::string path;
    };
    const std::vector<Case> cases = {
        {"file:///home/me/Photos%20from%20phone/", true, "/home/me/Photos from phone/"},
        {"file://localhost/tmp/x", true, "/tmp/x"},
        {"FILE:///tmp", true, "/tmp"},
        {"file://server/share", false, ""},
        {"https://example.invalid/x", false, "//example.invalid/x"},
        {"/tmp/no-scheme", false, ""},
        {"file:", false, ""},
    };
    for (const auto& c : cases) {
        const HostURL url = HostURL::URLWithString(c.text);
        EXPECT_EQ(url.isFileURL(), c.file) << c.text;
        EXPECT_EQ(url.path(), c.path) << c.text;
    }
    EXPECT_TRUE(HostURL::fileURLWithPath("/a b").isFileURL());
}

// A whole session through one client: load, watch, list, download, upload,
// rename, delete, library and thumbnails, a push, and an unplug.
class OVDeviceClientSessionTest : public PhoneTest {
protected:
    void TearDown() override
    {
        sim().replug(serial);
        client.reset();  // cancels what is queued and ends what runs
        PhoneTest::TearDown();
    }

    // Generous: on a loaded machine the keep-alive connection may be rebuilt
    // (20 s later) in the middle of the session, which the session survives.
    template <class Done>
    void wait(Done done)
    {
        ASSERT_TRUE(waitFor(done));
    }

    std::unique_ptr<OVDeviceClient> client = std::make_unique<OVDeviceClient>();
};

TEST_F(OVDeviceClientSessionTest, LoadBrowseTransferRenameDeleteAndUnplug)
{
    const auto mainThread = std::this_thread::get_id();

    // Load.
    Calls load;
    client->updateWithSerialNumber(serial, [&](std::optional<Error> e) { load.note(e); });
    wait([&] { return load.count == 1; });
    ASSERT_FALSE(load.error) << load.error->description();
    EXPECT_EQ(load.thread, mainThread);
    EXPECT_EQ(client->serialNumber(), serial);
    EXPECT_EQ(client->device()->friendlyName(), "Simulated Phone");
    EXPECT_EQ(client->device()->adbStatus(), OVDevice::StatusDevice);

    // Pushed device information and folder changes.
    std::vector<std::string> cameraEvents;
    std::thread::id cameraThread;
    client->registerDirectoryChange(OVDeviceClient::cameraDir(), [&](const std::string& event, const std::string& path) {
        cameraThread = std::this_thread::get_id();
        cameraEvents.push_back(event + " " + path);
    });
    client->registerDirectoryChange(aFile(storage("DCIM/Camera/x.jpg")), [&](const std::string&, const std::string&) {
        ADD_FAILURE() << "a file is never watched";
    });
    wait([&] {
        auto connections = sim().keepAlive(serial);
        return connections.size() == 1 && connections[0]["watches"].size() == 1;
    });
    // The record holds the new level by the time the block runs. The block
    // is in place before the change, whose push may come at once.
    Calls info;
    int batteryInBlock = 0;
    client->registerDeviceInfoChangeWithBlock([&](const nlohmann::json&, std::optional<Error> e) {
        batteryInBlock = static_cast<int>(client->device()->battery());
        info.note(e);
    });
    sim().set(serial, "battery", "42");
    wait([&] { return batteryInBlock == 42; });
    EXPECT_EQ(info.thread, mainThread);

    // List.
    Calls listing;
    std::vector<OVFileRef> camera;
    client->filesInDirectory(OVDeviceClient::cameraDir(), [&](std::vector<OVFileRef> files, std::optional<Error> e) {
        camera = std::move(files);
        listing.note(e);
    });
    wait([&] { return listing.count == 1; });
    EXPECT_EQ(listing.thread, mainThread);
    auto photo = std::find_if(camera.begin(), camera.end(), [](const OVFileRef& f) { return f->className() == std::string("OVImageFile"); });
    ASSERT_NE(photo, camera.end());

    // Download.
    TemporaryFolder host;
    Calls download;
    client->downloadFiles({*photo}, HostURL::fileURLWithPath(host.path().string()), nullptr, nullptr,
                          [&](std::optional<Error> e, bool) { download.note(e); });
    wait([&] { return download.count == 1; });
    ASSERT_FALSE(download.error);
    EXPECT_EQ(download.thread, mainThread);
    const fs::path pulled = host.path() / (*photo)->name();
    ASSERT_TRUE(fs::exists(pulled));
    EXPECT_EQ(fs::file_size(pulled), (*photo)->size());

    // Upload into a folder of its own, under another name.
    const fs::path renamedLocal = host.path() / "from computer.jpg";
    fs::copy_file(pulled, renamedLocal);
    auto target = std::make_shared<OVDirectoryFile>();
    target->setPath(storage("Session/"));
    target->setName("Session");
    Calls upload;
    uint64_t pushed = 0;
    std::thread::id postThread;
    std::vector<HostURL> progressFiles;
    client->uploadFiles(
        {HostURL::fileURLWithPath(renamedLocal.string())}, target, true, nullptr, nullptr,
        [&](const HostURL& file, int64_t, int64_t, int64_t) {
            progressFiles.push_back(file);
            return true;
        },
        [&](const std::string&, bool) { postThread = std::this_thread::get_id(); },
        [&](std::optional<Error> e, uint64_t count, bool) {
            pushed = count;
            upload.note(e);
        });
    wait([&] { return upload.count == 1; });
    ASSERT_FALSE(upload.error) << upload.error->description();
    EXPECT_EQ(upload.thread, mainThread);
    EXPECT_NE(postThread, mainThread);
    EXPECT_EQ(pushed, 1u);
    for (const auto& file : progressFiles)
        EXPECT_EQ(file, HostURL::fileURLWithPath(renamedLocal.string()));
    EXPECT_TRUE(fs::exists(phoneRoot() / "Session" / "from computer.jpg"));

    // Rename what arrived, then delete it.
    Calls sessionListing;
    std::vector<OVFileRef> session;
    client->filesInDirectory(target, [&](std::vector<OVFileRef> files, std::optional<Error> e) {
        session = std::move(files);
        sessionListing.note(e);
    });
    wait([&] { return sessionListing.count == 1; });
    ASSERT_EQ(session.size(), 1u);
    Calls rename;
    client->renameFile(session[0], "renamed.jpg", [&](std::optional<Error> e) { rename.note(e); });
    wait([&] { return rename.count == 1; });
    ASSERT_FALSE(rename.error);
    EXPECT_EQ(rename.thread, mainThread);
    EXPECT_EQ(session[0]->path(), storage("Session/renamed.jpg"));

    Calls deletion;
    std::optional<std::pair<uint64_t, uint64_t>> analysed;
    client->deleteOVFiles(
        {session[0]}, true, [&](uint64_t files, uint64_t bytes) { analysed = std::make_pair(files, bytes); },
        nullptr, [&](std::optional<Error> e) { deletion.note(e); });
    wait([&] { return deletion.count == 1; });
    ASSERT_FALSE(deletion.error);
    EXPECT_EQ(deletion.thread, mainThread);
    EXPECT_EQ(analysed, std::make_pair(uint64_t(1), uint64_t((*photo)->size())));
    EXPECT_FALSE(fs::exists(phoneRoot() / "Session" / "renamed.jpg"));

    // Library and thumbnails.
    Calls library;
    std::vector<OVFileRef> photos;
    client->fetchPhotoLibraryWithCallback([&](std::optional<OVMediaLibrary> result, std::optional<Error> e) {
        if (result)
            photos = (*result)["photos"];
        library.note(e);
    });
    wait([&] { return library.count == 1; });
    ASSERT_FALSE(library.error);
    EXPECT_EQ(library.thread, mainThread);
    ASSERT_FALSE(photos.empty());
    photos.resize(std::min<size_t>(photos.size(), 3));
    Calls thumbnails;
    client->thumbnailsForImages(photos, [&](std::optional<Error> e) { thumbnails.note(e); });
    wait([&] { return thumbnails.count == 1; });
    ASSERT_FALSE(thumbnails.error);
    EXPECT_EQ(thumbnails.thread, mainThread);
    for (const auto& record : photos)
        EXPECT_TRUE(std::static_pointer_cast<OVImageFile>(record)->thumbnail()) << record->path();

    // A new photo in the camera folder is pushed to the watch.
    sim().putFile(serial, "/sdcard/DCIM/Camera/session.jpg", "not really a picture");
    wait([&] {
        return std::find(cameraEvents.begin(), cameraEvents.end(),
                         "CREATE /storage/emulated/legacy/DCIM/Camera/session.jpg") != cameraEvents.end();
    });
    EXPECT_EQ(cameraThread, mainThread);

    // Unplugged: a transfer now fails instead of passing for done.
    sim().unplug(serial);
    Calls lost;
    client->downloadFiles({*photo}, HostURL::fileURLWithPath((host.path() / "again").string()), nullptr, nullptr,
                          [&](std::optional<Error> e, bool) { lost.note(e); });
    wait([&] { return lost.count == 1; });
    EXPECT_TRUE(lost.error);
    EXPECT_EQ(lost.thread, mainThread);
}


// The client's plain forwarders, each called through the client against a
// loaded phone: the right manager method answers (a library of the asked
// kind, a thumbnail request of the asked type), and only later, on the main
// queue.
class OVDeviceClientForwardingTest : public PhoneTest {
protected:
    void SetUp() override
    {
        PhoneTest::SetUp();
        Calls load;
        client->updateWithSerialNumber(serial, [&](std::optional<Error> e) { load.note(e); });
        ASSERT_TRUE(waitFor([&] { return load.count == 1; }));
        ASSERT_FALSE(load.error) << load.error->description();
        sim().clearLog();
    }
    void TearDown() override
    {
        client.reset();  // cancels what is queued and ends what runs
        PhoneTest::TearDown();
    }

    // The library the client answers, with checks that it came once, after
    // the call returned, on the main thread, without an error.
    OVMediaLibrary library(OVDeviceClient::OperationRef (OVDeviceClient::*fetch)(OVDeviceClient::LibraryCallback))
    {
        Calls calls;
        std::optional<OVMediaLibrary> result;
        ((*client).*fetch)([&](std::optional<OVMediaLibrary> library, std::optional<Error> e) {
            result = std::move(library);
            calls.note(e);
        });
        EXPECT_EQ(calls.count, 0) << "answered on the caller's stack";
        EXPECT_TRUE(waitFor([&] { return calls.count > 0; }));
        drainMainQueue();
        EXPECT_EQ(calls.count, 1);
        EXPECT_EQ(calls.thread, std::this_thread::get_id());
        EXPECT_FALSE(calls.error) << calls.error->description();
        return result.value_or(OVMediaLibrary{});
    }

    // The listed records of one class in a phone folder.
    std::vector<OVFileRef> listed(const std::shared_ptr<OVDirectoryFile>& folder, const std::string& className)
    {
        std::vector<OVFileRef> files;
        bool done = false;
        client->filesInDirectory(folder, [&](std::vector<OVFileRef> found, std::optional<Error>) {
            files = std::move(found);
            done = true;
        });
        EXPECT_TRUE(waitFor([&] { return done; }));
        std::erase_if(files, [&](const OVFileRef& f) { return f->className() != className; });
        return files;
    }

    // (command, type) of each companion request the phone received.
    std::set<std::pair<int, int>> companionRequests()
    {
        std::set<std::pair<int, int>> requests;
        for (const auto& entry : sim().log(serial, "companion"))
            requests.emplace(entry.at("cmd").get<int>(), entry.at("type").get<int>());
        return requests;
    }

    std::unique_ptr<OVDeviceClient> client = std::make_unique<OVDeviceClient>();
};

std::vector<OVFileRef> firstFew(std::vector<OVFileRef> files)
{
    files.resize(std::min<size_t>(files.size(), 3));
    return files;
}

std::shared_ptr<const std::vector<uint8_t>> thumbnailOf(const OVFileRef& file)
{
    if (auto visual = std::dynamic_pointer_cast<OVVisualFile>(file))
        return visual->thumbnail();
    if (auto album = std::dynamic_pointer_cast<OVAudioAlbum>(file))
        return album->thumbnail();
    return nullptr;
}

TEST_F(OVDeviceClientForwardingTest, LibrariesAndThumbnailsComeFromTheAskedKind)
{
    // Each library names its own lists and holds records of its own classes.
    const OVMediaLibrary videos = library(&OVDeviceClient::fetchVideoLibraryWithCallback);
    const OVMediaLibrary music = library(&OVDeviceClient::fetchAudioLibraryWithCallback);
    struct Shelf {
        const char* what;
        const OVMediaLibrary& library;
        const char* key;
        const char* className;
    };
    for (const Shelf& shelf : {Shelf{"videos", videos, "videos", "OVVideoFile"},
                               Shelf{"video folders", videos, "otherDirs", "OVVideoDirectory"},
                               Shelf{"songs", music, "songs", "OVAudioFile"},
                               Shelf{"music albums", music, "albums", "OVAudioAlbum"}}) {
        auto it = shelf.library.find(shelf.key);
        ASSERT_NE(it, shelf.library.end()) << shelf.what;
        ASSERT_FALSE(it->second.empty()) << shelf.what;
        for (const auto& record : it->second)
            EXPECT_EQ(record->className(), std::string(shelf.className)) << shelf.what << " " << record->path();
    }

    // Thumbnails: each request reaches the phone with its own command and
    // type, and the records hold pictures when the block runs.
    constexpr int kById = 0x08;
    constexpr int kByPath = 0x01;
    struct Case {
        const char* what;
        std::vector<OVFileRef> records;
        std::function<OVDeviceClient::OperationRef(const std::vector<OVFileRef>&, OVDeviceClient::ErrorCallback)> ask;
        std::pair<int, int> request;
    };
    const std::vector<Case> cases = {
        {"videos by id", firstFew(videos.at("videos")),
         [&](auto& records, auto block) { return client->thumbnailsForVideos(records, block); }, {kById, 2}},
        {"album covers by id", firstFew(music.at("albums")),
         [&](auto& records, auto block) { return client->thumbnailsAudioAlbums(records, block); }, {kById, 3}},
        {"pictures by path", firstFew(listed(OVDeviceClient::cameraDir(), "OVImageFile")),
         [&](auto& records, auto block) { return client->thumbnailsForImageFiles(records, block); }, {kByPath, 1}},
        {"videos by path", firstFew(listed(OVDeviceClient::cameraDir(), "OVVideoFile")),
         [&](auto& records, auto block) { return client->thumbnailsForVideoFiles(records, block); }, {kByPath, 2}},
    };
    for (const auto& c : cases) {
        ASSERT_FALSE(c.records.empty()) << c.what;
        for (const auto& record : c.records)
            ASSERT_FALSE(thumbnailOf(record)) << c.what << " " << record->path();
        sim().clearLog();
        Calls calls;
        EXPECT_NE(c.ask(c.records, [&](std::optional<Error> e) { calls.note(e); }), nullptr) << c.what;
        EXPECT_EQ(calls.count, 0) << c.what << ": answered on the caller's stack";
        ASSERT_TRUE(waitFor([&] { return calls.count > 0; })) << c.what;
        drainMainQueue();
        EXPECT_EQ(calls.count, 1) << c.what;
        EXPECT_EQ(calls.thread, std::this_thread::get_id()) << c.what;
        EXPECT_FALSE(calls.error) << c.what << ": " << calls.error->description();
        for (const auto& record : c.records)
            EXPECT_TRUE(thumbnailOf(record)) << c.what << " " << record->path();
        const auto requests = companionRequests();
        EXPECT_TRUE(requests.count(c.request)) << c.what;
        const std::pair<int, int> otherKind = {c.request.first == kById ? kByPath : kById, c.request.second};
        EXPECT_FALSE(requests.count(otherKind)) << c.what;
    }
}

TEST_F(OVDeviceClientForwardingTest, LibraryChangesReachTheBlockOfTheirKind)
{
    struct Seen {
        std::vector<std::string> added;
        bool offMain = false;
    };
    // Shared with the blocks, which the client keeps beyond this test's body.
    auto shared = std::make_shared<std::map<std::string, Seen>>();
    auto& seen = *shared;
    auto recorder = [&](const std::string& kind) {
        return [shared, kind](const std::optional<OVLibraryChange>& change) {
            if (!change)
                return;  // a coalesced refresh, which these files do not cause
            Seen& s = (*shared)[kind];
            s.offMain = s.offMain || !isMainThread();
            for (const auto& record : change->added)
                s.added.push_back(record->path());
        };
    };
    client->registerPhotoLibraryChangeWithBlock(recorder("photos"));
    client->registerVideoLibraryChangeWithBlock(recorder("videos"));
    client->registerAudioLibraryChangeWithBlock(recorder("music"));
    ASSERT_TRUE(waitFor([&] { return sim().keepAlive(serial).size() == 1; }));

    // Real media bytes, so the phone's library takes each file in.
    auto bytesOf = [&](const std::string& relative) {
        std::ifstream in(phoneRoot() / relative, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    struct Case {
        const char* kind;
        std::string example;  // a file of that kind already on the phone
        std::string added;    // where the new one goes, below the storage root
    };
    const std::vector<Case> cases = {
        {"photos", "Download/wallpaper.jpg", "DCIM/Camera/forwarded.jpg"},
        {"videos", "Movies/Holiday.mp4", "Movies/forwarded.mp4"},
        {"music", "Music/voice memo.mp3", "Music/forwarded.mp3"},
    };
    for (const auto& c : cases) {
        const std::string bytes = bytesOf(c.example);
        ASSERT_FALSE(bytes.empty()) << c.example;
        sim().putFile(serial, "/sdcard/" + c.added, bytes);
        const std::string path = storage(c.added);
        ASSERT_TRUE(waitFor([&] {
            const auto& added = seen[c.kind].added;
            return std::find(added.begin(), added.end(), path) != added.end();
        })) << c.kind;
    }
    drainMainQueue();
    for (const auto& c : cases) {
        EXPECT_FALSE(seen[c.kind].offMain) << c.kind;
        for (const auto& [kind, s] : seen) {
            if (kind == c.kind)
                continue;
            EXPECT_EQ(std::count(s.added.begin(), s.added.end(), storage(c.added)), 0)
                << c.added << " reached the " << kind << " block";
        }
    }
    for (const auto& c : cases)
        sim().shell(serial, "rm -f '/sdcard/" + c.added + "'");
}

// The counts, through a client whose manager knows the phone's serial: each
// standard folder's regular files, as the phone's own find would count them.
class OVDeviceClientCountTest : public PhoneTest {};

TEST_F(OVDeviceClientCountTest, EachCountIsItsFolderOnTheMainQueue)
{
    using Count = OVDeviceClient::OperationRef (OVDeviceClient::*)(OVDeviceClient::CountCallback);
    struct Case {
        const char* what;
        Count count;
        std::string folder;  // below the phone's storage root
    };
    const std::vector<Case> cases = {
        {"root", &OVDeviceClient::countFilesInRoot, ""},
        {"download", &OVDeviceClient::countFilesInDownload, "Download"},
        {"audio", &OVDeviceClient::countFilesInAudio, "Music"},
        {"video", &OVDeviceClient::countFilesInVideo, "DCIM"},
    };
    std::set<int64_t> distinct;
    for (const auto& c : cases)
        distinct.insert(countLikeFind(phoneRoot() / c.folder));
    ASSERT_EQ(distinct.size(), cases.size()) << "the phone's folders must differ to tell the counts apart";

    struct Answer {
        Calls calls;
        int64_t value = -1;
    };
    auto ask = [](OVDeviceClient& client, Count count, Answer& answer) {
        return (client.*count)([&answer](int64_t value, std::optional<Error> e) {
            answer.value = value;
            answer.calls.note(e);
        });
    };

    OVDeviceClient client;
    client.adbManager()->setSerialNumber(serial);
    for (const auto& c : cases) {
        Answer answer;
        EXPECT_NE(ask(client, c.count, answer), nullptr) << c.what;
        EXPECT_EQ(answer.calls.count, 0) << c.what << ": answered on the caller's stack";
        ASSERT_TRUE(waitFor([&] { return answer.calls.count > 0; })) << c.what;
        drainMainQueue();
        EXPECT_EQ(answer.calls.count, 1) << c.what;
        EXPECT_EQ(answer.calls.thread, std::this_thread::get_id()) << c.what;
        EXPECT_FALSE(answer.calls.error) << c.what;
        EXPECT_EQ(answer.value, countLikeFind(phoneRoot() / c.folder)) << c.what;
    }

    // Without a serial each count refuses with code 2, later, on the main queue.
    OVDeviceClient unplugged;
    for (const auto& c : cases) {
        Answer answer;
        EXPECT_EQ(ask(unplugged, c.count, answer), nullptr) << c.what;
        EXPECT_EQ(answer.calls.count, 0) << c.what;
        ASSERT_TRUE(waitFor([&] { return answer.calls.count > 0; })) << c.what;
        EXPECT_EQ(answer.calls.thread, std::this_thread::get_id()) << c.what;
        ASSERT_TRUE(answer.calls.error) << c.what;
        EXPECT_EQ(answer.calls.error->code, ADBErrorNotConnected) << c.what;
        EXPECT_EQ(answer.value, 0) << c.what;
    }
}

}  // namespace
}  // namespace orv::test
