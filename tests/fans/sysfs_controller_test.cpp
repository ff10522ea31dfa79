// The Linux controller on the kernel's two SMC drivers as trees of files, through keys and the socket.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "child.h"
#include "fan_control.h"
#include "program_support.h"
#include "protocol.h"
#include "smc.h"
#include "user_client.h"

namespace fs = std::filesystem;

enum Driver { kNone, kPlatform, kApplesmc, kT2, kStandard, kMacsmc };

// The kernel's layouts: each monitor listed in the hwmon class by a link into its device's folder, beside others (a
// monitor named by its device; one named applesmc with neither naming's files). applesmc's own files sit on its
// device (a platform device, an ACPI one on T2 Macs, or one the class does not list), the standard naming's and
// macsmc's in the monitor's folder. A busy file is a folder, which a write leaves be.
struct FakeDriver {
    fs::path root = fs::temp_directory_path() / ("tolvane-sysfs-" + std::to_string(getpid())), dir;
    std::string platform = root / "devices/platform/applesmc.768", hwmon = root / "class/hwmon";
    std::map<std::string, std::string> files;  // the fan files by name, as last seen
    bool opened;

    // A monitor in the class, named in its own folder or on its device; its folder.
    fs::path monitor(const std::string& id, const fs::path& device, const char* name, bool onDevice = false)
    {
        fs::path folder = root / device / "hwmon" / id;
        fs::create_directories(folder), fs::create_directories(hwmon);
        fs::create_directory_symlink("../../" / device / "hwmon" / id, hwmon + "/" + id);
        fs::create_directory_symlink("../../../" + device.filename().string(), folder / "device");
        return std::ofstream(onDevice ? root / device / "name" : folder / "name") << name, folder;
    }
    FakeDriver(Driver kind, int fans = 2, const std::set<std::string>& busy = {})
    {
        const bool own = kind == kPlatform || kind == kApplesmc || kind == kT2;
        std::ofstream(monitor("hwmon0", "devices/platform/asus-wmi", "asus_wmi_sensors\n") / "fan1_input") << "9\n";
        monitor("hwmon1", "devices/platform/coretemp.0", "coretemp\n", true);
        std::ofstream(monitor("hwmon3", "devices/virtual/thermal", "applesmc\n") / "fan1_input") << "9\n";
        fs::path device = kind == kT2 ? "devices/LNXSYSTM:00/LNXSYBUS:00/PNP0A08:00/device:1d/APP0001:00"
            : kind == kMacsmc         ? "devices/platform/soc/23e400000.smc/macsmc-hwmon"
                                      : "devices/platform/applesmc.768";
        fs::create_directories(platform);  // found empty where the class lists applesmc
        dir = kind == kPlatform || kind == kNone ? fs::path(platform)
            : own                                ? (monitor("hwmon2", device, "applesmc\n", true), root / device)
                  : monitor("hwmon2", device, kind == kMacsmc ? "macsmc_hwmon\n" : "applesmc\n");
        const char* fields[] = {"_input", "_min", "_max", own ? "_output" : "_target", own ? "_manual" : "_enable"};
        const int speeds[2][5] = {{2000, 1200, 6200, 2000, own ? 0 : 2}, {1800, 1000, 5800, 1800, own ? 0 : 2}};
        for (int n = 0; kind != kNone && n < fans; n++)
            for (int f = 0; f < (kind == kMacsmc ? 4 : 5); f++) {
                std::string name = (f == 4 && !own ? "pwm" : "fan") + std::to_string(n + 1) + fields[f];
                files[name] = busy.count(name) ? (fs::create_directory(dir / name), "") : std::to_string(speeds[n][f]);
                std::ofstream(dir / name) << files[name] << "\n";
            }
        sysfsRoot = platform.c_str(), hwmonRoot = hwmon.c_str(), smc = 0, forced = 0, haveOriginal = false,
        fanCount = 0;
        opened = smc_open() && (detect_fans(), true);
    }
    ~FakeDriver() { fs::remove_all(root); }
    // "fan1_output=2500\n" for each fan file whose first line changed since asked (a shorter write leaves the rest)
    std::string changes()
    {
        std::string text;
        for (auto& [name, seen] : files)
            if (std::string now; std::getline(std::ifstream(dir / name), now), now != seen)
                text += name + "=" + (seen = now) + "\n";
        return text;
    }
};

