// The helper on the simulated controller: served on a thread over a real Unix
// socket with the watchdog on a clock the test sets, and both real binaries.
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
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace {

std::atomic<int64_t> fakeNow;
int64_t fake_seconds() { return fakeNow; }

// How a client of another user fares: a child drops to uid and asks; it ends
// with 0 when answered "ok\n" and with 1 when it got nothing.
int request_as(uid_t uid, const std::string& path, const std::string& text)
{
    pid_t pid = fork();
    if (pid == 0) {
        std::string reply = setuid(uid) == 0 ? request(path, text) : "(setuid failed)";
        _exit(reply == "ok\n" ? 0 : reply.empty() ? 1 : 2);
    }
    int status = -1;
    waitpid(pid, &status, 0);   // the child's reads end within seconds
    return WEXITSTATUS(status);
}

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
        now_seconds = monotonic_seconds;
        EXPECT_TRUE(!server.thread.joinable() || server.stop() == 0);
    }
};

TEST(SimulatedController, WritesOnlyTheSwitchesAndTargets)
{
    ASSERT_TRUE(smc_open());
    const uint8_t zeros[4] = {};
    struct { const char* key; uint32_t size; int result; } rows[] = {{"FNum", 1, -1}, {"Ftst", 1, 0},
        {"F0Md", 1, 0}, {"F1Ac", 4, -1}, {"F1Mn", 4, -1}, {"F1Mx", 4, -1}, {"F1Tg", 4, 0}, {"F2Tg", 4, -1}};
    for (const auto& row : rows)
        EXPECT_EQ(write_key(row.key, zeros, row.size), row.result) << row.key;
}

TEST_F(Served, AnswersEveryRequestByteForByteAndHandsBackAfter61SilentSeconds)
{
    const std::string range = "error range\n", command = "error command\n";
    struct { std::string text, reply; int forced; float target; int silence = 1; } rows[] = {
        {"hello\n", "ok tolvane-fans 1\n", 0, 1200},
        {"status\n", "ok fans=2 forced=0 F0=1200,1200,6000,1200,0 F1=1300,1300,6500,1300,0\n", 0, 1200},
        {"ping", "ok\n", 0, 1200}, {"pingpong and more", "ok\n", 0, 1200}, {"auto", "ok\n", 0, 1200},
        {"", "", 0, 1200},   // dropped after 2 s of silence
        {"set    3000 rpm\n", "ok\n", 1, 3000}, {"set 0\n", range, 1, 3000}, {"set -5\n", range, 1, 3000},
        {"set 20000.01\n", range, 1, 3000}, {"set fast\n", range, 1, 3000}, {"set nan\n", range, 1, 3000},
        {"set inf\n", range, 1, 3000}, {"set " + std::string(251, ' ') + "2500" + std::string(41, 'x'), range, 1, 3000},
        {"set 20000\n", "ok\n", 1, 6000}, {"PING\n", command, 1, 6000}, {" ping\n", command, 1, 6000},
        {"hell", command, 1, 6000}, {"statu", command, 1, 6000}, {"set\n", command, 1, 6000},
        {"set2500\n", command, 1, 6000}, {"ping\nauto\n", "ok\n", 1, 6000},   // one request per connection
        {"ping" + std::string(296, 'x'), "ok\n", 1, 6000}, {"ping\n", "ok\n", 1, 6000, 60},
        {"ping\n", "ok\n", 0, 1200, 61},   // the watchdog runs before the request is served
        {"set 2500\n", "ok\n", 1, 2500}, {"auto\n", "ok\n", 0, 1200}};
    ASSERT_TRUE(server.start(path, 0));
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        int64_t before = lastContact;
        fakeNow += row.silence;
        EXPECT_EQ(request(path, row.text), row.reply);
        EXPECT_EQ(forced, row.forced);
        EXPECT_EQ(read_float("F0Tg"), row.target);
        EXPECT_EQ(lastContact, row.reply.empty() ? before : fakeNow.load());
    }
}

TEST_F(Served, ServesOnlyTheOwnerAndRoot)
{
    ASSERT_TRUE(server.start(path, (int64_t(1) << 32) + 4242));   // uid 4242: the low 32 bits count
    struct { uid_t uid; const char* text; bool served; } rows[] = {
        {4243, "set 2500\n", false}, {4243, "ping\n", false}, {4242, "ping\n", true}, {0, "ping\n", true}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.uid);
        int64_t before = lastContact;
        fakeNow++;
        EXPECT_EQ(request_as(row.uid, path, row.text), row.served ? 0 : 1);
        EXPECT_EQ(lastContact, row.served ? fakeNow.load() : before);
        EXPECT_EQ(forced, 0);
    }
}

TEST_F(Served, TermOrIntHandsForcedFansBackAndRemovesTheSocketOpenToAll)
{
    for (int sig : {SIGTERM, SIGINT}) {
        ASSERT_EQ(mknod(path.c_str(), S_IFSOCK | 0600, 0), 0);   // as an earlier run leaves it
        ASSERT_TRUE(server.start(path, 0));
        struct stat st;
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 0666u);
        ASSERT_EQ(request(path, "set 2500\n"), "ok\n");
        EXPECT_EQ(server.stop(sig), 0);
        EXPECT_EQ(forced + read_float("F0Md") + read_float("F1Md"), 0);
        EXPECT_NE(stat(path.c_str(), &st), 0);
    }
}

