// The service loop in this process: watchdog on a test clock, signals and
// shutdown, and the socket file.
#include "program_fixture.h"
#include "service.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <fstream>

namespace {

using Service = SimFans;

// A socket file whose listener has gone, as an earlier run leaves it.
void make_stale_socket(const std::string& path)
{
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr = unix_address(path);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    close(fd);
}

// Serving, with the fans forced by a request at second 1000.
struct Watchdog : SimFans {
    ServerThread server;

    void SetUp() override
    {
        SimFans::SetUp();
        ASSERT_TRUE(server.start(dir.file("sock"), 0));
        ASSERT_EQ(request(server.path, "set 2500\n"), "ok\n");
    }
    void TearDown() override
    {
        EXPECT_EQ(server.stop(), 0);
        SimFans::TearDown();
    }

    // What a status request at second t finds.
    bool forced_at(int64_t t)
    {
        fakeNow = t;
        return request(server.path, "status\n").find("forced=1") != std::string::npos;
    }
};

TEST_F(Watchdog, LeavesFansForcedAfter60SecondsOfSilence)
{
    EXPECT_TRUE(forced_at(1060));
}

TEST_F(Watchdog, HandsFansBackAt61SecondsBeforeServingTheTurn)
{
    EXPECT_FALSE(forced_at(1061));
}

TEST_F(Watchdog, PingEvery60SecondsKeepsFansForced)
{
    for (int minute = 1; minute <= 3; minute++) {
        fakeNow = 1000 + 60 * minute;
        EXPECT_EQ(request(server.path, "ping\n"), "ok\n");
    }
    EXPECT_TRUE(forced_at(1000 + 4 * 60));
}

TEST_F(Service, WatchdogRestoresOnceAndThenStaysQuiet)
{
    ASSERT_TRUE(force_all_fans(2500));
    lastContact = 1000;
    fakeNow = 1061;
    watchdog();
    EXPECT_EQ(forced, 0);
    EXPECT_EQ(read_float("F0Md"), 0.0f);

    ASSERT_EQ(write_key("F0Md", reinterpret_cast<const uint8_t*>("\1"), 1), 0);
    fakeNow = 1200;
    watchdog();   // nothing is forced: the fan's mode stays as it is now
    EXPECT_EQ(read_float("F0Md"), 1.0f);
}

TEST_F(Service, WatchdogIgnoresFansThatAreNotForced)
{
    ASSERT_EQ(write_key("F1Md", reinterpret_cast<const uint8_t*>("\1"), 1), 0);
    fakeNow = 100000;
    watchdog();
    EXPECT_EQ(read_float("F1Md"), 1.0f);
}

TEST_F(Service, TermOrIntWhileForcedHandsFansBackAndRemovesTheSocket)
{
    for (int sig : {SIGTERM, SIGINT}) {
        ServerThread server;
        ASSERT_TRUE(server.start(dir.file("sock"), 0));
        EXPECT_EQ(request(server.path, "set 2500\n"), "ok\n");
        EXPECT_EQ(server.stop(sig), 0);
        EXPECT_EQ(forced, 0);
        EXPECT_EQ(read_float("F0Md"), 0.0f);
        EXPECT_EQ(read_float("F1Md"), 0.0f);
        EXPECT_FALSE(exists(server.path));
    }
}

TEST_F(Service, SignalDuringSetUpShutsDownWithoutServing)
{
    ASSERT_TRUE(force_all_fans(2500));
    stopping = 1;
    EXPECT_EQ(serve(dir.file("sock").c_str(), 0), 0);
    EXPECT_EQ(forced, 0);
    EXPECT_FALSE(exists(dir.file("sock")));
}

TEST_F(Service, SocketFileIsOpenToEveryone)
{
    ServerThread server;
    ASSERT_TRUE(server.start(dir.file("sock"), 0));
    struct stat st;
    ASSERT_EQ(stat(server.path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, 0666u);
    EXPECT_EQ(server.stop(), 0);
}

TEST_F(Service, StaleSocketIsReplaced)
{
    std::string path = dir.file("sock");
    make_stale_socket(path);
    ServerThread server;
    ASSERT_TRUE(server.start(path, 0));
    EXPECT_EQ(server.stop(), 0);
}

TEST_F(Service, RegularFileAtThePathIsKeptAndRefused)
{
    std::string path = dir.file("precious");
    std::ofstream(path) << "keep me";
    stopping = 1;   // a server that removed the file would bind there and shut down at once
    EXPECT_EQ(serve(path.c_str(), 0), 1);
    std::ifstream in(path);
    std::string text;
    std::getline(in, text);
    EXPECT_EQ(text, "keep me");
}

TEST_F(Service, PathTooLongForTheAddressIsRefusedBeforeAnythingIsRemoved)
{
    std::string fits = dir.file(std::string(107 - dir.path.size() - 1, 'a'));
    ASSERT_EQ(fits.size(), 107u);
    make_stale_socket(fits);
    std::string tooLong = fits + "b";
    stopping = 1;   // a server that cut the path would bind there and shut down at once
    EXPECT_EQ(serve(tooLong.c_str(), 0), 1);
    EXPECT_TRUE(exists(fits));
    EXPECT_FALSE(exists(tooLong));
}

TEST_F(Service, LongestPathThatFitsIsServed)
{
    std::string path = dir.file(std::string(107 - dir.path.size() - 1, 's'));
    ServerThread server;
    ASSERT_TRUE(server.start(path, 0));
    EXPECT_EQ(server.stop(), 0);
    EXPECT_FALSE(exists(path));
}

TEST_F(Service, MissingFolderMakesBindFail)
{
    stopping = 1;
    EXPECT_EQ(serve(dir.file("no/such/sock").c_str(), 0), 1);
}

}  // namespace
