// Fan discovery, the status line, forcing and hand-back over a scripted controller.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "fan_control.h"
#include "scripted_controller.h"

using Log = std::vector<std::string>;

// A process that has just started on a machine with the given fan count.
static void fresh_process(int fans)
{
    fanCount = fans;
    forced = 0;
    haveOriginal = false;
    memset(originalMode, 0, sizeof originalMode);
}

static std::string status()
{
    char buf[kStatusSize];
    status_line(buf);
    return buf;
}

static float target_of(const char* key)
{
    float value;
    memcpy(&value, script_bytes(key).data(), 4);
    return value;
}

static Log tail(size_t n)
{
    const Log& log = script_log();
    return Log(log.end() - long(std::min(n, log.size())), log.end());
}

TEST(DetectFans, TakesAPlausibleFNumWithoutProbing)
{
    script_reset();
    script_flt("FNum", 2.5f);
    detect_fans();
    EXPECT_EQ(fanCount, 3);
    script_flt("FNum", 0.3f);
    detect_fans();
    EXPECT_EQ(fanCount, 0);
    EXPECT_EQ(script_log().size(), 4u);
}

TEST(DetectFans, ProbesActualSpeedsWhenFNumIsImplausible)
{
    for (float fnum : {0.0f, 9.0f, NAN, -1.0f}) {
        script_reset();
        if (fnum != -1.0f)
            script_flt("FNum", fnum);
        script_flt("F0Ac", 1200);
        detect_fans();
        EXPECT_EQ(fanCount, 1) << fnum;
    }
}

TEST(DetectFans, ProbeCountsNanAndUndecodedSpeedsAsPresentUpToEight)
{
    script_reset();
    script_flt("F0Ac", NAN);
    script_key("F1Ac", "sp78", 2, {0, 0});
    for (const char* key : {"F2Ac", "F3Ac", "F4Ac", "F5Ac", "F6Ac", "F7Ac", "F8Ac"})
        script_flt(key, 1000);
    detect_fans();
    EXPECT_EQ(fanCount, 8);
}

TEST(StatusLine, ReportsEveryFanRoundedHalfToEven)
{
    script_reset();
    script_two_fans();
    fresh_process(2);
    script_flt("F0Ac", 1200.5f);
    script_flt("F0Tg", 1201.5f);
    script_key("F1Md", "sp78", 2, {0, 0});
    script_key("F1Mx", "flt ", 0, {});
    EXPECT_EQ(status(), "ok fans=2 forced=0 F0=1200,1200,6000,1202,0 F1=1300,1300,-1,1300,0\n");
}

TEST(StatusLine, IsCutAt512BytesWithoutLineEnd)
{
    script_reset();
    fresh_process(8);
    for (int n = 0; n < 8; n++)
        for (const char* l : {"Ac", "Mn", "Mx", "Tg", "Md"})
            script_flt(("F" + std::to_string(n) + l).c_str(), 3e38f);
    char buf[kStatusSize + 8];
    memset(buf, 'x', sizeof buf);
    status_line(buf);
    EXPECT_EQ(strlen(buf), 511u);
    EXPECT_EQ(std::string(buf, 23), "ok fans=8 forced=0 F0=3");
    EXPECT_EQ(std::string(buf + kStatusSize, 8), "xxxxxxxx");
}

TEST(ForceAllFans, FirstForcingExchangesInOrder)
{
    script_reset();
    script_two_fans();
    fresh_process(2);
    EXPECT_TRUE(force_all_fans(2500));
    EXPECT_EQ(forced, 1);
    EXPECT_EQ(script_log(),
              (Log{"info F0Md", "read F0Md", "info F1Md", "read F1Md",
                   "info Ftst", "info Ftst", "write Ftst 01",
                   "info F0Mn", "read F0Mn", "info F0Mx", "read F0Mx", "info F0Md", "write F0Md 01",
                   "info F0Tg", "info F0Tg", "write F0Tg 00401c45",
                   "info F1Mn", "read F1Mn", "info F1Mx", "read F1Mx", "info F1Md", "write F1Md 01",
                   "info F1Tg", "info F1Tg", "write F1Tg 00401c45"}));
}

TEST(ForceAllFans, HoldsEachTargetBetweenItsOwnBounds)
{
    const float unreadable = -1;
    struct { float mn, mx, r, target; } cases[] = {
        {1200, 6000, 500, 1200}, {1200, 6000, 7000, 6000}, {1200, 6000, 3000, 3000},
        {unreadable, 6000, 7000, 6000}, {unreadable, 6000, 100, 100},
        {1200, unreadable, 7000, 7000}, {2000, 2000, 7000, 7000}, {2000, 2000, 500, 2000},
        {0, 6000, 100, 100},
    };
    for (const auto& c : cases) {
        script_reset();
        script_two_fans();
        fresh_process(1);
        script_flt("F0Mn", c.mn);
        script_flt("F0Mx", c.mx);
        if (c.mn == unreadable)
            script_refuse("read F0Mn");
        if (c.mx == unreadable)
            script_refuse("read F0Mx");
        EXPECT_TRUE(force_all_fans(c.r));
        EXPECT_EQ(target_of("F0Tg"), c.target) << c.mn << " " << c.mx << " " << c.r;
    }
}

