// The helper on the simulated controller, served on a thread on the test's clock; both binaries; tolvane-fans-ctl.
#include "child.h"
#include "clock.h"
#include "fan_control.h"
#include "program_support.h"
#include "protocol.h"
#include "smc.h"
#include "user_client.h"

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <fstream>
#include <functional>
#include <map>

namespace fs = std::filesystem;

// Allocations on other threads than the test's, the server's; a sanitizer owns malloc.
static std::atomic<int> serverAllocations;
#ifdef TOLVANE_COUNT_ALLOCATIONS
static const pthread_t testThread = pthread_self();
extern "C" void* __libc_malloc(size_t);
extern "C" void* malloc(size_t size)
{
    serverAllocations += !pthread_equal(pthread_self(), testThread);
    return __libc_malloc(size);
}
#endif

// A change of mode by path follows what it names by then: the armed path becomes a link to the victim first.
static std::string hijackedPath, victimPath;
int chmod(const char* path, mode_t mode) noexcept(noexcept(::chmod("", 0)))
{
    if (hijackedPath == path) {
        symlink(victimPath.c_str(), (hijackedPath + ".link").c_str()), rename((hijackedPath + ".link").c_str(), path);
    }
    return fchmodat(AT_FDCWD, path, mode, 0);
}

// Removing through the folder's path follows what it names by then: the armed folder, its "s" called, becomes a link.
static std::string swappedFolder, elsewhere;
static int lateClient;
int unlinkat(int fd, const char* name, int flags) noexcept(noexcept(::unlinkat(0, "", 0)))
{
    if (!swappedFolder.empty())
        lateClient = unix_socket(swappedFolder + "/s");
    if (!swappedFolder.empty() && rename(swappedFolder.c_str(), (swappedFolder + ".old").c_str()) == 0)
        symlink(elsewhere.c_str(), swappedFolder.c_str());
    swappedFolder.clear();
    static auto real = reinterpret_cast<int (*)(int, const char*, int)>(dlsym(RTLD_NEXT, "unlinkat"));
    return real(fd, name, flags);
}
int unlink(const char* path) noexcept(noexcept(::unlink("")))
{
    return unlinkat(AT_FDCWD, path, 0);
}

// A stop signal armed here lands after the loop last looked at stopping, just before its wait (waitNanos) begins.
static std::atomic<int64_t> gapSignal, waitNanos;
int pselect(int n, fd_set* r, fd_set* w, fd_set* e, const timespec* timeout, const sigset_t* mask)
{
    static auto real = reinterpret_cast<decltype(&pselect)>(dlsym(RTLD_NEXT, "pselect"));
    int sig = gapSignal.exchange(0);
    waitNanos = timeout->tv_sec * int64_t(1000000000) + timeout->tv_nsec;
    return sig == 0 || pthread_kill(pthread_self(), sig) == 0 ? real(n, r, w, e, timeout, mask) : -1;
}

#define SKIP_UNLESS_ROOT()                                                                                             \
    if (geteuid() != 0)                                                                                                \
    GTEST_SKIP() << "needs root: it drops to other uids or owners (run the tests as root, as CI does)"

static std::atomic<int64_t> fakeNow;
static std::atomic<int> clockReads;
static const std::string kPowerOn = "ok fans=2 forced=0 F0=1200,1200,6000,1200,0 F1=1300,1300,6500,1300,0\n";

struct Row {
    std::string text, reply;
    int target, silence = 1;  // the fans are forced unless F0Tg reads the automatic 1200
    uid_t uid = getuid();     // the peer's uid is the effective one at connect
};

struct Served : testing::Test {  // fans automatic at second 1000 of the test's clock; a test may serve them
    TempDir dir;
    std::string path = dir.longest();
    ServerThread server;
    void SetUp() override
    {
        now_seconds = [] { return clockReads++, fakeNow.load(); }, simClock = [] { return double(fakeNow); };
        fakeNow = 1000, serverAllocations = 0, smc = 0;      // powered up afresh: no fan still slowing from before
        ASSERT_TRUE(smc_open() && read_float("Ftst") == 0);  // the switch is off at power-on
        detect_fans(), restore_auto();
    }
    // Each reply, the fans after it, and that only an answered request counts as contact.
    void run(const std::vector<Row>& rows)
    {
        for (const auto& row : rows) {
            SCOPED_TRACE(row.text + " from " + std::to_string(row.uid));
            int64_t before = lastContact;
            fakeNow += row.silence;
            EXPECT_EQ(seteuid(row.uid), 0);  // every thread switches, the server idle in select between clients
            EXPECT_EQ(request(path, row.text), row.reply);
            EXPECT_EQ(seteuid(getuid()), 0);
            EXPECT_EQ(forced, row.target != 1200);
            EXPECT_EQ(read_float("F0Tg"), row.target);
            EXPECT_EQ(lastContact, row.reply.empty() ? before : fakeNow.load());
            EXPECT_EQ(serverAllocations, 0);
        }
    }
};

