// The thumbnail cache: keys, disk layout, the miss table, the two switches
// and concurrent use.

#include "app/viewmodels/OVThumbnailCacheCenter.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <atomic>
#include <thread>
#include <vector>

namespace orv {
namespace {

using namespace std::chrono;

system_clock::time_point at(int64_t seconds) { return system_clock::time_point(std::chrono::seconds(seconds)); }

struct Switches {
    std::atomic<bool> memoryOff{false};
    std::atomic<bool> diskOff{false};
    OVThumbnailCacheCenter::PreferenceReader reader()
    {
        return [this](const QString& key) {
            if (key == QLatin1String("DisableMemThumbnailCache"))
                return memoryOff.load();
            if (key == QLatin1String("DisableDiskThumbnailCache"))
                return diskOff.load();
            return false;
        };
    }
};

class ThumbnailCache : public ::testing::Test {
protected:
    QTemporaryDir dir;
    Switches switches;
    std::unique_ptr<OVThumbnailCacheCenter> make()
    {
        return std::make_unique<OVThumbnailCacheCenter>(dir.path(), switches.reader());
    }
    const QByteArray bytes = QByteArray("\x89PNG-bytes\0with-zero", 20);
    const OVThumbnailCacheCenter::Date date = at(1433147400);  // 2015-06-01 08:30:00 UTC
};

TEST(ThumbnailCacheKeys, MD5AndDateTextAndSerialFolders)
{
    EXPECT_EQ(OVThumbnailCacheCenter::MD5String(""), "D41D8CD98F00B204E9800998ECF8427E");
    EXPECT_EQ(OVThumbnailCacheCenter::MD5String("abc"), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(OVThumbnailCacheCenter::MD5String(QString::fromUtf8("abc\0def", 7)), "900150983CD24FB0D6963F7D28E17F72");
    EXPECT_EQ(OVThumbnailCacheCenter::dateDescription(at(1433147400)), "2015-06-01 08:30:00 +0000");

    const struct { QString serial; } serials[] = {{"ABC123"}, {".."}, {"."}, {"../../etc"}, {"a/b"}, {""}};
    for (const auto& s : serials) {
        const QString name = OVThumbnailCacheCenter::folderNameForSerial(s.serial);
        EXPECT_FALSE(name.isEmpty()) << s.serial.toStdString();
        EXPECT_FALSE(name.contains('/')) << s.serial.toStdString();
        EXPECT_FALSE(name.contains('.')) << s.serial.toStdString();
    }
    EXPECT_EQ(OVThumbnailCacheCenter::folderNameForSerial("ABC123"), "ABC123");
}

TEST_F(ThumbnailCache, StoresInMemoryAndOnDiskAndARestartFindsTheFile)
{
    auto cache = make();
    ASSERT_TRUE(cache->cacheThumbnail(bytes, "S1", "/sdcard/DCIM/a.jpg", date));
    EXPECT_EQ(cache->memCachedThumbnail("S1", "/sdcard/DCIM/a.jpg", date), bytes);

    const QString file = cache->thumbnailFilePath("S1", "/sdcard/DCIM/a.jpg", date);
    EXPECT_TRUE(QRegularExpression("/thumbnails/S1/[0-9A-F]{32}\\.jpg$").match(file).hasMatch()) << file.toStdString();
    EXPECT_EQ(QFileInfo(file).fileName(),
              OVThumbnailCacheCenter::MD5String("/sdcard/DCIM/a.jpg2015-06-01 08:30:00 +0000") + ".jpg");
    QFile stored(file);
    ASSERT_TRUE(stored.open(QIODevice::ReadOnly));
    EXPECT_EQ(stored.readAll(), bytes);
    EXPECT_EQ(cache->cachedThumbnailURL("S1", "/sdcard/DCIM/a.jpg", date), file);

    auto restarted = make();
    EXPECT_TRUE(restarted->memCachedThumbnail("S1", "/sdcard/DCIM/a.jpg", date).isNull());
    EXPECT_EQ(restarted->cachedThumbnail("S1", "/sdcard/DCIM/a.jpg", date), bytes);
    // The disk hit now also sits in memory.
    EXPECT_EQ(restarted->memCachedThumbnail("S1", "/sdcard/DCIM/a.jpg", date), bytes);
}

TEST_F(ThumbnailCache, DatePathAndSerialEachMakeTheirOwnEntry)
{
    auto cache = make();
    ASSERT_TRUE(cache->cacheThumbnail(bytes, "S1", "/p/a.jpg", date));
    EXPECT_TRUE(cache->cachedThumbnail("S1", "/p/a.jpg", at(1433147401)).isNull());
    EXPECT_TRUE(cache->cachedThumbnail("S2", "/p/a.jpg", date).isNull());
    EXPECT_TRUE(cache->cachedThumbnail("S1", "/p/b.jpg", date).isNull());
    EXPECT_NE(cache->thumbnailFilePath("S1", "/p/a.jpg", date), cache->thumbnailFilePath("S1", "/p/a.jpg", at(1)));
}

TEST_F(ThumbnailCache, NoDateOrNoDataStoresNothing)
{
    auto cache = make();
    EXPECT_FALSE(cache->cacheThumbnail(bytes, "S1", "/p/a.jpg", std::nullopt));
    EXPECT_FALSE(cache->cacheThumbnail(QByteArray(), "S1", "/p/a.jpg", date));
    EXPECT_FALSE(cache->cacheIcon(QByteArray(), "com.example"));
    EXPECT_TRUE(cache->cachedThumbnail("S1", "/p/a.jpg", std::nullopt).isNull());
    EXPECT_FALSE(cache->purgeCacheThumbnail("S1", "/p/a.jpg", std::nullopt));
    EXPECT_TRUE(cache->cachedThumbnail("S1", "/p/a.jpg", date).isNull());
}

TEST_F(ThumbnailCache, AMissIsRememberedUntilThisCacheStoresTheItem)
{
    auto cache = make();
    const QString file = cache->thumbnailFilePath("S1", "/p/a.jpg", date);
    EXPECT_TRUE(cache->cachedThumbnail("S1", "/p/a.jpg", date).isNull());

    // Another program puts the file in place: the recorded miss still holds.
    QFile other(file);
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write("other");
    other.close();
    EXPECT_TRUE(cache->cachedThumbnail("S1", "/p/a.jpg", date).isNull());
    EXPECT_TRUE(cache->cachedThumbnailURL("S1", "/p/a.jpg", date).isEmpty());

    // Storing through the cache clears the miss; a memory-less lookup finds the file.
    switches.memoryOff = true;
    ASSERT_TRUE(cache->cacheThumbnail(bytes, "S1", "/p/a.jpg", date));
    EXPECT_EQ(cache->cachedThumbnail("S1", "/p/a.jpg", date), bytes);
}

TEST_F(ThumbnailCache, AnItemAlreadyInMemoryIsNotWrittenAgain)
{
    switches.diskOff = true;
    auto cache = make();
    EXPECT_FALSE(cache->cacheThumbnail(bytes, "S1", "/p/a.jpg", date));  // memory only
    switches.diskOff = false;
    EXPECT_TRUE(cache->cacheThumbnail(bytes, "S1", "/p/a.jpg", date));
    EXPECT_FALSE(QFileInfo::exists(cache->thumbnailFilePath("S1", "/p/a.jpg", date)));
}

TEST_F(ThumbnailCache, SwitchesTakeEffectAtTheNextCall)
{
    auto cache = make();
    switches.memoryOff = true;
    ASSERT_TRUE(cache->cacheThumbnail(bytes, "S1", "/p/a.jpg", date));
    EXPECT_TRUE(cache->memCachedThumbnail("S1", "/p/a.jpg", date).isNull());
    EXPECT_EQ(cache->cachedThumbnail("S1", "/p/a.jpg", date), bytes);  // from disk, not kept in memory
    switches.memoryOff = false;
    EXPECT_TRUE(cache->memCachedThumbnail("S1", "/p/a.jpg", date).isNull());

    switches.diskOff = true;
    EXPECT_TRUE(cache->cachedThumbnail("S1", "/p/b.jpg", date).isNull());
    EXPECT_TRUE(cache->cachedThumbnailURL("S1", "/p/a.jpg", date).isEmpty());
    EXPECT_FALSE(cache->purgeCacheThumbnail("S1", "/p/a.jpg", date));
    switches.diskOff = false;
    EXPECT_TRUE(cache->purgeCacheThumbnail("S1", "/p/a.jpg", date));
    EXPECT_FALSE(cache->purgeCacheThumbnail("S1", "/p/a.jpg", date));  // already gone
    EXPECT_TRUE(cache->cachedThumbnail("S1", "/p/a.jpg", date).isNull());
}

TEST_F(ThumbnailCache, PurgeDropsBothCopies)
{
    auto cache = make();
    ASSERT_TRUE(cache->cacheThumbnail(bytes, "S1", "/p/a.jpg", date));
    EXPECT_TRUE(cache->purgeCacheThumbnail("S1", "/p/a.jpg", date));
    EXPECT_TRUE(cache->memCachedThumbnail("S1", "/p/a.jpg", date).isNull());
    EXPECT_TRUE(cache->cachedThumbnail("S1", "/p/a.jpg", date).isNull());
}

TEST_F(ThumbnailCache, IconsLiveInTheirOwnFolderAndShareTheMemorySide)
{
    auto cache = make();
    ASSERT_TRUE(cache->cacheIcon(bytes, "com.example.app"));
    const QString file = cache->iconFilePath("com.example.app");
    EXPECT_EQ(file, QDir(cache->rootpath()).filePath("icons/" + OVThumbnailCacheCenter::MD5String("com.example.app") + ".png"));
    EXPECT_TRUE(QFileInfo::exists(file));
    EXPECT_EQ(make()->cachedIconWithAppId("com.example.app"), bytes);
    EXPECT_FALSE(cache->purgeCacheIcon("..", "com.example.app"));
    EXPECT_TRUE(QFileInfo::exists(file));
    EXPECT_TRUE(cache->purgeCacheIcon("icons", "com.example.app"));
    EXPECT_TRUE(cache->cachedIconWithAppId("com.example.app").isNull());
}

TEST_F(ThumbnailCache, AHostileSerialStaysInsideTheCacheRoot)
{
    auto cache = make();
    ASSERT_TRUE(cache->cacheThumbnail(bytes, "../../escape", "/p/a.jpg", date));
    const QString file = QFileInfo(cache->thumbnailFilePath("../../escape", "/p/a.jpg", date)).canonicalFilePath();
    EXPECT_TRUE(file.startsWith(QFileInfo(cache->rootpath()).canonicalFilePath() + "/")) << file.toStdString();
    EXPECT_EQ(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{"thumbnails"});
}

TEST(ThumbnailCacheWithoutDisk, TheMemorySideStillServes)
{
    auto cache = std::make_unique<OVThumbnailCacheCenter>("/proc/no-such-place/orvane");
    const auto date = OVThumbnailCacheCenter::Date(at(5));
    EXPECT_TRUE(cache->rootpath().isEmpty());
    EXPECT_FALSE(cache->cacheThumbnail("x", "S", "/p", date));
    EXPECT_EQ(cache->cachedThumbnail("S", "/p", date), "x");
    EXPECT_FALSE(cache->cacheIcon("y", "id"));
    EXPECT_EQ(cache->cachedIconWithAppId("id"), "y");
}

TEST_F(ThumbnailCache, MoreThanTheCountLimitFallsBackToDisk)
{
    auto cache = make();
    const int count = OVThumbnailCacheCenter::kMemoryCountLimit + 200;
    for (int i = 0; i < count; ++i)
        ASSERT_TRUE(cache->cacheThumbnail(QByteArray::number(i), "S", QString("/p/%1").arg(i), date));
    int inMemory = 0;
    for (int i = 0; i < count; ++i)
        inMemory += !cache->memCachedThumbnail("S", QString("/p/%1").arg(i), date).isNull();
    EXPECT_LE(inMemory, OVThumbnailCacheCenter::kMemoryCountLimit);
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(cache->cachedThumbnail("S", QString("/p/%1").arg(i), date), QByteArray::number(i));
}

// Look-ups on one thread against stores and purges on others, on the same
// keys: the miss table and the folder creation are shared by all of them.
TEST_F(ThumbnailCache, ConcurrentLookupsStoresAndPurgesStayConsistent)
{
    auto cache = make();
    constexpr int kKeys = 64;
    constexpr int kRounds = 300;
    std::atomic<bool> wrong{false};
    auto worker = [&](int seed) {
        for (int round = 0; round < kRounds; ++round) {
            const int key = (round * 7 + seed) % kKeys;
            const QString serial = QString("S%1").arg(key % 4);
            const QString path = QString("/p/%1").arg(key);
            const QByteArray expected = QByteArray::number(key);
            switch ((round + seed) % 4) {
            case 0:
                cache->cacheThumbnail(expected, serial, path, date);
                break;
            case 1:
                cache->purgeCacheThumbnail(serial, path, date);
                break;
            default: {
                const QByteArray got = cache->cachedThumbnail(serial, path, date);
                if (!got.isNull() && got != expected)
                    wrong = true;
                cache->cachedThumbnailURL(serial, path, date);
                cache->cacheIcon(expected, path);
                cache->cachedIconWithAppId(path);
            }
            }
        }
    };
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back(worker, t);
    for (auto& thread : threads)
        thread.join();
    EXPECT_FALSE(wrong);
    // After the storm every key can still be stored and found again.
    switches.memoryOff = true;
    for (int key = 0; key < kKeys; ++key) {
        const QString serial = QString("S%1").arg(key % 4);
        ASSERT_TRUE(cache->cacheThumbnail(QByteArray::number(key), serial, QString("/p/%1").arg(key), date));
        EXPECT_EQ(cache->cachedThumbnail(serial, QString("/p/%1").arg(key), date), QByteArray::number(key));
    }
}

}  // namespace
}  // namespace orv
