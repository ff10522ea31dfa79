// One connection of the control socket, served in this process over a real
// Unix socket against the simulated controller.
#include "program_fixture.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

namespace {

int listen_at(const std::string& path)
{
    int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr = unix_address(path);
    bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    listen(fd, 4);
    chmod(path.c_str(), 0666);
    return fd;
}

// Accepts the one waiting client, if it comes, and serves it.
void serve_one(int listener, int64_t owner)
{
    pollfd p = {listener, POLLIN, 0};
    ASSERT_EQ(poll(&p, 1, 20000), 1);
    handle_client(accept(listener, nullptr, nullptr), owner);
}

struct Protocol : SimFans {
    std::string path = dir.file("sock");
    int listener = listen_at(path);
    ~Protocol() override { close(listener); }

    std::string exchange(const std::string& text, int64_t owner = 0)
    {
        int client = connect_to(path);
        send(client, text.data(), text.size(), 0);
        serve_one(listener, owner);
        std::string reply = read_reply(client);
        close(client);
        return reply;
    }

    // The request as another user: a child drops to uid and hands back what it read.
    std::string exchange_as(uid_t uid, int64_t owner, const char* text)
    {
        int pipefd[2];
        EXPECT_EQ(pipe(pipefd), 0);
        pid_t pid = fork();
        if (pid == 0)
            request_in_child(uid, text, pipefd[1]);
        close(pipefd[1]);
        serve_one(listener, owner);
        std::string reply = read_reply_from_pipe(pipefd[0]);
        close(pipefd[0]);
        EXPECT_EQ(wait_exit(pid), 0);
        return reply;
    }

    [[noreturn]] void request_in_child(uid_t uid, const char* text, int out)
    {
        if (setuid(uid) != 0)
            _exit(3);
        int fd = connect_to(path);
        if (fd < 0)
            _exit(4);
        send(fd, text, strlen(text), MSG_NOSIGNAL);   // a refused peer may be closed already
        char buf[512];
        ssize_t n;
        while ((n = recv(fd, buf, sizeof buf, 0)) > 0)
            if (write(out, buf, n) != n)
                _exit(5);
        _exit(0);
    }

