// Building the now-playing record from the framework's answers.
#include "artwork.h"
#include "snapshot.h"

#include <gtest/gtest.h>
#include <xxhash.h>

#include <chrono>
#include <limits>

static MRData bytes(std::vector<std::uint8_t> content)
{
    return MRData{std::make_shared<const std::vector<std::uint8_t>>(std::move(content))};
}

static std::string key(const char* name)
{
    return std::string("kMRMediaRemoteNowPlayingInfo") + name;
}

// Every expected member must be there with its value and its kind of number;
// a record without a date in its information is stamped with the present.
TEST(NowPlayingRecord, TakesEachValueOfTheRightTypeAndDefaultsTheRest)
{
    const struct {
        const char* what;
        std::shared_ptr<MRInfoDictionary> info;
        const char* expected;
    } rows[] = {
        {"no information", nullptr,
            R"({"pid":7,"playing":true,"title":"","artist":"","album":"","duration":0,"elapsed":0,"rate":0})"},
        {"texts",
            std::make_shared<MRInfoDictionary>(MRInfoDictionary{{key("Title"), std::string("Blue\nin \"Green\"")},
                {key("Artist"), std::string("Sigur Rós")}, {key("Album"), std::string("")}}),
            R"({"title":"Blue\nin \"Green\"","artist":"Sigur Rós","album":""})"},
        {"texts of other types",
            std::make_shared<MRInfoDictionary>(MRInfoDictionary{
                {key("Title"), std::int64_t(7)}, {key("Artist"), MRObject{"x"}}, {key("Album"), MRDate{1}}}),
            R"({"title":"","artist":"","album":""})"},
        {"integer and fraction",
            std::make_shared<MRInfoDictionary>(MRInfoDictionary{
                {key("Duration"), std::int64_t(215)}, {key("ElapsedTime"), 215.04}, {key("PlaybackRate"), 1.0}}),
            R"({"duration":215,"elapsed":215.04,"rate":1.0})"},
        {"numbers of other types",
            std::make_shared<MRInfoDictionary>(MRInfoDictionary{{key("Duration"), std::string("215")},
                {key("ElapsedTime"), MRDate{30}}, {key("PlaybackRate"), MRObject{"1"}}}),
            R"({"duration":0,"elapsed":0,"rate":0})"},
        {"elapsed not advanced",
            std::make_shared<MRInfoDictionary>(MRInfoDictionary{{key("ElapsedTime"), std::int64_t(30)},
                {key("PlaybackRate"), std::int64_t(1)}, {key("Timestamp"), MRDate{1700000000.25}}}),
            R"({"elapsed":30,"rate":1,"timestamp":1700000000.25})"},
        {"timestamp that is no date", std::make_shared<MRInfoDictionary>(MRInfoDictionary{{key("Timestamp"), 1000.5}}),
            R"({})"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        auto now = [] {
            return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
        };
        double before = now();
        Record record = now_playing_record(7, true, row.info);
        double after = now();
        Record expected = Record::parse(row.expected);
        for (const auto& [name, value] : expected.items()) {
            EXPECT_EQ(record[name], value) << name;
            EXPECT_EQ(record[name].is_number_float(), value.is_number_float()) << name;
        }
        EXPECT_EQ(record.size(), 9u);
        ASSERT_TRUE(record["timestamp"].is_number_float());
        if (!expected.contains("timestamp")) {
            EXPECT_GE(record["timestamp"].get<double>(), before);
            EXPECT_LE(record["timestamp"].get<double>(), after);
        }
    }
}

// One snapshot per row, in order: what was sent before decides what is sent.
TEST(NowPlayingRecord, SendsArtworkOnlyWhenItsIdentityIsNew)
{
    const std::vector<std::uint8_t> three = {0xfb, 0xff, 0xfe}, four = {1, 2, 3, 4}, five = {1, 2, 3, 4, 5};
    const struct {
        const char* what;
        std::optional<MRValue> data, identifier;
        const char* artworkID;  // null: no artwork keys
        const char* artwork;    // null: not sent
    } rows[] = {
        {"none yet", std::nullopt, std::nullopt, nullptr, nullptr},
        {"first artwork", bytes(three), std::string("cover-1"), "cover-1", "+//+"},
        {"the same again", bytes(three), std::string("cover-1"), "cover-1", nullptr},
        {"new bytes, same identifier", bytes(four), std::string("cover-1"), "cover-1", nullptr},
        {"no artwork clears", std::nullopt, std::string("cover-1"), nullptr, nullptr},
        {"the same after none", bytes(three), std::string("cover-1"), "cover-1", "+//+"},
        {"zero bytes clear", bytes({}), std::string("cover-1"), nullptr, nullptr},
        {"identifier without data", std::string("not data"), std::string("cover-1"), nullptr, nullptr},
        {"no identifier", bytes(four), std::nullopt, "", "AQIDBA=="},
        {"no identifier, longer", bytes(five), std::nullopt, "", "AQIDBAU="},
        {"no identifier, again", bytes(five), std::nullopt, "", nullptr},
        {"empty identifier of another type", bytes(four), MRObject{""}, "", "AQIDBA=="},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        auto info = std::make_shared<MRInfoDictionary>();
        if (row.data)
            (*info)[key("ArtworkData")] = *row.data;
        if (row.identifier)
            (*info)[key("ArtworkIdentifier")] = *row.identifier;
        Record record = now_playing_record(1, true, info);
        std::string identity = row.artworkID ? row.artworkID : "<absent>";
        if (auto data = row.data ? std::get_if<MRData>(&*row.data) : nullptr; data && !row.identifier)
            identity = std::to_string(data->bytes->size()) + "-" +
                std::to_string(XXH3_64bits(data->bytes->data(), data->bytes->size()));
        EXPECT_EQ(record.value("artworkID", "<absent>"), identity);
        EXPECT_EQ(record.value("artwork", "<absent>"), row.artwork ? row.artwork : "<absent>");
    }
}

// An identifier that is no string stands for its text; a date that the
// calendar cannot hold, or that is no number, for its seconds.
TEST(ArtworkIdentity, DescribesAnIdentifierOfAnyType)
{
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const struct {
        MRValue identifier;
        const char* text;
    } rows[] = {
        {std::int64_t(-42), "-42"},
        {2.5, "2.5"},
        {true, "1"},
        {bytes({0xab, 0x01}), "<ab01>"},
        {MRObject{"<NSURL>"}, "<NSURL>"},
        {MRDate{0}, "1970-01-01 00:00:00 +0000"},
        {MRDate{1700000000.9}, "2023-11-14 22:13:20 +0000"},
        {MRDate{-0.5}, "1970-01-01 00:00:00 +0000"},
        {MRDate{1e17}, "1e+17"},                                 // a time_t, but past the calendar's years
        {MRDate{9223372036854775808.0}, "9223372036854775808"},  // just past time_t
        {MRDate{-1e19}, "-1e+19"},
        {MRDate{1e300}, "1e+300"},
        {MRDate{nan}, "nan"},
        {MRDate{inf}, "inf"},
        {MRDate{-inf}, "-inf"},
    };
    MRData artwork = bytes({1});
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        MRInfoDictionary info = {{key("ArtworkData"), artwork}, {key("ArtworkIdentifier"), row.identifier}};
        EXPECT_EQ(artwork_identity(info, artwork), row.text);
    }
}
