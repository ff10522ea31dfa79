// The framework's notifications, posted on the default center as the
// players change.
#include "bus_daemon.h"
#include "eventually.h"
#include "fake_player.h"
#include "standin.h"

#include <gtest/gtest.h>

static const char* const infoChanged = "kMRMediaRemoteNowPlayingInfoDidChangeNotification";
static const char* const playingChanged = "kMRMediaRemoteNowPlayingApplicationIsPlayingDidChangeNotification";
static const char* const applicationChanged = "kMRMediaRemoteNowPlayingApplicationDidChangeNotification";

static bool posted_again(const char* name, int before)
{
    return eventually([&] { return posted(name) > before; });
}

TEST(Notifications, MetadataRateAndSeekingPostInfoChanged)
{
    BusDaemon bus(test_bus_path());
    FakePlayer player("notes");
    player.set_metadata(track("Notes"));
    ASSERT_TRUE(now_playing_title_becomes("Notes"));

    int before = posted(infoChanged);
    player.set_metadata(track("Other"));
    EXPECT_TRUE(posted_again(infoChanged, before));
    before = posted(infoChanged);
    player.set_rate(2.0);
    EXPECT_TRUE(posted_again(infoChanged, before));
    before = posted(infoChanged);
    player.seeked(5'000'000);
    EXPECT_TRUE(posted_again(infoChanged, before));
}

TEST(Notifications, PlaybackStatusPostsIsPlayingChanged)
{
    BusDaemon bus(test_bus_path());
    FakePlayer player("status");
    player.set_metadata(track("Status"));
    ASSERT_TRUE(now_playing_title_becomes("Status"));
    int before = posted(playingChanged);
    player.set_status("Playing");
    EXPECT_TRUE(posted_again(playingChanged, before));
}

TEST(Notifications, PlayersAppearingAndVanishingPostApplicationChanged)
{
    BusDaemon bus(test_bus_path());
    int before = posted(applicationChanged);
    auto player = std::make_unique<FakePlayer>("comes");
    player->set_metadata(track("Comes"));
    ASSERT_TRUE(now_playing_title_becomes("Comes"));
    EXPECT_GT(posted(applicationChanged), before);
    before = posted(applicationChanged);
    player.reset();
    EXPECT_TRUE(posted_again(applicationChanged, before));
}

TEST(Notifications, ANewNowPlayingPlayerPostsApplicationChanged)
{
    BusDaemon bus(test_bus_path());
    FakePlayer first("first"), second("second");
    first.set_metadata(track("First"));
    second.set_metadata(track("Second"));
    first.set_status("Playing");
    ASSERT_TRUE(now_playing_title_becomes("First"));
    int before = posted(applicationChanged);
    second.set_status("Playing");
    EXPECT_TRUE(posted_again(applicationChanged, before));
    EXPECT_TRUE(now_playing_title_becomes("Second"));
}
