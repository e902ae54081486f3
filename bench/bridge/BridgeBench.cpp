// The bridge's costs next to the least the same work could cost:
// - parsing a listing of 100,000 entries into file records, against only
//   splitting the same text into lines;
// - downloading 200 files (200 MiB) from the simulated phone through the
//   bridge, against a script running the same "adb pull" commands back to
//   back. The simulated phone's own speed is the same for both.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>

#include "RatioReporter.h"
#include "core/bridge/model/OVDirectoryFile.h"
#include "core/bridge/adb/PhoneListing.h"

#ifdef ORVANE_BENCH_PHONESIM
#include "core/bridge/adb/OVADBManager.h"
#include "core/bridge/facade/OVResources.h"
#include "phonesim/Simulator.h"
#include "platform/RunLoop.h"
#endif

namespace fs = std::filesystem;

namespace {

constexpr int kListingEntries = 100'000;

// `ls -al` output as a phone prints it: folders, pictures, videos, songs and
// other files with sizes, dates and names of ordinary lengths.
const std::string& listingText()
{
    static const std::string text = [] {
        std::string out = "total 400000\n";
        const char* extensions[] = {"jpg", "mp4", "mp3", "txt", "pdf", "png"};
        char line[256];
        for (int i = 0; i < kListingEntries; ++i) {
            if (i % 10 == 0) {
                std::snprintf(line, sizeof line, "drwxrwx--- root     sdcard_r          2016-%02d-%02d %02d:%02d Folder %06d\n",
                              1 + i % 12, 1 + i % 28, i % 24, i % 60, i);
            } else {
                std::snprintf(line, sizeof line, "-rw-rw---- root     sdcard_r %8d 2016-%02d-%02d %02d:%02d IMG_2016%04d_%06d.%s\n",
                              1000 + i * 37 % 5000000, 1 + i % 12, 1 + i % 28, i % 24, i % 60, i % 10000, i,
                              extensions[i % 6]);
            }
            out += line;
        }
        return out;
    }();
    return text;
}

void ListingParse(benchmark::State& state)
{
    const std::string& text = listingText();
    auto folder = std::make_shared<orv::OVDirectoryFile>();
    folder->setPath("/storage/emulated/legacy/DCIM/Camera");
    for (auto _ : state) {
        auto files = orv::filesFromPhoneListing(text, folder->path(), folder);
        if (files.size() != size_t(kListingEntries))
            state.SkipWithError("wrong number of records");
        benchmark::DoNotOptimize(files.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(ListingParse)->Unit(benchmark::kMillisecond);

void LineSplit(benchmark::State& state)
{
    const std::string& text = listingText();
    for (auto _ : state) {
        std::vector<std::string_view> lines;
        size_t start = 0;
        while (start < text.size()) {
            size_t end = text.find('\n', start);
            if (end == std::string::npos)
                end = text.size();
            lines.emplace_back(text.data() + start, end - start);
            start = end + 1;
        }
        benchmark::DoNotOptimize(lines.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(text.size()));
}
BENCHMARK(LineSplit)->Unit(benchmark::kMillisecond);

#ifdef ORVANE_BENCH_PHONESIM

constexpr int kDownloadFiles = 200;
constexpr size_t kFileSize = 1 << 20;

struct DownloadBench {
    std::unique_ptr<phonesim::Simulator> sim;
    std::string serial;
    fs::path destination;

    static DownloadBench& shared()
    {
        static DownloadBench bench;
        return bench;
    }

    DownloadBench()
    {
        sim = phonesim::Simulator::start(phonesim::Fixture::empty());
        serial = sim->serial();
        orv::setResourceDirectory(sim->resourceDir().string());
        const fs::path folder = sim->phoneRoot(serial) / "Bench";
        fs::create_directories(folder);
        std::mt19937_64 random(42);
        std::string content(kFileSize, '\0');
        for (int i = 0; i < kDownloadFiles; ++i) {
            for (size_t k = 0; k + 8 <= content.size(); k += 8) {
                uint64_t value = random();
                std::memcpy(content.data() + k, &value, 8);
            }
            std::ofstream(folder / fileName(i), std::ios::binary).write(content.data(), std::streamsize(content.size()));
        }
        destination = sim->folder() / "host";
    }

    static std::string fileName(int i)
    {
        char name[32];
        std::snprintf(name, sizeof name, "file_%03d.bin", i);
        return name;
    }

    void freshDestination()
    {
        fs::remove_all(destination);
        fs::create_directories(destination);
    }
};

void ScriptedPulls(benchmark::State& state)
{
    auto& bench = DownloadBench::shared();
    const fs::path script = bench.sim->folder() / "pulls.sh";
    {
        std::ofstream out(script);
        out << "#!/bin/sh\nset -e\nmkdir -p '" << (bench.destination / "Bench").string() << "'\n";
        for (int i = 0; i < kDownloadFiles; ++i)
            out << "'" << bench.sim->adbPath().string() << "' -s " << bench.serial
                << " pull -p -a /storage/emulated/legacy/Bench/" << DownloadBench::fileName(i) << " '"
                << (bench.destination / "Bench" / DownloadBench::fileName(i)).string() << "' 2>/dev/null\n";
    }
    const std::string command = "sh '" + script.string() + "'";
    for (auto _ : state) {
        state.PauseTiming();
        bench.freshDestination();
        state.ResumeTiming();
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("script failed");
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kDownloadFiles * int64_t(kFileSize));
}
BENCHMARK(ScriptedPulls)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

void BridgeDownload(benchmark::State& state)
{
    auto& bench = DownloadBench::shared();
    for (auto _ : state) {
        state.PauseTiming();
        bench.freshDestination();
        auto manager = orv::OVADBManager::make();
        manager->setSerialNumber(bench.serial);
        auto folder = std::make_shared<orv::OVDirectoryFile>();
        folder->setPath("/storage/emulated/legacy/Bench");
        folder->setName("Bench");
        bool finished = false;
        bool failed = false;
        state.ResumeTiming();
        manager->downloadFiles(
            {folder}, bench.destination.string(), nullptr, nullptr,
            [&](std::optional<orv::Error> error, bool) { failed = bool(error); finished = true; });
        orv::RunLoop::main().runUntil([&] { return finished; },
                                       orv::RunLoop::Clock::now() + std::chrono::minutes(10));
        state.PauseTiming();
        if (!finished || failed)
            state.SkipWithError("download failed");
        manager.reset();
        state.ResumeTiming();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * kDownloadFiles * int64_t(kFileSize));
}
BENCHMARK(BridgeDownload)->Unit(benchmark::kMillisecond)->Iterations(1)->UseRealTime();

#endif

}  // namespace

int main(int argc, char** argv)
{
    orv::bench::runPrintingRatios(argc, argv, {{"ListingParse", "LineSplit"}, {"BridgeDownload", "ScriptedPulls"}});
    benchmark::Shutdown();
    return 0;
}