TEST(ForceAllFans, WritesFpe2TargetsMostSignificantByteFirst)
{
    struct { float r; std::vector<uint8_t> bytes; } cases[] = {
        {6000, {0x5D, 0xC0}}, {1200.3f, {0x12, 0xC1}}, {16383.75f, {0xFF, 0xFF}},
        {20000, {0xFF, 0xFF}},  // beyond 16 bits: saturates rather than wrapping to 3616 rpm
    };
    for (const auto& c : cases) {
        script_reset();
        script_two_fans();
        fresh_process(1);
        script_key("F0Mx", "flt ", 0, {});
        script_key("F0Tg", "fpe2", 2, {0, 0});
        EXPECT_TRUE(force_all_fans(c.r));
        EXPECT_EQ(script_bytes("F0Tg"), c.bytes) << c.r;
    }
}

TEST(ForceAllFans, AnyCountedFailureHandsEveryFanBack)
{
    for (const char* fault : {"write F0Md", "info F0Tg", "write F1Tg"}) {
        script_reset();
        script_two_fans();
        script_ui8("F1Md", 2);
        fresh_process(2);
        script_refuse(fault);
        EXPECT_FALSE(force_all_fans(2500)) << fault;
        EXPECT_EQ(forced, 0);
        EXPECT_EQ(tail(5), (Log{"info F1Md", "write F1Md 02", "info Ftst", "info Ftst", "write Ftst 00"}));
    }
}

TEST(ForceAllFans, FailsOnATargetKeyOfAnotherTypeOrBadSize)
{
    for (uint32_t size : {2u, 0u}) {
        script_reset();
        script_two_fans();
        fresh_process(2);
        script_key("F0Tg", "ui16", size, {0, 0});
        EXPECT_FALSE(force_all_fans(2500));
        EXPECT_EQ(forced, 0);
        EXPECT_EQ(script_bytes("Ftst"), std::vector<uint8_t>{0});
    }
}

TEST(ForceAllFans, AFailedModeWriteStillServesEveryTarget)
{
    script_reset();
    script_two_fans();
    fresh_process(2);
    script_break("write F0Md");
    EXPECT_FALSE(force_all_fans(2500));
    EXPECT_EQ(target_of("F0Tg"), 2500);
    EXPECT_EQ(target_of("F1Tg"), 2500);
}

TEST(ForceAllFans, SucceedsWithoutTestSwitchOrReadableBounds)
{
    script_reset();
    script_two_fans();
    fresh_process(2);
    script_refuse("info Ftst");
    script_refuse("read F1Mn");
    script_refuse("read F1Mx");
    EXPECT_TRUE(force_all_fans(2500));
    EXPECT_EQ(forced, 1);
    script_reset();
    script_two_fans();
    script_refuse("write Ftst");
    EXPECT_TRUE(force_all_fans(2500));
}

TEST(ForceAllFans, CapturesOriginalModesOnlyAtTheFirstForcing)
{
    script_reset();
    script_two_fans();
    script_ui8("F0Md", 1);
    script_ui8("F1Md", 2);
    script_refuse("read F1Md");  // an unreadable mode is captured as 0
    fresh_process(2);
    EXPECT_TRUE(force_all_fans(2500));
    restore_auto();
    script_ui8("F0Md", 3);
    EXPECT_TRUE(force_all_fans(3000));
    EXPECT_EQ(std::count(script_log().begin(), script_log().end(), "read F0Md"), 1);
    restore_auto();
    EXPECT_EQ(script_bytes("F0Md"), std::vector<uint8_t>{1});
    EXPECT_EQ(originalMode[1], 0);
}

TEST(ForceAllFans, WithNoFansSucceedsAndStatusShowsForced)
{
    script_reset();
    script_two_fans();
    fresh_process(0);
    EXPECT_TRUE(force_all_fans(2500));
    EXPECT_TRUE(haveOriginal);
    EXPECT_EQ(script_log(), (Log{"info Ftst", "info Ftst", "write Ftst 01"}));
    EXPECT_EQ(status(), "ok fans=0 forced=1\n");
}

TEST(RestoreAuto, BeforeAnyForcingWritesModeZeroAndNoTarget)
{
    script_reset();
    script_two_fans();
    script_ui8("F0Md", 1);
    fresh_process(2);
    forced = 1;
    restore_auto();
    EXPECT_EQ(forced, 0);
    EXPECT_EQ(script_log(), (Log{"info F0Md", "write F0Md 00", "info F1Md", "write F1Md 00",
                                 "info Ftst", "info Ftst", "write Ftst 00"}));
}
