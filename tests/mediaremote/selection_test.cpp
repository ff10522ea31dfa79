// Which player the stand-in follows, and the answers without one.
#include "bus_daemon.h"
#include "eventually.h"
#include "fake_player.h"
#include "standin.h"

#include <gtest/gtest.h>

#include <unistd.h>

TEST(Selection, WithoutPlayersThereIsNoPidNoPlayingAndNoInformation)
{
    BusDaemon bus(test_bus_path());
    EXPECT_EQ(ask_pid(), 0);
    EXPECT_EQ(ask_playing(), false);
    auto info = ask_info();
    ASSERT_TRUE(info);
    EXPECT_EQ(*info, nullptr);
}

TEST(Selection, ThePidIsThatOfThePlayersConnection)
{
    BusDaemon bus(test_bus_path());
    FakePlayer player("one");
    player.set_metadata(track("One"));
    ASSERT_TRUE(now_playing_title_becomes("One"));
    EXPECT_EQ(ask_pid(), getpid());
}

TEST(Selection, APlayingPlayerWinsOverAPausedOneThatChangedLater)
{
    BusDaemon bus(test_bus_path());
    FakePlayer playing("playing"), paused("paused");
    playing.set_metadata(track("Playing"));
    playing.set_status("Playing");
    paused.set_status("Paused");
    paused.set_metadata(track("Paused"));
    EXPECT_TRUE(now_playing_title_becomes("Playing"));
    EXPECT_EQ(ask_playing(), true);
}

// In these the first player is seen before the second one comes, so the
// order of events is the one the stand-in sees.
TEST(Selection, TheMostRecentlyStartedOfTwoPlayingPlayersWins)
{
    BusDaemon bus(test_bus_path());
    FakePlayer first("first");
    first.set_metadata(track("First"));
    ASSERT_TRUE(now_playing_title_becomes("First"));
    FakePlayer second("second");
    second.set_metadata(track("Second"));
    second.set_status("Playing");
    ASSERT_TRUE(now_playing_title_becomes("Second"));
    first.set_status("Playing");
    EXPECT_TRUE(now_playing_title_becomes("First"));
}

TEST(Selection, WhenNonePlaysTheMostRecentlyActiveWins)
{
    BusDaemon bus(test_bus_path());
    FakePlayer first("first");
    first.set_metadata(track("First"));
    ASSERT_TRUE(now_playing_title_becomes("First"));
    FakePlayer second("second");
    second.set_metadata(track("Second"));
    ASSERT_TRUE(now_playing_title_becomes("Second"));
    first.set_status("Paused");
    EXPECT_TRUE(now_playing_title_becomes("First"));
    EXPECT_EQ(ask_playing(), false);
}

TEST(Selection, APlayerThatStopsPlayingHandsOverToTheOneStillPlaying)
{
    BusDaemon bus(test_bus_path());
    FakePlayer first("first");
    first.set_metadata(track("First"));
    first.set_status("Playing");
    ASSERT_TRUE(now_playing_title_becomes("First"));
    FakePlayer second("second");
    second.set_metadata(track("Second"));
    second.set_status("Playing");
    ASSERT_TRUE(now_playing_title_becomes("Second"));
    second.set_status("Paused");
    EXPECT_TRUE(now_playing_title_becomes("First"));
}

TEST(Selection, PlayersAppearingAndVanishingAreFollowed)
{
    BusDaemon bus(test_bus_path());
    auto first = std::make_unique<FakePlayer>("first");
    first->set_metadata(track("First"));
    ASSERT_TRUE(now_playing_title_becomes("First"));
    {
        FakePlayer second("second");
        second.set_metadata(track("Second"));
        second.set_status("Playing");
        ASSERT_TRUE(now_playing_title_becomes("Second"));
    }
    EXPECT_TRUE(now_playing_title_becomes("First"));
    first.reset();
    EXPECT_TRUE(eventually([] { return ask_pid() == 0; }));
}
