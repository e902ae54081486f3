// The library fetch's reply turned into file records: a photo library of
// 100,000 records (gzip-compressed JSON) through the bridge's builder,
// against inflating and parsing the same reply alone. The conversion into
// records should add less than half again.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "RatioReporter.h"
#include "core/bridge/companion/Gzip.h"
#include "core/bridge/companion/OVADBForwardMediaFetchOperation.h"

namespace {

using Json = nlohmann::json;
using Bytes = std::vector<uint8_t>;

constexpr int kRecords = 100'000;
constexpr int kAlbums = 200;

// A reply body as the phone sends it: header bytes, then gzip of the JSON.
const Bytes& replyBody()
{
    static const Bytes body = [] {
        Json groups = Json::array();
        for (int album = 0; album < kAlbums; ++album)
            groups.push_back({{"bucket_id", 1000 + album},
                              {"bucket_display_name", "Album " + std::to_string(album)},
                              {"_data", "/storage/emulated/0/Pictures/Album" + std::to_string(album) + "/p.jpg"}});
        Json items = Json::array();
        for (int i = 0; i < kRecords; ++i) {
            const int album = i % kAlbums;
            const std::string folder = album == 0 ? "DCIM/Camera" : "Pictures/Album" + std::to_string(album);
            items.push_back({{"_id", i + 1},
                             {"_data", "/storage/emulated/0/" + folder + "/IMG_" + std::to_string(i) + ".jpg"},
                             {"_display_name", "IMG_" + std::to_string(i) + ".jpg"},
                             {"_size", 1'000'000 + i},
                             {"date_added", 1'420'000'000 + i},
                             {"date_modified", 1'420'000'000 + i},
                             {"datetaken", 1'420'000'000'000LL + i},
                             {"bucket_id", 1000 + album},
                             {"width", 4000},
                             {"height", 3000},
                             {"orientation", (i % 4) * 90},
                             {"mime_type", "image/jpeg"}});
        }
        const std::string text = Json{{"all_group", groups}, {"all_item", items}}.dump();
        auto packed = orv::gzipDeflate(Bytes(text.begin(), text.end()));
        Bytes reply = {0x07, 0x01, 0x01};
        reply.insert(reply.end(), packed->begin(), packed->end());
        return reply;
    }();
    return body;
}

void InflateAndParse(benchmark::State& state)
{
    const Bytes& body = replyBody();
    for (auto _ : state) {
        auto inflated = orv::gzipInflate(body.data() + 3, body.size() - 3);
        auto reply = Json::parse(inflated->begin(), inflated->end());
        benchmark::DoNotOptimize(reply);
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}

void LibraryFromReply(benchmark::State& state)
{
    const Bytes& body = replyBody();
    for (auto _ : state) {
        std::optional<orv::Error> error;
        auto library = orv::OVADBForwardMediaFetchOperation::libraryFromResponseBody(1, body, error);
        if (!library || library->at("photos").size() != static_cast<size_t>(kRecords)) {
            state.SkipWithError("the library did not come out whole");
            break;
        }
        benchmark::DoNotOptimize(library);
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}

// The conversion alone, from the decoded reply.
void RecordsFromParsedReply(benchmark::State& state)
{
    const Bytes& body = replyBody();
    auto inflated = orv::gzipInflate(body.data() + 3, body.size() - 3);
    const Json reply = Json::parse(inflated->begin(), inflated->end());
    for (auto _ : state) {
        auto library = orv::OVADBForwardMediaFetchOperation::parsePhotoData(reply);
        benchmark::DoNotOptimize(library);
    }
    state.SetItemsProcessed(state.iterations() * kRecords);
}

}  // namespace

// Both runs are single-threaded, so processor time is the fairer measure on
// a busy machine; wall time is printed beside it by the shared reporter.
class CpuRatioReporter : public orv::bench::RatioReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const auto& run : runs)
            if (run.run_type == Run::RT_Iteration && !run.error_occurred)
                cpu_[run.run_name.function_name] = run.GetAdjustedCPUTime();
        RatioReporter::ReportRuns(runs);
    }
    double cpuRatio(const std::string& ours, const std::string& reference) const
    {
        auto a = cpu_.find(ours);
        auto b = cpu_.find(reference);
        return a == cpu_.end() || b == cpu_.end() || b->second == 0 ? 0 : a->second / b->second;
    }

private:
    std::map<std::string, double> cpu_;
};

BENCHMARK(LibraryFromReply)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(InflateAndParse)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(RecordsFromParsedReply)->Unit(benchmark::kMillisecond)->MinTime(2.0);

int main(int argc, char** argv)
{
    std::printf("photo library reply: %d records, %zu bytes of gzip\n", kRecords, replyBody().size());
    benchmark::Initialize(&argc, argv);
    CpuRatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios({{"LibraryFromReply", "InflateAndParse"}});
    const double ratio = reporter.cpuRatio("LibraryFromReply", "InflateAndParse");
    std::printf("\nprocessor time, records / inflate+parse alone: %.2f (%s 1.50)\n", ratio,
                ratio < 1.5 ? "below" : "NOT below");
    // The same from the two halves measured apart, less swayed by a busy machine.
    const double conversion = reporter.cpuRatio("RecordsFromParsedReply", "InflateAndParse");
    std::printf("conversion alone / inflate+parse alone: %.2f, so the whole is %.2f of inflate+parse\n",
                conversion, 1 + conversion);
    benchmark::Shutdown();
    return 0;
}