TEST_F(Served, TheSimulatedControllerTakesOnlyTheSwitchesAndTargetsAndApproachesTheTarget)
{
    const uint8_t zeros[4] = {};
    for (auto [key, size, result] : {std::tuple{"FNum", 1u, -1}, {"Ftst", 1u, 0}, {"F0Md", 1u, 0}, {"F1Ac", 4u, -1},
             {"F1Tg", 4u, 0}, {"F2Tg", 4u, -1}})
        EXPECT_EQ(write_key(key, zeros, size), result) << key;
    EXPECT_EQ(write_key("Ftst", std::array<uint8_t, 1>{1}.data(), 1), 0);
    EXPECT_EQ(read_float("Ftst"), 1);
    EXPECT_FALSE(smc_key_info("F2Tg").ok || smc_key_info("G0Tg").ok);  // a third fan, a key not a fan's
    EXPECT_TRUE(smc_open());                                           // open already
    ASSERT_TRUE(force_all_fans(3000));
    fakeNow = 1001;  // a time constant of about a second
    EXPECT_NEAR(read_float("F0Ac"), 1200 + 1800 * (1 - std::exp(-1.0)), 50);
    EXPECT_NEAR((fakeNow = 1005, read_float("F0Ac")), 3000, 30);
    fakeNow = 1010;  // handed back unread: it slows from where it got to since
    ASSERT_EQ(write_key("F0Md", zeros, 1), 0);
    EXPECT_NEAR((fakeNow = 1011, read_float("F0Ac")), 1200 + 1800 * std::exp(-1.0), 50);
}

TEST_F(Served, AnswersTheOwnersLow32BitsAndRootButNoOtherUserAndSoDoesTheHelperProcess)
{
    SKIP_UNLESS_ROOT();
    ASSERT_TRUE(server.start(path, (int64_t(1) << 32) + 4243));
    run({{"ping\n", "ok\n", 1200, 1, 4243}, {"set 2500\n", "", 1200, 1, 4242}, {"ping\n", "", 1200, 1, 4242},
        {"set 2500\n", "ok\n", 2500}, {"auto\n", "", 2500, 1, 4242}, {"auto\n", "ok\n", 1200, 1, 4243}});
    // As its service starts it: a decimal owner, served as root is; a last option without its value ignored. A stop
    // signal its starter blocked still stops it. With no standard input the folder takes descriptor 0, or the socket
    // does behind a followed link; no descriptor is kept that it does not need.
    const std::string noInput = "exec <&- 3>&- 4>&- && ulimit -n 5 && exec \"$0\" \"$@\"", link = dir.file("ln");
    sigset_t term;
    symlink(dir.path.c_str(), link.c_str()), server.stop(), sigemptyset(&term), sigaddset(&term, SIGTERM),
        pthread_sigmask(SIG_BLOCK, &term, nullptr);
    Child helper(
        {"/bin/sh", "-c", noInput, TOLVANE_FANS_SIM_BIN, "--serve", "--owner", "1019", "--socket", path, "--socket"}),
        other({"/bin/sh", "-c", noInput, TOLVANE_FANS_SIM_BIN, "--serve", "--owner", "0", "--socket", link + "/other"});
    pthread_sigmask(SIG_UNBLOCK, &term, nullptr);
    ASSERT_TRUE(answers(path, "ping\n", "ok\n") && answers(dir.file("other"), "ping\n", "ok\n"));  // each its own SMC
    std::string reply = seteuid(1019) == 0 ? request(path, "ping\n") : "(uid not switched)";
    ASSERT_EQ(seteuid(getuid()), 0);
    EXPECT_EQ(reply, "ok\n");
    // Stopped, it accepts none: on Linux its backlog of 4 holds one connection more; macOS counts its own way.
    int waiting[6];
    child_kill(helper, SIGSTOP), waitpid(helper.pid, nullptr, WUNTRACED);
    std::generate(waiting, waiting + 6, [&] { return unix_socket(path, -2); });
    std::for_each(waiting, waiting + 6, close), child_kill(helper, SIGCONT);
#ifdef __linux__
    EXPECT_EQ(std::count(waiting, waiting + 6, -1), 1);
#endif
    EXPECT_EQ((child_kill(helper, SIGTERM), child_wait(helper)), 0);
}