// The owner's, on a pair served right after `before` on its own: the reply, "(reset)" if the close left bytes unread.
// The helper closes a copy of its end, so that its receive time-out can still be read: a silent client gets 2 s.
static std::string ask(const std::string& request, const std::string& before = "", int flags = 0)
{
    int fds[2] = {-1, -1}, first[2] = {-1, -1};
    timeval wait = {};
    socklen_t size = sizeof wait;
    EXPECT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, fds) | socketpair(AF_UNIX, SOCK_STREAM, 0, first), 0);
    send(first[1], before.data(), before.size(), 0), shutdown(first[1], SHUT_WR);
    send(fds[1], request.data(), request.size(), flags);
    handle_client(first[0], getuid()), handle_client(dup(fds[0]), getuid()), close(first[1]);
    getsockopt(fds[0], SOL_SOCKET, SO_RCVTIMEO, &wait, &size), close(fds[0]);
    EXPECT_EQ(wait.tv_sec * 1000000 + wait.tv_usec, 2000000);
    char reply[kStatusSize + 1] = {};
    bool reset = (recv(fds[1], reply, kStatusSize, 0), recv(fds[1], &wait, 1, 0) < 0);
    close(fds[1]);
    return reply + std::string(reset ? "(reset)" : "");
}

TEST(SysfsController, FindsEitherDriverAndForcesItsFansOrHandsThemAllBack)
{
    // Not with other drivers only and applesmc's with neither naming's files; with one fan; macsmc by its name alone.
    for (auto [kind, fans] : {std::pair{kNone, 2}, {kT2, 1}, {kPlatform, 1}, {kStandard, 1}, {kMacsmc, 0}})
        EXPECT_EQ(FakeDriver(kind, fans).opened, kind != kNone) << kind;
    EXPECT_EQ(ask("status"), "ok fans=0 forced=0\n");      // fans counted at opening, not the other device's
    EXPECT_EQ(ask("statu", "status"), "error command\n");  // not read with the tail of the request before
    // What follows a request is read away, 16 reads of 256 bytes after its 255, a byte more left to reset; the reads
    // go on past an urgent byte, at which one stops short.
    EXPECT_EQ(ask("ping" + std::string(4347, ' ')) + ask("ping" + std::string(4348, ' ')), "ok\nok\n(reset)");
    EXPECT_EQ(ask("ping" + std::string(252, ' ') + "!", "", MSG_OOB), "ok\n");
    const std::string own = "fan1_manual=1\nfan1_output=2501\nfan2_manual=1\nfan2_output=2501\n", r = "set 2500.6",
                      set = "ok fans=2 forced=1 F0=2000,1200,6200,2501,1 F1=1800,1000,5800,2501,1\n";
    const std::tuple<Driver, std::set<std::string>, std::string, std::string, std::string, std::string> cases[] = {
        {kApplesmc, {}, r, "ok\n", own, set}, {kT2, {}, r, "ok\n", own, set}, {kPlatform, {}, r, "ok\n", own, set},
        {kStandard, {}, r, "ok\n", "fan1_target=2501\nfan2_target=2501\npwm1_enable=1\npwm2_enable=1\n", set},
        {kMacsmc, {}, r, "ok\n", "fan1_target=2501\nfan2_target=2501\n", set},
        {kApplesmc, {"fan1_max"}, "set 20000", "ok\n",  // an unreadable maximum imposes nothing
            "fan1_manual=1\nfan1_output=20000\nfan2_manual=1\nfan2_output=5800\n",
            "ok fans=2 forced=1 F0=2000,1200,-1,20000,1 F1=1800,1000,5800,5800,1\n"},
        {kApplesmc, {"fan2_output", "fan2_manual"}, "set 2500", "error smc\n",
            "fan1_output=2500\n",  // the second fan's mode key busy too
            "ok fans=2 forced=0 F0=2000,1200,6200,2500,0 F1=1800,1000,5800,-1,-1\n"},
        {kMacsmc, {"fan2_target"}, "set 2500", "error smc\n", "fan1_target=0\n",
            "ok fans=2 forced=0 F0=2000,1200,6200,0,0 F1=1800,1000,5800,-1,-1\n"}};
    for (const auto& [kind, busy, request, reply, changes, status] : cases) {
        SCOPED_TRACE(testing::Message() << "driver " << kind << ": " << status);
        FakeDriver driver(kind, 2, busy);
        EXPECT_FALSE(smc_key_info("Ftst").ok);  // no test switch to set
        EXPECT_EQ(ask(request), reply);
        EXPECT_EQ(driver.changes(), changes);
        EXPECT_EQ(ask("status"), status);
        EXPECT_EQ(ask("auto"), "ok\n");
        const char* back = kind == kMacsmc ? "fan1_target=0\nfan2_target=0\n"
            : kind == kStandard            ? "pwm1_enable=2\npwm2_enable=2\n"
                                           : "fan1_manual=0\nfan2_manual=0\n";
        EXPECT_EQ(driver.changes(), reply == "ok\n" ? back : "");
    }
    {  // the standard naming's automatic mode reads 0; a mode of no meaning to us (0: full speed), unknown
        FakeDriver standard(kStandard);
        std::ofstream(standard.dir / "pwm2_enable") << "0\n";
        EXPECT_EQ(ask("status"), "ok fans=2 forced=0 F0=2000,1200,6200,2000,0 F1=1800,1000,5800,1800,-1\n");
    }
    // macsmc does not tell a killed helper's forced speed from the machine's setpoint: a fan this helper has not set
    // reads mode -1 unless its setpoint is 0, until the start of serving hands it back. A status changes nothing.
    FakeDriver driver(kMacsmc);
    EXPECT_TRUE(smc_open() && read_float("FNum") == 2);                                           // open already
    EXPECT_FALSE(smc_key_info("F2Ac").ok || smc_key_info("F0Zz").ok || smc_key_info("G0Ac").ok);  // no such fan/field
    SmcRecord gone{}, reply{};  // a read of a key gone since its key info, as when the driver is unbound between
    gone.key = key_code("F2Ac"), gone.command = kSmcCmdRead, gone.dataSize = 4;
    EXPECT_EQ(smc_call(&gone, &reply) | reply.result, kSmcKeyNotFound);
    std::ofstream(driver.dir / "fan2_target") << (driver.files["fan2_target"] = "0") << "\n";
    const auto fds = std::distance(fs::directory_iterator("/proc/self/fd"), {});  // each file read is closed again
    EXPECT_EQ(ask("status"), "ok fans=2 forced=0 F0=2000,1200,6200,2000,-1 F1=1800,1000,5800,0,0\n");
    EXPECT_EQ(std::distance(fs::directory_iterator("/proc/self/fd"), {}), fds);
    EXPECT_EQ(driver.changes(), "");
    EXPECT_EQ((restore_stale_forcing(), driver.changes()), "fan1_target=0\n");
    EXPECT_EQ(ask("status"), "ok fans=2 forced=0 F0=2000,1200,6200,0,0 F1=1800,1000,5800,0,0\n");
}

