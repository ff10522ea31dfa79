// Living without a session bus, and following one that comes and goes.
#include "bus_daemon.h"
#include "eventually.h"
#include "fake_player.h"
#include "standin.h"

#include <gtest/gtest.h>

TEST(Bus, WithoutABusEveryQuestionIsAnsweredAsNoPlayer)
{
    EXPECT_EQ(ask_pid(), 0);
    EXPECT_EQ(ask_playing(), false);
    auto info = ask_info();
    ASSERT_TRUE(info);
    EXPECT_EQ(*info, nullptr);
    EXPECT_TRUE(standin().sendCommand(kMRPlay, nullptr));
    standin().setElapsed(1.0);
}

TEST(Bus, ABusThatAppearsLaterIsFollowed)
{
    ASSERT_EQ(ask_pid(), 0);
    BusDaemon bus(test_bus_path());
    FakePlayer player("late");
    player.set_metadata(track("Late"));
    EXPECT_TRUE(now_playing_title_becomes("Late"));
}

TEST(Bus, ABusThatGoesAwayAndComesBackIsFollowedAgain)
{
    auto bus = std::make_unique<BusDaemon>(test_bus_path());
    auto player = std::make_unique<FakePlayer>("before");
    player->set_metadata(track("Before"));
    ASSERT_TRUE(now_playing_title_becomes("Before"));

    player.reset();
    bus.reset();
    EXPECT_TRUE(eventually([] { return ask_pid() == 0; }));

    bus = std::make_unique<BusDaemon>(test_bus_path());
    player = std::make_unique<FakePlayer>("after");
    player->set_metadata(track("After"));
    EXPECT_TRUE(now_playing_title_becomes("After"));
    player.reset();
}
