// MPRIS times are microseconds; the framework's are seconds. A value of an
// unexpected type passes through as what it is, for the reader to judge.
#include "metadata.h"

#include <optional>

static std::optional<std::int64_t> integer(const sdbus::Variant& v)
{
    std::string t = v.peekValueType();
    if (t == "x")
        return v.get<std::int64_t>();
    if (t == "t")
        return static_cast<std::int64_t>(v.get<std::uint64_t>());
    if (t == "i")
        return v.get<std::int32_t>();
    if (t == "u")
        return v.get<std::uint32_t>();
    if (t == "n")
        return v.get<std::int16_t>();
    if (t == "q")
        return v.get<std::uint16_t>();
    if (t == "y")
        return v.get<std::uint8_t>();
    return std::nullopt;
}

static std::optional<double> number(const sdbus::Variant& v)
{
    if (v.containsValueOfType<double>())
        return v.get<double>();
    if (auto i = integer(v))
        return static_cast<double>(*i);
    return std::nullopt;
}

static MRValue value(const sdbus::Variant& v)
{
    std::string t = v.peekValueType();
    if (t == "s")
        return v.get<std::string>();
    if (t == "o")
        return std::string(v.get<sdbus::ObjectPath>());
    if (t == "b")
        return v.get<bool>();
    if (t == "d")
        return v.get<double>();
    if (auto i = integer(v))
        return *i;
    return MRObject{t};
}

static MRValue microseconds_as_seconds(const sdbus::Variant& v)
{
    auto n = number(v);
    return n ? MRValue(*n / 1e6) : value(v);
}

static MRValue joined(const sdbus::Variant& v)
{
    if (!v.containsValueOfType<std::vector<std::string>>())
        return value(v);
    std::string text;
    for (auto& part : v.get<std::vector<std::string>>())
        text += (text.empty() ? "" : ", ") + part;
    return text;
}

static const sdbus::Variant* find(const PropertyMap& map, const char* key)
{
    auto it = map.find(key);
    return it == map.end() ? nullptr : &it->second;
}

// Artwork goes without a name, so the bridge names it by its length and a
// hash of its bytes: a player may write new bytes under the same file name,
// and inline data's URL is the whole image, which would go with every record.
static void add_artwork(MRInfoDictionary& info, const std::string& url, ArtworkLoader load)
{
    if (ArtworkBytes bytes = load(url))
        info[kMRMediaRemoteNowPlayingInfoArtworkData] = MRData{bytes};
}

static PropertyMap metadata_of(const PropertyMap& properties)
{
    auto m = find(properties, "Metadata");
    return m && m->containsValueOfType<PropertyMap>() ? m->get<PropertyMap>() : PropertyMap();
}

static std::string art_url(const PropertyMap& meta)
{
    auto url = find(meta, "mpris:artUrl");
    return url && url->containsValueOfType<std::string>() ? url->get<std::string>() : "";
}

std::string metadata_art_url(const PropertyMap& properties)
{
    return art_url(metadata_of(properties));
}

static double rate_of(const PropertyMap& properties)
{
    auto status = find(properties, "PlaybackStatus");
    if (!status || !status->containsValueOfType<std::string>() || status->get<std::string>() != "Playing")
        return 0.0;
    auto rate = find(properties, "Rate");
    auto n = rate ? number(*rate) : std::nullopt;
    return n ? *n : 1.0;
}

MRInfoDictionary metadata_info(const PropertyMap& properties, double readAt, ArtworkLoader load)
{
    MRInfoDictionary info;
    PropertyMap meta = metadata_of(properties);
    if (auto v = find(meta, "xesam:title"))
        info[kMRMediaRemoteNowPlayingInfoTitle] = value(*v);
    if (auto v = find(meta, "xesam:artist"))
        info[kMRMediaRemoteNowPlayingInfoArtist] = joined(*v);
    if (auto v = find(meta, "xesam:album"))
        info[kMRMediaRemoteNowPlayingInfoAlbum] = value(*v);
    if (auto v = find(meta, "mpris:length"))
        info[kMRMediaRemoteNowPlayingInfoDuration] = microseconds_as_seconds(*v);
    if (auto v = find(properties, "Position"))
        info[kMRMediaRemoteNowPlayingInfoElapsedTime] = microseconds_as_seconds(*v);
    info[kMRMediaRemoteNowPlayingInfoPlaybackRate] = rate_of(properties);
    info[kMRMediaRemoteNowPlayingInfoTimestamp] = MRDate{readAt};
    add_artwork(info, art_url(meta), load);
    return info;
}