// Each key in its own size; a minimum is refused though a driver would take it; macsmc's mode is unwritten, ours.
TEST(SysfsController, OnlyModeAndAForcedTargetInRangeReachTheDriver)
{
    const std::tuple<Driver, const char*, float, int, const char*> cases[] = {{kT2, "F0Mn", 1000, -1, ""},
        {kT2, "F0Tg", NAN, -1, ""}, {kT2, "F0Tg", 3000.4f, 0, "fan1_output=3000\n"},
        {kT2, "F1Md", 1, 0, "fan2_manual=1\n"}, {kMacsmc, "F0Tg", 3000, -1, ""}, {kMacsmc, "F0Md", 1, 0, ""},
        {kMacsmc, "F0Tg", 3000, 0, "fan1_target=3000\n"}, {kMacsmc, "F0Tg", 1199, -1, ""},
        {kMacsmc, "F0Tg", 1200, 0, "fan1_target=1200\n"}, {kMacsmc, "F0Tg", 6200, 0, "fan1_target=6200\n"},
        {kMacsmc, "F0Tg", 6201, -1, ""}, {kMacsmc, "F0Md", 0, 0, "fan1_target=0\n"}, {kT2, "F0Tg", -1, -1, ""},
        {kT2, "F0Tg", 0, 0, "fan1_output=0\n"}, {kT2, "F0Tg", 1e9f, -1, ""}};
    const int in = dup(0);  // with no standard input, the folder or file the controller opens takes descriptor 0
    close(0);
    for (Driver kind : {kT2, kMacsmc}) {
        FakeDriver driver(kind);
        for (const auto& [rowKind, key, value, result, changes] : cases) {
            if (rowKind != kind)
                continue;
            SCOPED_TRACE(testing::Message() << key << " " << value);
            uint32_t size = smc_key_info(key).size;
            uint8_t bytes[4];
            memcpy(bytes, &value, 4), bytes[0] = size == 1 ? uint8_t(value) : bytes[0];
            EXPECT_EQ(write_key(key, bytes, size), result);
            EXPECT_EQ(driver.changes(), changes);
        }
    }
    dup2(in, 0), close(in);
    // Nor 0 where the driver gives no minimum: on macsmc that would hand the fan back.
    FakeDriver driver(kMacsmc);
    std::ofstream(driver.dir / "fan1_min") << "0\n";
    const uint8_t on = 1;
    const float stop = 0, slowest = 1;
    EXPECT_EQ(write_key("F0Md", &on, 1), 0);
    EXPECT_EQ(write_key("F0Tg", reinterpret_cast<const uint8_t*>(&stop), 4), -1);
    EXPECT_EQ(write_key("F0Tg", reinterpret_cast<const uint8_t*>(&slowest), 4), 0);
    EXPECT_EQ(driver.changes(), "fan1_min=0\nfan1_target=1\n");
    // A tenth fan is as much the driver's as the first; an eleventh has no digit of its own; the count is one byte.
    for (int n = 3; n <= 256; n++)
        std::ofstream(driver.dir / ("fan" + std::to_string(n) + "_input")) << "900\n";
    EXPECT_TRUE(smc_key_info("F9Ac").ok && read_float("FNum") == 255);
    EXPECT_FALSE(smc_key_info("F:Ac").ok);
    // A driver may refuse at the write and still close cleanly.
    fs::remove(driver.dir / "fan1_target"), fs::create_symlink("/dev/full", driver.dir / "fan1_target");
    EXPECT_EQ(write_key("F0Tg", reinterpret_cast<const uint8_t*>(&slowest), 4), -1);
}

