// A scripted controller logs each exchange, fails those in faults (filling the reply in even so) and takes any size.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>
#include <map>

#include "clock.h"
#include "fan_control.h"
#include "smc.h"
#include "user_client.h"

enum Fault { kRefused, kBroken };  // a non-zero result, or a failed call
struct ScriptedKey {
    uint32_t type, size;
    std::vector<uint8_t> bytes;
};
// Data types as the controller's own codes, against which the logic packs their names.
const uint32_t ui8 = 0x75693820, ui16 = 0x75693136, fpe2 = 0x66706532, flt_ = 0x666C7420, sp78 = 0x73703738;
const float none = -1;  // in a row: the key is missing, or reads as a failed read does

uint32_t smc = 1;
static std::map<std::string, ScriptedKey> keys;
static std::map<std::string, Fault> faults;  // by head: "write F1Md"
static std::string exchanges;                // a line each

bool smc_open()
{
    return true;
}

int smc_call(const SmcRecord* request, SmcRecord* reply)
{
    uint32_t c = request->key, command = request->command, size = std::min(request->dataSize, 32u);
    static const std::map<uint32_t, std::string> verbs = {{9, "info "}, {5, "read "}, {6, "write "}};  // else throws
    std::string head = verbs.at(command) + char(c >> 24) + char(c >> 16) + char(c >> 8) + char(c);
    exchanges += head + (command == kSmcCmdWrite ? " " : "");
    for (uint32_t i = 0; command == kSmcCmdWrite && i < size; i++)
        exchanges += {"0123456789abcdef"[request->bytes[i] >> 4], "0123456789abcdef"[request->bytes[i] & 15]};
    exchanges += "\n";
    auto fault = faults.find(head);
    auto k = keys.find(head.substr(head.size() - 4));
    if (fault != faults.end() && fault->second == kBroken)
        return 1;
    if (k == keys.end())
        return reply->result = kSmcRefused, 0;
    reply->result = fault != faults.end() || (command == kSmcCmdRead && size != k->second.size) ? kSmcRefused : 0;
    if (command == kSmcCmdKeyInfo)
        reply->dataSize = k->second.size, reply->dataType = k->second.type;
    else if (command == kSmcCmdRead)
        std::copy_n(k->second.bytes.begin(), std::min<size_t>(k->second.bytes.size(), 32), reply->bytes);
    else if (reply->result == 0)
        k->second.bytes.assign(request->bytes, request->bytes + size);
    return 0;
}

static const auto flt = [](float value) {
    auto* bytes = reinterpret_cast<uint8_t*>(&value);
    return ScriptedKey{flt_, 4, {bytes, bytes + 4}};
};

// A process just started with these keys (by default two fans, modes 0), told it has `fans` fans.
static void fresh_process(int fans,
    std::map<std::string, ScriptedKey> k = {{"FNum", {ui8, 1, {2}}}, {"Ftst", {ui8, 1, {0}}}, {"F0Ac", flt(1200)},
        {"F0Mn", flt(1200)}, {"F0Mx", flt(6000)}, {"F0Tg", flt(1200)}, {"F0Md", {ui8, 1, {0}}}, {"F1Ac", flt(1300)},
        {"F1Mn", flt(1300)}, {"F1Mx", flt(6500)}, {"F1Tg", flt(1300)}, {"F1Md", {ui8, 1, {0}}}})
{
    keys = std::move(k), faults.clear(), exchanges.clear();
    fanCount = fans, forced = 0, haveOriginal = false;
}

TEST(ReadFloat, DecodesByTypeAndReadsMinusOneOnAnyFailure)
{
    const std::string both = "info TEST\nread TEST\n", info = "info TEST\n";
    const ScriptedKey one = {ui8, 1, {1}};
    const std::tuple<ScriptedKey, float, std::string, std::string, Fault> rows[] = {
        {{fpe2, 2, {0x5D, 0xC0}}, 6000, both, "", kRefused}, {{fpe2, 2, {0xFF, 0xFF}}, 16383.75f, both, "", kRefused},
        {{ui16, 2, {0x17, 0x70}}, 6000, both, "", kRefused}, {one, 1, both, "", kRefused},
        {{flt_, 4, {0, 0, 0xA0, 0xC0}}, -5, both, "", kRefused},  // which callers take for a failure
        {{sp78, 32, {0x30, 0}}, 0, both, "", kRefused},           // a type not decoded, in the largest size
        {{ui8, 0, {1}}, -1, info, "", kRefused}, {{ui8, 33, {1}}, -1, info, "", kRefused},
        {one, -1, info, "info TEST", kRefused}, {one, -1, info, "info TEST", kBroken},
        {one, -1, both, "read TEST", kRefused}, {one, -1, both, "read TEST", kBroken}};
    for (const auto& [key, value, log, fault, how] : rows) {
        SCOPED_TRACE(log + fault + std::to_string(value));
        fresh_process(0, {{"TEST", key}}), faults = {{fault, how}};
        EXPECT_EQ(read_float("TEST"), value);
        EXPECT_EQ(exchanges, log);
    }
}

