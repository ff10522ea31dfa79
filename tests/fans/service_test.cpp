// The helper served on a thread of this process, over a real Unix socket,
// against the simulated controller, with the watchdog on a clock the test sets.
#include "clock.h"
#include "fan_control.h"
#include "program_support.h"
#include "protocol.h"
#include "service.h"
#include "smc.h"
#include "user_client.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <fstream>

namespace {

std::atomic<int64_t> fakeNow;
int64_t fake_seconds() { return fakeNow; }

// Fans in automatic mode at second 1000; each test starts the server itself.
struct Served : testing::Test {
    TempDir dir;
    std::string path = dir.file("sock");
    ServerThread server;

    void SetUp() override
    {
        ASSERT_TRUE(smc_open());
        detect_fans();
        restore_auto();
        fakeNow = 1000;
        now_seconds = fake_seconds;
    }
    void TearDown() override
    {
        if (server.thread.joinable()) {
            EXPECT_EQ(server.stop(), 0);
        }
        now_seconds = monotonic_seconds;
    }
};

// A socket file whose listener has gone, as an earlier run leaves it.
void leave_stale_socket(const std::string& path)
{
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr = unix_address(path);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    close(fd);
}

// What a client of another user reads: a child drops to uid and asks.
std::string request_as(uid_t uid, const std::string& path, const std::string& text)
{
    int out[2];
    EXPECT_EQ(pipe(out), 0);
    pid_t pid = fork();
    if (pid == 0) {
        std::string reply = setuid(uid) == 0 ? request(path, text) : "(setuid failed)";
        _exit(write(out[1], reply.data(), reply.size()) < 0);
    }
    close(out[1]);
    std::string reply = read_all(out[0]);
    close(out[0]);
    EXPECT_EQ(wait_exit(pid), 0);
    return reply;
}

TEST_F(Served, AnswersEveryRequestByteForByte)
{
    const std::string range = "error range\n", command = "error command\n";
    struct { std::string text, reply; int forced; float target; } rows[] = {
        {"hello\n", "ok tolvane-fans 1\n", 0, 1200},
        {"status\n", "ok fans=2 forced=0 F0=1200,1200,6000,1200,0 F1=1300,1300,6500,1300,0\n", 0, 1200},
        {"ping", "ok\n", 0, 1200}, {"pingpong and more", "ok\n", 0, 1200}, {"auto", "ok\n", 0, 1200},
        {"set    3000 rpm\n", "ok\n", 1, 3000}, {"set 0\n", range, 1, 3000}, {"set -5\n", range, 1, 3000},
        {"set 20000.01\n", range, 1, 3000}, {"set fast\n", range, 1, 3000}, {"set nan\n", range, 1, 3000},
        {"set inf\n", range, 1, 3000}, {"set " + std::string(251, ' ') + "2500" + std::string(41, 'x'), range, 1, 3000},
        {"set 20000\n", "ok\n", 1, 6000}, {"PING\n", command, 1, 6000}, {" ping\n", command, 1, 6000},
        {"hell", command, 1, 6000}, {"statu", command, 1, 6000}, {"set\n", command, 1, 6000},
        {"set2500\n", command, 1, 6000}, {"ping\nauto\n", "ok\n", 1, 6000},   // one request per connection
        {"ping" + std::string(296, 'x'), "ok\n", 1, 6000}, {"auto\n", "ok\n", 0, 1200}};
    ASSERT_TRUE(server.start(path, 0));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        fakeNow++;
        EXPECT_EQ(request(path, row.text), row.reply);
        EXPECT_EQ(forced, row.forced);
        EXPECT_EQ(read_float("F0Tg"), row.target);
        EXPECT_EQ(lastContact, fakeNow);
    }
}

TEST_F(Served, ServesOnlyTheOwnerAndRoot)
{
    ASSERT_TRUE(server.start(path, (int64_t(1) << 32) + 4242));   // uid 4242: the low 32 bits count
    struct { uid_t uid; const char* text; const char* reply; } rows[] = {
        {4243, "set 2500\n", ""}, {4243, "ping\n", ""}, {4242, "ping\n", "ok\n"}, {0, "ping\n", "ok\n"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.uid);
        int64_t before = lastContact;
        fakeNow++;
        EXPECT_EQ(request_as(row.uid, path, row.text), row.reply);
        EXPECT_EQ(lastContact, *row.reply ? fakeNow.load() : before);
        EXPECT_EQ(forced, 0);
    }
}

TEST_F(Served, ClosesOnAClientThatSendsNothingWithoutReplyOrContact)
{
    ASSERT_TRUE(server.start(path, 0));
    fakeNow = 2000;
    int closing = connect_to(path), silent = connect_to(path);
    shutdown(closing, SHUT_WR);
    EXPECT_EQ(read_all(closing), "");
    auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(read_all(silent), "");
    EXPECT_GE(std::chrono::steady_clock::now() - begin, std::chrono::milliseconds(1900));
    close(closing), close(silent);
    EXPECT_EQ(lastContact, 1000);
}

TEST_F(Served, WatchdogHandsBackOnceAfter61SilentSecondsBeforeServingThatTurn)
{
    ASSERT_TRUE(server.start(path, 0));
    ASSERT_EQ(request(path, "set 2500\n"), "ok\n");
    for (int64_t at : {1060, 1120, 1180}) {   // a ping every 60 seconds keeps the fans forced
        fakeNow = at;
        EXPECT_EQ(request(path, "ping\n"), "ok\n");
        EXPECT_EQ(forced, 1) << at;
    }
    fakeNow = 1241;
    EXPECT_NE(request(path, "status\n").find(" forced=0 "), std::string::npos);
    const uint8_t one = 1;
    ASSERT_EQ(write_key("F0Md", &one, 1), 0);   // no longer ours to hand back
    fakeNow = 5000;
    EXPECT_NE(request(path, "status\n").find(",1 F1="), std::string::npos);
}

TEST_F(Served, TermOrIntHandsForcedFansBackAndRemovesTheSocketOpenToAll)
{
    for (int sig : {SIGTERM, SIGINT}) {
        leave_stale_socket(path);
        ASSERT_TRUE(server.start(path, 0));
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0666u);
        ASSERT_EQ(request(path, "set 2500\n"), "ok\n");
        EXPECT_EQ(server.stop(sig), 0);
        EXPECT_EQ(forced, 0);
        EXPECT_EQ(read_float("F0Md") + read_float("F1Md"), 0);
        EXPECT_NE(stat(path.c_str(), &st), 0);
    }
}

TEST_F(Served, NeverRemovesARegularFileNorCutsALongPath)
{
    std::string precious = dir.file("precious");
    std::ofstream(precious) << "keep me";
    std::string fits = dir.file(std::string(107 - dir.path.size() - 1, 'a'));   // sun_path holds 107
    leave_stale_socket(fits);
    stopping = 1;   // a server that did bind would shut down at once with status 0
    EXPECT_EQ(serve(precious.c_str(), 0), 1);
    EXPECT_EQ(serve((fits + "b").c_str(), 0), 1);
    EXPECT_EQ(access(fits.c_str(), F_OK), 0);
    EXPECT_EQ(serve(dir.file("no/such/sock").c_str(), 0), 1);
    EXPECT_EQ(serve(fits.c_str(), 0), 0);
    EXPECT_NE(access(fits.c_str(), F_OK), 0);
    std::string text;
    std::getline(std::ifstream(precious), text);
    EXPECT_EQ(text, "keep me");
}

}  // namespace
