// The end of the host's input ends it promptly, with status 0, whatever the
// bus does.
#include "bus_daemon.h"
#include "fake_player.h"
#include "host_process.h"
#include "wait.h"

#include <gtest/gtest.h>

#include <signal.h>

using namespace std::chrono_literals;

// A stopped bus daemon takes messages into its socket's buffers and never
// answers. The daemon goes on before anything is checked, so that it can end.
TEST(EndOfInput, EndsTheHostWithinSecondsEvenWhenTheBusStopsAnswering)
{
    for (bool followingFirst : {false, true}) {
        SCOPED_TRACE(followingFirst ? "stopped while followed" : "stopped before the host starts");
        BusDaemon bus(test_bus_path());
        FakePlayer player("stopped");
        player.set("Playing", track("Stopped"));
        std::optional<HostProcess> host;
        if (followingFirst) {
            host.emplace(test_bus_address());
            ASSERT_TRUE(host->record_where(titled, "Stopped"));
        }
        child_kill(bus.daemon, SIGSTOP);
        if (!host)
            host.emplace(test_bus_address());
        child_write(host->host, "play\n");
        child_close_input(host->host);
        auto status = child_wait(host->host, 5s);
        child_kill(bus.daemon, SIGCONT);
        EXPECT_EQ(status, 0);
    }
}
