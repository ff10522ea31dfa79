// Fan discovery, the status line, forcing and hand-back over a scripted controller.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "fan_control.h"
#include "scripted_controller.h"

using Log = std::vector<std::string>;

// A process just started, reporting `fans` fans of a two-fan machine: "flt "
// speeds, "ui8 " modes 0, FNum 2 and Ftst 0.
static void fresh_process(int fans)
{
    script({{"FNum", {"ui8 ", 1, {2}}}, {"Ftst", {"ui8 ", 1, {0}}}, {"F0Ac", flt(1200)}, {"F0Mn", flt(1200)},
            {"F0Mx", flt(6000)}, {"F0Tg", flt(1200)}, {"F0Md", {"ui8 ", 1, {0}}}, {"F1Ac", flt(1300)},
            {"F1Mn", flt(1300)}, {"F1Mx", flt(6500)}, {"F1Tg", flt(1300)}, {"F1Md", {"ui8 ", 1, {0}}}});
    fanCount = fans;
    forced = 0;
    haveOriginal = false;
}

static std::string status()
{
    char buf[kStatusSize];
    status_line(buf);
    return buf;
}

static bool logged(const std::string& prefix)
{
    return std::any_of(exchanges.begin(), exchanges.end(), [&](auto& e) { return e.rfind(prefix, 0) == 0; });
}

TEST(DetectFans, TakesAPlausibleFNumElseProbesActualSpeeds)
{
    const float none = -1;   // no such key
    struct { float fnum; int speeds, fans; } rows[] = {
        {2, 0, 2}, {2.5f, 0, 3}, {0.3f, 0, 0}, {8, 0, 8}, {0, 1, 1}, {9, 2, 2}, {NAN, 1, 1}, {none, 9, 8}};
    for (const auto& row : rows) {
        SCOPED_TRACE("row " + std::to_string(&row - rows));
        script(row.fnum == none ? decltype(keys){} : decltype(keys){{"FNum", flt(row.fnum)}});
        // A speed that is not a number, or of a type we do not decode, still makes a fan.
        for (int n = 0; n < row.speeds; n++)
            keys["F" + std::to_string(n) + "Ac"] = n == 0 ? flt(NAN) : n == 1 ? ScriptedKey{"sp78", 2, {}} : flt(900);
        detect_fans();
        EXPECT_EQ(fanCount, row.fans);
        EXPECT_EQ(logged("info F0Ac"), row.speeds > 0);
    }
}

TEST(StatusLine, ReportsEveryFanRoundedHalfToEvenUnreadableAsMinusOne)
{
    fresh_process(2);
    keys["F0Ac"] = flt(1200.5f), keys["F0Tg"] = flt(1201.5f), keys["F1Md"] = {"sp78", 2, {}};
    faults = {{"read F1Mx", kRefused}};
    EXPECT_EQ(status(), "ok fans=2 forced=0 F0=1200,1200,6000,1202,0 F1=1300,1300,-1,1300,0\n");
}

TEST(StatusLine, IsCutAt512BytesWithoutLineEnd)
{
    fresh_process(8);
    for (int n = 0; n < 8; n++)
        for (const char* l : {"Ac", "Mn", "Mx", "Tg", "Md"})
            keys["F" + std::to_string(n) + l] = flt(3e38f);
    char buf[kStatusSize + 8];
    memset(buf, 'x', sizeof buf);
    status_line(buf);
    EXPECT_EQ(strlen(buf), 511u);
    EXPECT_EQ(std::string(buf, 23), "ok fans=8 forced=0 F0=3");
    EXPECT_EQ(std::string(buf + kStatusSize, 8), "xxxxxxxx");
}

TEST(ForceAllFans, FirstForcingExchangesInOrder)
{
    fresh_process(2);
    EXPECT_TRUE(force_all_fans(2500));
    EXPECT_EQ(forced, 1);
    EXPECT_EQ(exchanges, (Log{"info F0Md", "read F0Md", "info F1Md", "read F1Md", "info Ftst", "info Ftst",
                              "write Ftst 01", "info F0Mn", "read F0Mn", "info F0Mx", "read F0Mx", "info F0Md",
                              "write F0Md 01", "info F0Tg", "info F0Tg", "write F0Tg 00401c45", "info F1Mn",
                              "read F1Mn", "info F1Mx", "read F1Mx", "info F1Md", "write F1Md 01", "info F1Tg",
                              "info F1Tg", "write F1Tg 00401c45"}));
}

