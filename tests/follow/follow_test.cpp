// The follower: the curve and its choice of speed, the sensors' names, the settings; the follower on a clock of the
// test's own against a scripted helper; and as run, against the helper on the simulated controller.
#include "child.h"
#include "curve.h"
#include "fake_hwmon.h"
#include "fan_control.h"
#include "follow.h"
#include "follow_config.h"
#include "program_support.h"
#include "request.h"
#include "sensors.h"
#include "smc.h"
#include "stop_signals.h"
#include "user_client.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <getopt.h>
#include <poll.h>
#include <sys/resource.h>

#include <atomic>
#include <csignal>
#include <functional>
#include <map>
#include <thread>

// Rising points of speeds the helper takes, else the fault named; the curve at its edges; then temperatures in turn:
// up at once, down only 3 °C below where chosen, by 100 rpm or more.
TEST(Curve, NamesItsFaultIsLinearFlatAboveAutoBelowAndRisesAtOnceButFallsOnlyPastTheHysteresisSoNeverHunts)
{
    const std::pair<std::string, std::string> rows[] = {{"55:2000,70:3500,85:6000", ""}, {"-40:1,150:20000", ""},
        {"55:2000,55:3000", "temperatures must rise from point to point: 55:3000 follows 55:2000"},
        {"70:2000,55:3000", "temperatures must rise from point to point: 55:3000 follows 70:2000"},
        {"55:0", "speed 0 is not from 1 to 20000 rpm"}, {"55:20001", "speed 20001 is not from 1 to 20000 rpm"},
        {"151:2000", "temperature 151 is not from -40 to 150 °C"}, {"55", "a point is TEMP:RPM, not \"55\""},
        {"55:2000x", "a point is TEMP:RPM, not \"55:2000x\""}, {"nan:2000", "a point is TEMP:RPM, not \"nan:2000\""},
        {"55:", "a point is TEMP:RPM, not \"55:\""}, {"", "a curve is TEMP:RPM points joined by commas"},
        {"55:2000,", "a curve is TEMP:RPM points joined by commas"}};
    for (const auto& [text, fault] : rows) {
        Curve curve;
        EXPECT_EQ(parse_curve(text, curve), fault) << text;
    }
    Curve curve;
    ASSERT_EQ(parse_curve("55:2000,70:3500,85:6000", curve), "");
    for (auto [celsius, rpm] :
        {std::pair{54.9, 0}, {55.0, 2000}, {69.9, 3490}, {70.0, 3500}, {85.0, 6000}, {149.0, 6000}})
        EXPECT_EQ(curve_rpm(curve, celsius), rpm) << celsius;
    Speed speed = {0, 0};
    for (auto [celsius, rpm] : {std::pair{55.5, 2050}, {54.5, 2050}, {55.5, 2050}, {54.5, 2050}, {52.6, 2050},
             {52.5, 0}, {70.0, 3500}, {71.0, 3667}, {70.0, 3667}, {71.0, 3667}, {70.0, 3667}, {71.5, 3667},
             {68.1, 3667}, {68.0, 3300}, {68.5, 3300}, {69.0, 3400}, {60.0, 2500}, {30.0, 0}, {30.0, 0}})
        EXPECT_EQ((speed = next_speed(curve, 3, 100, speed, celsius)).rpm, rpm) << celsius;
    ASSERT_EQ(parse_curve("55:50", curve), "");  // a take-over and a hand-back are never smaller than a step
    for (auto [celsius, rpm] : {std::pair{56.0, 50}, {40.0, 0}})
        EXPECT_EQ((speed = next_speed(curve, 3, 100, speed, celsius)).rpm, rpm) << celsius;
}

