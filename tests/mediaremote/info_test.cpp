// The information dictionary built from the player's properties.
#include "bus_daemon.h"
#include "eventually.h"
#include "fake_player.h"
#include "standin.h"

#include <gtest/gtest.h>

#include <chrono>

static MRInfoDictionary info_when_titled(const std::string& title)
{
    EXPECT_TRUE(now_playing_title_becomes(title));
    auto info = ask_info();
    return info && *info ? **info : MRInfoDictionary();
}

static double now()
{
    return std::chrono::duration<double>(std::chrono::system_clock::now().time_since_epoch()).count();
}

TEST(Info, EveryFieldIsMappedFromAPlayingPlayer)
{
    BusDaemon bus(test_bus_path());
    FakePlayer player("full");
    player.set_position(30'500'000);
    player.set_rate(1.5);
    player.set_status("Playing");
    Metadata m = track("Song");
    m["xesam:artist"] = sdbus::Variant(std::vector<std::string>{"Ann", "Bob"});
    m["xesam:album"] = sdbus::Variant(std::string("Record"));
    m["mpris:length"] = sdbus::Variant(std::int64_t(215'250'000));
    player.set_metadata(m);

    double before = now();
    MRInfoDictionary info = info_when_titled("Song");
    double after = now();

    EXPECT_EQ(std::get<std::string>(info.at(kMRMediaRemoteNowPlayingInfoArtist)), "Ann, Bob");
    EXPECT_EQ(std::get<std::string>(info.at(kMRMediaRemoteNowPlayingInfoAlbum)), "Record");
    EXPECT_DOUBLE_EQ(std::get<double>(info.at(kMRMediaRemoteNowPlayingInfoDuration)), 215.25);
    EXPECT_DOUBLE_EQ(std::get<double>(info.at(kMRMediaRemoteNowPlayingInfoElapsedTime)), 30.5);
    EXPECT_DOUBLE_EQ(std::get<double>(info.at(kMRMediaRemoteNowPlayingInfoPlaybackRate)), 1.5);
    double stamp = std::get<MRDate>(info.at(kMRMediaRemoteNowPlayingInfoTimestamp)).sinceEpoch;
    EXPECT_GE(stamp, before - 1.0);
    EXPECT_LE(stamp, after + 1.0);
    EXPECT_FALSE(info.contains(kMRMediaRemoteNowPlayingInfoArtworkData));
    EXPECT_FALSE(info.contains(kMRMediaRemoteNowPlayingInfoArtworkIdentifier));
}

TEST(Info, ThePositionIsReadWhenTheInformationIsGathered)
{
    BusDaemon bus(test_bus_path());
    FakePlayer player("moving");
    player.set_metadata(track("Moving"));
    ASSERT_TRUE(now_playing_title_becomes("Moving"));
    player.set_position(42'000'000);
    auto info = ask_info();
    ASSERT_TRUE(info && *info);
    EXPECT_DOUBLE_EQ(std::get<double>((*info)->at(kMRMediaRemoteNowPlayingInfoElapsedTime)), 42.0);
}

TEST(Info, TheRateIsZeroWhilePaused)
{
    BusDaemon bus(test_bus_path());
    FakePlayer player("paused");
    player.set_rate(2.0);
    player.set_status("Paused");
    player.set_metadata(track("Paused"));
    MRInfoDictionary info = info_when_titled("Paused");
    EXPECT_DOUBLE_EQ(std::get<double>(info.at(kMRMediaRemoteNowPlayingInfoPlaybackRate)), 0.0);
}

TEST(Info, APlayerWithoutRatePlaysAtOne)
{
    BusDaemon bus(test_bus_path());
    FakePlayer player("norate", false);
    player.set_status("Playing");
    player.set_metadata(track("No rate"));
    MRInfoDictionary info = info_when_titled("No rate");
    EXPECT_DOUBLE_EQ(std::get<double>(info.at(kMRMediaRemoteNowPlayingInfoPlaybackRate)), 1.0);
}

TEST(Info, MetadataOfAnotherTypePassesThroughAsThatType)
{
    BusDaemon bus(test_bus_path());
    FakePlayer player("odd");
    player.set_metadata(track("Odd"));
    ASSERT_TRUE(now_playing_title_becomes("Odd"));
    player.set_metadata({{"xesam:title", sdbus::Variant(std::int64_t(7))},
                         {"xesam:artist", sdbus::Variant(std::string("Solo"))},
                         {"xesam:album", sdbus::Variant(true)},
                         {"mpris:length", sdbus::Variant(std::string("long"))}});
    ASSERT_TRUE(now_playing_title_becomes(""));
    auto info = ask_info();
    ASSERT_TRUE(info && *info);
    EXPECT_EQ(std::get<std::int64_t>((*info)->at(kMRMediaRemoteNowPlayingInfoTitle)), 7);
    EXPECT_EQ(std::get<std::string>((*info)->at(kMRMediaRemoteNowPlayingInfoArtist)), "Solo");
    EXPECT_EQ(std::get<bool>((*info)->at(kMRMediaRemoteNowPlayingInfoAlbum)), true);
    EXPECT_EQ(std::get<std::string>((*info)->at(kMRMediaRemoteNowPlayingInfoDuration)), "long");
}

TEST(Info, MissingMetadataLeavesItsKeysOut)
{
    BusDaemon bus(test_bus_path());
    FakePlayer player("bare");
    player.set_status("Playing");
    ASSERT_TRUE(eventually([] { return ask_playing() == true; }));
    auto info = ask_info();
    ASSERT_TRUE(info && *info);
    EXPECT_FALSE((*info)->contains(kMRMediaRemoteNowPlayingInfoTitle));
    EXPECT_FALSE((*info)->contains(kMRMediaRemoteNowPlayingInfoDuration));
    EXPECT_TRUE((*info)->contains(kMRMediaRemoteNowPlayingInfoTimestamp));
}
