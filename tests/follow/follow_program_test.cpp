// tolvane-fans-ctl follow over a fake hwmon class, against the helper on the simulated controller served on a thread.
#include "child.h"
#include "fake_hwmon.h"
#include "fan_control.h"
#include "program_support.h"
#include "smc.h"
#include "user_client.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

using namespace std::chrono_literals;
static const std::string kSaid = "tolvane-fans-ctl: ", kCore = "coretemp/Package id 0";

struct Follower : testing::Test {
    FakeHwmon hwmon;
    std::filesystem::path core = hwmon.monitor(0, "platform/coretemp.0", "coretemp");
    std::string path = hwmon.dir.file("s");
    ServerThread server;
    void SetUp() override
    {
        heat("48000"), FakeHwmon::write(core / "temp1_label", "Package id 0\n");
        ASSERT_TRUE(smc_open());
        detect_fans(), restore_auto();
        ASSERT_TRUE(server.start(path, geteuid()));
    }
    Child follow()
    {
        return Child({"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1", TOLVANE_FANS_CTL_BIN, "--socket", path, "--every",
            "1", "--curve", "55:2000,70:3500,85:6000", "follow"});
    }
    void heat(const std::string& milli)
    {
        milli.empty() ? void(std::filesystem::remove(core / "temp1_input"))
                      : FakeHwmon::write(core / "temp1_input", milli);
    }
    bool at(const std::string& rpm)  // whether the helper's status soon shows the fans forced to rpm, or handed back
    {
        std::string shows = rpm == "auto" ? "forced=0 F0=" : "," + rpm + ",1 F1=";
        return wait_until([&] { return request(path, "status\n").find(shows) != std::string::npos; });
    }
};

// Each temperature written (none: the input gone), what the follower says then, where the fans are.
TEST_F(Follower, FollowsTheCurveAndHandsBackBelowItWhileTheSensorIsGoneAndWhenStopped)
{
    Child follower = follow();
    const std::tuple<std::string, std::vector<std::string>, std::string> rows[] = {
        {"48000", {"48.0 °C " + kCore + ": auto (below the curve)"}, "auto"},
        {"72000", {"72.0 °C " + kCore + ": 3833 rpm (rising)"}, "3833"},
        {"68000", {"68.0 °C " + kCore + ": 3300 rpm (falling)"}, "3300"},
        {"", {kSaid + "sensor " + kCore + " is gone: handing the fans back", kCore + " is gone: auto (handed back)"},
            "auto"},
        {"60000",
            {kSaid + "sensor " + kCore + " reads again: following it", "60.0 °C " + kCore + ": 2500 rpm (rising)"},
            "2500"},
        {"52000", {"52.0 °C " + kCore + ": auto (below the curve)"}, "auto"}};
    for (const auto& [milli, lines, rpm] : rows) {
        heat(milli);
        for (const std::string& line : lines)
            EXPECT_EQ(child_read_line(follower), line);
        EXPECT_TRUE(at(rpm)) << rpm;
    }
    const std::string fds = "/proc/" + std::to_string(follower.pid) + "/fd";
    long open = proc_entries(fds);
    EXPECT_EQ(child_read_line(follower, 21s), std::nullopt);  // nothing to remind the helper of while it is auto
    EXPECT_LT(proc_entries(fds), open + 3);                   // each period's files closed again
    child_kill(follower, SIGTERM);
    EXPECT_EQ(child_finish(follower), std::pair(std::string(), 0));
    EXPECT_TRUE(at("auto"));
}

// What happens while it keeps the fans at 3833 rpm, what it says by its next reminder (20 s), the signal that ends it.
TEST_F(Follower, SetsTheSpeedAgainAfterASuspendOrARestartWaitsForTheHelperAndHandsBackOnEachStopSignal)
{
    std::optional<StandIn> refusing;  // a helper that refuses every set
    static const uint8_t manual = 0;  // a suspend on a T2 Mac: the SMC runs the fan itself again
    const std::tuple<std::function<void()>, std::vector<std::string>, int> rows[] = {
        {[] { write_key("F0Md", &manual, 1); },
            {kSaid + "a fan runs on its own again (after a suspend?); setting it again"}, SIGINT},
        {[&] { server.stop(), server.start(path, geteuid()); },
            {kSaid + "the fans are no longer forced (the helper restarted?); setting them again"}, SIGTERM},
        {[&] { server.stop(); },
            {kSaid + "no helper at " + path + ": No such file or directory",
                kSaid + "waiting for the helper; meanwhile the firmware runs the fans"},
            SIGHUP},
        {[&] { server.stop(), refusing.emplace(path, std::vector{"error smc\n"}); },
            {kSaid + "the helper answered error smc",
                kSaid + "waiting for the helper; meanwhile the firmware runs the fans"},
            SIGTERM}};
    heat("72000");
    for (const auto& [meanwhile, lines, sig] : rows) {
        Child follower = follow();
        EXPECT_EQ(child_read_line(follower), "72.0 °C " + kCore + ": 3833 rpm (rising)");
        ASSERT_TRUE(at("3833"));
        auto set = (meanwhile(), std::chrono::steady_clock::now());
        for (const std::string& line : lines)
            EXPECT_EQ(child_read_line(follower, 25s), line);
        EXPECT_GT(std::chrono::steady_clock::now() - set, 15s);  // seen only by the reminder, 20 s after the set
        if (!server.thread.joinable()) {                         // taken up again within a period of its return
            double cpu = child_cpu_seconds(follower);
            refusing.reset();
            ASSERT_TRUE(server.start(path, geteuid()));
            EXPECT_EQ(child_read_line(follower), kSaid + "the helper is back");
            EXPECT_LT(child_cpu_seconds(follower) - cpu, 0.2);
        }
        EXPECT_TRUE(at("3833"));
        child_kill(follower, sig);
        EXPECT_EQ(child_finish(follower), std::pair(std::string(), 0));
        EXPECT_TRUE(at("auto"));
    }
}
