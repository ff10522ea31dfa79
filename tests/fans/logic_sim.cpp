// The simulated controller behind tolvane-fans-sim, on a clock the tests move.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "fan_control.h"
#include "smc.h"
#include "user_client.h"

static double now;
static double fake_clock() { return now; }

// A freshly started helper on a freshly powered simulated controller.
static void power_on()
{
    simClock = fake_clock;
    now = 100;
    smc = 0;
    ASSERT_TRUE(smc_open());
    detect_fans();
    forced = 0;
    haveOriginal = false;
}

static int write_float(const char* key, float value)
{
    uint8_t bytes[4];
    memcpy(bytes, &value, 4);
    return write_key(key, bytes, 4);
}

static uint8_t raw_result(uint8_t command, const char* key, uint32_t size)
{
    SmcRecord request{}, reply{};
    request.key = key_code(key);
    request.command = command;
    request.dataSize = size;
    EXPECT_EQ(smc_call(&request, &reply), 0);
    return reply.result;
}

TEST(SimulatedController, StartsWithTwoFansAtTheirMinimum)
{
    power_on();
    char buf[kStatusSize];
    status_line(buf);
    EXPECT_STREQ(buf, "ok fans=2 forced=0 F0=1200,1200,6000,1200,0 F1=1300,1300,6500,1300,0\n");
}

TEST(SimulatedController, ReportsEachKeysTypeAndSize)
{
    power_on();
    struct { const char* key; const char* type; uint32_t size; } cases[] = {
        {"FNum", "ui8 ", 1}, {"Ftst", "ui8 ", 1}, {"F0Md", "ui8 ", 1},
        {"F1Ac", "flt ", 4}, {"F1Mn", "flt ", 4}, {"F1Mx", "flt ", 4}, {"F1Tg", "flt ", 4},
    };
    for (const auto& c : cases) {
        SmcKeyInfo info = smc_key_info(c.key);
        EXPECT_TRUE(info.ok) << c.key;
        EXPECT_EQ(info.size, c.size) << c.key;
        EXPECT_EQ(info.type, key_code(c.type)) << c.key;
    }
    for (const char* unknown : {"F2Ac", "F0Xy", "TC0P"})
        EXPECT_FALSE(smc_key_info(unknown).ok) << unknown;
}

TEST(SimulatedController, RefusesWritesToReadOnlyKeys)
{
    power_on();
    const uint8_t one = 1;
    EXPECT_EQ(write_key("FNum", &one, 1), -1);
    for (const char* key : {"F0Ac", "F0Mn", "F0Mx"})
        EXPECT_EQ(write_float(key, 2000), -1) << key;
    EXPECT_EQ(write_key("Ftst", &one, 1), 0);
    EXPECT_EQ(write_key("F1Md", &one, 1), 0);
    EXPECT_EQ(write_float("F1Tg", 2000), 0);
}

TEST(SimulatedController, RefusesReadsAndWritesOfTheWrongSize)
{
    power_on();
    EXPECT_NE(raw_result(kSmcCmdRead, "FNum", 4), 0);
    EXPECT_NE(raw_result(kSmcCmdWrite, "F0Tg", 1), 0);
    EXPECT_NE(raw_result(kSmcCmdRead, "F0Ac", 0), 0);
}

TEST(SimulatedController, TargetReadsAsMinimumWhileModeIsZero)
{
    power_on();
    EXPECT_EQ(write_float("F0Tg", 3000), 0);
    EXPECT_EQ(read_float("F0Tg"), 1200);
    const uint8_t one = 1;
    EXPECT_EQ(write_key("F0Md", &one, 1), 0);
    EXPECT_EQ(read_float("F0Tg"), 3000);
}

TEST(SimulatedController, ActualSpeedFollowsTheTargetWithinOnePercentAfterFiveSeconds)
{
    power_on();
    ASSERT_TRUE(force_all_fans(3000));
    EXPECT_EQ(read_float("F0Ac"), 1200);
    now += 1;
    float second = read_float("F0Ac");
    EXPECT_GT(second, 1200 + 0.5 * 1800);
    EXPECT_LT(second, 3000 - 0.2 * 1800);
    now += 4;
    EXPECT_NEAR(read_float("F0Ac"), 3000, 30);
    EXPECT_NEAR(read_float("F1Ac"), 3000, 30);
    restore_auto();
    now += 5;
    EXPECT_NEAR(read_float("F0Ac"), 1200, 18);
}

TEST(SimulatedController, ASecondOpenKeepsTheRunningState)
{
    power_on();
    const uint8_t one = 1;
    EXPECT_EQ(write_key("F0Md", &one, 1), 0);
    EXPECT_TRUE(smc_open());
    EXPECT_EQ(read_float("F0Md"), 1);
}
