// The dispatch layer against Asio's io_context doing the same work: posting
// many empty blocks to one serial queue and to the concurrent pool, and a
// ping-pong between two serial queues. The pool and the ping-pong are also
// measured against oneTBB (task_arena::enqueue, task_group), which is built
// for many threads posting. Each comparison runs twice: on a quiet machine,
// and "Loaded", with every core but one kept busy. Also what idle threads
// cost: the workers and the reactor poll briefly before they sleep, and must
// then sleep.

#include <asio.hpp>
#include <benchmark/benchmark.h>

#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#if ORVANE_BENCH_TBB
#include <oneapi/tbb/task_arena.h>
#include <oneapi/tbb/task_group.h>
#endif

#include "Done.h"
#include "RatioReporter.h"
#include "SpinLoad.h"
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

#if ORVANE_BENCH_TBB
void TbbGlobalPost(benchmark::State& state)
{
    tbb::task_arena arena;  // one slot per core, as our pool
    arena.initialize();
    Done done;
    std::atomic<int> remaining;
    for (auto _ : state) {
        remaining = kPosts;
        for (int i = 0; i < kPosts; ++i)
            arena.enqueue([&] {
                if (remaining.fetch_sub(1, std::memory_order_acq_rel) == 1)
                    done.signal();
            });
        done.wait();
    }
    state.SetItemsProcessed(state.iterations() * kPosts);
}
#endif

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

#if ORVANE_BENCH_TBB
// TBB has no serial lanes: both hops go through one task group, whose tasks
// run on the arena's workers while the benchmark's thread waits.
struct TbbLanes {
    tbb::task_group group;
    ~TbbLanes() { group.wait(); }
    template <class Task>
    void toA(Task task) { group.run(std::move(task)); }
    template <class Task>
    void toB(Task task) { group.run(std::move(task)); }
};

void TbbPingPongLatency(benchmark::State& state) { pingPongLatency<TbbLanes>(state); }
#endif

std::chrono::nanoseconds processCpuTime()
{
    timespec ts{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return std::chrono::seconds(ts.tv_sec) + std::chrono::nanoseconds(ts.tv_nsec);
}

// Wakes every kind of thread (workers, the reactor through a read source),
// then measures the CPU the process uses over a quiet 300 ms; reported as
// the counter idle_cpu_share (0 when every thread sleeps, 1 for a busy core).
void OursIdleCpu(benchmark::State& state)
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, fds) != 0) {
        state.SkipWithError("socketpair failed");
        return;
    }
    auto queue = Queue::makeSerial("bench.idle");
    auto source = Source::makeRead(fds[0], queue);
    std::atomic<int> events{0};
    source->setEventHandler([&] {
        char buffer[16];
        while (::read(fds[0], buffer, sizeof buffer) > 0) {
        }
        ++events;
    });
    source->resume();
    double share = 0;
    for (auto _ : state) {
        const int before = events.load();
        if (::write(fds[1], "x", 1) != 1)
            break;
        while (events.load() == before)
            std::this_thread::yield();
        Done posted;
        std::atomic<int> left{64};
        for (int i = 0; i < 64; ++i)
            Queue::global()->async([&] {
                if (--left == 0)
                    posted.signal();
            });
        posted.wait();
        const auto cpuBefore = processCpuTime();
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        share = std::chrono::duration<double>(processCpuTime() - cpuBefore).count() / 0.3;
    }
    state.counters["idle_cpu_share"] = share;
    source->cancel();
    queue->sync([] {});
    ::close(fds[0]);
    ::close(fds[1]);
}

}  // namespace

ORV_QUIET_AND_LOADED(OursSerialPost);
ORV_QUIET_AND_LOADED(AsioSerialPost);
ORV_QUIET_AND_LOADED(OursGlobalPost);
ORV_QUIET_AND_LOADED(AsioGlobalPost);
ORV_QUIET_AND_LOADED(OursPingPongLatency);
ORV_QUIET_AND_LOADED(AsioPingPongLatency);
#if ORVANE_BENCH_TBB
ORV_QUIET_AND_LOADED(TbbGlobalPost);
ORV_QUIET_AND_LOADED(TbbPingPongLatency);
#endif
BENCHMARK(OursIdleCpu)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

int main(int argc, char** argv)
{
    orv::bench::runPrintingRatios(argc, argv, orv::bench::quietAndLoaded({
        {"OursSerialPost", "AsioSerialPost"},
        {"OursGlobalPost", "AsioGlobalPost"},
        {"OursPingPongLatency", "AsioPingPongLatency"},
        {"OursGlobalPost", "TbbGlobalPost"},
        {"OursPingPongLatency", "TbbPingPongLatency"},
    }));
    benchmark::Shutdown();
    return 0;
}