TEST_F(Served, AnswersByteForByteWithoutAllocatingAndHandsBackAfter61SilentSecondsWithOrWithoutClients)
{
    const std::string range = "error range\n", command = "error command\n";
    ASSERT_TRUE(server.start(path, geteuid()));
    // Silence drops a client after 2 s; one request a connection; lines cut at 255 bytes; the watchdog first.
    run({{"hello\n", "ok tolvane-fans 1\n", 1200}, {"status\n", kPowerOn, 1200}, {"ping", "ok\n", 1200}, {"", "", 1200},
        {"set    3000 rpm\n", "ok\n", 3000}, {"set 0\n", range, 3000}, {"set 20000.01\n", range, 3000},
        {"set nan\n", range, 3000}, {"set " + std::string(251, ' ') + "2500" + std::string(41, 'x'), range, 3000},
        {"set 20000\n", "ok\n", 6000}, {"PING\n", command, 6000}, {"hell", command, 6000}, {"statu", command, 6000},
        {"\n", command, 6000}, {"ping\n", "ok\n", 6000}, {"pin", command, 6000}, {"set2500\n", command, 6000},
        {"ping\nauto\n", "ok\n", 6000}, {"set 3000" + std::string(292, 'x'), "ok\n", 3000},
        {"set " + std::string(247, ' ') + "30009", "ok\n", 3000}, {"ping\n", "ok\n", 3000, 60},
        {"ping\n", "ok\n", 1200, 61}, {"set 2500\n", "ok\n", 2500}, {"auto\n", "ok\n", 1200}});
    // With no client at all, quiet turn after quiet turn; and after a client that leaves early, or says nothing.
    ASSERT_EQ(request(path, "set 2500\n"), "ok\n");
    int reads = clockReads;
    ASSERT_TRUE(wait_until([&] { return clockReads > reads; }, std::chrono::seconds(20)));  // a quiet turn's watchdog
    EXPECT_EQ(waitNanos, 5000000000);                                                       // a quiet turn lasts 5 s
    fakeNow += 61;
    // A request's turn runs the watchdog before it answers; a helper stuck elsewhere counts the request as contact.
    auto handedBack = [&] { return request(path, "status\n").starts_with("ok fans=2 forced=0 "); };
    EXPECT_TRUE(wait_until(handedBack, std::chrono::seconds(20)));
    // A client that leaves before its reply: the first holds the helper until it closes, by when the second is gone.
    int holding = unix_socket(path), leaving = unix_socket(path);
    ASSERT_EQ(send(leaving, "status\n", 7, 0), 7);
    close(leaving), close(holding);
    EXPECT_EQ(request(path, "ping\n"), "ok\n");
    // Nor is a client that says nothing at all contact: the one after it is dropped at its receive time-out.
    int64_t before = lastContact;
    fakeNow += 5, close(unix_socket(path));
    EXPECT_EQ(request(path, ""), "");
    EXPECT_EQ(lastContact, before);
    gapSignal = SIGTERM, close(unix_socket(path));  // a stop just before the wait ends it at once, not at its 5 s
    EXPECT_TRUE(wait_until([&] { return server.status == 0; }, std::chrono::seconds(3)));
}

#ifndef SIGRTMAX
#define SIGRTMAX SIGUSR2  // macOS has no real-time signals
#endif

