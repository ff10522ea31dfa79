// The Linux controller on faithful fakes of the kernel's two SMC drivers,
// seen through the key operations and as the owner sees it on the socket.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cmath>
#include <cstring>

#include "fake_sysfs_driver.h"
#include "fan_control.h"
#include "protocol.h"
#include "smc.h"

// One request from the owner over a connected pair, and the reply.
static std::string ask(const char* request)
{
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0)
        return "(no socket pair)";
    send(fds[1], request, strlen(request), 0);
    handle_client(fds[0], getuid());
    char reply[kStatusSize + 1] = {};
    recv(fds[1], reply, kStatusSize, 0);
    close(fds[1]);
    return reply;
}

static const char kIdle[] = "ok fans=2 forced=0 F0=2000,1200,6200,2000,0 F1=1800,1000,5800,1800,0\n";

TEST(SysfsController, FindsTheDriverOnThePlatformDeviceOrByItsHwmonName)
{
    const struct {
        Driver kind;
        int fans;
        bool opened;
        const char* status;
    } cases[] = {
        {Driver::kApplesmc, 1, true, "ok fans=1 forced=0 F0=2000,1200,6200,2000,0\n"},
        {Driver::kMacsmc, 2, true, kIdle}, {Driver::kMacsmc, 0, true, "ok fans=0 forced=0\n"},  // a Mac without fans
        {Driver::kNone, 2, false, ""},  // only another hwmon device, with fans of its own
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        FakeDriver driver(c.kind, c.fans);
        EXPECT_EQ(driver.opened, c.opened);
        if (c.opened) {
            EXPECT_EQ(ask("status"), c.status);
        }
        EXPECT_FALSE(smc_key_info("Ftst").ok);
    }
}

TEST(SysfsController, ForcesAndHandsBackEitherDriversFans)
{
    const struct {
        Driver kind;
        const char* forcing;
        const char* handBack;
    } cases[] = {
        {Driver::kApplesmc, "fan1_manual=1\nfan1_output=2501\nfan2_manual=1\nfan2_output=2501\n",
            "fan1_manual=0\nfan2_manual=0\n"},
        {Driver::kMacsmc, "fan1_target=2501\nfan2_target=2501\n", "fan1_target=0\nfan2_target=0\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.forcing);
        FakeDriver driver(c.kind);
        EXPECT_EQ(ask("set 2500.6"), "ok\n");
        EXPECT_EQ(driver.writes(), c.forcing);
        EXPECT_EQ(driver.manual_fans(), 3);
        EXPECT_EQ(ask("status"), "ok fans=2 forced=1 F0=2000,1200,6200,2501,1 F1=1800,1000,5800,2501,1\n");
        EXPECT_EQ(ask("auto"), "ok\n");
        EXPECT_EQ(driver.writes(), c.handBack);
        EXPECT_EQ(driver.manual_fans(), 0);
    }
}

TEST(SysfsController, AForcingTheDriverRefusesAnswersErrorSmcWithTheFansHandedBack)
{
    const struct {
        Driver kind;
        const char* busy;
        bool manualKey, fanControl;
        const char* request;
        const char* status;
    } cases[] = {
        {Driver::kApplesmc, "fan2_output", true, true, "set 2500",
            "ok fans=2 forced=0 F0=2000,1200,6200,2500,0 F1=1800,1000,5800,-1,0\n"},
        {Driver::kApplesmc, "", false, true, "set 2500",  // a Mac without the manual key
            "ok fans=2 forced=0 F0=2000,1200,6200,2500,-1 F1=1800,1000,5800,2500,-1\n"},
        {Driver::kApplesmc, "fan1_max", true, true, "set 20000",  // no ceiling, and 16384 or more
            "ok fans=2 forced=0 F0=2000,1200,-1,2000,0 F1=1800,1000,5800,5800,0\n"},
        {Driver::kMacsmc, "", true, false, "set 2500", kIdle},  // fan_control off
        {Driver::kMacsmc, "fan2_target", true, true, "set 2500",
            "ok fans=2 forced=0 F0=2000,1200,6200,2500,0 F1=1800,1000,5800,-1,0\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.status);
        FakeDriver driver(c.kind);
        driver.busy = {c.busy};
        driver.manualKey = c.manualKey, driver.fanControl = c.fanControl;
        EXPECT_EQ(ask(c.request), "error smc\n");
        EXPECT_EQ(driver.manual_fans(), 0);
        EXPECT_EQ(ask("status"), c.status);
    }
}

TEST(SysfsController, OnlyModeAndAForcedTargetInRangeReachTheDriver)
{
    const struct {
        Driver kind;
        bool forcedFirst;
        const char* key;
        float value;
        int result;
        const char* writes;
    } cases[] = {
        {Driver::kApplesmc, false, "F0Mn", 1000, -1, ""},  // the driver itself would take it
        {Driver::kApplesmc, false, "FNum", 3, -1, ""},
        {Driver::kApplesmc, false, "F0Tg", NAN, -1, ""},
        {Driver::kApplesmc, false, "F0Tg", 3000.4f, 0, "fan1_output=3000\n"},
        {Driver::kApplesmc, false, "F0Tg", 16384, -1, "fan1_output=16384\n"},
        {Driver::kApplesmc, false, "F1Md", 1, 0, "fan2_manual=1\n"},
        {Driver::kMacsmc, false, "F0Tg", 3000, -1, ""},  // the machine runs an unforced fan
        {Driver::kMacsmc, false, "F0Md", 1, 0, ""},      // the mode is ours until a target
        {Driver::kMacsmc, true, "F0Tg", 3000, 0, "fan1_target=3000\n"},
        {Driver::kMacsmc, true, "F0Tg", 1199, -1, ""},
        {Driver::kMacsmc, true, "F0Tg", 6201, -1, ""},
        {Driver::kMacsmc, true, "F0Md", 0, 0, "fan1_target=0\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.key << " " << c.value);
        FakeDriver driver(c.kind);
        uint8_t on = 1;
        if (c.forcedFirst) {
            ASSERT_EQ(write_key("F0Md", &on, 1), 0);
        }
        // Each key in its own size: a byte for modes and the count, else a float.
        bool oneByte = smc_key_info(c.key).size == 1;
        uint8_t byte = oneByte ? uint8_t(c.value) : 0;
        EXPECT_EQ(
            oneByte ? write_key(c.key, &byte, 1) : write_key(c.key, reinterpret_cast<const uint8_t*>(&c.value), 4),
            c.result);
        EXPECT_EQ(driver.writes(), c.writes);
    }
}