TEST(DetectFans, TakesAPlausibleFNumElseProbesActualSpeeds)
{
    const std::tuple<float, int, int> rows[] = {
        {2.5f, 0, 3}, {0.3f, 0, 0}, {8, 0, 8}, {0, 1, 1}, {9, 2, 2}, {NAN, 1, 1}, {none, 9, 8}};
    for (auto [fnum, speeds, fans] : rows) {
        SCOPED_TRACE(testing::Message() << fnum << " " << speeds);
        fresh_process(0, {{fnum == none ? "none" : "FNum", flt(fnum)}});
        // A speed that is not a number, or of a type we do not decode, still makes a fan.
        for (int n = 0; n < speeds; n++)
            keys["F" + std::to_string(n) + "Ac"] = n == 1 ? ScriptedKey{sp78, 2, {}} : flt(n == 0 ? NAN : 900);
        EXPECT_EQ((detect_fans(), fanCount), fans);
        EXPECT_EQ(exchanges.find("info F0Ac") != std::string::npos, speeds > 0);
    }
}

TEST(StatusLine, ReportsEveryFanRoundedHalfToEvenUnreadableAsMinusOneCutAt512Bytes)
{
    fresh_process(2), faults = {{"read F1Mx", kRefused}};
    keys["F0Ac"] = flt(1200.5f), keys["F0Tg"] = flt(1201.5f), keys["F1Md"] = {sp78, 2, {}};
    char line[kStatusSize];  // a sanitizer sees any write beyond it
    EXPECT_STREQ((status_line(line), line), "ok fans=2 forced=0 F0=1200,1200,6000,1202,0 F1=1300,1300,-1,1300,0\n");
    fanCount = 8;
    for (int n = 0; n < 8; n++)
        for (const char* l : {"Ac", "Mn", "Mx", "Tg", "Md"})
            keys["F" + std::to_string(n) + l] = flt(3e38f);
    EXPECT_EQ((status_line(line), strlen(line)), 511u);
    EXPECT_EQ(std::string(line, 23), "ok fans=8 forced=0 F0=3");
}

TEST(ForceAllFans, HoldsEachTargetBetweenItsOwnBoundsInTheKeysTypeExchangingInOrderAndCapturingTheModesOnce)
{
    const std::tuple<float, float, float, uint32_t, float> rows[] = {{1200, 6000, 500, flt_, 1200},
        {1200, 6000, 7000, flt_, 6000}, {none, 6000, 7000, flt_, 6000}, {1200, none, 7000, flt_, 7000},
        {2000, 2000, 7000, flt_, 7000}, {2000, 2000, 500, flt_, 2000}, {0, 6000, 100, flt_, 100},
        {1, 6000, 0.5f, flt_, 1}, {0, 6000, 1200.3f, fpe2, 1200.25f}, {0, none, 16383.75f, fpe2, 16383.75f},
        {0, none, 0.25f, fpe2, 0.25f}, {none, 0, 100, fpe2, 0}, {0, none, 20000, fpe2, 16383.75f}};  // last saturates
    for (auto [mn, mx, request, type, target] : rows) {
        SCOPED_TRACE(testing::Message() << mn << " " << mx << " " << request);
        fresh_process(1);
        keys["F0Mn"] = flt(mn), keys["F0Mx"] = flt(mx), keys["F0Tg"] = {type, type == flt_ ? 4u : 2u, {}};
        EXPECT_TRUE(force_all_fans(request));
        EXPECT_EQ(read_float("F0Tg"), target);  // the bytes are pinned where reads are decoded
    }
    fresh_process(0);  // none to force: forced all the same, the test switch alone set
    EXPECT_TRUE(force_all_fans(2500) && forced == 1);
    EXPECT_EQ(exchanges, "info Ftst\ninfo Ftst\nwrite Ftst 01\n");
    fresh_process(2), keys["F0Md"] = keys["F1Md"] = {ui8, 1, {1}}, faults = {{"read F1Md", kRefused}};
    restore_auto();  // handing back before any forcing writes modes 0
    EXPECT_EQ(exchanges, "info F0Md\nwrite F0Md 00\ninfo F1Md\nwrite F1Md 00\ninfo Ftst\ninfo Ftst\nwrite Ftst 00\n");
    exchanges.clear(), keys["F0Md"] = {ui8, 1, {1}};  // F1Md, its read refused, to be captured as 0
    EXPECT_TRUE(force_all_fans(2500));
    EXPECT_EQ(exchanges,
        "info F0Md\nread F0Md\ninfo F1Md\nread F1Md\ninfo Ftst\ninfo Ftst\nwrite Ftst 01\n"
        "info F0Mn\nread F0Mn\ninfo F0Mx\nread F0Mx\ninfo F0Md\nwrite F0Md 01\ninfo F0Tg\ninfo F0Tg\n"
        "write F0Tg 00401c45\ninfo F1Mn\nread F1Mn\ninfo F1Mx\nread F1Mx\ninfo F1Md\nwrite F1Md 01\n"
        "info F1Tg\ninfo F1Tg\nwrite F1Tg 00401c45\n");
    restore_auto(), keys["F0Md"] = {ui8, 1, {3}};
    EXPECT_TRUE(force_all_fans(3000));
    restore_auto();
    EXPECT_EQ(exchanges.find("read F0Md"), exchanges.rfind("read F0Md"));
    EXPECT_TRUE(exchanges.ends_with("write F0Md 01\ninfo F1Md\nwrite F1Md 00\ninfo Ftst\ninfo Ftst\nwrite Ftst 00\n"));
}