// Open to all by the creation mask, not a change of mode by path; a killed helper's forcing handed back before the
// modes are captured; on any ending signal, a newer helper's socket at the path left be, nor one it did not bind.
TEST_F(Served, OpensTheSocketToAllAndOnAnyEndingSignalHandsTheFansBackAndRemovesOnlyItsOwn)
{
    victimPath = dir.path, hijackedPath = path;  // root's own folder, 0755
    for (int sig : {SIGTERM, SIGINT, SIGHUP, SIGQUIT, SIGUSR1, SIGALRM, SIGXFSZ, SIGRTMAX}) {
        haveOriginal = false, write_key("F0Md", std::array<uint8_t, 1>{1}.data(), 1);
        ASSERT_EQ(close(unix_socket(path, 0)), 0);  // as an earlier run leaves it
        mode_t saved = umask(077);
        bool started = server.start(path, geteuid());
        EXPECT_EQ(umask(saved), 077u);  // the helper put back the mask it found
        EXPECT_EQ(int(fs::status(victimPath).permissions()), 0755);
        ASSERT_TRUE(started);
        EXPECT_EQ(int(fs::symlink_status(path).permissions()), 0666);  // of the socket itself, not of a link
        ASSERT_EQ(request(path, "set 2500\n"), "ok\n");
        Child newer({TOLVANE_FANS_SIM_BIN, "--serve", "--owner", std::to_string(geteuid()), "--socket", path});
        ASSERT_TRUE(answers(path, "status\n", kPowerOn));  // from the newer one, whose fans are not forced
        EXPECT_EQ(server.stop(sig), 0);
        EXPECT_EQ(forced + read_float("F0Md") + read_float("F1Md"), 0);
        EXPECT_EQ(request(path, "ping\n"), "ok\n");
        EXPECT_EQ((child_kill(newer, SIGTERM), child_wait(newer)), 0);
        EXPECT_FALSE(fs::exists(fs::symlink_status(path)));
    }
    // Nor does it remove from where the folder it bound in now leads; a client that comes as it does is refused.
    const std::string folder = dir.file("run"), precious = dir.file("other/s");
    ASSERT_TRUE(
        fs::create_directory(folder) && fs::create_directory(dir.file("other")) && std::ofstream(precious) << "k");
    ASSERT_TRUE(server.start(folder + "/s", geteuid()));
    swappedFolder = folder, elsewhere = dir.file("other");
    EXPECT_EQ(server.stop(), 0);
    EXPECT_TRUE(fs::exists(precious) && !fs::exists(folder + ".old/s") && lateClient < 0);
}

// The socket's folder may be a link only in a folder of root's that no one else may write. "/" and "." count.
TEST_F(Served, FindsTheFolderOfItsSocketFollowingALinkOnlyFromAFolderOfRootsThatNoOneElseMayWrite)
{
    SKIP_UNLESS_ROOT();
    const std::string real = dir.file("real");
    ASSERT_TRUE(fs::create_directory(real));
    const std::tuple<mode_t, uid_t, bool> rows[] = {
        {0755, 0, true}, {0775, 0, false}, {0757, 0, false}, {0755, 1, false}};
    for (int n = 0; const auto& [mode, owner, follows] : rows) {
        const std::string parent = dir.file("up" + std::to_string(n++)), link = parent + "/run";
        SCOPED_TRACE(parent);
        ASSERT_TRUE(fs::create_directory(parent));
        ASSERT_EQ(
            chmod(parent.c_str(), mode) | chown(parent.c_str(), owner, 0) | symlink(real.c_str(), link.c_str()), 0);
        ServerThread linked;
        EXPECT_EQ(linked.start(link + "/s", geteuid()), follows);
        EXPECT_EQ(fs::exists(real + "/s"), follows);
        EXPECT_EQ(linked.stop(), follows ? 0 : 1);
    }
    const std::string inRoot = "/tolvane-fans-test-" + std::to_string(getpid());  // "/" is a folder like any other
    EXPECT_TRUE(server.start(inRoot, geteuid()) && server.stop() == 0);
    EXPECT_NE(unlink(inRoot.c_str()), 0);      // gone; a helper that left it fails here and leaves nothing behind
    const fs::path here = fs::current_path();  // and a bare name lies in the working folder
    fs::current_path(real);
    EXPECT_TRUE(server.start("s", geteuid()) && fs::exists(real + "/s") && server.stop() == 0);
    fs::current_path(here);
}

