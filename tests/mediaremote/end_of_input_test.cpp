// The end of the host's input: what was asked just before it still happens,
// and it ends the host promptly, with status 0, whatever the bus does.
#include "bus_daemon.h"
#include "fake_player.h"
#include "host_process.h"
#include "silent_bus.h"
#include "wait.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

// As `printf 'next\n' | tolvane-media-host`: the command and the end of
// input come before the stand-in has even found the bus. Lost commands were
// the rule on a loaded machine, but not on every run, hence the repetitions.
TEST(EndOfInput, ACommandRightBeforeItReachesThePlayer)
{
    BusDaemon bus(test_bus_path());
    FakePlayer player("last");
    player.set("Playing", track("Last"));
    for (std::size_t run = 1; run <= 25; ++run) {
        HostProcess host(test_bus_address());
        child_write(host.host, "next\n");
        child_close_input(host.host);
        ASSERT_EQ(child_wait(host.host), 0) << "run " << run;
        ASSERT_TRUE(wait_until([&] { return player.calls().size() >= run; })) << "run " << run;
    }
    EXPECT_EQ(player.calls(), std::vector<std::string>(25, "Next"));
}

// A bus that takes the connection and never answers holds the stand-in's
// bus thread inside the D-Bus library: the host must end all the same.
TEST(EndOfInput, EndsTheHostWithinSecondsWhileTheBusNeverAnswersItsGreeting)
{
    SilentBus bus(test_bus_path());
    HostProcess host(test_bus_address());
    ASSERT_TRUE(bus.await_greeting());
    child_write(host.host, "play\n");
    child_close_input(host.host);
    EXPECT_EQ(child_wait(host.host, 5s), 0);
}