// A target key of another type or size than its value's counts as a failure.
TEST(ForceAllFans, EveryCountedFailureHandsAllFansBackAndNoOtherDoes)
{
    const ScriptedKey ok = flt(0);
    const std::string handedBack =
        "info F0Md\nwrite F0Md 00\ninfo F1Md\nwrite F1Md 02\ninfo Ftst\ninfo Ftst\nwrite Ftst 00\n";
    const std::tuple<std::string, Fault, ScriptedKey, bool> rows[] = {{"write F0Md", kRefused, ok, true},
        {"info F0Tg", kRefused, ok, true}, {"", kRefused, {ui16, 2, {}}, true}, {"", kRefused, {flt_, 2, {}}, true},
        {"", kRefused, {fpe2, 4, {}}, true}, {"write F0Tg", kBroken, ok, true}, {"info Ftst", kRefused, ok, false},
        {"write Ftst", kBroken, ok, false}, {"read F0Mn", kRefused, ok, false}, {"read F0Mx", kBroken, ok, false},
        {"read F0Md", kRefused, ok, false}};
    for (const auto& [fault, how, target, fails] : rows) {
        SCOPED_TRACE(testing::Message() << fault << " " << target.type << " " << target.size);
        fresh_process(2), keys["F1Md"] = {ui8, 1, {2}}, keys["F0Tg"] = target, faults = {{fault, how}};
        EXPECT_EQ(force_all_fans(2500), !fails);
        EXPECT_EQ(forced, !fails);
        EXPECT_NE(exchanges.find("write F1Tg 00401c45"), std::string::npos);  // a failure does not end the loop
        EXPECT_EQ(exchanges.ends_with(handedBack), fails);
    }
}

// As the service starts: a forced (1) or unreadable mode, or the test switch on, may be a killed helper's.
TEST(RestoreStaleForcing, HandsAllBackOnlyWhenAFanOrTheTestSwitchMayBeLeftForced)
{
    const std::tuple<uint8_t, uint8_t, std::string, bool> rows[] = {
        {0, 3, "", false}, {0, 1, "", true}, {1, 0, "", true}, {0, 0, "read F1Md", true}};
    for (const auto& [ftst, mode, fault, back] : rows) {
        SCOPED_TRACE(testing::Message() << int(ftst) << " " << int(mode) << " " << fault);
        fresh_process(2), keys["Ftst"].bytes = {ftst}, keys["F1Md"].bytes = {mode}, faults = {{fault, kRefused}};
        EXPECT_EQ((restore_stale_forcing(), exchanges.find("write") != std::string::npos), back);
        EXPECT_EQ(exchanges.ends_with("write F0Md 00\ninfo F1Md\nwrite F1Md 00\ninfo Ftst\ninfo Ftst\nwrite Ftst 00\n"),
            back);
    }
}

TEST(Clock, ReadsTheMonotonicClockInSeconds)
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    EXPECT_NEAR(monotonic_time(), double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9, 1.0);
    EXPECT_NEAR(double(now_seconds()), double(ts.tv_sec), 1.0);
}