// Unbound (no descriptor left for it, too) it exits 1: a regular file is not removed, nor a too long path cut.
TEST(CommandLine, ChoosesTheModeAndEndsWithItsOutputAndStatus)
{
    TempDir dir;
    auto slurp = [](auto path) { return std::string(std::istreambuf_iterator<char>(std::ifstream(path).rdbuf()), {}); };
    const std::string helper = TOLVANE_FANS_BIN, sim = TOLVANE_FANS_SIM_BIN, precious = dir.file("precious"),
                      fits = dir.longest(), s = dir.file("s"), unbindable = dir.file("no/such/sock");
    std::ofstream(precious) << "keep me", fs::create_symlink(sim, dir.file("--status"));  // a name read as an option
    ASSERT_EQ(close(unix_socket(fits, 0)), 0);
    std::map<int, std::string> errors = {{2, "no SMC\n"},  // by exit status; the others write none
        {64, "usage: " + sim + " --serve --owner <uid> [--socket path] | --status\n"}};
    const std::tuple<std::string, std::string, int> rows[] = {{helper, "", 2},
        {helper, "--serve --owner 0 --socket " + s, 2}, {sim, "--serve --status --owner 501 --socket " + s, 0},
        {sim, "", 64}, {sim, "--serve --owner -1", 64}, {sim, "--serve --owner", 64}, {sim, "--owner --serve", 64},
        {sim, "--serve --owner 501 --owner -7", 64}, {sim, "--owner 501 --serve --socket " + precious, 1},
        {sim, "--serve --owner nobody --socket " + fits + "b", 1},  // reads as 0
        {sim, "--serve -x --socket " + s + " --owner 501 --socket " + unbindable, 1},
        {"/usr/bin/env", "PATH=" + dir.path + " --status --serve --owner 501 --socket " + precious, 1},
        {"/bin/sh", "-c 'exec 3>&- && ulimit -n 4 && exec \"$0\" \"$@\"' " + sim + " --serve --owner 501 --socket " + s,
            1}};
    // A machine with a real controller (a Mac, or a VM that offers one) tells nothing by "no SMC".
    const bool controllerHere = WEXITSTATUS(std::system(("'" + helper + "' --status >/dev/null 2>&1").c_str())) == 0;
    for (const auto& [program, args, status] : rows) {
        std::string line = "exec timeout -s KILL 20 '" + program + "' " + args;  // which kills it by pid should it hang
        SCOPED_TRACE(line);
        if (controllerHere && program == helper)
            continue;
        EXPECT_EQ(WEXITSTATUS(std::system((line + " >" + dir.file("out") + " 2>" + dir.file("err")).c_str())), status);
        EXPECT_EQ(slurp(dir.file("out")), status == 0 ? kPowerOn : "");
        EXPECT_EQ(slurp(dir.file("err")), errors[status]);
        EXPECT_NE(access(s.c_str(), F_OK), 0);
    }
    EXPECT_EQ(slurp(precious), "keep me");
    EXPECT_EQ(access(fits.c_str(), F_OK), 0);
}

static const std::string kSaid = "tolvane-fans-ctl: ";

// tolvane-fans-ctl on a socket, its standard error in its output as a person sees both, its first descriptor 0.
static Child ctl(const std::string& path, std::vector<std::string> args)
{
    args.insert(args.begin(), {"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1 <&-", TOLVANE_FANS_CTL_BIN, "--socket", path});
    return Child(args);
}

// Whether it waits for a place in a full backlog (Linux's /proc tells; elsewhere never).
static const auto connecting = [](const Child& child) {
    std::string in;
    return (std::ifstream("/proc/" + std::to_string(child.pid) + "/wchan") >> in, in == "unix_wait_for_peer");
};

