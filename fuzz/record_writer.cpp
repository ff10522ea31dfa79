// Record building and writing from arbitrary values: an information
// dictionary of any values under the keys the bridge reads, made into a
// now-playing record and written to the stream. A written record must be one
// line of valid JSON (the parser rejects invalid UTF-8), the bytes the
// serialiser would write, and carry artwork that decodes, strictly, to the
// bytes it came from.
#include "snapshot.h"
#include "strict_base64.h"

#include <fuzzer/FuzzedDataProvider.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

static const char* const keys[] = {
    kMRMediaRemoteNowPlayingInfoTitle,
    kMRMediaRemoteNowPlayingInfoArtist,
    kMRMediaRemoteNowPlayingInfoAlbum,
    kMRMediaRemoteNowPlayingInfoDuration,
    kMRMediaRemoteNowPlayingInfoElapsedTime,
    kMRMediaRemoteNowPlayingInfoPlaybackRate,
    kMRMediaRemoteNowPlayingInfoTimestamp,
    kMRMediaRemoteNowPlayingInfoArtworkData,
    kMRMediaRemoteNowPlayingInfoArtworkIdentifier,
};

static MRValue any_value(FuzzedDataProvider& in)
{
    switch (in.ConsumeIntegralInRange(0, 6)) {
    case 0: return in.ConsumeRandomLengthString(64);
    case 1: return in.ConsumeIntegral<std::int64_t>();
    case 2: return in.ConsumeFloatingPoint<double>();
    case 3: return in.ConsumeBool();
    case 4: return MRDate{in.ConsumeFloatingPoint<double>()};
    case 5: {
        // Long enough, at times, to take the writer's path for long text.
        std::size_t length = in.ConsumeBool() ? in.ConsumeIntegralInRange(0, 4096) : in.ConsumeIntegralInRange(0, 8);
        return MRData{std::make_shared<const std::vector<std::uint8_t>>(in.ConsumeBytes<std::uint8_t>(length))};
    }
    default: return MRObject{in.ConsumeRandomLengthString(16)};
    }
}

static MRInfo any_info(FuzzedDataProvider& in)
{
    if (in.ConsumeBool())
        return nullptr;
    auto info = std::make_shared<MRInfoDictionary>();
    for (const char* key : keys)
        if (in.ConsumeBool())
            (*info)[key] = any_value(in);
    return info;
}

// What emit wrote to standard output, which is a memory file.
static std::string take_output()
{
    std::string text(lseek(1, 0, SEEK_END), '\0');
    if (pread(1, text.data(), text.size(), 0) != static_cast<ssize_t>(text.size()))
        abort();
    lseek(1, 0, SEEK_SET);
    if (ftruncate(1, 0) != 0)
        abort();
    return text;
}

static bool has_non_finite(const Record& record)
{
    return std::any_of(record.begin(), record.end(),
        [](const Record& v) { return v.is_number_float() && !std::isfinite(v.get<double>()); });
}

static bool has_artwork(const MRInfo& info)
{
    auto found = info ? info->find(kMRMediaRemoteNowPlayingInfoArtworkData) : MRInfoDictionary::const_iterator();
    const MRData* data = info && found != info->end() ? std::get_if<MRData>(&found->second) : nullptr;
    return data && data->bytes && !data->bytes->empty();
}

static void check_artwork(const Record& written, const MRInfo& info)
{
    if (written.contains("artworkID") != has_artwork(info))
        abort();
    if (!written.contains("artwork"))
        return;
    const auto& bytes = *std::get<MRData>(info->at(kMRMediaRemoteNowPlayingInfoArtworkData)).bytes;
    auto decoded = strict_base64_decode(written["artwork"].get<std::string>());
    if (!decoded || *decoded != bytes)
        abort();
}

static void check_line(const std::string& output, const Record& record, const MRInfo& info)
{
    if (output.empty() || output.back() != '\n' || output.find('\n') != output.size() - 1)
        abort();
    std::string line = output.substr(0, output.size() - 1);
    if (line != record.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace))
        abort();
    Record written = Record::parse(line);  // throws, and so fails, on invalid JSON or UTF-8
    if (!written.is_object() || written.size() != record.size())
        abort();
    check_artwork(written, info);
}

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    int file = memfd_create("stream", 0);
    if (file < 0 || dup2(file, 1) != 1)
        abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    std::int32_t pid = in.ConsumeIntegral<std::int32_t>();
    bool playing = in.ConsumeBool();
    MRInfo info = any_info(in);
    Record record = now_playing_record(pid, playing, info);
    bool written = emit(record);
    std::string output = take_output();
    if (!written && (!output.empty() || !has_non_finite(record)))
        abort();
    if (written)
        check_line(output, record, info);
    return 0;
}