struct Tree : testing::Test {
    FakeHwmon hwmon;
    std::filesystem::path core = hwmon.monitor(4, "platform/coretemp.0", "coretemp"),
                          amd = hwmon.monitor(1, "pci0000:00/0000:00:18.3", "k10temp", true),
                          later = hwmon.monitor(2, "pci0000:00/nvme1", "nvme"),
                          first = hwmon.monitor(3, "nvme0", "nvme");
    void SetUp() override
    {
        for (auto [file, text] : std::initializer_list<std::pair<std::filesystem::path, std::string>>{
                 {core / "temp1_label", "Package id 0\n"}, {core / "temp1_input", "50000\n"},
                 {core / "temp2_input", "45500\n"}, {core / "temp3_label", "Core 1\n"}, {core / "temp3_input", "x\n"},
                 {core / "fan1_input", "9\n"}, {later / "device", ""},  // a monitor with no device, as virtual ones
                 {amd / "temp1_label", "Tctl\n"}, {amd / "temp1_input", "-1000\n"},
                 {later / "temp1_label", "Composite\n"}, {later / "temp1_input", "35000\n"},
                 {first / "temp1_label", "Composite\n"}, {first / "temp1_input", "30000\n"}})
            text.empty() ? void(std::filesystem::remove(file)) : FakeHwmon::write(file, text);
    }
};

// The list; the choices; then what spoils the reading: each row on the tree as it was left by the row before.
TEST_F(Tree, NamesInputsByDriverAndLabelAndTheLaterOfTwoAlikeByDeviceWithAMarkAndTakesTheHottestOrAFault)
{
    const std::string listed = "coretemp/Core 1        unreadable\ncoretemp/Package id 0  50.0 °C\ncoretemp/temp2    "
                               "     45.5 °C\nk10temp/Tctl           -1.0 °C\nnvme/Composite         30.0 °C\nnvme/"
                               "Composite#2       35.0 °C\n";
    // As the code finds them, with no standard input (a file may be descriptor 0); an empty root is the kernel's.
    Child listing({"/bin/sh", "-c", "exec \"$0\" sensors <&-", TOLVANE_FANS_CTL_BIN});
    Child none({"/bin/sh", "-c",
        "TOLVANE_HWMON_ROOT=/none \"$0\" sensors 2>&1; s=$?; unset TOLVANE_HWMON_ROOT; [ \"$("
        "\"$0\" sensors 2>&1)\" = \"$(TOLVANE_HWMON_ROOT= \"$0\" sensors 2>&1)\" ] || s=9; exit $s",
        TOLVANE_FANS_CTL_BIN});
    EXPECT_EQ(std::tuple(child_finish(listing), child_finish(none)),
        std::tuple(
            std::pair(listed, 0), std::pair(std::string("tolvane-fans-ctl: no temperature inputs under /none\n"), 1)));
    std::vector<Chosen> chosen;
    EXPECT_FALSE(choose_sensors(find_sensors(), "nvme/Composite#3", chosen));
    for (const char* choice : {"nvme/*+30", "coretemp/Package id [0-9]", "*Tctl-5.5"})  // a star crosses the slash
        EXPECT_TRUE(choose_sensors(find_sensors(), choice, chosen)) << choice;
    ASSERT_EQ(chosen.size(), 4u);
    EXPECT_EQ(chosen[3].offset, -5.5);
    // However low the readings; of two alike, the first chosen.
    EXPECT_EQ(hottest(find_sensors(), {{"nvme/Composite", -2000}, {"nvme/Composite#2", -2005}}).name, "nvme/Composite");
    const std::tuple<std::filesystem::path, std::string, double, std::string, const char*> rows[] = {
        {later / "temp1_input", "35000", 65, "nvme/Composite#2", nullptr},
        {core / "temp1_input", "150000", 150, "coretemp/Package id 0", nullptr},
        {core / "temp1_input", "150001", 150.001, "coretemp/Package id 0", "reads an impossible value"},
        {core / "temp1_input", "60000", 65, "nvme/Composite#2", nullptr},
        {amd / "temp1_input", "-40000", 65, "nvme/Composite#2", nullptr},
        {amd / "temp1_input", "-40001", -40.001, "k10temp/Tctl", "reads an impossible value"},
        {amd / "temp1_input", "x", 0, "k10temp/Tctl", "cannot be read"},
        {amd / "temp1_input", "", 0, "k10temp/Tctl", "is gone"},
        {first / "temp1_label", "Edge\n", 0, "nvme/Composite#2", "is gone"}};
    for (const auto& [file, text, celsius, name, fault] : rows) {
        text.empty() ? void(std::filesystem::remove(file)) : FakeHwmon::write(file, text);
        Reading r = hottest(find_sensors(), chosen);
        EXPECT_EQ(std::tuple(r.celsius, r.name, std::string(r.fault ? r.fault : "")),
            std::tuple(celsius, name, fault ? fault : ""));
    }
}