TEST_F(Served, TheClientPrintsEachReplyOrOneLineOfWhatWentWrongAndExitsWithItsStatus)
{
    using namespace std::chrono;
    ASSERT_TRUE(server.start(path, geteuid()));
    const std::string usage = "usage: tolvane-fans-ctl [--socket path] [--every seconds] status | hello | ping | "
                              "auto | set rpm | hold rpm\n";
    const std::string notOneLine = kSaid + "the reply from @ is not one line of ok or error\n";
    const std::string noReply = kSaid + "no reply from the helper at @ within 5 seconds\n";
    const std::string notServed = kSaid + "the helper at @ closed without a reply: it serves only its --owner and " +
        "root (this is uid " + std::to_string(geteuid()) +
        "), or it was stopping, or it gave up waiting for the request\n";
    ASSERT_EQ(close(unix_socket(dir.file("stale"), 0)), 0);  // where nobody listens
    // The longest line the client takes, one byte more, which could have been cut short, and one after that line.
    const std::string longest = "ok " + std::string(507, 'x') + "\n", longer = "ok " + std::string(508, 'x') + "\n",
                      more = longest + "x";
    // A hold reads each status alone, not with the tail of a longer one before it.
    const char *letGo = "ok fans=2 forced=1 F0=11,1,1,1,1 F1=1,1,1,1,0\n",
               *oneFan = "ok fans=1 forced=1 F0=1,1,1,1,1\n";
    StandIn standIns[] = {{dir.file("silent"), {}}, {dir.file("full"), {}}, {dir.file("closes"), {""}},
        {dir.file("two"), {"ok\nok\n"}}, {dir.file("unended"), {more.c_str()}}, {dir.file("other"), {"\n"}},
        {dir.file("oh"), {"oh\n"}}, {dir.file("erro"), {"erro\n"}}, {dir.file("longest"), {longest.c_str()}},
        {dir.file("longer"), {longer.c_str()}}, {dir.file("ctrl"), {"ok \x1b[2J\x1f ~\x7f\\\x80\n"}},
        {dir.file("turns"), {"ok\n", letGo, "ok\n", oneFan, "ok\n"}}};
    int queued = unix_socket(dir.file("full"));  // the one its backlog of 0 holds
    // The socket's leaf ("": the helper's), the arguments, the output with @ for the socket, the status.
    const std::tuple<std::string, std::vector<std::string>, std::string, int> rows[] = {{"", {"status"}, kPowerOn, 0},
        {"", {"hello"}, "ok tolvane-fans 1\n", 0}, {"", {"ping"}, "ok\n", 0}, {"", {"set", "2500"}, "ok\n", 0},
        {"", {"status"}, "ok fans=2 forced=1 F0=1200,1200,6000,2500,1 F1=1300,1300,6500,2500,1\n", 0},
        {"", {"set", "0"}, "error range\n", 1}, {"", {"auto"}, "ok\n", 0}, {"", {"status"}, kPowerOn, 0},
        {"", {"hold", "20001"}, "error range\n", 1}, {"", {"set", std::string(250, '1')}, "error range\n", 1},
        {"", {"set", std::string(251, '1')}, usage, 64}, {"", {}, usage, 64}, {"", {"set"}, usage, 64},
        {"", {"ping", "2"}, usage, 64}, {"", {"PING"}, usage, 64}, {"", {"--every", "0", "hold", "2500"}, usage, 64},
        {"", {"--every", "51", "hold", "2500"}, usage, 64}, {"", {"--every", "5s", "hold", "2500"}, usage, 64},
        {"", {"--every", "1a", "hold", "20001"}, usage, 64}, {"", {"ping", "--every", "5"}, usage, 64},
        {"", {"--every", "9", "hold", "20001"}, "error range\n", 1},
        {"", {"--every", "50", "hold", "20001"}, "error range\n", 1}, {"", {"-x", "ping"}, usage, 64},
        {"none", {"ping"}, kSaid + "no helper at @: No such file or directory\n", 69},
        {"stale", {"ping"}, kSaid + "no helper at @: Connection refused\n", 69},
        {path.substr(dir.path.size() + 1) + "a", {"ping"}, kSaid + "no helper at @: File name too long\n", 69},
        {"silent", {"ping"}, noReply, 75}, {"full", {"ping"}, noReply, 75}, {"closes", {"ping"}, notServed, 77},
        {"two", {"ping"}, notOneLine, 76}, {"unended", {"ping"}, notOneLine, 76}, {"other", {"ping"}, notOneLine, 76},
        {"oh", {"ping"}, notOneLine, 76}, {"erro", {"ping"}, notOneLine, 76}, {"longest", {"ping"}, longest, 0},
        {"longer", {"ping"}, notOneLine, 76}, {"ctrl", {"ping"}, "ok \\x1b[2J\\x1f ~\\x7f\\x5c\\x80\n", 0},
        {"turns", {"--every", "1", "hold", "1"},
            "ok\n" + std::string(letGo) + kSaid +
                "a fan runs on its own again (after a suspend?); setting it again\nok\n" + oneFan + "ok\n" + kSaid +
                "the fans are no longer forced (the helper restarted, or a client handed them back)\n",
            1}};
    for (auto [leaf, args, out, status] : rows) {
        std::string socket = leaf.empty() ? path : dir.file(leaf);
        SCOPED_TRACE(socket + testing::PrintToString(args));
        if (size_t at = out.find('@'); at != std::string::npos)
            out.replace(at, 1, socket);
        auto start = steady_clock::now();
        Child child = ctl(socket, args);
        EXPECT_EQ(child_finish(child), std::pair(out, status));
        EXPECT_EQ((steady_clock::now() - start + 100ms) / 5s, status == 75);  // 5 s to reply or to accept
    }
    // Held without --every, the first reminder comes 20 s after the set and finds no helper (every child keeps the
    // stand-in's socket open); a stop signal while a set waits for a place in a full backlog waits for its end.
    auto set = steady_clock::now();
    StandIn once(dir.file("once"), {"ok\n"});
    Child paced = ctl(dir.file("once"), {"hold", "2500"}), held = ctl(dir.file("full"), {"hold", "2500"});
    EXPECT_EQ(child_read_line(paced), "ok");
    unlink(dir.file("once").c_str()), wait_until([&] { return connecting(held); }), child_kill(held, SIGTERM);
    EXPECT_EQ(child_finish(held).second, 75);
    EXPECT_EQ(child_wait(paced, ceil<milliseconds>(set + 19900ms - steady_clock::now())), std::nullopt);
    EXPECT_EQ(child_wait(paced, ceil<milliseconds>(set + 20900ms - steady_clock::now())), 69);
    // With standard input closed, its socket is descriptor 0, as good as any.
    Child unread({"/bin/sh", "-c", "exec 2>&1 <&-; exec \"$0\" --socket \"$1\" set 1", TOLVANE_FANS_CTL_BIN, path});
    EXPECT_EQ(child_finish(unread), std::pair(std::string("ok\n"), 0));
    Child help = ctl(path, {"--help"});
    auto [text, status] = child_finish(help);
    EXPECT_EQ(std::pair(text.substr(0, usage.size() + 2), status), std::pair(usage + "  ", 0));
    close(queued);
}

