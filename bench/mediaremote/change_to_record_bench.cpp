// From a player's metadata change to the record that shows it, through
// tolvane-media-host, the bridge and the stand-in on a private bus. Each
// repetition is one change, so the aggregates give the median and p95.
#include "rig.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <stdlib.h>

struct Rig {
    BusDaemon bus;
    FakePlayer player{"bench"};
    HostProcess host;
};

static std::unique_ptr<Rig> theRig;

static Rig& rig()
{
    if (!theRig)
        theRig = std::make_unique<Rig>();
    return *theRig;
}

static void ChangeToRecord(benchmark::State& state)
{
    static int changes;
    for (auto _ : state) {
        std::string title = "Title " + std::to_string(++changes);
        auto start = Clock::now();
        rig().player.set(std::nullopt, track(title));
        if (!rig().host.record_where({{"title", title}})) {
            state.SkipWithError("no record");
            break;
        }
        state.SetIterationTime(std::chrono::duration<double>(Clock::now() - start).count());
    }
}

static double p95(const std::vector<double>& samples)
{
    std::vector<double> s = samples;
    std::sort(s.begin(), s.end());
    return s[std::min(s.size() - 1, s.size() * 95 / 100)];
}

BENCHMARK(ChangeToRecord)
    ->UseManualTime()
    ->Iterations(1)
    ->Repetitions(40)
    ->ComputeStatistics("p95", p95)
    ->ReportAggregatesOnly()
    ->Unit(benchmark::kMillisecond);

int main(int argc, char** argv)
{
    setenv("DBUS_SESSION_BUS_ADDRESS", BusDaemon::address().c_str(), 1);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    theRig.reset();
    std::filesystem::remove_all(test_folder());
    return 0;
}
