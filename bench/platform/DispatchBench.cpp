// The dispatch layer against Asio's io_context doing the same work: posting
// many empty blocks to one serial queue and to the concurrent pool, and a
// ping-pong between two serial queues.

#include <asio.hpp>
#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "Done.h"
#include "RatioReporter.h"
#include "platform/Dispatch.h"

using namespace orv::dispatch;

namespace {

constexpr int kPosts = 1'000'000;
constexpr int kRoundTrips = 100'000;

using orv::bench::Done;

// Threads running one io_context, joined on destruction.
struct AsioThreads {
    asio::io_context context;
    asio::executor_work_guard<asio::io_context::executor_type> guard{context.get_executor()};
    std::vector<std::thread> threads;
    explicit AsioThreads(unsigned count)
    {
        for (unsigned i = 0; i < count; ++i)
            threads.emplace_back([this] { context.run(); });
    }
    ~AsioThreads()
    {
        guard.reset();
        context.stop();
        for (auto& t : threads)
            t.join();
    }
};

unsigned poolSize() { return std::max(2u, std::thread::hardware_concurrency()); }

void OursSerialPost(benchmark::State& state)
{
    auto queue = Queue::makeSerial("bench.serial");
    Done done;
    for (auto _ : state) {
        for (int i = 0; i < kPosts - 1; ++i)
            queue->async([] {});
        queue->async([&] { done.signal(); });
        done.wait();
    }
    state.SetItemsProcessed(state.iterations() * kPosts);
}

void AsioSerialPost(benchmark::State& state)
{
    AsioThreads asio(1);  // one thread: blocks run one at a time, in order
    Done done;
    for (auto _ : state) {
        for (int i = 0; i < kPosts - 1; ++i)
            asio::post(asio.context, [] {});
        asio::post(asio.context, [&] { done.signal(); });
        done.wait();
    }
    state.SetItemsProcessed(state.iterations() * kPosts);
}

void OursGlobalPost(benchmark::State& state)
{
    auto queue = Queue::global();
    Done done;
    std::atomic<int> remaining;
    for (auto _ : state) {
        remaining = kPosts;
        for (int i = 0; i < kPosts; ++i)
            queue->async([&] {
                if (remaining.fetch_sub(1, std::memory_order_acq_rel) == 1)
                    done.signal();
            });
        done.wait();
    }
    state.SetItemsProcessed(state.iterations() * kPosts);
}

void AsioGlobalPost(benchmark::State& state)
{
    AsioThreads asio(poolSize());
    Done done;
    std::atomic<int> remaining;
    for (auto _ : state) {
        remaining = kPosts;
        for (int i = 0; i < kPosts; ++i)
            asio::post(asio.context, [&] {
                if (remaining.fetch_sub(1, std::memory_order_acq_rel) == 1)
                    done.signal();
            });
        done.wait();
    }
    state.SetItemsProcessed(state.iterations() * kPosts);
}

// Bounces one task between two serial lanes until `left` round trips are
// done. Lanes supplies toA/toB, each posting a task to one lane.
template <class Lanes>
struct PingPong : Lanes {
    Done done;
    int left = 0;
    void ping()
    {
        if (left-- == 0) {
            done.signal();
            return;
        }
        this->toB([this] { this->toA([this] { ping(); }); });
    }
};

template <class Lanes>
void pingPongLatency(benchmark::State& state)
{
    PingPong<Lanes> game;
    for (auto _ : state) {
        game.left = kRoundTrips;
        game.toA([&] { game.ping(); });
        game.done.wait();
    }
    state.SetItemsProcessed(state.iterations() * kRoundTrips);
}

struct OurLanes {
    QueueRef a = Queue::makeSerial("bench.ping");
    QueueRef b = Queue::makeSerial("bench.pong");
    template <class Task>
    void toA(Task task) { a->async(std::move(task)); }
    template <class Task>
    void toB(Task task) { b->async(std::move(task)); }
};

struct AsioLanes {
    AsioThreads a{1};
    AsioThreads b{1};
    template <class Task>
    void toA(Task task) { asio::post(a.context, std::move(task)); }
    template <class Task>
    void toB(Task task) { asio::post(b.context, std::move(task)); }
};

void OursPingPongLatency(benchmark::State& state) { pingPongLatency<OurLanes>(state); }
void AsioPingPongLatency(benchmark::State& state) { pingPongLatency<AsioLanes>(state); }

}  // namespace

BENCHMARK(OursSerialPost)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(AsioSerialPost)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(OursGlobalPost)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(AsioGlobalPost)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(OursPingPongLatency)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(AsioPingPongLatency)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    orv::bench::RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    reporter.printRatios({{"OursSerialPost", "AsioSerialPost"},
                          {"OursGlobalPost", "AsioGlobalPost"},
                          {"OursPingPongLatency", "AsioPingPongLatency"}});
    benchmark::Shutdown();
    return 0;
}
