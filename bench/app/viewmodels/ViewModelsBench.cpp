// Time sections of 100,000 photos against a plain sort of the same records by
// date, and 10,000 thumbnails from the memory and the disk cache against a
// bare decode of the same PNG bytes.

#include <benchmark/benchmark.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>
#include <QTemporaryDir>
#include <algorithm>
#include <random>

#include "RatioReporter.h"
#include "app/viewmodels/OVPhotoAlbumViewModel.h"
#include "app/viewmodels/OVThumbnailCacheCenter.h"
#include "app/viewmodels/PhotoTimeSections.h"
#include "app/viewmodels/ThumbnailImages.h"
#include "core/bridge/model/OVImageAlbum.h"
#include "core/bridge/model/OVImageFile.h"

namespace {

using namespace orv;
constexpr int kPhotos = 100000;
constexpr int kThumbnails = 10000;

// Photos spread over five years, in random order.
std::vector<OVFileRef> photoRecords()
{
    std::mt19937_64 random(7);
    const int64_t start = 1500000000;  // 2017
    std::uniform_int_distribution<int64_t> second(0, 5LL * 365 * 86400);
    std::vector<OVFileRef> records;
    records.reserve(kPhotos);
    for (int i = 0; i < kPhotos; ++i) {
        auto file = std::make_shared<OVImageFile>();
        file->setPath("/storage/emulated/legacy/DCIM/Camera/IMG_" + std::to_string(i) + ".jpg");
        const auto when = std::chrono::system_clock::time_point(std::chrono::seconds(start + second(random)));
        file->setCreatedDate(when);
        file->setModifiedDate(when);
        records.push_back(std::move(file));
    }
    return records;
}

const std::vector<OVFileRef>& records()
{
    static const auto shared = photoRecords();
    return shared;
}

OVPhotoAlbumViewModelRef& album()
{
    static OVPhotoAlbumViewModelRef shared = [] {
        auto file = std::make_shared<OVImageAlbum>();
        file->setPath("/storage/emulated/legacy/DCIM/Camera");
        file->setChildren(records());
        return OVPhotoAlbumViewModel::make(file, "BENCH");
    }();
    return shared;
}

// The reference: the same records sorted by date, newest first.
void PlainSortByDate(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        auto copy = records();
        state.ResumeTiming();
        std::sort(copy.begin(), copy.end(),
                  [](const OVFileRef& a, const OVFileRef& b) { return a->createdDate() > b->createdDate(); });
        benchmark::DoNotOptimize(copy.data());
    }
}
BENCHMARK(PlainSortByDate)->Unit(benchmark::kMillisecond);

void GroupIntoWeeks(benchmark::State& state)
{
    const auto items = album()->itemlist();
    for (auto _ : state)
        benchmark::DoNotOptimize(photo_time_sections::byWeek(items));
}
BENCHMARK(GroupIntoWeeks)->Unit(benchmark::kMillisecond);

void GroupIntoMonths(benchmark::State& state)
{
    const auto items = album()->itemlist();
    for (auto _ : state)
        benchmark::DoNotOptimize(photo_time_sections::byMonth(items));
}
BENCHMARK(GroupIntoMonths)->Unit(benchmark::kMillisecond);

// What a pane's switch to week sections costs: both lists sorted, then grouped.
void SortAndGroupIntoWeeks(benchmark::State& state)
{
    auto& model = album();
    model->setGroupType(OVPhotoGroupTypeWeek);
    for (auto _ : state)
        model->sortByTime();
}
BENCHMARK(SortAndGroupIntoWeeks)->Unit(benchmark::kMillisecond);

// --- thumbnails ---------------------------------------------------------------

QByteArray thumbnailPng(int seed)
{
    QImage image(128, 128, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.fillRect(image.rect(), QColor::fromHsv(seed % 360, 120, 200));
    painter.setPen(Qt::black);
    painter.drawEllipse(20 + seed % 40, 30, 60, 50);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

QImage decode(const QByteArray& bytes) { return thumbnail_images::decode(bytes); }

struct ThumbnailSet {
    QTemporaryDir dir;
    bool memoryOff = false;
    std::unique_ptr<OVThumbnailCacheCenter> cache;
    std::vector<QByteArray> pngs;
    const OVThumbnailCacheCenter::Date date = std::chrono::system_clock::time_point(std::chrono::seconds(1433147400));

    ThumbnailSet()
    {
        cache = std::make_unique<OVThumbnailCacheCenter>(dir.path(), [this](const QString& key) {
            return key == QLatin1String("DisableMemThumbnailCache") && memoryOff;
        });
        memoryOff = true;  // the disk copies only; the memory side is filled per benchmark
        for (int i = 0; i < kThumbnails; ++i) {
            pngs.push_back(thumbnailPng(i));
            cache->cacheThumbnail(pngs.back(), "BENCH", path(i), date);
        }
    }
    static QString path(int i) { return QStringLiteral("/storage/emulated/legacy/DCIM/Camera/IMG_%1.jpg").arg(i); }
};

ThumbnailSet& thumbnails()
{
    static ThumbnailSet shared;
    return shared;
}

void BareDecodeOfPng(benchmark::State& state)
{
    auto& set = thumbnails();
    for (auto _ : state) {
        for (int i = 0; i < kThumbnails; ++i)
            benchmark::DoNotOptimize(decode(set.pngs[size_t(i)]));
    }
}
BENCHMARK(BareDecodeOfPng)->Unit(benchmark::kMillisecond)->Iterations(5);

void ThumbnailsFromDisk(benchmark::State& state)
{
    auto& set = thumbnails();
    set.memoryOff = true;
    for (auto _ : state) {
        for (int i = 0; i < kThumbnails; ++i)
            benchmark::DoNotOptimize(decode(set.cache->cachedThumbnail("BENCH", ThumbnailSet::path(i), set.date)));
    }
}
BENCHMARK(ThumbnailsFromDisk)->Unit(benchmark::kMillisecond)->Iterations(5);

void ThumbnailsFromMemory(benchmark::State& state)
{
    auto& set = thumbnails();
    set.memoryOff = false;
    // The memory side holds 1000 entries; serve the same 1000 ten times.
    for (int i = 0; i < OVThumbnailCacheCenter::kMemoryCountLimit; ++i)
        set.cache->cachedThumbnail("BENCH", ThumbnailSet::path(i), set.date);
    for (auto _ : state) {
        for (int i = 0; i < kThumbnails; ++i)
            benchmark::DoNotOptimize(decode(set.cache->cachedThumbnail(
                "BENCH", ThumbnailSet::path(i % OVThumbnailCacheCenter::kMemoryCountLimit), set.date)));
    }
}
BENCHMARK(ThumbnailsFromMemory)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    orv::bench::runPrintingRatios(argc, argv, {{"GroupIntoWeeks", "PlainSortByDate"},
                                               {"GroupIntoMonths", "PlainSortByDate"},
                                               {"SortAndGroupIntoWeeks", "PlainSortByDate"},
                                               {"ThumbnailsFromDisk", "BareDecodeOfPng"},
                                               {"ThumbnailsFromMemory", "BareDecodeOfPng"}});
    return 0;
}
