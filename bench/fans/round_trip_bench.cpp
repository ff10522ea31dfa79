// One request's round trip through the control socket (connect, send, read the
// reply, see the close) against the simulated controller served on a thread.
#include "program_support.h"

#include "fan_control.h"
#include "user_client.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

namespace {

void round_trip(benchmark::State& state, const std::string& text)
{
    TempDir dir;
    ServerThread server;
    if (!smc_open() || !server.start(dir.file("sock"), getuid())) {
        state.SkipWithError("the server did not start");
        return;
    }
    std::string expected = request(server.path, text);
    for (auto _ : state) {
        if (request(server.path, text) != expected) {
            state.SkipWithError("the reply changed");
            break;
        }
    }
    server.stop();
}

BENCHMARK_CAPTURE(round_trip, ping, std::string("ping\n"))->UseRealTime();
BENCHMARK_CAPTURE(round_trip, status, std::string("status\n"))->UseRealTime();
BENCHMARK_CAPTURE(round_trip, set_2500, std::string("set 2500\n"))->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
