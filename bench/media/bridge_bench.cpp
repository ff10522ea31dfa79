// The bridge's hot paths: writing records, and naming and encoding artwork.
#include "artwork.h"
#include "base64.h"
#include "event_stream.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

static MRData megabyte_of_artwork()
{
    std::vector<std::uint8_t> bytes(1 << 20);
    for (std::size_t i = 0; i < bytes.size(); i++)
        bytes[i] = static_cast<std::uint8_t>(i * 2654435761u >> 13);
    return MRData{std::make_shared<const std::vector<std::uint8_t>>(std::move(bytes))};
}

static Record plain_record()
{
    return {{"pid", 4242}, {"playing", true}, {"title", "So What"}, {"artist", "Miles Davis"},
        {"album", "Kind of Blue"}, {"duration", 562.5}, {"elapsed", 31.25}, {"rate", 1}, {"timestamp", 1700000000.125}};
}

static void BM_EmitPlainRecord(benchmark::State& state)
{
    Record record = plain_record();
    for (auto _ : state)
        emit(record);
}
BENCHMARK(BM_EmitPlainRecord);

static void BM_EmitRecordWithMegabyteOfArtwork(benchmark::State& state)
{
    MRData artwork = megabyte_of_artwork();
    Record record = plain_record();
    record["artworkID"] = "1048576-1";
    record["artwork"] = base64_encode(artwork.bytes->data(), artwork.bytes->size());
    for (auto _ : state)
        emit(record);
    state.SetBytesProcessed(state.iterations() * artwork.bytes->size());
}
BENCHMARK(BM_EmitRecordWithMegabyteOfArtwork);

static void BM_ArtworkIdentityOfAMegabyteWithoutIdentifier(benchmark::State& state)
{
    MRData artwork = megabyte_of_artwork();
    MRInfoDictionary info = {{kMRMediaRemoteNowPlayingInfoArtworkData, artwork}};
    for (auto _ : state)
        benchmark::DoNotOptimize(artwork_identity(info, artwork));
    state.SetBytesProcessed(state.iterations() * artwork.bytes->size());
}
BENCHMARK(BM_ArtworkIdentityOfAMegabyteWithoutIdentifier);

static void BM_Base64OfAMegabyte(benchmark::State& state)
{
    MRData artwork = megabyte_of_artwork();
    for (auto _ : state)
        benchmark::DoNotOptimize(base64_encode(artwork.bytes->data(), artwork.bytes->size()));
    state.SetBytesProcessed(state.iterations() * artwork.bytes->size());
}
BENCHMARK(BM_Base64OfAMegabyte);

// Records go to /dev/null; the report goes to where standard output was.
int main(int argc, char** argv)
{
    std::ofstream console("/proc/self/fd/" + std::to_string(dup(1)));
    if (!std::freopen("/dev/null", "w", stdout))
        return 1;
    benchmark::Initialize(&argc, argv);
    benchmark::ConsoleReporter reporter(benchmark::ConsoleReporter::OO_Tabular);
    reporter.SetOutputStream(&console);
    reporter.SetErrorStream(&console);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    return 0;
}
