// The stand-in's mapping of arbitrary D-Bus values: a player's properties and
// metadata of any types (values the bus could not carry, such as text that
// is not UTF-8, are skipped as the bus would refuse them), made into the
// information dictionary. What comes out must keep the stand-in's promises:
// the reading time, a rate that is a number, artwork named by nothing (the
// bridge names it by its bytes).
#include "mediaremote/artwork.h"
#include "mediaremote/metadata.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>

static const char* const propertyNames[] = {"Metadata", "PlaybackStatus", "Rate", "Position", "Volume"};
static const char* const metadataNames[] = {
    "xesam:title", "xesam:artist", "xesam:album", "mpris:length", "mpris:artUrl", "mpris:trackid"};

static PropertyMap any_map(FuzzedDataProvider& in, const char* const* names, std::size_t count, int depth);

static sdbus::Variant any_variant(FuzzedDataProvider& in, int depth)
{
    switch (in.ConsumeIntegralInRange(0, depth > 0 ? 13 : 12)) {
    case 0: return sdbus::Variant(in.ConsumeRandomLengthString(64));
    case 1: return sdbus::Variant(sdbus::ObjectPath(in.ConsumeRandomLengthString(32)));
    case 2: return sdbus::Variant(in.ConsumeBool());
    case 3: return sdbus::Variant(in.ConsumeFloatingPoint<double>());
    case 4: return sdbus::Variant(in.ConsumeIntegral<std::int64_t>());
    case 5: return sdbus::Variant(in.ConsumeIntegral<std::uint64_t>());
    case 6: return sdbus::Variant(in.ConsumeIntegral<std::int32_t>());
    case 7: return sdbus::Variant(in.ConsumeIntegral<std::uint32_t>());
    case 8: return sdbus::Variant(in.ConsumeIntegral<std::int16_t>());
    case 9: return sdbus::Variant(in.ConsumeIntegral<std::uint16_t>());
    case 10: return sdbus::Variant(in.ConsumeIntegral<std::uint8_t>());
    case 11: {
        std::vector<std::string> parts(in.ConsumeIntegralInRange(0, 4));
        for (auto& part : parts)
            part = in.ConsumeRandomLengthString(16);
        return sdbus::Variant(parts);
    }
    case 12: return sdbus::Variant(sdbus::Signature(in.ConsumeRandomLengthString(8)));
    default: return sdbus::Variant(any_map(in, metadataNames, std::size(metadataNames), depth - 1));
    }
}

// Well-known names most of the time, any name now and then.
static PropertyMap any_map(FuzzedDataProvider& in, const char* const* names, std::size_t count, int depth)
{
    PropertyMap map;
    for (int n = in.ConsumeIntegralInRange(0, 8); n > 0; n--) {
        std::size_t pick = in.ConsumeIntegralInRange<std::size_t>(0, count);
        std::string name = pick < count ? names[pick] : in.ConsumeRandomLengthString(16);
        map.insert_or_assign(name, any_variant(in, depth));
    }
    return map;
}

static void check(const MRInfoDictionary& info, double readAt)
{
    auto date = std::get_if<MRDate>(&info.at(kMRMediaRemoteNowPlayingInfoTimestamp));
    if (!date || date->sinceEpoch != readAt ||
        !std::holds_alternative<double>(info.at(kMRMediaRemoteNowPlayingInfoPlaybackRate)))
        abort();
    auto data = info.find(kMRMediaRemoteNowPlayingInfoArtworkData);
    if (data == info.end())
        return;
    auto bytes = std::get<MRData>(data->second).bytes;
    if (!bytes || bytes->size() > artworkLimit || info.contains(kMRMediaRemoteNowPlayingInfoArtworkIdentifier))
        abort();
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    PropertyMap properties;
    try {
        properties = any_map(in, propertyNames, std::size(propertyNames), 2);
    } catch (const sdbus::Error&) {
        return 0;
    }
    double readAt = in.ConsumeFloatingPoint<double>();
    check(metadata_info(properties, readAt), readAt);
    return 0;
}
