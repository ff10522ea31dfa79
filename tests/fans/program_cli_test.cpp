// The command line and both modes of the real binaries.
#include "program_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <csignal>

namespace {

const std::string kHelper = TOLVANE_FANS_BIN;        // no SMC on this machine
const std::string kSim = TOLVANE_FANS_SIM_BIN;
const char kFreshStatus[] = "ok fans=2 forced=0 F0=1200,1200,6000,1200,0 F1=1300,1300,6500,1300,0\n";

std::string usage()
{
    return "usage: " + kSim + " --serve --owner <uid> [--socket path] | --status\n";
}

void expect_usage(const std::vector<std::string>& args)
{
    std::vector<std::string> argv = {kSim};
    argv.insert(argv.end(), args.begin(), args.end());
    Finished f = run_program(argv);
    EXPECT_EQ(f.status, 64);
    EXPECT_EQ(f.err, usage());
    EXPECT_EQ(f.out, "");
}

// Starts the simulated helper with args and tells whether it serves at path.
bool serves(const std::vector<std::string>& args, const std::string& path)
{
    std::vector<std::string> argv = {kSim};
    argv.insert(argv.end(), args.begin(), args.end());
    pid_t pid = start_program(argv);
    bool answered = wait_until([&] { return request(path, "hello\n") == "ok tolvane-fans 1\n"; });
    kill(pid, SIGTERM);
    EXPECT_EQ(wait_exit(pid), 0);
    return answered;
}

TEST(CommandLine, WithoutSmcEveryInvocationSaysNoSmcAndExits2)
{
    for (std::vector<std::string> args : {std::vector<std::string>{kHelper, "--status"},
                                          {kHelper},
                                          {kHelper, "--serve", "--owner", "0", "--socket", "/nonexistent/s"}}) {
        Finished f = run_program(args);
        EXPECT_EQ(f.status, 2);
        EXPECT_EQ(f.err, "no SMC\n");
        EXPECT_EQ(f.out, "");
    }
}

TEST(CommandLine, StatusPrintsOneLineAndExits0)
{
    Finished f = run_program({kSim, "--status"});
    EXPECT_EQ(f.status, 0);
    EXPECT_EQ(f.out, kFreshStatus);
    EXPECT_EQ(f.err, "");
}

TEST(CommandLine, StatusWinsOverServe)
{
    TempDir dir;
    Finished f = run_program({kSim, "--serve", "--status", "--owner", "501", "--socket", dir.file("s")});
    EXPECT_EQ(f.status, 0);
    EXPECT_EQ(f.out, kFreshStatus);
    EXPECT_FALSE(exists(dir.file("s")));
}

TEST(CommandLine, NoArgumentsPrintsUsage)
{
    expect_usage({});
}

TEST(CommandLine, ServeWithoutAValidOwnerPrintsUsage)
{
    expect_usage({"--serve"});
    expect_usage({"--serve", "--owner", "-1"});
    expect_usage({"--serve", "--owner"});              // a last --owner has no value
    expect_usage({"--owner", "--serve"});              // --serve is taken as the owner
    expect_usage({"--serve", "--owner", "501", "--owner", "-7"});   // the last value counts
}

TEST(CommandLine, OwnerBeforeOrAfterServeStartsTheService)
{
    TempDir dir;
    EXPECT_TRUE(serves({"--owner", "501", "--serve", "--socket", dir.file("a")}, dir.file("a")));
    EXPECT_TRUE(serves({"--serve", "--owner", "501", "--socket", dir.file("b")}, dir.file("b")));
}

TEST(CommandLine, OwnerWithoutDigitsReadsAsRoot)
{
    TempDir dir;
    EXPECT_TRUE(serves({"--owner", "nobody", "--serve", "--socket", dir.file("s")}, dir.file("s")));
}

TEST(CommandLine, UnknownArgumentsAreIgnoredAndTheLastSocketCounts)
{
    TempDir dir;
    EXPECT_TRUE(serves({"--serve", "--bogus", "--owner", "501", "-x", "--socket", dir.file("first"),
                        "--socket", dir.file("last")},
                       dir.file("last")));
    EXPECT_FALSE(exists(dir.file("first")));
}

TEST(CommandLine, ServiceRemovesItsSocketOnTermAndInt)
{
    TempDir dir;
    for (int sig : {SIGTERM, SIGINT}) {
        pid_t pid = start_program({kSim, "--serve", "--owner", "0", "--socket", dir.file("s")});
        ASSERT_TRUE(wait_until([&] { return request(dir.file("s"), "set 2500\n") == "ok\n"; }));
        kill(pid, sig);
        EXPECT_EQ(wait_exit(pid), 0);
        EXPECT_FALSE(exists(dir.file("s")));
    }
}

TEST(CommandLine, SecondServiceOnThePathTakesItOver)
{
    TempDir dir;
    std::string path = dir.file("s");
    pid_t first = start_program({kSim, "--serve", "--owner", "0", "--socket", path});
    ASSERT_TRUE(wait_until([&] { return request(path, "ping\n") == "ok\n"; }));
    struct stat before;
    ASSERT_EQ(stat(path.c_str(), &before), 0);

    pid_t second = start_program({kSim, "--serve", "--owner", "0", "--socket", path});
    struct stat now;
    EXPECT_TRUE(wait_until([&] { return stat(path.c_str(), &now) == 0 && now.st_ino != before.st_ino; }));
    EXPECT_EQ(request(path, "ping\n"), "ok\n");
    EXPECT_EQ(kill(first, 0), 0);   // still running, just unreachable

    kill(second, SIGTERM);
    kill(first, SIGTERM);
    EXPECT_EQ(wait_exit(second), 0);
    EXPECT_EQ(wait_exit(first), 0);
}

}  // namespace
