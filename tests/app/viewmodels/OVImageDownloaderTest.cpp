// The image downloader against a local HTTP server: success, error pages,
// time-out, oversized bodies, cancelling, and the table of running downloads.

#include "app/viewmodels/OVImageDownloader.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>
#include <QThread>
#include <mutex>

#include "LocalHttpServer.h"
#include "QtWait.h"
#include "app/viewmodels/ThumbnailImages.h"

namespace orv {
namespace {

using test::LocalHttpServer;
using test::qtWaitUntil;

QByteArray png(int width = 4, int height = 4)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::blue);
    return thumbnail_images::encodePng(image);
}

// Callbacks arrive on the downloader's thread; they are collected here.
struct Results {
    struct Result {
        QUrl url;
        QString uuid;
        QByteArray data;
        bool onMainThread;
    };
    std::mutex mutex;
    std::vector<Result> list;

    OVImageDownloader::Callback callback()
    {
        return [this](const QUrl& url, const QString& uuid, const QByteArray& data) {
            std::lock_guard lock(mutex);
            list.push_back({url, uuid, data, QThread::currentThread() == qApp->thread()});
        };
    }
    size_t count()
    {
        std::lock_guard lock(mutex);
        return list.size();
    }
    Result at(size_t i)
    {
        std::lock_guard lock(mutex);
        return list.at(i);
    }
};

TEST(ImageDownloader, AnswersByWhetherTheBodyIsAnImage)
{
    LocalHttpServer server;
    const QByteArray image = png();
    server.route("/ok.png", {200, "image/png", image});
    server.route("/404.png", {404, "image/png", image});
    server.route("/404.html", {404, "text/html", "<html>gone</html>"});
    server.route("/empty.png", {200, "image/png", ""});
    server.route("/zero.png", {200, "image/png", QByteArray("\x89PNG\r\n\x1a\n", 8)});

    struct Case {
        const char* path;
        bool expectData;
    };
    const Case cases[] = {{"/ok.png", true}, {"/404.png", true}, {"/404.html", false}, {"/empty.png", false},
                          {"/zero.png", false}, {"/unknown", false}};
    OVImageDownloader downloader;
    Results results;
    for (const auto& c : cases)
        downloader.downloadImage(QUrl(server.base() + c.path), QString::fromLatin1(c.path), results.callback());
    ASSERT_TRUE(qtWaitUntil([&] { return results.count() == std::size(cases); }));
    for (size_t i = 0; i < results.count(); ++i) {
        const auto result = results.at(i);
        const auto c = std::find_if(std::begin(cases), std::end(cases),
                                    [&](const Case& k) { return result.uuid == QLatin1String(k.path); });
        ASSERT_NE(c, std::end(cases));
        SCOPED_TRACE(c->path);
        EXPECT_EQ(!result.data.isEmpty(), c->expectData);
        if (c->expectData) {
            EXPECT_EQ(result.data, image);
        }
        EXPECT_EQ(result.url, QUrl(server.base() + c->path));
        EXPECT_FALSE(result.onMainThread);
    }
    // Finished downloads leave the table.
    EXPECT_EQ(downloader.runningCount(), 0u);
    const QByteArray head = server.requestHeads().front();
    EXPECT_TRUE(head.startsWith("GET /"));
    EXPECT_TRUE(head.contains("\r\nUser_Agent: " + OVImageDownloader::userAgent().toUtf8())) << head.toStdString();
}

TEST(ImageDownloader, AnInvalidAddressAnswersAtOnceWithNothing)
{
    OVImageDownloader downloader;
    Results results;
    downloader.downloadImage(QUrl(), "x", results.callback());
    ASSERT_EQ(results.count(), 1u);
    EXPECT_TRUE(results.at(0).url.isEmpty());
    EXPECT_TRUE(results.at(0).uuid.isNull());
    EXPECT_TRUE(results.at(0).data.isNull());
    EXPECT_TRUE(results.at(0).onMainThread);
}

TEST(ImageDownloader, AServerThatNeverAnswersTimesOut)
{
    LocalHttpServer server;
    server.route("/stall.png", {200, "image/png", png(), true});
    OVImageDownloader downloader(300);
    Results results;
    downloader.downloadImage(QUrl(server.base() + "/stall.png"), "stall", results.callback());
    ASSERT_TRUE(qtWaitUntil([&] { return results.count() == 1; }));
    EXPECT_TRUE(results.at(0).data.isNull());
    server.release();
}

TEST(ImageDownloader, AnOversizedBodyIsCutOffAndGivesNothing)
{
    LocalHttpServer server;
    LocalHttpServer::Answer huge;
    huge.endlessBytes = 16 * OVImageDownloader::kMaxBodyBytes;
    server.route("/huge.png", huge);
    OVImageDownloader downloader;
    Results results;
    downloader.downloadImage(QUrl(server.base() + "/huge.png"), "huge", results.callback());
    ASSERT_TRUE(qtWaitUntil([&] { return results.count() == 1; }));
    EXPECT_TRUE(results.at(0).data.isNull());
}

TEST(ImageDownloader, ACancelledDownloadNeverAnswersEvenWhenTheServerLaterDoes)
{
    LocalHttpServer server;
    server.route("/slow.png", {200, "image/png", png(), true});
    server.route("/fast.png", {200, "image/png", png()});
    Results results;
    {
        OVImageDownloader downloader;
        downloader.downloadImage(QUrl(server.base() + "/slow.png"), "slow", results.callback());
        ASSERT_TRUE(qtWaitUntil([&] { return server.held() == 1; }));
        downloader.cancelDownloadImageWithUUID("slow");
        downloader.cancelDownloadImageWithUUID("never-started");
        EXPECT_EQ(downloader.runningCount(), 0u);
        // The connection is dropped; the late answer finds nobody.
        ASSERT_TRUE(qtWaitUntil([&] { return server.disconnects() == 1; }));
        server.release();
        downloader.downloadImage(QUrl(server.base() + "/fast.png"), "fast", results.callback());
        ASSERT_TRUE(qtWaitUntil([&] { return results.count() == 1; }));
        // Cancelling after the answer came does nothing.
        downloader.cancelDownloadImageWithUUID("fast");
    }
    ASSERT_EQ(results.count(), 1u);
    EXPECT_EQ(results.at(0).uuid, "fast");
}

TEST(ImageDownloader, ASecondDownloadUnderOneIdReplacesTheFirstInTheTable)
{
    LocalHttpServer server;
    server.route("/a.png", {200, "image/png", png(2, 2), true});
    server.route("/b.png", {200, "image/png", png(3, 3), true});
    Results results;
    {
        OVImageDownloader downloader;
        downloader.downloadImage(QUrl(server.base() + "/a.png"), "same", results.callback());
        downloader.downloadImage(QUrl(server.base() + "/b.png"), "same", results.callback());
        ASSERT_TRUE(qtWaitUntil([&] { return server.held() == 2; }));
        EXPECT_EQ(downloader.runningCount(), 1u);
        downloader.cancelDownloadImageWithUUID("same");  // cancels only the second
        server.release();
        ASSERT_TRUE(qtWaitUntil([&] { return results.count() == 1; }));
    }
    EXPECT_EQ(results.at(0).url, QUrl(server.base() + "/a.png"));
    EXPECT_EQ(results.count(), 1u);
}

}  // namespace
}  // namespace orv