// A configuration file's text ("": none), the options, what is said (its first line), the exit status (0: set up).
TEST_F(Tree, SaysEachFaultOfTheSettingsInOneLineWhereItIsTouchesNothingAndChecksTheCurveAgainstTheSensorsAsTheyReadNow)
{
    const std::string file = hwmon.dir.file("f.toml"), said = "tolvane-fans-ctl: ";
    std::vector<FollowSetup> setups;
    auto configure = [&](std::vector<const char*> args) {
        args.insert(args.begin(), {"tolvane-fans-ctl", "--config", file.c_str()}), args.push_back("follow");
        optind = 0;
        Options o = scan_options(int(args.size()), const_cast<char**>(args.data()));
        int status = 0;
        testing::internal::CaptureStderr();
        if (setups.emplace_back(); !configure_follow(o, setups.back(), status))
            setups.pop_back();
        std::string err = testing::internal::GetCapturedStderr(), line = err.substr(0, err.find('\n'));
        EXPECT_EQ(err.substr(line.size() + (err.empty() ? 0 : 1)), status == 64 ? kFollowUsage : "");
        return std::pair(line.substr(line.find(said) == 0 ? said.size() : 0), status);
    };
    const std::tuple<std::string, std::vector<const char*>, std::string, int> rows[] = {
        {"curve = \"55:2000,50:1\"\nhysteresis = 2.5\nstep = 50\n", {"--curve", "60:3000", "--step", "0"}, "", 0},
        {"\n", {"--curve", "55:1"}, "", 0},  // read whole though one byte long
        {"curve = \"55:1\"", {"--sensor", "coretemp/temp2-1", "--hysteresis", "0", "--every", "1"}, "", 0},
        {"curve = \"55:2000,50:1\"", {}, "@:1: curve: temperatures must rise from point to point: 50:1 follows 55:2000",
            78},
        {"curve = \"55:2000\"\nfan = 2", {}, "@:2: unknown key fan", 78},
        {"curve = \"55:2000\"\nsensor = [\n \"nvme/*\",\n \"acpitz/*\"]", {}, "@:4: no sensor is named acpitz/*", 78},
        {"sensor = \"nvme/*\"", {}, "@:1: sensor is a list of names", 78},
        {"sensor = [1]", {}, "@:1: sensor is a list of names", 78},
        {"curve = 55", {}, "@:1: curve is a string of TEMP:RPM points", 78},
        {"hysteresis = 30.5", {}, "@:1: hysteresis is a number from 0 to 30", 78},
        {"step = 1.0", {}, "@:1: step is a whole number from 0 to 5000", 78},
        {"every = 51", {}, "@:1: every is a whole number from 1 to 50", 78},
        {"every = 0", {}, "@:1: every is a whole number from 1 to 50", 78},
        {"step = 5\n[a", {}, "@:2: Error while parsing table header: encountered end-of-file", 78},
        {"step = 5", {}, "@: no curve: set curve here or give --curve", 78},
        {"", {"--curve", "55:2000"}, "@: cannot be read: No such file or directory", 78},
        {"curve = \"55:2000\"", {"--curve", "55:2000,55:1"},
            "curve: temperatures must rise from point to point: 55:1 follows 55:2000", 64},
        {"sensor = [\"acpitz/*\"]", {"--curve", "55:1", "--sensor", "nvme/*", "--sensor", "x"}, "no sensor is named x",
            64}};
    for (auto [text, args, line, status] : rows) {
        std::filesystem::remove(file);
        if (!text.empty())
            FakeHwmon::write(file, text);
        if (line.starts_with("@"))
            line.replace(0, 1, file);
        EXPECT_EQ(configure(args), std::pair(line, status)) << text;
    }
    // The options over the file; the CPU's package and die where no sensor is named.
    ASSERT_EQ(setups.size(), 3u);
    EXPECT_EQ(std::tuple(setups[0].curve.size(), setups[0].hysteresis, setups[0].step, setups[0].every,
                  setups[0].sensors.size(), setups[0].sensors[1].name),
        std::tuple(1u, 2.5, 0, 2, 2u, std::string("k10temp/Tctl")));
    EXPECT_EQ(std::tuple(setups[1].hysteresis, setups[1].step, setups[1].every), std::tuple(3.0, 100, 2));
    EXPECT_EQ(std::tuple(setups[2].sensors[0].offset, setups[2].hysteresis, setups[2].every), std::tuple(-1.0, 0.0, 1));
    setenv("TOLVANE_HWMON_ROOT", hwmon.dir.path.c_str(), 1), FakeHwmon::write(file, "");
    EXPECT_EQ(configure({"--curve", "55:1"}).first.substr(0, 40), "no CPU package or die temperature (coret");
    // The command line's checks, then what --check shows: on the curve, below it, with a sensor that cannot be read.
    setenv("TOLVANE_HWMON_ROOT", hwmon.root.c_str(), 1);
    const std::string table = "    °C    rpm\n  55.0   2000\n  70.0   3500\nauto below 55.0 °C; down after 2.5 °C "
                              "cooler; steps of 100 rpm or more; every 2 s\ncoretemp/Package id 0: 50.0 °C (+0.0)\n";
    FakeHwmon::write(file, "hysteresis = 2.5\ncurve = \"55:2000,70:3500\"\n");
    // The arguments (one alone: a sensor checked beside the package), all it writes, its status.
    const std::tuple<std::vector<std::string>, std::string, int> checks[] = {{{"--curve", "55:1", "ping"}, kUsage, 64},
        {{"-x", "follow"}, kFollowUsage, 64}, {{"--step", "x", "follow"}, kFollowUsage, 64},
        {{"--every", "2", "sensors"}, kFollowUsage, 64},
        {{"k10temp/Tctl+60"}, "k10temp/Tctl: -1.0 °C (+60.0)\nnow: 59.0 °C k10temp/Tctl: 2400 rpm (on the curve)\n", 0},
        {{"k10temp/Tctl"}, "k10temp/Tctl: -1.0 °C (+0.0)\nnow: 50.0 °C coretemp/Package id 0: auto (below the curve)\n",
            0},
        {{"k10temp/Tctl"}, "k10temp/Tctl cannot be read\nnow: k10temp/Tctl cannot be read: auto (handed back)\n", 0}};
    for (auto [args, out, status] : checks) {
        FakeHwmon::write(amd / "temp1_input", out.find("cannot") == out.npos ? "-1000" : "x");
        if (args.size() == 1)
            args = {"--config", file, "--sensor", "coretemp/Package id 0", "--sensor", args[0], "--check", "follow"};
        args.insert(args.begin(), {"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1", TOLVANE_FANS_CTL_BIN});
        Child ctl(args);
        EXPECT_EQ(child_finish(ctl), std::pair((status ? "" : table) + out, status)) << args[4];
    }
}