// Reminders come each second; the test's clock moves 25 s after each, past the watchdog's 61 s.
TEST_F(Served, TheClientHoldsASpeedPastTheWatchdogUntilASignalAndEndsWhenTheFansAreNoLongerForced)
{
    ASSERT_TRUE(server.start(path, geteuid()));
    const std::string notForced =
        kSaid + "the fans are no longer forced (the helper restarted, or a client handed them back)\n";
    int silent[6] = {-1, -1, -1, -1, -1, -1};
    const std::tuple<std::function<void(Child&)>, std::string, int> rows[] = {
        {[](Child& c) { child_kill(c, SIGHUP); }, "ok\n", 0}, {[&](Child&) { request(path, "auto\n"); }, notForced, 1},
        {[&](Child&) { server.stop(); }, kSaid + "no helper at " + path + ": No such file or directory\n", 69},
        {[&](Child&) { server.stop(), server.start(path, geteuid()); }, notForced, 1},
        // Behind six silent clients (2 s each), the hand-back waits out a second stop signal; no reply in time.
        {[&](Child& c) {
             std::generate(silent, silent + 6, [&] { return unix_socket(path); }), child_kill(c, SIGTERM);
             wait_until([&] { return connecting(c); }), child_kill(c, SIGINT);
         },
            kSaid + "no reply from the helper at " + path + " within 5 seconds\n", 75}};
    for (const auto& [meanwhile, last, status] : rows) {
        SCOPED_TRACE(last);
        Child hold = ctl(path, {"--every", "1", "hold", "2500"});
        EXPECT_EQ(child_read_line(hold), "ok");
        const std::string fds = "/proc/" + std::to_string(hold.pid) + "/fd";  // it sleeps and keeps no socket
        std::pair before(child_cpu_seconds(hold), proc_entries(fds));
        for (int reminder = 0; reminder < 3; reminder++, fakeNow += 25)
            EXPECT_EQ(child_read_line(hold).value_or("").substr(0, 19), "ok fans=2 forced=1 ");
        EXPECT_LT(child_cpu_seconds(hold) - before.first, 0.5);
        EXPECT_EQ(proc_entries(fds), before.second);
        meanwhile(hold);
        auto [out, exitStatus] = child_finish(hold);
        for (int& fd : silent)
            fd = fd < 0 ? fd : (close(fd), -1);
        EXPECT_EQ(std::pair(out.ends_with(last), exitStatus), std::pair(true, status)) << out;
        EXPECT_TRUE(server.thread.joinable() || server.start(path, geteuid()));
        EXPECT_EQ(request(path, "status\n").substr(0, 19), "ok fans=2 forced=0 ");
    }
}