TEST_F(Served, NeverRemovesARegularFileNorCutsALongPath)
{
    std::string precious = dir.file("precious"), text;
    std::ofstream(precious) << "keep me";
    std::string fits = dir.file(std::string(107 - dir.path.size() - 1, 'a'));   // sun_path holds 107
    ASSERT_EQ(mknod(fits.c_str(), S_IFSOCK | 0600, 0), 0);
    stopping = 1;   // a server that did bind would shut down at once with status 0
    EXPECT_EQ(serve(precious.c_str(), 0), 1);
    EXPECT_EQ(serve((fits + "b").c_str(), 0), 1);
    EXPECT_EQ(access(fits.c_str(), F_OK), 0);
    EXPECT_EQ(serve(dir.file("no/such/sock").c_str(), 0), 1);
    EXPECT_EQ(serve(fits.c_str(), 0), 0);
    EXPECT_NE(access(fits.c_str(), F_OK), 0);
    std::getline(std::ifstream(precious), text);
    EXPECT_EQ(text, "keep me");
}

std::string text_of(const std::string& path)
{
    std::stringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}

TEST(CommandLine, ChoosesTheModeAndEndsWithItsOutputAndStatus)
{
    TempDir dir;
    const std::string helper = TOLVANE_FANS_BIN, sim = TOLVANE_FANS_SIM_BIN;   // no SMC here for the first
    const std::string s = dir.file("s"), unbindable = dir.file("no/such/sock");   // the service exits 1
    const std::string fresh = "ok fans=2 forced=0 F0=1200,1200,6000,1200,0 F1=1300,1300,6500,1300,0\n";
    const std::string usage = "usage: " + sim + " --serve --owner <uid> [--socket path] | --status\n";
    struct { std::vector<std::string> args; int status; std::string out, err; } rows[] = {
        {{helper}, 2, "", "no SMC\n"}, {{helper, "--status"}, 2, "", "no SMC\n"},
        {{helper, "--serve", "--owner", "0", "--socket", s}, 2, "", "no SMC\n"},
        {{sim, "--status"}, 0, fresh, ""}, {{sim, "--serve", "--status", "--owner", "501", "--socket", s}, 0, fresh, ""},
        {{sim}, 64, "", usage}, {{sim, "--serve"}, 64, "", usage}, {{sim, "--serve", "--owner", "-1"}, 64, "", usage},
        {{sim, "--serve", "--owner"}, 64, "", usage},   // a last --owner has no value
        {{sim, "--owner", "--serve"}, 64, "", usage},   // --serve is the owner's value
        {{sim, "--serve", "--owner", "501", "--owner", "-7"}, 64, "", usage},
        {{sim, "--owner", "501", "--serve", "--socket", unbindable}, 1, "", ""},
        {{sim, "--serve", "--owner", "nobody", "--socket", unbindable}, 1, "", ""},   // reads as 0
        {{sim, "--serve", "-x", "--socket", s, "--owner", "501", "--socket", unbindable}, 1, "", ""}};
    for (const auto& row : rows) {
        SCOPED_TRACE("row " + std::to_string(&row - rows));
        std::string line = "exec timeout -s KILL 20";   // which kills it by pid should it hang
        for (const std::string& arg : row.args)
            line += " '" + arg + "'";
        int status = std::system((line + " >" + dir.file("out") + " 2>" + dir.file("err")).c_str());
        EXPECT_EQ(WEXITSTATUS(status), row.status);
        EXPECT_EQ(text_of(dir.file("out")) + "|" + text_of(dir.file("err")), row.out + "|" + row.err);
        EXPECT_NE(access(s.c_str(), F_OK), 0);
    }
}

}  // namespace

#ifdef TOLVANE_COUNT_ALLOCATIONS   // a sanitizer owns the allocator
// Every allocation comes here, operator new's and the C library's too.
static bool counting;
static int allocations;
extern "C" void* __libc_malloc(size_t);
extern "C" void* malloc(size_t size)
{
    allocations += counting;
    return __libc_malloc(size);
}

TEST(Allocation, ServingRequestsAllocatesNothing)
{
    ASSERT_TRUE(smc_open());
    for (const char* text : {"hello\n", "status\n", "ping\n", "set 2500\n", "status\n", "set 0\n", "auto\n", "x\n"}) {
        int sv[2];
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, sv), 0);
        ASSERT_EQ(send(sv[1], text, strlen(text), 0), ssize_t(strlen(text)));
        allocations = 0, counting = true;
        void* volatile seen = malloc(1);
        free(seen);
        handle_client(sv[0], 0);
        counting = false;
        EXPECT_NE(read_all(sv[1]), "") << text;
        EXPECT_EQ(allocations, 1) << text;   // the one that shows the count works
        close(sv[1]);
    }
}
#endif
