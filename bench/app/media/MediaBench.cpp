// The Photos pane over a library of 100,000 photos, offscreen in a 1000 x 800
// grid: the fetched library applied up to the first painted screen, and one
// page of scrolling through All photos with every thumbnail already in
// memory, against one page of the bare grid (the grid benchmark's tiles).
// Printed at the end: the ratio of the two pages, and the peak resident
// memory the library, the pane and its models added, per 1,000 photos.
//
// The library is made in memory in the shape a fetch hands over (one record
// per photo, spread over ten years), so the figures are the pane's, not the
// phone link's.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QFile>
#include <QHash>
#include <chrono>
#include <cstdio>
#include <memory>

#include "GridBenchSupport.h"
#include "GridDemoTiles.h"
#include "RatioReporter.h"
#include "app/media/OVPhotoViewController.h"
#include "app/toolkit/IBCollectionView.h"
#include "core/bridge/facade/OVDeviceClient.h"
#include "core/bridge/model/OVImageAlbum.h"
#include "core/bridge/model/OVImageFile.h"

namespace {

using namespace orv;
using orv::bench::flushPostedEvents;
using orv::bench::pageSteps;
using orv::bench::waitUntilExposed;
constexpr int kPhotos = 100000;
constexpr QSize kViewport(1000, 800);

// Peak resident set size so far, in kB (VmHWM).
long peakResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').front().toLong();
    return 0;
}

OVMediaLibrary makeLibrary()
{
    const auto start = std::chrono::system_clock::now() - std::chrono::hours(24 * 3650);
    std::vector<OVFileRef> photos;
    photos.reserve(kPhotos);
    auto album = std::make_shared<OVImageAlbum>();
    album->setName("Camera");
    album->setPath(OVDeviceClient::cameraDir()->path());
    for (int n = 0; n < kPhotos; ++n) {
        auto photo = std::make_shared<OVImageFile>();
        const std::string name = "IMG_" + std::to_string(100000 + n) + ".jpg";
        photo->setName(name);
        photo->setPath(OVDeviceClient::cameraDir()->path() + name);
        photo->setSize(1500000 + static_cast<uint64_t>(n % 977) * 1000);
        const auto when = start + std::chrono::minutes(52 * n);
        photo->setCreatedDate(when);
        photo->setModifiedDate(when);
        photo->setImageId(static_cast<uint64_t>(n + 1));
        photos.push_back(photo);
    }
    album->setChildren(photos);
    return OVMediaLibrary{{"photos", photos}, {"albums", {album}}};
}

struct Pane {
    long residentBefore = peakResidentKb();
    OVMediaLibrary library = makeLibrary();
    OVPhotoViewController pane;
    QImage thumbnail{146, 146, QImage::Format_RGB32};
    Pane()
    {
        thumbnail.fill(QColor(90, 140, 200));
        // A client without a phone: the pane's own fetch fails and changes nothing.
        pane.setClient(std::make_shared<OVDeviceClient>());
        pane.loadView();
        pane.view()->resize(kViewport.width(), kViewport.height() + 47);
        pane.view()->show();
        waitUntilExposed(*pane.view());
        pane.setDeviceDone();
        pane.chooseMode(OVPhotoViewController::ModeAll);
    }
    void applyLibrary()
    {
        pane.libraryLoaded(library, std::nullopt);
        flushPostedEvents();
    }
    // Every photo's thumbnail already in memory, so paging never waits for the phone.
    void fillThumbnails()
    {
        for (const OVViewModelRef& item : *pane.pmodelAll())
            item->setThumbnail(thumbnail);
    }
};

struct BareGrid {
    demo::DemoModel model;
    IBCollectionView grid;
    BareGrid()
    {
        model.itemsPerSection = kPhotos;
        model.attach(grid);
        grid.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        grid.resize(kViewport);
        grid.show();
        waitUntilExposed(grid);
        grid.reloadData();
    }
};

std::unique_ptr<Pane> pane;
std::unique_ptr<BareGrid> bare;
long paneResidentKb = 0;

Pane& thePane()
{
    if (!pane) {
        pane = std::make_unique<Pane>();
        pane->applyLibrary();
        pane->fillThumbnails();
    }
    return *pane;
}

void PhotosLibraryToFirstDisplay(benchmark::State& state)
{
    Pane& p = thePane();
    for (auto _ : state)
        p.applyLibrary();
    state.counters["photos"] = static_cast<double>(p.pane.totalItemNumber());
    p.fillThumbnails();
}

struct PaintCounter : QObject {
    QHash<QByteArray, int64_t> paints;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints[watched->metaObject()->className()];
        return false;
    }
};

void PhotosScrollPage(benchmark::State& state)
{
    PaintCounter counter;
    qApp->installEventFilter(&counter);
    Pane& p = thePane();
    p.pane.gridView()->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    pageSteps(state, *p.pane.gridView(), [] {});
    state.counters["thumbnail_requests_pending"] = static_cast<double>(p.pane.observedThumbnailCount());
    qApp->removeEventFilter(&counter);
    for (auto it = counter.paints.begin(); it != counter.paints.end(); ++it)
        std::printf("paints %s %.1f per page\n", it.key().constData(), double(it.value()) / state.iterations());
    paneResidentKb = std::max(paneResidentKb, peakResidentKb() - p.residentBefore);
}

void BareGridScrollPage(benchmark::State& state)
{
    if (!bare)
        bare = std::make_unique<BareGrid>();
    pageSteps(state, bare->grid, [] {});
}

BENCHMARK(PhotosLibraryToFirstDisplay)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(PhotosScrollPage)->Unit(benchmark::kMicrosecond)->Iterations(3000);
BENCHMARK(BareGridScrollPage)->Unit(benchmark::kMicrosecond)->Iterations(3000);

}  // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    orv::bench::runPrintingRatios(argc, argv, {{"PhotosScrollPage", "BareGridScrollPage"}});
    std::printf("\npeak resident memory added by the library, the pane and its models: %ld kB, %.1f kB per 1,000 photos\n",
                paneResidentKb, static_cast<double>(paneResidentKb) / (kPhotos / 1000.0));
    pane.reset();
    bare.reset();
    return 0;
}
