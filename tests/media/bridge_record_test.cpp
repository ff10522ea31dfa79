#include "snapshot.h"

#include <gtest/gtest.h>
#include <xxhash.h>

#include <chrono>

static MRInfo info(std::initializer_list<MRInfoDictionary::value_type> values)
{
    return std::make_shared<const MRInfoDictionary>(values);
}

static MRData bytes(std::vector<std::uint8_t> content)
{
    return MRData{std::make_shared<const std::vector<std::uint8_t>>(std::move(content))};
}

static double now()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

// A snapshot without artwork clears the remembered artwork.
static void start_without_sent_artwork()
{
    now_playing_record(0, false, nullptr);
}

TEST(NowPlayingRecord, WithoutInformationHasTheNineKeysWithDefaults)
{
    double before = now();
    Record record = now_playing_record(501, true, nullptr);
    std::vector<std::string> keys;
    for (const auto& item : record.items())
        keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"pid", "playing", "title", "artist", "album", "duration", "elapsed",
                                              "rate", "timestamp"}));
    EXPECT_EQ(record["pid"], 501);
    EXPECT_EQ(record["playing"], true);
    EXPECT_EQ(record["title"], "");
    EXPECT_EQ(record["artist"], "");
    EXPECT_EQ(record["album"], "");
    for (const char* key : {"duration", "elapsed", "rate"}) {
        EXPECT_TRUE(record[key].is_number_integer()) << key;
        EXPECT_EQ(record[key], 0) << key;
    }
    EXPECT_TRUE(record["timestamp"].is_number_float());
    EXPECT_GE(record["timestamp"].get<double>(), before);
    EXPECT_LE(record["timestamp"].get<double>(), now());
}

TEST(NowPlayingRecord, TakesTextsThatAreStringsAndDefaultsTheRest)
{
    Record record = now_playing_record(1, false,
                                       info({{kMRMediaRemoteNowPlayingInfoTitle, std::int64_t(7)},
                                             {kMRMediaRemoteNowPlayingInfoArtist, std::string("Nina Simone")},
                                             {kMRMediaRemoteNowPlayingInfoAlbum, MRObject{"Pastel Blues"}}}));
    EXPECT_EQ(record["title"], "");
    EXPECT_EQ(record["artist"], "Nina Simone");
    EXPECT_EQ(record["album"], "");
}

TEST(NowPlayingRecord, PassesNumbersOnAsTheyAre)
{
    Record record = now_playing_record(1, false,
                                       info({{kMRMediaRemoteNowPlayingInfoDuration, std::int64_t(215)},
                                             {kMRMediaRemoteNowPlayingInfoElapsedTime, 215.04},
                                             {kMRMediaRemoteNowPlayingInfoPlaybackRate, true}}));
    EXPECT_TRUE(record["duration"].is_number_integer());
    EXPECT_EQ(record["duration"], 215);
    EXPECT_TRUE(record["elapsed"].is_number_float());
    EXPECT_EQ(record["elapsed"], 215.04);
    EXPECT_TRUE(record["rate"].is_number_integer());
    EXPECT_EQ(record["rate"], 1);
}

TEST(NowPlayingRecord, DefaultsNumbersOfTheWrongType)
{
    Record record = now_playing_record(1, false,
                                       info({{kMRMediaRemoteNowPlayingInfoDuration, std::string("215")},
                                             {kMRMediaRemoteNowPlayingInfoElapsedTime, MRDate{30}},
                                             {kMRMediaRemoteNowPlayingInfoPlaybackRate, MRObject{"1"}}}));
    EXPECT_EQ(record["duration"], 0);
    EXPECT_EQ(record["elapsed"], 0);
    EXPECT_EQ(record["rate"], 0);
}

TEST(NowPlayingRecord, DoesNotAdvanceElapsedTimeByTheTimestamp)
{
    double tenSecondsAgo = now() - 10;
    Record record = now_playing_record(1, true,
                                       info({{kMRMediaRemoteNowPlayingInfoElapsedTime, std::int64_t(30)},
                                             {kMRMediaRemoteNowPlayingInfoPlaybackRate, std::int64_t(1)},
                                             {kMRMediaRemoteNowPlayingInfoTimestamp, MRDate{tenSecondsAgo}}}));
    EXPECT_EQ(record["elapsed"], 30);
    EXPECT_EQ(record["timestamp"], tenSecondsAgo);
}

TEST(NowPlayingRecord, UsesTheCurrentTimeWhenTheTimestampIsNoDate)
{
    double before = now();
    Record record = now_playing_record(1, true, info({{kMRMediaRemoteNowPlayingInfoTimestamp, 1000.5}}));
    EXPECT_GE(record["timestamp"].get<double>(), before);
}

TEST(NowPlayingArtwork, SameArtworkTwiceIsSentOnceThenOnlyNamed)
{
    start_without_sent_artwork();
    auto withArtwork = info({{kMRMediaRemoteNowPlayingInfoArtworkData, bytes({1, 2, 3})},
                             {kMRMediaRemoteNowPlayingInfoArtworkIdentifier, std::string("cover-1")}});
    Record first = now_playing_record(1, true, withArtwork);
    Record second = now_playing_record(1, true, withArtwork);
    EXPECT_EQ(first["artworkID"], "cover-1");
    EXPECT_EQ(first["artwork"], "AQID");
    EXPECT_EQ(second["artworkID"], "cover-1");
    EXPECT_FALSE(second.contains("artwork"));
}

