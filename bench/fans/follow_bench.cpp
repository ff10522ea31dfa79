// The follower's cost: one period's reading and decision on a Mac's worth of temperature inputs, and the real
// tolvane-fans-ctl follow at its default period against the simulated helper: its reaction to a crossing of the
// curve's first point, its peak memory and its share of a core.
#include "fake_hwmon.h"
#include "fan_control.h"
#include "program_support.h"
#include "user_client.h"

#include "child.h"
#include "curve.h"
#include "sensors.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstring>

namespace {

// coretemp's package and four cores, applesmc's forty inputs, a drive: as an Intel MacBook Pro lists them.
std::filesystem::path lay_out(FakeHwmon& hwmon)
{
    std::filesystem::path core = hwmon.monitor(0, "platform/coretemp.0", "coretemp"),
                          smc = hwmon.monitor(1, "platform/applesmc.768", "applesmc", true);
    for (int n = 1; n <= 5; n++)
        FakeHwmon::write(core / ("temp" + std::to_string(n) + "_input"), "45000\n");
    FakeHwmon::write(core / "temp1_label", "Package id 0\n");
    for (int n = 1; n <= 40; n++)
        FakeHwmon::write(smc / ("temp" + std::to_string(n) + "_input"), "40000\n"),
            FakeHwmon::write(smc / ("temp" + std::to_string(n) + "_label"), "T" + std::to_string(n) + "P\n");
    FakeHwmon::write(hwmon.monitor(2, "pci0000:00/nvme0", "nvme") / "temp1_input", "35000\n");
    return core / "temp1_input";
}

void one_period(benchmark::State& state)
{
    FakeHwmon hwmon;
    lay_out(hwmon);
    Curve curve;
    parse_curve("55:2000,70:3500,85:6000", curve);
    std::vector<Chosen> chosen;
    choose_sensors(find_sensors(), "coretemp/Package id *", chosen),
        choose_sensors(find_sensors(), "applesmc/*", chosen);
    Speed speed = {0, 0};
    for (auto _ : state) {
        Reading reading = read_chosen(chosen);
        benchmark::DoNotOptimize(speed = next_speed(curve, 3, 100, speed, reading.celsius));
    }
    // Of a core, at one period each 2 s: the CPU time of one, per 2 s, in percent.
    state.counters["core_percent_at_2s"] =
        benchmark::Counter(double(state.iterations()) / 50, benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

// Each iteration crosses the first point, up then down, and times the line that says the change.
void follower(benchmark::State& state)
{
    using namespace std::chrono;
    FakeHwmon hwmon;
    std::filesystem::path package = lay_out(hwmon);
    TempDir dir;
    ServerThread server;
    if (!smc_open() || (detect_fans(), !server.start(dir.file("s"), getuid())))
        return state.SkipWithError("the helper did not start");
    Child ctl({TOLVANE_FANS_CTL_BIN, "--socket", server.path, "--curve", "55:2000,70:3500,85:6000", "follow"});
    child_read_line(ctl);
    auto start = steady_clock::now();
    double cpu = child_cpu_seconds(ctl), slowest = 0, temperature = 60000;
    for (auto _ : state) {
        auto wrote = (FakeHwmon::write(package, std::to_string(int(temperature)) + "\n"), steady_clock::now());
        if (!child_read_line(ctl, seconds(5)))
            return state.SkipWithError("no line for a crossing");
        double took = duration<double>(steady_clock::now() - wrote).count();
        state.SetIterationTime(took), slowest = std::max(slowest, took), temperature = 110000 - temperature;
        std::this_thread::sleep_for(milliseconds(rand() % 2000));  // crossing at any point of a period
    }
    state.counters["slowest_reaction_s"] = slowest;
    state.counters["core_percent"] =
        100 * (child_cpu_seconds(ctl) - cpu) / duration<double>(steady_clock::now() - start).count();
    // Its peak resident set, mostly the C and C++ libraries' pages that every process shares, and its own share.
    for (auto [file, field, name] : {std::tuple{"/status", "VmHWM:", "peak_rss_kB"},
             {"/smaps_rollup", "Pss:", "pss_kB"}, {"/smaps_rollup", "Private_Dirty:", "private_dirty_kB"}}) {
        std::ifstream in("/proc/" + std::to_string(ctl.pid) + file);
        for (std::string line; std::getline(in, line);)
            if (line.starts_with(field))
                state.counters[name] = std::stod(line.substr(strlen(field)));
    }
}

BENCHMARK(one_period);
BENCHMARK(follower)->UseManualTime()->Iterations(12)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
