#include "artwork.h"

#include <xxhash.h>

#include <charconv>
#include <cinttypes>
#include <cstdio>
#include <ctime>
#include <limits>

static std::string describe_double(double value)
{
    char text[32];
    auto end = std::to_chars(text, text + sizeof text, value).ptr;
    return std::string(text, end);
}

// A date the calendar cannot hold (not a number, or beyond time_t, whose
// conversion would be undefined) is described by its number of seconds.
static std::string describe_date(const MRDate& date)
{
    const double limit = -static_cast<double>(std::numeric_limits<std::time_t>::min());  // a power of two
    if (!(date.sinceEpoch >= -limit && date.sinceEpoch < limit))
        return describe_double(date.sinceEpoch);
    std::time_t seconds = static_cast<std::time_t>(date.sinceEpoch);
    std::tm utc{};
    char text[40];
    if (!gmtime_r(&seconds, &utc) || !std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S +0000", &utc))
        return describe_double(date.sinceEpoch);
    return text;
}

static std::string describe_data(const MRData& data)
{
    static const char digits[] = "0123456789abcdef";
    std::string text = "<";
    if (data.bytes)
        for (std::uint8_t byte : *data.bytes) {
            text += digits[byte >> 4];
            text += digits[byte & 15];
        }
    return text + ">";
}

std::string describe(const MRValue& value)
{
    struct Describer {
        std::string operator()(const std::string& text) { return text; }
        std::string operator()(std::int64_t number) { return std::to_string(number); }
        std::string operator()(double number) { return describe_double(number); }
        std::string operator()(bool flag) { return flag ? "1" : "0"; }
        std::string operator()(const MRDate& date) { return describe_date(date); }
        std::string operator()(const MRData& data) { return describe_data(data); }
        std::string operator()(const MRObject& object) { return object.description; }
    };
    return std::visit(Describer{}, value);
}

std::string artwork_identity(const MRInfoDictionary& info, const MRData& artwork)
{
    auto identifier = info.find(kMRMediaRemoteNowPlayingInfoArtworkIdentifier);
    if (identifier != info.end())
        return describe(identifier->second);
    const auto& bytes = *artwork.bytes;
    char text[48];
    std::snprintf(text, sizeof text, "%" PRIu64 "-%" PRIu64, static_cast<std::uint64_t>(bytes.size()),
        static_cast<std::uint64_t>(XXH3_64bits(bytes.data(), bytes.size())));
    return text;
}
