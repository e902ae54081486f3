#pragma once
// A busy machine for benchmarks: while alive, keeps every core but one
// spinning, so a measurement shows how the code under test fares when it
// has to compete for CPU rather than find idle cores waiting for it.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace orv::bench {

class SpinLoad {
public:
    SpinLoad()
    {
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        for (unsigned i = 0; i + 1 < cores; ++i)
            threads_.emplace_back([this] {
                unsigned long long spins = 0;
                while (!stop_.load(std::memory_order_relaxed))
                    ++spins;
                sink_.fetch_add(spins, std::memory_order_relaxed);
            });
    }
    ~SpinLoad()
    {
        stop_.store(true);
        for (auto& thread : threads_)
            thread.join();
    }
    SpinLoad(const SpinLoad&) = delete;
    SpinLoad& operator=(const SpinLoad&) = delete;

private:
    std::atomic<bool> stop_{false};
    std::atomic<unsigned long long> sink_{0};
    std::vector<std::thread> threads_;
};

// Runs benchmark function F with the machine kept busy around it.
template <void (*F)(benchmark::State&)>
void underLoad(benchmark::State& state)
{
    SpinLoad load;
    F(state);
}

// The comparisons (ours, reference) as given, then the same between their
// loaded variants.
inline std::vector<std::pair<std::string, std::string>> quietAndLoaded(
    std::initializer_list<std::pair<std::string, std::string>> pairs)
{
    std::vector<std::pair<std::string, std::string>> all(pairs);
    for (const auto& [ours, reference] : pairs)
        all.emplace_back(ours + "Loaded", reference + "Loaded");
    return all;
}

}  // namespace orv::bench

// Registers benchmark function F twice: as it is, and as F + "Loaded" run
// with the machine kept busy.
#define ORV_QUIET_AND_LOADED(F)                                 \
    BENCHMARK(F)->Unit(benchmark::kMillisecond)->UseRealTime(); \
    BENCHMARK(orv::bench::underLoad<F>)->Name(#F "Loaded")->Unit(benchmark::kMillisecond)->UseRealTime()
