// tolvane-fans-ctl follow over a fake hwmon class, against the helper on the simulated controller served on a thread.
#include "child.h"
#include "fake_hwmon.h"
#include "fan_control.h"
#include "program_support.h"
#include "smc.h"
#include "user_client.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(child_read_line(follower, 5s), std::nullopt);  // nothing to say while nothing changes
    EXPECT_LT(proc_entries(fds), open + 3);                  // each period's files closed again
    child_kill(follower, SIGTERM);
    EXPECT_EQ(child_finish(follower), std::pair(std::string(), 0));
    EXPECT_TRUE(at("auto"));
}