static std::atomic<int64_t> testNow, stopAt;  // ms
static int stopSignal;
static std::map<int64_t, std::function<void()>> events;  // what happens as a period begins

// A period passes at once; at stopAt, a stop signal comes in the wait.
static void test_wait(int64_t deadline)
{
    if (auto event = events.find(testNow = std::max<int64_t>(testNow, deadline)); event != events.end())
        event->second();
    if (testNow >= stopAt)
        raise(stopSignal), wait_for(monotonic_ms() + 60000);
}

// Each run against a helper of the test's own, on the test's clock, every second: a status is answered a
// millisecond late, others at once. A reminder comes at the first period 20 s or more after the last answer.
TEST_F(Tree, FollowsTheCurveRemindsTheHelperInTimeSetsAgainWhenItLetGoWaitsForItWhenGoneAndEndsOnEachSignalAsRunToo)
{
    using Asked = std::vector<std::pair<int64_t, std::string>>;
    const std::string path = hwmon.dir.file("s"), said = "tolvane-fans-ctl: ", named = " coretemp/Package id 0",
                      status = "ok fans=1 forced=1 F0=3000,1200,6000,3000,1\n",
                      on = "50.0 °C" + named + ": 3000 rpm (rising)\n";
    const std::string waiting = said + "waiting for the helper; meanwhile the firmware runs the fans\n",
                      back = said + "the helper is back\n";
    auto heat = [this](const char* milli) { return [this, milli] { FakeHwmon::write(core / "temp1_input", milli); }; };
    auto rename = [&](const std::filesystem::path& from, const std::filesystem::path& to) {
        return [=] { std::filesystem::rename(from, to); };
    };
    // The signal; the curve; events by time; replies other than "ok" or the status, by time; the end; what came.
    const std::tuple<int, std::string, std::map<int64_t, std::function<void()>>, std::map<int64_t, std::string>,
        int64_t, Asked, std::string, std::string>
        runs[] = {{SIGTERM, "55:2000,70:3500,85:6000",
                      {{1000, heat("72000")}, {2000, heat("68000")}, {3000, rename(core / "temp1_input", path + "-")},
                          {4000, heat("60000")}, {5000, heat("52000")}},
                      {}, 6000,
                      {{0, "auto\n"}, {1000, "set 3833\n"}, {2000, "set 3300\n"}, {3000, "auto\n"},
                          {4000, "set 2500\n"}, {5000, "auto\n"}, {6000, "auto\n"}},
                      "50.0 °C" + named + ": auto (below the curve)\n72.0 °C" + named + ": 3833 rpm (rising)\n68.0 °C" +
                          named + ": 3300 rpm (falling)\n" + named.substr(1) + " is gone: auto (handed back)\n60.0 °C" +
                          named + ": 2500 rpm (rising)\n52.0 °C" + named + ": auto (below the curve)\n",
                      said + "sensor" + named + " is gone: handing the fans back\n" + said + "sensor" + named +
                          " reads again: following it\n"},
            {SIGINT, "40:3000", {},
                {{20000, "ok fans=1 forced=1 F0=3000,1200,6000,3000,0\n"}, {41000, "ok fans=1 forced=0\n"}}, 63000,
                {{0, "set 3000\n"}, {20000, "status\n"}, {20001, "set 3000\n"}, {41000, "status\n"},
                    {41001, "set 3000\n"}, {62000, "status\n"}, {63000, "auto\n"}},
                on,
                said + "a fan runs on its own again (after a suspend?); setting it again\n" + said +
                    "the fans are no longer forced (the helper restarted?); setting them again\n"},
            {SIGHUP, "40:3000", {{20000, rename(path, path + "-")}, {25000, rename(path + "-", path)}}, {}, 26000,
                {{0, "set 3000\n"}, {25000, "set 3000\n"}, {26000, "auto\n"}}, on,
                said + "no helper at " + path + ": No such file or directory\n" + waiting + back},
            {SIGTERM, "40:3000", {}, {{0, "error smc\n"}}, 2000,
                {{0, "set 3000\n"}, {1000, "set 3000\n"}, {2000, "auto\n"}}, on,
                said + "the helper answered error smc\n" + waiting + back},
            {SIGTERM, "60:3000", {}, {}, 30000, {{0, "auto\n"}, {30000, "auto\n"}},  // nothing to remind of while auto
                "50.0 °C" + named + ": auto (below the curve)\n", ""}};
    followClock = [] { return testNow.load(); }, followWait = test_wait;
    for (const auto& [sig, curve, happens, odd, end, expected, out, err] : runs) {
        SCOPED_TRACE(curve + " " + std::to_string(end));
        FollowSetup setup = {{}, 3, 100, 1, {{named.substr(1), 0}}};
        long fds = proc_entries("/proc/self/fd");  // none kept, of a refused connection either
        int listener = (parse_curve(curve, setup.curve), unix_socket(path, 4));
        Asked asked;
        std::thread helper([&, last = end, &replies = odd] {  // clang 14 captures no binding
            for (pollfd p = {listener, POLLIN, 0};
                 (asked.empty() || asked.back().first < last) && poll(&p, 1, 10000) == 1;) {
                int client = accept(listener, nullptr, nullptr);
                char text[64];
                asked.emplace_back(testNow.load(), std::string(text, std::max<ssize_t>(recv(client, text, 63, 0), 0)));
                bool late = asked.back().second == "status\n";
                std::string reply = replies.contains(testNow) ? replies.at(testNow) : late ? status : "ok\n";
                testNow += late, send(client, reply.data(), reply.size(), 0), close(client);
            }
        });
        testNow = 0, stopAt = end, stopSignal = sig, events = happens, FakeHwmon::write(core / "temp1_input", "50000");
        testing::internal::CaptureStdout(), testing::internal::CaptureStderr();
        int exit = follow(path.c_str(), setup);
        std::string warned = testing::internal::GetCapturedStderr(), told = testing::internal::GetCapturedStdout();
        helper.join(), close(listener), unlink(path.c_str());
        EXPECT_EQ(std::tuple(exit, told, warned, asked, proc_entries("/proc/self/fd")),
            std::tuple(0, out, err, expected, fds));
    }
    // A request with no descriptor left to connect with says so.
    char reply[kReplySize];
    rlimit was, none;
    int lowest = (testing::internal::CaptureStderr(), open("/dev/null", O_RDONLY));
    getrlimit(RLIMIT_NOFILE, &was), close(lowest), none = {rlim_t(lowest), was.rlim_max};
    int refused = (setrlimit(RLIMIT_NOFILE, &none), fans_request("/nonexistent", "ping\n", reply));
    setrlimit(RLIMIT_NOFILE, &was);
    EXPECT_EQ(std::pair(refused, testing::internal::GetCapturedStderr()),
        std::pair(69, std::string("tolvane-fans-ctl: no helper at /nonexistent: Too many open files\n")));
    // As run, against the helper on the simulated controller: on the curve, and handed back at its end.
    ServerThread server;
    ASSERT_TRUE(smc_open() && (detect_fans(), restore_auto(), server.start(path, geteuid())));
    auto shows = [&](const std::string& part) {
        return wait_until([&] { return request(path, "status\n").find(part) != std::string::npos; });
    };
    Child follower({"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1", TOLVANE_FANS_CTL_BIN, "--socket", path, "--every", "1",
        "--curve", "45:2000,70:3500", "follow"});
    EXPECT_EQ(child_read_line(follower), "50.0 °C coretemp/Package id 0: 2300 rpm (rising)");
    EXPECT_TRUE(shows(",2300,1 F1="));
    child_kill(follower, SIGTERM);
    EXPECT_EQ(child_finish(follower), std::pair(std::string(), 0));
    EXPECT_TRUE(shows("forced=0 F0="));
}