    static std::string read_reply_from_pipe(int fd)
    {
        std::string reply;
        char buf[512];
        ssize_t n;
        while ((n = read(fd, buf, sizeof buf)) > 0)
            reply.append(buf, n);
        return reply;
    }
};

const char kFreshStatus[] = "ok fans=2 forced=0 F0=1200,1200,6000,1200,0 F1=1300,1300,6500,1300,0\n";

TEST_F(Protocol, HelloNamesTheProgramAndVersion)
{
    EXPECT_EQ(exchange("hello\n"), "ok tolvane-fans 1\n");
}

TEST_F(Protocol, StatusSendsTheStatusLine)
{
    EXPECT_EQ(exchange("status\n"), kFreshStatus);
}

TEST_F(Protocol, PingAnswersOkWhateverFollowsTheWord)
{
    EXPECT_EQ(exchange("ping"), "ok\n");
    EXPECT_EQ(exchange("ping\n"), "ok\n");
    EXPECT_EQ(exchange("pingpong and more"), "ok\n");
}

TEST_F(Protocol, SetForcesTheFansAndAutoHandsThemBack)
{
    EXPECT_EQ(exchange("set 2500\n"), "ok\n");
    EXPECT_EQ(forced, 1);
    EXPECT_EQ(read_float("F0Tg"), 2500.0f);
    EXPECT_EQ(read_float("F0Md"), 1.0f);

    EXPECT_EQ(exchange("auto\n"), "ok\n");
    EXPECT_EQ(forced, 0);
    EXPECT_EQ(read_float("F0Md"), 0.0f);
}

TEST_F(Protocol, AutoAnswersOkWhenNothingIsForced)
{
    EXPECT_EQ(exchange("auto"), "ok\n");
    EXPECT_EQ(forced, 0);
}

TEST_F(Protocol, SetSkipsSpacesBeforeTheNumberAndAcceptsTheUpperBound)
{
    EXPECT_EQ(exchange("set    3000 rpm\n"), "ok\n");
    EXPECT_EQ(read_float("F0Tg"), 3000.0f);
    EXPECT_EQ(exchange("set 20000\n"), "ok\n");
    EXPECT_EQ(read_float("F0Tg"), 6000.0f);   // clamped to the fan's own maximum
}

TEST_F(Protocol, SetOutsideTheRangeChangesNothing)
{
    for (const char* text : {"set 0\n", "set -5\n", "set 20000.01\n", "set fast\n", "set \n",
                             "set inf\n", "set nan\n", "set 1e40\n"}) {
        EXPECT_EQ(exchange(text), "error range\n") << text;
        EXPECT_EQ(forced, 0) << text;
    }
    EXPECT_EQ(exchange("set 2500\n"), "ok\n");
    EXPECT_EQ(exchange("set 0\n"), "error range\n");
    EXPECT_EQ(forced, 1);
    EXPECT_EQ(read_float("F0Tg"), 2500.0f);
}

TEST_F(Protocol, WordsMatchOnlyWholeCaseSensitiveAndUnpadded)
{
    for (const char* text : {"PING\n", " ping\n", "hell", "statu", "set\n", "set2500\n", "x"})
        EXPECT_EQ(exchange(text), "error command\n") << text;
}

TEST_F(Protocol, AnyAdmittedRequestMovesLastContactToNow)
{
    fakeNow = 4242;
    EXPECT_EQ(exchange("nonsense\n"), "error command\n");
    EXPECT_EQ(lastContact, 4242);
}

TEST_F(Protocol, OnlyTheFirst255BytesOfARequestCount)
{
    std::string text = "set " + std::string(251, ' ') + "2500\n";   // the number lies past byte 255
    ASSERT_EQ(text.size(), 260u);
    EXPECT_EQ(exchange(text + std::string(40, 'x')), "error range\n");
    EXPECT_EQ(exchange("ping" + std::string(296, 'x')), "ok\n");
}

TEST_F(Protocol, TwoCommandsInOnePacketServeOnlyTheFirst)
{
    EXPECT_EQ(exchange("ping\nstatus\n"), "ok\n");
}

TEST_F(Protocol, ClientClosingWithoutARequestGetsNothing)
{
    int client = connect_to(path);
    shutdown(client, SHUT_WR);
    serve_one(listener, 0);
    EXPECT_EQ(read_reply(client), "");
    EXPECT_EQ(lastContact, 0);
    close(client);
}

TEST_F(Protocol, SilentClientIsDroppedAfterTwoSeconds)
{
    int client = connect_to(path);
    auto begin = std::chrono::steady_clock::now();
    serve_one(listener, 0);
    auto waited = std::chrono::steady_clock::now() - begin;
    EXPECT_GE(waited, std::chrono::milliseconds(1900));
    EXPECT_EQ(read_reply(client), "");
    EXPECT_EQ(lastContact, 0);
    close(client);
}

TEST_F(Protocol, OwnerIsServed)
{
    EXPECT_EQ(exchange_as(4242, 4242, "ping\n"), "ok\n");
    EXPECT_EQ(lastContact, 1000);
}

TEST_F(Protocol, OwnerIsComparedByItsLow32Bits)
{
    EXPECT_EQ(exchange_as(4242, (int64_t(1) << 32) + 4242, "ping\n"), "ok\n");
}

TEST_F(Protocol, OtherUserGetsNoReplyAndDoesNotPostponeTheWatchdog)
{
    EXPECT_EQ(exchange_as(4243, 4242, "ping\n"), "");
    EXPECT_EQ(exchange_as(4243, 4242, "set 2500\n"), "");
    EXPECT_EQ(lastContact, 0);
    EXPECT_EQ(forced, 0);
}

TEST_F(Protocol, RootIsServedWhateverTheOwner)
{
    EXPECT_EQ(exchange("ping\n", 4242), "ok\n");
    EXPECT_EQ(exchange("ping\n", 0), "ok\n");
}

}  // namespace
