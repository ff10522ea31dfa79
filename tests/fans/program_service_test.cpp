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

std::string status_now(const std::string& path)
{
    return request(path, "status\n");
}

bool reports_forced(const std::string& path)
{
    return status_now(path).find("forced=1") != std::string::npos;
}

// A socket file whose listener has gone, as an earlier run leaves it.
void make_stale_socket(const std::string& path)
{
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    strcpy(addr.sun_path, path.c_str());
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    close(fd);
}

TEST_F(Service, WatchdogLeavesFansForcedAfter60Seconds)
{
    ServerThread server;
    ASSERT_TRUE(server.start(dir.file("sock"), 0));
    EXPECT_EQ(request(server.path, "set 2500\n"), "ok\n");
    fakeNow = 1060;
    EXPECT_TRUE(reports_forced(server.path));
    EXPECT_EQ(server.stop(), 0);
}

TEST_F(Service, WatchdogHandsFansBackAt61SecondsBeforeServingTheTurn)
{
    ServerThread server;
    ASSERT_TRUE(server.start(dir.file("sock"), 0));
    EXPECT_EQ(request(server.path, "set 2500\n"), "ok\n");
    fakeNow = 1061;
    EXPECT_FALSE(reports_forced(server.path));
    EXPECT_EQ(server.stop(), 0);
    EXPECT_EQ(read_float("F0Md"), 0.0f);
}

TEST_F(Service, PingEvery60SecondsKeepsFansForced)
{
    ServerThread server;
    ASSERT_TRUE(server.start(dir.file("sock"), 0));
    EXPECT_EQ(request(server.path, "set 2500\n"), "ok\n");
    for (int minute = 1; minute <= 3; minute++) {
        fakeNow = 1000 + 60 * minute;
        EXPECT_EQ(request(server.path, "ping\n"), "ok\n");
    }
    fakeNow = 1000 + 4 * 60;
    EXPECT_TRUE(reports_forced(server.path));
    EXPECT_EQ(server.stop(), 0);
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

TEST_F(Service, TermWhileForcedHandsFansBackAndRemovesTheSocket)
{
    ServerThread server;
    ASSERT_TRUE(server.start(dir.file("sock"), 0));
    EXPECT_EQ(request(server.path, "set 2500\n"), "ok\n");
    EXPECT_EQ(server.stop(SIGTERM), 0);
    EXPECT_EQ(forced, 0);
    EXPECT_EQ(read_float("F0Md"), 0.0f);
    EXPECT_EQ(read_float("F1Md"), 0.0f);
    EXPECT_FALSE(exists(server.path));
}

TEST_F(Service, IntStopsTheServiceLikeTerm)
{
    ServerThread server;
    ASSERT_TRUE(server.start(dir.file("sock"), 0));
    EXPECT_EQ(request(server.path, "set 2500\n"), "ok\n");
    EXPECT_EQ(server.stop(SIGINT), 0);
    EXPECT_EQ(forced, 0);
    EXPECT_FALSE(exists(server.path));
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