TEST(ForceAllFans, HoldsEachTargetBetweenItsOwnBoundsInTheKeysType)
{
    const float none = -1;   // unreadable
    struct { float mn, mx, r; const char* type; float target; } rows[] = {
        {1200, 6000, 500, "flt ", 1200}, {1200, 6000, 7000, "flt ", 6000}, {1200, 6000, 3000, "flt ", 3000},
        {none, 6000, 7000, "flt ", 6000}, {none, 6000, 100, "flt ", 100}, {1200, none, 7000, "flt ", 7000},
        {2000, 2000, 7000, "flt ", 7000}, {2000, 2000, 500, "flt ", 2000}, {0, 6000, 100, "flt ", 100},
        {0, 6000, 1200.3f, "fpe2", 1200.25f}, {0, none, 16383.75f, "fpe2", 16383.75f},
        {0, none, 20000, "fpe2", 16383.75f}};   // saturates rather than wrapping round to a slow fan
    for (const auto& row : rows) {
        SCOPED_TRACE("row " + std::to_string(&row - rows));
        fresh_process(1);
        keys["F0Mn"] = flt(row.mn), keys["F0Mx"] = flt(row.mx);
        keys["F0Tg"] = {row.type, strcmp(row.type, "flt ") == 0 ? 4u : 2u, {}};
        faults = {{row.mn == none ? "read F0Mn" : "", kRefused}, {row.mx == none ? "read F0Mx" : "", kRefused}};
        EXPECT_TRUE(force_all_fans(row.r));
        EXPECT_EQ(read_float("F0Tg"), row.target);   // its bytes are pinned where reads are decoded
    }
}

TEST(ForceAllFans, EveryCountedFailureHandsAllFansBackAndNoOtherDoes)
{
    struct { const char* fault; Fault how; ScriptedKey target; bool fails, targetWritten; } rows[] = {
        {"write F0Md", kRefused, flt(0), true, true},   // the target is still written
        {"info F0Tg", kRefused, flt(0), true, false},
        {"", kRefused, {"ui16", 2, {}}, true, false},
        {"", kRefused, {"flt ", 2, {}}, true, false},
        {"write F0Tg", kBroken, flt(0), true, true},
        {"info Ftst", kRefused, flt(0), false, true},
        {"write Ftst", kBroken, flt(0), false, true},
        {"read F0Mn", kRefused, flt(0), false, true},
        {"read F0Mx", kBroken, flt(0), false, true},
        {"read F0Md", kRefused, flt(0), false, true}};
    for (const auto& row : rows) {
        SCOPED_TRACE("row " + std::to_string(&row - rows));
        fresh_process(2);
        keys["F1Md"] = {"ui8 ", 1, {2}}, keys["F0Tg"] = row.target;
        faults = {{row.fault, row.how}};
        EXPECT_EQ(force_all_fans(2500), !row.fails);
        EXPECT_EQ(forced, row.fails ? 0 : 1);
        EXPECT_TRUE(logged("write F1Tg 00401c45"));   // a failure does not end the loop
        EXPECT_EQ(logged("write F0Tg"), row.targetWritten);
        Log handBack = {"info F0Md", "write F0Md 00", "info F1Md", "write F1Md 02", "info Ftst", "info Ftst",
                        "write Ftst 00"};
        EXPECT_EQ(Log(exchanges.end() - 7, exchanges.end()) == handBack, row.fails);
    }
}

TEST(ForceAllFans, CapturesOriginalModesOnceAndHandsBackZeroBefore)
{
    fresh_process(2);
    keys["F0Md"] = keys["F1Md"] = {"ui8 ", 1, {1}};
    faults = {{"read F1Md", kRefused}};   // captured as 0
    restore_auto();
    EXPECT_EQ(exchanges, (Log{"info F0Md", "write F0Md 00", "info F1Md", "write F1Md 00", "info Ftst",
                              "info Ftst", "write Ftst 00"}));
    keys["F0Md"] = {"ui8 ", 1, {1}};
    EXPECT_TRUE(force_all_fans(2500));
    restore_auto();
    keys["F0Md"] = {"ui8 ", 1, {3}};
    EXPECT_TRUE(force_all_fans(3000));
    restore_auto();
    EXPECT_EQ(std::count(exchanges.begin(), exchanges.end(), "read F0Md"), 1);
    EXPECT_EQ(exchanges.end()[-6], "write F0Md 01");
    EXPECT_EQ(exchanges.end()[-4], "write F1Md 00");
}

TEST(ForceAllFans, WithNoFansSucceedsAndStatusShowsForced)
{
    fresh_process(0);
    EXPECT_TRUE(force_all_fans(2500));
    EXPECT_EQ(exchanges, (Log{"info Ftst", "info Ftst", "write Ftst 01"}));
    EXPECT_EQ(status(), "ok fans=0 forced=1\n");
}