TEST(NowPlayingArtwork, IsSentAgainAfterASnapshotWithoutArtwork)
{
    start_without_sent_artwork();
    auto withArtwork = info({{kMRMediaRemoteNowPlayingInfoArtworkData, bytes({1, 2, 3})}});
    now_playing_record(1, true, withArtwork);
    Record without = now_playing_record(1, true, info({}));
    Record again = now_playing_record(1, true, withArtwork);
    EXPECT_FALSE(without.contains("artworkID"));
    EXPECT_FALSE(without.contains("artwork"));
    EXPECT_EQ(again["artwork"], "AQID");
}

TEST(NowPlayingArtwork, ZeroBytesCountAsNoArtworkAndClearWhatWasSent)
{
    start_without_sent_artwork();
    auto withArtwork = info({{kMRMediaRemoteNowPlayingInfoArtworkData, bytes({9})},
                             {kMRMediaRemoteNowPlayingInfoArtworkIdentifier, std::string("a")}});
    now_playing_record(1, true, withArtwork);
    Record empty = now_playing_record(1, true,
                                      info({{kMRMediaRemoteNowPlayingInfoArtworkData, bytes({})},
                                            {kMRMediaRemoteNowPlayingInfoArtworkIdentifier, std::string("a")}}));
    EXPECT_FALSE(empty.contains("artworkID"));
    EXPECT_TRUE(now_playing_record(1, true, withArtwork).contains("artwork"));
}

TEST(NowPlayingArtwork, IgnoresAnIdentifierWithoutArtworkData)
{
    Record record = now_playing_record(1, true,
                                       info({{kMRMediaRemoteNowPlayingInfoArtworkData, std::string("not data")},
                                             {kMRMediaRemoteNowPlayingInfoArtworkIdentifier, std::string("a")}}));
    EXPECT_FALSE(record.contains("artworkID"));
}

TEST(NowPlayingArtwork, NewBytesUnderAnUnchangedIdentifierAreNotSent)
{
    start_without_sent_artwork();
    now_playing_record(1, true,
                       info({{kMRMediaRemoteNowPlayingInfoArtworkData, bytes({1})},
                             {kMRMediaRemoteNowPlayingInfoArtworkIdentifier, std::string("same")}}));
    Record record = now_playing_record(1, true,
                                       info({{kMRMediaRemoteNowPlayingInfoArtworkData, bytes({2, 2})},
                                             {kMRMediaRemoteNowPlayingInfoArtworkIdentifier, std::string("same")}}));
    EXPECT_EQ(record["artworkID"], "same");
    EXPECT_FALSE(record.contains("artwork"));
}

TEST(NowPlayingArtwork, WithoutIdentifierIsNamedByLengthAndHash)
{
    start_without_sent_artwork();
    std::vector<std::uint8_t> content(512, 0x5a);
    Record record = now_playing_record(1, true, info({{kMRMediaRemoteNowPlayingInfoArtworkData, bytes(content)}}));
    EXPECT_EQ(record["artworkID"], "512-" + std::to_string(XXH3_64bits(content.data(), content.size())));
}

TEST(NowPlayingArtwork, WithoutIdentifierNewArtworkOfAnotherLengthOrContentIsSent)
{
    start_without_sent_artwork();
    now_playing_record(1, true, info({{kMRMediaRemoteNowPlayingInfoArtworkData, bytes({1, 2, 3})}}));
    Record longer = now_playing_record(1, true, info({{kMRMediaRemoteNowPlayingInfoArtworkData, bytes({1, 2, 3, 4})}}));
    Record changed = now_playing_record(1, true, info({{kMRMediaRemoteNowPlayingInfoArtworkData, bytes({1, 2, 5, 4})}}));
    EXPECT_EQ(longer["artwork"], "AQIDBA==");
    EXPECT_EQ(changed["artwork"], "AQIFBA==");
    EXPECT_NE(longer["artworkID"], changed["artworkID"]);
}

TEST(NowPlayingArtwork, IdentifiersOfAnyTypeAreNamedByTheirText)
{
    auto identity = [](MRValue identifier) {
        start_without_sent_artwork();
        return now_playing_record(1, true,
                                  info({{kMRMediaRemoteNowPlayingInfoArtworkData, bytes({1})},
                                        {kMRMediaRemoteNowPlayingInfoArtworkIdentifier, identifier}}))["artworkID"];
    };
    EXPECT_EQ(identity(MRObject{"<MRArtwork 0x1>"}), "<MRArtwork 0x1>");
    EXPECT_EQ(identity(std::string("")), "");
    EXPECT_EQ(identity(std::int64_t(-42)), "-42");
    EXPECT_EQ(identity(2.5), "2.5");
    EXPECT_EQ(identity(true), "1");
    EXPECT_EQ(identity(MRDate{0}), "1970-01-01 00:00:00 +0000");
    EXPECT_EQ(identity(bytes({0xab, 0x01})), "<ab01>");
}
