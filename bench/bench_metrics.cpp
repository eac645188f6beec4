// What scraping can cost a request. The metrics endpoint serves on its own
// thread; a request meets a scrape only at the registry's lock, which a
// scrape holds while it copies the registry (it prints the copy without the
// lock). So the longest a reply can wait for a scrape is one copy of a busy
// station's registry (less than one Render), and every request pays the
// recorder's calls.
#include "service/stationmetrics.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace std::chrono_literals;

// Every request kind with many result codes, every store and encoder call:
// more series than a station ever has.
void FillLikeABusyStation(kx::StationMetrics &station)
{
    for (const int command : {int('I'), int('B'), int('E'), int('G'), 0})
        for (int code = -2; code <= 18; ++code)
            station.RequestServed(command, code, 2ms);
    for (const char *call : {"connect", "hello", "open", "execute", "apply"})
        station.StoreCall(call, false, true, 1ms);
    for (const char *call : {"Load", "ReadCard", "MakeGuestCard", "ClearCardData", "M1WriteCommonData"})
        for (const int result : {1, -1, -2, -5})
            station.EncoderCall(call, result, 1ms);
}

void BM_ScrapeRender(benchmark::State &state)
{
    kx::StationMetrics station;
    FillLikeABusyStation(station);
    for (auto _ : state)
        benchmark::DoNotOptimize(station.Registry().Render());
}
BENCHMARK(BM_ScrapeRender)->Unit(benchmark::kMicrosecond);

// The recorder's calls for one check-in (the request, six store calls, two
// encoder calls) per iteration. "max_us" is the longest one check-in's calls
// took, lock waits (and the system's scheduling) included.
void RecordCheckIns(benchmark::State &state, kx::StationMetrics &station)
{
    std::chrono::steady_clock::duration longest{};
    for (auto _ : state) {
        const auto started = std::chrono::steady_clock::now();
        station.RequestServed('I', 0, 2ms);
        for (int i = 0; i < 6; ++i)
            station.StoreCall("open", false, true, 200us);
        station.EncoderCall("ReadCard", 1, 100us);
        station.EncoderCall("MakeGuestCard", 1, 100us);
        longest = std::max(longest, std::chrono::steady_clock::now() - started);
    }
    state.counters["max_us"] = std::chrono::duration<double, std::micro>(longest).count();
}

void BM_RecordCheckIn(benchmark::State &state)
{
    kx::StationMetrics station;
    FillLikeABusyStation(station);
    RecordCheckIns(state, station);
}
BENCHMARK(BM_RecordCheckIn)->Unit(benchmark::kMicrosecond)->UseRealTime();

// The same while another thread scrapes without pause: the worst a request
// meets from scraping.
void BM_RecordCheckInWhileScraped(benchmark::State &state)
{
    kx::StationMetrics station;
    FillLikeABusyStation(station);
    std::atomic<bool> done{false};
    std::thread scraper([&] {
        while (!done)
            benchmark::DoNotOptimize(station.Registry().Render());
    });
    RecordCheckIns(state, station);
    done = true;
    scraper.join();
}
BENCHMARK(BM_RecordCheckInWhileScraped)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
