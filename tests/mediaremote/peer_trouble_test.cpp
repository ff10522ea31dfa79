// Peers that misbehave on the bus, against the player the host follows: they
// hold up neither its commands nor its records nor the end of the host.
#include "bus_daemon.h"
#include "fake_player.h"
#include "host_process.h"
#include "hostile_peer.h"
#include "wait.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

// The host follows a playing player on a private bus.
struct PeerTrouble : testing::Test {
    void SetUp() override
    {
        player.set("Playing", track("Followed"));
        ASSERT_TRUE(host.record_where(titled, "Followed"));
    }

    // Checked only once the trouble has been going on for a while.
    void expect_unhindered(Repeater& trouble)
    {
        ASSERT_TRUE(wait_until([&] { return trouble.runs() >= 10; }));
        const struct {
            const char* word;
            const char* call;
        } commands[] = {{"play", "Play"}, {"next", "Next"}, {"pause", "Pause"}};
        std::vector<std::string> expected;
        for (const auto& command : commands) {
            child_write(host.host, std::string(command.word) + "\n");
            expected.push_back(command.call);
            ASSERT_TRUE(wait_until([&] { return player.calls().size() >= expected.size(); })) << command.word;
        }
        EXPECT_EQ(player.calls(), expected);
        player.set_metadata(track("Changed"));
        EXPECT_TRUE(host.record_where(titled, "Changed"));
        child_close_input(host.host);
        EXPECT_EQ(child_wait(host.host, 5s), 0);
    }

    BusDaemon bus{test_bus_path()};
    FakePlayer player{"followed"};
    HostProcess host{test_bus_address()};
};

TEST_F(PeerTrouble, APeerOwningNoPlayerThatNeverAnswersHoldsUpNothing)
{
    HostilePeer hostile;
    expect_unhindered(hostile.nagging_);
}

TEST_F(PeerTrouble, ASlowPlayerHoldsUpNoOtherPlayer)
{
    FakePlayer slow("slow", 1.0, 900ms);
    Repeater changing([&] { slow.invalidate(); }, 100ms);
    expect_unhindered(changing);
    EXPECT_TRUE(slow.calls().empty());
}

TEST_F(PeerTrouble, APeersWordThatAPlayerLeftIsNotBelieved)
{
    HostilePeer hostile;
    hostile.forge_departure("org.mpris.MediaPlayer2.followed", player.connection_->getUniqueName());
    child_write(host.host, "next\n");
    ASSERT_TRUE(wait_until([&] { return !player.calls().empty(); }));
    EXPECT_EQ(player.calls(), std::vector<std::string>{"Next"});
}