// One helper drives the controller, on any socket: a second refuses before it touches fans or socket, a status still
// answers, a killed one holds nothing. Each sees the fake tree as the kernel's; none has standard input (fd 0 is free).
TEST(SysfsController, OneHelperDrivesTheControllerAtATimeAndAKilledOneBlocksNone)
{
    FakeDriver driver(kPlatform);
    const std::string bind = "mount --bind " + driver.root.string() + "/devices/platform /sys/devices/platform";
    if (geteuid() != 0 || std::system(("/usr/bin/unshare -m " + bind).c_str()) != 0)
        GTEST_SKIP() << "needs root and a mount namespace of its own";
    auto helper = [&](const std::string& socket, const char* mode = "--serve") {
        return Child({"/usr/bin/unshare", "-m", "/bin/sh", "-c", bind + " && exec \"$@\" 2>&1 <&-", "sh",
            TOLVANE_FANS_BIN, "--owner", "0", "--socket", socket, mode});
    };
    const std::string a = driver.root / "a", b = driver.root / "b",
                      fans = "F0=2000,1200,6200,2500,1 F1=1800,1000,5800,2500,1\n";
    Child first = helper(a);
    ASSERT_TRUE(answers(a, "set 2500\n", "ok\n") && !driver.changes().empty());
    Child status = helper(a, "--status"), second = helper(a), elsewhere = helper(b);
    EXPECT_EQ(child_finish(status), std::pair("ok fans=2 forced=0 " + fans, 0));  // forced, not by it
    for (Child* refused : {&second, &elsewhere})
        EXPECT_EQ(child_finish(*refused),
            std::pair(std::string("tolvane-fans: another helper already serves this SMC; not starting\n"), 1));
    EXPECT_EQ(request(a, "status\n"), "ok fans=2 forced=1 " + fans);  // nothing changed
    EXPECT_FALSE(fs::exists(b));
    child_kill(first, SIGKILL), child_wait(first);
    Child next = helper(b);
    ASSERT_TRUE(answers(b, "ping\n", "ok\n"));
    EXPECT_EQ(driver.changes(), "fan1_manual=0\nfan2_manual=0\n");  // the killed one's forcing handed back
    // Across a suspend the SMC lets go of manual mode behind the helper's back: a hold sets its speed again.
    std::string& mode = driver.files["fan1_manual"];  // as last seen
    auto manual = [&](const char* m) { return wait_until([&] { return driver.changes(), mode == m; }); };
    Child hold({"/bin/sh", "-c", "exec \"$0\" --socket \"$1\" --every 1 hold 2500 2>&1", TOLVANE_FANS_CTL_BIN, b});
    ASSERT_TRUE(manual("1"));
    std::ofstream(driver.dir / "fan1_manual") << (mode = "0") << "\n";
    EXPECT_TRUE(manual("1"));
    auto [out, exitStatus] = (child_kill(hold, SIGINT), child_finish(hold));
    EXPECT_TRUE(manual("0") && !exitStatus && out.find("(after a suspend?); setting it again\nok\n") != out.npos)
        << out;
}
