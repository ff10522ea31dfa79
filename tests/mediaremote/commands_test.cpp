// Commands and the position setter reaching the now-playing player.
#include "bus_daemon.h"
#include "eventually.h"
#include "fake_player.h"
#include "standin.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(Commands, EachCommandCallsItsMethodOnTheNowPlayingPlayer)
{
    BusDaemon bus(test_bus_path());
    FakePlayer other("other"), player("steered");
    other.set_metadata(track("Other"));
    player.set_metadata(track("Steered"));
    player.set_status("Playing");
    ASSERT_TRUE(now_playing_title_becomes("Steered"));
    for (auto [code, method] : std::vector<std::pair<std::uint32_t, std::string>>{
             {kMRPlay, "Play"}, {kMRPause, "Pause"}, {kMRTogglePlayPause, "PlayPause"},
             {kMRNextTrack, "Next"}, {kMRPreviousTrack, "Previous"}}) {
        EXPECT_TRUE(standin().sendCommand(code, nullptr));
        EXPECT_TRUE(player.received(method)) << method;
    }
    EXPECT_EQ(player.calls(), (std::vector<std::string>{"Play", "Pause", "PlayPause", "Next", "Previous"}));
    EXPECT_TRUE(other.calls().empty());
}

TEST(Commands, AnUnknownCodeIsRefused)
{
    EXPECT_FALSE(standin().sendCommand(3, nullptr));
    EXPECT_FALSE(standin().sendCommand(99, nullptr));
}

TEST(Commands, SettingThePositionCallsSetPositionWithTheTrackId)
{
    BusDaemon bus(test_bus_path());
    FakePlayer player("seek");
    player.set_metadata(track("Seek", "/org/example/track/9"));
    ASSERT_TRUE(now_playing_title_becomes("Seek"));
    standin().setElapsed(12.5);
    EXPECT_TRUE(player.received("SetPosition /org/example/track/9 12500000"));
}

TEST(Commands, WithoutATrackIdThePlayerSeeksByTheDifference)
{
    BusDaemon bus(test_bus_path());
    FakePlayer player("notrack");
    player.set_metadata({{"xesam:title", sdbus::Variant(std::string("No track"))}});
    player.set_position(10'000'000);
    ASSERT_TRUE(now_playing_title_becomes("No track"));
    standin().setElapsed(4.0);
    EXPECT_TRUE(player.received("Seek -6000000"));
}

TEST(Commands, ANonFinitePositionDoesNothing)
{
    BusDaemon bus(test_bus_path());
    FakePlayer player("finite");
    player.set_metadata(track("Finite"));
    ASSERT_TRUE(now_playing_title_becomes("Finite"));
    standin().setElapsed(NAN);
    standin().setElapsed(INFINITY);
    standin().sendCommand(kMRPlay, nullptr);
    ASSERT_TRUE(player.received("Play"));
    EXPECT_EQ(player.calls(), std::vector<std::string>{"Play"});
}

TEST(Commands, AHugePositionIsClampedRatherThanOverflowing)
{
    BusDaemon bus(test_bus_path());
    FakePlayer player("huge");
    player.set_metadata(track("Huge"));
    ASSERT_TRUE(now_playing_title_becomes("Huge"));
    standin().setElapsed(1e300);
    EXPECT_TRUE(player.received("SetPosition /org/example/track/1 9200000000000000000"));
}

TEST(Commands, WithoutAPlayerCommandsAreDropped)
{
    BusDaemon bus(test_bus_path());
    ASSERT_TRUE(eventually([] { return ask_pid() == 0; }));
    EXPECT_TRUE(standin().sendCommand(kMRPlay, nullptr));
    standin().setElapsed(3.0);
    FakePlayer player("late");
    player.set_metadata(track("Late"));
    ASSERT_TRUE(now_playing_title_becomes("Late"));
    EXPECT_TRUE(player.calls().empty());
}
